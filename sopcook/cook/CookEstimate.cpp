#include "cook/CookEstimate.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "UT/UT_String.h"
#include "UT/UT_VoxelArray.h"

namespace sopcook
{
namespace
{
// Rough single-core costs, measured on the wisps and clouds operators.
constexpr double lookupSeconds = 25e-9; // one gradient-noise lookup
constexpr double visitSeconds = 5e-9;   // one voxel visited (position, distance, deposit)

constexpr double dayLimit = 86400.0;
constexpr double yearLimit = 365.0 * 86400.0;

std::string number(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof(buf), v < 1e6 ? "%.0f" : "%.3g", v);
    return buf;
}

std::string bytesText(double b)
{
    const char *units[] = {"bytes", "KB", "MB", "GB", "TB", "PB", "EB"};
    int u = 0;
    while (b >= 1024.0 && u < 6)
    {
        b /= 1024.0;
        ++u;
    }
    char buf[48];
    std::snprintf(buf, sizeof(buf), u == 0 ? "%.0f %s" : (b < 1e4 ? "%.1f %s" : "%.3g %s"), b, units[u]);
    return buf;
}

std::string durationText(double s)
{
    char buf[48];
    if (s < 3600) std::snprintf(buf, sizeof(buf), "%.0f minutes", s / 60);
    else if (s < 2 * 86400) std::snprintf(buf, sizeof(buf), "%.1f hours", s / 3600);
    else if (s < yearLimit) std::snprintf(buf, sizeof(buf), "%.0f days", s / 86400);
    else std::snprintf(buf, sizeof(buf), "%.3g years", s / yearLimit);
    return buf;
}

// A sum of work terms that remembers the largest one and what it is made of.
struct Work
{
    double seconds = 0;
    double largest = -1;
    std::string what;

    void add(double count, double unit, const std::string &description)
    {
        double s = count * unit;
        seconds += s;
        if (s > largest)
        {
            largest = s;
            what = description;
        }
    }
};

struct Parms
{
    const OP_Node &node;
    fpreal time;

    int integer(const char *name, int vi = 0, int fallback = 0) const
    {
        return node.hasParm(name) ? node.evalIntT(name, vi, time, 0) : fallback;
    }
    std::string text(const char *name) const
    {
        if (!node.hasParm(name)) return "";
        UT_String s;
        node.evalStringT(s, name, 0, time, 0);
        return s.c_str() ? s.c_str() : "";
    }
    std::string setting(const char *name, int vi = 0) const { return std::string(name) + "=" + std::to_string(integer(name, vi)); }
    // Lookups of one fractal noise: the base lookup plus each octave, with
    // the octave loop's own cap.
    double lookups() const
    {
        double octaves = std::max(integer("noiseoctaves"), 0);
        return 1.0 + std::min(octaves, 16777215.0);
    }
    std::string lookupText() const { return "(" + setting("noiseoctaves") + " + 1) noise lookups"; }
    bool on(const char *name) const { return integer(name) != 0; }
};

// Element counts of the input geometry.
struct Counts
{
    double points = 0, prims = 0, quads = 0, segments = 0;
};

Counts countInput(const GU_Detail *gdp)
{
    Counts c;
    if (!gdp) return c;
    c.points = double(gdp->getNumPoints());
    c.prims = double(gdp->getNumPrimitives());
    for (GA_Offset p = 0; p < GA_Offset(gdp->getNumPrimitives()); ++p)
    {
        GA_Size n = gdp->getPrimitive(p)->getVertexCount();
        if (n == 4) c.quads += 1;
        c.segments += double(n); // closed curves have as many segments as vertices
    }
    return c;
}

// Width and height from a GIF's logical screen descriptor; false when the
// file is not a GIF.
bool gifSize(const std::string &path, double &width, double &height)
{
    std::ifstream in(path, std::ios::binary);
    unsigned char h[10];
    if (!in.read(reinterpret_cast<char *>(h), sizeof(h))) return false;
    if (h[0] != 'G' || h[1] != 'I' || h[2] != 'F') return false;
    width = double(h[6] | (h[7] << 8));
    height = double(h[8] | (h[9] << 8));
    return true;
}

void sizeGrid(CookEstimate &e, const double res[3])
{
    const double T = UT_VoxelArrayF::TILESIZE, B = UT_VoxelArrayF::BLOCKTILES;
    double tiles = 1, blocks = 1;
    e.voxels = 1;
    for (int a = 0; a < 3; ++a)
    {
        double t = std::ceil(res[a] / T);
        e.voxels *= res[a];
        tiles *= t;
        blocks *= std::ceil(t / B);
    }
    e.tiles = tiles;
    e.zTiles = std::ceil(res[2] / T);
    e.indexBytes = double(e.volumes) * blocks * 8.0;
    e.fullBytes = e.indexBytes + double(e.volumes) * tiles * T * T * T * sizeof(float);
}

bool startsWith(const std::string &s, const char *prefix) { return s.rfind(prefix, 0) == 0; }
} // namespace

CookEstimate estimateCook(const OP_Operator &op, const OP_Node &node, fpreal time, const GU_Detail *input)
{
    const std::string &name = op.getName();
    const Parms p{node, time};
    const Counts in = countInput(input);
    CookEstimate e;
    Work least, most;

    if (name == "slabreel")
    {
        // Every pixel of every frame becomes voxels of four dense volumes;
        // the frame count is unknown until the file is decoded, so one is
        // assumed.
        e.volumes = 4;
        double w = 0, h = 0;
        std::string path = p.text("giffile");
        if (!gifSize(path, w, h)) return e;
        double res[3] = {w, h, 1};
        sizeGrid(e, res);
        e.indexBytes = e.fullBytes; // the pictures fill their volumes
        e.grid = "giffile=" + path + " (" + number(w) + " x " + number(h) + " pixels a frame)";
        least.add(4 * e.voxels, visitSeconds, e.grid);
        e.leastSeconds = e.mostSeconds = least.seconds;
        e.leastWork = e.mostWork = least.what;
        return e;
    }
    if (!node.hasParm("divs")) return e;

    // Divisions as the cook takes them: negative and below-2 counts are 2.
    double res[3];
    for (int a = 0; a < 3; ++a) res[a] = std::max(p.integer("divs", a), 2);
    e.grid = "divs=" + number(res[0]) + "," + number(res[1]) + "," + number(res[2]);
    const double V = res[0] * res[1] * res[2];
    const std::string pts = number(in.points) + " points";

    if (startsWith(name, "plumeweave"))
    {
        const bool stretch = startsWith(name, "plumeweave_velocity_stretch");
        e.volumes = stretch ? 1 + 3 * p.on("docolor") : 4;
        const double children = in.points * std::max(p.integer("childrencount"), 0);
        const std::string who = pts + " x " + p.setting("childrencount");
        least.add(children * 3 * p.lookups(), lookupSeconds, who + " x 3 x " + p.lookupText());
        most.add(children * 3 * p.lookups(), lookupSeconds, who + " x 3 x " + p.lookupText());
        if (stretch || p.on("feather"))
            most.add(children * V, visitSeconds, who + " x " + e.grid + (stretch ? " streak voxels" : " feather voxels"));
        else
        {
            least.add(children * 27, visitSeconds, who + " x 27 voxels");
            most.add(children * 27, visitSeconds, who + " x 27 voxels");
        }
    }
    else if (startsWith(name, "skinweave"))
    {
        e.volumes = 1 + 3 * p.on("docolor") + 3 * p.on("dovelocity");
        const double side = std::ceil(std::sqrt(double(std::max(p.integer("childrencount"), 0))));
        const double children = in.quads * side * side;
        const std::string who = number(in.quads) + " quads x " + p.setting("childrencount");
        least.add(children * p.lookups(), lookupSeconds, who + " x " + p.lookupText());
        most.add(children * p.lookups(), lookupSeconds, who + " x " + p.lookupText());
        if (p.on("feather"))
            most.add(children * V, visitSeconds, who + " x " + e.grid + " feather voxels");
        else
        {
            double edge = 2.0 * std::max(p.integer("extendvoxels"), 0) + 1.0;
            std::string what = who + " x (2 " + p.setting("extendvoxels") + " + 1)^3 voxels";
            least.add(children * edge * edge * edge, visitSeconds, what);
            most.add(children * edge * edge * edge, visitSeconds, what);
        }
    }
    else if (startsWith(name, "strandcast"))
    {
        e.volumes = 1 + 3 * p.on("docolor") + 3 * p.on("dovelocity");
        // Every voxel a curve reaches is measured against its segments.
        most.add(V * in.segments, visitSeconds, e.grid + " voxels x " + number(in.segments) + " curve segments");
        if (p.on("donoise"))
            most.add(V * in.prims * p.lookups(), lookupSeconds,
                     e.grid + " voxels x " + number(in.prims) + " curves x " + p.lookupText());
    }
    else if (startsWith(name, "billowfold"))
    {
        e.volumes = name == "billowfold" ? 4 : 1 + 3 * p.on("docolor");
        most.add(V * in.points, visitSeconds, e.grid + " voxels x " + pts);
        if (p.on("donoise"))
            most.add(V * in.points * p.lookups(), lookupSeconds, e.grid + " voxels x " + pts + " x " + p.lookupText());
    }
    else
        e.volumes = 7; // an operator this host does not know: as many as any makes

    sizeGrid(e, res);
    // The writer passes over every tile of every volume, and over every voxel
    // of the tiles that were written.
    least.add(e.volumes * e.tiles, visitSeconds, e.grid + " tiles written");
    most.add(e.volumes * V, visitSeconds, e.grid + " x " + std::to_string(e.volumes) + " volumes written");
    e.leastSeconds = least.seconds;
    e.leastWork = least.what;
    e.mostSeconds = std::max(most.seconds, least.seconds);
    e.mostWork = most.seconds >= least.seconds ? most.what : least.what;
    return e;
}

double availableMemoryBytes()
{
    double bytes = double(sysconf(_SC_PHYS_PAGES)) * double(sysconf(_SC_PAGE_SIZE));
    struct rlimit lim;
    if (getrlimit(RLIMIT_AS, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY) bytes = std::min(bytes, double(lim.rlim_cur));
    return bytes;
}

std::string refusal(const CookEstimate &e, double memoryBytes)
{
    const std::string force = " (use --force to cook anyway)";
    if (e.fullBytes > memoryBytes)
        return e.grid + ": " + std::to_string(e.volumes) + (e.volumes == 1 ? " volume" : " volumes") + " of " +
               number(e.voxels) + " voxels take up to " + bytesText(e.fullBytes) + " when filled (" +
               bytesText(e.indexBytes) + " even when empty), more than the " + bytesText(memoryBytes) + " of memory available" + force;
    if (e.leastSeconds > dayLimit)
        return "too much work: " + e.leastWork + ", at least " + durationText(e.leastSeconds) + " of computing" + force;
    if (e.mostSeconds > yearLimit)
        return "too much work: " + e.mostWork + ", up to " + durationText(e.mostSeconds) + " of computing" + force;
    return "";
}
} // namespace sopcook
