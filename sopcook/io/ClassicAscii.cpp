// SPDX-License-Identifier: Apache-2.0
// Classic ASCII geometry ("PGEOMETRY V5"): a header of counts, the point
// attribute definitions, one line per point ("x y z w (values)"), then the
// primitives. Points, point attributes and polygons ("Poly" and "Run N Poly")
// are read; the first primitive of another type ends the reading of
// primitives with a warning naming it.
#include <cstdlib>
#include <sstream>

#include "GEO/GEO_PrimPoly.h"
#include "io/ClassicGeometry.h"
#include "io/Where.h"

namespace sopcook
{
namespace
{
class Tokens
{
public:
    Tokens(const std::string &text, const std::string &label) : myLabel(label)
    {
        // Brackets and the open/closed marks stand alone even when written
        // against a number: "(1" -> "(", "1".
        std::string spaced;
        spaced.reserve(text.size() + text.size() / 4);
        for (char c : text)
        {
            bool mark = c == '(' || c == ')' || c == '[' || c == ']' || c == '<' || c == ':';
            if (mark) spaced += ' ';
            spaced += c;
            if (mark) spaced += ' ';
        }
        std::istringstream in(spaced);
        for (std::string t; in >> t;) myTokens.push_back(std::move(t));
    }
    bool done() const { return myPos >= myTokens.size(); }
    const std::string &peek() const
    {
        if (done()) fail("file ends early");
        return myTokens[myPos];
    }
    std::string next() { std::string t = peek(); ++myPos; return t; }
    void expect(const std::string &word)
    {
        if (next() != word) fail("expected \"" + word + "\", found \"" + myTokens[myPos - 1] + "\"");
    }
    double number()
    {
        std::string t = next();
        char *end = nullptr;
        double v = std::strtod(t.c_str(), &end);
        if (t.empty() || *end) fail("expected a number, found \"" + t + "\"");
        return v;
    }
    int64_t count(int64_t limit)
    {
        double v = number();
        if (!(v >= 0 && v <= double(limit)) || v != double(int64_t(v))) fail("count " + myTokens[myPos - 1] + " out of range");
        return int64_t(v);
    }
    // Skips a bracketed group "( ... )" or "[ ... ]" when one comes next.
    void skipGroup(const char *open, const char *close)
    {
        if (done() || peek() != open) return;
        while (next() != close) {}
    }
    [[noreturn]] void fail(const std::string &what) const
    {
        Where{myLabel, "token " + std::to_string(myPos)}.fail("classic ASCII geometry (PGEOMETRY): " + what);
    }

private:
    const std::string &myLabel;
    std::vector<std::string> myTokens;
    size_t myPos = 0;
};

struct ClassicAttrib
{
    std::string name;
    int size = 1;
    bool isIndex = false;
    std::vector<std::string> strings;
    GA_Attribute *attr = nullptr;
};

ClassicAttrib readDefinition(Tokens &in, GU_Detail &gdp)
{
    ClassicAttrib a;
    a.name = in.next();
    a.size = int(in.count(1 << 16));
    std::string type = in.next();
    if (a.size < 1) in.fail("attribute '" + a.name + "' has size 0");
    if (type == "index")
    {
        a.isIndex = true;
        int64_t n = in.count(1 << 24);
        for (int64_t i = 0; i < n; ++i) a.strings.push_back(in.next());
    }
    else if (type == "float" || type == "int" || type == "vector")
        for (int c = 0; c < a.size; ++c) in.number(); // defaults
    else
        in.fail("attribute '" + a.name + "' has type '" + type + "', which is not read (float, int, vector and index are)");
    if (a.name != "P")
        a.attr = gdp.addAttribute(GA_ATTRIB_POINT, a.name.c_str(), a.isIndex ? GA_STORECLASS_STRING : GA_STORECLASS_FLOAT, a.size);
    return a;
}

void readPoint(Tokens &in, GU_Detail &gdp, GA_Offset pt, std::vector<ClassicAttrib> &attribs)
{
    double x = in.number(), y = in.number(), z = in.number();
    in.number(); // w
    gdp.setPos3(pt, UT_Vector3(float(x), float(y), float(z)));
    if (attribs.empty()) return;
    in.expect("(");
    for (ClassicAttrib &a : attribs)
        for (int c = 0; c < a.size; ++c)
        {
            double v = in.number();
            if (!a.attr) continue;
            if (!a.isIndex)
                a.attr->setF(pt, c, float(v));
            else if (v >= 0 && v < double(a.strings.size()))
                a.attr->setS(pt, c, a.strings[size_t(v)]);
        }
    in.expect(")");
}

// One polygon: "N <" (closed) or "N :" (open), then N point numbers, each
// possibly followed by vertex values "( ... )", then primitive values "[ ... ]".
void readPolygon(Tokens &in, GU_Detail &gdp, int64_t points)
{
    int64_t n = in.count(points * 64 + 64);
    std::string mark = in.next();
    if (mark != "<" && mark != ":") in.fail("expected \"<\" or \":\" after the vertex count, found \"" + mark + "\"");
    std::vector<GA_Offset> pts;
    for (int64_t v = 0; v < n; ++v)
    {
        int64_t pt = in.count(points - 1);
        pts.push_back(GA_Offset(pt));
        in.skipGroup("(", ")");
    }
    in.skipGroup("[", "]");
    GEO_PrimPoly::build(&gdp, pts, mark == "<");
}

void readPrimitives(Tokens &in, GU_Detail &gdp, int64_t points, int64_t prims, const std::string &label, std::vector<std::string> &warnings)
{
    int64_t done = 0;
    while (done < prims)
    {
        std::string type = in.next();
        int64_t run = 1;
        if (type == "Run")
        {
            run = in.count(prims - done);
            type = in.next();
        }
        if (type != "Poly")
        {
            warnings.push_back(label + ": classic ASCII geometry: skipping " + std::to_string(prims - done) +
                               " primitive(s) from the first of type '" + type + "' on; only polygons are read");
            return;
        }
        for (int64_t i = 0; i < run; ++i) readPolygon(in, gdp, points);
        done += run;
    }
}
} // namespace

bool isClassicAscii(const std::string &bytes) { return bytes.compare(0, 9, "PGEOMETRY") == 0; }

void readClassicAscii(const std::string &text, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings)
{
    Tokens in(text, label);
    in.expect("PGEOMETRY");
    in.next(); // version
    const int64_t limit = int64_t(text.size());
    in.expect("NPoints");
    int64_t points = in.count(limit);
    in.expect("NPrims");
    int64_t prims = in.count(limit);
    in.expect("NPointGroups");
    in.count(limit);
    in.expect("NPrimGroups");
    in.count(limit);
    in.expect("NPointAttrib");
    int64_t pointAttribs = in.count(limit);
    int64_t otherAttribs = 0;
    for (const char *word : {"NVertexAttrib", "NPrimAttrib"})
    {
        in.expect(word);
        otherAttribs += in.count(limit);
    }
    in.expect("NAttrib");
    in.count(limit);
    if (otherAttribs > 0 && prims > 0)
        in.fail("vertex and primitive attributes are not read; save the file as JSON .geo from the host (or convert it with gconvert)");
    std::vector<ClassicAttrib> attribs;
    if (pointAttribs > 0) in.expect("PointAttrib");
    GA_Offset base = gdp.appendPointBlock(points);
    for (int64_t i = 0; i < pointAttribs; ++i) attribs.push_back(readDefinition(in, gdp));
    for (int64_t p = 0; p < points; ++p) readPoint(in, gdp, base + p, attribs);
    readPrimitives(in, gdp, points, prims, label, warnings);
}
} // namespace sopcook
