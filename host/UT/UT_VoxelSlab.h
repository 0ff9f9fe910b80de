// SPDX-License-Identifier: Apache-2.0
#pragma once

// A z-slab of a voxel array: slab `index` of `count` equal runs of 16-voxel
// tiles along z. An array sized with a slab keeps only writes with k inside
// its range, so tiles outside it are never allocated and a volume's memory
// follows the slab. Reads are unchanged. A host that cooks a frame in parts
// sets the slab on the detail the operator cooks into (GA_Detail::
// setVoxelSlab); the volumes built in that detail take it.
struct UT_VoxelSlab
{
    int index = 0;
    int count = 1; // 1: the whole array

    bool isWhole() const { return count <= 1; }
    // A slab with 0 <= index < count; anything else reads as the whole array.
    UT_VoxelSlab checked() const { return count >= 1 && index >= 0 && index < count ? *this : UT_VoxelSlab(); }
    // Part `part` of `parts` of this slab: the same tiles as part index *
    // parts + part of count * parts, so the parts of a slab join into it.
    UT_VoxelSlab part(int part, int parts) const { return {index * parts + part, count * parts}; }

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
