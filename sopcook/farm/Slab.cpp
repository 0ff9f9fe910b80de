// SPDX-License-Identifier: Apache-2.0
#include "farm/Slab.h"

#include <cmath>
#include <algorithm>
#include <cstdlib>

#include "Messages.h"
#include "cook/Frames.h"
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

SlabScope::SlabScope(const SlabPart &slab)
{
    UT_VoxelSlab s;
    if (slab.active()) s = {slab.index, slab.count};
    UT_VoxelSlab::setProcessSlab(s);
}

SlabScope::~SlabScope() { UT_VoxelSlab::setProcessSlab(UT_VoxelSlab()); }

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

FileMetadata slabMetadata(const CookOptions &o, const SlabPart &slab, int frame)
{
    if (!slab.active()) return {};
    // Everything that decides the voxels, in a fixed order: parts of one cook
    // carry the same text whatever order the options were given in.
    std::vector<std::string> settings = o.settings;
    std::sort(settings.begin(), settings.end());
    std::string text = "frame " + std::to_string(frame);
    if (!o.input.empty()) text += " -i " + expandFrame(o.input, frame);
    if (!o.bbox.empty()) text += " -b " + expandFrame(o.bbox, frame);
    if (!o.camera.empty()) text += " --camera " + expandFrame(o.camera, frame);
    for (const std::string &s : settings) text += " -s " + s;
    // Attribute defaults decide voxels too, in the order given (later ones win).
    for (const std::string &a : o.attribs) text += " -a " + a;
    for (const std::string &a : o.attribOverrides) text += " --attrib-override " + a;
    return {{slabmeta::op, o.op}, {slabmeta::parameters, text}, {slabmeta::slab, slab.text()}};
}
} // namespace sopcook
