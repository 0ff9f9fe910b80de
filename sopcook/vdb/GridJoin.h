// SPDX-License-Identifier: Apache-2.0
#pragma once
// Joining the grid of one slab into the grid of another. Slabs are whole
// 16-voxel tile runs of z, so their leaves and tiles never share a place:
// they move from one tree to the other and no value is copied. Where the two
// do share a place, or a leaf's inactive voxels hold other than the
// background, the other grid's active values replace this one's voxel by
// voxel (openvdb::tools::compReplace), with the same result.
#include <openvdb/openvdb.h>

namespace sopcook
{
enum class JoinWay
{
    Moved,      // leaves and tiles moved; from is left without them
    Combined,   // from's active values written into into
    Unsupported // a value type other than float or vec3s: nothing done
};

// Joins from into into (grids of one value type and transform).
JoinWay joinGrid(openvdb::GridBase &into, openvdb::GridBase &from);
} // namespace sopcook
