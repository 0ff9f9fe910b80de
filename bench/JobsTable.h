// SPDX-License-Identifier: Apache-2.0
#pragma once
// The -j table's measurement: one operator's cook at -j 1 and at -j N (the
// frame as N slabs cooked at once and joined in memory), and for a threaded
// twin also its own N threads on one whole cook, the way the slabs replace.
// Cook only: reading and writing are not part of it.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "BenchCooks.h"
#include "UT/UT_ThreadedAlgorithm.h"
#include "cook/SlabCook.h"

namespace benchjobs
{
using benchcooks::Cook;

struct Timing
{
    double wall = 1e30, cpu = 1e30;
    size_t bytes = 0; // held by the volumes after the cook
};

struct JobsRow
{
    std::string op, scene;
    Timing one, slabs, own; // own: measured for threaded twins only
    bool twin = false;
};

inline size_t volumeBytes(const GU_Detail &gdp)
{
    size_t bytes = 0;
    for (GA_Offset p = 0; p < gdp.getNumPrimitives(); ++p)
        if (auto *vol = dynamic_cast<const GEO_PrimVolume *>(gdp.getPrimitive(p))) bytes += vol->getVoxels()->memoryUsage();
    return bytes;
}

// The least wall and CPU time of `runs` cooks with the pool at poolThreads.
inline Timing timeCooks(Cook &c, const sopcook::SlabPlan &plan, int poolThreads, int runs)
{
    Timing t;
    UT_ThreadedAlgorithm::setDefaultThreadCount(poolThreads);
    for (int r = 0; r < runs; ++r)
    {
        std::vector<std::string> warnings;
        const auto w0 = std::chrono::steady_clock::now();
        const double c0 = benchcooks::processCpuSeconds();
        sopcook::cookInSlabs(c, 0, plan, warnings);
        t.cpu = std::min(t.cpu, benchcooks::processCpuSeconds() - c0);
        t.wall = std::min(t.wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count());
        t.bytes = volumeBytes(c.output());
    }
    UT_ThreadedAlgorithm::setDefaultThreadCount(1);
    return t;
}

// One operator's row: -j 1, -j threads as slabs, and a twin's own threads.
inline JobsRow measureJobs(const benchcooks::BenchCase &k, Cook &c, int runs, int threads)
{
    JobsRow row;
    row.op = k.op;
    row.scene = k.scene;
    row.twin = std::strstr(k.op, "MT") != nullptr;
    benchcooks::Quiet quiet;
    timeCooks(c, sopcook::SlabPlan(), 1, 1); // warm: plug-in tables, page faults of the first cook
    row.one = timeCooks(c, sopcook::SlabPlan(), 1, runs);
    row.slabs = timeCooks(c, sopcook::planSlabs(threads, 0), threads, runs);
    if (row.twin) row.own = timeCooks(c, sopcook::SlabPlan(), threads, runs);
    return row;
}

inline void printJobsHeader(int runs, int threads)
{
    std::printf("-j table, least of %d cook%s each; -j %d: %d slabs at once, joined in memory; own: a twin's own %d "
                "threads\n",
                runs, runs > 1 ? "s" : "", threads, threads, threads);
    std::printf("%-30s %-25s %7s %7s %7s %7s %6s %6s %6s %8s %7s %6s\n", "operator", "scene", "j1 wall", "j1 cpu",
                "jN wall", "jN cpu", "wall x", "cpu x", "mem x", "own wall", "own cpu", "own x");
}

inline void printJobsRow(const JobsRow &r)
{
    std::printf("%-30s %-25s %7.3f %7.3f %7.3f %7.3f %6.2f %6.2f %6.2f", r.op.c_str(), r.scene.c_str(), r.one.wall,
                r.one.cpu, r.slabs.wall, r.slabs.cpu, r.slabs.wall / r.one.wall, r.slabs.cpu / r.one.cpu,
                double(r.slabs.bytes) / double(r.one.bytes));
    if (r.twin) std::printf(" %8.3f %7.3f %6.2f", r.own.wall, r.own.cpu, r.own.wall / r.one.wall);
    std::printf("\n");
}
} // namespace benchjobs
