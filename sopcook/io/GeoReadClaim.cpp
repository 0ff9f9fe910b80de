// SPDX-License-Identifier: Apache-2.0
#include "io/GeoReadClaim.h"

#include <algorithm>

namespace sopcook
{
namespace
{
// Rough per-element costs of the detail and the reader, generous on purpose:
// a point is its position, its point object (with allocator overhead) and
// the pointer to it; a float component takes its storage and, for vertex and
// primitive attributes, the buffer it is decoded into first; a string
// component its slot (std::string) and its decoded index; a vertex its point
// reference, twice (the table and the primitive's list); a primitive its
// object and vertex list.
constexpr double pointBytes = 48, floatBytes = 4, stringBytes = 32 + 12, vertexBytes = 16, primitiveBytes = 96;

struct Components
{
    int floats = 0, strings = 0;
};

// The components per element of one attribute list; P is counted apart.
Components componentsOf(const json &list, const Where &w, int &pSize)
{
    Components c;
    TypedArray typed;
    if (!list.is_array() || asTypedArray(list, typed)) return c;
    for (size_t i = 0; i < list.size(); ++i)
    {
        try
        {
            List parts(list[i], w[i]);
            if (parts.size() != 2) continue;
            GeoMap header(parts.at(0, "a header"), w[i]), body(parts.at(1, "a body"), w[i]);
            const json *name = header.find("name"), *scope = header.find("scope"), *type = header.find("type");
            if (!name || !name->is_string() || (scope && scope->is_string() && scope->get<std::string>() != "public")) continue;
            const std::string kind = type && type->is_string() ? type->get<std::string>() : "numeric";
            if (kind != "numeric" && kind != "string") continue;
            int size = 1;
            const json *values = body.find(kind == "numeric" ? "values" : "indices");
            const json *bodySize = body.find("size");
            if (bodySize && bodySize->is_number() && kind == "numeric") size = int(count(*bodySize, w[i], 1 << 16));
            if (values && (values->is_array() || values->is_object()))
                if (const json *vs = GeoMap(*values, w[i]).find("size"); vs && vs->is_number()) size = int(count(*vs, w[i], 1 << 16));
            if (kind == "string") c.strings += size;
            else if (name->get<std::string>() == "P") pSize = std::max(pSize, size);
            else c.floats += size;
        }
        catch (const Error &)
        {
            // The read proper reports what is wrong with this entry.
        }
    }
    return c;
}

std::string elementText(int64_t n, const char *what, int floats, int strings)
{
    std::string t = countText(double(n)) + " " + what;
    if (floats > 0) t += " x " + std::to_string(floats) + (floats == 1 ? " float" : " floats");
    if (strings > 0) t += std::string(floats > 0 ? " and " : " x ") + std::to_string(strings) + (strings == 1 ? " string" : " strings");
    return t;
}
} // namespace

double DetailClaim::bytes() const
{
    const double p = double(points), v = double(vertices), q = double(primitives);
    return p * (pointBytes + floatBytes * pointFloats + stringBytes * pointStrings) +
           // Vertex values are decoded per vertex, then promoted to the points.
           v * (vertexBytes + floatBytes * vertexFloats + stringBytes * vertexStrings) +
           p * (floatBytes * vertexFloats + 32 * vertexStrings) +
           q * (primitiveBytes + 2 * floatBytes * primitiveFloats + (stringBytes + 32) * primitiveStrings);
}

std::string DetailClaim::text() const
{
    std::string t = elementText(points, "points", pointFloats, pointStrings);
    if (vertices > 0) t += ", " + elementText(vertices, "vertices", vertexFloats, vertexStrings);
    if (primitives > 0) t += ", " + elementText(primitives, "primitives", primitiveFloats, primitiveStrings);
    return t;
}

DetailClaim claimOf(const GeoMap &file, int64_t points, int64_t vertices, int64_t primitives)
{
    DetailClaim c;
    c.points = points;
    c.vertices = vertices;
    c.primitives = std::max<int64_t>(primitives, 0);
    const json *attrs = file.find("attributes");
    if (!attrs || !(attrs->is_array() || attrs->is_object())) return c;
    try
    {
        const Where top = file.where() / "attributes";
        GeoMap groups(*attrs, top);
        int pSize = 3, ignored = 0;
        if (const json *l = groups.find("pointattributes"))
        {
            Components k = componentsOf(*l, top / "pointattributes", pSize);
            c.pointFloats = pSize + k.floats;
            c.pointStrings = k.strings;
        }
        if (const json *l = groups.find("vertexattributes"))
        {
            Components k = componentsOf(*l, top / "vertexattributes", ignored);
            c.vertexFloats = k.floats;
            c.vertexStrings = k.strings;
        }
        if (const json *l = groups.find("primitiveattributes"))
        {
            Components k = componentsOf(*l, top / "primitiveattributes", ignored);
            c.primitiveFloats = k.floats;
            c.primitiveStrings = k.strings;
        }
    }
    catch (const Error &)
    {
        // As above: a malformed attributes map is the read's to report.
    }
    return c;
}

void checkClaim(const DetailClaim &claim, const DocumentBound &document, const ReadLimits &limits, const std::string &label)
{
    const int64_t most = std::max({claim.points, claim.vertices, claim.primitives});
    if (most > document.elements)
        throw Error(label + ": claims " + claim.text() + " (" + byteText(claim.bytes()) + " to read) in " + document.what +
                    " (" + countText(double(document.elements)) + " here), so it is damaged or hostile");
    if (most > limits.maxElements())
        throw Error(label + ": claims " + claim.text() + " (" + byteText(claim.bytes()) + " to read) in a file of " +
                    byteText(limits.fileBytes) + "; a file stands for at most " + countText(ReadLimits::elementsPerByte) +
                    " elements a byte (" + countText(double(limits.maxElements())) + " here), so this one is damaged or hostile");
    const double memory = limits.memoryNow();
    if (claim.bytes() > memory)
        throw Error(label + ": claims " + claim.text() + ", which take " + byteText(claim.bytes()) + " to read, more than the " +
                    byteText(memory) + " of memory available");
}

double jsonValueCount(const std::string &text)
{
    // Commas and brackets inside strings count too: an overcount by the
    // punctuation of the file's names, in exchange for a pass that takes a
    // few percent of the parse.
    size_t values = 1;
    for (const char c : text) values += size_t(c == ',') | size_t(c == '[') | size_t(c == '{');
    return double(values);
}

double stringHeapBytes(const std::string &s)
{
    // Up to 15 characters live inside the std::string; longer ones take a
    // heap block with its allocator header.
    return s.size() <= 15 ? 0.0 : double((s.size() + 1 + 15) / 16 * 16 + 16);
}
} // namespace sopcook
