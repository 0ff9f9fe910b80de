// SPDX-License-Identifier: Apache-2.0
#pragma once
// The example scenes `sopcook demo` cooks, built in code so the demo needs
// no files: deterministic, small, and carrying every attribute the
// operators read under its default name.
#include <string>
#include "GU/GU_Detail.h"

namespace sopcook
{
// A puff of points: density, pscale, radiusf, Cd, v, N, up, noiseoffset.
void buildPointCloud(GU_Detail &gdp);
// A gently curved 4 x 3 grid of quads with uv, N, Cd, v, density, pscale.
void buildQuadGrid(GU_Detail &gdp);
// Three open curves (helix arcs) with pscale as radius, density, N, up, uv, Cd.
void buildCurves(GU_Detail &gdp);
// A 3-frame animated GIF, 48 x 32 pixels: a coloured disc moving over a gradient.
void writeDemoGif(const std::string &path);
} // namespace sopcook
