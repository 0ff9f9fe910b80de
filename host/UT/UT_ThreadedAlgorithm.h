// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cstdint>
#include "UT_Functor.h"
#include "UT_Lock.h"
#include "UT_Visibility.h"

// What one job of a threaded run knows about itself.
class UT_API UT_JobInfo
{
public:
    UT_JobInfo(int job, int numjobs, UT_Lock *lock) : myJob(job), myNumJobs(numjobs), myLock(lock) {}

    int job() const { return myJob; }
    int numJobs() const { return myNumJobs; }
    // Job j of n gets [units * j / n, units * (j + 1) / n).
    void divideWork(int units, int &start, int &end) const
    {
        start = int((long long)units * myJob / myNumJobs);
        end = int((long long)units * (myJob + 1) / myNumJobs);
    }
    void lock() const { myLock->lock(); }
    void unlock() const { myLock->unlock(); }

private:
    int myJob;
    int myNumJobs;
    UT_Lock *myLock;
};

// Runs one job per worker thread on the host's thread pool; the calling
// thread takes part and run() returns when every job has finished. A run
// may instead go on the calling thread as the one job of a one-thread run
// (the same results, without waking the pool or repeating per-job set-up):
// when the calling thread's recent runs did less work than the in-order
// threshold, and when its recent runs were faster that way than on the pool.
class UT_API UT_ThreadedAlgorithm
{
public:
    explicit UT_ThreadedAlgorithm(int maxthreads = -1);
    ~UT_ThreadedAlgorithm();

    void run(UT_Functor1<int, const UT_JobInfo &> functor, UT_Lock *lock = nullptr);

    // Worker threads of the host's pool (default: hardware threads).
    static void setDefaultThreadCount(int count);
    static int getDefaultThreadCount();
    // Nanoseconds of work below which the next run goes on the calling
    // thread as one job (0: never, and every run uses the pool).
    static void setInOrderThreshold(int64_t ns);
    static int64_t getInOrderThreshold();
    // Wall time spent inside run() since the process started, all runs
    // together: what a cook does outside it is serial by design.
    static int64_t totalRunNs();

private:
    int64_t runJobs(const UT_Functor1<int, const UT_JobInfo &> &functor, UT_Lock *lock, int64_t start,
                    const void *site);

    int myMaxThreads;
    UT_Lock myLock;
};
