// SPDX-License-Identifier: Apache-2.0
// `-j N` in memory: every operator's frame cooked as 1, 2 and 7 slabs at
// once on as many threads, the slabs joined by moving tiles, must give the
// whole cook's volumes bit for bit; warnings come once; an interrupt stops
// every slab and the joined result is the partial one. Built with the
// thread sanitizer in CI: the slabs share the plug-in, its noise table, the
// inputs and the host's interrupt.
#include <gtest/gtest.h>
#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>
#include "SlabScenes.h"
#include "UT/UT_Interrupt.h"
#include "cook/SlabCook.h"

using namespace testhost;
using namespace slabscenes;

namespace
{
struct Result
{
    Grids grids;
    std::vector<std::string> warnings;
    bool wholeWritable = true; // every joined volume keeps writes at every z
};

Result cookAsSlabs(const Scene &s, int slabs, const UT_VoxelSlab &slab = UT_VoxelSlab())
{
    std::unique_ptr<Camera> camera(s.camera ? new Camera : nullptr);
    Cook c(s.op);
    s.build(c);
    c.setSlab(slab);
    ThreadScope scope(s.threads);
    Result r;
    testing::internal::CaptureStdout();
    sopcook::cookInSlabs(c, 0, sopcook::planSlabs(slabs, 0), r.warnings);
    testing::internal::GetCapturedStdout();
    r.grids = gridsOf(c.output(), s.densityOnly);
    for (GA_Offset p = 0; p < c.output().getNumPrimitives(); ++p)
    {
        auto *vol = dynamic_cast<const GEO_PrimVolume *>(c.output().getPrimitive(p));
        if (!vol) continue;
        int kmin, kmax, want[2];
        vol->getVoxels()->getWritableZ(kmin, kmax);
        slab.range(vol->getVoxels()->getZRes(), UT_VoxelArrayF::TILESIZE, want[0], want[1]);
        r.wholeWritable = r.wholeWritable && kmin == want[0] && kmax == want[1];
    }
    return r;
}

// The first voxel where two cooks differ, for the failure message.
std::string firstDifference(const Grids &a, const Grids &b)
{
    if (a.bits.size() != b.bits.size()) return "different volumes";
    for (const auto &[name, bits] : a.bits)
    {
        const std::vector<uint32_t> &other = b.bits.at(name);
        if (bits.size() != other.size()) return name + ": different sizes";
        for (size_t v = 0; v < bits.size(); ++v)
            if (bits[v] != other[v])
                return name + ": voxel " + std::to_string(v % a.xy) + " of layer " + std::to_string(v / a.xy);
    }
    return "";
}

class SlabCook : public ::testing::TestWithParam<Scene>
{
};

TEST_P(SlabCook, SlabsCookedAtOnceJoinIntoTheWholeCook)
{
    const Scene &s = GetParam();
    const Result whole = cookAsSlabs(s, 1);
    ASSERT_FALSE(whole.grids.bits.empty());
    for (int slabs : {2, 7})
    {
        const Result joined = cookAsSlabs(s, slabs);
        EXPECT_EQ(firstDifference(whole.grids, joined.grids), "") << slabs << " slabs";
        EXPECT_EQ(joined.warnings, whole.warnings) << slabs << " slabs";
        EXPECT_TRUE(joined.wholeWritable) << slabs << " slabs";
    }
    // A farm slab cooked as parts: the parts of slab 1 of 2 join into it.
    const Result farmSlab = cookAsSlabs(s, 1, {1, 2});
    const Result farmParts = cookAsSlabs(s, 3, {1, 2});
    EXPECT_EQ(firstDifference(farmSlab.grids, farmParts.grids), "");
    EXPECT_TRUE(farmParts.wholeWritable);
}

INSTANTIATE_TEST_SUITE_P(EveryOperator, SlabCook, ::testing::ValuesIn(everyScene()), sceneName);

const Scene &sceneNamed(const std::string &name)
{
    for (const Scene &s : everyScene())
        if (name == s.name) return s;
    throw std::runtime_error("no scene " + name);
}

// slabreel warns once per cook about a file it cannot decode: four slabs
// give the one warning.
TEST(SlabCookMessages, NodeWarningsComeOnce)
{
    const std::string path = ::testing::TempDir() + "slab_cook_" + std::to_string(getpid()) + ".gif";
    std::ofstream(path) << "not a picture";
    std::vector<std::string> warnings[2];
    for (int i = 0; i < 2; ++i)
    {
        Cook c("slabreel");
        c.set("giffile", path);
        testing::internal::CaptureStdout();
        sopcook::cookInSlabs(c, 0, sopcook::planSlabs(i == 0 ? 1 : 4, 0), warnings[i]);
        testing::internal::GetCapturedStdout();
    }
    std::remove(path.c_str());
    ASSERT_EQ(warnings[0].size(), 1u);
    EXPECT_EQ(warnings[1], warnings[0]);
}

// An interrupt raised before the cook: every slab stops at its first poll,
// as the whole cook does, so the joined partial result is the whole cook's
// partial result, and less than the finished cook.
TEST(SlabCookInterrupt, EverySlabStopsAndTheJoinIsThePartialResult)
{
    const Scene &s = sceneNamed("cloud");
    const Result finished = cookAsSlabs(s, 1);
    UTgetInterrupt()->requestInterrupt();
    const Result partialWhole = cookAsSlabs(s, 1);
    const Result partialSlabs = cookAsSlabs(s, 3);
    UTgetInterrupt()->clearInterrupt();
    EXPECT_EQ(firstDifference(partialWhole.grids, partialSlabs.grids), "");
    EXPECT_NE(firstDifference(finished.grids, partialSlabs.grids), "");
    size_t written = 0;
    for (uint32_t b : partialSlabs.grids.bits.at("density")) written += b != 0;
    EXPECT_GT(written, 0u);
}

// The plan: a slab per thread, never more slabs than z tiles; the threads
// the slabs leave go to a threaded operator's own jobs.
TEST(SlabCookPlan, OneSlabPerThreadUpToTheTiles)
{
    struct
    {
        int threads;
        double zTiles;
        int slabs, inner;
    } cases[] = {{1, 40, 1, 1}, {0, 40, 1, 1}, {7, 40, 7, 1}, {7, 3, 3, 2}, {8, 2, 2, 4}, {7, 0, 7, 1}};
    for (const auto &k : cases)
    {
        const sopcook::SlabPlan plan = sopcook::planSlabs(k.threads, k.zTiles);
        EXPECT_EQ(plan.slabs, k.slabs) << k.threads << " threads, " << k.zTiles << " tiles";
        EXPECT_EQ(plan.threads, k.slabs) << k.threads << " threads, " << k.zTiles << " tiles";
        EXPECT_EQ(plan.inner, k.inner) << k.threads << " threads, " << k.zTiles << " tiles";
    }
}
} // namespace
