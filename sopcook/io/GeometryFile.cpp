// SPDX-License-Identifier: Apache-2.0
#include "io/GeometryFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <new>

#include "Messages.h"
#include "io/ClassicGeometry.h"
#include "io/Compressed.h"
#include "io/BinaryJson.h"
#include "io/FormatSniff.h"

namespace sopcook
{
std::string readFileBytes(const std::string &path, const char *what)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        throw Error(std::string(what) + " file " + path + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode)) throw Error(std::string(what) + " file " + path + ": is a directory");
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Error(std::string(what) + " file " + path + ": cannot open: " + std::strerror(errno));
    try
    {
        // One buffer of the file's size (a stream buffer would grow to twice it).
        std::string bytes;
        if (S_ISREG(st.st_mode)) bytes.reserve(size_t(st.st_size));
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.bad()) throw Error(std::string(what) + " file " + path + ": read error");
        return bytes;
    }
    catch (const std::bad_alloc &)
    {
        throw Error(std::string(what) + " file " + path + ": out of memory reading its " + byteText(double(st.st_size)));
    }
}

// What input geometry can be, for messages about a file that is none of it.
static const char *const kGeometryFormats = "input geometry is host .geo/.bgeo (plain, .gz or .sc), classic geometry, PLY, OBJ, STL, glTF, FBX or X3D";

static std::string lowerExtension(const std::string &path)
{
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string ext = path.substr(dot + 1);
    for (char &c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

namespace
{
// What the bytes are, after any compression is taken off.
void readUnwrapped(const std::string &bytes, const std::string &label, const std::string &ext, GU_Detail &gdp,
                   std::vector<std::string> &warnings, const ReadLimits &limits)
{
    switch (sniffGeometryFormat(bytes, ext))
    {
    case GeometryFormat::JsonGeometry: return readGeoJson(bytes, label, gdp, warnings, limits);
    case GeometryFormat::ClassicBinary: return readClassicBinary(bytes, label, gdp, warnings);
    case GeometryFormat::ClassicAscii: return readClassicAscii(bytes, label, gdp, warnings);
    case GeometryFormat::Ply: return readPly(bytes, label, gdp, warnings);
    case GeometryFormat::Obj: return readObj(bytes, label, gdp, warnings);
    case GeometryFormat::Stl: return readAssimp(bytes, label, "stl", gdp, warnings);
    case GeometryFormat::Gltf: return readAssimp(bytes, label, bytes.compare(0, 4, "glTF") == 0 ? "glb" : "gltf", gdp, warnings);
    case GeometryFormat::Fbx: return readAssimp(bytes, label, "fbx", gdp, warnings);
    case GeometryFormat::X3d: return readAssimp(bytes, label, "x3d", gdp, warnings);
    case GeometryFormat::Unknown: break;
    }
    throw Error(label + ": unknown geometry format: " + describeContent(bytes) + " (" + kGeometryFormats + ")");
}
} // namespace

void readGeometryBytes(const std::string &bytes, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings)
{
    std::string ext = lowerExtension(label);
    if (ext == "gz" || ext == "sc") ext = lowerExtension(label.substr(0, label.size() - 3));
    const ReadLimits limits = ReadLimits::forFile(double(bytes.size()));
    // The checks keep a read within the memory it claims; past them (a
    // document the JSON parser takes many times its size for), running out
    // of memory is still an error naming the file.
    try
    {
        if (isGzip(bytes)) return readUnwrapped(gunzip(bytes, label, limits), label, ext, gdp, warnings, limits);
        if (isBloscContainer(bytes))
            return readUnwrapped(unpackBloscContainer(bytes, label, limits), label, ext, gdp, warnings, limits);
        readUnwrapped(bytes, label, ext, gdp, warnings, limits);
    }
    catch (const std::bad_alloc &)
    {
        gdp.clearAndDestroy();
        throw Error(label + ": out of memory reading it (" + byteText(double(bytes.size())) + " on disk, " +
                    byteText(limits.memoryBytes) + " of memory available)");
    }
}

void readGeometryFile(const std::string &path, GU_Detail &gdp, std::vector<std::string> &warnings)
{
    std::string bytes = readFileBytes(path);
    gdp.clearAndDestroy();
    readGeometryBytes(bytes, path, gdp, warnings);
}
} // namespace sopcook
