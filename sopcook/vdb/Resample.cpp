// SPDX-License-Identifier: Apache-2.0
#include "vdb/Resample.h"

#include <cmath>
#include <cstdio>

#include <openvdb/tools/GridTransformer.h>
#include <openvdb/tools/Prune.h>

#include "Messages.h"

namespace sopcook
{
namespace
{
const double maxVoxels = 1e9; // per grid: 4 GB of floats

// World bounds of the centres of grid's active voxels (corners of the
// active index box: a frustum cell is the hull of its corners).
openvdb::BBoxd activeWorldBounds(const openvdb::GridBase &grid)
{
    openvdb::CoordBBox box = grid.evalActiveVoxelBoundingBox();
    openvdb::BBoxd world;
    for (int i = 0; i < 8; ++i)
    {
        openvdb::Vec3d corner(i & 1 ? box.max().x() : box.min().x(), i & 2 ? box.max().y() : box.min().y(),
                              i & 4 ? box.max().z() : box.min().z());
        world.expand(grid.transform().indexToWorld(corner));
    }
    return world;
}

std::string number(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%.4g", v);
    return buf;
}

// Refuses a resampled grid too big to hold, naming a voxel size that fits.
void checkSize(const openvdb::GridBase &grid, double voxelSize)
{
    openvdb::Vec3d extent = activeWorldBounds(grid).extents();
    double count = 1;
    for (int a = 0; a < 3; ++a) count *= extent[a] / voxelSize + 3;
    if (count <= maxVoxels) return;
    double fits = voxelSize * std::cbrt(count / (maxVoxels / 10));
    throw Error("--resample uniform=" + number(voxelSize) + ": grid '" + grid.getName() + "' would need " +
                number(count) + " voxels; use a larger voxel size, such as --resample uniform=" + number(fits));
}

// The transform of a grid already of cubic voxels of edge voxelSize, axis
// aligned: its lattice becomes the target, so such grids are copied exactly
// instead of interpolated half a voxel off.
openvdb::math::Transform::Ptr alignedTarget(const openvdb::GridPtrVec &grids, double voxelSize)
{
    for (const openvdb::GridBase::Ptr &g : grids)
    {
        const openvdb::math::MapBase &map = *g->transform().baseMap();
        if (!map.isType<openvdb::math::UniformScaleTranslateMap>() && !map.isType<openvdb::math::UniformScaleMap>())
            continue;
        if (g->transform().voxelSize()[0] == voxelSize) return g->transform().copy();
    }
    return openvdb::math::Transform::createLinearTransform(voxelSize);
}

template <typename GridT>
openvdb::GridBase::Ptr resampled(const GridT &in, const openvdb::math::Transform::Ptr &target)
{
    if (in.transform() == *target) return in.deepCopyGrid();
    typename GridT::Ptr out = in.copyWithNewTree();
    out->setTransform(target->copy());
    out->removeMeta("resolution");
    if (in.activeVoxelCount() > 0)
    {
        openvdb::tools::resampleToMatch<openvdb::tools::BoxSampler>(in, *out);
        openvdb::tools::pruneInactive(out->tree());
    }
    return out;
}
} // namespace

double smallestVoxelEdge(const openvdb::GridPtrVec &grids)
{
    double smallest = 0;
    for (const openvdb::GridBase::Ptr &g : grids)
    {
        openvdb::CoordBBox box = g->evalActiveVoxelBoundingBox();
        if (g->activeVoxelCount() == 0) continue;
        for (int i = 0; i < 8; ++i)
        {
            openvdb::Vec3d corner(i & 1 ? box.max().x() : box.min().x(), i & 2 ? box.max().y() : box.min().y(),
                                  i & 4 ? box.max().z() : box.min().z());
            openvdb::Vec3d edge = g->transform().voxelSize(corner);
            for (int a = 0; a < 3; ++a)
                if (edge[a] > 0 && (smallest == 0 || edge[a] < smallest)) smallest = edge[a];
        }
    }
    return smallest;
}

openvdb::GridPtrVec resampleUniform(const openvdb::GridPtrVec &grids, double voxelSize)
{
    if (voxelSize <= 0) voxelSize = smallestVoxelEdge(grids);
    if (voxelSize <= 0) voxelSize = grids.empty() ? 1.0 : grids.front()->transform().voxelSize().length() / std::sqrt(3.0);
    for (const openvdb::GridBase::Ptr &g : grids)
        if (g->activeVoxelCount() > 0) checkSize(*g, voxelSize);
    // OpenVDB's linear maps refuse a voxel volume below 3e-15.
    if (voxelSize < 2e-5) throw Error("--resample uniform=" + number(voxelSize) + ": OpenVDB needs voxels of at least 2e-05");
    openvdb::math::Transform::Ptr target = alignedTarget(grids, voxelSize);
    openvdb::GridPtrVec out;
    for (const openvdb::GridBase::Ptr &g : grids)
    {
        if (auto f = openvdb::GridBase::grid<openvdb::FloatGrid>(g))
            out.push_back(resampled(*f, target));
        else if (auto v = openvdb::GridBase::grid<openvdb::Vec3SGrid>(g))
            out.push_back(resampled(*v, target));
        else
            throw Error("--resample: grid '" + g->getName() + "' is of type " + g->valueType() + ", which sopcook does not resample");
    }
    return out;
}
} // namespace sopcook
