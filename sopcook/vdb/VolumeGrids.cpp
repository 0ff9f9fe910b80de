// SPDX-License-Identifier: Apache-2.0
#include "vdb/VolumeGrids.h"

#include <map>
#include <mutex>

#include "Messages.h"
#include "vdb/TileLeaves.h"

namespace sopcook
{
void initializeVdb()
{
    static std::once_flag once;
    std::call_once(once, [] { openvdb::initialize(); });
}

namespace
{
std::string primString(const GU_Detail &gdp, const char *attrib, GA_Offset prim)
{
    GA_Attribute *a = gdp.findAttribute(GA_ATTRIB_PRIMITIVE, attrib);
    if (!a || a->getStorageClass() != GA_STORECLASS_STRING) return "";
    return a->getS(prim);
}

// What every grid of a volume carries besides its values.
void describeGrid(openvdb::GridBase &grid, const GEO_PrimVolume &vol, const std::string &name, const std::string &dopobject)
{
    grid.setName(name);
    int n[3];
    vol.getRes(n[0], n[1], n[2]);
    grid.insertMeta("dopobject", openvdb::StringMetadata(dopobject));
    grid.insertMeta("resolution", openvdb::Vec3IMetadata(openvdb::Vec3i(n[0], n[1], n[2])));
    grid.setTransform(volumeTransform(vol));
}

// A volume of the detail with the names its grid gets.
struct Entry
{
    const GEO_PrimVolume *vol;
    GA_Offset prim;
    std::string name, dop;
};

std::vector<Entry> detailVolumes(const GU_Detail &gdp)
{
    std::vector<Entry> volumes;
    for (GA_Offset p = 0; p < gdp.getNumPrimitives(); ++p)
        if (auto *vol = dynamic_cast<const GEO_PrimVolume *>(gdp.getPrimitive(p)))
        {
            std::string name = primString(gdp, "name", p);
            if (name.empty()) name = "volume" + std::to_string(volumes.size());
            volumes.push_back({vol, p, name, primString(gdp, "dopobject", p)});
        }
    return volumes;
}

// The three volumes of one "base.x/y/z" triple laid out on the same grid.
struct Triple
{
    const GEO_PrimVolume *axis[3] = {nullptr, nullptr, nullptr};
    std::string dopobject;
    bool complete = false;
};

// Triples by base name, and the bases in the order of their first component.
struct Triples
{
    std::map<std::string, Triple> byBase;
    std::vector<std::string> order;

    // The base of a complete triple name belongs to, or "".
    std::string completeBase(const std::string &name) const
    {
        size_t n = name.size();
        if (n < 3 || name[n - 2] != '.') return "";
        auto it = byBase.find(name.substr(0, n - 2));
        return it != byBase.end() && it->second.complete ? it->first : "";
    }
};

bool sameLayout(const GEO_PrimVolume &a, const GEO_PrimVolume &b)
{
    int ra[3], rb[3];
    a.getRes(ra[0], ra[1], ra[2]);
    b.getRes(rb[0], rb[1], rb[2]);
    for (int i = 0; i < 3; ++i)
        if (ra[i] != rb[i]) return false;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            if (a.getTransform()(r, c) != b.getTransform()(r, c)) return false;
    UT_Vector3 ca = a.getCenter(), cb = b.getCenter();
    return ca.x() == cb.x() && ca.y() == cb.y() && ca.z() == cb.z() && a.getTaperX() == b.getTaperX() &&
           a.getTaperY() == b.getTaperY();
}

Triples findTriples(const std::vector<Entry> &volumes, std::vector<std::string> &warnings)
{
    Triples triples;
    for (const Entry &e : volumes)
    {
        size_t n = e.name.size();
        if (n < 3 || e.name[n - 2] != '.' || e.name[n - 1] < 'x' || e.name[n - 1] > 'z') continue;
        std::string base = e.name.substr(0, n - 2);
        auto [it, fresh] = triples.byBase.try_emplace(base);
        if (fresh)
        {
            it->second.dopobject = e.dop;
            triples.order.push_back(base);
        }
        const GEO_PrimVolume *&slot = it->second.axis[e.name[n - 1] - 'x'];
        if (!slot) slot = e.vol;
    }
    for (const std::string &base : triples.order)
    {
        Triple &t = triples.byBase[base];
        t.complete = t.axis[0] && t.axis[1] && t.axis[2];
        if (t.complete && !(sameLayout(*t.axis[0], *t.axis[1]) && sameLayout(*t.axis[0], *t.axis[2])))
        {
            warnings.push_back("'" + base + "' volumes differ in resolution or placement; no vector grid written for them");
            t.complete = false;
        }
    }
    return triples;
}

// A grid of the tree build() makes, described by describe(grid). Memory
// running out becomes an Error naming what, the parts already made left to
// the process's exit.
template <typename TreeT, typename Build, typename Describe>
typename openvdb::Grid<TreeT>::Ptr makeGrid(Build build, const std::string &what, Describe describe)
{
    typename TreeT::Ptr tree;
    typename openvdb::Grid<TreeT>::Ptr grid;
    try
    {
        tree = build();
        grid = openvdb::Grid<TreeT>::create(tree);
        tree.reset();
        describe(*grid);
        return grid;
    }
    catch (const std::bad_alloc &)
    {
        leakForExit(tree);
        leakForExit(grid);
        throw Error("out of memory converting " + what + " to a VDB grid");
    }
}

openvdb::Vec3SGrid::Ptr tripleToGrid(const std::string &base, const Triple &t)
{
    auto build = [&] {
        return vectorTreeFromTiles(*t.axis[0]->getVoxels(), *t.axis[1]->getVoxels(), *t.axis[2]->getVoxels());
    };
    return makeGrid<openvdb::Vec3STree>(build, "'" + base + "'", [&](openvdb::Vec3SGrid &grid) {
        // Velocities transform like displacements; colours do not transform.
        bool velocity = base == "vel" || base == "v";
        grid.setVectorType(velocity ? openvdb::VEC_CONTRAVARIANT_RELATIVE : openvdb::VEC_INVARIANT);
        describeGrid(grid, *t.axis[0], base, t.dopobject);
    });
}

// Each remark on a volume's placement once per file.
void noteTransform(const Entry &e, std::map<std::string, bool> &noted, std::vector<std::string> &warnings)
{
    std::string note;
    volumeTransform(*e.vol, &note);
    if (note.empty() || noted[note]) return;
    noted[note] = true;
    warnings.push_back("volume '" + e.name + "': " + note);
}

VolumeSummary summaryOf(const Entry &e)
{
    VolumeSummary s;
    s.name = e.name;
    e.vol->getRes(s.res[0], s.res[1], s.res[2]);
    s.voxels = uint64_t(s.res[0]) * uint64_t(s.res[1]) * uint64_t(s.res[2]);
    return s;
}

// The grids of volumes, one volume after another: its float grid, or, with
// VectorGrids::Only, its triple's vector grid at the triple's first volume.
void convertVolumes(const std::vector<Entry> &volumes, const Triples &triples, VectorGrids vectors,
                    openvdb::GridPtrVec &grids, std::vector<VolumeSummary> &summaries, std::vector<std::string> &warnings)
{
    std::map<std::string, bool> emitted, noted;
    for (const Entry &e : volumes)
    {
        VolumeSummary s = summaryOf(e);
        noteTransform(e, noted, warnings);
        std::string base = vectors == VectorGrids::Only ? triples.completeBase(e.name) : "";
        if (!base.empty())
        {
            if (!emitted[base]) grids.push_back(tripleToGrid(base, triples.byBase.at(base)));
            emitted[base] = true;
            // Counted, though written only as part of the vector grid.
            s.active = countNonZero(*e.vol->getVoxels(), s.nonFinite);
        }
        else
            grids.push_back(volumeToGrid(*e.vol, e.name, e.dop, &s.active, &s.nonFinite));
        summaries.push_back(s);
    }
}
} // namespace

openvdb::FloatGrid::Ptr volumeToGrid(const GEO_PrimVolume &vol, const std::string &name, const std::string &dopobject,
                                     uint64_t *active, NonFinite *nonFinite)
{
    uint64_t count = 0;
    NonFinite found;
    auto build = [&] { return floatTreeFromTiles(*vol.getVoxels(), &count, &found); };
    auto grid = makeGrid<openvdb::FloatTree>(build, "volume '" + name + "'", [&](openvdb::FloatGrid &grid) {
        grid.setGridClass(openvdb::GRID_FOG_VOLUME);
        describeGrid(grid, vol, name, dopobject);
    });
    if (active) *active = count;
    if (nonFinite && found.count > 0) nonFinite->add(found.first[0], found.first[1], found.first[2], found.count);
    return grid;
}

openvdb::GridPtrVec volumesToGrids(const GU_Detail &gdp, VectorGrids vectors, std::vector<VolumeSummary> &summaries,
                                   std::vector<std::string> &warnings)
{
    initializeVdb();
    const std::vector<Entry> volumes = detailVolumes(gdp);
    Triples triples;
    if (vectors != VectorGrids::None) triples = findTriples(volumes, warnings);

    openvdb::GridPtrVec grids;
    try
    {
        convertVolumes(volumes, triples, vectors, grids, summaries, warnings);
        if (vectors == VectorGrids::Also)
            for (const std::string &base : triples.order)
                if (triples.byBase.at(base).complete) grids.push_back(tripleToGrid(base, triples.byBase.at(base)));
    }
    catch (...)
    {
        leakForExit(grids);
        throw;
    }
    return grids;
}
std::vector<VolumeSummary> summarizeVolumes(const GU_Detail &gdp)
{
    std::vector<VolumeSummary> out;
    for (const Entry &e : detailVolumes(gdp))
    {
        VolumeSummary s = summaryOf(e);
        s.name = primString(gdp, "name", e.prim);
        s.active = countNonZero(*e.vol->getVoxels(), s.nonFinite);
        out.push_back(s);
    }
    return out;
}
} // namespace sopcook
