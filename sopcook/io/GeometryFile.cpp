// SPDX-License-Identifier: Apache-2.0
#include "io/GeometryFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

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
    std::ostringstream buf;
    buf << in.rdbuf();
    if (in.bad()) throw Error(std::string(what) + " file " + path + ": read error");
    return buf.str();
}

// What input geometry can be, for messages about a file that is none of it.
static const char *const kGeometryFormats = "input geometry is host .geo/.bgeo (plain, .gz or .sc), classic geometry, PLY, OBJ, STL, glTF or FBX";

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
                   std::vector<std::string> &warnings)
{
    switch (sniffGeometryFormat(bytes, ext))
    {
    case GeometryFormat::JsonGeometry: return readGeoJson(bytes, label, gdp, warnings);
    case GeometryFormat::ClassicBinary: return readClassicBinary(bytes, label, gdp, warnings);
    case GeometryFormat::ClassicAscii: return readClassicAscii(bytes, label, gdp, warnings);
    case GeometryFormat::Ply: return readPly(bytes, label, gdp, warnings);
    case GeometryFormat::Obj: return readObj(bytes, label, gdp, warnings);
    case GeometryFormat::Stl: return readAssimp(bytes, label, "stl", gdp, warnings);
    case GeometryFormat::Gltf: return readAssimp(bytes, label, bytes.compare(0, 4, "glTF") == 0 ? "glb" : "gltf", gdp, warnings);
    case GeometryFormat::Fbx: return readAssimp(bytes, label, "fbx", gdp, warnings);
    case GeometryFormat::Unknown: break;
    }
    throw Error(label + ": unknown geometry format: " + describeContent(bytes) + " (" + kGeometryFormats + ")");
}
} // namespace

void readGeometryBytes(const std::string &bytes, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings)
{
    std::string ext = lowerExtension(label);
    if (ext == "gz" || ext == "sc") ext = lowerExtension(label.substr(0, label.size() - 3));
    if (isGzip(bytes)) return readUnwrapped(gunzip(bytes, label), label, ext, gdp, warnings);
    if (isBloscContainer(bytes)) return readUnwrapped(unpackBloscContainer(bytes, label), label, ext, gdp, warnings);
    readUnwrapped(bytes, label, ext, gdp, warnings);
}

void readGeometryFile(const std::string &path, GU_Detail &gdp, std::vector<std::string> &warnings)
{
    std::string bytes = readFileBytes(path);
    gdp.clearAndDestroy();
    readGeometryBytes(bytes, path, gdp, warnings);
}
} // namespace sopcook
