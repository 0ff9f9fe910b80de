#include "UniformResample.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include <openvdb/io/Stream.h>
#include <openvdb/tools/GridTransformer.h>

#include "Messages.h"
#include "vdb/VolumeGrids.h"

namespace sopcook::python
{
namespace
{
using openvdb::math::Transform;

// A linear transform whose voxels cover the frustum's world bounds.
Transform::Ptr coveringTransform(const openvdb::GridBase &grid, openvdb::Coord dims)
{
    const Transform &xf = grid.transform();
    openvdb::BBoxd world;
    for (int corner = 0; corner < 8; ++corner)
    {
        openvdb::Vec3d index((corner & 1) ? dims.x() - 0.5 : -0.5, (corner & 2) ? dims.y() - 0.5 : -0.5,
                             (corner & 4) ? dims.z() - 0.5 : -0.5);
        world.expand(xf.indexToWorld(index));
    }
    openvdb::Vec3d extent = world.extents();
    double size = std::max({extent.x(), extent.y(), extent.z()}) / std::max({dims.x(), dims.y(), dims.z(), 1});
    Transform::Ptr out = Transform::createLinearTransform(size > 0 ? size : 1.0);
    out->postTranslate(world.min() + openvdb::Vec3d(size * 0.5));
    return out;
}

template <typename GridT>
openvdb::GridBase::Ptr resampled(const GridT &in, openvdb::Coord dims)
{
    typename GridT::Ptr out = GridT::create(in.background());
    out->setTransform(coveringTransform(in, dims));
    out->insertMeta(in);
    out->setName(in.getName());
    out->setGridClass(in.getGridClass());
    openvdb::tools::resampleToMatch<openvdb::tools::BoxSampler>(in, *out);
    return out;
}

openvdb::GridBase::Ptr uniform(const openvdb::GridBase::Ptr &grid, openvdb::Coord dims)
{
    if (grid->transform().isLinear()) return grid;
    if (auto f = openvdb::gridPtrCast<openvdb::FloatGrid>(grid)) return resampled(*f, dims);
    if (auto v = openvdb::gridPtrCast<openvdb::Vec3SGrid>(grid)) return resampled(*v, dims);
    return grid;
}

// Through a temporary file and a rename; a failed stream write removes it.
void writeGrids(const openvdb::GridPtrVec &grids, const std::string &path)
{
    std::string temp = temporaryPath(path);
    {
        std::ofstream os(temp, std::ios::binary | std::ios::trunc);
        if (os) openvdb::io::Stream(os).write(grids);
        os.close();
        if (!os)
        {
            int err = errno;
            std::remove(temp.c_str());
            throw Error("cannot write " + path + ": " + std::strerror(err ? err : EIO));
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0)
    {
        int err = errno;
        std::remove(temp.c_str());
        throw Error("cannot write " + path + ": " + std::strerror(err));
    }
}
} // namespace

std::vector<VolumeSummary> writeUniformVdb(const GU_Detail &gdp, const std::string &path, VectorGrids vectors,
                                           std::vector<std::string> &warnings)
{
    std::vector<VolumeSummary> summaries;
    openvdb::GridPtrVec grids = volumesToGrids(gdp, vectors, summaries, warnings);
    std::vector<VolumeSummary> volumes = summarizeVolumes(gdp);
    openvdb::Coord dims(1, 1, 1);
    for (const VolumeSummary &v : volumes) dims = openvdb::Coord::maxComponent(dims, openvdb::Coord(v.res[0], v.res[1], v.res[2]));
    for (auto &g : grids) g = uniform(g, dims);
    writeGrids(grids, path);
    return summaries;
}
} // namespace sopcook::python
