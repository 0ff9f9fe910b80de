// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <algorithm>
#include <cstdint>

// Whether the calling thread's runs above the threshold go faster on the
// pool or as one job. What the pool buys depends on the operator: jobs that
// repeat much of their run's set-up, split short rows or wait on one lock
// can be slower together than one job alone. So runs are tried both ways in
// turn (a trial of 8 runs, alternating; runs of a stream vary in size, but
// not with the alternation), and the faster way in total is kept for the
// next runs, twice as many each time a trial confirms it (32 up to 1024).
// A stream is the runs started from one place in an operator's code: runs
// from another place start afresh.
struct UT_RunTrial
{
    static constexpr int trialRuns = 8;
    const void *site = nullptr; // where the runs are started from
    int trialLeft = trialRuns;
    double trialNs[2] = {0, 0}; // one job, pool
    bool pool = false;
    int settledLeft = 0;
    int settleLength = 16;

    bool choosePool()
    {
        if (trialLeft > 0) return (trialLeft & 1) != 0;
        if (settledLeft > 0)
        {
            --settledLeft;
            return pool;
        }
        trialLeft = trialRuns;
        trialNs[0] = trialNs[1] = 0;
        return true;
    }
    void record(bool pooled, int64_t wallNs)
    {
        if (trialLeft <= 0) return;
        trialNs[pooled] += double(wallNs);
        if (--trialLeft > 0) return;
        const bool winner = trialNs[1] < trialNs[0];
        settleLength = winner == pool ? std::min(settleLength * 2, 1024) : 32;
        pool = winner;
        settledLeft = settleLength;
    }
};
