// SPDX-License-Identifier: Apache-2.0
// Classic binary geometry: "BgeoV", an int32 version, eight int32 counts,
// the point attribute definitions, then per point x, y, z, w and the
// attribute words. All big-endian. Primitives, groups and the other attribute
// classes follow the points; the point files this format still turns up in
// have none, so they are skipped with a warning.
#include <cstring>

#include "io/ClassicGeometry.h"
#include "io/Where.h"

namespace sopcook
{
namespace
{
enum ClassicType { Float = 0, Int = 1, Index = 4, Vector = 5 };

struct ClassicAttrib
{
    std::string name;
    int size = 1;
    int type = Float;
    std::vector<std::string> strings;
    GA_Attribute *attr = nullptr;
};

class BigEndianCursor
{
public:
    BigEndianCursor(const std::string &bytes, const std::string &label) : myBytes(bytes), myLabel(label) {}
    size_t pos = 0;

    const char *take(size_t n, const char *what)
    {
        if (n > myBytes.size() - pos) fail(std::string("file ends inside ") + what);
        const char *p = myBytes.data() + pos;
        pos += n;
        return p;
    }
    uint32_t u32(const char *what)
    {
        const auto *p = reinterpret_cast<const unsigned char *>(take(4, what));
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
    }
    uint16_t u16(const char *what)
    {
        const auto *p = reinterpret_cast<const unsigned char *>(take(2, what));
        return uint16_t(p[0] << 8 | p[1]);
    }
    int32_t i32(const char *what) { return int32_t(u32(what)); }
    float f32(const char *what)
    {
        uint32_t u = u32(what);
        float f;
        std::memcpy(&f, &u, 4);
        return f;
    }
    std::string string(const char *what)
    {
        uint16_t n = u16(what);
        return std::string(take(n, what), n);
    }
    size_t left() const { return myBytes.size() - pos; }
    std::string rest() const { return myBytes.substr(pos); }
    [[noreturn]] void fail(const std::string &what) const { failAt(pos, what); }
    [[noreturn]] void failAt(size_t at, const std::string &what) const
    {
        Where{myLabel, "", int64_t(at)}.fail("classic binary geometry (BgeoV): " + what);
    }

private:
    const std::string &myBytes;
    const std::string &myLabel;
};

ClassicAttrib readDefinition(BigEndianCursor &in)
{
    ClassicAttrib a;
    a.name = in.string("an attribute name");
    a.size = in.u16("an attribute size");
    a.type = in.i32("an attribute type");
    if (a.size < 1) in.fail("attribute '" + a.name + "' has size 0");
    if (a.type == Index)
    {
        int32_t n = in.i32("a string count");
        if (n < 0 || size_t(n) > in.left() / 2) in.fail("attribute '" + a.name + "': string count " + std::to_string(n) + " out of range");
        for (int32_t i = 0; i < n; ++i) a.strings.push_back(in.string("an attribute string"));
        return a;
    }
    if (a.type != Float && a.type != Int && a.type != Vector)
        in.fail("attribute '" + a.name + "' has type " + std::to_string(a.type) + ", which is not read (float, int, vector and index are)");
    in.take(size_t(a.size) * 4, "attribute defaults");
    return a;
}

void readPointValues(BigEndianCursor &in, ClassicAttrib &a, GA_Offset pt)
{
    for (int c = 0; c < a.size; ++c)
    {
        if (a.type == Index)
        {
            int32_t i = in.i32("a point's attribute value");
            // -1 is no string; anything else must name one of the definition's.
            if (i < -1 || (i >= 0 && size_t(i) >= a.strings.size()))
                in.failAt(in.pos - 4, "attribute '" + a.name + "': string index " + std::to_string(i) + " out of range (-1 for none, " +
                                          (a.strings.empty() ? "and no strings" : "0 to " + std::to_string(a.strings.size() - 1)) + ")");
            if (a.attr && i >= 0) a.attr->setS(pt, c, a.strings[size_t(i)]);
        }
        else if (a.type == Int)
        {
            int32_t v = in.i32("a point's attribute value");
            if (a.attr) a.attr->setF(pt, c, float(v));
        }
        else
        {
            float v = in.f32("a point's attribute value");
            if (a.attr) a.attr->setF(pt, c, v);
        }
    }
}
} // namespace

bool isClassicBinary(const std::string &bytes) { return bytes.compare(0, 5, "BgeoV") == 0; }

void readClassicBinary(const std::string &bytes, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings)
{
    BigEndianCursor in(bytes, label);
    in.take(5, "the magic");
    const int32_t version = in.i32("the version");
    if (version != 5) in.failAt(5, "version " + std::to_string(version) + " is not read (only version 5 is)");
    int32_t counts[8];
    for (int32_t &c : counts) c = in.i32("the element counts");
    const int32_t points = counts[0], prims = counts[1], pointAttribs = counts[4];
    for (int32_t c : counts)
        if (c < 0) in.fail("negative count " + std::to_string(c));
    if (size_t(points) > in.left() / 16) in.fail(std::to_string(points) + " points cannot fit in the file");
    std::vector<ClassicAttrib> attribs;
    for (int32_t i = 0; i < pointAttribs; ++i) attribs.push_back(readDefinition(in));
    GA_Offset base = gdp.appendPointBlock(points);
    for (ClassicAttrib &a : attribs)
        if (a.name != "P")
            a.attr = gdp.addAttribute(GA_ATTRIB_POINT, a.name.c_str(), a.type == Index ? GA_STORECLASS_STRING : GA_STORECLASS_FLOAT, a.size);
    for (int32_t p = 0; p < points; ++p)
    {
        float x = in.f32("a point"), y = in.f32("a point"), z = in.f32("a point");
        in.f32("a point");
        gdp.setPos3(base + p, UT_Vector3(x, y, z));
        for (ClassicAttrib &a : attribs) readPointValues(in, a, base + p);
    }
    // What follows the points is read only as far as telling a whole file
    // from one with bytes after its end: with nothing else declared, the
    // file ends here or with the closing 00 ff.
    const bool more = prims > 0 || counts[2] > 0 || counts[3] > 0 || counts[5] > 0 || counts[6] > 0 || counts[7] > 0;
    if (!more && in.left() > 0 && (in.left() != 2 || in.rest() != std::string("\x00\xff", 2)))
        in.fail(std::to_string(in.left()) + " byte(s) after the points, where the file should end (with 00 ff)");
    if (prims > 0)
        warnings.push_back(label + ": classic binary geometry (BgeoV version " + std::to_string(version) + "): skipping " +
                           std::to_string(prims) + " primitive(s); only points and point attributes are read");
    else if (more)
        warnings.push_back(label + ": classic binary geometry (BgeoV version " + std::to_string(version) +
                           "): skipping the groups and vertex, primitive and detail attributes; only points and point attributes are read");
}
} // namespace sopcook
