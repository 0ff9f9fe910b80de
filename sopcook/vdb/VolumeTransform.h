// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where a host volume's voxels lie, as an OpenVDB transform: voxel (i, j, k)
// becomes VDB index (i, j, k) and the transform maps that index exactly to
// the voxel's world centre (GEO_PrimVolume::indexToPos): an affine map for
// plain volumes, a frustum map for tapered ones.
#include <string>
#include <openvdb/openvdb.h>
#include "GEO/GEO_PrimVolume.h"

namespace sopcook
{
// note receives a remark when the mapping had to be approximated (unequal
// x/y taper, flat axis). Throws Error for a degenerate transform.
openvdb::math::Transform::Ptr volumeTransform(const GEO_PrimVolume &vol, std::string *note = nullptr);

// The transform of a volume of res voxels placed as shape is (its transform
// and tapers; shape's own voxel count is not read): for checking a placement
// before the volume is filled. Throws Error or openvdb::Exception.
openvdb::math::Transform::Ptr volumeTransform(const GEO_PrimVolume &shape, const int res[3], std::string *note = nullptr);
} // namespace sopcook
