// SPDX-License-Identifier: Apache-2.0
#include "io/GeoPrimitives.h"

#include "GEO/GEO_PrimPoly.h"

namespace sopcook
{
namespace
{
// How many primitives a block of a type we do not read stands for: run blocks
// (Tetrahedron_run and the like) give "nprimitives" (short: "n_p") in their
// body; every other block is one primitive.
int64_t blockLength(const json &body, int64_t limit, const Where &w)
{
    auto fromKey = [&](const std::string &key, const json &value) -> int64_t {
        if (key != "nprimitives" && key != "n_p") return -1;
        return count(value, w / key, limit);
    };
    if (body.is_object())
        for (auto it = body.begin(); it != body.end(); ++it)
            if (int64_t n = fromKey(it.key(), it.value()); n >= 0) return n;
    if (body.is_array() && body.size() % 2 == 0)
        for (size_t i = 0; i < body.size(); i += 2)
            if (body[i].is_string())
                if (int64_t n = fromKey(body[i].get<std::string>(), body[i + 1]); n >= 0) return n;
    return 1;
}
} // namespace

std::vector<GA_Offset> PrimitiveReader::points(const json &vertices, const Where &w) const
{
    List list(vertices, w);
    std::vector<GA_Offset> pts;
    pts.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i)
    {
        int64_t v = list.count(i);
        if (v >= int64_t(pointref.size()))
            list.where(i).fail("vertex " + std::to_string(v) + " out of range (vertexcount " + std::to_string(pointref.size()) + ")");
        pts.push_back(pointref[size_t(v)]);
    }
    return pts;
}

void PrimitiveReader::skip(const std::string &type, int64_t n, const Where &w)
{
    if (n > maxPrimitives - int64_t(primOffsets.size()))
        w.fail("more primitives than the file can hold (" + std::to_string(n) + " of type '" + type + "')");
    skipped[type] += n;
    primOffsets.insert(primOffsets.end(), size_t(n), GA_INVALID_OFFSET);
}

// One primitive given by its type and a map of its fields.
void PrimitiveReader::add(const std::string &type, const std::function<const json *(const std::string &)> &field, const Where &w)
{
    if (type != "Poly" && type != "Part") return skip(type, 1, w);
    const json *v = field("vertex");
    if (!v) w.fail("missing key \"vertex\"");
    std::vector<GA_Offset> pts = points(*v, w / "vertex"); // may throw: read before allocating
    if (type == "Poly")
    {
        bool closed = true;
        if (const json *c = field("closed")) closed = boolean(*c, w / "closed");
        primOffsets.push_back(GEO_PrimPoly::build(&gdp, pts, closed)->getMapOffset());
        return;
    }
    auto *part = new GEO_PrimParticle(&gdp);
    for (GA_Offset pt : pts) part->appendVertex(pt);
    primOffsets.push_back(gdp.appendPrimitive(part));
}

// The compact form newer hosts write for polygon meshes and curves:
// "nprimitives" polygons over consecutive vertices from "startvertex", their
// sizes listed ("nvertices") or as [size, repeat, ...] pairs ("nvertices_rle").
// Binary files use the short names s_v, n_p, n_v and r_v.
void PrimitiveReader::polygonRun(const GeoMap &body, bool closed, const Where &w)
{
    const int64_t vertices = int64_t(pointref.size());
    int64_t v = 0;
    if (const json *s = body.find("startvertex", "s_v")) v = count(*s, w / "startvertex", vertices);
    const json *np = body.find("nprimitives", "n_p");
    if (!np) w.fail("missing key \"nprimitives\"");
    int64_t nprims = count(*np, w / "nprimitives", vertices);
    std::vector<int64_t> sizes;
    if (const json *nv = body.find("nvertices", "n_v"))
    {
        List list(*nv, w / "nvertices");
        for (size_t i = 0; i < list.size(); ++i) sizes.push_back(list.count(i, vertices));
    }
    else if (const json *rle = body.find("nvertices_rle", "r_v"))
    {
        List list(*rle, w / "nvertices_rle");
        if (list.size() % 2 != 0) list.where().fail("expected pairs of polygon size and repeat count");
        for (size_t i = 0; i < list.size(); i += 2)
        {
            int64_t size = list.count(i, vertices);
            int64_t repeat = list.count(i + 1, nprims - int64_t(sizes.size()));
            sizes.insert(sizes.end(), size_t(repeat), size);
        }
    }
    else
        w.fail("missing key \"nvertices\" or \"nvertices_rle\"");
    if (int64_t(sizes.size()) != nprims)
        w.fail("expected " + std::to_string(nprims) + " polygon sizes (nprimitives), found " + std::to_string(sizes.size()));
    std::vector<GA_Offset> pts;
    for (int64_t size : sizes)
    {
        if (size > vertices - v) w.fail("polygons reach past the last vertex (vertexcount " + std::to_string(vertices) + ")");
        pts.assign(pointref.begin() + v, pointref.begin() + v + size);
        v += size;
        primOffsets.push_back(GEO_PrimPoly::build(&gdp, pts, closed)->getMapOffset());
    }
}

// Run-encoded: one shared header, then per primitive the values of the
// varying fields in order; uniform fields apply to all.
void PrimitiveReader::readRun(const GeoMap &header, const json &body, const Where &w)
{
    const std::string &runtype = string(header.require("runtype"), header.where() / "runtype");
    std::vector<std::string> varying;
    if (const json *vf = header.find("varyingfields"))
    {
        List fields(*vf, header.where() / "varyingfields");
        for (size_t i = 0; i < fields.size(); ++i) varying.push_back(string(fields.at(i, "a field name"), fields.where(i)));
    }
    std::unique_ptr<GeoMap> uniform;
    if (const json *uf = header.find("uniformfields")) uniform.reset(new GeoMap(*uf, header.where() / "uniformfields"));
    List runs(body, w);
    for (size_t r = 0; r < runs.size(); ++r)
    {
        List values(runs.at(r, "a list of field values"), runs.where(r));
        if (values.size() != varying.size())
            values.where().fail("expected " + std::to_string(varying.size()) + " varying values, found " + std::to_string(values.size()));
        add(runtype,
            [&](const std::string &k) -> const json * {
                for (size_t i = 0; i < varying.size(); ++i)
                    if (varying[i] == k) return &values.at(i, "a field value");
                return uniform ? uniform->find(k) : nullptr;
            },
            values.where());
    }
}

void PrimitiveReader::readEntry(const json &entry, const Where &w)
{
    List parts(entry, w);
    if (parts.size() != 2) w.fail("expected [header, body], found " + std::to_string(parts.size()) + " entries");
    GeoMap header(parts.at(0, "a header"), w[0]);
    const std::string &type = string(header.require("type"), w[0] / "type");
    const json &body = parts.at(1, "a body");
    if (type == "Polygon_run" || type == "p_r" || type == "PolygonCurve_run" || type == "c_r")
        return polygonRun(GeoMap(body, w[1]), type == "Polygon_run" || type == "p_r", w[1]);
    if (type == "run") return readRun(header, body, w[1]);
    if (type != "Poly" && type != "Part") return skip(type, blockLength(body, maxPrimitives, w[1]), w[1]);
    GeoMap fields(body, w[1]);
    add(type, [&](const std::string &k) { return fields.find(k); }, w);
}

void PrimitiveReader::read(const json &prims, const Where &w)
{
    List list(prims, w);
    for (size_t p = 0; p < list.size(); ++p) readEntry(list.at(p, "a primitive"), list.where(p));
}
} // namespace sopcook
