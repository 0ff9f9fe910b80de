// SPDX-License-Identifier: Apache-2.0
#pragma once
// Viewer-ready grids: every grid resampled onto one linear transform with
// cubic voxels, for viewers that cannot show frustum maps (Blender) or
// non-cubic voxels (vdb_render). Resampling is OpenVDB's own
// (tools::resampleToMatch, trilinear), so totals and world bounds are kept
// to within the interpolation.
#include <openvdb/openvdb.h>

namespace sopcook
{
// The smallest voxel edge among the grids, measured where they hold values
// (a frustum's voxels grow with depth); 0 when no grid holds any.
double smallestVoxelEdge(const openvdb::GridPtrVec &grids);

// Every grid of grids (float and vec3 grids) resampled onto a world-aligned
// linear transform with voxels of edge voxelSize (0: smallestVoxelEdge).
// Grids keep their names, classes and metadata, less "resolution". Throws
// Error when a grid would need more than a billion voxels at that size,
// naming a size that fits.
openvdb::GridPtrVec resampleUniform(const openvdb::GridPtrVec &grids, double voxelSize);
} // namespace sopcook
