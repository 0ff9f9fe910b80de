#include "UT_ThreadedAlgorithm.h"

#include <algorithm>
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

// The address naming the hand-back of finished jobs, for ThreadSanitizer.
char handBack;

// What a worker runs for job j. oneTBB is not instrumented for
// ThreadSanitizer, so each copy of the body publishes itself (release on its
// address) and each use first acquires the object it reads: the hand-offs
// between threads then show as ordered.
struct JobBody
{
    JobBody(const UT_Functor1<int, const UT_JobInfo &> &f, int n, UT_Lock *l) : functor(&f), jobs(n), lock(l)
    {
        UT_TSAN_RELEASE(this);
    }
    JobBody(const JobBody &other) : JobBody(acquired(other), 0) { UT_TSAN_RELEASE(this); }
    void operator()(int j) const
    {
        UT_TSAN_ACQUIRE(const_cast<JobBody *>(this));
        (*functor)(UT_JobInfo(j, jobs, lock));
        UT_TSAN_RELEASE(&handBack);
    }

    const UT_Functor1<int, const UT_JobInfo &> *functor;
    int jobs;
    UT_Lock *lock;

private:
    static const JobBody &acquired(const JobBody &other)
    {
        UT_TSAN_ACQUIRE(const_cast<JobBody *>(&other));
        return other;
    }
    // Delegation target of the copy constructor.
    JobBody(const JobBody &other, int) : functor(other.functor), jobs(other.jobs), lock(other.lock) {}
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

void UT_ThreadedAlgorithm::run(UT_Functor1<int, const UT_JobInfo &> functor, UT_Lock *lock)
{
    UT_Lock *jobLock = lock ? lock : &myLock;
    int jobs = getDefaultThreadCount();
    if (myMaxThreads > 0) jobs = std::min(jobs, myMaxThreads);
    if (jobs <= 1)
    {
        functor(UT_JobInfo(0, 1, jobLock));
        return;
    }
    JobBody body(functor, jobs, jobLock);
    pool().get().execute([&] { tbb::parallel_for(0, jobs, body, tbb::simple_partitioner()); });
    UT_TSAN_ACQUIRE(&handBack);
}
