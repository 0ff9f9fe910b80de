// SPDX-License-Identifier: Apache-2.0
// Cloud cooks: 10,000 balls of radius 2 to 6 voxels in a 256^3 grid, plain
// and noise-sculpted, through billowfold and through billowfoldMT with one
// and with two worker threads. items_per_second counts voxel updates (voxels
// within a ball's radius) per second of wall time.
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include "BenchCookScenes.h"
#include "TestHost.h"
#include "UT/UT_ThreadedAlgorithm.h"

using namespace testhost;
using benchscenes::Ball;

namespace
{
constexpr int kGrid = 256;
constexpr int kPoints = 10000;

// Voxels of unit size whose centres lie within each ball's radius.
int64_t voxelUpdates(const std::vector<Ball> &balls)
{
    int64_t n = 0;
    for (const Ball &b : balls)
        for (int k = int(b.z - b.r) - 1; k <= int(b.z + b.r) + 1; ++k)
            for (int j = int(b.y - b.r) - 1; j <= int(b.y + b.r) + 1; ++j)
                for (int i = int(b.x - b.r) - 1; i <= int(b.x + b.r) + 1; ++i)
                {
                    float dx = i + 0.5f - b.x, dy = j + 0.5f - b.y, dz = k + 0.5f - b.z;
                    n += dx * dx + dy * dy + dz * dz <= b.r * b.r;
                }
    return n;
}

void cloudScene(Cook &c, const std::vector<Ball> &balls, bool noise)
{
    benchscenes::ballPoints(c.input(0), balls);
    benchscenes::boxInput(c, kGrid);
    c.set("donoise", noise ? 1 : 0);
    c.set3("noisefreq", 0.3, 0.3, 0.3);
}

// Runs cooks of `op`; state.range(0) selects noise, `threads` the workers
// (0 keeps the default).
void cookClouds(benchmark::State &state, const char *op, int threads)
{
    static const std::vector<Ball> balls = benchscenes::scatterBalls(kPoints, kGrid);
    static const int64_t updates = voxelUpdates(balls);
    const int oldThreads = UT_ThreadedAlgorithm::getDefaultThreadCount();
    if (threads > 0) UT_ThreadedAlgorithm::setDefaultThreadCount(threads);

    Cook c(op);
    cloudScene(c, balls, state.range(0) != 0);
    if (std::string(op) == "billowfoldMT") c.set("docolor", 1);

    // billowfold prints a line per cook; keep the report readable.
    std::fflush(stdout);
    int saved = dup(1), devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    for (auto _ : state) c.cook();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(devnull);

    state.SetItemsProcessed(state.iterations() * updates);
    state.counters["balls"] = double(balls.size());
    UT_ThreadedAlgorithm::setDefaultThreadCount(oldThreads);
}
} // namespace

static void BM_billowfold(benchmark::State &state) { cookClouds(state, "billowfold", 0); }
static void BM_billowfoldMT_1thread(benchmark::State &state) { cookClouds(state, "billowfoldMT", 1); }
static void BM_billowfoldMT_2threads(benchmark::State &state) { cookClouds(state, "billowfoldMT", 2); }

BENCHMARK(BM_billowfold)->ArgName("noise")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_billowfoldMT_1thread)->ArgName("noise")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_billowfoldMT_2threads)->ArgName("noise")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(0.5);
