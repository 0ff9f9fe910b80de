// SPDX-License-Identifier: Apache-2.0
// Surface-wisp cooks: a 64 x 64 grid of quads (a gently waved sheet through
// a 128^3 grid of unit voxels), 100 children per quad, through skinweave and
// through skinweaveMT with one and with two worker threads; feather off
// (3 x 3 x 3 cubes) and on (spheres of radius 3 voxels, 216 voxel visits per
// child). The feather case is scaled down to 25 children per quad to keep a
// cook near a second. items_per_second counts children.
#include <benchmark/benchmark.h>
#include <cmath>
#include "BenchCookScenes.h"
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
    benchscenes::wavedSheet(c.input(0), kQuads, kGrid, /*uv=*/true);
    benchscenes::boxInput(c, kGrid);
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
