// SPDX-License-Identifier: Apache-2.0
// The slab CPU table: per operator, the process CPU time of the whole cook
// and the sum over the N slab cooks (cook --slab I/N) for N = 4 and 16, and
// their ratio. A slab cook skips what cannot reach its slab, so the ratio
// tends to 1; what it cannot skip (a wisp's noise walk that straddles slab
// faces, reading the input, decoding a GIF) is paid once per slab. "fixed"
// estimates that share of the whole cook from the 16-slab ratio:
// (ratio - 1) / 15. Twins run with one worker thread.
// A second table is the -j table of bench_jobs (-j 1 against -j 2 on this
// machine's cores), and a third models the frame on 16 and 64 cores
// (ScalingModel.h) from the slab figures and the serial parts: joining the
// 16 slabs' grids and writing the whole cook's file (read is 0: the scenes
// are built in memory). All three from one run:
//   build/bin/bench_slabs [runs] [filter]   (filter: part of an operator or scene name)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>
#include "BenchCooks.h"
#include "JobsTable.h"
#include "ScalingModel.h"
#include "TestHost.h"
#include "UT/UT_ThreadedAlgorithm.h"
#include "UT/UT_VoxelSlab.h"
#include "vdb/GridJoin.h"
#include "vdb/VdbWriter.h"
#include "vdb/VolumeGrids.h"

using namespace testhost;
using namespace benchcooks;

namespace
{
// The least process CPU time of `runs` cooks as slab `index` of `count`.
double cookCpu(Cook &c, int index, int count, int runs)
{
    double best = 1e30;
    for (int r = 0; r < runs; ++r)
    {
        c.setSlab(count > 1 ? UT_VoxelSlab{index, count} : UT_VoxelSlab());
        const double t0 = processCpuSeconds();
        c.cook();
        best = std::min(best, processCpuSeconds() - t0);
        c.setSlab(UT_VoxelSlab());
    }
    return best;
}

double slabsCpu(Cook &c, int count, int runs)
{
    double sum = 0;
    for (int i = 0; i < count; ++i) sum += cookCpu(c, i, count, runs);
    return sum;
}

// The serial parts of a frame: the CPU of writing the whole cook's volumes
// to a file, and of joining the grids of its 16 slab cooks (their
// conversion to grids is each slab's own work, not counted).
void serialCpu(Cook &c, benchmodel::FrameCosts &frame)
{
    std::vector<std::string> warnings;
    std::vector<sopcook::VolumeSummary> summaries;
    const std::string path = "/tmp/bench_slabs_" + std::to_string(getpid()) + ".vdb";
    c.cook();
    double t0 = processCpuSeconds();
    sopcook::writeVolumesVdb(c.output(), path, sopcook::VectorGrids::None, warnings);
    frame.write = processCpuSeconds() - t0;
    std::remove(path.c_str());
    std::vector<openvdb::GridPtrVec> slabs;
    for (int i = 0; i < 16; ++i)
    {
        c.setSlab(UT_VoxelSlab{i, 16});
        c.cook();
        c.setSlab(UT_VoxelSlab());
        slabs.push_back(sopcook::volumesToGrids(c.output(), sopcook::VectorGrids::None, summaries, warnings));
    }
    t0 = processCpuSeconds();
    for (size_t g = 0; g < slabs[0].size(); ++g)
        for (size_t i = 1; i < slabs.size(); ++i) sopcook::joinGrid(*slabs[0][g], *slabs[i][g]);
    frame.join = processCpuSeconds() - t0;
}
} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    const char *filter = argc > 2 ? argv[2] : "";
    UT_ThreadedAlgorithm::setDefaultThreadCount(1);
    openvdb::initialize();
    std::vector<benchmodel::FrameCosts> frames;
    std::vector<benchjobs::JobsRow> jobs;
    std::printf("process CPU seconds, least of %d cook%s each; ratio = sum of N slab cooks / whole cook\n", runs,
                runs > 1 ? "s" : "");
    std::printf("%-30s %-25s %8s %8s %6s %8s %6s %6s\n", "operator", "scene", "whole", "4 slabs", "ratio", "16 slabs",
                "ratio", "fixed");
    forEachCase(filter, [&](const BenchCase &k, Cook &c) {
        double whole, four, sixteen;
        {
            Quiet quiet;
            cookCpu(c, 0, 1, 1); // warm: plug-in tables, page faults of the first cook
            whole = cookCpu(c, 0, 1, runs);
            four = slabsCpu(c, 4, runs);
            sixteen = slabsCpu(c, 16, runs);
            frames.push_back({k.op, k.scene, whole, sixteen});
            serialCpu(c, frames.back());
        }
        std::printf("%-30s %-25s %8.3f %8.3f %6.2f %8.3f %6.2f %5.1f%%\n", k.op, k.scene, whole, four, four / whole,
                    sixteen, sixteen / whole, 100 * std::max(0.0, (sixteen / whole - 1) / 15));
        std::fflush(stdout);
        jobs.push_back(benchjobs::measureJobs(k, c, runs, 2));
    });
    std::printf("\n");
    benchjobs::printJobsHeader(runs, 2);
    for (const benchjobs::JobsRow &row : jobs) benchjobs::printJobsRow(row);
    benchmodel::printScalingModel(frames);
    return 0;
}
