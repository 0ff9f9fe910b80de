// SPDX-License-Identifier: Apache-2.0
// Wavefront OBJ, read by a reader of our own: every `v` becomes a point in
// file order (so vertices no face uses stay points, and the point numbers are
// the file's), `f` closed polygons, `l` open curves with consecutive 2-vertex
// segments joined (mesh programs write a curve edge by edge), `p` nothing
// more than its points. `vn` and `vt` of a face corner become the point's N
// and uv (the last corner wins, as vertex attributes are promoted to points
// everywhere); `v x y z r g b` gives Cd. Indices may be negative (relative to
// the vertices so far) and take every `v/vt/vn` form. Coordinates are kept
// as stored: no axis or unit change.
#include <charconv>
#include <cmath>
#include <map>
#include <string_view>

#include "io/GeometryFile.h"
#include "io/MeshDetail.h"
#include "io/Where.h"

namespace sopcook
{
namespace
{
struct Corner
{
    int64_t v = -1, vt = -1, vn = -1; // 0-based; -1: not given
};

struct Statement
{
    enum Kind { Face, Curve, Points, Break } kind;
    size_t first = 0, count = 0; // its corners
    int64_t line = 0;
};

// Groups, materials and smoothing change nothing a volume shows.
bool ignoredKeyword(std::string_view k)
{
    for (const char *i : {"mtllib", "usemtl", "s", "lod", "mg", "maplib", "usemap", "shadow_obj", "trace_obj", "bevel", "c_interp", "d_interp"})
        if (k == i) return true;
    return false;
}

// Free-form curves and surfaces: not read, counted for one warning.
bool freeFormKeyword(std::string_view k)
{
    for (const char *i : {"vp", "cstype", "deg", "bmat", "step", "curv", "curv2", "surf", "parm", "trim", "hole", "scrv", "sp",
                          "end", "con", "ctech", "stech", "call", "csh"})
        if (k == i) return true;
    return false;
}

class ObjParser
{
public:
    ObjParser(const std::string &text, const std::string &label) : myText(text), myLabel(label) {}

    void parse()
    {
        size_t at = 0;
        std::string joined;
        while (at < myText.size())
        {
            size_t end = myText.find('\n', at);
            if (end == std::string::npos) end = myText.size();
            ++myLine;
            std::string_view line(myText.data() + at, end - at);
            at = end + 1;
            // A backslash at the end of a line continues it on the next.
            const int64_t first = myLine;
            while (endsWithBackslash(line) && at <= myText.size())
            {
                joined.assign(line.substr(0, line.find_last_of('\\')));
                joined += ' ';
                end = myText.find('\n', at);
                if (end == std::string::npos) end = myText.size();
                joined.append(myText, at, end - at);
                at = end + 1;
                ++myLine;
                line = joined;
            }
            statement(line, first);
        }
    }

    void build(GU_Detail &gdp, std::vector<std::string> &warnings) const
    {
        const int64_t points = int64_t(myPositions.size() / 3);
        for (const Statement &s : myStatements)
            for (size_t c = s.first; c < s.first + s.count; ++c) check(myCorners[c], s.line);
        MeshDetail mesh(gdp);
        const GA_Offset base = mesh.addPoints(points);
        for (int64_t p = 0; p < points; ++p)
        {
            mesh.setPosition(base + p, &myPositions[size_t(p) * 3]);
            if (!myColors.empty()) mesh.setColor(base + p, &myColors[size_t(p) * 3]);
        }
        std::vector<GA_Offset> pts;
        for (const Statement &s : myStatements)
        {
            if (s.kind == Statement::Points || s.kind == Statement::Break)
            {
                mesh.endChain();
                continue;
            }
            pts.clear();
            for (size_t c = s.first; c < s.first + s.count; ++c)
            {
                const Corner &k = myCorners[c];
                const GA_Offset pt = base + k.v;
                if (k.vn >= 0) mesh.setNormal(pt, &myNormals[size_t(k.vn) * 3]);
                if (k.vt >= 0) mesh.setUv(pt, &myUvs[size_t(k.vt) * 3]);
                pts.push_back(pt);
            }
            if (s.kind == Statement::Face) mesh.polygon(pts);
            else mesh.curve(pts);
        }
        mesh.endChain();
        for (auto &[what, n] : mySkipped)
            warnings.push_back(myLabel + ": skipping " + std::to_string(n) + " " + what);
    }

private:
    const std::string &myText;
    const std::string &myLabel;
    int64_t myLine = 0, myStatementLine = 0;
    std::vector<float> myPositions, myColors, myNormals, myUvs; // 3 per element
    std::vector<Corner> myCorners;
    std::vector<Statement> myStatements;
    std::map<std::string, int64_t> mySkipped; // what, how many

    static bool endsWithBackslash(std::string_view line)
    {
        size_t last = line.find_last_not_of(" \t\r");
        return last != std::string_view::npos && line[last] == '\\';
    }

    [[noreturn]] void fail(const std::string &what, int64_t line) const
    {
        throw Error(myLabel + ": line " + std::to_string(line) + ": " + what);
    }
    [[noreturn]] void fail(const std::string &what) const { fail(what, myStatementLine); }

    static std::vector<std::string_view> words(std::string_view line)
    {
        std::vector<std::string_view> out;
        size_t at = 0;
        while (true)
        {
            at = line.find_first_not_of(" \t\r\f", at);
            if (at == std::string_view::npos) break;
            size_t end = line.find_first_of(" \t\r\f", at);
            if (end == std::string_view::npos) end = line.size();
            out.push_back(line.substr(at, end - at));
            at = end;
        }
        return out;
    }

    static std::string quoted(std::string_view w)
    {
        std::string s(w.substr(0, 40));
        return "'" + s + (w.size() > 40 ? "...'" : "'");
    }

    float number(std::string_view w, std::string_view keyword) const
    {
        if (!w.empty() && w[0] == '+') w.remove_prefix(1);
        double v = 0;
        auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), v);
        if (ec == std::errc::result_out_of_range) return float(w[0] == '-' ? -HUGE_VAL : HUGE_VAL); // the cook names it
        if (ec != std::errc() || end != w.data() + w.size())
            fail("'" + std::string(keyword) + "': expected a number, found " + quoted(w));
        return float(v);
    }

    // Numbers 1..max after the keyword into out (3 values, missing ones 0).
    void numbers(const std::vector<std::string_view> &w, size_t min, size_t max, const char *shape, std::vector<float> &out) const
    {
        if (w.size() - 1 < min || w.size() - 1 > max)
            fail("'" + std::string(w[0]) + "' takes " + shape + ", found " + std::to_string(w.size() - 1) + " value(s)");
        for (size_t i = 0; i < 3; ++i) out.push_back(i + 1 < w.size() ? number(w[i + 1], w[0]) : 0.0f);
    }

    // One index of a corner: 1-based, or negative counting back from the
    // elements so far; -1 when empty.
    int64_t index(std::string_view w, size_t sofar, const char *what, std::string_view keyword) const
    {
        if (w.empty()) return -1;
        int64_t i = 0;
        auto [end, ec] = std::from_chars(w.data(), w.data() + w.size(), i);
        if (ec != std::errc() || end != w.data() + w.size())
            fail("'" + std::string(keyword) + "': expected a " + what + " index, found " + quoted(w));
        if (i == 0) fail("'" + std::string(keyword) + "': " + what + " index 0 (indices count from 1, or back from -1)");
        if (i > 0) return i - 1; // checked once the whole file is read: may name a later vertex
        if (-i > int64_t(sofar))
            fail("'" + std::string(keyword) + "': " + what + " index " + std::to_string(i) + " reaches before the first " + what + " (" +
                 std::to_string(sofar) + " so far)");
        return int64_t(sofar) + i;
    }

    Corner corner(std::string_view w, std::string_view keyword) const
    {
        Corner c;
        const size_t s1 = w.find('/');
        c.v = index(w.substr(0, s1), myPositions.size() / 3, "vertex", keyword);
        if (c.v < 0) fail("'" + std::string(keyword) + "': expected a vertex index, found " + quoted(w));
        if (s1 == std::string_view::npos) return c;
        std::string_view rest = w.substr(s1 + 1);
        const size_t s2 = rest.find('/');
        c.vt = index(rest.substr(0, s2), myUvs.size() / 3, "texture coordinate", keyword);
        if (s2 != std::string_view::npos) c.vn = index(rest.substr(s2 + 1), myNormals.size() / 3, "normal", keyword);
        return c;
    }

    void check(const Corner &c, int64_t line) const
    {
        auto in = [&](int64_t i, size_t n, const char *what, const char *key) {
            if (i >= int64_t(n))
                fail(std::string(what) + " index " + std::to_string(i + 1) + " out of range (the file has " + std::to_string(n) + " '" + key + "')", line);
        };
        in(c.v, myPositions.size() / 3, "vertex", "v");
        if (c.vt >= 0) in(c.vt, myUvs.size() / 3, "texture coordinate", "vt");
        if (c.vn >= 0) in(c.vn, myNormals.size() / 3, "normal", "vn");
    }

    void primitive(Statement::Kind kind, const std::vector<std::string_view> &w, size_t least, const char *skipped)
    {
        if (w.size() - 1 < least)
        {
            ++mySkipped[skipped];
            return;
        }
        Statement s{kind, myCorners.size(), w.size() - 1, myStatementLine};
        for (size_t i = 1; i < w.size(); ++i) myCorners.push_back(corner(w[i], w[0]));
        if (kind == Statement::Points) myCorners.resize(s.first), s.count = 0; // the indices were checked; points are points already
        myStatements.push_back(s);
    }

    void statement(std::string_view line, int64_t lineNo)
    {
        myStatementLine = lineNo;
        if (size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
        const std::vector<std::string_view> w = words(line);
        if (w.empty()) return;
        const std::string_view k = w[0];
        if (k == "v")
        {
            if (w.size() == 7) // x y z r g b
            {
                if (myColors.size() < myPositions.size()) myColors.resize(myPositions.size(), 0.0f);
                for (size_t i = 1; i < 4; ++i) myPositions.push_back(number(w[i], k));
                for (size_t i = 4; i < 7; ++i) myColors.push_back(number(w[i], k));
                return;
            }
            numbers(w, 3, 4, "3 numbers (x y z), 4 (x y z w) or 6 (x y z r g b)", myPositions);
            if (!myColors.empty()) myColors.resize(myPositions.size(), 0.0f);
        }
        else if (k == "vn")
            numbers(w, 3, 3, "3 numbers", myNormals);
        else if (k == "vt")
            numbers(w, 1, 3, "1 to 3 numbers", myUvs);
        else if (k == "f")
            primitive(Statement::Face, w, 3, "face(s) of fewer than 3 vertices");
        else if (k == "l")
            primitive(Statement::Curve, w, 2, "line(s) of a single vertex");
        else if (k == "p")
            primitive(Statement::Points, w, 1, "empty point statement(s)");
        else if (k == "o" || k == "g")
            myStatements.push_back({Statement::Break, 0, 0, lineNo});
        else if (ignoredKeyword(k))
            return;
        else if (freeFormKeyword(k))
            ++mySkipped["free-form curve and surface statement(s) ('" + std::string(k) + "'): only polygons, lines and points are read"];
        else
            ++mySkipped["line(s) of unknown statement " + quoted(k)];
    }
};
} // namespace

void readObj(const std::string &text, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings)
{
    ObjParser parser(text, label);
    parser.parse();
    parser.build(gdp, warnings);
}
} // namespace sopcook
