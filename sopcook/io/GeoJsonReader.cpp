// The host's ASCII JSON geometry (.geo): a JSON array of alternating keys and
// values (maps may also be JSON objects). Points, the vertex -> point table,
// polygons, particle systems and numeric/string attributes are read; vertex
// attributes are promoted to their points, since the detail keeps no vertex
// attributes. Unknown keys and primitive types are skipped with a warning.
#include <cmath>
#include <functional>
#include <memory>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "GEO/GEO_PrimPoly.h"
#include "io/GeometryFile.h"
#include "Messages.h"

namespace sopcook
{
namespace
{
using json = nlohmann::json;

// Where in the file a value sits, for messages: "file: attributes/pointattributes[2]/values".
struct Where
{
    const std::string &file;
    std::string path;

    Where operator/(const std::string &key) const { return {file, path.empty() ? key : path + "/" + key}; }
    Where operator[](size_t i) const { return {file, path + "[" + std::to_string(i) + "]"}; }
    [[noreturn]] void fail(const std::string &what) const
    {
        throw Error(file + ": " + (path.empty() ? "" : path + ": ") + what);
    }
};

const char *kindOf(const json &j)
{
    switch (j.type())
    {
    case json::value_t::null: return "null";
    case json::value_t::object: return "an object";
    case json::value_t::array: return "an array";
    case json::value_t::string: return "a string";
    case json::value_t::boolean: return "a boolean";
    case json::value_t::discarded: return "nothing";
    default: return "a number";
    }
}

// A map written either as a JSON object or as [key, value, key, value, ...].
class GeoMap
{
public:
    GeoMap(const json &j, const Where &where) : myWhere(where)
    {
        if (j.is_object())
        {
            for (auto it = j.begin(); it != j.end(); ++it) myEntries.emplace_back(it.key(), &it.value());
            return;
        }
        if (!j.is_array()) where.fail(std::string("expected a map (array of keys and values), found ") + kindOf(j));
        if (j.size() % 2 != 0) where.fail("expected an even number of entries (keys and values), found " + std::to_string(j.size()));
        for (size_t i = 0; i < j.size(); i += 2)
        {
            if (!j[i].is_string()) where[i].fail(std::string("expected a key string, found ") + kindOf(j[i]));
            myEntries.emplace_back(j[i].get<std::string>(), &j[i + 1]);
        }
    }
    const json *find(const std::string &key) const
    {
        for (auto &e : myEntries)
            if (e.first == key) return e.second;
        return nullptr;
    }
    const json &require(const std::string &key) const
    {
        const json *v = find(key);
        if (!v) myWhere.fail("missing key \"" + key + "\"");
        return *v;
    }
    const std::vector<std::pair<std::string, const json *>> &entries() const { return myEntries; }
    const Where &where() const { return myWhere; }

private:
    Where myWhere;
    std::vector<std::pair<std::string, const json *>> myEntries;
};

double number(const json &j, const Where &w)
{
    if (j.is_number()) return j.get<double>();
    if (j.is_boolean()) return j.get<bool>() ? 1.0 : 0.0;
    w.fail(std::string("expected a number, found ") + kindOf(j));
}

int64_t count(const json &j, const Where &w, int64_t limit = int64_t(1) << 40)
{
    if (!j.is_number_integer() && !(j.is_number() && std::floor(j.get<double>()) == j.get<double>()))
        w.fail(std::string("expected a whole number, found ") + kindOf(j));
    double v = j.get<double>();
    if (v < 0 || v > double(limit)) w.fail("count " + j.dump() + " out of range");
    return int64_t(v);
}

const json &array(const json &j, const Where &w)
{
    if (!j.is_array()) w.fail(std::string("expected an array, found ") + kindOf(j));
    return j;
}

bool boolean(const json &j, const Where &w)
{
    if (j.is_boolean()) return j.get<bool>();
    if (j.is_number()) return j.get<double>() != 0;
    w.fail(std::string("expected true or false, found ") + kindOf(j));
}

// Decodes a value block ("tuples", "arrays" or paged "rawpagedata") into n
// tuples of k numbers, element-major.
std::vector<double> decodeValues(const GeoMap &m, int64_t n, int k)
{
    const Where &w = m.where();
    // Counts are bounded by the file size, but constant pages can repeat one
    // tuple many times: refuse what could not be held anyway.
    if (double(n) * double(k) > double(int64_t(1) << 31)) w.fail("too many values (" + std::to_string(n) + " x " + std::to_string(k) + ")");
    std::vector<double> out(size_t(n) * size_t(k), 0.0);
    if (const json *t = m.find("tuples"))
    {
        Where tw = w / "tuples";
        array(*t, tw);
        if (int64_t(t->size()) != n) tw.fail("expected " + std::to_string(n) + " tuples, found " + std::to_string(t->size()));
        for (size_t e = 0; e < t->size(); ++e)
        {
            const json &tuple = (*t)[e];
            if (k == 1 && tuple.is_number())
            {
                out[e] = number(tuple, tw[e]);
                continue;
            }
            array(tuple, tw[e]);
            if (int(tuple.size()) != k) tw[e].fail("expected " + std::to_string(k) + " components, found " + std::to_string(tuple.size()));
            for (int c = 0; c < k; ++c) out[e * size_t(k) + size_t(c)] = number(tuple[size_t(c)], tw[e][size_t(c)]);
        }
        return out;
    }
    if (const json *a = m.find("arrays"))
    {
        Where aw = w / "arrays";
        array(*a, aw);
        if (int(a->size()) != k) aw.fail("expected " + std::to_string(k) + " component arrays, found " + std::to_string(a->size()));
        for (int c = 0; c < k; ++c)
        {
            const json &comp = array((*a)[size_t(c)], aw[size_t(c)]);
            if (int64_t(comp.size()) != n)
                aw[size_t(c)].fail("expected " + std::to_string(n) + " values, found " + std::to_string(comp.size()));
            for (size_t e = 0; e < comp.size(); ++e) out[e * size_t(k) + size_t(c)] = number(comp[e], aw[size_t(c)][e]);
        }
        return out;
    }
    if (const json *raw = m.find("rawpagedata"))
    {
        Where rw = w / "rawpagedata";
        array(*raw, rw);
        int64_t pagesize = count(m.require("pagesize"), w / "pagesize");
        if (pagesize < 1) (w / "pagesize").fail("expected a page size of at least 1");
        std::vector<int> packing;
        if (const json *p = m.find("packing"))
        {
            array(*p, w / "packing");
            for (size_t i = 0; i < p->size(); ++i) packing.push_back(int(count((*p)[i], (w / "packing")[i], k)));
        }
        else
            packing.push_back(k);
        int total = 0;
        for (int width : packing) total += width;
        if (total != k) (w / "packing").fail("packing adds up to " + std::to_string(total) + " components, the attribute has " + std::to_string(k));
        // constantpageflags: one list per packed group; a set flag means the
        // page stores a single tuple for all its elements.
        std::vector<std::vector<bool>> constant(packing.size());
        if (const json *f = m.find("constantpageflags"))
        {
            Where fw = w / "constantpageflags";
            array(*f, fw);
            if (!f->empty() && f->size() != packing.size())
                fw.fail("expected " + std::to_string(packing.size()) + " flag lists, found " + std::to_string(f->size()));
            for (size_t s = 0; s < f->size(); ++s)
            {
                const json &flags = array((*f)[s], fw[s]);
                for (size_t p = 0; p < flags.size(); ++p) constant[s].push_back(boolean(flags[p], fw[s][p]));
            }
        }
        int64_t pages = (n + pagesize - 1) / pagesize;
        size_t pos = 0;
        auto next = [&]() {
            if (pos >= raw->size()) rw.fail("too few values (" + std::to_string(raw->size()) + ") for " + std::to_string(n) + " tuples of " + std::to_string(k));
            double v = number((*raw)[pos], rw[pos]);
            ++pos;
            return v;
        };
        for (int64_t page = 0; page < pages; ++page)
        {
            int64_t first = page * pagesize;
            int64_t elems = std::min(pagesize, n - first);
            int offset = 0;
            for (size_t s = 0; s < packing.size(); ++s)
            {
                int width = packing[s];
                bool isConstant = size_t(page) < constant[s].size() && constant[s][size_t(page)];
                if (isConstant)
                {
                    for (int c = 0; c < width; ++c)
                    {
                        double v = next();
                        for (int64_t e = 0; e < elems; ++e) out[size_t(first + e) * size_t(k) + size_t(offset + c)] = v;
                    }
                }
                else
                {
                    for (int64_t e = 0; e < elems; ++e)
                        for (int c = 0; c < width; ++c) out[size_t(first + e) * size_t(k) + size_t(offset + c)] = next();
                }
                offset += width;
            }
        }
        if (pos != raw->size()) rw.fail("expected " + std::to_string(pos) + " values, found " + std::to_string(raw->size()));
        return out;
    }
    w.fail("expected \"tuples\", \"arrays\" or \"rawpagedata\"");
}

// One attribute as read: numbers (element-major) or strings.
struct AttribData
{
    std::string name;
    int size = 1;
    bool isString = false;
    std::vector<double> numbers;
    std::vector<std::string> strings;
};

// Reads one [header, body] attribute entry; false when skipped.
bool readAttribute(const json &entry, const Where &w, int64_t n, AttribData &out, std::vector<std::string> &warnings)
{
    array(entry, w);
    if (entry.size() != 2) w.fail("expected [header, body], found " + std::to_string(entry.size()) + " entries");
    GeoMap header(entry[0], w[0]);
    const json &nameJ = header.require("name");
    if (!nameJ.is_string()) (w[0] / "name").fail("expected a string");
    out.name = nameJ.get<std::string>();
    Where aw = w / out.name;
    std::string scope = "public";
    if (const json *s = header.find("scope"); s && s->is_string()) scope = s->get<std::string>();
    if (scope != "public") return false; // the host's own bookkeeping, not user data
    std::string type = "numeric";
    if (const json *t = header.find("type"); t && t->is_string()) type = t->get<std::string>();
    GeoMap body(entry[1], aw);
    if (type == "numeric")
    {
        int size = int(count(body.require("size"), aw / "size", 1 << 16));
        if (size < 1) (aw / "size").fail("expected a tuple size of at least 1");
        GeoMap values(body.require("values"), aw / "values");
        if (const json *vs = values.find("size")) size = int(count(*vs, aw / "values/size", 1 << 16));
        if (size < 1) (aw / "values/size").fail("expected a tuple size of at least 1");
        out.size = size;
        out.numbers = decodeValues(values, n, size);
        return true;
    }
    if (type == "string")
    {
        std::vector<std::string> table;
        if (const json *s = body.find("strings"))
        {
            array(*s, aw / "strings");
            for (size_t i = 0; i < s->size(); ++i)
            {
                if (!(*s)[i].is_string()) (aw / "strings")[i].fail(std::string("expected a string, found ") + kindOf((*s)[i]));
                table.push_back((*s)[i].get<std::string>());
            }
        }
        GeoMap indices(body.require("indices"), aw / "indices");
        int size = 1;
        if (const json *vs = indices.find("size")) size = int(count(*vs, aw / "indices/size", 1 << 16));
        if (size < 1) size = 1;
        std::vector<double> idx = decodeValues(indices, n, size);
        out.isString = true;
        out.size = size;
        out.strings.resize(idx.size());
        for (size_t i = 0; i < idx.size(); ++i)
        {
            double v = idx[i];
            if (v < 0) continue; // -1: no string
            if (v >= double(table.size()))
                (aw / "indices").fail("string index " + std::to_string(int64_t(v)) + " out of range (" + std::to_string(table.size()) + " strings)");
            out.strings[i] = table[size_t(v)];
        }
        return true;
    }
    warnings.push_back(w.file + ": " + aw.path + ": skipping attribute of unsupported type '" + type + "'");
    return false;
}

GA_Attribute *makeAttribute(GU_Detail &gdp, GA_AttributeOwner owner, const AttribData &a)
{
    return gdp.addAttribute(owner, a.name.c_str(), a.isString ? GA_STORECLASS_STRING : GA_STORECLASS_FLOAT, a.size);
}

void setElement(GA_Attribute *attr, GA_Offset dst, const AttribData &a, size_t src)
{
    for (int c = 0; c < a.size && c < attr->getTupleSize(); ++c)
    {
        size_t i = src * size_t(a.size) + size_t(c);
        if (a.isString)
            attr->setS(dst, c, a.strings[i]);
        else
            attr->setF(dst, c, float(a.numbers[i]));
    }
}

struct PrimitiveReader
{
    GU_Detail &gdp;
    const std::vector<int64_t> &pointref;
    std::vector<GA_Offset> &primOffsets; // file primitive -> detail offset, or -1
    std::map<std::string, int64_t> skipped;

    std::vector<GA_Offset> points(const json &vertices, const Where &w)
    {
        array(vertices, w);
        std::vector<GA_Offset> pts;
        pts.reserve(vertices.size());
        for (size_t i = 0; i < vertices.size(); ++i)
        {
            int64_t v = count(vertices[i], w[i]);
            if (v >= int64_t(pointref.size()))
                w[i].fail("vertex " + std::to_string(v) + " out of range (vertexcount " + std::to_string(pointref.size()) + ")");
            pts.push_back(pointref[size_t(v)]);
        }
        return pts;
    }

    // One primitive given by its type and a map of its fields.
    void add(const std::string &type, const std::function<const json *(const std::string &)> &field, const Where &w)
    {
        if (type == "Poly")
        {
            const json *v = field("vertex");
            if (!v) w.fail("missing key \"vertex\"");
            bool closed = true;
            if (const json *c = field("closed")) closed = boolean(*c, w / "closed");
            GEO_PrimPoly *poly = GEO_PrimPoly::build(&gdp, points(*v, w / "vertex"), closed);
            primOffsets.push_back(poly->getMapOffset());
            return;
        }
        if (type == "Part")
        {
            const json *v = field("vertex");
            if (!v) w.fail("missing key \"vertex\"");
            std::vector<GA_Offset> pts = points(*v, w / "vertex"); // may throw: read before allocating
            auto *part = new GEO_PrimParticle(&gdp);
            for (GA_Offset pt : pts) part->appendVertex(pt);
            primOffsets.push_back(gdp.appendPrimitive(part));
            return;
        }
        ++skipped[type];
        primOffsets.push_back(GA_INVALID_OFFSET);
    }

    // The compact form newer hosts write for polygon meshes and curves:
    // "nprimitives" polygons over consecutive vertices from "startvertex",
    // their sizes listed ("nvertices") or as [size, repeat, ...] pairs
    // ("nvertices_rle"). One entry stands for many primitives.
    void polygonRun(const GeoMap &body, bool closed, const Where &w)
    {
        const int64_t vertices = int64_t(pointref.size());
        int64_t v = 0;
        if (const json *s = body.find("startvertex")) v = count(*s, w / "startvertex", vertices);
        int64_t nprims = count(body.require("nprimitives"), w / "nprimitives", vertices);
        std::vector<int64_t> sizes;
        if (const json *nv = body.find("nvertices"))
        {
            Where nw = w / "nvertices";
            array(*nv, nw);
            for (size_t i = 0; i < nv->size(); ++i) sizes.push_back(count((*nv)[i], nw[i], vertices));
        }
        else if (const json *rle = body.find("nvertices_rle"))
        {
            Where rw = w / "nvertices_rle";
            array(*rle, rw);
            if (rle->size() % 2 != 0) rw.fail("expected pairs of polygon size and repeat count");
            for (size_t i = 0; i < rle->size(); i += 2)
            {
                int64_t size = count((*rle)[i], rw[i], vertices);
                int64_t repeat = count((*rle)[i + 1], rw[i + 1], nprims - int64_t(sizes.size()));
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
            if (size > vertices - v)
                w.fail("polygons reach past the last vertex (vertexcount " + std::to_string(vertices) + ")");
            pts.assign(pointref.begin() + v, pointref.begin() + v + size);
            v += size;
            primOffsets.push_back(GEO_PrimPoly::build(&gdp, pts, closed)->getMapOffset());
        }
    }

    void read(const json &prims, const Where &w)
    {
        array(prims, w);
        for (size_t p = 0; p < prims.size(); ++p)
        {
            Where pw = w[p];
            const json &entry = array(prims[p], pw);
            if (entry.size() != 2) pw.fail("expected [header, body], found " + std::to_string(entry.size()) + " entries");
            GeoMap header(entry[0], pw[0]);
            const json &typeJ = header.require("type");
            if (!typeJ.is_string()) (pw[0] / "type").fail("expected a string");
            std::string type = typeJ.get<std::string>();
            if (type == "Polygon_run" || type == "PolygonCurve_run")
            {
                polygonRun(GeoMap(entry[1], pw[1]), type == "Polygon_run", pw[1]);
                continue;
            }
            if (type != "run")
            {
                const json &bodyJ = entry[1];
                if (type != "Poly" && type != "Part")
                {
                    ++skipped[type];
                    primOffsets.push_back(GA_INVALID_OFFSET);
                    continue;
                }
                GeoMap body(bodyJ, pw[1]);
                add(type, [&](const std::string &k) { return body.find(k); }, pw);
                continue;
            }
            // Run-encoded: one shared header, then per primitive the values of the
            // varying fields in order; uniform fields apply to all.
            const json &runtypeJ = header.require("runtype");
            if (!runtypeJ.is_string()) (pw[0] / "runtype").fail("expected a string");
            std::string runtype = runtypeJ.get<std::string>();
            std::vector<std::string> varying;
            if (const json *vf = header.find("varyingfields"))
            {
                array(*vf, pw[0] / "varyingfields");
                for (size_t i = 0; i < vf->size(); ++i)
                {
                    if (!(*vf)[i].is_string()) (pw[0] / "varyingfields")[i].fail("expected a field name");
                    varying.push_back((*vf)[i].get<std::string>());
                }
            }
            std::unique_ptr<GeoMap> uniform;
            if (const json *uf = header.find("uniformfields")) uniform.reset(new GeoMap(*uf, pw[0] / "uniformfields"));
            const json &runs = array(entry[1], pw[1]);
            for (size_t r = 0; r < runs.size(); ++r)
            {
                Where rw = pw[1][r];
                const json &values = array(runs[r], rw);
                if (values.size() != varying.size())
                    rw.fail("expected " + std::to_string(varying.size()) + " varying values, found " + std::to_string(values.size()));
                add(runtype,
                    [&](const std::string &k) -> const json * {
                        for (size_t i = 0; i < varying.size(); ++i)
                            if (varying[i] == k) return &values[i];
                        return uniform ? uniform->find(k) : nullptr;
                    },
                    rw);
            }
        }
    }
};
} // namespace

void readGeoJson(const std::string &text, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings)
{
    json doc;
    try
    {
        doc = json::parse(text);
    }
    catch (const json::exception &e) // parse errors and numbers out of range
    {
        std::string what = e.what();
        size_t close = what.find("] ");
        if (what.compare(0, 1, "[") == 0 && close != std::string::npos) what = what.substr(close + 2);
        throw Error(label + ": not valid JSON geometry: " + what);
    }
    Where top{label, ""};
    GeoMap file(doc, top);

    // Every file the host writes starts with its counts; without them this is
    // some other JSON.
    if (!file.find("pointcount"))
        throw Error(label + ": not host JSON geometry (no \"pointcount\" key)");
    static const std::set<std::string> known = {"fileversion", "hasindex", "pointcount", "vertexcount", "primitivecount",
                                                "info", "topology", "attributes", "primitives"};
    static const std::set<std::string> ignored = {"pointgroups", "primitivegroups", "vertexgroups", "edgegroups",
                                                  "altopology", "index"};
    for (auto &e : file.entries())
        if (!known.count(e.first) && !ignored.count(e.first))
            warnings.push_back(label + ": skipping unknown key \"" + e.first + "\"");

    const int64_t maxElements = int64_t(text.size()) + 1; // every element costs at least one byte
    int64_t pointcount = 0, vertexcount = 0, primitivecount = -1;
    if (const json *j = file.find("pointcount")) pointcount = count(*j, top / "pointcount", maxElements);
    if (const json *j = file.find("vertexcount")) vertexcount = count(*j, top / "vertexcount", maxElements);
    if (const json *j = file.find("primitivecount")) primitivecount = count(*j, top / "primitivecount", maxElements);

    if (pointcount > 0) gdp.appendPointBlock(pointcount);

    // The point of every vertex.
    std::vector<int64_t> pointref;
    if (const json *topo = file.find("topology"))
    {
        GeoMap t(*topo, top / "topology");
        if (const json *pr = t.find("pointref"))
        {
            GeoMap p(*pr, top / "topology/pointref");
            Where iw = top / "topology/pointref/indices";
            const json &indices = array(p.require("indices"), iw);
            pointref.reserve(indices.size());
            for (size_t i = 0; i < indices.size(); ++i)
            {
                int64_t pt = count(indices[i], iw[i]);
                if (pt >= pointcount) iw[i].fail("point " + std::to_string(pt) + " out of range (pointcount " + std::to_string(pointcount) + ")");
                pointref.push_back(pt);
            }
        }
    }
    if (file.find("vertexcount") && int64_t(pointref.size()) != vertexcount)
        (top / "topology/pointref/indices").fail("expected " + std::to_string(vertexcount) + " vertices (vertexcount), found " + std::to_string(pointref.size()));
    vertexcount = int64_t(pointref.size());

    std::vector<GA_Offset> primOffsets;
    if (const json *prims = file.find("primitives"))
    {
        PrimitiveReader reader{gdp, pointref, primOffsets, {}};
        reader.read(*prims, top / "primitives");
        for (auto &s : reader.skipped)
            warnings.push_back(label + ": skipping " + std::to_string(s.second) + " primitive(s) of unsupported type '" + s.first + "'");
    }
    if (primitivecount >= 0 && int64_t(primOffsets.size()) != primitivecount)
        (top / "primitives").fail("expected " + std::to_string(primitivecount) + " primitives (primitivecount), found " + std::to_string(primOffsets.size()));
    primitivecount = int64_t(primOffsets.size());

    bool haveP = pointcount == 0;
    if (const json *attrs = file.find("attributes"))
    {
        GeoMap groups(*attrs, top / "attributes");
        // Vertex attributes after point attributes: on a shared name the vertex
        // value wins, as it does in the host.
        static const char *order[] = {"pointattributes", "vertexattributes", "primitiveattributes", "globalattributes"};
        for (auto &g : groups.entries())
        {
            bool knownGroup = false;
            for (const char *o : order) knownGroup |= g.first == o;
            if (!knownGroup) warnings.push_back(label + ": attributes: skipping unknown key \"" + g.first + "\"");
        }
        for (const char *groupName : order)
        {
            const json *list = groups.find(groupName);
            if (!list) continue;
            Where gw = top / "attributes" / groupName;
            array(*list, gw);
            std::string g = groupName;
            int64_t n = g == "pointattributes" ? pointcount : g == "vertexattributes" ? vertexcount
                                                           : g == "primitiveattributes" ? primitivecount : 1;
            for (size_t i = 0; i < list->size(); ++i)
            {
                AttribData a;
                if (!readAttribute((*list)[i], gw[i], n, a, warnings)) continue;
                if (g == "pointattributes")
                {
                    if (a.name == "P")
                    {
                        if (a.isString || a.size < 3) (gw[i] / "P").fail("expected a numeric tuple of 3 or more components");
                        for (int64_t pt = 0; pt < n; ++pt)
                        {
                            const double *v = &a.numbers[size_t(pt) * size_t(a.size)];
                            gdp.setPos3(pt, UT_Vector3(float(v[0]), float(v[1]), float(v[2])));
                        }
                        haveP = true;
                        continue;
                    }
                    GA_Attribute *attr = makeAttribute(gdp, GA_ATTRIB_POINT, a);
                    if (!attr) continue;
                    for (int64_t pt = 0; pt < n; ++pt) setElement(attr, pt, a, size_t(pt));
                }
                else if (g == "vertexattributes")
                {
                    if (a.name == "P") continue;
                    GA_Attribute *attr = makeAttribute(gdp, GA_ATTRIB_POINT, a);
                    if (!attr) continue;
                    for (int64_t v = 0; v < n; ++v) setElement(attr, pointref[size_t(v)], a, size_t(v));
                }
                else if (g == "primitiveattributes")
                {
                    GA_Attribute *attr = makeAttribute(gdp, GA_ATTRIB_PRIMITIVE, a);
                    if (!attr) continue;
                    for (int64_t p = 0; p < n; ++p)
                        if (primOffsets[size_t(p)] != GA_INVALID_OFFSET) setElement(attr, primOffsets[size_t(p)], a, size_t(p));
                }
                else
                {
                    GA_Attribute *attr = makeAttribute(gdp, GA_ATTRIB_GLOBAL, a);
                    if (attr) setElement(attr, 0, a, 0);
                }
            }
        }
    }
    if (!haveP) warnings.push_back(label + ": no point attribute \"P\"; all points are at the origin");
}
} // namespace sopcook
