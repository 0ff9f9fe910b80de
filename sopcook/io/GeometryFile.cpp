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
bool looksLikeAsciiJson(const std::string &bytes)
{
    size_t first = bytes.find_first_not_of(" \t\r\n");
    return first != std::string::npos && (bytes[first] == '[' || bytes[first] == '{');
}

// What the bytes are, after any compression is taken off.
void readUnwrapped(const std::string &bytes, const std::string &label, const std::string &ext, GU_Detail &gdp,
                   std::vector<std::string> &warnings)
{
    if (isBinaryJson(bytes) || looksLikeAsciiJson(bytes)) return readGeoJson(bytes, label, gdp, warnings);
    if (isClassicBinary(bytes)) return readClassicBinary(bytes, label, gdp, warnings);
    if (isClassicAscii(bytes)) return readClassicAscii(bytes, label, gdp, warnings);
    if (bytes.compare(0, 3, "ply") == 0 || ext == "ply") return readPly(bytes, label, gdp, warnings);
    if (ext == "geo" || ext == "json" || ext == "bgeo") return readGeoJson(bytes, label, gdp, warnings);
    throw Error(label + ": unknown geometry format (expected JSON geometry .geo/.bgeo, classic geometry or .ply)");
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
    std::string ext = lowerExtension(path);
    static const char *known[] = {"geo", "json", "bgeo", "ply", "gz", "sc", "bhclassic", "hclassic"};
    if (std::find(std::begin(known), std::end(known), ext) == std::end(known))
        throw Error(path + ": unknown geometry format '." + ext + "' (expected .geo, .bgeo, .bgeo.gz, .bgeo.sc, .json or .ply)");
    std::string bytes = readFileBytes(path);
    gdp.clearAndDestroy();
    readGeometryBytes(bytes, path, gdp, warnings);
}
} // namespace sopcook
