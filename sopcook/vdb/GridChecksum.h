// SPDX-License-Identifier: Apache-2.0
#pragma once
// A checksum of what a grid holds: every leaf's origin, active mask and
// values, every active tile above the leaves and the background. Written with
// slab parts and verified by `sopcook merge`, so a part damaged on its way
// (a flipped bit in a value the file format cannot notice) is refused rather
// than merged. Leaves are summed in parallel and combined in tree order; the
// same tree gives the same text whatever the thread count.
#include <string>
#include <openvdb/openvdb.h>

namespace sopcook
{
// "crc32:XXXXXXXX/LEAVES" for float and vec3 grids; empty for other types.
std::string gridValueChecksum(const openvdb::GridBase &grid);
} // namespace sopcook
