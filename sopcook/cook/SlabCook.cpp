// SPDX-License-Identifier: Apache-2.0
#include "cook/SlabCook.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>

#include "Messages.h"
#include "UT/UT_ThreadedAlgorithm.h"

namespace sopcook
{
namespace
{
// A node of job's operator with job's parameter values, reading job's inputs.
std::unique_ptr<OperatorCook> sibling(OperatorCook &job)
{
    auto copy = std::make_unique<OperatorCook>(job.op());
    copy->node().copyParameterValues(job.node());
    for (unsigned i = 0; i < job.node().nInputs(); ++i) copy->node().setInput(i, job.node().getInput(i));
    return copy;
}

// Inputs cook once, here, before the slabs share them: a slab then only
// reads them.
void cookInputs(OperatorCook &job, fpreal time)
{
    OP_Context context(time);
    for (unsigned i = 0; i < job.node().nInputs(); ++i)
        if (auto *input = dynamic_cast<SOP_Node *>(job.node().getInput(i))) input->getCookedGeo(context);
}

// Moves the tiles of part's volumes into whole's, volume by volume.
void join(GU_Detail &whole, GU_Detail &part, const std::string &op)
{
    const auto differ = [&] { return Error(op + ": the slabs of one cook made different geometry; cook without -j"); };
    if (part.getNumPrimitives() != whole.getNumPrimitives()) throw differ();
    for (GA_Offset p = 0; p < whole.getNumPrimitives(); ++p)
    {
        GA_Primitive *w = whole.getPrimitive(p), *s = part.getPrimitive(p);
        if (w->getTypeId() != s->getTypeId()) throw differ();
        if (w->getTypeId() != GA_PRIMVOLUME) continue;
        UT_VoxelArrayWriteHandleF into = static_cast<GEO_PrimVolume *>(w)->getVoxelWriteHandle();
        UT_VoxelArrayWriteHandleF from = static_cast<GEO_PrimVolume *>(s)->getVoxelWriteHandle();
        if (!into->takeTiles(*from)) throw differ();
    }
}

// Each distinct warning once, in the order the slabs gave them.
void appendOnce(std::vector<std::string> &warnings, const std::vector<std::string> &more)
{
    for (const std::string &w : more)
        if (std::find(warnings.begin(), warnings.end(), w) == warnings.end()) warnings.push_back(w);
}
} // namespace

SlabPlan planSlabs(int threads, double zTiles)
{
    SlabPlan plan;
    plan.slabs = std::max(threads, 1);
    if (zTiles > 0) plan.slabs = int(std::min(double(plan.slabs), zTiles));
    plan.threads = plan.slabs;
    // Threads the slabs leave idle (a grid of few z tiles) go to the
    // operator's own jobs.
    plan.inner = std::max(threads, 1) / plan.slabs;
    return plan;
}

void cookInSlabs(OperatorCook &job, fpreal time, const SlabPlan &plan, std::vector<std::string> &warnings)
{
    if (plan.slabs <= 1) return job.cook(time, warnings);
    const UT_VoxelSlab whole = job.slab();
    std::vector<OperatorCook *> parts{&job};
    std::vector<std::unique_ptr<OperatorCook>> siblings;
    for (int s = 1; s < plan.slabs; ++s)
    {
        siblings.push_back(sibling(job));
        parts.push_back(siblings.back().get());
    }
    for (int s = 0; s < plan.slabs; ++s) parts[size_t(s)]->setSlab(whole.part(s, plan.slabs));
    cookInputs(job, time);
    // The pool's size is process-wide: set while no job runs, restored after.
    const int poolThreads = UT_ThreadedAlgorithm::getDefaultThreadCount();
    const bool resize = plan.inner > 0 && plan.inner != poolThreads;
    if (resize) UT_ThreadedAlgorithm::setDefaultThreadCount(plan.inner);

    // Plain threads, so that a thread sanitizer sees every hand-off; each
    // takes the next slab not yet started.
    std::vector<std::vector<std::string>> partWarnings(parts.size());
    std::vector<std::exception_ptr> failures(parts.size());
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t s; (s = next.fetch_add(1)) < parts.size();)
        {
            try
            {
                parts[s]->cook(time, partWarnings[s]);
            }
            catch (...)
            {
                failures[s] = std::current_exception();
            }
        }
    };
    std::vector<std::thread> threads;
    for (int t = 1; t < std::min(plan.threads, plan.slabs); ++t)
    {
        try
        {
            threads.emplace_back(work);
        }
        catch (const std::system_error &)
        {
            break; // no more threads to be had: the ones running take the rest
        }
    }
    work();
    for (std::thread &t : threads) t.join();
    if (resize) UT_ThreadedAlgorithm::setDefaultThreadCount(poolThreads);

    job.setSlab(whole);
    for (const std::exception_ptr &failure : failures)
        if (failure) std::rethrow_exception(failure);
    for (size_t s = 1; s < parts.size(); ++s) join(*job.node().getOutputDetail(), *parts[s]->node().getOutputDetail(), job.op().getName());
    for (const std::vector<std::string> &w : partWarnings) appendOnce(warnings, w);
}
} // namespace sopcook
