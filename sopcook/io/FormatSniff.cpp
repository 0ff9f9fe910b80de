// SPDX-License-Identifier: Apache-2.0
#include "io/FormatSniff.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string_view>

#include "io/BinaryJson.h"
#include "io/ClassicGeometry.h"

namespace sopcook
{
namespace
{
bool startsWith(const std::string &bytes, size_t at, const char *prefix, size_t n)
{
    return bytes.size() >= at + n && std::memcmp(bytes.data() + at, prefix, n) == 0;
}
template <size_t N> bool startsWith(const std::string &bytes, const char (&prefix)[N]) { return startsWith(bytes, 0, prefix, N - 1); }

// Where text starts: after a UTF-8 byte order mark and white space.
size_t textStart(const std::string &bytes)
{
    size_t at = startsWith(bytes, "\xef\xbb\xbf") ? 3 : 0;
    while (at < bytes.size() && bytes[at] != '\0' && std::strchr(" \t\r\n\f", bytes[at])) ++at;
    return at;
}

// Text: no control bytes but white space in the first few kilobytes (UTF-8
// passes: its multi-byte sequences are all above 0x7f).
bool looksLikeText(const std::string &bytes)
{
    const size_t n = std::min<size_t>(bytes.size(), 4096);
    for (size_t i = 0; i < n; ++i)
    {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') || c == 0x7f) return false;
    }
    return true;
}

// A binary STL: an 80-byte header, a triangle count, 50 bytes per triangle,
// nothing after.
bool isBinaryStl(const std::string &bytes)
{
    if (bytes.size() < 84) return false;
    const unsigned char *b = reinterpret_cast<const unsigned char *>(bytes.data()) + 80;
    const uint64_t n = uint64_t(b[0]) | uint64_t(b[1]) << 8 | uint64_t(b[2]) << 16 | uint64_t(b[3]) << 24;
    return bytes.size() == 84 + 50 * n;
}

// The first statement of a text file, skipping blank lines and '#' comments,
// when something follows it on its line (every OBJ statement takes values).
std::string firstKeyword(const std::string &text)
{
    size_t at = 0;
    while (at < text.size())
    {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        size_t word = text.find_first_not_of(" \t\r\f", at);
        if (word < end && text[word] != '#')
        {
            size_t stop = std::min(text.find_first_of(" \t\r\n\f", word), end);
            size_t value = text.find_first_not_of(" \t\r\f", stop);
            return value < end ? text.substr(word, stop - word) : "?";
        }
        at = end + 1;
    }
    return "";
}

bool isObjKeyword(const std::string &word)
{
    static const std::set<std::string> keywords = {"v",     "vt",    "vn",    "vp",   "f",      "l",      "p",      "o",
                                                   "g",     "s",     "mtllib", "usemtl", "cstype", "deg",  "curv",   "curv2",
                                                   "surf",  "parm",  "trim",  "hole", "scrv",   "sp",     "end",    "bmat",
                                                   "step",  "call",  "csh",   "maplib", "usemap", "lod",  "mg",     "bevel",
                                                   "c_interp", "d_interp", "shadow_obj", "trace_obj", "ctech", "stech"};
    return keywords.count(word) != 0;
}

// Within the first few kilobytes (enough for any header).
bool nearStart(const std::string &bytes, const char *word)
{
    return std::string_view(bytes.data(), std::min<size_t>(bytes.size(), 1 << 16)).find(word) != std::string_view::npos;
}
} // namespace

GeometryFormat sniffGeometryFormat(const std::string &bytes, const std::string &ext)
{
    if (isBinaryJson(bytes)) return GeometryFormat::JsonGeometry;
    if (isClassicBinary(bytes)) return GeometryFormat::ClassicBinary;
    if (isClassicAscii(bytes)) return GeometryFormat::ClassicAscii;
    if (startsWith(bytes, "ply\n") || startsWith(bytes, "ply\r\n")) return GeometryFormat::Ply;
    if (startsWith(bytes, "glTF")) return GeometryFormat::Gltf;
    if (startsWith(bytes, "Kaydara FBX Binary")) return GeometryFormat::Fbx;
    // Binary STL headers may begin with "solid" too: the exact size decides first.
    if (isBinaryStl(bytes)) return GeometryFormat::Stl;
    if (!looksLikeText(bytes))
    {
        // A binary STL cut short or padded cannot be told from other data:
        // the name lets the STL reader say what is wrong with it.
        return ext == "stl" && bytes.size() >= 84 ? GeometryFormat::Stl : GeometryFormat::Unknown;
    }

    const size_t at = textStart(bytes);
    if (at < bytes.size() && (bytes[at] == '[' || bytes[at] == '{'))
    {
        // glTF is a JSON object with an "asset"; host geometry always has a "pointcount".
        const bool gltf = nearStart(bytes, "\"asset\"") && !nearStart(bytes, "\"pointcount\"");
        return gltf ? GeometryFormat::Gltf : GeometryFormat::JsonGeometry;
    }
    if (startsWith(bytes, at, "solid", 5) && (nearStart(bytes, "facet") || nearStart(bytes, "endsolid"))) return GeometryFormat::Stl;
    // X3D's XML encoding: an X3D root element, after any XML declaration and doctype.
    if (bytes[at] == '<' && (startsWith(bytes, at, "<X3D", 4) || ((startsWith(bytes, at, "<?xml", 5) || startsWith(bytes, at, "<!DOCTYPE", 9)) && nearStart(bytes, "<X3D"))))
        return GeometryFormat::X3d;
    if (startsWith(bytes, at, "; FBX", 5) || (bytes[at] == ';' && nearStart(bytes, "FBXHeaderExtension"))) return GeometryFormat::Fbx;
    const std::string keyword = firstKeyword(bytes);
    if (isObjKeyword(keyword)) return GeometryFormat::Obj;
    if (keyword.empty() && ext == "obj") return GeometryFormat::Obj; // comments only: an empty scene's export
    return GeometryFormat::Unknown;
}

std::string describeContent(const std::string &bytes)
{
    if (bytes.empty()) return "the file is empty";
    struct Magic
    {
        const char *bytes;
        size_t size;
        const char *what;
    };
    static const Magic magics[] = {
        {"\x89PNG", 4, "a PNG image"},
        {"GIF8", 4, "a GIF image"},
        {"\xff\xd8\xff", 3, "a JPEG image"},
        {"II*\0", 4, "a TIFF image"},
        {"MM\0*", 4, "a TIFF image"},
        {"\x76\x2f\x31\x01", 4, "an OpenEXR image"},
        {" BDV", 4, "an OpenVDB volume (a .vdb output, not input geometry)"},
        {"BLENDER", 7, "a Blender file (export the object from Blender as OBJ, PLY, STL or glTF)"},
        {"Ogawa", 5, "an Alembic archive"},
        {"PXR-USDC", 8, "a USD file"},
        {"PK\x03\x04", 4, "a ZIP archive"},
        {"%PDF", 4, "a PDF document"},
        {"BZh", 3, "a bzip2-compressed file"},
        {"\xfd" "7zXZ", 5, "an xz-compressed file"},
        {"\x28\xb5\x2f\xfd", 4, "a zstd-compressed file"},
        {"7z\xbc\xaf", 4, "a 7-Zip archive"},
        {"\x7f" "ELF", 4, "a program or library (ELF)"},
    };
    for (const Magic &m : magics)
        if (startsWith(bytes, 0, m.bytes, m.size)) return std::string("looks like ") + m.what;
    if (!looksLikeText(bytes)) return "binary data";
    const size_t at = textStart(bytes);
    if (startsWith(bytes, at, "#X3D", 4) || startsWith(bytes, at, "#VRML", 5))
        return "looks like X3D or VRML in the classic encoding, which is not read: export X3D as XML (.x3d)";
    if (at == bytes.size()) return "nothing but white space";
    std::string line = bytes.substr(at, 200);
    line = line.substr(0, line.find_first_of("\r\n"));
    for (char &c : line)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (line.size() > 40)
    {
        size_t cut = 40;
        while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xc0) == 0x80) --cut; // whole UTF-8 characters
        line = line.substr(0, cut) + "...";
    }
    return "text starting '" + line + "'";
}
} // namespace sopcook
