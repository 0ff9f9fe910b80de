#include "UT_ThreadedAlgorithm.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>

#include <tbb/global_control.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

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
    pool().get().execute([&] {
        tbb::parallel_for(0, jobs, [&](int j) { functor(UT_JobInfo(j, jobs, jobLock)); },
                          tbb::simple_partitioner());
    });
}
