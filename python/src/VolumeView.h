// SPDX-License-Identifier: Apache-2.0
#pragma once
// A cooked volume seen from Python: its name, resolution, index-to-world
// transform and voxels as a numpy array. Holds the cooked detail, so volumes
// outlive the result they came from.
#include <array>
#include <memory>
#include <string>
#include <pybind11/numpy.h>
#include "GEO/GEO_PrimVolume.h"
#include "GU/GU_Detail.h"

namespace sopcook::python
{
struct VolumeView
{
    std::shared_ptr<const GU_Detail> detail;
    GA_Offset prim = 0;
    std::string name;
    uint64_t active = 0; // non-zero voxels
    std::string partialMark; // set when the cook was interrupted: its files carry it

    const GEO_PrimVolume &volume() const;
    std::array<int, 3> resolution() const;
    bool frustum() const { return volume().isTapered(); }
    std::array<double, 2> taper() const { return {volume().getTaperX(), volume().getTaperY()}; }
    // 4x4, column vectors: world = M @ (i, j, k, 1) at voxel centres. For a
    // frustum volume, the map of the untapered box.
    pybind11::array_t<double> transform() const;
    // The world position of voxel (i, j, k)'s centre, taper included.
    std::array<double, 3> indexToWorld(int i, int j, int k) const;
    // (nx, ny, nz) float32. A volume within one tile is a read-only view of
    // the tile; a larger one is gathered tile by tile into one array.
    pybind11::array array() const;
};

// The volumes of detail, in primitive order; partialMark as the cook's.
std::vector<VolumeView> volumesOf(const std::shared_ptr<const GU_Detail> &detail, const std::string &partialMark);
} // namespace sopcook::python
