// SPDX-License-Identifier: Apache-2.0
#pragma once
// Voxel-for-voxel comparison of two .vdb files, for the slab and farm tests.
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>
#include <openvdb/io/Stream.h>
#include <openvdb/openvdb.h>

namespace vdbcompare
{
inline openvdb::GridPtrVecPtr readGrids(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return nullptr;
    openvdb::io::Stream stream(in);
    return stream.getGrids();
}

template <typename GridT>
std::string compareTyped(const openvdb::GridBase &x, const openvdb::GridBase &y)
{
    const auto &a = static_cast<const GridT &>(x);
    const auto &b = static_cast<const GridT &>(y);
    if (a.activeVoxelCount() != b.activeVoxelCount())
        return std::to_string(a.activeVoxelCount()) + " vs " + std::to_string(b.activeVoxelCount()) + " active voxels";
    auto acc = b.getConstAccessor();
    for (auto it = a.cbeginValueOn(); it; ++it)
    {
        typename GridT::ValueType v;
        if (!acc.probeValue(it.getCoord(), v) || std::memcmp(&v, &*it, sizeof v) != 0)
        {
            const openvdb::Coord c = it.getCoord();
            return "voxel " + std::to_string(c.x()) + "," + std::to_string(c.y()) + "," + std::to_string(c.z()) + " differs";
        }
    }
    return "";
}

inline std::string coordText(const openvdb::Coord &c)
{
    return std::to_string(c.x()) + "," + std::to_string(c.y()) + "," + std::to_string(c.z());
}

template <typename TreeT>
std::vector<std::pair<openvdb::Index, openvdb::Coord>> activeTiles(const TreeT &tree)
{
    std::vector<std::pair<openvdb::Index, openvdb::Coord>> tiles;
    auto it = tree.cbeginValueOn();
    it.setMaxDepth(it.getLeafDepth() - 1);
    for (; it; ++it) tiles.emplace_back(it.getLevel(), it.getCoord());
    return tiles;
}

// Empty when a and b hold the same tree: node counts, leaves bit for bit
// (inactive voxels too) and active tiles; otherwise the first difference.
template <typename GridT>
std::string treeDifference(const GridT &a, const GridT &b)
{
    const auto &x = a.tree(), &y = b.tree();
    if (x.leafCount() != y.leafCount()) return std::to_string(x.leafCount()) + " vs " + std::to_string(y.leafCount()) + " leaves";
    if (x.nonLeafCount() != y.nonLeafCount()) return "internal node counts differ";
    for (auto leaf = x.cbeginLeaf(); leaf; ++leaf)
    {
        const auto *other = y.probeConstLeaf(leaf->origin());
        if (!other) return "no leaf at " + coordText(leaf->origin());
        if (leaf->getValueMask() != other->getValueMask()) return "active voxels differ at " + coordText(leaf->origin());
        if (std::memcmp(leaf->buffer().data(), other->buffer().data(), leaf->SIZE * sizeof(*leaf->buffer().data())) != 0)
            return "values differ at " + coordText(leaf->origin());
    }
    if (activeTiles(x) != activeTiles(y)) return "active tiles differ";
    return "";
}

// Empty when both files hold the same grids, in the same order, with the same
// transforms and bit-identical active voxels; otherwise the first difference.
// onlyGrid: compare just the grid of that name.
// leafForLeaf: the same trees as well (treeDifference).
inline std::string compareFiles(const std::string &pa, const std::string &pb, const std::string &onlyGrid = "",
                                bool leafForLeaf = false)
{
    openvdb::GridPtrVecPtr a = readGrids(pa), b = readGrids(pb);
    if (!a || !b) return "cannot read " + (a ? pb : pa);
    if (a->size() != b->size()) return std::to_string(a->size()) + " vs " + std::to_string(b->size()) + " grids";
    for (size_t g = 0; g < a->size(); ++g)
    {
        const openvdb::GridBase &x = *(*a)[g], &y = *(*b)[g];
        if (x.getName() != y.getName() || x.type() != y.type()) return "grid " + x.getName() + " vs " + y.getName();
        if (!onlyGrid.empty() && x.getName() != onlyGrid) continue;
        if (x.transform() != y.transform()) return x.getName() + ": transforms differ";
        std::string d = x.isType<openvdb::FloatGrid>() ? compareTyped<openvdb::FloatGrid>(x, y)
                                                      : compareTyped<openvdb::Vec3SGrid>(x, y);
        if (d.empty() && leafForLeaf)
            d = x.isType<openvdb::FloatGrid>()
                    ? treeDifference(static_cast<const openvdb::FloatGrid &>(x), static_cast<const openvdb::FloatGrid &>(y))
                    : treeDifference(static_cast<const openvdb::Vec3SGrid &>(x), static_cast<const openvdb::Vec3SGrid &>(y));
        if (!d.empty()) return x.getName() + ": " + d;
    }
    return "";
}
} // namespace vdbcompare
