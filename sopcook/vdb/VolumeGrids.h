#pragma once
// Host volumes as OpenVDB grids. Voxel (i, j, k) becomes VDB index (i, j, k)
// and the grid's transform maps that index exactly to the voxel's world
// centre (GEO_PrimVolume::indexToPos): an affine map for plain volumes, a
// frustum map for tapered ones.
#include <openvdb/openvdb.h>
#include "GEO/GEO_PrimVolume.h"
#include "GU/GU_Detail.h"
#include "vdb/VdbWriter.h"

namespace sopcook
{
// Once per process.
void initializeVdb();

// The index-to-world transform of a volume; note receives a remark when the
// mapping had to be approximated (unequal x/y taper, flat axis).
openvdb::math::Transform::Ptr volumeTransform(const GEO_PrimVolume &vol, std::string *note = nullptr);

// One fog-volume float grid holding every non-zero voxel as active.
// Voxels holding NaN or an infinity are counted in nonFinite when given.
openvdb::FloatGrid::Ptr volumeToGrid(const GEO_PrimVolume &vol, const std::string &name, const std::string &dopobject,
                                     uint64_t *active = nullptr, NonFinite *nonFinite = nullptr);

// All grids of a detail, in primitive order, with the vector grids asked for.
openvdb::GridPtrVec volumesToGrids(const GU_Detail &gdp, VectorGrids vectors, std::vector<VolumeSummary> &summaries,
                                   std::vector<std::string> &warnings);

// Writes grids to path like writeVolumesVdb: a temporary file, checked,
// flushed and renamed; throws Error on failure.
void writeGridsVdb(openvdb::GridPtrVec &grids, const std::string &path);
} // namespace sopcook
