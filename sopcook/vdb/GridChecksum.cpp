// SPDX-License-Identifier: Apache-2.0
#include "vdb/GridChecksum.h"

#include <cstdio>
#include <vector>

#include <openvdb/tree/LeafManager.h>
#include <tbb/parallel_for.h>
#include <zlib.h>

namespace sopcook
{
namespace
{
template <typename T>
uLong crcOf(uLong crc, const T &value)
{
    return crc32_z(crc, reinterpret_cast<const Bytef *>(&value), sizeof(T));
}

// One leaf: its origin, its active mask and all its values, which read back
// exactly as written (inactive ones are the background).
template <typename LeafT>
uint32_t leafChecksum(const LeafT &leaf)
{
    uLong crc = crc32_z(0L, Z_NULL, 0);
    crc = crcOf(crc, leaf.origin());
    // A node mask is its words and nothing else.
    crc = crc32_z(crc, reinterpret_cast<const Bytef *>(&leaf.getValueMask()), LeafT::NodeMaskType::memUsage());
    crc = crc32_z(crc, reinterpret_cast<const Bytef *>(leaf.buffer().data()), sizeof(typename LeafT::ValueType) * LeafT::SIZE);
    return uint32_t(crc);
}

template <typename GridT>
std::string checksumOf(const GridT &grid)
{
    using TreeT = typename GridT::TreeType;
    const TreeT &tree = grid.tree();
    openvdb::tree::LeafManager<const TreeT> leaves(tree);
    std::vector<uint32_t> sums(leaves.leafCount());
    tbb::parallel_for(tbb::blocked_range<size_t>(0, sums.size(), 64), [&](const tbb::blocked_range<size_t> &r) {
        for (size_t i = r.begin(); i != r.end(); ++i) sums[i] = leafChecksum(leaves.leaf(i));
    });
    // Leaf sums in tree order, then the tiles above the leaves and the background.
    uLong crc = crc32_z(crc32_z(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(sums.data()), sums.size() * sizeof(uint32_t));
    typename TreeT::ValueOnCIter tile = tree.cbeginValueOn();
    tile.setMaxDepth(TreeT::ValueOnCIter::LEAF_DEPTH - 1);
    for (; tile; ++tile)
    {
        crc = crcOf(crc, tile.getCoord());
        crc = crcOf(crc, tile.getLevel());
        crc = crcOf(crc, *tile);
    }
    crc = crcOf(crc, tree.background());
    char text[48];
    std::snprintf(text, sizeof text, "crc32:%08x/%zu", unsigned(crc), sums.size());
    return text;
}
} // namespace

std::string gridValueChecksum(const openvdb::GridBase &grid)
{
    if (auto *g = dynamic_cast<const openvdb::FloatGrid *>(&grid)) return checksumOf(*g);
    if (auto *g = dynamic_cast<const openvdb::Vec3SGrid *>(&grid)) return checksumOf(*g);
    return "";
}
} // namespace sopcook
