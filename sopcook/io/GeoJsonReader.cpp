// SPDX-License-Identifier: Apache-2.0
// The host's JSON geometry, ASCII (.geo) or binary (.bgeo): a JSON array of
// alternating keys and values (maps may also be JSON objects). Both encodings
// decode to one document, read here. Points, the vertex -> point table,
// polygons, particle systems and numeric/string attributes are read; vertex
// attributes are promoted to their points, since the detail keeps no vertex
// attributes. Unknown keys and primitive types are skipped with a warning.
#include <algorithm>
#include <map>
#include <set>

#include "io/GeoAttributes.h"
#include "io/GeoPrimitives.h"
#include "io/GeoReadClaim.h"
#include "io/GeometryFile.h"

namespace sopcook
{
namespace
{
struct Counts
{
    int64_t points = 0, vertices = 0, primitives = -1;
    bool haveVertexCount = false;
};

// A decoded value takes 16 bytes, and its list grows by doubling: about 32
// bytes a value at the peak.
constexpr double bytesPerValue = 32;

json parseDocument(const std::string &bytes, const std::string &label, const ReadLimits &limits)
{
    const double memory = limits.memoryNow();
    if (isBinaryJson(bytes)) return decodeBinaryJson(bytes, label, uint64_t(memory / bytesPerValue));
    const double values = jsonValueCount(bytes);
    if (values * bytesPerValue > memory)
        throw Error(label + ": its " + countText(values) + " JSON values take about " + byteText(values * bytesPerValue) +
                    " to parse, more than the " + byteText(memory) + " of memory available");
    try
    {
        return json::parse(bytes);
    }
    catch (const json::exception &e) // parse errors and numbers out of range
    {
        throw Error(label + ": not valid JSON geometry: " + jsonErrorText(e.what()));
    }
}

void warnUnknownKeys(const GeoMap &file, std::vector<std::string> &warnings)
{
    static const std::set<std::string> known = {"fileversion", "hasindex", "pointcount", "vertexcount", "primitivecount",
                                                "info", "topology", "attributes", "primitives"};
    // Groups are not used by any operator; the seek index of binary files
    // only helps random access.
    static const std::set<std::string> ignored = {"pointgroups", "primitivegroups", "vertexgroups", "edgegroups",
                                                  "altopology", "index", "indexposition"};
    for (auto &e : file.entries())
        if (!known.count(e.first) && !ignored.count(e.first))
            warnings.push_back(file.where().message("skipping unknown key \"" + e.first + "\""));
}

Counts readCounts(const GeoMap &file, int64_t maxElements)
{
    const Where &top = file.where();
    Counts c;
    if (const json *j = file.find("pointcount")) c.points = count(*j, top / "pointcount", maxElements);
    if (const json *j = file.find("vertexcount")) c.vertices = count(*j, top / "vertexcount", maxElements);
    if (const json *j = file.find("primitivecount")) c.primitives = count(*j, top / "primitivecount", maxElements);
    c.haveVertexCount = file.find("vertexcount") != nullptr;
    return c;
}

// The point of every vertex.
std::vector<int64_t> readPointref(const GeoMap &file, Counts &c)
{
    const Where &top = file.where();
    std::vector<int64_t> pointref;
    if (const json *topo = file.find("topology"))
    {
        GeoMap t(*topo, top / "topology");
        if (const json *pr = t.find("pointref"))
        {
            GeoMap p(*pr, top / "topology/pointref");
            List indices(p.require("indices"), top / "topology/pointref/indices");
            pointref.resize(indices.size());
            for (size_t i = 0; i < pointref.size(); ++i)
                if ((pointref[i] = indices.count(i)) >= c.points)
                    indices.where(i).fail("point " + std::to_string(pointref[i]) + " out of range (pointcount " + std::to_string(c.points) + ")");
        }
    }
    if (c.haveVertexCount && int64_t(pointref.size()) != c.vertices)
        (top / "topology/pointref/indices").fail("expected " + std::to_string(c.vertices) + " vertices (vertexcount), found " + std::to_string(pointref.size()));
    c.vertices = int64_t(pointref.size());
    return pointref;
}

std::vector<GA_Offset> readPrimitives(const GeoMap &file, const std::vector<int64_t> &pointref, Counts &c, int64_t maxElements,
                                      GU_Detail &gdp, std::vector<std::string> &warnings)
{
    const Where &top = file.where();
    std::vector<GA_Offset> primOffsets;
    if (const json *prims = file.find("primitives"))
    {
        PrimitiveReader reader{gdp, pointref, primOffsets, c.primitives >= 0 ? c.primitives : maxElements, {}};
        reader.read(*prims, top / "primitives");
        for (auto &s : reader.skipped)
            warnings.push_back(top.message("skipping " + std::to_string(s.second) + " primitive(s) of unsupported type '" + s.first + "'"));
    }
    if (c.primitives >= 0 && int64_t(primOffsets.size()) != c.primitives)
        (top / "primitives").fail("expected " + std::to_string(c.primitives) + " primitives (primitivecount), found " + std::to_string(primOffsets.size()));
    c.primitives = int64_t(primOffsets.size());
    return primOffsets;
}

// Binds the attribute lists of the file to the detail.
class AttributeBinder
{
public:
    AttributeBinder(GU_Detail &gdp, const Counts &c, const std::vector<int64_t> &pointref, const std::vector<GA_Offset> &prims,
                    const ReadLimits &limits, double claimedBytes, std::vector<std::string> &warnings)
        : myGdp(gdp), myCounts(c), myPointref(pointref), myPrims(prims), myLimits(limits), myClaimedBytes(claimedBytes),
          myWarnings(warnings) {}

    bool haveP = false;

    void readGroup(const std::string &group, const json &list, const Where &gw)
    {
        List entries(list, gw);
        const int64_t n = group == "pointattributes"       ? myCounts.points
                          : group == "vertexattributes"    ? myCounts.vertices
                          : group == "primitiveattributes" ? myCounts.primitives
                                                           : 1;
        std::map<std::string, int> seen;
        for (size_t i = 0; i < entries.size(); ++i)
        {
            AttribData a;
            bool duplicate = false;
            AttribTarget target = [&](const AttribData &d) -> float * {
                duplicate = seen[d.name]++ > 0;
                return duplicate || group != "pointattributes" ? nullptr : pointStorage(d);
            };
            if (!readAttribute(entries.at(i, "an attribute"), entries.where(i), n, a, target, myWarnings)) continue;
            if (a.isString) duplicate = seen[a.name]++ > 0;
            if (duplicate) continue;
            if (a.isString) checkStrings(a, entries.where(i));
            bind(group, a, entries.where(i));
        }
        for (auto &s : seen)
            if (s.second > 1)
                myWarnings.push_back(gw.message("attribute '" + s.first + "' appears " + std::to_string(s.second) + " times; using the first"));
    }

private:
    GU_Detail &myGdp;
    const Counts &myCounts;
    const std::vector<int64_t> &myPointref;
    const std::vector<GA_Offset> &myPrims;
    const ReadLimits &myLimits;
    double myClaimedBytes;  // the detail's claim, checked before it was allocated
    double myStringBytes = 0; // the characters of long strings bound so far
    std::vector<std::string> &myWarnings;

    // One index can stand for a long string many times over: what the strings
    // will take in the detail must be no more than the file may expand to and
    // fit in the memory the rest of the detail leaves.
    void checkStrings(const AttribData &a, const Where &w)
    {
        double bytes = 0, longest = 0;
        size_t values = 0;
        for (size_t i = 0; i < a.indices.size(); ++i)
            if (const std::string *s = a.stringAt(i))
            {
                bytes += stringHeapBytes(*s);
                longest = std::max(longest, double(s->size()));
                ++values;
            }
        const double limit = std::min(myLimits.expansionBytes(), myLimits.memoryBytes - myClaimedBytes - myStringBytes);
        if (bytes > limit)
            (w / a.name).fail(countText(double(values)) + " string values of up to " + countText(longest) + " bytes take " +
                              byteText(bytes) + ", more than the " + byteText(std::max(limit, 0.0)) +
                              (limit < myLimits.expansionBytes() ? " of memory left" : " a file of " + byteText(myLimits.fileBytes) + " may expand to") +
                              ": a damaged or hostile file");
        myStringBytes += bytes;
    }

    // Point attributes are decoded straight into the detail's storage where
    // the layouts agree (points are numbered from 0 in a fresh detail).
    float *pointStorage(const AttribData &a)
    {
        if (a.name == "P") return a.size == 3 ? myGdp.findAttribute(GA_ATTRIB_POINT, "P")->floatData() : nullptr;
        GA_Attribute *attr = myGdp.addAttribute(GA_ATTRIB_POINT, a.name.c_str(), GA_STORECLASS_FLOAT, a.size);
        return attr && attr->getTupleSize() == a.size ? attr->floatData() : nullptr;
    }

    GA_Attribute *make(GA_AttributeOwner owner, const AttribData &a)
    {
        return myGdp.addAttribute(owner, a.name.c_str(), a.isString ? GA_STORECLASS_STRING : GA_STORECLASS_FLOAT, a.size);
    }

    static void setElement(GA_Attribute *attr, GA_Offset dst, const AttribData &a, size_t src)
    {
        for (int c = 0; c < a.size && c < attr->getTupleSize(); ++c)
        {
            size_t i = src * size_t(a.size) + size_t(c);
            if (a.isString)
            {
                if (const std::string *s = a.stringAt(i)) attr->setS(dst, c, *s);
            }
            else
                attr->setF(dst, c, a.numbers[i]);
        }
    }

    void bindPoints(const AttribData &a, const Where &w)
    {
        if (a.name == "P")
        {
            if (a.isString || a.size < 3) (w / "P").fail("expected a numeric tuple of 3 or more components");
            haveP = true;
            if (a.written) return;
            for (int64_t pt = 0; pt < myCounts.points; ++pt)
            {
                const float *v = &a.numbers[size_t(pt) * size_t(a.size)];
                myGdp.setPos3(pt, UT_Vector3(v[0], v[1], v[2]));
            }
            return;
        }
        if (a.written) return;
        if (GA_Attribute *attr = make(GA_ATTRIB_POINT, a))
            for (int64_t pt = 0; pt < myCounts.points; ++pt) setElement(attr, pt, a, size_t(pt));
    }

    void bind(const std::string &group, const AttribData &a, const Where &w)
    {
        if (group == "pointattributes") return bindPoints(a, w);
        if (group == "vertexattributes")
        {
            // After the point attributes: on a shared name the vertex value
            // wins, as it does in the host.
            if (a.name == "P") return;
            if (GA_Attribute *attr = make(GA_ATTRIB_POINT, a))
                for (size_t v = 0; v < myPointref.size(); ++v) setElement(attr, myPointref[v], a, v);
            return;
        }
        if (group == "primitiveattributes")
        {
            if (GA_Attribute *attr = make(GA_ATTRIB_PRIMITIVE, a))
                for (size_t p = 0; p < myPrims.size(); ++p)
                    if (myPrims[p] != GA_INVALID_OFFSET) setElement(attr, myPrims[p], a, p);
            return;
        }
        if (GA_Attribute *attr = make(GA_ATTRIB_GLOBAL, a)) setElement(attr, 0, a, 0);
    }
};

void readAttributes(const GeoMap &file, AttributeBinder &binder, std::vector<std::string> &warnings)
{
    const json *attrs = file.find("attributes");
    if (!attrs) return;
    const Where top = file.where() / "attributes";
    GeoMap groups(*attrs, top);
    static const char *order[] = {"pointattributes", "vertexattributes", "primitiveattributes", "globalattributes"};
    for (auto &g : groups.entries())
        if (std::find_if(std::begin(order), std::end(order), [&](const char *o) { return g.first == o; }) == std::end(order))
            warnings.push_back(top.message("skipping unknown key \"" + g.first + "\""));
    for (const char *group : order)
        if (const json *list = groups.find(group)) binder.readGroup(group, *list, top / group);
}
} // namespace

void readGeoJson(const std::string &bytes, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings)
{
    readGeoJson(bytes, label, gdp, warnings, ReadLimits::forFile(double(bytes.size())));
}

void readGeoJson(const std::string &bytes, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings,
                 const ReadLimits &limits)
{
    const bool binary = isBinaryJson(bytes);
    json doc = parseDocument(bytes, label, limits);
    Where top{label, ""};
    GeoMap file(doc, top);
    // Every file the host writes starts with its counts; without them this is
    // some other JSON.
    if (!file.find("pointcount")) throw Error(label + ": not host JSON geometry (no \"pointcount\" key)");
    warnUnknownKeys(file, warnings);

    // Every element costs at least one byte of ASCII; binary constant pages
    // hold many elements in a few bytes.
    const int64_t perByte = binary ? 64 : 1, maxElements = (int64_t(bytes.size()) + 1) * perByte;
    Counts counts = readCounts(file, int64_t(1) << 40);
    std::vector<int64_t> pointref = readPointref(file, counts);
    // Before the detail is allocated: what it will take.
    const DetailClaim claim = claimOf(file, counts.points, counts.vertices, counts.primitives);
    const DocumentBound document{maxElements, std::string(binary ? "a binary" : "an ASCII") + " document of " +
                                                  byteText(double(bytes.size())) + ", at most " + std::to_string(perByte) +
                                                  (perByte == 1 ? " element" : " elements") + " a byte"};
    checkClaim(claim, document, limits, label);
    if (counts.points > 0) gdp.appendPointBlock(counts.points);
    std::vector<GA_Offset> prims = readPrimitives(file, pointref, counts, maxElements, gdp, warnings);
    AttributeBinder binder(gdp, counts, pointref, prims, limits, claim.bytes(), warnings);
    readAttributes(file, binder, warnings);
    if (!binder.haveP && counts.points > 0) warnings.push_back(label + ": no point attribute \"P\"; all points are at the origin");
}
} // namespace sopcook
