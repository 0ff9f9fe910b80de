// SPDX-License-Identifier: Apache-2.0
// The plain cooks against the same voxel work done outside the host: 10,000
// balls of radius 2 to 6 voxels in a 256^3 grid of unit voxels, through
// billowfold (colour off and on), plumeweave (one feathered child per point)
// and strandcast (one short segment per ball). Each cook's per-voxel rule is
// run three ways with the same single-precision voxel centres: the operator
// through the host (sopcook's way), a dense float array, and OpenVDB through
// one ValueAccessor per field. Prints the minimum of several runs of each
// and the ratios, all from one run of this program:
//   build/bin/bench_plain_ratios [runs] [filter]   (filter: part of a cook's name)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <unistd.h>
#include <openvdb/openvdb.h>
#include "../clouds/CloudBall.h"
#include "../curves/CurveCast.h"
#include "../wisps/WispWalk.h"
#include "GEO/GEO_PrimPoly.h"
#include "BenchScenes.h"
#include "TestHost.h"

using namespace testhost;
using benchscenes::Ball;

namespace
{
constexpr int kGrid = 256;
constexpr int kBalls = 10000;

enum class Work
{
    BillowfoldColourOff,
    BillowfoldColourOn,
    Plumeweave,
    Strandcast
};

const char *workName(Work w)
{
    switch (w)
    {
    case Work::BillowfoldColourOff: return "billowfold, colour off";
    case Work::BillowfoldColourOn: return "billowfold, colour on";
    case Work::Plumeweave: return "plumeweave (feather)";
    case Work::Strandcast: return "strandcast";
    }
    return "";
}

// The operator's scene: balls as points, or as one-segment curves for
// strandcast; the box input spans the grid with no extension (unit voxels).
void buildScene(Cook &c, const std::vector<Ball> &balls, Work w)
{
    GU_Detail &in = c.input(0);
    for (const Ball &b : balls)
    {
        GA_Offset pt = addPoint(in, UT_Vector3(b.x, b.y, b.z));
        setPointAttrib(in, pt, "density", {1});
        setPointAttrib(in, pt, "pscale", {b.r});
        if (w == Work::BillowfoldColourOn) setPointAttrib(in, pt, "Cd", {0.8f, 0.7f, 0.6f});
        if (w != Work::Strandcast) continue;
        GA_Offset end = addPoint(in, UT_Vector3(b.x + 2, b.y + 1, b.z));
        setPointAttrib(in, end, "density", {1});
        setPointAttrib(in, end, "pscale", {b.r});
        GEO_PrimPoly::build(&in, {pt, end}, false);
    }
    GU_Detail &box = c.input(1);
    addPoint(box, UT_Vector3(0, 0, 0));
    addPoint(box, UT_Vector3(kGrid, kGrid, kGrid));
    c.set3("divs", kGrid, kGrid, kGrid);
    c.set3("extendbounds", 0, 0, 0);
    if (w == Work::Plumeweave)
    {
        c.set("childrencount", 1);
        c.set("feather", 1);
    }
}

// Voxel centres as the host gives them: per-axis terms c * X(a, o) added in
// rowTimes' order, then the anchor.
struct Centres
{
    std::vector<float> terms[3];
    UT_Vector3 C;

    explicit Centres(const GEO_PrimVolume &vol)
    {
        int res[3];
        vol.getRes(res[0], res[1], res[2]);
        const UT_Matrix3 &X = vol.getTransform();
        for (int a = 0; a < 3; ++a)
            for (int i = 0; i < res[a]; ++i)
            {
                float c = (float(i) + 0.5f) / float(res[a]) * 2.0f - 1.0f;
                for (int o = 0; o < 3; ++o) terms[a].push_back(c * X(a, o));
            }
        C = vol.getCenter();
    }
    UT_Vector3 at(int x, int y, int z) const
    {
        const float *a = &terms[0][3 * x], *b = &terms[1][3 * y], *c = &terms[2][3 * z];
        return UT_Vector3(a[0] + b[0] + c[0], a[1] + b[1] + c[1], a[2] + b[2] + c[2]) + C;
    }
};

// A dense float field; calloc leaves untouched pages to the kernel's zero page.
struct DenseField
{
    float *v = static_cast<float *>(std::calloc(size_t(kGrid) * kGrid * kGrid, sizeof(float)));
    ~DenseField() { std::free(v); }
    float &at(int x, int y, int z) { return v[(size_t(z) * kGrid + y) * kGrid + x]; }
};

struct DenseFields
{
    std::vector<std::unique_ptr<DenseField>> f;
    explicit DenseFields(int n)
    {
        for (int i = 0; i < n; ++i) f.emplace_back(new DenseField);
    }
    void add(int i, int x, int y, int z, double w)
    {
        float &v = f[i]->at(x, y, z);
        v = float(double(v) + w);
    }
    void addSingle(int i, int x, int y, int z, float w) { f[i]->at(x, y, z) += w; }
};

struct VdbFields
{
    std::vector<openvdb::FloatGrid::Ptr> grids;
    std::vector<openvdb::FloatGrid::Accessor> acc;
    explicit VdbFields(int n)
    {
        for (int i = 0; i < n; ++i) grids.push_back(openvdb::FloatGrid::create(0.0f));
        for (int i = 0; i < n; ++i) acc.push_back(grids[i]->getAccessor());
    }
    void add(int i, int x, int y, int z, double w)
    {
        openvdb::Coord ijk(x, y, z);
        acc[i].setValue(ijk, float(double(acc[i].getValue(ijk)) + w));
    }
    void addSingle(int i, int x, int y, int z, float w)
    {
        openvdb::Coord ijk(x, y, z);
        acc[i].setValue(ijk, acc[i].getValue(ijk) + w);
    }
};

// billowfold's plain path: linear falloff inside the radius, density and
// colour summed in double.
template <typename FIELDS>
void billowfoldWork(FIELDS &f, const Centres &centres, const GEO_PrimVolume &vol, const std::vector<Ball> &balls,
                    bool colour)
{
    const int divs[3] = {kGrid, kGrid, kGrid};
    const double size[3] = {kGrid, kGrid, kGrid};
    for (const Ball &ball : balls)
    {
        clouds::CloudBall b;
        b.P = UT_Vector3(ball.x, ball.y, ball.z);
        vol.posToIndex(b.P, b.index[0], b.index[1], b.index[2]);
        b.density = 1.0;
        b.radius = ball.r;
        b.colour = UT_Vector3(0.8f, 0.7f, 0.6f);
        const clouds::SearchBox box = clouds::searchBox(b, divs, size, clouds::FlatAxis::WholeAxis);
        for (int z = box.lo[2]; z < box.hi[2]; ++z)
            for (int y = box.lo[1]; y < box.hi[1]; ++y)
                for (int x = box.lo[0]; x < box.hi[0]; ++x)
                {
                    float d = dist3D(centres.at(x, y, z), b.P);
                    if (!(d <= b.radius)) continue;
                    double w = clouds::plainWeight(b, d);
                    f.add(0, x, y, z, w);
                    if (colour)
                        for (int a = 0; a < 3; ++a) f.add(1 + a, x, y, z, b.colour[a] * w);
                }
    }
}

// plumeweave's feather deposit of one child per point, at the child's
// position from the operator's own noise walk (default noise settings).
template <typename FIELDS>
void plumeweaveWork(FIELDS &f, const Centres &centres, const GEO_PrimVolume &vol, const std::vector<Ball> &balls)
{
    for (const Ball &ball : balls)
    {
        const UT_Vector3 Q = wispChildPosition(UT_Vector3(ball.x, ball.y, ball.z), UT_Vector3(), 0, WispNoise());
        float r = ball.r;
        int idx[3], lo[3], hi[3];
        vol.posToIndex(Q, idx[0], idx[1], idx[2]);
        for (int a = 0; a < 3; ++a)
        {
            idx[a] = std::clamp(idx[a], 0, kGrid - 1);
            int e = int(std::ceil(double(r)));
            lo[a] = std::max(idx[a] - e, 0);
            hi[a] = std::min(idx[a] + e, kGrid);
        }
        for (int z = lo[2]; z < hi[2]; ++z)
            for (int y = lo[1]; y < hi[1]; ++y)
                for (int x = lo[0]; x < hi[0]; ++x)
                {
                    float d = dist3D(centres.at(x, y, z), Q);
                    if (!(r >= d)) continue;
                    double value = double((r - d) / r);
                    if (value > 0) f.add(0, x, y, z, value);
                }
    }
}

// strandcast's plain path: the nearest segment's linear profile, summed in
// single precision, over the voxels the curve can reach.
template <typename FIELDS>
void strandcastWork(FIELDS &f, const Centres &centres, const GU_Detail &in, const GEO_PrimVolume &vol)
{
    using namespace curvecast;
    CurveAttribs attribs = findCurveAttribs(&in, "density", "pscale", "N", "up", "uv", nullptr);
    VoxelCentres reachOf(&vol);
    CurveSamples curve;
    for (GA_Size j = 0; j < in.getNumPrimitives(); ++j)
    {
        curve.read(in.getGEOPrimitive(j), attribs, false, false);
        CurveReach reach = reachOf.reach(curve);
        for (int z = reach.bounds.lo[2]; z < reach.bounds.hi[2]; ++z)
            for (int y = reach.bounds.lo[1]; y < reach.bounds.hi[1]; ++y)
            {
                int begin, end;
                reach.row(y, z, begin, end);
                int hint = -1;
                for (int x = begin; x < end; ++x)
                {
                    SegmentFoot foot;
                    if (!nearestSegment(curve, centres.at(x, y, z), foot, hint)) continue;
                    hint = foot.k;
                    float r = foot.blend(curve.radius);
                    if (!(r >= foot.d)) continue;
                    float v = float(double((r - foot.d) / r) * 1.0 * double(foot.blend(curve.density)));
                    if (v > 0.0f) f.addSingle(0, x, y, z, v);
                }
            }
    }
}

template <typename FIELDS>
void runWork(Work w, FIELDS &f, const Centres &centres, const GU_Detail &in, const GEO_PrimVolume &vol,
             const std::vector<Ball> &balls)
{
    switch (w)
    {
    case Work::BillowfoldColourOff: billowfoldWork(f, centres, vol, balls, false); break;
    case Work::BillowfoldColourOn: billowfoldWork(f, centres, vol, balls, true); break;
    case Work::Plumeweave: plumeweaveWork(f, centres, vol, balls); break;
    case Work::Strandcast: strandcastWork(f, centres, in, vol); break;
    }
}

int fieldCount(Work w) { return w == Work::BillowfoldColourOn ? 4 : 1; }

double seconds(const std::function<void()> &f)
{
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

const char *opName(Work w)
{
    return w == Work::Strandcast ? "strandcast" : (w == Work::Plumeweave ? "plumeweave" : "billowfold");
}
} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    openvdb::initialize();
    const std::vector<Ball> balls = benchscenes::scatterBalls(kBalls, kGrid);
    std::printf("%d balls, radius 2-6 voxels, %d^3 grid; minimum of %d runs, seconds\n", kBalls, kGrid, runs);
    std::printf("%-24s %9s %9s %9s %10s %10s\n", "cook", "host", "dense", "openvdb", "vs dense", "vs openvdb");
    const char *filter = argc > 2 ? argv[2] : "";
    for (Work w : {Work::BillowfoldColourOff, Work::BillowfoldColourOn, Work::Plumeweave, Work::Strandcast})
    {
        if (!std::strstr(workName(w), filter)) continue;
        Cook c(opName(w));
        buildScene(c, balls, w);
        // billowfold prints a line per cook.
        std::fflush(stdout);
        int saved = dup(1), devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        double host = 1e30, dense = 1e30, vdb = 1e30;
        c.cook();
        const GU_PrimVolume *vol = findVolume(c.output(), "density");
        const Centres centres(*vol);
        const GU_Detail &in = c.input(0);
        // The three ways must do the same work: the dense density equals the
        // host's voxel for voxel.
        int64_t differ = 0;
        {
            DenseFields f(fieldCount(w));
            runWork(w, f, centres, in, *vol, balls);
            for (int z = 0; z < kGrid; ++z)
                for (int y = 0; y < kGrid; ++y)
                    for (int x = 0; x < kGrid; ++x) differ += f.f[0]->at(x, y, z) != vol->getValueAtIndex(x, y, z);
        }
        for (int r = 0; r < runs; ++r)
        {
            host = std::min(host, seconds([&] { c.cook(); }));
            vol = findVolume(c.output(), "density");
            dense = std::min(dense, seconds([&] {
                DenseFields f(fieldCount(w));
                runWork(w, f, centres, in, *vol, balls);
            }));
            vdb = std::min(vdb, seconds([&] {
                VdbFields f(fieldCount(w));
                runWork(w, f, centres, in, *vol, balls);
            }));
        }
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
        close(devnull);
        std::printf("%-24s %9.3f %9.3f %9.3f %9.2fx %9.2fx\n", workName(w), host, dense, vdb, host / dense, host / vdb);
        if (differ) std::printf("  WARNING: %lld density voxels differ from the host's\n", (long long)differ);
    }
    return 0;
}
