// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "UT_Visibility.h"

// A process-wide z-slab of the voxel arrays: slab `index` of `count` equal
// runs of 16-voxel tiles along z. Voxel arrays sized while a slab is set keep
// only writes with k inside its range, so tiles outside it are never
// allocated and a volume's memory follows the slab. Reads are unchanged.
struct UT_API UT_VoxelSlab
{
    int index = 0;
    int count = 1; // 1: the whole array

    // The slab new voxel arrays take (default: the whole array).
    static void setProcessSlab(const UT_VoxelSlab &slab);
    static UT_VoxelSlab processSlab();

    // The k range [kmin, kmax) of this slab in an array of zres voxels, in
    // whole tiles of tilesize voxels.
    void range(int zres, int tilesize, int &kmin, int &kmax) const
    {
        long long tiles = (zres + tilesize - 1) / tilesize;
        kmin = int(tiles * index / count) * tilesize;
        kmax = int(tiles * (index + 1) / count) * tilesize;
        if (kmin > zres) kmin = zres;
        if (kmax > zres) kmax = zres;
    }
};
