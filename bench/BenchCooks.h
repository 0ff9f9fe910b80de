// SPDX-License-Identifier: Apache-2.0
#pragma once
// The benchmark scenes of the slab tables (bench_slabs, bench_jobs): each
// operator's scene as a cook's inputs and parameters, and the clocks and
// quiet the tables are measured with.
#include <fcntl.h>
#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <string>
#include <vector>
#include <Magick++.h>
#include "BenchCookScenes.h"
#include "GEO/GEO_PrimPoly.h"
#include "TestHost.h"

namespace benchcooks
{
using benchscenes::hash01;
using benchscenes::unitBox;
using testhost::Cook;
using testhost::addPoint;
using testhost::setPointAttrib;

// billowfold's benchmark scene: 10,000 balls of radius 2 to 6 in 256^3.
inline void clouds(Cook &c, bool noise, bool twin = false)
{
    benchscenes::ballPoints(c.input(0), benchscenes::scatterBalls(10000, 256));
    unitBox(c, 256);
    c.set("donoise", noise ? 1 : 0);
    c.set3("noisefreq", 0.3, 0.3, 0.3);
    if (twin) c.set("docolor", 1);
}

// 1000 random walks of 10 segments, radius 1 to 4 voxels, in 256^3.
inline void curves(Cook &c, bool noise)
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
inline void sheet(Cook &c)
{
    const int grid = 128;
    benchscenes::wavedSheet(c.input(0), 64, grid, /*uv=*/true);
    unitBox(c, grid);
    c.set("childrencount", 100);
    c.set("docolor", 1);
}

// Wisps: 2000 points of 50 children, walks of amplitude 2 voxels.
inline void wisps(Cook &c)
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
inline void streaks(Cook &c)
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

// The GIF the slabreel cases read, one per benchmark process.
inline std::string gifPath() { return "/tmp/bench_cooks_" + std::to_string(getpid()) + ".gif"; }

// 64 frames of 256 x 256 pixels: a disc moving across a gradient.
inline void writeReel()
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

inline double processCpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
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

// One operator's benchmark scene.
struct BenchCase
{
    const char *op;
    const char *scene;
    std::function<void(Cook &)> build;
};

// Every operator on its benchmark scene (slabreel reads gifPath(): call
// writeReel first).
inline const std::vector<BenchCase> &benchCases()
{
    static const std::vector<BenchCase> cases = {
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
    return cases;
}

// Cooks of every case whose operator or scene contains filter, built and
// handed to measure; slabreel's GIF is written before its first case and
// removed at the end.
inline void forEachCase(const char *filter, const std::function<void(const BenchCase &, Cook &)> &measure)
{
    bool reel = false;
    for (const BenchCase &k : benchCases())
    {
        if (!std::strstr(k.op, filter) && !std::strstr(k.scene, filter)) continue;
        if (!std::strcmp(k.op, "slabreel") && !reel)
        {
            writeReel();
            reel = true;
        }
        Cook c(k.op);
        k.build(c);
        measure(k, c);
        std::fflush(stdout);
    }
    if (reel) std::remove(gifPath().c_str());
}
} // namespace benchcooks
