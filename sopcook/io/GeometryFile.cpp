#include "io/GeometryFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "Messages.h"

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

void readGeometryFile(const std::string &path, GU_Detail &gdp, std::vector<std::string> &warnings)
{
    std::string ext = lowerExtension(path);
    if (ext == "bgeo" || ext == "sc" || ext == "gz")
        throw Error(path + ": binary or compressed geometry is not supported; save it as ASCII .geo or .ply");
    if (ext != "geo" && ext != "json" && ext != "ply")
        throw Error(path + ": unknown geometry format '." + ext + "' (expected .geo, .json or .ply)");
    std::string bytes = readFileBytes(path);
    gdp.clearAndDestroy();
    if (ext == "ply")
        readPly(bytes, path, gdp, warnings);
    else
        readGeoJson(bytes, path, gdp, warnings);
}
} // namespace sopcook
