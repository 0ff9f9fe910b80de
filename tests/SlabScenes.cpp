// SPDX-License-Identifier: Apache-2.0
#include "SlabScenes.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <Magick++.h>
#include "LayeredGif.h"
#include "GEO/GEO_PrimPoly.h"

using namespace testhost;

namespace slabscenes
{
namespace
{
// The grid: the box [0, 1]^3 as input 1, `res` voxels.
void box(Cook &c, int rx, int ry, int rz)
{
    addPoint(c.input(1), UT_Vector3(0, 0, 0));
    addPoint(c.input(1), UT_Vector3(1, 1, 1));
    c.set3("divs", rx, ry, rz);
    c.set3("extendbounds", 0, 0, 0);
}

// Points through the box with every attribute the point operators read.
void points(Cook &c, int count, float radius)
{
    GU_Detail &in = c.input(0);
    for (int i = 0; i < count; ++i)
    {
        GA_Offset pt = addPoint(in, UT_Vector3(0.1f + 0.8f * hash01(i, 1), 0.1f + 0.8f * hash01(i, 2), hash01(i, 3)));
        setPointAttrib(in, pt, "density", {0.5f + hash01(i, 4)});
        setPointAttrib(in, pt, "pscale", {radius * (0.5f + hash01(i, 5))});
        setPointAttrib(in, pt, "radiusf", {0.5f + hash01(i, 6)});
        setPointAttrib(in, pt, "N", {hash01(i, 7) - 0.5f, 1, hash01(i, 8)});
        setPointAttrib(in, pt, "up", {0, hash01(i, 9), 1});
        setPointAttrib(in, pt, "noiseoffset", {hash01(i, 10), hash01(i, 11), hash01(i, 12)});
        setPointAttrib(in, pt, "Cd", {hash01(i, 13), hash01(i, 14), hash01(i, 15)});
        setPointAttrib(in, pt, "v", {0.3f * (hash01(i, 16) - 0.5f), 0.2f * hash01(i, 17), 0.4f * (hash01(i, 18) - 0.5f)});
    }
}

// Wandering open curves of 6 segments, mostly across z.
void curves(Cook &c, int count)
{
    GU_Detail &in = c.input(0);
    for (int j = 0; j < count; ++j)
    {
        UT_Vector3 p(0.2f + 0.6f * hash01(j, 1), 0.2f + 0.6f * hash01(j, 2), 0.1f * hash01(j, 3));
        std::vector<GA_Offset> pts;
        for (int i = 0; i <= 6; ++i)
        {
            const int s = j * 7 + i;
            GA_Offset pt = addPoint(in, p);
            setPointAttrib(in, pt, "density", {0.5f + hash01(s, 4)});
            setPointAttrib(in, pt, "pscale", {0.04f + 0.06f * hash01(s, 5)});
            setPointAttrib(in, pt, "N", {1, hash01(s, 6), 0});
            setPointAttrib(in, pt, "up", {0, 1, hash01(s, 7)});
            setPointAttrib(in, pt, "uv", {hash01(s, 8), hash01(s, 9), 0});
            setPointAttrib(in, pt, "Cd", {hash01(s, 10), hash01(s, 11), hash01(s, 12)});
            pts.push_back(pt);
            p += UT_Vector3(0.1f * (hash01(s, 13) - 0.5f), 0.1f * (hash01(s, 14) - 0.5f), 0.16f * hash01(s, 15));
        }
        GEO_PrimPoly::build(&in, pts, false);
    }
}

// Curves a slab cannot prove it misses from their z span: one with a
// position not finite off z (its reach is the whole grid), one with a NaN
// radius, one with no positive radius.
void unprovableCurves(Cook &c)
{
    GU_Detail &in = c.input(0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float radii[3][3] = {{0.05f, 0.06f, 0.05f}, {0.05f, nan, 0.04f}, {0, -0.1f, 0}};
    for (int j = 0; j < 3; ++j)
    {
        std::vector<GA_Offset> pts;
        for (int i = 0; i < 3; ++i)
        {
            const float x = j == 0 && i == 2 ? nan : 0.3f + 0.2f * float(i);
            GA_Offset pt = addPoint(in, UT_Vector3(x, 0.3f + 0.2f * float(j), 0.1f + 0.35f * float(i)));
            setPointAttrib(in, pt, "density", {1});
            setPointAttrib(in, pt, "pscale", {radii[j][i]});
            setPointAttrib(in, pt, "Cd", {0.5f, 0.4f, 0.3f});
            pts.push_back(pt);
        }
        GEO_PrimPoly::build(&in, pts, false);
    }
}

// A tilted, wavy sheet of n x n quads running through the box's depth.
void sheet(Cook &c, int n, float z0 = 0.05f, float depth = 0.9f)
{
    GU_Detail &in = c.input(0);
    std::vector<GA_Offset> pts;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i)
        {
            const float u = float(i) / n, v = float(j) / n;
            GA_Offset pt = addPoint(in, UT_Vector3(0.1f + 0.8f * u, 0.1f + 0.8f * v + 0.03f * std::sin(7 * u),
                                                   z0 + depth * v));
            const int s = j * (n + 1) + i;
            setPointAttrib(in, pt, "density", {0.5f + hash01(s, 1)});
            setPointAttrib(in, pt, "pscale", {0.03f + 0.03f * hash01(s, 2)});
            setPointAttrib(in, pt, "N", {0, -0.7f, 0.7f});
            setPointAttrib(in, pt, "uv", {u, v, 0});
            setPointAttrib(in, pt, "noiseoffset", {hash01(s, 3), 0, 0});
            setPointAttrib(in, pt, "Cd", {hash01(s, 4), hash01(s, 5), hash01(s, 6)});
            setPointAttrib(in, pt, "v", {hash01(s, 7), hash01(s, 8) - 0.5f, 0.5f});
            pts.push_back(pt);
        }
    auto at = [&](int i, int j) { return pts[size_t(j * (n + 1) + i)]; };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) GEO_PrimPoly::build(&in, {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)}, true);
}

std::string gifPath() { return ::testing::TempDir() + "slab_clip_" + std::to_string(getpid()) + ".gif"; }

// 21 frames of 7 x 5 pixels (two z tiles, the second 5 deep), every pixel
// of every frame its own colour. Written once per test process.
void writeGif()
{
    static bool written = false;
    if (written) return;
    written = true;
    Magick::InitializeMagick(nullptr);
    std::vector<Magick::Image> frames;
    for (int f = 0; f < 21; ++f)
    {
        Magick::Image img(Magick::Geometry(7, 5), Magick::Color("black"));
        img.type(Magick::TrueColorType);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x)
            {
                const int s = (f * 5 + y) * 7 + x;
                img.pixelColor(size_t(x), size_t(y), Magick::ColorRGB(hash01(s, 1), hash01(s, 2), hash01(s, 3)));
            }
        testgif::toPalette(img);
        frames.push_back(img);
    }
    Magick::writeImages(frames.begin(), frames.end(), "gif:" + gifPath());
}

std::string layeredGifPath() { return ::testing::TempDir() + "slab_clip_layers_" + std::to_string(getpid()) + ".gif"; }

// A GIF of partial frames with disposal and transparency (LayeredGif.h):
// a slab cook decodes its frames apart from the rest, so nothing of one
// frame may leak into the next.
void writeLayeredGif()
{
    static bool written = false;
    if (written) return;
    written = true;
    testgif::writeLayeredGif(layeredGifPath(), 19, 9, 7);
}

struct GifCleanup : ::testing::Environment
{
    void TearDown() override
    {
        std::remove(gifPath().c_str());
        std::remove(layeredGifPath().c_str());
    }
};
::testing::Environment *const gifCleanup = ::testing::AddGlobalTestEnvironment(new GifCleanup);
} // namespace

const std::vector<Scene> &everyScene()
{
    static const std::vector<Scene> scenes = {    {"plumeweave_feather", "plumeweave",
     [](Cook &c) {
         points(c, 30, 0.06f);
         box(c, 19, 17, 53);
         c.set("childrencount", 12);
         c.set("feather", 1);
         c.set("noiseamp", 0.02); // short walks: whole wisps skipped
     }},
    {"plumeweave_block", "plumeweave",
     [](Cook &c) {
         points(c, 30, 0.08f);
         box(c, 21, 15, 37);
         c.set("childrencount", 10);
         c.set("noiseamp", 0.2);
         c.set("noiseoctaves", 3);
     }},
    {"stretch", "plumeweave_velocity_stretch",
     [](Cook &c) {
         points(c, 20, 0.05f);
         box(c, 17, 19, 41);
         c.set("childrencount", 6);
         c.set("docolor", 1);
         c.set("noiseamp", 0.03);
     }},
    {"stretchMT", "plumeweave_velocity_stretchMT",
     [](Cook &c) {
         points(c, 20, 0.05f);
         box(c, 17, 19, 41);
         c.set("childrencount", 6);
         c.set("docolor", 1);
         c.set("noiseamp", 0.03);
     }},
    {"stretchMT_3threads", "plumeweave_velocity_stretchMT",
     [](Cook &c) {
         points(c, 20, 0.03f);
         box(c, 17, 19, 41);
         c.set("childrencount", 6);
         c.set("docolor", 1);
     },
     3, true},
    {"skin_feather", "skinweave",
     [](Cook &c) {
         sheet(c, 5);
         box(c, 19, 21, 45);
         c.set("childrencount", 9);
         c.set("feather", 1);
         c.set("docolor", 1);
         c.set("dovelocity", 1);
         c.set3("noiseamp", 0.1, 0.1, 0.1);
     }},
    {"skin_cube", "skinweave",
     [](Cook &c) {
         sheet(c, 6);
         box(c, 23, 17, 39);
         c.set("childrencount", 16);
         c.set("extendvoxels", 2);
         c.set3("noiseamp", 0.02, 0.02, 0.02);
         c.set("docolor", 1);
         c.set("dovelocity", 1);
     }},
    {"skinMT", "skinweaveMT",
     [](Cook &c) {
         sheet(c, 5);
         box(c, 19, 21, 45);
         c.set("childrencount", 9);
         c.set("feather", 1);
         c.set3("noiseamp", 0.02, 0.02, 0.02);
         c.set("docolor", 1);
         c.set("dovelocity", 1);
     }},
    {"skinMT_frustum", "skinweaveMT",
     [](Cook &c) {
         sheet(c, 5, 0.2f, 0.6f);
         box(c, 23, 19, 43);
         c.set("childrencount", 9);
         c.set("usecamfrustum", 1);
         c.set("docolor", 1);
     },
     1, false, true},
    {"strands", "strandcast",
     [](Cook &c) {
         curves(c, 12);
         box(c, 21, 19, 51);
         c.set("donoise", 1);
         c.set("noiseamp", 4);
         c.set("noisefreq", 2);
         c.set("docolor", 1);
     }},
    {"strands_unprovable", "strandcast",
     [](Cook &c) {
         curves(c, 12);
         unprovableCurves(c);
         box(c, 21, 19, 51);
         c.set("docolor", 1);
     }},
    {"strandsMT", "strandcastStraightMT",
     [](Cook &c) {
         curves(c, 12);
         unprovableCurves(c);
         box(c, 21, 19, 51);
         c.set("docolor", 1);
     }},
    {"strandsMT_2threads", "strandcastStraightMT",
     [](Cook &c) {
         curves(c, 12);
         box(c, 21, 19, 51);
         c.set("donoise", 1);
         c.set("docolor", 1);
     },
     2, true},
    {"cloud_noise", "billowfold",
     [](Cook &c) {
         points(c, 40, 0.12f);
         box(c, 23, 21, 53);
         c.set("donoise", 1);
         c.set("noiseamp", 0.8);
     }},
    {"cloud", "billowfold",
     [](Cook &c) {
         points(c, 40, 0.12f);
         box(c, 17, 15, 35);
     }},
    {"cloudMT", "billowfoldMT",
     [](Cook &c) {
         points(c, 40, 0.12f);
         box(c, 23, 21, 53);
         c.set("donoise", 1);
         c.set("docolor", 1);
     }},
    {"cloudMT_2threads", "billowfoldMT",
     [](Cook &c) {
         points(c, 40, 0.12f);
         box(c, 23, 21, 53);
         c.set("docolor", 1);
     },
     2, true},
    {"stack", "slabreel",
     [](Cook &c) {
         writeGif();
         c.set("giffile", gifPath());
         c.set("offset", 5);
     }},
    {"stack_layers", "slabreel",
     [](Cook &c) {
         writeLayeredGif();
         c.set("giffile", layeredGifPath());
     }},
    {"stack_layers_negative_offset", "slabreel",
     [](Cook &c) {
         writeLayeredGif();
         c.set("giffile", layeredGifPath());
         c.set("offset", -23);
     }},
};
    return scenes;
}

Grids gridsOf(const GU_Detail &gdp, bool densityOnly)
{
    Grids g;
    for (const std::string &name : volumeNames(gdp))
    {
        if (densityOnly && name != "density") continue;
        const GU_PrimVolume *vol = findVolume(gdp, name.c_str());
        int rx, ry, rz;
        vol->getRes(rx, ry, rz);
        std::vector<uint32_t> &bits = g.bits[name];
        for (int k = 0; k < rz; ++k)
            for (int j = 0; j < ry; ++j)
                for (int i = 0; i < rx; ++i)
                {
                    float v = float(vol->getValueAtIndex(i, j, k));
                    uint32_t b;
                    std::memcpy(&b, &v, sizeof b);
                    bits.push_back(b);
                }
        g.zres[name] = rz;
        g.xy = rx * ry;
    }
    return g;
}
} // namespace slabscenes
