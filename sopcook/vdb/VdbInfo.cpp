// SPDX-License-Identifier: Apache-2.0
#include "vdb/VdbInfo.h"

#include <algorithm>
#include <cmath>
#include <iomanip>

#include "Messages.h"
#include "NumberText.h"

#include "vdb/VdbCheck.h"
#include "vdb/VdbComplete.h"
#include "vdb/VdbRead.h"
#include "vdb/VolumeGrids.h"

namespace sopcook
{
namespace
{
struct Row
{
    std::string name, type, cls, res, active, range, nonfinite, xform, dop;
};

// The range of the finite active values; values holding NaN or an infinity
// are counted into nonFinite instead.
template <typename GridT, typename Mag>
std::string valueRange(const GridT &grid, Mag magnitude, uint64_t &nonFinite)
{
    bool any = false;
    double lo = 0, hi = 0;
    for (auto it = grid.cbeginValueOn(); it; ++it)
    {
        double v = magnitude(*it);
        if (!std::isfinite(v))
        {
            nonFinite += it.isVoxelValue() ? 1 : it.getVoxelCount();
            continue;
        }
        if (!any || v < lo) lo = v;
        if (!any || v > hi) hi = v;
        any = true;
    }
    return any ? numberText(lo) + " .. " + numberText(hi) : "-";
}
// ", partial (REASON)" when the file's grids carry the mark of an
// interrupted cook.
std::string partialNote(const openvdb::GridPtrVec &grids)
{
    for (const openvdb::GridBase::Ptr &g : grids)
        if (auto mark = g->getMetadata<openvdb::StringMetadata>(partialKey)) return ", partial (" + printableText(mark->value(), 60) + ")";
    return "";
}

std::string resolutionText(const openvdb::GridBase &g)
{
    if (auto res = g.getMetadata<openvdb::Vec3IMetadata>("resolution"))
        return std::to_string(res->value()[0]) + "x" + std::to_string(res->value()[1]) + "x" + std::to_string(res->value()[2]);
    openvdb::CoordBBox box = g.evalActiveVoxelBoundingBox();
    openvdb::Coord d = box.empty() ? openvdb::Coord(0) : box.dim();
    return std::to_string(d[0]) + "x" + std::to_string(d[1]) + "x" + std::to_string(d[2]) + " (active)";
}

// The range of the finite values and the count of the others.
void valueColumns(const openvdb::GridBase::Ptr &g, Row &r)
{
    uint64_t nonFinite = 0;
    r.range = "-";
    if (auto f = openvdb::GridBase::grid<openvdb::FloatGrid>(g))
        r.range = valueRange(*f, [](float v) { return double(v); }, nonFinite);
    else if (auto v = openvdb::GridBase::grid<openvdb::Vec3SGrid>(g))
    {
        // A component's NaN or infinity makes the length non-finite.
        auto length = [](const openvdb::Vec3s &x) {
            double s = double(x[0]) + double(x[1]) + double(x[2]);
            return std::isfinite(s) ? double(x.length()) : s;
        };
        r.range = "|v| " + valueRange(*v, length, nonFinite);
    }
    r.nonfinite = r.range != "-" || nonFinite ? std::to_string(nonFinite) : "-";
}

Row describeGrid(const openvdb::GridBase::Ptr &g)
{
    Row r;
    r.name = g->getName().empty() ? "(unnamed)" : g->getName();
    r.type = g->valueType();
    r.cls = openvdb::GridBase::gridClassToString(g->getGridClass());
    r.res = resolutionText(*g);
    r.active = std::to_string(g->activeVoxelCount());
    valueColumns(g, r);
    const openvdb::math::Transform &xf = g->transform();
    openvdb::Vec3d vs = xf.voxelSize();
    r.xform = (xf.isLinear() ? "linear, voxel " : "frustum, voxel ") + numberText(vs[0]) + " " + numberText(vs[1]) + " " + numberText(vs[2]);
    if (auto dop = g->getMetadata<openvdb::StringMetadata>("dopobject")) r.dop = dop->value();
    return r;
}

// The rows under a header, each column as wide as its widest cell.
void printRows(const std::vector<Row> &rows, std::ostream &out)
{
    Row head{"name", "type", "class", "resolution", "active", "range", "non-finite", "transform", "dopobject"};
    std::string Row::*cols[] = {&Row::name,  &Row::type,      &Row::cls,   &Row::res, &Row::active,
                                &Row::range, &Row::nonfinite, &Row::xform, &Row::dop};
    const int n = 9;
    int widths[n];
    for (int c = 0; c < n; ++c)
    {
        size_t w = (head.*cols[c]).size();
        for (auto &r : rows) w = std::max(w, (r.*cols[c]).size());
        widths[c] = int(w);
    }
    auto print = [&](const Row &r) {
        out << " ";
        for (int c = 0; c < n; ++c)
        {
            bool right = c == 4 || c == 6;
            out << " " << (right ? std::right : std::left) << std::setw(c == n - 1 ? 0 : widths[c]) << r.*cols[c];
        }
        out << "\n";
    };
    print(head);
    for (auto &r : rows) print(r);
}

// What the archive check learnt of a damaged file: the grids it names and
// which of them were whole.
void printDamaged(const std::string &path, const VdbArchiveCheck &check, std::ostream &out)
{
    out << path << ": damaged VDB file";
    if (check.gridCount >= 0) out << ", " << check.gridCount << (check.gridCount == 1 ? " grid" : " grids");
    out << "\n";
    size_t width = 4;
    for (const VdbGridEntry &g : check.grids) width = std::max(width, g.name.size());
    for (const VdbGridEntry &g : check.grids)
        out << "  " << std::left << std::setw(int(width)) << g.name << "  " << g.type << (g.whole ? "" : "  (damaged)") << "\n";
}
} // namespace

std::string printVdbInfo(const std::string &path, std::ostream &out)
{
    const VdbArchiveCheck check = checkVdbArchive(path);
    if (check.isVdb && !check.whole())
    {
        printDamaged(path, check, out);
        return path + ": damaged VDB file: " + check.fault;
    }
    openvdb::GridPtrVecPtr grids = readVdbGrids(path, check);
    std::vector<Row> rows;
    for (const openvdb::GridBase::Ptr &g : *grids) rows.push_back(describeGrid(g));
    out << path << ": " << rows.size() << (rows.size() == 1 ? " grid" : " grids") << partialNote(*grids) << "\n";
    if (!rows.empty()) printRows(rows, out);
    return incompleteReason(path, *grids);
}
} // namespace sopcook
