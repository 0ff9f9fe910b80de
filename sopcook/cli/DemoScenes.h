// SPDX-License-Identifier: Apache-2.0
#pragma once
// The example scenes `sopcook demo` cooks, built in code so the demo needs
// no files: deterministic, small, and carrying every attribute the
// operators read under its default name.
#include <map>
#include <string>
#include <utility>
#include <vector>
#include "GU/GU_Detail.h"

namespace sopcook
{
enum class Scene { Points, Quads, Curves, Gif };

// What the demo feeds each operator: a scene and a few settings chosen to
// show the operator off in well under a second.
struct DemoRecipe
{
    Scene scene;
    std::vector<std::pair<const char *, std::vector<double>>> settings;
};

// The recipes of the suite's operators, by operator name; others get the
// scene of their input kind with their own defaults.
const std::map<std::string, DemoRecipe> &recipes();

// A puff of points: density, pscale, radiusf, Cd, v, N, up, noiseoffset.
void buildPointCloud(GU_Detail &gdp);
// A gently curved 4 x 3 grid of quads with uv, N, Cd, v, density, pscale.
void buildQuadGrid(GU_Detail &gdp);
// Three open curves (helix arcs) with pscale as radius, density, N, up, uv, Cd.
void buildCurves(GU_Detail &gdp);
// A 3-frame animated GIF, 48 x 32 pixels: a coloured disc moving over a gradient.
void writeDemoGif(const std::string &path);
} // namespace sopcook
