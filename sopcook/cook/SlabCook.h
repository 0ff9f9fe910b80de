// SPDX-License-Identifier: Apache-2.0
#pragma once
// `-j N`: one frame cooked as several z-slabs at once in this process, and
// joined in memory into the volumes of one whole cook.
//
// The node sopcook set up (parameters, inputs) cooks the first slab; copies
// of it (the same parameter values, the same input nodes) cook the others,
// each on its own thread. Each slab's volumes hold only the tiles of its z
// range, so together they hold what one whole cook holds; the join moves
// their tiles into the first node's volumes, which then are the whole
// cook's, bit for bit, for everything downstream (checks, convert, write,
// preview). The operators keep nothing between cooks but the noise table,
// filled once; every slab polls the one host interrupt, so Ctrl-C stops
// them all and the joined result is the partial one.
#include <string>
#include <vector>
#include "cook/OperatorCook.h"

namespace sopcook
{
struct SlabPlan
{
    int slabs = 1;        // 1: the node cooks as it is, on its own
    int threads = 1;      // slabs cooked at once
    int inner = 1;        // the host pool's threads while they cook (0: as set)
};

// The plan for a cook on `threads` threads of a volume `zTiles` tiles deep
// (0: not known): one slab per thread, never more slabs than tiles. A
// threaded operator runs its own jobs on the threads the slabs leave, one
// when there are as many slabs as threads: the slabs keep every core busy
// (measured faster than its own threads, bench_jobs), and its result is
// then that of one thread at any -j.
SlabPlan planSlabs(int threads, double zTiles);

// Cooks job at time as plan.slabs parts of its slab (OperatorCook::slab) and
// joins them into job's output; throws Error as OperatorCook::cook does, for
// the first slab that failed. Warnings are those of one cook: each distinct
// node warning once.
void cookInSlabs(OperatorCook &job, fpreal time, const SlabPlan &plan, std::vector<std::string> &warnings);
} // namespace sopcook
