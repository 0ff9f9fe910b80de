// SPDX-License-Identifier: Apache-2.0
// The host toolkit: voxel arrays, volumes, geometry, threads and the loader.
#include <gtest/gtest.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>
#include "GU/GU_Detail.h"
#include "GU/GU_PrimVolume.h"
#include "TestHost.h"
#include "UT/UT_DSO.h"
#include <dlfcn.h>
#include "UT/UT_RunTrial.h"
#include "UT/UT_ThreadedAlgorithm.h"
#include "UT/UT_TilePool.h"
#include "VolumeSetup.h"
#include "VoxelRow.h"

using namespace testhost;

TEST(VoxelArray, SparseTilesGrowWithWrites)
{
    UT_VoxelArrayF a;
    a.size(1024, 1024, 1024);
    size_t empty = a.memoryUsage();
    EXPECT_LT(empty, 64 * 1024u); // kilobytes for a gigavoxel grid
    a.setValue(1000, 3, 517, 2.5f);
    EXPECT_EQ(a.getValue(1000, 3, 517), 2.5f);
    EXPECT_EQ(a.getValue(1001, 3, 517), 0.0f);
    EXPECT_LT(a.memoryUsage(), empty + 64 * 1024u);
    // Writing the background value allocates nothing.
    a.setValue(5, 5, 5, 0.0f);
    EXPECT_EQ(a.tileData(0, 0, 0), nullptr);
    // Out of range: reads 0, writes ignored.
    a.setValue(-1, 0, 0, 7.0f);
    a.setValue(1024, 0, 0, 7.0f);
    EXPECT_EQ(a.getValue(-1, 0, 0), 0.0f);
    EXPECT_EQ(a.getValue(0, 0, 1024), 0.0f);
    // Resizing resets every voxel.
    a.size(20, 17, 3);
    EXPECT_EQ(a.getValue(1000, 3, 517), 0.0f);
    a.setValue(19, 16, 2, 1.0f); // an edge tile
    EXPECT_EQ(a.getValue(19, 16, 2), 1.0f);
    UT_VoxelArrayF copy(a);
    EXPECT_EQ(copy.getValue(19, 16, 2), 1.0f);
}

// Released chunks serve the next pool (the next cook's arrays): what it gets
// must be zeroed and aligned whatever the last owner wrote, for chunks of
// every size, the huge ones included.
TEST(TilePool, ReusedChunksComeBackZeroed)
{
    const size_t sizes[] = {64, 4096, 16384, 100000, size_t(3) << 20};
    {
        UT_TilePool pool;
        for (int round = 0; round < 40; ++round)
            for (size_t bytes : sizes)
            {
                std::memset(pool.allocate(bytes), 0xA5, bytes);
            }
        EXPECT_GT(pool.mappedBytes(), size_t(100) << 20);
    } // released into the cache
    UT_TilePool next;
    size_t nonZero = 0, misaligned = 0;
    for (int round = 0; round < 40; ++round)
        for (size_t bytes : sizes)
        {
            const unsigned char *p = static_cast<const unsigned char *>(next.allocate(bytes));
            misaligned += reinterpret_cast<uintptr_t>(p) % 64 != 0;
            for (size_t i = 0; i < bytes; ++i) nonZero += p[i] != 0;
        }
    EXPECT_EQ(nonZero, 0u);
    EXPECT_EQ(misaligned, 0u);
}

TEST(VoxelArray, SlabKeepsOnlyItsWholeTilesOfZ)
{
    // 70 voxels of z are 5 tiles; slab 1 of 3 is tiles 1 and 2 (k 16..47),
    // slab 2 tiles 3 and 4 (k 48..69, the edge tile short).
    int kmin, kmax;
    UT_VoxelSlab{1, 3}.range(70, 16, kmin, kmax);
    EXPECT_EQ(kmin, 16);
    EXPECT_EQ(kmax, 48);
    UT_VoxelSlab{2, 3}.range(70, 16, kmin, kmax);
    EXPECT_EQ(kmin, 48);
    EXPECT_EQ(kmax, 70);
    UT_VoxelSlab{0, 4}.range(20, 16, kmin, kmax); // more slabs than tiles
    EXPECT_EQ(kmin, kmax);

    UT_VoxelArrayF a;
    a.setSlab({1, 3});
    a.size(40, 40, 70);
    const size_t empty = a.memoryUsage();
    // Outside the slab nothing is written and no tile allocated, by any path.
    a.setValue(5, 5, 15, 1.0f);
    a.updateValue(5, 5, 48, [](float v) { return v + 1.0f; });
    a.setValue(5, 5, 69, 1.0f);
    EXPECT_EQ(a.memoryUsage(), empty);
    EXPECT_EQ(a.getValue(5, 5, 15), 0.0f);
    a.setValue(5, 5, 16, 2.0f);
    a.updateValue(5, 5, 47, [](float v) { return v + 3.0f; });
    EXPECT_EQ(a.getValue(5, 5, 16), 2.0f);
    EXPECT_EQ(a.getValue(5, 5, 47), 3.0f);
    // Copies (copy-on-write volumes) keep the slab; arrays sized later do not.
    UT_VoxelArrayF copy(a);
    copy.setValue(0, 0, 0, 1.0f);
    EXPECT_EQ(copy.getValue(0, 0, 0), 0.0f);
    UT_VoxelArrayF whole;
    whole.size(40, 40, 70);
    whole.setValue(0, 0, 0, 1.0f);
    EXPECT_EQ(whole.getValue(0, 0, 0), 1.0f);
}

TEST(VoxelArray, SlabsJoinByMovingTheirTiles)
{
    // Three slabs of 37 x 21 x 70 (5 z tiles, so slab 1 starts mid block),
    // each written everywhere it keeps, joined into the first.
    UT_VoxelArrayF parts[3];
    for (int s = 0; s < 3; ++s)
    {
        parts[s].setSlab({s, 3});
        parts[s].size(37, 21, 70);
        for (int k = 0; k < 70; ++k)
            for (int j = 0; j < 21; ++j)
                for (int i = 0; i < 37; ++i) parts[s].setValue(i, j, k, float(i + 100 * j + 10000 * k + 1));
    }
    const float *moved = parts[2].tileData(1, 0, 4);
    ASSERT_NE(moved, nullptr);
    EXPECT_TRUE(parts[0].takeTiles(parts[2]));
    EXPECT_TRUE(parts[0].takeTiles(parts[1]));
    // Tiles move, not copies: the pointer is the part's, the part is empty.
    EXPECT_EQ(parts[0].tileData(1, 0, 4), moved);
    EXPECT_EQ(parts[2].tileData(1, 0, 4), nullptr);
    EXPECT_EQ(parts[1].getValue(3, 3, 20), 0.0f);
    int kmin, kmax;
    parts[0].getWritableZ(kmin, kmax);
    EXPECT_EQ(kmin, 0);
    EXPECT_EQ(kmax, 70);
    EXPECT_TRUE(parts[0].getSlab().isWhole());
    for (int k = 0; k < 70; ++k)
        for (int j = 0; j < 21; ++j)
            for (int i = 0; i < 37; ++i) ASSERT_EQ(parts[0].getValue(i, j, k), float(i + 100 * j + 10000 * k + 1));
    // The joined array owns the moved memory: it outlives the parts.
    UT_VoxelArrayF *copy = new UT_VoxelArrayF(parts[0]);
    for (auto &p : parts) p.size(1, 1, 1);
    EXPECT_EQ(copy->getValue(36, 20, 69), float(36 + 2000 + 690000 + 1));
    delete copy;

    // Parts that overlap or differ in shape are refused, and nothing moves.
    UT_VoxelArrayF a, b, c;
    a.size(20, 20, 40);
    b.size(20, 20, 40);
    c.size(20, 20, 41);
    a.setValue(1, 1, 1, 1.0f);
    b.setValue(1, 2, 1, 2.0f); // the same tile
    b.setValue(1, 2, 33, 3.0f);
    EXPECT_FALSE(a.takeTiles(b));
    EXPECT_FALSE(a.takeTiles(c));
    EXPECT_FALSE(a.takeTiles(a));
    EXPECT_EQ(b.getValue(1, 2, 33), 3.0f);
    EXPECT_EQ(a.getValue(1, 2, 33), 0.0f);
}

TEST(Volume, VolumesTakeTheSlabOfTheirDetail)
{
    GU_Detail gdp;
    gdp.setVoxelSlab({1, 2});
    gdp.clearAndDestroy(); // the slab belongs to the detail, not its contents
    GU_Detail source;
    gdp.copyFrom(source);
    GU_PrimVolume *vol = GU_PrimVolume::build(&gdp);
    vol->getVoxelWriteHandle()->size(8, 8, 64);
    int kmin, kmax;
    vol->getVoxels()->getWritableZ(kmin, kmax);
    EXPECT_EQ(kmin, 32);
    EXPECT_EQ(kmax, 64);
    // A volume of another detail, and an array made on its own, are whole.
    GU_PrimVolume *whole = GU_PrimVolume::build(&source);
    whole->getVoxelWriteHandle()->size(8, 8, 64);
    whole->getVoxels()->getWritableZ(kmin, kmax);
    EXPECT_EQ(kmin, 0);
    EXPECT_EQ(kmax, 64);
    // An impossible slab reads as the whole volume.
    gdp.setVoxelSlab({3, 2});
    EXPECT_TRUE(gdp.getVoxelSlab().isWhole());
    // The parts of a slab are the slabs of a finer cut that join into it:
    // slab 1 of 2 of 200 voxels (13 tiles) is k 96..200.
    int next = 96;
    for (int part = 0; part < 3; ++part)
    {
        int lo, hi;
        UT_VoxelSlab{1, 2}.part(part, 3).range(200, 16, lo, hi);
        EXPECT_EQ(lo, next) << part;
        EXPECT_LT(lo, hi) << part;
        next = hi;
    }
    EXPECT_EQ(next, 200);
}

TEST(VoxelArray, EdgeTilesHoldOnlyTheVoxelsInside)
{
    // One slice of 1990 x 1990: tiles are 16 x 16 x 1, the last ones on x
    // and y only 6 voxels wide.
    UT_VoxelArrayF a;
    a.size(1990, 1990, 1);
    for (int y = 0; y < 1990; ++y)
        for (int x = 0; x < 1990; ++x) a.setValue(x, y, 0, float(x + 2000 * y + 1));
    const size_t floats = size_t(1990) * 1990 * sizeof(float);
    EXPECT_LT(a.memoryUsage(), floats + floats / 4); // full 16^3 tiles would take 16 times the floats
    EXPECT_EQ(a.tileSize(0, 124), 1990 - 124 * 16);
    EXPECT_EQ(a.tileSize(2, 0), 1);
    // Walking the tiles by their layout finds every voxel.
    for (int ty = 0; ty < a.getTileRes(1); ++ty)
        for (int tx = 0; tx < a.getTileRes(0); ++tx)
        {
            const float *tile = a.tileData(tx, ty, 0);
            ASSERT_NE(tile, nullptr);
            for (int j = 0; j < a.tileSize(1, ty); ++j)
                for (int i = 0; i < a.tileSize(0, tx); ++i)
                {
                    int x = tx * 16 + i, y = ty * 16 + j;
                    ASSERT_EQ(tile[j * a.tileSize(0, tx) + i], float(x + 2000 * y + 1));
                    ASSERT_EQ(a.voxelOffset(x, y, 0), j * a.tileSize(0, tx) + i);
                }
        }
    UT_VoxelArrayF copy(a);
    EXPECT_EQ(copy.getValue(1989, 1989, 0), float(1989 + 2000 * 1989 + 1));
    EXPECT_EQ(copy.memoryUsage(), a.memoryUsage());
}

TEST(ThreadedAlgorithm, TinyRunsGoAsOneJobOnTheCallingThread)
{
    const int64_t oldThreshold = UT_ThreadedAlgorithm::getInOrderThreshold();
    UT_ThreadedAlgorithm::setDefaultThreadCount(3);
    UT_ThreadedAlgorithm::setInOrderThreshold(int64_t(1) << 40);
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    UT_ThreadedAlgorithm algo;
    for (int run = 0; run < 2; ++run)
        algo.run([&](const UT_JobInfo &info) {
            EXPECT_EQ(info.numJobs(), 1);
            order.push_back(info.job());
            threads.push_back(std::this_thread::get_id());
            return 0;
        });
    EXPECT_EQ(order, (std::vector<int>{0, 0}));
    for (std::thread::id id : threads) EXPECT_EQ(id, std::this_thread::get_id());
    UT_ThreadedAlgorithm::setInOrderThreshold(oldThreshold);
}

// Runs whose jobs are slower on the pool than as one job (here they wait
// 20 times longer when split) settle on one job after a trial; both ways
// give each run's whole work. (Runs of over 1 ms take the pool without a
// trial.) A trial sums real run times, so one run preempted for a few
// milliseconds on a loaded machine can rightly choose the pool for a while;
// each stream starts without history, so the test gives it three tries.
TEST(ThreadedAlgorithm, RunsSettleOnTheFasterWay)
{
    const int64_t oldThreshold = UT_ThreadedAlgorithm::getInOrderThreshold();
    UT_ThreadedAlgorithm::setDefaultThreadCount(2);
    UT_ThreadedAlgorithm::setInOrderThreshold(1000);
    // Runs from one place on a thread of its own: a stream with no history.
    auto oneJobRunsOfSlowPool = [] {
        int oneJobRuns = 0;
        std::thread stream([&] {
            UT_ThreadedAlgorithm algo;
            for (int run = 0; run < 120; ++run)
            {
                std::atomic<int> covered{0}, jobs{0};
                algo.run([&](const UT_JobInfo &info) {
                    jobs = info.numJobs();
                    int start, end;
                    info.divideWork(100, start, end);
                    covered += end - start;
                    const bool split = info.numJobs() > 1;
                    const int us = split ? 400 : 20;
                    std::this_thread::sleep_for(std::chrono::microseconds(us));
                    return 0;
                });
                EXPECT_EQ(covered.load(), 100);
                // The first two runs have no history; the trial alternates.
                oneJobRuns += run >= 40 && jobs == 1;
            }
        });
        stream.join();
        return oneJobRuns;
    };
    int best = 0;
    for (int attempt = 0; attempt < 3 && best <= 60; ++attempt) best = std::max(best, oneJobRunsOfSlowPool());
    EXPECT_GT(best, 60);
    UT_ThreadedAlgorithm::setInOrderThreshold(oldThreshold);
}

// The trial itself, on given run times (a loaded machine can make real runs
// of either way the slower): runs alternate while a trial lasts, the faster
// way in total is kept, for longer each time a trial confirms it.
TEST(ThreadedAlgorithm, TrialKeepsTheFasterWayForLongerEachTime)
{
    for (bool poolFaster : {true, false})
    {
        UT_RunTrial trial;
        int poolRuns = 0, trials = 0;
        for (int run = 0; run < 2000; ++run)
        {
            const bool inTrial = trial.trialLeft > 0 || trial.settledLeft == 0;
            const bool pool = trial.choosePool();
            trials += inTrial && trial.trialLeft == UT_RunTrial::trialRuns;
            poolRuns += !inTrial && pool;
            if (!inTrial)
            {
                EXPECT_EQ(pool, poolFaster) << run;
            }
            trial.record(pool, pool == poolFaster ? 100 : 400);
        }
        // 32, 64, ... 1024 settled runs between trials.
        EXPECT_LE(trials, 8);
        if (poolFaster)
        {
            EXPECT_GT(poolRuns, 1800);
        }
    }
}

TEST(VoxelArray, ConcurrentDisjointWritesIntoOneTile)
{
    UT_VoxelArrayF a;
    a.size(16, 16, 16);
    UT_ThreadedAlgorithm::setDefaultThreadCount(4);
    UT_ThreadedAlgorithm algo;
    algo.run([&](const UT_JobInfo &info) {
        int start, end;
        info.divideWork(16 * 16 * 16, start, end);
        for (int v = start; v < end; ++v) a.setValue(v & 15, (v >> 4) & 15, v >> 8, float(v + 1));
        return 0;
    });
    for (int v = 0; v < 4096; ++v) ASSERT_EQ(a.getValue(v & 15, (v >> 4) & 15, v >> 8), float(v + 1));
}

TEST(Volume, IndexAndPositionRoundTrip)
{
    GU_Detail gdp;
    GU_PrimVolume *vol = GU_PrimVolume::build(&gdp);
    EXPECT_EQ(gdp.getNumPoints(), 1);
    UT_Matrix4 m(0.0f);
    m(0, 0) = 2; m(1, 1) = 3; m(2, 2) = 4; m(3, 0) = 1; m(3, 1) = -1; m(3, 2) = 5; m(3, 3) = 1;
    vol->setTransform4(m);
    vol->getVoxelWriteHandle()->size(4, 6, 8);
    EXPECT_EQ(gdp.getPos3(0), UT_Vector3(1, -1, 5));
    UT_Vector3 p;
    vol->indexToPos(0, 0, 0, p);
    EXPECT_FLOAT_EQ(p.x(), 1 + 2 * -0.75f);
    EXPECT_FLOAT_EQ(p.z(), 5 + 4 * -0.875f);
    for (float tx : {1.0f, 0.25f})
    {
        vol->setTaperX(tx);
        vol->setTaperY(tx * 2);
        for (int k = 0; k < 8; ++k)
            for (int j = 0; j < 6; ++j)
                for (int i = 0; i < 4; ++i)
                {
                    vol->indexToPos(i, j, k, p);
                    int a, b, c;
                    EXPECT_TRUE(vol->posToIndex(p, a, b, c));
                    EXPECT_EQ(a, i);
                    EXPECT_EQ(b, j);
                    EXPECT_EQ(c, k);
                }
    }
    // The taper scales the k = 0 side, not the far side.
    vol->setTaperX(0.5f);
    vol->setTaperY(1.0f);
    UT_Vector3 nearSide, farSide;
    vol->indexToPos(0, 0, 0, nearSide);
    vol->indexToPos(0, 0, 7, farSide);
    EXPECT_NEAR(nearSide.x() - 1, 2 * -0.75f * (1 + (0.5f - 1) * (1 + 0.875f) * 0.5f), 1e-6);
    EXPECT_NEAR(farSide.x() - 1, 2 * -0.75f * (1 + (0.5f - 1) * (1 - 0.875f) * 0.5f), 1e-6);
    // Outside, NaN and huge positions report out of range without overflow.
    int a, b, c;
    EXPECT_FALSE(vol->posToIndex(UT_Vector3(100, 0, 5), a, b, c));
    EXPECT_FALSE(vol->posToIndex(UT_Vector3(NAN, 0, 5), a, b, c));
    EXPECT_FALSE(vol->posToIndex(UT_Vector3(1e30f, -1e30f, 5), a, b, c));
}

// Row-wise centres and updates give what the per-voxel calls give, bit for
// bit: rotated and tapered volumes, edge tiles, voxels outside the grid or
// the slab, and tiles another row allocated after this one found them empty.
TEST(Volume, RowsMatchVoxelByVoxelAccess)
{
    GU_Detail gdp;
    GU_PrimVolume *vol = GU_PrimVolume::build(&gdp);
    UT_Matrix4 m(0.0f);
    m(0, 0) = 1.3f; m(0, 1) = 0.4f; m(1, 0) = -0.2f; m(1, 1) = 2.7f; m(2, 2) = 3.1f; m(2, 0) = 0.01f;
    m(3, 0) = 0.1f; m(3, 1) = -7.3f; m(3, 2) = 5.9f; m(3, 3) = 1;
    vol->setTransform4(m);
    vol->getVoxelWriteHandle()->size(37, 5, 19);
    auto sameBits = [](const UT_Vector3 &a, const UT_Vector3 &b) { return std::memcmp(&a, &b, sizeof a) == 0; };
    for (float taper : {1.0f, 0.3f})
    {
        vol->setTaperX(taper);
        for (int z = -1; z <= 19; ++z)
            for (int y = -1; y <= 5; ++y)
            {
                const GEO_VoxelCentreRow row = vol->centreRow(y, z);
                for (int x = -2; x <= 38; ++x)
                {
                    UT_Vector3 p;
                    vol->indexToPos(x, y, z, p);
                    EXPECT_TRUE(sameBits(row.at(x), p)) << x << " " << y << " " << z << " taper " << taper;
                }
            }
    }

    UT_VoxelArrayWriteHandleF byVoxel(std::make_shared<UT_VoxelArrayF>());
    UT_VoxelArrayWriteHandleF byRow(std::make_shared<UT_VoxelArrayF>());
    for (auto *h : {&byVoxel, &byRow})
    {
        (*h)->setSlab({1, 2});
        (*h)->size(37, 5, 40);
    }
    const size_t empty = byRow->memoryUsage();
    // Zero-valued updates allocate nothing, inside or outside the slab.
    for (int z : {0, 20})
    {
        VoxelRow row(byRow, 2, z);
        for (int x = 0; x < 37; ++x) row.accumulate(x, 0.0);
    }
    EXPECT_EQ(byRow->memoryUsage(), empty);
    for (int pass = 0; pass < 3; ++pass)
        for (int z = -1; z <= 40; ++z)
            for (int y = -1; y <= 5; ++y)
            {
                VoxelRow row(byRow, y, z);
                // Voxels 16-19 add nothing, so the row finds their tile empty;
                // then the rest of the tile is written through the array.
                for (int x = 20; x < 37; ++x) accumulateVoxel(byVoxel, x, y, z, 0.25 * x);
                for (int x = -3; x <= 40; ++x)
                {
                    // Sums in double and in float differ for such weights.
                    const double w = x >= 16 && x < 20 ? 0.0 : (x * 7 + y * 3 + z + pass) % 5 * 0.1 + 0x1.0000001p-24;
                    if (x == 20)
                        for (int k = 20; k < 37; ++k) accumulateVoxel(byRow, k, y, z, 0.25 * k);
                    accumulateVoxel(byVoxel, x, y, z, w);
                    row.accumulate(x, w);
                    accumulateVoxelSingle(byVoxel, x, y, z, float(w));
                    row.accumulateSingle(x, float(w));
                }
            }
    for (int z = 0; z < 40; ++z)
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 37; ++x)
                ASSERT_EQ(byRow->getValue(x, y, z), byVoxel->getValue(x, y, z)) << x << " " << y << " " << z;
    EXPECT_EQ(byRow->getValue(3, 3, 10), 0.0f); // outside the slab
    EXPECT_NE(byRow->getValue(3, 3, 20), 0.0f);
}

TEST(Volume, FlatBoxMapsToItsMiddleLayer)
{
    GU_Detail gdp;
    GU_PrimVolume *vol = GU_PrimVolume::build(&gdp);
    UT_Matrix4 m(0.0f);
    m(0, 0) = 1; m(1, 1) = 1; m(3, 3) = 1; // zero extent on z
    vol->setTransform4(m);
    vol->getVoxelWriteHandle()->size(4, 4, 4);
    int i, j, k;
    EXPECT_TRUE(vol->posToIndex(UT_Vector3(0.1f, 0.1f, 3.0f), i, j, k));
    EXPECT_EQ(k, 2);
}

TEST(Volume, CopiesShareVoxelsUntilWritten)
{
    GU_Detail a;
    GU_PrimVolume *va = GU_PrimVolume::build(&a);
    va->getVoxelWriteHandle()->size(8, 8, 8);
    va->getVoxelWriteHandle()->setValue(1, 1, 1, 3.0f);
    GU_Detail b;
    b.copyFrom(a);
    auto *vb = static_cast<GEO_PrimVolume *>(b.getPrimitive(0));
    EXPECT_EQ(vb->getVoxels(), va->getVoxels());
    vb->getVoxelWriteHandle()->setValue(1, 1, 1, 5.0f);
    EXPECT_EQ(va->getValueAtIndex(1, 1, 1), 3.0);
    EXPECT_EQ(vb->getValueAtIndex(1, 1, 1), 5.0);

    // A handle taken before the copy writes only into the original.
    UT_VoxelArrayWriteHandleF held = va->getVoxelWriteHandle();
    GU_Detail c;
    c.copyFrom(a);
    auto *vc = static_cast<GEO_PrimVolume *>(c.getPrimitive(0));
    held->setValue(2, 2, 2, 7.0f);
    EXPECT_EQ(va->getValueAtIndex(2, 2, 2), 7.0);
    EXPECT_EQ(vc->getValueAtIndex(2, 2, 2), 0.0);
    EXPECT_EQ(vc->getValueAtIndex(1, 1, 1), 3.0);
    vc->getVoxelWriteHandle()->setValue(3, 3, 3, 1.0f);
    EXPECT_EQ(va->getValueAtIndex(3, 3, 3), 0.0);
}

TEST(Geometry, DestroyPrimitiveRemovesOnlyUnsharedPoints)
{
    GU_Detail gdp;
    std::vector<GA_Offset> pts;
    for (int i = 0; i < 6; ++i) pts.push_back(addPoint(gdp, UT_Vector3(float(i), 0, 0)));
    setPointAttrib(gdp, pts[5], "density", {7});
    GEO_PrimPoly *first = GEO_PrimPoly::build(&gdp, {pts[0], pts[1], pts[2]}, true);
    GEO_PrimPoly *second = GEO_PrimPoly::build(&gdp, {pts[2], pts[3]}, false);
    GA_PrimitiveGroup *group = gdp.newPrimitiveGroup("g");
    group->add(first);
    group->add(second);
    gdp.destroyPrimitive(*first, true);
    EXPECT_EQ(gdp.getNumPrimitives(), 1);
    EXPECT_EQ(gdp.getNumPoints(), 4); // 2 (shared), 3, 4 and 5 remain
    EXPECT_EQ(group->entries(), 1);
    EXPECT_EQ(gdp.getPrimitive(0), second);
    EXPECT_EQ(gdp.getPos3(second->getPointOffset(0)), UT_Vector3(2, 0, 0));
    GA_RWAttributeRef density = gdp.findFloatTuple(GA_ATTRIB_POINT, "density");
    float v = 0;
    EXPECT_TRUE(density.getAIFTuple()->get(density.getAttribute(), 3, &v, 1));
    EXPECT_EQ(v, 7.0f);
    // Lookups respect the requested tuple size.
    EXPECT_FALSE(gdp.findFloatTuple(GA_ATTRIB_POINT, "density", 3).isValid());
    EXPECT_TRUE(gdp.findFloatTuple(GA_ATTRIB_POINT, "P", 3).isValid());
}

TEST(Geometry, BoundingBoxOfPoints)
{
    GU_Detail gdp;
    UT_BoundingBox box;
    EXPECT_EQ(gdp.getBBox(&box), 0);
    addPoint(gdp, UT_Vector3(0, 1, 2));
    addPoint(gdp, UT_Vector3(4, -1, 3));
    EXPECT_EQ(gdp.getBBox(&box), 1);
    EXPECT_EQ(box.sizeX(), 4);
    EXPECT_EQ(box.centerY(), 0);
}

TEST(Threads, DivideWorkCoversEveryUnitOnce)
{
    for (int jobs : {1, 2, 3, 7})
        for (int units : {0, 1, 5, 64, 1001})
        {
            std::vector<int> hits(size_t(units), 0);
            int expectStart = 0;
            for (int j = 0; j < jobs; ++j)
            {
                UT_JobInfo info(j, jobs, nullptr);
                int start, end;
                info.divideWork(units, start, end);
                EXPECT_EQ(start, expectStart);
                expectStart = end;
                for (int u = start; u < end; ++u) ++hits[size_t(u)];
            }
            EXPECT_EQ(expectStart, units);
            for (int h : hits) EXPECT_EQ(h, 1);
        }
}

TEST(Threads, RunStartsOneJobPerThreadAndLocks)
{
    UT_ThreadedAlgorithm::setDefaultThreadCount(3);
    UT_ThreadedAlgorithm algo;
    std::atomic<int> jobs{0};
    int shared = 0;
    algo.run([&](const UT_JobInfo &info) {
        EXPECT_EQ(info.numJobs(), 3);
        jobs.fetch_add(1);
        for (int i = 0; i < 10000; ++i)
        {
            info.lock();
            ++shared;
            info.unlock();
        }
        return 0;
    });
    EXPECT_EQ(jobs.load(), 3);
    EXPECT_EQ(shared, 30000);
    UT_ThreadedAlgorithm::setDefaultThreadCount(1);
    jobs = 0;
    algo.run([&](const UT_JobInfo &info) { jobs += info.numJobs(); return 0; });
    EXPECT_EQ(jobs.load(), 1);
}

TEST(PluginLoader, ReportsClearErrors)
{
    OP_OperatorTable table;
    std::string error;
    EXPECT_FALSE(UT_DSO::loadSopPlugin("/nonexistent/plugin.so", table, error));
    EXPECT_NE(error.find("no such file"), std::string::npos);

    std::string junk = testing::TempDir() + "/junk.so";
    std::ofstream(junk) << "not a library";
    EXPECT_FALSE(UT_DSO::loadSopPlugin(junk, table, error));
    EXPECT_NE(error.find("cannot load"), std::string::npos);
    std::remove(junk.c_str());

    // The host library itself is a library but no plug-in.
    EXPECT_FALSE(UT_DSO::loadSopPlugin(std::string(SUITE_PLUGIN_DIR) + "/libhost.so", table, error));
    EXPECT_NE(error.find("not a surface-operator plug-in"), std::string::npos);
    EXPECT_TRUE(table.operators().empty());
}

TEST(PluginLoader, PluginsExportVersionAndRegisterOneOperator)
{
    OP_Operator *op = testhost::op("plumeweave");
    ASSERT_TRUE(op);
    EXPECT_EQ(op->getEnglish(), "Plumeweave");
    EXPECT_EQ(op->maxInputs(), 2u);
    EXPECT_EQ(op->getInputLabel(0), "Point Geo");
    EXPECT_EQ(op->getInputLabel(1), "Bounding Box (optional)");
    EXPECT_EQ(op->getFlags() & OP_FLAG_GENERATOR, OP_FLAG_GENERATOR);

    for (const std::string &path : UT_DSO::findPlugins({SUITE_PLUGIN_DIR}))
    {
        if (path.find("libhost") != std::string::npos) continue;
        void *h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        ASSERT_TRUE(h) << path;
        auto version = reinterpret_cast<void (*)(const char **)>(dlsym(h, "HoudiniDSOVersion"));
        auto compiler = reinterpret_cast<unsigned (*)()>(dlsym(h, "HoudiniCompilerVersion"));
        auto tag = reinterpret_cast<void (*)(const char **)>(dlsym(h, "HoudiniGetTagInfo"));
        ASSERT_TRUE(version && compiler && tag) << path;
        const char *v = nullptr;
        version(&v);
        EXPECT_STREQ(v, "13.0");
        EXPECT_EQ(compiler(), 404u);
        dlclose(h);
    }
}

TEST(PluginLoader, PluginsDoNotLinkTheHostLibrary)
{
    for (const std::string &path : UT_DSO::findPlugins({SUITE_PLUGIN_DIR}))
    {
        if (path.find("libhost") != std::string::npos) continue;
        std::string cmd = "readelf -d '" + path + "' 2>/dev/null | grep NEEDED";
        FILE *pipe = popen(cmd.c_str(), "r");
        ASSERT_TRUE(pipe);
        std::string needed;
        char buf[512];
        while (fgets(buf, sizeof buf, pipe)) needed += buf;
        pclose(pipe);
        EXPECT_FALSE(needed.empty()) << path;
        EXPECT_EQ(needed.find("libhost"), std::string::npos) << path;
    }
}

TEST(LocalVariables, EvaluateToZeroBeforeAndAfterCook)
{
    Cook c("plumeweave");
    for (int i = 0; i < 4; ++i) EXPECT_EQ(c.node().getVariableValue(i, 0), 0.0f);
    GA_Offset pt = addPoint(c.input(0), UT_Vector3(0, 0, 0));
    setPointAttrib(c.input(0), pt, "id", {5});
    c.cook();
    for (int i = 0; i < 4; ++i) EXPECT_EQ(c.node().getVariableValue(i, 0), 0.0f);
}
