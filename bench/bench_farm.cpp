// SPDX-License-Identifier: Apache-2.0
// What a z-slab (cook --slab I/N) costs and saves: the memory of a volume
// filled through the slab's write window, and the time of the fill when the
// writes outside it are dropped.
#include <benchmark/benchmark.h>
#include "UT/UT_VoxelArray.h"

// Every voxel of a 256^3 array accumulated once, as the operators deposit;
// state.range(0) slabs (1: the whole array). Counter "bytes": memory held.
static void BM_fillThroughSlab(benchmark::State &state)
{
    const int n = 256, slabs = int(state.range(0));
    size_t bytes = 0;
    for (auto _ : state)
    {
        UT_VoxelArrayF a;
        a.setSlab({0, slabs});
        a.size(n, n, n);
        for (int k = 0; k < n; ++k)
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i) a.updateValue(i, j, k, [](float v) { return v + 0.5f; });
        bytes = a.memoryUsage();
        benchmark::DoNotOptimize(a.getValue(1, 1, 1));
    }
    state.counters["bytes"] = double(bytes);
    state.SetItemsProcessed(state.iterations() * int64_t(n) * n * n);
}
BENCHMARK(BM_fillThroughSlab)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond);
