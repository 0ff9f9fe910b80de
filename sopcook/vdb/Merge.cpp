// SPDX-License-Identifier: Apache-2.0
#include "vdb/Merge.h"

#include <map>

#include <tbb/parallel_for.h>

#include "Messages.h"
#include "vdb/SlabIdentity.h"
#include "vdb/VdbComplete.h"
#include "vdb/GridChecksum.h"
#include "vdb/GridJoin.h"
#include "vdb/VdbRead.h"
#include "vdb/VdbWriter.h"
#include "vdb/VolumeGrids.h"

namespace sopcook
{
namespace
{
std::string stringMeta(const openvdb::GridBase &grid, const char *name)
{
    auto m = grid.getMetadata<openvdb::StringMetadata>(name);
    return m ? m->value() : "";
}

std::string resolutionText(const openvdb::GridBase &grid)
{
    auto m = grid.getMetadata<openvdb::Vec3IMetadata>("resolution");
    if (!m) return "";
    const openvdb::Vec3i r = m->value();
    return std::to_string(r[0]) + "x" + std::to_string(r[1]) + "x" + std::to_string(r[2]);
}

// A grid marked as the partial result of an interrupted cook.
bool markedPartial(const openvdb::GridBase &grid) { return bool(grid[partialKey]); }

// One slab file: its grids and the cook they came from.
struct Part
{
    std::string path;
    openvdb::GridPtrVecPtr grids;
    SlabPart slab;
    std::map<std::string, std::string> identity; // slabmeta::identity keys
};

// Throws unless every grid's values match the checksum written with them.
void verifyChecksums(const Part &p)
{
    std::vector<std::string> problems(p.grids->size());
    tbb::parallel_for(size_t(0), p.grids->size(), [&](size_t g) {
        const openvdb::GridBase &grid = *(*p.grids)[g];
        const std::string written = stringMeta(grid, checksumKey);
        if (written.empty())
            problems[g] = "grid '" + grid.getName() + "' carries no value checksum (written by another sopcook version?)";
        else if (gridValueChecksum(grid) != written)
            problems[g] = "grid '" + grid.getName() + "' is damaged: its values do not match the checksum written with them";
    });
    for (const std::string &problem : problems)
        if (!problem.empty()) throw Error(p.path + ": " + problem + "; cook slab " + p.slab.text() + " again");
}

Part readPart(const std::string &path)
{
    Part p;
    p.path = path;
    p.grids = readVdbGrids(path);
    std::string incomplete = incompleteReason(path, *p.grids);
    if (!incomplete.empty()) throw Error(incomplete + "; not a slab to merge");
    const openvdb::GridBase &first = *p.grids->front();
    std::string slab = stringMeta(first, slabmeta::slab);
    if (slab.empty()) throw Error(path + ": not a slab file (no \"slab\" metadata: cook it with --slab I/N)");
    try
    {
        p.slab = slabFromText(slab);
    }
    catch (const Error &)
    {
        throw Error(path + ": unreadable slab metadata '" + slab + "'");
    }
    for (const char *key : slabmeta::identity) p.identity[key] = stringMeta(first, key);
    for (const auto &g : *p.grids)
    {
        if (stringMeta(*g, slabmeta::slab) != slab) throw Error(path + ": grid '" + g->getName() + "' is of another slab");
        if (markedPartial(*g)) throw Error(path + ": holds the partial result of an interrupted cook; cook slab " + slab + " again");
        for (const char *key : slabmeta::identity)
            if (stringMeta(*g, key) != p.identity[key]) throw Error(path + ": grid '" + g->getName() + "' is of another cook (" + key + ")");
    }
    verifyChecksums(p);
    return p;
}

// "; "-separated entries of an identity text.
std::vector<std::string> entries(const std::string &text)
{
    std::vector<std::string> out;
    for (size_t start = 0; start <= text.size();)
    {
        size_t end = text.find("; ", start);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

// The first entry where a and b differ, as "A and B", cut to a line.
std::string firstDifference(const std::string &a, const std::string &b)
{
    std::vector<std::string> x = entries(a), y = entries(b);
    size_t i = 0;
    while (i < x.size() && i < y.size() && x[i] == y[i]) ++i;
    auto shown = [](const std::vector<std::string> &e, size_t i) {
        std::string t = i < e.size() && !e[i].empty() ? e[i] : "(none)";
        for (char &c : t)
            if (c == '\n' || c == '\r') c = ' ';
        return t.size() > 200 ? t.substr(0, 200) + "..." : t;
    };
    return shown(x, i) + " and " + shown(y, i);
}

const char *identityLabel(const std::string &key)
{
    if (key == slabmeta::version) return "sopcook versions";
    if (key == slabmeta::library) return "operator libraries";
    if (key == slabmeta::inputs) return "input files";
    if (key == slabmeta::parameters) return "parameters";
    if (key == slabmeta::attributes) return "attribute defaults";
    return "operators";
}

// Throws unless part b is another slab of the cook part a is a slab of.
void checkSameCook(const Part &a, const Part &b)
{
    auto differ = [&](const std::string &what) {
        return Error(b.path + ": not a slab of the cook of " + a.path + " (" + what + " differ)");
    };
    for (const char *key : slabmeta::identity)
    {
        const std::string &x = a.identity.at(key), &y = b.identity.at(key);
        if (x != y)
            throw Error(b.path + ": not a slab of the cook of " + a.path + " (" + identityLabel(key) +
                        " differ: " + firstDifference(x, y) + ")");
    }
    if (a.slab.count != b.slab.count)
        throw differ("slab counts " + std::to_string(a.slab.count) + " and " + std::to_string(b.slab.count));
    if (a.grids->size() != b.grids->size()) throw differ("grid counts");
    for (size_t g = 0; g < a.grids->size(); ++g)
    {
        const openvdb::GridBase &x = *(*a.grids)[g], &y = *(*b.grids)[g];
        if (x.getName() != y.getName() || x.type() != y.type()) throw differ("grids '" + x.getName() + "' and '" + y.getName() + "'");
        if (resolutionText(x) != resolutionText(y)) throw differ("resolutions " + resolutionText(x) + " and " + resolutionText(y));
        if (x.transform() != y.transform()) throw differ("transforms of '" + x.getName() + "'");
    }
}

// Parts ordered by slab number; throws when one is missing or doubled.
std::vector<const Part *> orderSlabs(const std::vector<Part> &parts)
{
    const int n = parts.front().slab.count;
    std::vector<const Part *> bySlab(size_t(n), nullptr);
    for (const Part &p : parts)
    {
        const Part *&slot = bySlab[size_t(p.slab.index)];
        if (slot) throw Error("slab " + p.slab.text() + " given twice: " + slot->path + " and " + p.path);
        slot = &p;
    }
    std::string missing;
    for (int i = 0; i < n; ++i)
        if (!bySlab[size_t(i)]) missing += (missing.empty() ? "" : ", ") + std::to_string(i) + "/" + std::to_string(n);
    if (!missing.empty()) throw Error("merge: slab" + std::string(missing.find(',') == std::string::npos ? " " : "s ") + missing + " missing");
    return bySlab;
}

// Grid g of every slab joined into the first slab's grid, without the
// metadata that marks a slab.
openvdb::GridBase::Ptr joinSlabs(const std::vector<const Part *> &slabs, size_t g)
{
    openvdb::GridBase::Ptr into = (*slabs.front()->grids)[g];
    for (size_t s = 1; s < slabs.size(); ++s)
    {
        openvdb::GridBase &from = *(*slabs[s]->grids)[g];
        if (joinGrid(*into, from) == JoinWay::Unsupported)
            throw Error(slabs[s]->path + ": grid '" + from.getName() + "' has a value type merge does not handle (" + from.valueType() + ")");
    }
    into->removeMeta(slabmeta::slab);
    into->removeMeta(checksumKey);
    for (const char *name : slabmeta::identity) into->removeMeta(name);
    return into;
}
} // namespace

void mergeSlabFiles(const std::string &out, const std::vector<std::string> &paths)
{
    if (paths.empty()) throw Error("merge: no slab files given");
    initializeVdb();
    std::vector<Part> parts(paths.size());
    tbb::parallel_for(size_t(0), paths.size(), [&](size_t i) { parts[i] = readPart(paths[i]); });
    for (size_t i = 1; i < parts.size(); ++i) checkSameCook(parts.front(), parts[i]);
    std::vector<const Part *> slabs = orderSlabs(parts);

    openvdb::GridPtrVec merged(parts.front().grids->size());
    tbb::parallel_for(size_t(0), merged.size(), [&](size_t g) { merged[g] = joinSlabs(slabs, g); });
    writeGridsVdb(merged, out);
}

} // namespace sopcook
