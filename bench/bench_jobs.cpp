// SPDX-License-Identifier: Apache-2.0
// The -j table: per operator on its benchmark scene, the wall and process
// CPU time of the cook at -j 1 and at -j 2 (the frame as two slabs cooked at
// once and joined in memory), their ratios, and the memory the joined
// volumes hold against the whole cook's. For the threaded twins also -j 2
// as their own threads on one whole cook, the way the slabs replace. Cook
// only: reading and writing are not part of it.
//   build/bin/bench_jobs [runs] [filter] [threads]   (filter: part of an operator or scene name)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "BenchCooks.h"
#include "UT/UT_ThreadedAlgorithm.h"
#include "cook/SlabCook.h"

using namespace testhost;
using namespace benchcooks;

namespace
{
struct Timing
{
    double wall = 1e30, cpu = 1e30;
    size_t bytes = 0; // held by the volumes after the cook
};

size_t volumeBytes(const GU_Detail &gdp)
{
    size_t bytes = 0;
    for (GA_Offset p = 0; p < gdp.getNumPrimitives(); ++p)
        if (auto *vol = dynamic_cast<const GEO_PrimVolume *>(gdp.getPrimitive(p))) bytes += vol->getVoxels()->memoryUsage();
    return bytes;
}

// The least wall and CPU time of `runs` cooks with the pool at poolThreads.
Timing time(Cook &c, const sopcook::SlabPlan &plan, int poolThreads, int runs)
{
    Timing t;
    UT_ThreadedAlgorithm::setDefaultThreadCount(poolThreads);
    for (int r = 0; r < runs; ++r)
    {
        std::vector<std::string> warnings;
        const auto w0 = std::chrono::steady_clock::now();
        const double c0 = processCpuSeconds();
        sopcook::cookInSlabs(c, 0, plan, warnings);
        t.cpu = std::min(t.cpu, processCpuSeconds() - c0);
        t.wall = std::min(t.wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count());
        t.bytes = volumeBytes(c.output());
    }
    return t;
}

bool threaded(const char *op) { return std::strstr(op, "MT") != nullptr; }
} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    const char *filter = argc > 2 ? argv[2] : "";
    const int threads = argc > 3 ? std::max(2, std::atoi(argv[3])) : 2;
    std::printf("least of %d cook%s each; -j %d: %d slabs at once, joined in memory; own: a twin's own %d threads\n",
                runs, runs > 1 ? "s" : "", threads, threads, threads);
    std::printf("%-30s %-25s %7s %7s %7s %7s %6s %6s %6s %8s %7s %6s\n", "operator", "scene", "j1 wall", "j1 cpu",
                "jN wall", "jN cpu", "wall x", "cpu x", "mem x", "own wall", "own cpu", "own x");
    forEachCase(filter, [&](const BenchCase &k, Cook &c) {
        Timing one, slabs, own;
        {
            Quiet quiet;
            time(c, sopcook::SlabPlan(), 1, 1); // warm: plug-in tables, page faults of the first cook
            one = time(c, sopcook::SlabPlan(), 1, runs);
            slabs = time(c, sopcook::planSlabs(threads, 0), threads, runs);
            if (threaded(k.op)) own = time(c, sopcook::SlabPlan(), threads, runs);
        }
        std::printf("%-30s %-25s %7.3f %7.3f %7.3f %7.3f %6.2f %6.2f %6.2f", k.op, k.scene, one.wall, one.cpu, slabs.wall,
                    slabs.cpu, slabs.wall / one.wall, slabs.cpu / one.cpu, double(slabs.bytes) / double(one.bytes));
        if (threaded(k.op)) std::printf(" %8.3f %7.3f %6.2f", own.wall, own.cpu, own.wall / one.wall);
        std::printf("\n");
    });
    return 0;
}
