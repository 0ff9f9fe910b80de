// SPDX-License-Identifier: Apache-2.0
#include "vdb/VdbWriter.h"

#include <tbb/parallel_for.h>

#include "Messages.h"
#include "vdb/GridChecksum.h"
#include "vdb/Resample.h"
#include "vdb/VdbFile.h"
#include "vdb/VolumeGrids.h"

namespace sopcook
{
const char *compressionName(VdbCompression c)
{
    switch (c)
    {
    case VdbCompression::None: return "none";
    case VdbCompression::Zip: return "zip";
    case VdbCompression::Blosc: return "blosc";
    }
    return "?";
}

VdbCompression parseCompression(const std::string &name)
{
    for (VdbCompression c : {VdbCompression::None, VdbCompression::Zip, VdbCompression::Blosc})
        if (name == compressionName(c)) return c;
    throw Error("expected none, zip or blosc, not '" + name + "'");
}

std::vector<VolumeSummary> writeVolumesVdb(const GU_Detail &gdp, const std::string &path, VectorGrids vectors,
                                           std::vector<std::string> &warnings, const FileMetadata &metadata,
                                           const ResampleOptions &resample, VdbCompression compression)
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
    if (resample.uniform) grids = resampleUniform(grids, resample);
    for (auto &grid : grids)
        for (auto &[name, value] : metadata)
            if (name != checksumKey) grid->insertMeta(name, openvdb::StringMetadata(value));
    if (metadata.count(checksumKey))
        tbb::parallel_for(size_t(0), grids.size(), [&](size_t g) {
            grids[g]->insertMeta(checksumKey, openvdb::StringMetadata(gridValueChecksum(*grids[g])));
        });
    writeGridsVdb(grids, path, compression);
    return summaries;
}
} // namespace sopcook
