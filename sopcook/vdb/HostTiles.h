// SPDX-License-Identifier: Apache-2.0
#pragma once
// A host voxel array read tile by tile, the way the grid builders need it:
// how many tiles there are, which voxels a tile covers, and its values row
// by row along x (or the one value of a tile that holds nothing else). The
// array's tile layout is known here only.
#include <algorithm>
#include "UT/UT_VoxelArray.h"

namespace sopcook
{
struct TileIndex
{
    int x, y, z;
};

// The voxels [lo, hi) of one tile, clipped to the array.
struct TileBounds
{
    int lo[3], hi[3];
};

class HostTiles
{
public:
    explicit HostTiles(const UT_VoxelArrayF &voxels) : myVoxels(voxels) {}

    int count(int axis) const { return myVoxels.getTileRes(axis); }

    TileBounds bounds(const TileIndex &t) const
    {
        const int size = UT_VoxelArrayF::TILESIZE;
        const int idx[3] = {t.x, t.y, t.z};
        TileBounds b;
        for (int a = 0; a < 3; ++a)
        {
            b.lo[a] = idx[a] * size;
            b.hi[a] = std::min(b.lo[a] + size, myVoxels.getRes(a));
        }
        return b;
    }

    // The tile's values, or null when every voxel of it holds constant.
    const float *values(const TileIndex &t, float &constant) const
    {
        constant = myVoxels.getBackground();
        return myVoxels.tileData(t.x, t.y, t.z);
    }

    // Where voxel (x, y, z) of tile t lies in its values; the voxels that
    // follow it along x (inside the tile) follow it in memory.
    int offset(const TileIndex &, int x, int y, int z) const { return myVoxels.voxelOffset(x, y, z); }

private:
    const UT_VoxelArrayF &myVoxels;
};
} // namespace sopcook
