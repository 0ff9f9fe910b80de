// SPDX-License-Identifier: Apache-2.0
// PLY (ASCII, binary little and big endian). The vertex element gives points:
// x, y, z -> P; nx, ny, nz -> N; red, green, blue -> Cd (integer types scaled
// to 0..1); NAME_0, NAME_1, ... -> one tuple attribute NAME; any other scalar
// property -> a float attribute of its name. The face element's vertex list
// gives closed polygons. Every count is checked against the bytes left, so a
// damaged file fails with a message instead of allocating or reading wildly.
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <sstream>

#include "GEO/GEO_PrimPoly.h"
#include "io/GeometryFile.h"
#include "Messages.h"
#include "io/Where.h"

namespace sopcook
{
namespace
{
enum class Format { Ascii, BinaryLE, BinaryBE };

struct ScalarType
{
    int bytes = 0;
    bool isInt = false;
    bool isSigned = false;
    double maxValue = 1; // for scaling integer colours to 0..1
};

bool scalarType(const std::string &name, ScalarType &t)
{
    static const std::map<std::string, ScalarType> types = {
        {"char", {1, true, true, 127}},        {"int8", {1, true, true, 127}},
        {"uchar", {1, true, false, 255}},      {"uint8", {1, true, false, 255}},
        {"short", {2, true, true, 32767}},     {"int16", {2, true, true, 32767}},
        {"ushort", {2, true, false, 65535}},   {"uint16", {2, true, false, 65535}},
        {"int", {4, true, true, 2147483647.0}}, {"int32", {4, true, true, 2147483647.0}},
        {"uint", {4, true, false, 4294967295.0}}, {"uint32", {4, true, false, 4294967295.0}},
        {"float", {4, false, true, 1}},        {"float32", {4, false, true, 1}},
        {"double", {8, false, true, 1}},       {"float64", {8, false, true, 1}},
    };
    auto it = types.find(name);
    if (it == types.end()) return false;
    t = it->second;
    return true;
}

struct Property
{
    std::string name;
    ScalarType type;
    bool isList = false;
    ScalarType countType;
};

struct Element
{
    std::string name;
    uint64_t count = 0;
    std::vector<Property> props;
};

// Reads values of the body, ASCII or binary, with bounds checks.
class BodyCursor
{
public:
    BodyCursor(const std::string &bytes, size_t pos, Format fmt, const std::string &label)
        : myBytes(bytes), myPos(pos), myFormat(fmt), myLabel(label) {}

    double read(const ScalarType &t, const std::string &what)
    {
        if (myFormat == Format::Ascii) return readAscii(t, what);
        if (myPos + size_t(t.bytes) > myBytes.size()) fail("file ends inside " + what);
        unsigned char b[8];
        std::memcpy(b, myBytes.data() + myPos, size_t(t.bytes));
        myPos += size_t(t.bytes);
        bool swap = (myFormat == Format::BinaryBE) != bigEndianHost();
        if (swap)
            for (int i = 0; i < t.bytes / 2; ++i) std::swap(b[i], b[t.bytes - 1 - i]);
        switch (t.bytes)
        {
        case 1: return t.isSigned ? double(int8_t(b[0])) : double(b[0]);
        case 2: { uint16_t v; std::memcpy(&v, b, 2); return t.isSigned ? double(int16_t(v)) : double(v); }
        case 4:
            if (!t.isInt) { float f; std::memcpy(&f, b, 4); return f; }
            { uint32_t v; std::memcpy(&v, b, 4); return t.isSigned ? double(int32_t(v)) : double(v); }
        default: { double d; std::memcpy(&d, b, 8); return d; }
        }
    }
    size_t remaining() const { return myBytes.size() - myPos; }
    size_t position() const { return myPos; }
    bool atEnd()
    {
        if (myFormat == Format::Ascii) skipSpace();
        return myPos >= myBytes.size();
    }
    [[noreturn]] void fail(const std::string &what) const { Where{myLabel, "", int64_t(myPos)}.fail(what); }

private:
    static bool bigEndianHost()
    {
        const uint16_t one = 1;
        unsigned char c;
        std::memcpy(&c, &one, 1);
        return c == 0;
    }
    void skipSpace()
    {
        while (myPos < myBytes.size() && std::isspace(static_cast<unsigned char>(myBytes[myPos]))) ++myPos;
    }
    double readAscii(const ScalarType &t, const std::string &what)
    {
        skipSpace();
        size_t start = myPos;
        while (myPos < myBytes.size() && !std::isspace(static_cast<unsigned char>(myBytes[myPos]))) ++myPos;
        if (start == myPos) fail("file ends inside " + what);
        std::string token = myBytes.substr(start, myPos - start);
        char *end = nullptr;
        double v = std::strtod(token.c_str(), &end);
        if (!end || *end) { myPos = start; fail("expected a number for " + what + ", found '" + clipped(token, 48) + "'"); }
        // Integers must fit their declared type, as binary ones do: counts and
        // indices are converted to integers later.
        if (t.isInt && (v != std::floor(v) || v > t.maxValue || v < (t.isSigned ? -t.maxValue - 1 : 0.0)))
        {
            myPos = start;
            fail("expected a whole number in the range of its type for " + what + ", found '" + clipped(token, 48) + "'");
        }
        return v;
    }

    const std::string &myBytes;
    size_t myPos;
    Format myFormat;
    const std::string &myLabel;
};

// Where each vertex property goes.
struct Target
{
    GA_Attribute *attrib = nullptr; // null: position
    int component = 0;
    double scale = 1;
    bool position = false;
};

struct Header
{
    Format format = Format::Ascii;
    std::vector<Element> elements;
    size_t bodyStart = 0;
};

// The header's lines, numbered for messages.
class HeaderLines
{
public:
    HeaderLines(const std::string &bytes, const std::string &label) : myBytes(bytes), myLabel(label) {}
    bool next(std::string &line)
    {
        if (pos >= myBytes.size()) return false;
        size_t nl = myBytes.find('\n', pos);
        size_t end = nl == std::string::npos ? myBytes.size() : nl;
        line = myBytes.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        pos = nl == std::string::npos ? myBytes.size() : nl + 1;
        ++myLine;
        return true;
    }
    [[noreturn]] void fail(const std::string &what) const { Where{myLabel, "line " + std::to_string(myLine)}.fail(what); }
    size_t pos = 0;

private:
    const std::string &myBytes;
    const std::string &myLabel;
    int myLine = 0;
};

Format parseFormat(std::istringstream &in, const HeaderLines &lines)
{
    std::string f, version;
    in >> f >> version;
    if (f == "ascii") return Format::Ascii;
    if (f == "binary_little_endian") return Format::BinaryLE;
    if (f == "binary_big_endian") return Format::BinaryBE;
    lines.fail("unknown format '" + clipped(f, 48) + "' (expected ascii, binary_little_endian or binary_big_endian)");
}

Element parseElement(std::istringstream &in, const HeaderLines &lines)
{
    Element e;
    std::string countText;
    if (!(in >> e.name >> countText)) lines.fail("expected 'element NAME COUNT'");
    char *end = nullptr;
    double c = std::strtod(countText.c_str(), &end);
    if (!end || *end || c < 0 || c != std::floor(c) || c > 1e15) lines.fail("bad element count '" + clipped(countText, 48) + "'");
    e.count = uint64_t(c);
    return e;
}

Property parseProperty(std::istringstream &in, const HeaderLines &lines)
{
    Property p;
    std::string type;
    if (!(in >> type)) lines.fail("expected 'property TYPE NAME'");
    if (type == "list")
    {
        std::string countType, itemType;
        if (!(in >> countType >> itemType >> p.name)) lines.fail("expected 'property list COUNTTYPE TYPE NAME'");
        if (!scalarType(countType, p.countType) || !p.countType.isInt) lines.fail("bad list count type '" + clipped(countType, 48) + "'");
        if (!scalarType(itemType, p.type)) lines.fail("unknown property type '" + clipped(itemType, 48) + "'");
        p.isList = true;
        return p;
    }
    if (!(in >> p.name)) lines.fail("expected 'property TYPE NAME'");
    if (!scalarType(type, p.type)) lines.fail("unknown property type '" + clipped(type, 48) + "'");
    return p;
}

// Header: lines up to "end_header".
Header readHeader(const std::string &bytes, const std::string &label)
{
    HeaderLines lines(bytes, label);
    std::string line;
    if (!lines.next(line) || line != "ply") throw Error(label + ": not a PLY file (expected 'ply' on the first line)");
    Header h;
    bool haveFormat = false, ended = false;
    while (!ended && lines.next(line))
    {
        std::istringstream in(line);
        std::string word;
        if (!(in >> word) || word == "comment" || word == "obj_info") continue;
        if (word == "end_header")
            ended = true;
        else if (word == "format")
            h.format = parseFormat(in, lines), haveFormat = true;
        else if (word == "element")
            h.elements.push_back(parseElement(in, lines));
        else if (word == "property")
        {
            if (h.elements.empty()) lines.fail("property before any element");
            h.elements.back().props.push_back(parseProperty(in, lines));
        }
        else
            lines.fail("unknown header line '" + clipped(line, 96) + "'");
    }
    if (!ended) throw Error(label + ": PLY header has no 'end_header'");
    if (!haveFormat) throw Error(label + ": PLY header has no 'format' line");
    h.bodyStart = lines.pos;
    return h;
}

// Vertex properties to attributes: x, y, z -> P; nx.. -> N; red.. -> Cd;
// NAME_0, NAME_1, ... -> one tuple NAME; any other scalar -> NAME.
class VertexBinding
{
public:
    VertexBinding(const Element &e, GU_Detail &gdp) : targets(e.props.size()), myElement(e), myGdp(gdp), myAssigned(e.props.size(), false) {}
    std::vector<Target> targets;

    void bind(const std::string &label, std::vector<std::string> &warnings)
    {
        std::map<std::string, size_t> plain;
        std::map<std::string, std::map<int, size_t>> numbered;
        group(plain, numbered);
        const char *axes[] = {"x", "y", "z"}, *normals[] = {"nx", "ny", "nz"}, *colours[] = {"red", "green", "blue"};
        bool haveP = false;
        for (int a = 0; a < 3; ++a)
            if (plain.count(axes[a]))
            {
                size_t i = plain[axes[a]];
                targets[i].position = true;
                targets[i].component = a;
                myAssigned[i] = true;
                haveP = true;
            }
        if (!haveP) warnings.push_back(label + ": vertex element has no x, y, z; all points are at the origin");
        for (int a = 0; a < 3; ++a)
            if (plain.count(normals[a])) attach(plain[normals[a]], "N", 3, a, 1);
        for (int a = 0; a < 3; ++a)
            if (plain.count(colours[a]))
            {
                const ScalarType &t = myElement.props[plain[colours[a]]].type;
                attach(plain[colours[a]], "Cd", 3, a, t.isInt ? 1.0 / t.maxValue : 1.0);
            }
        for (auto &g : numbered)
        {
            const std::map<int, size_t> &comps = g.second;
            int n = int(comps.size());
            if (n < 2 || comps.begin()->first != 0 || comps.rbegin()->first != n - 1 || plain.count(g.first)) continue;
            for (auto &c : comps)
                if (!myAssigned[c.second]) attach(c.second, g.first.c_str(), n, c.first, 1);
        }
        for (size_t i = 0; i < myElement.props.size(); ++i)
            if (myElement.props[i].isList)
                warnings.push_back(label + ": skipping list property '" + myElement.props[i].name + "' of the vertex element");
            else if (!myAssigned[i])
                attach(i, myElement.props[i].name.c_str(), 1, 0, 1);
    }

private:
    const Element &myElement;
    GU_Detail &myGdp;
    std::vector<bool> myAssigned;

    void group(std::map<std::string, size_t> &plain, std::map<std::string, std::map<int, size_t>> &numbered) const
    {
        for (size_t i = 0; i < myElement.props.size(); ++i)
        {
            const Property &p = myElement.props[i];
            if (p.isList) continue;
            plain[p.name] = i;
            size_t us = p.name.rfind('_');
            if (us == std::string::npos || us == 0 || us + 1 == p.name.size()) continue;
            std::string digits = p.name.substr(us + 1);
            if (digits.size() > 2 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
            numbered[p.name.substr(0, us)][std::stoi(digits)] = i;
        }
    }
    void attach(size_t i, const char *attrib, int size, int comp, double scale)
    {
        targets[i].attrib = myGdp.addFloatTuple(GA_ATTRIB_POINT, attrib, size).getAttribute();
        targets[i].component = comp;
        targets[i].scale = scale;
        myAssigned[i] = true;
    }
};

void readVertices(const Element &e, BodyCursor &body, GA_Offset firstPoint, const std::vector<Target> &targets, GU_Detail &gdp)
{
    for (uint64_t v = 0; v < e.count; ++v)
    {
        GA_Offset pt = firstPoint + GA_Offset(v);
        UT_Vector3 P = gdp.getPos3(pt);
        for (size_t i = 0; i < e.props.size(); ++i)
        {
            const Property &p = e.props[i];
            if (p.isList)
            {
                double n = body.read(p.countType, "vertex " + std::to_string(v) + " " + p.name);
                if (n < 0 || n > double(body.remaining())) body.fail("bad list length for '" + p.name + "'");
                for (int64_t k = 0; k < int64_t(n); ++k) body.read(p.type, p.name);
                continue;
            }
            double value = body.read(p.type, "vertex " + std::to_string(v) + " " + p.name);
            const Target &t = targets[i];
            if (t.position)
                P[t.component] = float(value);
            else if (t.attrib)
                t.attrib->setF(pt, t.component, float(value * t.scale));
        }
        gdp.setPos3(pt, P);
    }
}

// Any other element: a face element's vertex list gives closed polygons; the
// rest is read past.
struct FaceReader
{
    BodyCursor &body;
    GU_Detail &gdp;
    GA_Offset firstPoint;
    uint64_t vertexCount;

    // Reads one list property; its indices become pts when it is the face list.
    void list(const Property &p, const std::string &what, bool isFaceList, std::vector<GA_Offset> &pts)
    {
        double n = body.read(p.countType, what);
        if (n < 0 || n > double(body.remaining())) body.fail("bad list length " + std::to_string(int64_t(n)) + " for " + what);
        for (int64_t k = 0; k < int64_t(n); ++k)
        {
            double idx = body.read(p.type, what);
            if (!isFaceList) continue;
            if (!p.type.isInt) body.fail("vertex indices of " + what + " must be integers");
            if (idx < 0 || idx >= double(vertexCount))
                body.fail("vertex index " + std::to_string(int64_t(idx)) + " out of range (" + std::to_string(vertexCount) + " vertices) in " + what);
            pts.push_back(firstPoint + GA_Offset(idx));
        }
    }

    // True when per-face properties other than the vertex list were passed over.
    bool read(const Element &e, int faceList)
    {
        bool skippedFaceProps = false;
        std::vector<GA_Offset> pts;
        for (uint64_t f = 0; f < e.count; ++f)
        {
            pts.clear();
            for (size_t i = 0; i < e.props.size(); ++i)
            {
                const Property &p = e.props[i];
                std::string what = e.name + " " + std::to_string(f) + " " + p.name;
                if (p.isList)
                    list(p, what, int(i) == faceList, pts);
                else
                    body.read(p.type, what), skippedFaceProps |= e.name == "face";
            }
            if (faceList >= 0 && !pts.empty()) GEO_PrimPoly::build(&gdp, pts, true);
        }
        return skippedFaceProps;
    }
};

int faceListProperty(const Element &e)
{
    if (e.name != "face") return -1;
    for (size_t i = 0; i < e.props.size(); ++i)
        if (e.props[i].isList && (e.props[i].name == "vertex_indices" || e.props[i].name == "vertex_index")) return int(i);
    return -1;
}

// An element needs at least this many bytes (ASCII: one digit and a space per
// value), which bounds any count before memory is reserved.
size_t minBytes(const Element &e, Format format)
{
    size_t n = 0;
    for (const Property &p : e.props) n += format == Format::Ascii ? 2 : size_t(p.isList ? p.countType.bytes : p.type.bytes);
    return n;
}
} // namespace

void readPly(const std::string &bytes, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings)
{
    const Header h = readHeader(bytes, label);
    BodyCursor body(bytes, h.bodyStart, h.format, label);
    FaceReader faces{body, gdp, 0, 0};
    bool seenVertex = false;
    for (const Element &e : h.elements)
    {
        size_t need = minBytes(e, h.format);
        if (need == 0) continue; // no properties: nothing stored
        // ASCII: the file's very last value needs no separator after it.
        if (e.count > (body.remaining() + (h.format == Format::Ascii ? 1 : 0)) / need)
            body.fail("element '" + e.name + "' claims " + std::to_string(e.count) + " entries, more than the file holds");
        if (e.name == "vertex" && !seenVertex)
        {
            seenVertex = true;
            faces.vertexCount = e.count;
            faces.firstPoint = gdp.appendPointBlock(GA_Size(e.count));
            VertexBinding binding(e, gdp);
            binding.bind(label, warnings);
            readVertices(e, body, faces.firstPoint, binding.targets, gdp);
            continue;
        }
        int faceList = faceListProperty(e);
        if (faceList < 0)
            warnings.push_back(label + ": skipping element '" + e.name + "' (" + std::to_string(e.count) + " entries)");
        else if (!seenVertex)
            body.fail("face element before the vertex element");
        if (faces.read(e, faceList)) warnings.push_back(label + ": skipping per-face properties other than the vertex list");
    }
    if (h.format != Format::Ascii && body.remaining() > 0)
        warnings.push_back(label + ": " + std::to_string(body.remaining()) + " bytes after the last element ignored");
}
} // namespace sopcook
