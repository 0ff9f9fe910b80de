// SPDX-License-Identifier: Apache-2.0
#pragma once
// OpenVDB trees built straight from host voxel arrays, tile by tile and in
// parallel: every non-zero voxel becomes an active voxel with its value,
// every other voxel an inactive one holding the background 0, and leaf nodes
// exist only where some voxel is active. Voxel (i, j, k) is VDB index
// (i, j, k).
#include <openvdb/openvdb.h>
#include "UT/UT_VoxelArray.h"
#include "vdb/VdbWriter.h"

namespace sopcook
{
// Counts the tree's active voxels into active and the voxels holding NaN or
// an infinity into nonFinite, where given.
openvdb::FloatTree::Ptr floatTreeFromTiles(const UT_VoxelArrayF &voxels, uint64_t *active = nullptr,
                                           NonFinite *nonFinite = nullptr);

// One vector per voxel from three arrays of the same resolution; a voxel is
// active when any component is non-zero.
openvdb::Vec3STree::Ptr vectorTreeFromTiles(const UT_VoxelArrayF &x, const UT_VoxelArrayF &y, const UT_VoxelArrayF &z);

// The voxels a float tree of voxels would hold as active; those holding NaN
// or an infinity are counted in nonFinite.
uint64_t countNonZero(const UT_VoxelArrayF &voxels, NonFinite &nonFinite);
} // namespace sopcook
