// SPDX-License-Identifier: Apache-2.0
// Surface-wisp cooks: a 64 x 64 grid of quads (a gently waved sheet through
// a 128^3 grid of unit voxels), 100 children per quad, through skinweave and
// through skinweaveMT with one and with two worker threads; feather off
// (3 x 3 x 3 cubes) and on (spheres of radius 3 voxels, 216 voxel visits per
// child). The feather case is scaled down to 25 children per quad to keep a
// cook near a second. items_per_second counts children.
#include <benchmark/benchmark.h>
#include <cmath>
#include "GEO/GEO_PrimPoly.h"
#include "TestHost.h"
#include "UT/UT_ThreadedAlgorithm.h"

using namespace testhost;

namespace
{
constexpr int kGrid = 128;
constexpr int kQuads = 64;   // per side
constexpr int kChildren = 100;
constexpr int kFeatherChildren = 25;

int childrenPerQuad(bool feather) { return feather ? kFeatherChildren : kChildren; }

void sheetScene(Cook &c, bool feather)
{
    GU_Detail &in = c.input(0);
    const float step = float(kGrid) / kQuads;
    std::vector<GA_Offset> pts;
    for (int j = 0; j <= kQuads; ++j)
        for (int i = 0; i <= kQuads; ++i)
        {
            float x = float(i) * step, y = float(j) * step;
            float z = float(kGrid) * 0.5f + 8.0f * std::sin(x * 0.05f) * std::cos(y * 0.04f);
            GA_Offset pt = addPoint(in, UT_Vector3(x, y, z));
            setPointAttrib(in, pt, "density", {1});
            setPointAttrib(in, pt, "pscale", {3});
            setPointAttrib(in, pt, "N", {0, 0, 4});
            setPointAttrib(in, pt, "uv", {x / 16, y / 16, 0});
            setPointAttrib(in, pt, "Cd", {0.8f, 0.7f, 0.6f});
            pts.push_back(pt);
        }
    auto at = [&](int i, int j) { return pts[size_t(j * (kQuads + 1) + i)]; };
    for (int j = 0; j < kQuads; ++j)
        for (int i = 0; i < kQuads; ++i)
            GEO_PrimPoly::build(&in, {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)}, true);
    GU_Detail &box = c.input(1);
    addPoint(box, UT_Vector3(0, 0, 0));
    addPoint(box, UT_Vector3(kGrid, kGrid, kGrid));
    c.set3("divs", kGrid, kGrid, kGrid);
    c.set("childrencount", childrenPerQuad(feather));
    c.set("feather", feather ? 1 : 0);
    c.set("docolor", 1);
}

// Cooks of `op`; state.range(0) selects feather, `threads` the workers (0
// keeps the default).
void cookSheet(benchmark::State &state, const char *op, int threads)
{
    const int oldThreads = UT_ThreadedAlgorithm::getDefaultThreadCount();
    if (threads > 0) UT_ThreadedAlgorithm::setDefaultThreadCount(threads);
    Cook c(op);
    sheetScene(c, state.range(0) != 0);
    for (auto _ : state) c.cook();
    state.SetItemsProcessed(state.iterations() * int64_t(kQuads) * kQuads * childrenPerQuad(state.range(0) != 0));
    UT_ThreadedAlgorithm::setDefaultThreadCount(oldThreads);
}
} // namespace

static void BM_skinweave(benchmark::State &state) { cookSheet(state, "skinweave", 0); }
static void BM_skinweaveMT_1thread(benchmark::State &state) { cookSheet(state, "skinweaveMT", 1); }
static void BM_skinweaveMT_2threads(benchmark::State &state) { cookSheet(state, "skinweaveMT", 2); }

BENCHMARK(BM_skinweave)->ArgName("feather")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_skinweaveMT_1thread)->ArgName("feather")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_skinweaveMT_2threads)->ArgName("feather")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
