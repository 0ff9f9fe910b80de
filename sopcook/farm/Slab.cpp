// SPDX-License-Identifier: Apache-2.0
#include "farm/Slab.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>
#include <vector>

#include <zlib.h>

#include "Messages.h"
#include "Version.h"
#include "cook/Frames.h"
#include "cook/InputAttributes.h"
#include "cook/ParmAssign.h"
#include "UT/UT_VoxelArray.h"

namespace sopcook
{
SlabPart parseSlab(const std::string &text)
{
    auto bad = [&](const std::string &why) { return Error("--slab " + text + ": " + why); };
    size_t slash = text.find('/');
    if (slash == std::string::npos) throw bad("expected I/N, slab I (from 0) of N");
    auto number = [&](const std::string &s) {
        char *end = nullptr;
        long v = std::strtol(s.c_str(), &end, 10);
        if (s.empty() || *end || v < 0 || v > 1000000) throw bad("expected I/N, slab I (from 0) of N");
        return int(v);
    };
    SlabPart slab;
    slab.index = number(text.substr(0, slash));
    slab.count = number(text.substr(slash + 1));
    if (slab.count < 1) throw bad("N must be 1 or more");
    if (slab.index >= slab.count) throw bad("slab " + std::to_string(slab.index) + " is out of range 0-" + std::to_string(slab.count - 1));
    return slab;
}

SlabScope::SlabScope(const SlabPart &) {}

SlabScope::~SlabScope() = default;

CookEstimate slabEstimate(const CookEstimate &whole, int count)
{
    CookEstimate e = whole;
    if (count <= 1 || whole.tiles <= 0) return e;
    // Slabs hold whole z tiles; the largest holds ceil(zTiles / count).
    double share = std::ceil(whole.zTiles / count) / std::max(whole.zTiles, 1.0);
    e.fullBytes = whole.indexBytes + (whole.fullBytes - whole.indexBytes) * share;
    e.grid += " (slab 1 of " + std::to_string(count) + ")";
    return e;
}

namespace
{
// The shortest of a few precisions that reads back as v exactly.
template <typename T>
std::string number(T v)
{
    char text[32];
    for (int digits : {std::numeric_limits<T>::digits10, std::numeric_limits<T>::max_digits10})
    {
        std::snprintf(text, sizeof text, "%.*g", digits, double(v));
        if (T(std::strtod(text, nullptr)) == v) break;
    }
    return text;
}

// "SIZE bytes, crc32 XXXXXXXX": a file's content, whatever its name.
std::string fileFingerprint(const std::string &path)
{
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) throw Error("cannot read " + path + " again to record it in the slab file: " + std::strerror(errno));
    std::vector<unsigned char> block(size_t(1) << 20);
    uLong crc = crc32_z(0L, Z_NULL, 0);
    uint64_t size = 0;
    for (size_t n; (n = std::fread(block.data(), 1, block.size(), f)) > 0; size += n) crc = crc32_z(crc, block.data(), n);
    const bool failed = std::ferror(f);
    std::fclose(f);
    if (failed) throw Error("cannot read " + path + " again to record it in the slab file");
    char text[64];
    std::snprintf(text, sizeof text, "%llu bytes, crc32 %08x", (unsigned long long)size, unsigned(crc));
    return text;
}

bool isRegularFile(const std::string &path)
{
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The plug-in's file by name and content, once per process and library.
std::string libraryFingerprint(const std::string &path)
{
    static std::mutex lock;
    static std::map<std::string, std::string> known;
    std::lock_guard<std::mutex> guard(lock);
    auto it = known.find(path);
    if (it != known.end()) return it->second;
    std::string name = path.substr(path.find_last_of('/') + 1);
    return known[path] = path.empty() ? "built in" : name + ", " + fileFingerprint(path);
}

// Every value parameter as the node holds it, in the operator's order, and
// the files its string parameters name.
void describeParameters(const OP_Node &node, double time, std::string &parameters, std::string &files)
{
    for (const PRM_Template *parm : valueParameters(*node.getOperator()))
    {
        const int size = parm->getVectorSize() > 0 ? parm->getVectorSize() : 1;
        std::string value;
        for (int i = 0; i < size; ++i)
        {
            if (i) value += ",";
            if (!parm->isStringType())
            {
                value += number(node.evalFloat(parm->getToken(), i, time));
                continue;
            }
            UT_String text;
            node.evalStringT(text, parm->getToken(), i, time, 0);
            value += text.toStdString();
            if (isRegularFile(text.toStdString()))
                files += std::string("; ") + parm->getToken() + ": " + fileFingerprint(text.toStdString());
        }
        parameters += std::string("; ") + parm->getToken() + "=" + value;
    }
}
} // namespace

FileMetadata slabMetadata(const CookOptions &o, const SlabPart &slab, int frame, const OP_Node &node)
{
    if (!slab.active()) return {};
    // What the cook used, not how it was asked for: the parameters' values
    // after every -s in order, the inputs' contents, the program.
    std::string parameters = "frame=" + std::to_string(frame), files;
    describeParameters(node, frameTime(frame), parameters, files);
    std::string inputs;
    auto input = [&](const char *flag, const std::string &pattern) {
        if (!pattern.empty()) inputs += std::string(inputs.empty() ? "" : "; ") + flag + ": " + fileFingerprint(expandFrame(pattern, frame));
    };
    input("-i", o.input);
    input("-b", o.bbox);
    input("--camera", o.camera);
    inputs += inputs.empty() && !files.empty() ? files.substr(2) : files;
    // Attribute defaults in the order they are applied (the order decides
    // which value a point ends up with), their values as parsed.
    std::string attributes;
    for (const AttributeDefault &d : parseAttributeDefaults(o.attribs, o.attribOverrides))
    {
        attributes += std::string(attributes.empty() ? "" : "; ") + (d.replace ? "--attrib-override " : "-a ") + d.name + "=";
        for (size_t c = 0; c < d.value.size(); ++c) attributes += (c ? "," : "") + number(d.value[c]);
    }
    return {{slabmeta::op, o.op},
            {slabmeta::version, versionText()},
            {slabmeta::library, libraryFingerprint(node.getOperator()->getDSOPath())},
            {slabmeta::inputs, inputs},
            {slabmeta::parameters, parameters},
            {slabmeta::attributes, attributes},
            {slabmeta::slab, slab.text()},
            {checksumKey, ""}};
}
} // namespace sopcook
