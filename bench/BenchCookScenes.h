// SPDX-License-Identifier: Apache-2.0
#pragma once
// Scene set-ups the benchmarks share, on the test host's cook harness.
#include <cmath>
#include <vector>
#include "BenchScenes.h"
#include "GEO/GEO_PrimPoly.h"
#include "TestHost.h"

namespace benchscenes
{
// The bounding-box input: a cube of grid unit voxels from the origin.
inline void boxInput(testhost::Cook &c, int grid)
{
    GU_Detail &box = c.input(1);
    testhost::addPoint(box, UT_Vector3(0, 0, 0));
    testhost::addPoint(box, UT_Vector3(float(grid), float(grid), float(grid)));
    c.set3("divs", grid, grid, grid);
}

// The same, with bounds not extended: one voxel a unit.
inline void unitBox(testhost::Cook &c, int grid)
{
    boxInput(c, grid);
    c.set3("extendbounds", 0, 0, 0);
}

// One point a ball, with the attributes billowfold reads.
inline void ballPoints(GU_Detail &in, const std::vector<Ball> &balls)
{
    for (size_t i = 0; i < balls.size(); ++i)
    {
        const Ball &b = balls[i];
        GA_Offset pt = testhost::addPoint(in, UT_Vector3(b.x, b.y, b.z));
        testhost::setPointAttrib(in, pt, "density", {1});
        testhost::setPointAttrib(in, pt, "pscale", {b.r});
        testhost::setPointAttrib(in, pt, "Cd", {0.8f, 0.7f, 0.6f});
        testhost::setPointAttrib(in, pt, "N", {1, 0.2f, 0});
        testhost::setPointAttrib(in, pt, "up", {0, 1, 0.3f});
        testhost::setPointAttrib(in, pt, "noiseoffset", {float(i % 17), 0.5f, 0.25f});
    }
}

// A waved sheet of quads x quads quads across a grid^3 cube, with uv when
// asked.
inline void wavedSheet(GU_Detail &in, int quads, int grid, bool uv)
{
    const float step = float(grid) / quads;
    std::vector<GA_Offset> pts;
    for (int j = 0; j <= quads; ++j)
        for (int i = 0; i <= quads; ++i)
        {
            float x = float(i) * step, y = float(j) * step;
            float z = float(grid) * 0.5f + 8.0f * std::sin(x * 0.05f) * std::cos(y * 0.04f);
            GA_Offset pt = testhost::addPoint(in, UT_Vector3(x, y, z));
            testhost::setPointAttrib(in, pt, "density", {1});
            testhost::setPointAttrib(in, pt, "pscale", {3});
            testhost::setPointAttrib(in, pt, "N", {0, 0, 4});
            if (uv) testhost::setPointAttrib(in, pt, "uv", {x / 16, y / 16, 0});
            testhost::setPointAttrib(in, pt, "Cd", {0.8f, 0.7f, 0.6f});
            pts.push_back(pt);
        }
    auto at = [&](int i, int j) { return pts[size_t(j * (quads + 1) + i)]; };
    for (int j = 0; j < quads; ++j)
        for (int i = 0; i < quads; ++i)
            GEO_PrimPoly::build(&in, {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)}, true);
}
} // namespace benchscenes
