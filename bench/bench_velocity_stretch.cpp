// SPDX-License-Identifier: Apache-2.0
// Cook times of the velocity-stretched wisps operators: moving points whose
// children draw streaks 4 to 20 voxels long in a 128^3 grid. The threaded
// twin runs with 1 and 2 worker threads, and once more with footprints too
// small to deposit anything, which leaves what it spends outside the
// deposits: the noise walk and one threaded run per child.
#include <benchmark/benchmark.h>
#include <cmath>
#include "BenchScenes.h"
#include "TestHost.h"
#include "UT/UT_ThreadedAlgorithm.h"

using namespace testhost;
using benchscenes::hash01;

namespace
{
const int kPoints = 2000;
const int kChildren = 50;
const float kHalf = 6.4f; // 128 voxels of 0.1

// Points scattered through the grid, each moving 0.4 to 2.0 (4 to 20 voxels)
// in its own direction, with footprints of 1 to 1.5 voxels. `still` keeps
// the positions and noise but gives every point a tiny footprint and no
// motion, so each child's run has almost nothing to do.
void streakScene(Cook &c, int points, bool still)
{
    GU_Detail &box = c.input(1);
    addPoint(box, UT_Vector3(-kHalf, -kHalf, -kHalf));
    addPoint(box, UT_Vector3(kHalf, kHalf, kHalf));
    GU_Detail &in = c.input(0);
    for (int i = 0; i < points; ++i)
    {
        UT_Vector3 P((hash01(i, 1) - 0.5f) * 10, (hash01(i, 2) - 0.5f) * 10, (hash01(i, 3) - 0.5f) * 10);
        GA_Offset pt = addPoint(in, P);
        UT_Vector3 dir(hash01(i, 4) - 0.5f, hash01(i, 5) - 0.5f, hash01(i, 6) - 0.5f);
        dir *= 1.0f / std::sqrt(dir.dot(dir) + 1e-12f);
        UT_Vector3 v = dir * (0.4f + 1.6f * hash01(i, 7));
        setPointAttrib(in, pt, "density", {1});
        setPointAttrib(in, pt, "pscale", {still ? 1e-4f : 0.1f + 0.05f * hash01(i, 8)});
        setPointAttrib(in, pt, "radiusf", {0.3f});
        setPointAttrib(in, pt, "v", {still ? 0.0f : v.x(), still ? 0.0f : v.y(), still ? 0.0f : v.z()});
    }
    c.set3("divs", 128, 128, 128);
    c.set("childrencount", kChildren);
}

void cookLoop(benchmark::State &state, const char *op, bool still)
{
    int threads = UT_ThreadedAlgorithm::getDefaultThreadCount();
    UT_ThreadedAlgorithm::setDefaultThreadCount(int(state.range(1)));
    Cook c(op);
    streakScene(c, int(state.range(0)), still);
    for (auto _ : state) c.cook();
    state.counters["children"] = double(state.range(0)) * kChildren;
    UT_ThreadedAlgorithm::setDefaultThreadCount(threads);
}
} // namespace

// Args: points, worker threads.
static void BM_stretch(benchmark::State &state) { cookLoop(state, "plumeweave_velocity_stretch", false); }
BENCHMARK(BM_stretch)->Args({kPoints, 1})->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

static void BM_stretchMT(benchmark::State &state) { cookLoop(state, "plumeweave_velocity_stretchMT", false); }
BENCHMARK(BM_stretchMT)->Args({kPoints, 1})->Args({kPoints, 2})->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

// The same children with nothing to deposit: the twin's cost outside the
// deposits.
static void BM_stretchMT_outsideDeposits(benchmark::State &state)
{
    cookLoop(state, "plumeweave_velocity_stretchMT", true);
}
BENCHMARK(BM_stretchMT_outsideDeposits)->Args({kPoints, 1})->Args({kPoints, 2})->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
