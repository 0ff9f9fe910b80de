// SPDX-License-Identifier: Apache-2.0
#pragma once
// Host volumes as OpenVDB grids: one fog-volume float grid per volume, and
// vec3 grids for x/y/z triples, each holding every non-zero voxel as active,
// placed by volumeTransform.
#include <openvdb/openvdb.h>
#include "GEO/GEO_PrimVolume.h"
#include "GU/GU_Detail.h"
#include "vdb/LeakForExit.h"
#include "vdb/VdbFile.h"
#include "vdb/VdbWriter.h"
#include "vdb/VolumeTransform.h"

namespace sopcook
{
// Once per process.
void initializeVdb();

// One fog-volume float grid holding every non-zero voxel as active.
// Voxels holding NaN or an infinity are counted in nonFinite when given.
openvdb::FloatGrid::Ptr volumeToGrid(const GEO_PrimVolume &vol, const std::string &name, const std::string &dopobject,
                                     uint64_t *active = nullptr, NonFinite *nonFinite = nullptr);

// All grids of a detail, in primitive order, with the vector grids asked for.
openvdb::GridPtrVec volumesToGrids(const GU_Detail &gdp, VectorGrids vectors, std::vector<VolumeSummary> &summaries,
                                   std::vector<std::string> &warnings);
} // namespace sopcook
