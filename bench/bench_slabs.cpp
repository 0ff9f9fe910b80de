// SPDX-License-Identifier: Apache-2.0
// The slab CPU table: per operator, the process CPU time of the whole cook
// and the sum over the N slab cooks (cook --slab I/N) for N = 4 and 16, and
// their ratio. A slab cook skips what cannot reach its slab, so the ratio
// tends to 1; what it cannot skip (a wisp's noise walk that straddles slab
// faces, reading the input, decoding a GIF) is paid once per slab. "fixed"
// estimates that share of the whole cook from the 16-slab ratio:
// (ratio - 1) / 15. Twins run with one worker thread.
//   build/bin/bench_slabs [runs] [filter]   (filter: part of an operator or scene name)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>
#include <Magick++.h>
#include "GEO/GEO_PrimPoly.h"
#include "BenchScenes.h"
#include "TestHost.h"
#include "UT/UT_ThreadedAlgorithm.h"
#include "UT/UT_VoxelSlab.h"

using namespace testhost;
using benchscenes::hash01;

namespace
{
void unitBox(Cook &c, int grid)
{
    GU_Detail &box = c.input(1);
    addPoint(box, UT_Vector3(0, 0, 0));
    addPoint(box, UT_Vector3(float(grid), float(grid), float(grid)));
    c.set3("divs", grid, grid, grid);
    c.set3("extendbounds", 0, 0, 0);
}

// billowfold's benchmark scene: 10,000 balls of radius 2 to 6 in 256^3.
void clouds(Cook &c, bool noise, bool twin = false)
{
    GU_Detail &in = c.input(0);
    const std::vector<benchscenes::Ball> balls = benchscenes::scatterBalls(10000, 256);
    for (size_t i = 0; i < balls.size(); ++i)
    {
        const benchscenes::Ball &b = balls[i];
        GA_Offset pt = addPoint(in, UT_Vector3(b.x, b.y, b.z));
        setPointAttrib(in, pt, "density", {1});
        setPointAttrib(in, pt, "pscale", {b.r});
        setPointAttrib(in, pt, "Cd", {0.8f, 0.7f, 0.6f});
        setPointAttrib(in, pt, "N", {1, 0.2f, 0});
        setPointAttrib(in, pt, "up", {0, 1, 0.3f});
        setPointAttrib(in, pt, "noiseoffset", {float(i % 17), 0.5f, 0.25f});
    }
    unitBox(c, 256);
    c.set("donoise", noise ? 1 : 0);
    c.set3("noisefreq", 0.3, 0.3, 0.3);
    if (twin) c.set("docolor", 1);
}

// 1000 random walks of 10 segments, radius 1 to 4 voxels, in 256^3.
void curves(Cook &c, bool noise)
{
    GU_Detail &in = c.input(0);
    for (int j = 0; j < 1000; ++j)
    {
        UT_Vector3 p(40 + 176 * hash01(j, 1), 40 + 176 * hash01(j, 2), 40 + 176 * hash01(j, 3));
        std::vector<GA_Offset> pts;
        for (int i = 0; i <= 10; ++i)
        {
            GA_Offset pt = addPoint(in, p);
            setPointAttrib(in, pt, "density", {1});
            setPointAttrib(in, pt, "pscale", {1 + 3 * hash01(j * 11 + i, 5)});
            setPointAttrib(in, pt, "Cd", {0.8f, 0.7f, 0.6f});
            setPointAttrib(in, pt, "N", {1, 0, 0});
            setPointAttrib(in, pt, "up", {0, 1, 0});
            setPointAttrib(in, pt, "uv", {hash01(j, 9), float(i) / 10, 0});
            pts.push_back(pt);
            p += UT_Vector3(6 * (hash01(j * 11 + i, 6) - 0.5f), 6 * (hash01(j * 11 + i, 7) - 0.5f),
                            6 * (hash01(j * 11 + i, 8) - 0.5f));
        }
        GEO_PrimPoly::build(&in, pts, false);
    }
    unitBox(c, 256);
    c.set("docolor", 1);
    c.set("donoise", noise ? 1 : 0);
}

// skinweave's benchmark scene: a waved sheet of 64 x 64 quads in 128^3, 100
// children a quad, cubes of 3^3 voxels.
void sheet(Cook &c)
{
    GU_Detail &in = c.input(0);
    const int quads = 64, grid = 128;
    const float step = float(grid) / quads;
    std::vector<GA_Offset> pts;
    for (int j = 0; j <= quads; ++j)
        for (int i = 0; i <= quads; ++i)
        {
            float x = float(i) * step, y = float(j) * step;
            float z = float(grid) * 0.5f + 8.0f * std::sin(x * 0.05f) * std::cos(y * 0.04f);
            GA_Offset pt = addPoint(in, UT_Vector3(x, y, z));
            setPointAttrib(in, pt, "density", {1});
            setPointAttrib(in, pt, "pscale", {3});
            setPointAttrib(in, pt, "N", {0, 0, 4});
            setPointAttrib(in, pt, "uv", {x / 16, y / 16, 0});
            setPointAttrib(in, pt, "Cd", {0.8f, 0.7f, 0.6f});
            pts.push_back(pt);
        }
    auto at = [&](int i, int j) { return pts[size_t(j * (quads + 1) + i)]; };
    for (int j = 0; j < quads; ++j)
        for (int i = 0; i < quads; ++i)
            GEO_PrimPoly::build(&in, {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)}, true);
    unitBox(c, grid);
    c.set("childrencount", 100);
    c.set("docolor", 1);
}

// Wisps: 2000 points of 50 children, walks of amplitude 2 voxels.
void wisps(Cook &c)
{
    GU_Detail &in = c.input(0);
    for (int i = 0; i < 2000; ++i)
    {
        GA_Offset pt = addPoint(in, UT_Vector3(16 + 224 * hash01(i, 1), 16 + 224 * hash01(i, 2), 16 + 224 * hash01(i, 3)));
        setPointAttrib(in, pt, "density", {1});
        setPointAttrib(in, pt, "pscale", {2});
        setPointAttrib(in, pt, "noiseoffset", {hash01(i, 4) * 100, hash01(i, 5) * 100, hash01(i, 6) * 100});
    }
    unitBox(c, 256);
    c.set("childrencount", 50);
    c.set("feather", 1);
    c.set("noiseamp", 2);
}

// Moving points, 20 children each drawing a streak of footprint 2 voxels.
void streaks(Cook &c)
{
    GU_Detail &in = c.input(0);
    for (int i = 0; i < 2000; ++i)
    {
        GA_Offset pt = addPoint(in, UT_Vector3(48 + 160 * hash01(i, 1), 48 + 160 * hash01(i, 2), 48 + 160 * hash01(i, 3)));
        UT_Vector3 v(hash01(i, 4) - 0.5f, hash01(i, 5) - 0.5f, hash01(i, 6) - 0.5f);
        v *= 8.0f / std::sqrt(v.dot(v) + 1e-12f);
        setPointAttrib(in, pt, "density", {1});
        setPointAttrib(in, pt, "pscale", {2});
        setPointAttrib(in, pt, "radiusf", {2});
        setPointAttrib(in, pt, "v", {v.x(), v.y(), v.z()});
    }
    unitBox(c, 256);
    c.set("childrencount", 20);
}

std::string gifPath() { return "/tmp/bench_slabs_" + std::to_string(getpid()) + ".gif"; }

// 64 frames of 256 x 256 pixels: a disc moving across a gradient.
void writeReel()
{
    Magick::InitializeMagick(nullptr);
    std::vector<Magick::Image> frames;
    for (int f = 0; f < 64; ++f)
    {
        Magick::Image img(Magick::Geometry(256, 256), Magick::Color(0, 0, 0));
        img.type(Magick::TrueColorType);
        img.modifyImage();
        Magick::PixelPacket *p = img.getPixels(0, 0, 256, 256);
        const float cx = 40 + 3 * f, cy = 128;
        for (int y = 0; y < 256; ++y)
            for (int x = 0; x < 256; ++x)
            {
                const bool in = (x - cx) * (x - cx) + (y - cy) * (y - cy) < 50 * 50;
                Magick::PixelPacket &px = p[y * 256 + x];
                px.red = Magick::Quantum(in ? 65535 : 256 * x);
                px.green = Magick::Quantum(in ? 30000 : 256 * y);
                px.blue = Magick::Quantum(in ? 0 : 1024 * f);
            }
        img.syncPixels();
        frames.push_back(img);
    }
    Magick::writeImages(frames.begin(), frames.end(), "gif:" + gifPath());
}

struct Case
{
    const char *op;
    const char *scene;
    std::function<void(Cook &)> build;
};

double processCpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// The least process CPU time of `runs` cooks as slab `index` of `count`.
double cookCpu(Cook &c, int index, int count, int runs)
{
    double best = 1e30;
    for (int r = 0; r < runs; ++r)
    {
        c.setSlab(count > 1 ? UT_VoxelSlab{index, count} : UT_VoxelSlab());
        const double t0 = processCpuSeconds();
        c.cook();
        best = std::min(best, processCpuSeconds() - t0);
        c.setSlab(UT_VoxelSlab());
    }
    return best;
}

double slabsCpu(Cook &c, int count, int runs)
{
    double sum = 0;
    for (int i = 0; i < count; ++i) sum += cookCpu(c, i, count, runs);
    return sum;
}

// Standard output of the cooks goes to /dev/null (billowfold prints a line).
struct Quiet
{
    int saved = -1;
    Quiet()
    {
        std::fflush(stdout);
        saved = dup(1);
        int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        close(devnull);
    }
    ~Quiet()
    {
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
    }
};
} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    const char *filter = argc > 2 ? argv[2] : "";
    UT_ThreadedAlgorithm::setDefaultThreadCount(1);
    const Case cases[] = {
        {"billowfold", "10k balls r 2-6, 256^3", [](Cook &c) { clouds(c, false); }},
        {"billowfold", "same, noise", [](Cook &c) { clouds(c, true); }},
        {"billowfoldMT", "same, noise", [](Cook &c) { clouds(c, true, true); }},
        {"strandcast", "1000 curves r 1-4, 256^3", [](Cook &c) { curves(c, false); }},
        {"strandcast", "same, noise", [](Cook &c) { curves(c, true); }},
        {"strandcastStraightMT", "same, noise", [](Cook &c) { curves(c, true); }},
        {"skinweave", "64x64 quads x 100, 128^3", sheet},
        {"skinweaveMT", "same", sheet},
        {"slabreel", "64 frames 256x256", [](Cook &c) { c.set("giffile", gifPath()); }},
        {"plumeweave", "2000 pts x 50, 256^3", wisps},
        {"plumeweave_velocity_stretch", "2000 pts x 20 streaks", streaks},
        {"plumeweave_velocity_stretchMT", "same", streaks},
    };
    bool reel = false;
    std::printf("process CPU seconds, least of %d cook%s each; ratio = sum of N slab cooks / whole cook\n", runs,
                runs > 1 ? "s" : "");
    std::printf("%-30s %-25s %8s %8s %6s %8s %6s %6s\n", "operator", "scene", "whole", "4 slabs", "ratio", "16 slabs",
                "ratio", "fixed");
    for (const Case &k : cases)
    {
        if (!std::strstr(k.op, filter) && !std::strstr(k.scene, filter)) continue;
        if (!std::strcmp(k.op, "slabreel") && !reel)
        {
            writeReel();
            reel = true;
        }
        Cook c(k.op);
        k.build(c);
        double whole, four, sixteen;
        {
            Quiet quiet;
            cookCpu(c, 0, 1, 1); // warm: plug-in tables, page faults of the first cook
            whole = cookCpu(c, 0, 1, runs);
            four = slabsCpu(c, 4, runs);
            sixteen = slabsCpu(c, 16, runs);
        }
        std::printf("%-30s %-25s %8.3f %8.3f %6.2f %8.3f %6.2f %5.1f%%\n", k.op, k.scene, whole, four, four / whole,
                    sixteen, sixteen / whole, 100 * std::max(0.0, (sixteen / whole - 1) / 15));
        std::fflush(stdout);
    }
    if (reel) std::remove(gifPath().c_str());
    return 0;
}
