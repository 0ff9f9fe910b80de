// SPDX-License-Identifier: Apache-2.0
// Joining a slab's grid into another's: moved leaves and tiles where the two
// share no place, voxel-by-voxel replacement where they do, and in both cases
// the very tree that openvdb::tools::compReplace makes.
#include <gtest/gtest.h>

#include <openvdb/openvdb.h>
#include <openvdb/tools/Composite.h>

#include "VdbCompare.h"
#include "vdb/GridJoin.h"

namespace
{
using openvdb::Coord;
using openvdb::FloatGrid;

// Voxels set in z [z0, z1) on a sparse lattice, as a slab cook leaves them.
FloatGrid::Ptr slabGrid(int z0, int z1, float scale)
{
    FloatGrid::Ptr g = FloatGrid::create(0.0f);
    auto acc = g->getAccessor();
    for (int z = z0; z < z1; ++z)
        for (int y = 0; y < 40; y += 3)
            for (int x = 0; x < 40; x += 5) acc.setValue(Coord(x, y, z), scale * float(x + 40 * y + 1600 * z + 1));
    return g;
}

// into joined with from, and the same by compReplace: how it was joined.
template <typename GridT>
sopcook::JoinWay joinLikeCompReplace(const typename GridT::Ptr &into, const typename GridT::Ptr &from)
{
    typename GridT::Ptr expected = into->deepCopy();
    openvdb::tools::compReplace(*expected, *from);
    const sopcook::JoinWay way = sopcook::joinGrid(*into, *from);
    EXPECT_EQ(vdbcompare::treeDifference(*into, *expected), "");
    return way;
}

TEST(GridJoin, SlabsOfWholeTilesMoveLeavesAndTiles)
{
    // Slabs of 16-voxel tile runs, as thin as a tile and past 128 voxels (a
    // new internal node), in either order.
    FloatGrid::Ptr a = slabGrid(0, 16, 1), b = slabGrid(16, 48, 2), c = slabGrid(128, 144, 3);
    const openvdb::Index64 leavesOfB = b->tree().leafCount();
    EXPECT_EQ(joinLikeCompReplace<FloatGrid>(c, b), sopcook::JoinWay::Moved);
    EXPECT_EQ(b->tree().leafCount(), 0u) << "moved leaves leave the slab";
    EXPECT_EQ(c->tree().leafCount(), leavesOfB + slabGrid(128, 144, 3)->tree().leafCount());
    EXPECT_EQ(joinLikeCompReplace<FloatGrid>(c, a), sopcook::JoinWay::Moved);

    // An active tile of 8^3 voxels and one of 128^3 in free places move too.
    FloatGrid::Ptr tiles = FloatGrid::create(0.0f);
    tiles->tree().addTile(1, Coord(0, 0, 64), 0.5f, true);
    tiles->tree().addTile(2, Coord(0, 0, 256), 0.25f, true);
    EXPECT_EQ(joinLikeCompReplace<FloatGrid>(c, tiles), sopcook::JoinWay::Moved);
    EXPECT_EQ(c->tree().activeTileCount(), 2u);

    // An empty slab (more slabs than tiles) changes nothing.
    EXPECT_EQ(joinLikeCompReplace<FloatGrid>(c, FloatGrid::create(0.0f)), sopcook::JoinWay::Moved);
}

TEST(GridJoin, SharedPlacesAreCombinedVoxelByVoxel)
{
    // Slabs not on leaf boundaries: both hold a leaf at z 8-15.
    EXPECT_EQ(joinLikeCompReplace<FloatGrid>(slabGrid(0, 12, 1), slabGrid(12, 30, 2)), sopcook::JoinWay::Combined);
    // The other's tile over this one's leaf, and this one's tile over the
    // other's leaf.
    FloatGrid::Ptr tile = FloatGrid::create(0.0f);
    tile->tree().addTile(1, Coord(0, 0, 0), 0.5f, true);
    EXPECT_EQ(joinLikeCompReplace<FloatGrid>(slabGrid(0, 16, 1), tile), sopcook::JoinWay::Combined);
    FloatGrid::Ptr big = FloatGrid::create(0.0f);
    big->tree().addTile(2, Coord(0, 0, 0), 0.5f, true);
    EXPECT_EQ(joinLikeCompReplace<FloatGrid>(big, slabGrid(16, 32, 1)), sopcook::JoinWay::Combined);
    // A leaf whose inactive voxels hold other than the background: moving it
    // would keep values compReplace does not copy.
    FloatGrid::Ptr odd = slabGrid(16, 32, 1);
    odd->tree().probeLeaf(Coord(0, 0, 16))->setValueOff(Coord(1, 1, 16), 7.0f);
    EXPECT_EQ(joinLikeCompReplace<FloatGrid>(slabGrid(0, 16, 1), odd), sopcook::JoinWay::Combined);
    // -0 is not the background 0 bit for bit.
    FloatGrid::Ptr negativeZero = slabGrid(16, 32, 1);
    negativeZero->tree().probeLeaf(Coord(0, 0, 16))->setValueOff(Coord(1, 1, 16), -0.0f);
    EXPECT_EQ(joinLikeCompReplace<FloatGrid>(slabGrid(0, 16, 1), negativeZero), sopcook::JoinWay::Combined);
}

TEST(GridJoin, VectorGridsJoinAndOtherTypesAreRefused)
{
    openvdb::initialize();
    openvdb::Vec3SGrid::Ptr a = openvdb::Vec3SGrid::create(), b = openvdb::Vec3SGrid::create();
    a->tree().setValue(Coord(1, 2, 3), openvdb::Vec3s(1, 2, 3));
    b->tree().setValue(Coord(1, 2, 19), openvdb::Vec3s(4, 5, 6));
    EXPECT_EQ(joinLikeCompReplace<openvdb::Vec3SGrid>(a, b), sopcook::JoinWay::Moved);
    EXPECT_EQ(a->activeVoxelCount(), 2u);

    openvdb::Int32Grid ints, moreInts;
    moreInts.tree().setValue(Coord(0, 0, 20), 5);
    EXPECT_EQ(sopcook::joinGrid(ints, moreInts), sopcook::JoinWay::Unsupported);
    EXPECT_EQ(ints.activeVoxelCount(), 0u);
    FloatGrid floats;
    EXPECT_EQ(sopcook::joinGrid(floats, moreInts), sopcook::JoinWay::Unsupported);
}
} // namespace
