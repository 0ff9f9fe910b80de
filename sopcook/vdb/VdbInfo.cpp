#include "vdb/VdbInfo.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <sstream>

#include "Messages.h"
#include <openvdb/io/Stream.h>

#include "vdb/VdbRead.h"
#include "vdb/VolumeGrids.h"

namespace sopcook
{
namespace
{
std::string fmt(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%.6g", v);
    return buf;
}

struct Row
{
    std::string name, type, cls, res, active, range, xform, dop;
};

template <typename GridT, typename Mag>
std::string valueRange(const GridT &grid, Mag magnitude)
{
    bool any = false;
    double lo = 0, hi = 0;
    for (auto it = grid.cbeginValueOn(); it; ++it)
    {
        double v = magnitude(*it);
        if (!any || v < lo) lo = v;
        if (!any || v > hi) hi = v;
        any = true;
    }
    return any ? fmt(lo) + " .. " + fmt(hi) : "-";
}
} // namespace

openvdb::GridPtrVecPtr readVdbGrids(const std::string &path)
{
    initializeVdb();
    {
        std::ifstream probe(path, std::ios::binary);
        if (!probe) throw Error(path + ": cannot open: " + std::strerror(errno));
    }
    // A stream reads the grids in file order (a File sorts them by name).
    try
    {
        std::ifstream in(path, std::ios::binary);
        openvdb::io::Stream stream(in);
        return stream.getGrids();
    }
    catch (const std::exception &e)
    {
        throw Error(path + ": not a readable VDB file: " + e.what());
    }
}

void printVdbInfo(const std::string &path, std::ostream &out)
{
    openvdb::GridPtrVecPtr grids = readVdbGrids(path);
    std::vector<Row> rows;
    for (const openvdb::GridBase::Ptr &g : *grids)
    {
        Row r;
        r.name = g->getName().empty() ? "(unnamed)" : g->getName();
        r.type = g->valueType();
        r.cls = openvdb::GridBase::gridClassToString(g->getGridClass());
        if (auto res = g->getMetadata<openvdb::Vec3IMetadata>("resolution"))
            r.res = std::to_string(res->value()[0]) + "x" + std::to_string(res->value()[1]) + "x" + std::to_string(res->value()[2]);
        else
        {
            openvdb::CoordBBox box = g->evalActiveVoxelBoundingBox();
            openvdb::Coord d = box.empty() ? openvdb::Coord(0) : box.dim();
            r.res = std::to_string(d[0]) + "x" + std::to_string(d[1]) + "x" + std::to_string(d[2]) + " (active)";
        }
        r.active = std::to_string(g->activeVoxelCount());
        if (auto f = openvdb::GridBase::grid<openvdb::FloatGrid>(g))
            r.range = valueRange(*f, [](float v) { return double(v); });
        else if (auto v = openvdb::GridBase::grid<openvdb::Vec3SGrid>(g))
            r.range = "|v| " + valueRange(*v, [](const openvdb::Vec3s &x) { return double(x.length()); });
        else
            r.range = "-";
        const openvdb::math::Transform &xf = g->transform();
        openvdb::Vec3d vs = xf.voxelSize();
        r.xform = (xf.isLinear() ? "linear, voxel " : "frustum, voxel ") + fmt(vs[0]) + " " + fmt(vs[1]) + " " + fmt(vs[2]);
        if (auto dop = g->getMetadata<openvdb::StringMetadata>("dopobject")) r.dop = dop->value();
        rows.push_back(r);
    }
    out << path << ": " << rows.size() << (rows.size() == 1 ? " grid" : " grids") << "\n";
    if (rows.empty()) return;
    Row head{"name", "type", "class", "resolution", "active", "range", "transform", "dopobject"};
    auto width = [&](std::string Row::*f) {
        size_t w = (head.*f).size();
        for (auto &r : rows) w = std::max(w, (r.*f).size());
        return int(w);
    };
    std::string Row::*cols[] = {&Row::name, &Row::type, &Row::cls, &Row::res, &Row::active, &Row::range, &Row::xform, &Row::dop};
    int widths[8];
    for (int c = 0; c < 8; ++c) widths[c] = width(cols[c]);
    auto print = [&](const Row &r) {
        out << " ";
        for (int c = 0; c < 8; ++c)
        {
            bool right = c == 4;
            out << " " << (right ? std::right : std::left) << std::setw(c == 7 ? 0 : widths[c]) << r.*cols[c];
        }
        out << "\n";
    };
    print(head);
    for (auto &r : rows) print(r);
}
} // namespace sopcook
