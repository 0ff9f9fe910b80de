// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "UT/UT_VoxelArray.h"

// Updates along one row (y, z) of a voxel array, for fills that walk x: the
// tile is looked up once per 16 voxels instead of once per voxel. Each call
// does what the same update through the array does voxel by voxel (writes
// outside the array or its slab are dropped; a background tile is allocated
// only for a value other than the background), so results are the same.
//
// A row belongs to one job. Jobs of a threaded run may each hold one for
// the same row: a tile found empty is looked up again once the array has
// allocated any tile since, so a tile another job allocated is found, as
// updateValue finds it; updates of one voxel by several jobs need the
// operator's lock, as they do through the array.
class VoxelRow
{
public:
    // A handle without an array gives a row that takes no writes.
    VoxelRow(UT_VoxelArrayWriteHandleF &handle, int y, int z)
        : myArray(handle.get()), myY(y), myZ(z),
          myXRes(myArray && myArray->isWritableRow(y, z) ? myArray->getXRes() : 0)
    {
    }

    // v = op(v) for voxel x of the row.
    template <typename OP>
    void update(int x, OP op)
    {
        if (unsigned(x) >= unsigned(myXRes)) return;
        const int tileX = x >> UT_VoxelArrayF::TILEBITS;
        // A tile found empty is looked up again once any tile has been
        // allocated since: another job may have allocated it and written
        // this voxel.
        if (tileX != myTileX || (!myValues && myArray->tilesMade() != myTilesMade))
        {
            myTileX = tileX;
            myTilesMade = myArray->tilesMade();
            myValues = myArray->tileRow(x, myY, myZ);
        }
        float *v = myValues;
        if (!v)
        {
            const float background = myArray->getBackground(), value = op(background);
            if (value == background) return;
            myValues = v = myArray->tileRowForWrite(x, myY, myZ);
            v[x & UT_VoxelArrayF::TILEMASK] = value;
            return;
        }
        float &voxel = v[x & UT_VoxelArrayF::TILEMASK];
        voxel = op(voxel);
    }
    // The sum formed in double and stored as float (accumulateVoxel).
    void accumulate(int x, double w)
    {
        update(x, [w](float v) { return float(double(v) + w); });
    }
    // The sum in single precision (accumulateVoxelSingle).
    void accumulateSingle(int x, float w)
    {
        update(x, [w](float v) { return v + w; });
    }

private:
    UT_VoxelArrayF *myArray;
    int myY, myZ;
    int myXRes; // 0 when the row takes no writes
    int myTileX = -1;
    unsigned myTilesMade = 0;  // the array's tilesMade() when myValues was looked up
    float *myValues = nullptr; // the row's values in tile myTileX, or null
};
