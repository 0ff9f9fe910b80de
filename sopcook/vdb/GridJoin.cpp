// SPDX-License-Identifier: Apache-2.0
#include "vdb/GridJoin.h"

#include <atomic>
#include <cstring>
#include <tuple>
#include <vector>

#include <openvdb/tools/Composite.h>
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

namespace sopcook
{
namespace
{
template <typename T>
bool sameBits(const T &a, const T &b) { return std::memcmp(&a, &b, sizeof(T)) == 0; }

// Whether a holds a node of the given level (0: a leaf) at xyz.
template <typename AccessorT, typename TreeT>
bool holdsNode(AccessorT &a, const openvdb::Coord &xyz, openvdb::Index level)
{
    using Chain = typename TreeT::RootNodeType::NodeChainType;
    static_assert(TreeT::DEPTH == 4, "a tree of root, two internal levels and leaves");
    switch (level)
    {
    case 0: return a.template probeConstNode<typename Chain::template Get<0>>(xyz) != nullptr;
    case 1: return a.template probeConstNode<typename Chain::template Get<1>>(xyz) != nullptr;
    case 2: return a.template probeConstNode<typename Chain::template Get<2>>(xyz) != nullptr;
    }
    return true;
}

// Whether the place of a node of level at xyz is empty in the tree of a:
// no node there, and the tile above it inactive and the background.
template <typename TreeT, typename AccessorT>
bool emptyAt(AccessorT &a, const TreeT &tree, const openvdb::Coord &xyz, openvdb::Index level)
{
    return !holdsNode<AccessorT, TreeT>(a, xyz, level) && !a.isValueOn(xyz) && sameBits(a.getValue(xyz), tree.background());
}

// Whether every inactive voxel of leaf holds value (so moving the leaf keeps
// what compReplace would leave there).
template <typename LeafT>
bool inactiveAre(const LeafT &leaf, const typename LeafT::ValueType &value)
{
    for (auto it = leaf.cbeginValueOff(); it; ++it)
        if (!sameBits(*it, value)) return false;
    return true;
}

template <typename TreeT>
struct ActiveTile
{
    openvdb::Index level;
    openvdb::Coord origin;
    typename TreeT::ValueType value;
};

template <typename GridT>
JoinWay joinTyped(GridT &into, GridT &from)
{
    using TreeT = typename GridT::TreeType;
    using LeafT = typename TreeT::LeafNodeType;
    TreeT &a = into.tree(), &b = from.tree();

    std::vector<const LeafT *> leaves;
    static_cast<const TreeT &>(b).getNodes(leaves);
    std::atomic<bool> shared(false);
    tbb::parallel_for(tbb::blocked_range<size_t>(0, leaves.size(), 256), [&](const tbb::blocked_range<size_t> &r) {
        openvdb::tree::ValueAccessor<const TreeT> acc(a);
        for (size_t i = r.begin(); i != r.end() && !shared; ++i)
            if (!emptyAt(acc, a, leaves[i]->origin(), 0) || !inactiveAre(*leaves[i], a.background())) shared = true;
    });
    // Active tiles above the leaves; a tile of level L covers a node of
    // level L - 1.
    std::vector<ActiveTile<TreeT>> tiles;
    if (!shared)
    {
        openvdb::tree::ValueAccessor<const TreeT> acc(a);
        auto it = static_cast<const TreeT &>(b).cbeginValueOn();
        it.setMaxDepth(it.getLeafDepth() - 1);
        for (; it && !shared; ++it)
        {
            tiles.push_back({it.getLevel(), it.getCoord(), *it});
            if (!emptyAt(acc, a, it.getCoord(), it.getLevel() - 1)) shared = true;
        }
    }
    if (shared)
    {
        openvdb::tools::compReplace(into, static_cast<const GridT &>(from));
        return JoinWay::Combined;
    }
    std::vector<LeafT *> moved;
    b.stealNodes(moved);
    for (LeafT *leaf : moved) a.addLeaf(leaf);
    for (const ActiveTile<TreeT> &t : tiles) a.addTile(t.level, t.origin, t.value, true);
    b.clear();
    return JoinWay::Moved;
}

template <typename GridT>
bool joinAs(openvdb::GridBase &into, openvdb::GridBase &from, JoinWay &way)
{
    auto *a = dynamic_cast<GridT *>(&into);
    auto *b = dynamic_cast<GridT *>(&from);
    if (!a || !b) return false;
    way = joinTyped(*a, *b);
    return true;
}
} // namespace

JoinWay joinGrid(openvdb::GridBase &into, openvdb::GridBase &from)
{
    JoinWay way = JoinWay::Unsupported;
    if (!joinAs<openvdb::FloatGrid>(into, from, way)) joinAs<openvdb::Vec3SGrid>(into, from, way);
    return way;
}
} // namespace sopcook
