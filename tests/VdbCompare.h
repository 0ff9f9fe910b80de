// SPDX-License-Identifier: Apache-2.0
#pragma once
// Voxel-for-voxel comparison of two .vdb files, for the slab and farm tests.
#include <cstring>
#include <fstream>
#include <string>
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

// Empty when both files hold the same grids, in the same order, with the same
// transforms and bit-identical active voxels; otherwise the first difference.
// onlyGrid: compare just the grid of that name.
inline std::string compareFiles(const std::string &pa, const std::string &pb, const std::string &onlyGrid = "")
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
        if (!d.empty()) return x.getName() + ": " + d;
    }
    return "";
}
} // namespace vdbcompare
