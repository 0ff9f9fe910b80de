// SPDX-License-Identifier: Apache-2.0
// The -j table: per operator on its benchmark scene, the wall and process
// CPU time of the cook at -j 1 and at -j N (the frame as N slabs cooked at
// once and joined in memory), their ratios, and the memory the joined
// volumes hold against the whole cook's. For the threaded twins also -j N
// as their own threads on one whole cook, the way the slabs replace. Cook
// only: reading and writing are not part of it. bench_slabs prints this
// table too, with the slab CPU table and the scaling model.
//   build/bin/bench_jobs [runs] [filter] [threads]   (filter: part of an operator or scene name)
#include <algorithm>
#include <cstdlib>
#include "JobsTable.h"

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1;
    const char *filter = argc > 2 ? argv[2] : "";
    const int threads = argc > 3 ? std::max(2, std::atoi(argv[3])) : 2;
    benchjobs::printJobsHeader(runs, threads);
    benchcooks::forEachCase(filter, [&](const benchcooks::BenchCase &k, benchcooks::Cook &c) {
        benchjobs::printJobsRow(benchjobs::measureJobs(k, c, runs, threads));
    });
    return 0;
}
