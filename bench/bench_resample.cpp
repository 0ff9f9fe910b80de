// SPDX-License-Identifier: Apache-2.0
// A uniform resample (--resample uniform at its default voxel size) of a
// camera-frustum density: a ball 24 voxels across at depth 5 in the frustum of
// a camera with near = 1 and far = 100 or 1000 (BM_resampleFrustum/FAR).
// The frustum's depth divisions grow with far so that its voxels, and so the
// ball's active voxels, are the same in both; the far plane adds only empty
// depth. The resample should cost what the active voxels need: the time at
// far = 1000 over the time at far = 100 is the figure (about 1).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>

#include <openvdb/openvdb.h>

#include "vdb/Resample.h"

namespace
{
const double nearPlane = 1, ballDepth = 5;

// A frustum of 128 x 128 x depthDivs voxels, 1 unit wide at the near plane
// (before OpenVDB's scale) and widening with depth as a camera's view does,
// with the ball in it.
openvdb::FloatGrid::Ptr frustumBall(double farPlane, int depthDivs)
{
    openvdb::BBoxd box(openvdb::Vec3d(0, 0, 0), openvdb::Vec3d(128, 128, depthDivs));
    auto xf = openvdb::math::Transform::createFrustumTransform(box, nearPlane / farPlane, farPlane - nearPlane, 1.0 / 128);
    openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
    grid->setName("density");
    grid->setTransform(xf);
    grid->setGridClass(openvdb::GRID_FOG_VOLUME);
    double k = (ballDepth - nearPlane) / (farPlane - nearPlane) * depthDivs;
    openvdb::Vec3d centre = xf->indexToWorld(openvdb::Vec3d(64, 64, k)), edge = xf->voxelSize(openvdb::Vec3d(64, 64, k));
    const double ballRadius = 12 * std::min({edge[0], edge[1], edge[2]});
    openvdb::CoordBBox range;
    for (int i = 0; i < 8; ++i)
    {
        openvdb::Vec3d corner = centre + openvdb::Vec3d(i & 1 ? 1 : -1, i & 2 ? 1 : -1, i & 4 ? 1 : -1) * ballRadius;
        range.expand(openvdb::Coord::round(xf->worldToIndex(corner)));
    }
    range.expand(1);
    auto acc = grid->getAccessor();
    for (auto ijk = range.begin(); ijk; ++ijk)
        if ((xf->indexToWorld(*ijk) - centre).length() < ballRadius) acc.setValue(*ijk, 1.0f);
    return grid;
}

void resample(benchmark::State &state, int depthDivs)
{
    openvdb::initialize();
    const double farPlane = double(state.range(0));
    openvdb::GridPtrVec grids{frustumBall(farPlane, depthDivs)};
    sopcook::ResampleOptions options;
    options.uniform = true;
    openvdb::GridPtrVec out;
    for (auto _ : state) out = sopcook::resampleUniform(grids, options);
    state.counters["active"] = double(grids[0]->activeVoxelCount());
    state.counters["out_active"] = double(out[0]->activeVoxelCount());
    state.counters["voxel_size"] = out[0]->voxelSize()[0];
}

void BM_resampleFrustum(benchmark::State &state)
{
    resample(state, int(64 * state.range(0) / 10)); // depth voxels of about 0.15 at any far
}
BENCHMARK(BM_resampleFrustum)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
} // namespace
