#include "vdb/VolumeGrids.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>

#include "cook/Interrupts.h"
#include "Messages.h"
#include "vdb/Resample.h"

namespace sopcook
{
using openvdb::math::Mat4d;
using openvdb::math::Vec3d;

void initializeVdb()
{
    static std::once_flag once;
    std::call_once(once, [] { openvdb::initialize(); });
}

static std::string primString(const GU_Detail &gdp, const char *attrib, GA_Offset prim)
{
    GA_Attribute *a = gdp.findAttribute(GA_ATTRIB_PRIMITIVE, attrib);
    if (!a || a->getStorageClass() != GA_STORECLASS_STRING) return "";
    return a->getS(prim);
}

// Rows of the volume's 3x3 transform in double; a zero row (a box flat on
// one axis) gets a tiny length so the map stays invertible.
static void volumeAxes(const GEO_PrimVolume &vol, Vec3d rows[3], std::string *note)
{
    const UT_Matrix3 &X = vol.getTransform();
    double longest = 0;
    for (int r = 0; r < 3; ++r)
    {
        rows[r] = Vec3d(X(r, 0), X(r, 1), X(r, 2));
        longest = std::max(longest, rows[r].length());
    }
    for (int r = 0; r < 3; ++r)
        if (rows[r].length() == 0)
        {
            Vec3d axis(0.0);
            axis[r] = longest > 0 ? longest * 1e-6 : 1e-6;
            rows[r] = axis;
            if (note) *note = "the volume is flat on one axis; its VDB transform gives that axis a minimal thickness";
        }
}

openvdb::math::Transform::Ptr volumeTransform(const GEO_PrimVolume &vol, std::string *note)
{
    int n[3];
    vol.getRes(n[0], n[1], n[2]);
    for (int a = 0; a < 3; ++a) n[a] = std::max(n[a], 1);
    Vec3d rows[3];
    volumeAxes(vol, rows, note);
    UT_Vector3 centre = vol.getCenter();
    Vec3d C(centre.x(), centre.y(), centre.z());

    double tx = vol.getTaperX(), ty = vol.getTaperY();
    if (vol.isTapered() && tx == ty && tx > 0)
    {
        // Frustum over the index box [-0.5, n - 0.5] with depth 1: index
        // (i, j, k) lands at x' = c.x * g / 2, y' = c.y * g * ny / (2 nx),
        // z' = (c.z + 1) / 2 with g = 1 + (1/taper - 1) z'. The volume scales
        // canonical x, y by tx * g at that depth, so the second, linear map
        // is rows (2 tx X0, 2 tx nx/ny X1, 2 X2) with translation C - X2.
        Mat4d second = Mat4d::identity();
        Vec3d r0 = rows[0] * (2.0 * tx);
        Vec3d r1 = rows[1] * (2.0 * tx * double(n[0]) / double(n[1]));
        Vec3d r2 = rows[2] * 2.0;
        Vec3d t = C - rows[2];
        for (int c = 0; c < 3; ++c)
        {
            second(0, c) = r0[c];
            second(1, c) = r1[c];
            second(2, c) = r2[c];
            second(3, c) = t[c];
        }
        openvdb::BBoxd box(Vec3d(-0.5), Vec3d(n[0] - 0.5, n[1] - 0.5, n[2] - 0.5));
        openvdb::math::MapBase::Ptr linear(new openvdb::math::AffineMap(second));
        openvdb::math::MapBase::Ptr frustum(new openvdb::math::NonlinearFrustumMap(box, tx, 1.0, linear));
        return openvdb::math::Transform::Ptr(new openvdb::math::Transform(frustum));
    }
    if (vol.isTapered() && note)
        *note = "x and y tapers differ (" + std::to_string(tx) + ", " + std::to_string(ty) +
                "); VDB frustums have one taper, so the grid is written untapered";

    // Canonical c = 2 (i + 0.5) / n - 1 = i * 2/n + (1/n - 1), then p = c X + C.
    Mat4d m = Mat4d::identity();
    Vec3d t = C;
    for (int r = 0; r < 3; ++r)
    {
        Vec3d row = rows[r] * (2.0 / double(n[r]));
        for (int c = 0; c < 3; ++c) m(r, c) = row[c];
        t += rows[r] * (1.0 / double(n[r]) - 1.0);
    }
    for (int c = 0; c < 3; ++c) m(3, c) = t[c];
    // Written so that a NaN determinant (a box with non-finite bounds) fails too.
    if (!(std::fabs(m.det()) >= 1e-300) || !std::isfinite(m.det()))
        throw Error("a volume has a degenerate or non-finite transform and cannot be written as a VDB grid");
    return openvdb::math::Transform::createLinearTransform(m);
}

// OpenVDB frees a tree with work that itself allocates, which ends the
// process when memory has run out. Grids given up for lack of memory are
// therefore left to the process's exit, which follows the error.
template <typename T>
static void leakForExit(T &grids)
{
    new T(std::move(grids));
}

// Calls f(i, j, k, offset-in-tile, tile data) for every voxel of every
// allocated tile inside the grid; untouched tiles are skipped.
template <typename F>
static void forEachAllocatedTile(const UT_VoxelArrayF &voxels, F f)
{
    const int T = UT_VoxelArrayF::TILESIZE;
    for (int tz = 0; tz < voxels.getTileRes(2); ++tz)
        for (int ty = 0; ty < voxels.getTileRes(1); ++ty)
            for (int tx = 0; tx < voxels.getTileRes(0); ++tx)
                f(tx * T, ty * T, tz * T, voxels.tileData(tx, ty, tz));
}

openvdb::FloatGrid::Ptr volumeToGrid(const GEO_PrimVolume &vol, const std::string &name, const std::string &dopobject,
                                     uint64_t *active, NonFinite *nonFinite)
{
    NonFinite unused;
    NonFinite &bad = nonFinite ? *nonFinite : unused;
    openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
    grid->setName(name);
    grid->setGridClass(openvdb::GRID_FOG_VOLUME);
    int n[3];
    vol.getRes(n[0], n[1], n[2]);
    grid->insertMeta("dopobject", openvdb::StringMetadata(dopobject));
    grid->insertMeta("resolution", openvdb::Vec3IMetadata(openvdb::Vec3i(n[0], n[1], n[2])));
    grid->setTransform(volumeTransform(vol));

    const UT_VoxelArrayF &voxels = *vol.getVoxels();
    const int T = UT_VoxelArrayF::TILESIZE;
    auto acc = grid->getAccessor();
    uint64_t count = 0;
    float background = voxels.getBackground();
    try
    {
        forEachAllocatedTile(voxels, [&](int x0, int y0, int z0, const float *tile) {
            if (!tile)
            {
                if (background == 0.0f) return;
                if (!std::isfinite(background))
                    bad.add(x0, y0, z0, uint64_t(std::min(T, n[0] - x0)) * std::min(T, n[1] - y0) * std::min(T, n[2] - z0));
                for (int z = z0; z < std::min(z0 + T, n[2]); ++z)
                    for (int y = y0; y < std::min(y0 + T, n[1]); ++y)
                        for (int x = x0; x < std::min(x0 + T, n[0]); ++x, ++count) acc.setValue(openvdb::Coord(x, y, z), background);
                return;
            }
            for (int z = z0; z < std::min(z0 + T, n[2]); ++z)
                for (int y = y0; y < std::min(y0 + T, n[1]); ++y)
                    for (int x = x0; x < std::min(x0 + T, n[0]); ++x)
                    {
                        float v = tile[voxels.voxelOffset(x, y, z)];
                        if (v == 0.0f) continue;
                        if (!std::isfinite(v)) bad.add(x, y, z);
                        acc.setValue(openvdb::Coord(x, y, z), v);
                        ++count;
                    }
        });
    }
    catch (const std::bad_alloc &)
    {
        leakForExit(grid);
        throw Error("out of memory converting volume '" + name + "' to a VDB grid");
    }
    if (active) *active = count;
    return grid;
}

static uint64_t countActive(const GEO_PrimVolume &vol, NonFinite &bad)
{
    int n[3];
    vol.getRes(n[0], n[1], n[2]);
    const int T = UT_VoxelArrayF::TILESIZE;
    uint64_t count = 0;
    forEachAllocatedTile(*vol.getVoxels(), [&](int x0, int y0, int z0, const float *tile) {
        if (!tile) return;
        for (int z = z0; z < std::min(z0 + T, n[2]); ++z)
            for (int y = y0; y < std::min(y0 + T, n[1]); ++y)
                for (int x = x0; x < std::min(x0 + T, n[0]); ++x)
                {
                    float v = tile[vol.getVoxels()->voxelOffset(x, y, z)];
                    count += v != 0.0f;
                    if (!std::isfinite(v)) bad.add(x, y, z);
                }
    });
    return count;
}

// The three volumes of one "base.x/y/z" triple laid out on the same grid.
struct Triple
{
    const GEO_PrimVolume *axis[3] = {nullptr, nullptr, nullptr};
    GA_Offset first = -1;
    std::string dopobject;
};

static bool sameLayout(const GEO_PrimVolume &a, const GEO_PrimVolume &b)
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

static openvdb::Vec3SGrid::Ptr tripleToGrid(const std::string &base, const Triple &t)
{
    openvdb::Vec3SGrid::Ptr grid = openvdb::Vec3SGrid::create(openvdb::Vec3s(0.0f));
    grid->setName(base);
    // Velocities transform like displacements; colours do not transform.
    bool velocity = base == "vel" || base == "v";
    grid->setVectorType(velocity ? openvdb::VEC_CONTRAVARIANT_RELATIVE : openvdb::VEC_INVARIANT);
    int n[3];
    t.axis[0]->getRes(n[0], n[1], n[2]);
    grid->insertMeta("dopobject", openvdb::StringMetadata(t.dopobject));
    grid->insertMeta("resolution", openvdb::Vec3IMetadata(openvdb::Vec3i(n[0], n[1], n[2])));
    grid->setTransform(volumeTransform(*t.axis[0]));
    const UT_VoxelArrayF *v[3] = {t.axis[0]->getVoxels(), t.axis[1]->getVoxels(), t.axis[2]->getVoxels()};
    const int T = UT_VoxelArrayF::TILESIZE;
    auto acc = grid->getAccessor();
    try
    {
        for (int tz = 0; tz < v[0]->getTileRes(2); ++tz)
            for (int ty = 0; ty < v[0]->getTileRes(1); ++ty)
                for (int tx = 0; tx < v[0]->getTileRes(0); ++tx)
                {
                    const float *tile[3] = {v[0]->tileData(tx, ty, tz), v[1]->tileData(tx, ty, tz), v[2]->tileData(tx, ty, tz)};
                    if (!tile[0] && !tile[1] && !tile[2]) continue;
                    for (int z = tz * T; z < std::min(tz * T + T, n[2]); ++z)
                        for (int y = ty * T; y < std::min(ty * T + T, n[1]); ++y)
                            for (int x = tx * T; x < std::min(tx * T + T, n[0]); ++x)
                            {
                                int o = v[0]->voxelOffset(x, y, z);
                                openvdb::Vec3s value(tile[0] ? tile[0][o] : 0.0f, tile[1] ? tile[1][o] : 0.0f, tile[2] ? tile[2][o] : 0.0f);
                                if (value[0] != 0.0f || value[1] != 0.0f || value[2] != 0.0f) acc.setValue(openvdb::Coord(x, y, z), value);
                            }
                }
    }
    catch (const std::bad_alloc &)
    {
        leakForExit(grid);
        throw Error("out of memory converting '" + base + "' to a VDB grid");
    }
    return grid;
}

openvdb::GridPtrVec volumesToGrids(const GU_Detail &gdp, VectorGrids vectors, std::vector<VolumeSummary> &summaries,
                                   std::vector<std::string> &warnings)
{
    initializeVdb();
    struct Entry
    {
        const GEO_PrimVolume *vol;
        GA_Offset prim;
        std::string name, dop;
    };
    std::vector<Entry> volumes;
    for (GA_Offset p = 0; p < gdp.getNumPrimitives(); ++p)
        if (auto *vol = dynamic_cast<const GEO_PrimVolume *>(gdp.getPrimitive(p)))
        {
            std::string name = primString(gdp, "name", p);
            if (name.empty()) name = "volume" + std::to_string(volumes.size());
            volumes.push_back({vol, p, name, primString(gdp, "dopobject", p)});
        }

    // Complete triples, by base name, in the order of their first component.
    std::map<std::string, Triple> triples;
    std::vector<std::string> tripleOrder;
    if (vectors != VectorGrids::None)
        for (const Entry &e : volumes)
        {
            size_t n = e.name.size();
            if (n < 3 || e.name[n - 2] != '.' || e.name[n - 1] < 'x' || e.name[n - 1] > 'z') continue;
            std::string base = e.name.substr(0, n - 2);
            Triple &t = triples[base];
            if (t.first < 0)
            {
                t.first = e.prim;
                t.dopobject = e.dop;
                tripleOrder.push_back(base);
            }
            if (!t.axis[e.name[n - 1] - 'x']) t.axis[e.name[n - 1] - 'x'] = e.vol;
        }
    std::map<std::string, bool> complete;
    for (const std::string &base : tripleOrder)
    {
        const Triple &t = triples[base];
        bool ok = t.axis[0] && t.axis[1] && t.axis[2];
        if (ok && !(sameLayout(*t.axis[0], *t.axis[1]) && sameLayout(*t.axis[0], *t.axis[2])))
        {
            warnings.push_back("'" + base + "' volumes differ in resolution or placement; no vector grid written for them");
            ok = false;
        }
        complete[base] = ok;
    }
    auto tripleOf = [&](const std::string &name) -> std::string {
        size_t n = name.size();
        if (n < 3 || name[n - 2] != '.') return "";
        std::string base = name.substr(0, n - 2);
        auto it = complete.find(base);
        return it != complete.end() && it->second ? base : "";
    };

    openvdb::GridPtrVec grids;
    try
    {
        std::map<std::string, bool> emitted;
        std::map<std::string, bool> noted; // each remark once per file
        for (const Entry &e : volumes)
        {
            VolumeSummary s;
            s.name = e.name;
            e.vol->getRes(s.res[0], s.res[1], s.res[2]);
            s.voxels = uint64_t(s.res[0]) * uint64_t(s.res[1]) * uint64_t(s.res[2]);
            std::string base = tripleOf(e.name);
            std::string volNote;
            volumeTransform(*e.vol, &volNote);
            if (!volNote.empty() && !noted[volNote])
            {
                noted[volNote] = true;
                warnings.push_back("volume '" + e.name + "': " + volNote);
            }
            if (vectors == VectorGrids::Only && !base.empty())
            {
                if (!emitted[base]) grids.push_back(tripleToGrid(base, triples[base]));
                emitted[base] = true;
                // Counted, though written only as part of the vector grid.
                s.active = countActive(*e.vol, s.nonFinite);
                summaries.push_back(s);
                continue;
            }
            grids.push_back(volumeToGrid(*e.vol, e.name, e.dop, &s.active, &s.nonFinite));
            summaries.push_back(s);
    }
    if (vectors == VectorGrids::Also)
        for (const std::string &base : tripleOrder)
            if (complete[base]) grids.push_back(tripleToGrid(base, triples[base]));
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
    for (GA_Offset p = 0; p < gdp.getNumPrimitives(); ++p)
    {
        auto *vol = dynamic_cast<const GEO_PrimVolume *>(gdp.getPrimitive(p));
        if (!vol) continue;
        VolumeSummary s;
        s.name = primString(gdp, "name", p);
        vol->getRes(s.res[0], s.res[1], s.res[2]);
        s.voxels = uint64_t(s.res[0]) * uint64_t(s.res[1]) * uint64_t(s.res[2]);
        s.active = countActive(*vol, s.nonFinite);
        out.push_back(s);
    }
    return out;
}

namespace
{
// The archive a .vdb file holds, written to a stream sopcook checks:
// openvdb::io::File::write does not notice a write that fails (a full disk,
// a file-size limit) and leaves a truncated file behind as if complete.
struct CheckedArchive : openvdb::io::Archive
{
    void writeTo(std::ostream &os, const openvdb::GridPtrVec &grids) const { write(os, grids, /*seekable=*/true); }
};

std::runtime_error writeFailure(int err) { return std::runtime_error(std::strerror(err ? err : EIO)); }
} // namespace

// Writes grids to path, then flushes them to the disk; throws on any failure.
static void writeArchiveChecked(const std::string &path, const openvdb::GridPtrVec &grids)
{
    std::ofstream os(path, std::ios::out | std::ios::binary | std::ios::trunc);
    if (!os) throw writeFailure(errno);
    errno = 0;
    CheckedArchive().writeTo(os, grids);
    os.flush();
    // The stream stops writing at the first failure; errno still holds why.
    if (!os) throw writeFailure(errno);
    os.close();
    if (os.fail()) throw writeFailure(errno);
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) throw writeFailure(errno);
    int synced = fsync(fd);
    int err = errno;
    close(fd);
    if (synced != 0) throw writeFailure(err);
}

std::string temporaryPath(const std::string &path) { return path + ".partial-" + std::to_string(getpid()); }

void checkWritable(const std::string &path)
{
    if (path.empty()) throw Error("no output file given");
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) throw Error("cannot write " + path + ": is a directory");
    std::string probe = temporaryPath(path);
    int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) throw Error("cannot write " + path + ": " + std::strerror(errno));
    close(fd);
    unlink(probe.c_str());
}

void writeGridsVdb(openvdb::GridPtrVec &grids, const std::string &path)
{
    std::string temp = temporaryPath(path);
    setRemoveOnAbort(temp);
    try
    {
        writeArchiveChecked(temp, grids);
    }
    catch (const std::bad_alloc &)
    {
        unlink(temp.c_str());
        setRemoveOnAbort("");
        leakForExit(grids);
        throw Error("cannot write " + path + ": out of memory");
    }
    catch (const std::exception &e)
    {
        unlink(temp.c_str());
        setRemoveOnAbort("");
        throw Error("cannot write " + path + ": " + e.what());
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0)
    {
        int err = errno;
        unlink(temp.c_str());
        setRemoveOnAbort("");
        throw Error("cannot write " + path + ": " + std::strerror(err));
    }
    setRemoveOnAbort("");
}

std::vector<VolumeSummary> writeVolumesVdb(const GU_Detail &gdp, const std::string &path, VectorGrids vectors,
                                           std::vector<std::string> &warnings, const FileMetadata &metadata,
                                           const ResampleOptions &resample)
{
    std::vector<VolumeSummary> summaries;
    openvdb::GridPtrVec grids;
    try
    {
        grids = volumesToGrids(gdp, vectors, summaries, warnings);
    }
    catch (const openvdb::Exception &e)
    {
        // A map OpenVDB refuses (a box with non-finite bounds): named, with
        // the library's words after it.
        throw Error("cannot write " + path + ": a volume's placement cannot be expressed as a VDB transform (" +
                    e.what() + ")");
    }
    if (resample.uniform) grids = resampleUniform(grids, resample.voxelSize);
    for (auto &grid : grids)
        for (auto &[name, value] : metadata) grid->insertMeta(name, openvdb::StringMetadata(value));
    writeGridsVdb(grids, path);
    return summaries;
}
} // namespace sopcook
