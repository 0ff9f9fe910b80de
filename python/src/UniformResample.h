#pragma once
// Frustum grids resampled onto a uniform (linear) grid, for viewers that show
// only linear transforms (Blender among them), and the file writing with it.
#include <string>
#include <vector>
#include "GU/GU_Detail.h"
#include "vdb/VdbWriter.h"

namespace sopcook::python
{
// As writeVolumesVdb, but every frustum grid is first resampled (trilinear)
// onto an axis-aligned grid covering the frustum, its voxel size the
// frustum's largest world extent over its largest resolution.
std::vector<VolumeSummary> writeUniformVdb(const GU_Detail &gdp, const std::string &path, VectorGrids vectors,
                                           std::vector<std::string> &warnings);
} // namespace sopcook::python
