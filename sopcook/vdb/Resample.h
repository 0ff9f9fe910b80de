// SPDX-License-Identifier: Apache-2.0
#pragma once
// Viewer-ready grids: every grid resampled onto one linear transform with
// cubic voxels, for viewers that cannot show frustum maps (Blender) or
// non-cubic voxels (vdb_render). Resampling is OpenVDB's own
// (tools::resampleToMatch, trilinear), so totals and world bounds are kept
// to within the interpolation.
//
// OpenVDB back-projects, for every leaf (and value tile) of the input, each
// output voxel of the leaf's world box: the work and the memory go with the
// active region measured in output voxels, so the default voxel edge is
// taken from the voxels that hold values, not from the smallest voxel of a
// frustum (its near plane), which would fill a far plane's deep leaves with
// billions of tiny voxels.
#include <openvdb/openvdb.h>

#include "vdb/ResampleOptions.h"

namespace sopcook
{
// The typical voxel edge where the grids hold values: the edge of the cube
// whose volume is the geometric mean of their active voxels' volumes (each
// leaf and tile weighted by its active voxels). A frustum's voxels grow with
// depth, so the edge follows the depth of the active voxels, and resampling
// at it makes about as many voxels as the grids hold. Grids that are all of
// one cubic voxel size give that size exactly; 0 when no grid holds values.
double typicalVoxelEdge(const openvdb::GridPtrVec &grids);

// What resampling grids at voxelSize costs, counted the way OpenVDB visits
// output voxels (each input leaf's world box, widened by the sampler).
struct ResampleCost
{
    double voxels = 0;        // output voxels the grids may hold, all grids
    double largestGrid = 0;   // of them in the largest grid
    double bytes = 0;         // memory those voxels take
    double polls = 0;         // interrupt polls of the whole resample
};
ResampleCost resampleCost(const openvdb::GridPtrVec &grids, double voxelSize);

// Every grid of grids (float and vec3 grids) resampled onto a world-aligned
// linear transform with voxels of edge options.voxelSize (0:
// typicalVoxelEdge). Grids keep their names, classes and metadata, less
// "resolution". Throws Error when the output would not fit (more than
// options.memoryBytes, or a billion voxels in one grid), naming the estimate
// and a size that fits; throws ResampleInterrupted when the monitor asks to
// stop.
openvdb::GridPtrVec resampleUniform(const openvdb::GridPtrVec &grids, const ResampleOptions &options);
} // namespace sopcook
