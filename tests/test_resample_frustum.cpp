// SPDX-License-Identifier: Apache-2.0
// The uniform resample of camera-frustum grids: its default voxel size, the
// totals it keeps, its refusal of outputs that do not fit and its stop.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <string>

#include <openvdb/openvdb.h>

#include "vdb/Resample.h"

namespace
{
// A frustum 64 x 64 x 64 voxels, 1 unit wide at its near plane (depth 1)
// and 10 at its far plane (depth 10) before OpenVDB's scale, holding density
// 1 in a ball 10 voxels across at the given depth.
openvdb::FloatGrid::Ptr frustumBall(double depth)
{
    openvdb::BBoxd box(openvdb::Vec3d(0, 0, 0), openvdb::Vec3d(64, 64, 64));
    auto xf = openvdb::math::Transform::createFrustumTransform(box, 0.1, 9.0, 1.0 / 64); // taper: near over far width
    openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
    grid->setName("density");
    grid->setTransform(xf);
    openvdb::Vec3d at(32, 32, (depth - 1) / 9 * 64), centre = xf->indexToWorld(at), edge = xf->voxelSize(at);
    const double radius = 5 * std::min({edge[0], edge[1], edge[2]});
    auto acc = grid->getAccessor();
    for (auto ijk = openvdb::CoordBBox(openvdb::Coord(0), openvdb::Coord(63)).begin(); ijk; ++ijk)
        if ((xf->indexToWorld(*ijk) - centre).length() < radius) acc.setValue(*ijk, 1.0f);
    return grid;
}

// Sum of value x voxel volume: what a renderer integrates.
double total(const openvdb::FloatGrid &g)
{
    double sum = 0;
    for (auto it = g.cbeginValueOn(); it; ++it)
    {
        openvdb::Vec3d e = g.transform().voxelSize(it.getCoord().asVec3d());
        sum += *it * e[0] * e[1] * e[2];
    }
    return sum;
}

sopcook::ResampleOptions uniform(double voxelSize = 0, double memoryBytes = 0)
{
    sopcook::ResampleOptions o;
    o.uniform = true;
    o.voxelSize = voxelSize;
    o.memoryBytes = memoryBytes;
    return o;
}

struct StopAtOnce : sopcook::ResampleMonitor
{
    std::atomic<int> begun{0}, ended{0};
    double polls = 0;
    void begin(double p) override { ++begun, polls = p; }
    bool poll() override { return true; }
    void end() override { ++ended; }
};
} // namespace

TEST(ResampleFrustum, DefaultVoxelSizeTracksTheActiveDepth)
{
    openvdb::initialize();
    openvdb::FloatGrid::Ptr nearBall = frustumBall(2.5), farBall = frustumBall(8);
    double nearEdge = sopcook::typicalVoxelEdge({nearBall}), farEdge = sopcook::typicalVoxelEdge({farBall});
    // Within the range of the voxel sizes where the ball lies, and deeper is coarser.
    auto within = [](const openvdb::FloatGrid &g, double edge) {
        openvdb::CoordBBox b = g.evalActiveVoxelBoundingBox();
        openvdb::Vec3d lo = g.transform().voxelSize(b.min().asVec3d()), hi = g.transform().voxelSize(b.max().asVec3d());
        return edge >= std::min({lo[0], lo[1], lo[2]}) && edge <= std::max({hi[0], hi[1], hi[2]});
    };
    EXPECT_TRUE(within(*nearBall, nearEdge)) << nearEdge;
    EXPECT_TRUE(within(*farBall, farEdge)) << farEdge;
    EXPECT_GT(farEdge, 2 * nearEdge);
    // Not the near plane's edge: far above the smallest voxel of the frustum.
    EXPECT_GT(farEdge, 4 * nearBall->transform().voxelSize(openvdb::Vec3d(32, 32, 0))[0]);
    // About as many output voxels as the ball holds, not a near-plane lattice.
    openvdb::GridPtrVec out = sopcook::resampleUniform({farBall}, uniform());
    EXPECT_DOUBLE_EQ(out[0]->voxelSize()[0], farEdge);
    EXPECT_LT(double(out[0]->activeVoxelCount()), 8.0 * double(farBall->activeVoxelCount()));

    // A grid already of cubic voxels keeps its size and lattice exactly.
    openvdb::FloatGrid::Ptr cubic = openvdb::FloatGrid::create(0.0f);
    cubic->setTransform(openvdb::math::Transform::createLinearTransform(0.1));
    cubic->tree().setValue(openvdb::Coord(3, 4, 5), 2.0f);
    EXPECT_EQ(sopcook::typicalVoxelEdge({cubic}), 0.1);
    openvdb::FloatGrid::Ptr copy = openvdb::gridPtrCast<openvdb::FloatGrid>(sopcook::resampleUniform({cubic}, uniform())[0]);
    EXPECT_EQ(copy->tree().getValue(openvdb::Coord(3, 4, 5)), 2.0f);
    EXPECT_EQ(copy->activeVoxelCount(), 1u);
}

TEST(ResampleFrustum, TotalsAreKeptAtTheDefaultAndAtAUserSize)
{
    openvdb::initialize();
    for (double depth : {2.5, 8.0})
    {
        openvdb::FloatGrid::Ptr ball = frustumBall(depth);
        const double typical = sopcook::typicalVoxelEdge({ball});
        for (double size : {0.0, typical / 2})
        {
            openvdb::GridPtrVec out = sopcook::resampleUniform({ball}, uniform(size));
            auto linear = openvdb::gridPtrCast<openvdb::FloatGrid>(out[0]);
            ASSERT_TRUE(linear && linear->transform().isLinear());
            if (size > 0) EXPECT_DOUBLE_EQ(linear->voxelSize()[0], size);
            EXPECT_NEAR(total(*linear), total(*ball), 0.03 * total(*ball)) << depth << " " << size;
            EXPECT_EQ(linear->getName(), "density");
        }
    }
}

TEST(ResampleFrustum, OutputTooBigIsRefusedNamingASizeThatFits)
{
    openvdb::initialize();
    openvdb::GridPtrVec grids{frustumBall(8)};
    const double small = sopcook::typicalVoxelEdge(grids) / 8, memory = 2e5; // bytes
    sopcook::ResampleCost cost = sopcook::resampleCost(grids, small);
    ASSERT_GT(cost.bytes, memory);
    std::string message;
    try
    {
        sopcook::resampleUniform(grids, uniform(small, memory));
    }
    catch (const sopcook::Error &e)
    {
        message = e.what();
    }
    EXPECT_NE(message.find(": the resampled grids would need about "), std::string::npos) << message;
    EXPECT_NE(message.find("voxels ("), std::string::npos) << message;
    const std::string hint = "such as --resample uniform=";
    size_t at = message.find(hint);
    ASSERT_NE(at, std::string::npos) << message;
    double fitting = std::stod(message.substr(at + hint.size()));
    EXPECT_GT(fitting, small);
    EXPECT_LE(sopcook::resampleCost(grids, fitting).bytes, memory);
    EXPECT_NO_THROW(sopcook::resampleUniform(grids, uniform(fitting, memory)));
}

TEST(ResampleFrustum, AMonitorThatAsksToStopStopsItWithNothingMade)
{
    openvdb::initialize();
    openvdb::GridPtrVec grids{frustumBall(8)};
    StopAtOnce monitor;
    const double size = sopcook::typicalVoxelEdge(grids);
    sopcook::ResampleOptions o = uniform(size);
    o.monitor = &monitor;
    EXPECT_THROW(sopcook::resampleUniform(grids, o), sopcook::ResampleInterrupted);
    EXPECT_EQ(monitor.begun.load(), 1);
    EXPECT_EQ(monitor.ended.load(), 1);
    EXPECT_NEAR(monitor.polls, sopcook::resampleCost(grids, size).polls, 0.5);
    EXPECT_GT(monitor.polls, 0);
}
