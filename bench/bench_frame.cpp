// SPDX-License-Identifier: Apache-2.0
// Costs of the frame's hot pieces: noise lookups, voxel accumulation and an
// empty threaded run.
#include <benchmark/benchmark.h>
#include <vector>
#include "GU/GU_Detail.h"
#include "GU/GU_PrimVolume.h"
#include "GXNoise.h"
#include "UT/UT_ThreadedAlgorithm.h"
#include "VolumeSetup.h"

static void BM_pnoise(benchmark::State &state)
{
    perlinNoise.init_noise();
    double x = 0.1;
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(perlinNoise.pnoise(x, 1.7, -3.2));
        x += 0.37;
    }
}
BENCHMARK(BM_pnoise);

static void BM_fractalNoise(benchmark::State &state)
{
    perlinNoise.init_noise();
    UT_Vector3 q(0.1f, 1.7f, -3.2f);
    int octaves = int(state.range(0));
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(fractalNoise(q, octaves, 0.5f));
        q.x() += 0.37f;
    }
}
BENCHMARK(BM_fractalNoise)->Arg(1)->Arg(3);

static void BM_axisFractalNoise(benchmark::State &state)
{
    perlinNoise.init_noise();
    UT_Vector3 s(0.1f, 1.7f, -3.2f);
    int octaves = int(state.range(0));
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(axisFractalNoise(s, octaves, 0.5f));
        s.x() += 0.37f;
    }
}
BENCHMARK(BM_axisFractalNoise)->Arg(1)->Arg(3);

// 27-voxel splats walking through a 128^3 grid, through the volume's handle.
static void BM_accumulateHandle(benchmark::State &state)
{
    GU_Detail gdp;
    GU_PrimVolume *vol = GU_PrimVolume::build(&gdp);
    UT_VoxelArrayWriteHandleF h = vol->getVoxelWriteHandle();
    h->size(128, 128, 128);
    int c = 1;
    for (auto _ : state)
    {
        for (int dz = -1; dz <= 1; ++dz)
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) accumulateVoxel(h, c + dx, c + dy, c + dz, 0.5);
        c = c < 126 ? c + 1 : 1;
    }
    state.SetItemsProcessed(state.iterations() * 27);
}
BENCHMARK(BM_accumulateHandle);

// The same splats into a plain dense float array (the lower bound).
static void BM_accumulateDense(benchmark::State &state)
{
    const int n = 128;
    std::vector<float> grid(size_t(n) * n * n, 0.0f);
    int c = 1;
    for (auto _ : state)
    {
        for (int dz = -1; dz <= 1; ++dz)
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                {
                    float &v = grid[(size_t(c + dz) * n + (c + dy)) * n + (c + dx)];
                    v = float(double(v) + 0.5);
                }
        c = c < 126 ? c + 1 : 1;
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 27);
}
BENCHMARK(BM_accumulateDense);

// One empty threaded run: the threaded operators start one per child, point,
// quad or curve.
static void BM_emptyThreadedRun(benchmark::State &state)
{
    UT_ThreadedAlgorithm::setDefaultThreadCount(int(state.range(0)));
    UT_ThreadedAlgorithm algo;
    for (auto _ : state) algo.run([](const UT_JobInfo &) { return 0; });
}
BENCHMARK(BM_emptyThreadedRun)->Arg(1)->Arg(2)->UseRealTime();
