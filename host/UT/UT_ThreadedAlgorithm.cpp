// SPDX-License-Identifier: Apache-2.0
#include "UT_ThreadedAlgorithm.h"
#include "UT_RunTrial.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include <tbb/global_control.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

// oneTBB is not built with ThreadSanitizer, so the hand-off of a job to a
// worker and back is invisible to it; these mark that ordering explicitly.
#if defined(__SANITIZE_THREAD__)
#define UT_TSAN_BUILD 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define UT_TSAN_BUILD 1
#endif
#endif
#ifdef UT_TSAN_BUILD
extern "C" void __tsan_acquire(void *addr);
extern "C" void __tsan_release(void *addr);
#define UT_TSAN_ACQUIRE(addr) __tsan_acquire(addr)
#define UT_TSAN_RELEASE(addr) __tsan_release(addr)
#else
#define UT_TSAN_ACQUIRE(addr) ((void)0)
#define UT_TSAN_RELEASE(addr) ((void)0)
#endif

namespace
{
// One arena for the whole process, rebuilt only when the count changes:
// runs are started per child or per curve, so a run must cost microseconds.
struct HostPool
{
    std::mutex mutex;
    int threads = std::max(1u, std::thread::hardware_concurrency());
    std::unique_ptr<tbb::task_arena> arena;
    std::unique_ptr<tbb::global_control> allowance; // lets counts above the core count through

    tbb::task_arena &get()
    {
        std::lock_guard<std::mutex> guard(mutex);
        if (!arena) arena.reset(new tbb::task_arena(threads));
        return *arena;
    }
    void resize(int count)
    {
        std::lock_guard<std::mutex> guard(mutex);
        threads = std::max(1, count);
        arena.reset();
        allowance.reset(new tbb::global_control(tbb::global_control::max_allowed_parallelism, size_t(threads)));
    }
};

int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Starting a run on the pool and waiting for it costs microseconds, every
// job repeats its run's set-up, and jobs of a tiny run write into the same
// cache lines; below this much work (the job times summed) a run is cheaper
// as the one job a single thread would run. UT_THREADED_INORDER_BELOW_NS
// overrides it (0: always use the pool, as the tests do so that every run
// is really threaded).
std::atomic<int64_t> inOrderBelowNs{[] {
    const char *env = std::getenv("UT_THREADED_INORDER_BELOW_NS");
    return env ? std::atoll(env) : int64_t(60000);
}()};

// Work of the calling thread's last two runs. Runs come in streams of
// similar size (one per point, child, quad or curve), so they predict the
// next; the smaller of the two keeps one run stretched by preemption from
// waking the pool. A misjudged run costs at most its serial time.
thread_local int64_t lastRunWorkNs[2] = {0, 0};

void recordWork(int64_t ns)
{
    lastRunWorkNs[1] = lastRunWorkNs[0];
    lastRunWorkNs[0] = ns;
}

bool predictTiny()
{
    return std::min(lastRunWorkNs[0], lastRunWorkNs[1]) < inOrderBelowNs.load(std::memory_order_relaxed);
}

// Above this much work a run always takes the pool: what starting it costs
// is then small beside what it gains.
constexpr int64_t alwaysPoolNs = 1000000;

bool predictLarge() { return std::min(lastRunWorkNs[0], lastRunWorkNs[1]) >= alwaysPoolNs; }

thread_local UT_RunTrial runWays;

// Wall time spent inside run(), all runs together, for profiles.
std::atomic<int64_t> runWallNs{0};

// The address naming the hand-back of finished jobs, for ThreadSanitizer.
[[maybe_unused]] char handBack;

// What a worker runs for job j. oneTBB is not instrumented for
// ThreadSanitizer, so each copy of the body publishes itself (release on its
// address) and each use first acquires the object it reads: the hand-offs
// between threads then show as ordered.
struct JobBody
{
    JobBody(const UT_Functor1<int, const UT_JobInfo &> &f, int n, UT_Lock *l, std::atomic<int64_t> *w)
        : functor(&f), jobs(n), lock(l), work(w)
    {
        UT_TSAN_RELEASE(this);
    }
    JobBody(const JobBody &other) : JobBody(acquired(other), 0) { UT_TSAN_RELEASE(this); }
    void operator()(int j) const
    {
        UT_TSAN_ACQUIRE(const_cast<JobBody *>(this));
        const int64_t start = nowNs();
        (*functor)(UT_JobInfo(j, jobs, lock));
        work->fetch_add(nowNs() - start, std::memory_order_relaxed);
        UT_TSAN_RELEASE(&handBack);
    }

    const UT_Functor1<int, const UT_JobInfo &> *functor;
    int jobs;
    UT_Lock *lock;
    std::atomic<int64_t> *work; // job times summed

private:
    static const JobBody &acquired(const JobBody &other)
    {
        UT_TSAN_ACQUIRE(const_cast<JobBody *>(&other));
        return other;
    }
    // Delegation target of the copy constructor.
    JobBody(const JobBody &other, int) : functor(other.functor), jobs(other.jobs), lock(other.lock), work(other.work) {}
};

HostPool &pool()
{
    static HostPool thePool;
    return thePool;
}

} // namespace

UT_ThreadedAlgorithm::UT_ThreadedAlgorithm(int maxthreads) : myMaxThreads(maxthreads) {}
UT_ThreadedAlgorithm::~UT_ThreadedAlgorithm() = default;

void UT_ThreadedAlgorithm::setDefaultThreadCount(int count) { pool().resize(count); }
int UT_ThreadedAlgorithm::getDefaultThreadCount() { return pool().threads; }
void UT_ThreadedAlgorithm::setInOrderThreshold(int64_t ns) { inOrderBelowNs.store(ns, std::memory_order_relaxed); }
int64_t UT_ThreadedAlgorithm::getInOrderThreshold() { return inOrderBelowNs.load(std::memory_order_relaxed); }

void UT_ThreadedAlgorithm::run(UT_Functor1<int, const UT_JobInfo &> functor, UT_Lock *lock)
{
    const int64_t start = nowNs();
    const int64_t end = runJobs(functor, lock, start, __builtin_return_address(0));
    runWallNs.fetch_add(end - start, std::memory_order_relaxed);
}

int64_t UT_ThreadedAlgorithm::totalRunNs() { return runWallNs.load(std::memory_order_relaxed); }

// Runs the jobs of a run that started at `start`; returns when it ended.
// Runs on the calling thread are timed by these two readings alone.
int64_t UT_ThreadedAlgorithm::runJobs(const UT_Functor1<int, const UT_JobInfo &> &functor, UT_Lock *lock,
                                      int64_t start, const void *site)
{
    UT_Lock *jobLock = lock ? lock : &myLock;
    int jobs = getDefaultThreadCount();
    if (myMaxThreads > 0) jobs = std::min(jobs, myMaxThreads);
    const bool adaptive = inOrderBelowNs.load(std::memory_order_relaxed) > 0;
    const bool tried = adaptive && !predictTiny() && !predictLarge();
    if (tried && site != runWays.site)
    {
        runWays = UT_RunTrial();
        runWays.site = site;
    }
    if (jobs <= 1 || (adaptive && predictTiny()) || (tried && !runWays.choosePool()))
    {
        // The single job a one-thread run is: the jobs of every threaded
        // operator together cover what one job covers, so the results are
        // those of one thread.
        functor(UT_JobInfo(0, 1, jobLock));
        const int64_t end = nowNs();
        if (jobs > 1) recordWork(end - start);
        if (jobs > 1 && tried) runWays.record(false, end - start);
        return end;
    }
    std::atomic<int64_t> work{0};
    JobBody body(functor, jobs, jobLock, &work);
    pool().get().execute([&] { tbb::parallel_for(0, jobs, body, tbb::simple_partitioner()); });
    UT_TSAN_ACQUIRE(&handBack);
    const int64_t end = nowNs();
    recordWork(work.load(std::memory_order_relaxed));
    if (tried) runWays.record(true, end - start);
    return end;
}
