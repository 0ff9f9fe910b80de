// SPDX-License-Identifier: Apache-2.0
#include "vdb/TileLeaves.h"

#include <algorithm>
#include <bitset>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include "vdb/HostTiles.h"
#include "vdb/LeakForExit.h"

namespace sopcook
{
namespace
{
// One float per voxel: a tile's values or its constant.
class FloatSource
{
public:
    using Value = float;
    explicit FloatSource(const UT_VoxelArrayF &voxels) : myTiles(voxels) {}
    const HostTiles &tiles() const { return myTiles; }

    struct Tile
    {
        const float *values;
        float constant;
        bool blank() const { return !values && !(constant != 0.0f); }
        float at(int offset) const { return values ? values[offset] : constant; }
    };
    Tile tile(const TileIndex &t) const
    {
        Tile tile;
        tile.values = myTiles.values(t, tile.constant);
        return tile;
    }
    // -0 counts as zero, NaN as non-zero.
    static bool active(float v) { return v != 0.0f; }

private:
    HostTiles myTiles;
};

// One vector per voxel from three arrays laid out alike.
class VectorSource
{
public:
    using Value = openvdb::Vec3s;
    VectorSource(const UT_VoxelArrayF &x, const UT_VoxelArrayF &y, const UT_VoxelArrayF &z) : myAxes{FloatSource(x), FloatSource(y), FloatSource(z)} {}
    const HostTiles &tiles() const { return myAxes[0].tiles(); }

    struct Tile
    {
        FloatSource::Tile axis[3];
        bool blank() const { return axis[0].blank() && axis[1].blank() && axis[2].blank(); }
        Value at(int offset) const { return Value(axis[0].at(offset), axis[1].at(offset), axis[2].at(offset)); }
    };
    Tile tile(const TileIndex &t) const { return {{myAxes[0].tile(t), myAxes[1].tile(t), myAxes[2].tile(t)}}; }
    static bool active(const Value &v) { return v[0] != 0.0f || v[1] != 0.0f || v[2] != 0.0f; }

private:
    FloatSource myAxes[3];
};

// Appends the leaves of tile t that hold an active voxel to out. VDB leaves
// are 8^3 and host tiles start at multiples of 16, so each leaf lies inside
// one tile.
template <typename Source, typename LeafT>
void tileLeaves(const Source &source, const TileIndex &t, std::vector<std::unique_ptr<LeafT>> &out)
{
    const typename Source::Tile tile = source.tile(t);
    if (tile.blank()) return;
    const TileBounds b = source.tiles().bounds(t);
    const int D = int(LeafT::DIM);
    for (int lz = b.lo[2]; lz < b.hi[2]; lz += D)
        for (int ly = b.lo[1]; ly < b.hi[1]; ly += D)
            for (int lx = b.lo[0]; lx < b.hi[0]; lx += D)
            {
                std::unique_ptr<LeafT> leaf;
                typename Source::Value *dst = nullptr;
                for (int z = lz; z < std::min(lz + D, b.hi[2]); ++z)
                    for (int y = ly; y < std::min(ly + D, b.hi[1]); ++y)
                    {
                        const int row = source.tiles().offset(t, lx, y, z);
                        for (int x = lx; x < std::min(lx + D, b.hi[0]); ++x)
                        {
                            const typename Source::Value v = tile.at(row + (x - lx));
                            if (!Source::active(v)) continue;
                            if (!leaf)
                            {
                                leaf.reset(new LeafT(openvdb::Coord(lx, ly, lz), openvdb::zeroVal<typename Source::Value>(), false));
                                dst = leaf->buffer().data();
                            }
                            const openvdb::Index n = LeafT::coordToOffset(openvdb::Coord(x, y, z));
                            dst[n] = v;
                            leaf->getValueMask().setOn(n);
                        }
                    }
                if (leaf) out.push_back(std::move(leaf));
            }
}

// What the leaves of one row of tiles hold: non-zero voxels, and those not
// finite.
struct RowCount
{
    uint64_t active = 0;
    NonFinite nonFinite;
};

// The first voxel of tile t not finite, in (z, y, x) order, and how many.
void countNonFiniteInTile(const FloatSource &source, const TileIndex &t, RowCount &row)
{
    const FloatSource::Tile tile = source.tile(t);
    const TileBounds b = source.tiles().bounds(t);
    for (int z = b.lo[2]; z < b.hi[2]; ++z)
        for (int y = b.lo[1]; y < b.hi[1]; ++y)
        {
            const int first = source.tiles().offset(t, b.lo[0], y, z);
            for (int x = b.lo[0]; x < b.hi[0]; ++x)
                if (!std::isfinite(tile.at(first + (x - b.lo[0])))) row.nonFinite.add(x, y, z);
        }
}

// Bit x set for each active voxel of the n values at src (-0 counts as
// zero, NaN as non-zero); adds those not finite to nonFinite. N is n when
// known at compile time (a whole row of a leaf, unrolled), else 0.
template <int N>
inline unsigned activeBits(const float *src, int n, uint64_t &nonFinite)
{
    unsigned m = 0;
    for (int x = 0; x < (N ? N : n); ++x)
    {
        uint32_t bits;
        std::memcpy(&bits, src + x, sizeof bits);
        m |= unsigned((bits & 0x7fffffffu) != 0) << x;
        nonFinite += (bits & 0x7f800000u) == 0x7f800000u;
    }
    return m;
}

// The float leaves of tile t, a leaf at a time: a first pass finds the
// active voxels of each row of 8 from the value bits (-0 counts as zero, NaN
// as non-zero) and counts those not finite; a leaf is allocated only when
// some voxel is active, and only active voxels are moved into it (a VDB leaf
// runs z fastest, a host tile x). Counts into row.
template <typename LeafT>
void floatTileLeaves(const FloatSource &source, const TileIndex &t, std::vector<std::unique_ptr<LeafT>> &out,
                     RowCount &row)
{
    const FloatSource::Tile tile = source.tile(t);
    if (tile.blank()) return;
    if (!tile.values) // a constant tile: rare enough for the voxel-by-voxel way
    {
        const size_t first = out.size();
        tileLeaves(source, t, out);
        for (size_t i = first; i < out.size(); ++i) row.active += out[i]->onVoxelCount();
        if (!std::isfinite(tile.constant)) countNonFiniteInTile(source, t, row);
        return;
    }
    static_assert(LeafT::LOG2DIM == 3, "8^3 leaves");
    const TileBounds b = source.tiles().bounds(t);
    uint64_t nonFinite = 0;
    for (int lz = b.lo[2]; lz < b.hi[2]; lz += 8)
        for (int ly = b.lo[1]; ly < b.hi[1]; ly += 8)
            for (int lx = b.lo[0]; lx < b.hi[0]; lx += 8)
            {
                const int nx = std::min(8, b.hi[0] - lx), ny = std::min(8, b.hi[1] - ly), nz = std::min(8, b.hi[2] - lz);
                const float *rows[64];
                uint8_t masks[64] = {};
                unsigned any = 0;
                for (int z = 0; z < nz; ++z)
                    for (int y = 0; y < ny; ++y)
                    {
                        const float *src = tile.values + source.tiles().offset(t, lx, ly + y, lz + z);
                        const unsigned m = nx == 8 ? activeBits<8>(src, 8, nonFinite) : activeBits<0>(src, nx, nonFinite);
                        rows[(y << 3) | z] = src;
                        masks[(y << 3) | z] = uint8_t(m);
                        any |= m;
                    }
                if (!any) continue;
                std::unique_ptr<LeafT> leaf(new LeafT(openvdb::Coord(lx, ly, lz), 0.0f, false));
                float *dst = leaf->buffer().data();
                uint64_t words[8] = {0, 0, 0, 0, 0, 0, 0, 0};
                for (int bit = 0; bit < 64; ++bit)
                    for (unsigned m = masks[bit]; m; m &= m - 1)
                    {
                        const int x = __builtin_ctz(m);
                        dst[(x << 6) | bit] = rows[bit][x];
                        words[x] |= uint64_t(1) << bit;
                    }
                for (int i = 0; i < 8; ++i)
                {
                    leaf->getValueMask().template getWord<uint64_t>(openvdb::Index(i)) = words[i];
                    row.active += uint64_t(std::bitset<64>(words[i]).count());
                }
                out.push_back(std::move(leaf));
            }
    if (nonFinite) countNonFiniteInTile(source, t, row);
}

// The tree holding the leaves of every row, added in order (the tree's
// layout does not depend on the order).
template <typename TreeT>
typename TreeT::Ptr treeOfLeaves(std::vector<std::vector<std::unique_ptr<typename TreeT::LeafNodeType>>> &rows)
{
    auto tree = std::make_shared<TreeT>(openvdb::zeroVal<typename TreeT::ValueType>());
    try
    {
        for (auto &row : rows)
            for (auto &leaf : row) tree->addLeaf(leaf.release());
    }
    catch (const std::bad_alloc &)
    {
        leakForExit(tree);
        throw;
    }
    return tree;
}

// Leaves are made row of tiles by row of tiles in parallel, then added to
// the tree in that order (the tree's layout does not depend on the order).
template <typename TreeT, typename Source>
typename TreeT::Ptr treeFromTiles(const Source &source)
{
    using LeafT = typename TreeT::LeafNodeType;
    const HostTiles &tiles = source.tiles();
    const int nx = tiles.count(0), ny = tiles.count(1), nz = tiles.count(2);
    std::vector<std::vector<std::unique_ptr<LeafT>>> rows(size_t(ny) * size_t(nz));
    tbb::parallel_for(tbb::blocked_range<size_t>(0, rows.size()), [&](const tbb::blocked_range<size_t> &r) {
        for (size_t i = r.begin(); i != r.end(); ++i)
            for (int tx = 0; tx < nx; ++tx) tileLeaves(source, TileIndex{tx, int(i % ny), int(i / ny)}, rows[i]);
    });
    return treeOfLeaves<TreeT>(rows);
}
} // namespace

openvdb::FloatTree::Ptr floatTreeFromTiles(const UT_VoxelArrayF &voxels, uint64_t *active, NonFinite *nonFinite)
{
    using LeafT = openvdb::FloatTree::LeafNodeType;
    const FloatSource source(voxels);
    const HostTiles &tiles = source.tiles();
    const int nx = tiles.count(0), ny = tiles.count(1), nz = tiles.count(2);
    std::vector<std::vector<std::unique_ptr<LeafT>>> rows(size_t(ny) * size_t(nz));
    std::vector<RowCount> counts(rows.size());
    tbb::parallel_for(tbb::blocked_range<size_t>(0, rows.size()), [&](const tbb::blocked_range<size_t> &r) {
        for (size_t i = r.begin(); i != r.end(); ++i)
            for (int tx = 0; tx < nx; ++tx)
                floatTileLeaves(source, TileIndex{tx, int(i % ny), int(i / ny)}, rows[i], counts[i]);
    });
    // Rows in order, so the first voxel not finite is the first in tile order.
    for (const RowCount &row : counts)
    {
        if (active) *active += row.active;
        if (nonFinite && row.nonFinite.count > 0)
            nonFinite->add(row.nonFinite.first[0], row.nonFinite.first[1], row.nonFinite.first[2], row.nonFinite.count);
    }
    return treeOfLeaves<openvdb::FloatTree>(rows);
}

openvdb::Vec3STree::Ptr vectorTreeFromTiles(const UT_VoxelArrayF &x, const UT_VoxelArrayF &y, const UT_VoxelArrayF &z)
{
    return treeFromTiles<openvdb::Vec3STree>(VectorSource(x, y, z));
}

namespace
{
// Counts tile t into row, its voxels in (z, y, x) order.
void countTile(const FloatSource &source, const TileIndex &t, RowCount &row)
{
    const FloatSource::Tile tile = source.tile(t);
    if (tile.blank()) return;
    const TileBounds b = source.tiles().bounds(t);
    for (int z = b.lo[2]; z < b.hi[2]; ++z)
        for (int y = b.lo[1]; y < b.hi[1]; ++y)
        {
            const int first = source.tiles().offset(t, b.lo[0], y, z);
            for (int x = b.lo[0]; x < b.hi[0]; ++x)
            {
                const float v = tile.at(first + (x - b.lo[0]));
                row.active += FloatSource::active(v);
                if (!std::isfinite(v)) row.nonFinite.add(x, y, z);
            }
        }
}
} // namespace

uint64_t countNonZero(const UT_VoxelArrayF &voxels, NonFinite &nonFinite)
{
    const FloatSource source(voxels);
    const HostTiles &tiles = source.tiles();
    const int nx = tiles.count(0), ny = tiles.count(1), nz = tiles.count(2);
    std::vector<RowCount> rows(size_t(ny) * size_t(nz));
    tbb::parallel_for(tbb::blocked_range<size_t>(0, rows.size()), [&](const tbb::blocked_range<size_t> &r) {
        for (size_t i = r.begin(); i != r.end(); ++i)
            for (int tx = 0; tx < nx; ++tx) countTile(source, TileIndex{tx, int(i % ny), int(i / ny)}, rows[i]);
    });
    // Rows in order, so the first voxel not finite is the first in tile order.
    uint64_t active = 0;
    for (const RowCount &row : rows)
    {
        active += row.active;
        if (row.nonFinite.count > 0)
            nonFinite.add(row.nonFinite.first[0], row.nonFinite.first[1], row.nonFinite.first[2], row.nonFinite.count);
    }
    return active;
}
} // namespace sopcook
