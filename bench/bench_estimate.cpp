// SPDX-License-Identifier: Apache-2.0
// The estimate's time range against the cook it estimates: every operator on
// its demo scene, the README's cooks of the example files, and the
// benchmarks' reach-bound scenes, each cooked on one thread. Per row: the
// least and most seconds the estimate gives, the cook's process CPU seconds
// (which hold on a loaded machine, unlike wall time), whether the range holds
// them, and how wide the range is.
//   build/bin/bench_estimate [-v] [filter]   (filter: part of an operator or scene name;
//   -v adds the estimate's largest terms)
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>
#include "BenchScenes.h"
#include "GEO/GEO_PrimPoly.h"
#include "TestHost.h"
#include "UT/UT_ThreadedAlgorithm.h"
#include "cli/DemoScenes.h"
#include "cook/CookEstimate.h"
#include "cook/VolumeBox.h"
#include "io/GeometryFile.h"

using namespace testhost;

namespace
{
double cpuSeconds()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

struct Scene
{
    std::string op, name;
    std::function<void(Cook &)> build;
};

void settings(Cook &c, const std::vector<std::pair<const char *, std::vector<double>>> &values)
{
    for (const auto &[parm, v] : values)
    {
        if (v.size() == 3) c.set3(parm, v[0], v[1], v[2]);
        else c.set(parm, v[0]);
    }
}

void readExample(Cook &c, const char *file, unsigned input = 0)
{
    std::vector<std::string> warnings;
    sopcook::readGeometryFile(std::string(SUITE_EXAMPLES) + "/" + file, c.input(input), warnings);
}

std::vector<Scene> demoScenes()
{
    std::vector<Scene> scenes;
    for (const auto &[op, recipe] : sopcook::recipes())
    {
        if (recipe.scene == sopcook::Scene::Gif) continue; // its cost is its file's pixels, counted exactly
        const sopcook::DemoRecipe r = recipe;
        scenes.push_back({op, "demo", [r](Cook &c) {
                              if (r.scene == sopcook::Scene::Points) sopcook::buildPointCloud(c.input(0));
                              if (r.scene == sopcook::Scene::Quads) sopcook::buildQuadGrid(c.input(0));
                              if (r.scene == sopcook::Scene::Curves) sopcook::buildCurves(c.input(0));
                              settings(c, r.settings);
                          }});
    }
    return scenes;
}

// The README's "Cooking each operator" lines (the frustum and frame-range
// ones left out: their cost does not depend on the box).
std::vector<Scene> readmeScenes()
{
    return {
        {"plumeweave", "readme", [](Cook &c) { readExample(c, "points.geo"); settings(c, {{"divs", {64, 64, 64}}, {"childrencount", {50}}, {"noiseamp", {0.3}}}); }},
        {"plumeweave_velocity_stretch", "readme", [](Cook &c) { readExample(c, "points.geo"); settings(c, {{"divs", {64, 64, 64}}, {"docolor", {1}}}); c.set("radiusattrib", "pscale"); }},
        {"plumeweave_velocity_stretchMT", "readme", [](Cook &c) { readExample(c, "points.geo"); settings(c, {{"divs", {128, 128, 128}}, {"childrencount", {40}}, {"docolor", {1}}}); }},
        {"skinweave", "readme", [](Cook &c) { readExample(c, "quads.ply"); settings(c, {{"divs", {64, 64, 16}}, {"docolor", {1}}, {"dovelocity", {1}}, {"noiseamp", {0.2, 0.2, 0.2}}}); }},
        {"strandcast", "readme", [](Cook &c) { readExample(c, "curves.geo"); settings(c, {{"divs", {64, 96, 48}}, {"donoise", {1}}, {"noiseamp", {4}}, {"noisefreq", {2}}}); }},
        {"strandcastStraightMT", "readme", [](Cook &c) { readExample(c, "curves.geo"); readExample(c, "points.geo", 1); settings(c, {{"divs", {48, 48, 16}}, {"docolor", {1}}}); }},
        {"billowfold", "readme", [](Cook &c) { readExample(c, "points.geo"); settings(c, {{"divs", {64, 64, 64}}, {"donoise", {1}}}); }},
    };
}

// Unit voxels over [0, grid]^3, given by a second input.
void unitBox(Cook &c, int grid)
{
    addPoint(c.input(1), UT_Vector3(0, 0, 0));
    addPoint(c.input(1), UT_Vector3(float(grid), float(grid), float(grid)));
    c.set3("divs", grid, grid, grid);
}

// The benchmarks' reach-bound scenes, smaller: balls of radius 2 to 6
// voxels, streaks, feathered sheets and curves in a 128^3 grid.
std::vector<Scene> benchScenes()
{
    auto balls = [](Cook &c, bool noise) {
        for (const benchscenes::Ball &b : benchscenes::scatterBalls(2000, 128))
        {
            GA_Offset pt = addPoint(c.input(0), UT_Vector3(b.x, b.y, b.z));
            setPointAttrib(c.input(0), pt, "density", {1});
            setPointAttrib(c.input(0), pt, "pscale", {b.r});
            setPointAttrib(c.input(0), pt, "Cd", {0.8f, 0.7f, 0.6f});
            setPointAttrib(c.input(0), pt, "N", {1, 0.2f, 0});
        }
        unitBox(c, 128);
        c.set("donoise", noise ? 1 : 0);
        c.set3("noisefreq", 0.3, 0.3, 0.3);
    };
    auto streaks = [](Cook &c) {
        for (int i = 0; i < 200; ++i)
        {
            GA_Offset pt = addPoint(c.input(0), UT_Vector3(16 + 96 * benchscenes::hash01(i, 1), 16 + 96 * benchscenes::hash01(i, 2),
                                                          16 + 96 * benchscenes::hash01(i, 3)));
            setPointAttrib(c.input(0), pt, "density", {1});
            setPointAttrib(c.input(0), pt, "pscale", {1.5f + 2 * benchscenes::hash01(i, 4)});
            setPointAttrib(c.input(0), pt, "radiusf", {2});
            setPointAttrib(c.input(0), pt, "v", {8 * benchscenes::hash01(i, 5), 4, -6 * benchscenes::hash01(i, 6)});
        }
        unitBox(c, 128);
        c.set("childrencount", 20);
    };
    auto curves = [](Cook &c) {
        for (int j = 0; j < 40; ++j)
        {
            std::vector<GA_Offset> pts;
            UT_Vector3 p(20 + 88 * benchscenes::hash01(j, 1), 20 + 88 * benchscenes::hash01(j, 2), 20 + 88 * benchscenes::hash01(j, 3));
            for (int k = 0; k < 11; ++k)
            {
                GA_Offset pt = addPoint(c.input(0), p);
                setPointAttrib(c.input(0), pt, "density", {1});
                setPointAttrib(c.input(0), pt, "pscale", {2 + 3 * benchscenes::hash01(j * 16 + k, 4)});
                setPointAttrib(c.input(0), pt, "N", {0, 0, 1});
                setPointAttrib(c.input(0), pt, "up", {0, 1, 0});
                setPointAttrib(c.input(0), pt, "uv", {float(k), float(j), 0});
                pts.push_back(pt);
                p += UT_Vector3(6 * benchscenes::hash01(j * 16 + k, 5) - 3, 6 * benchscenes::hash01(j * 16 + k, 6) - 3, 4);
            }
            GEO_PrimPoly::build(&c.input(0), pts, false);
        }
        unitBox(c, 128);
        c.set("donoise", 1);
    };
    auto sheet = [](Cook &c) {
        std::vector<GA_Offset> pts;
        for (int j = 0; j < 9; ++j)
            for (int i = 0; i < 9; ++i)
            {
                GA_Offset pt = addPoint(c.input(0), UT_Vector3(24 + 10 * i, 24 + 10 * j, 64 + 4 * benchscenes::hash01(i * 9 + j, 1)));
                setPointAttrib(c.input(0), pt, "density", {1});
                setPointAttrib(c.input(0), pt, "pscale", {2 + 2 * benchscenes::hash01(i * 9 + j, 2)});
                setPointAttrib(c.input(0), pt, "N", {0, 0, 1});
                setPointAttrib(c.input(0), pt, "uv", {float(i), float(j), 0});
                pts.push_back(pt);
            }
        for (int j = 0; j + 1 < 9; ++j)
            for (int i = 0; i + 1 < 9; ++i)
                GEO_PrimPoly::build(&c.input(0), {pts[j * 9 + i], pts[j * 9 + i + 1], pts[(j + 1) * 9 + i + 1], pts[(j + 1) * 9 + i]}, true);
        unitBox(c, 128);
        c.set("feather", 1);
        c.set("childrencount", 25);
        c.set3("noiseamp", 2, 2, 2);
    };
    return {
        {"billowfold", "balls", [=](Cook &c) { balls(c, false); }},
        {"billowfold", "balls noise", [=](Cook &c) { balls(c, true); }},
        {"billowfoldMT", "balls noise", [=](Cook &c) { balls(c, true); }},
        {"plumeweave_velocity_stretch", "streaks", streaks},
        {"plumeweave_velocity_stretchMT", "streaks", streaks},
        {"strandcast", "curves", curves},
        {"strandcastStraightMT", "curves", curves},
        {"skinweave", "feather sheet", sheet},
        {"plumeweave", "feather", [](Cook &c) { sopcook::buildPointCloud(c.input(0)); c.set("feather", 1); c.set3("divs", 96, 96, 96); c.set("childrencount", 40); c.set("noiseamp", 0.3); }},
    };
}

std::string duration(double s)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, s < 10 ? "%.3f" : "%.1f", s);
    return buf;
}
} // namespace

int main(int argc, char **argv)
{
    const bool verbose = argc > 1 && std::strcmp(argv[1], "-v") == 0;
    const char *filter = argc > 1 + verbose ? argv[1 + verbose] : "";
    UT_ThreadedAlgorithm::setDefaultThreadCount(1);
    std::vector<Scene> scenes = demoScenes();
    for (auto list : {readmeScenes(), benchScenes()}) scenes.insert(scenes.end(), list.begin(), list.end());
    std::printf("%-30s %-14s %10s %10s %10s  %-6s %s\n", "operator", "scene", "least s", "most s", "cook cpu s", "holds", "most/least");
    int outside = 0;
    for (const Scene &s : scenes)
    {
        if (!op(s.op) || (std::strstr(s.op.c_str(), filter) == nullptr && std::strstr(s.name.c_str(), filter) == nullptr)) continue;
        Cook c(s.op);
        s.build(c);
        const sopcook::VolumeBox box =
            sopcook::plannedBox(c.node(), 0, &c.input(0), "input", c.node().getInput(1) ? &c.input(1) : nullptr, "bbox");
        const sopcook::CookEstimate e = sopcook::estimateCook(c.op(), c.node(), 0, &c.input(0), &box);
        // Some operators print a line per cook: keep the table readable.
        std::fflush(stdout);
        int saved = dup(1), devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, 1);
        const double t0 = cpuSeconds();
        const OP_ERROR failed = c.cook();
        const double cpu = cpuSeconds() - t0;
        std::fflush(stdout);
        dup2(saved, 1);
        close(saved);
        close(devnull);
        if (failed >= UT_ERROR_ABORT) std::fprintf(stderr, "%s on %s: the cook failed\n", s.op.c_str(), s.name.c_str());
        const bool holds = e.leastSeconds <= cpu && cpu <= e.mostSeconds;
        outside += !holds;
        std::printf("%-30s %-14s %10s %10s %10s  %-6s %.1f\n", s.op.c_str(), s.name.c_str(), duration(e.leastSeconds).c_str(),
                    duration(e.mostSeconds).c_str(), duration(cpu).c_str(), holds ? "yes" : "NO",
                    e.mostSeconds / std::max(e.leastSeconds, 1e-9));
        if (verbose) std::printf("    least: %s\n    most:  %s\n", e.leastWork.c_str(), e.mostWork.c_str());
        std::fflush(stdout);
    }
    return outside == 0 ? 0 : 1;
}
