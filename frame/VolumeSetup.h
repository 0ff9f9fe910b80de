// SPDX-License-Identifier: Apache-2.0
#pragma once
// Volume set-up shared by every fill: clamp the grid, build the box
// transform, create the named volumes of one operator, and accumulate into
// voxels.
#include <string>
#include <vector>
#include "GU/GU_Detail.h"
#include "GU/GU_PrimVolume.h"

// Field names of the volumes.
namespace fields
{
constexpr const char *density = "density";
constexpr const char *colour[3] = {"Cd.x", "Cd.y", "Cd.z"};
constexpr const char *velocity[3] = {"vel.x", "vel.y", "vel.z"};
} // namespace fields

// Negative sizes become 0; division counts below 2 (as unsigned) become 2.
void clampGrid(unsigned divs[3], double size[3]);

// Canonical cube -> box: diagonal half extents, centre in the last row.
// With boundsFromPoints the half extents grow by the extension.
UT_Matrix4 boxTransform(const double size[3], const double centre[3], const float extension[3], bool boundsFromPoints);

// The volumes of one fill, in creation order, with their write handles.
struct VolumeSet
{
    std::vector<GU_PrimVolume *> volumes;
    std::vector<UT_VoxelArrayWriteHandleF> handles;

    GU_PrimVolume *volume(size_t i) const { return volumes[i]; }
    UT_VoxelArrayWriteHandleF &handle(size_t i) { return handles[i]; }
    size_t size() const { return volumes.size(); }
};

// Adds the "name" and "dopobject" primitive attributes (with their local
// variables) and the group "smoke", then builds one volume per field name,
// named, tagged with dopobject and grouped. Voxel arrays stay 1x1x1 and the
// transform identity until shapeVolumes.
VolumeSet createNamedVolumes(GU_Detail *gdp, const char *dopobject, const std::vector<const char *> &names);

// Sets every volume's transform and resizes its voxels (all zero).
void shapeVolumes(VolumeSet &set, const UT_Matrix4 &xform, int xres, int yres, int zres);

// Clamp, transform, create and shape in one go (the usual start of a fill).
VolumeSet setupVolumes(GU_Detail *gdp, unsigned divs[3], double size[3], const double centre[3],
                       const float extension[3], bool boundsFromPoints, const char *dopobject,
                       const std::vector<const char *> &names);

// The z indices [lo, hi) whose voxels a volume keeps writes in: the whole
// array, or the slab of a slab cook (asked of the voxel array, which was
// sized in it). Voxels outside never change, so a fill that only writes may
// skip them, and skip whole points, children, curves or quads that reach
// none of it: every voxel inside still receives the same contributions in
// the same order. Work whose results later contributions read (a noise walk,
// a running state) must still be done.
struct SlabRange
{
    int lo = 0, hi = 0;

    explicit SlabRange(const UT_VoxelArrayWriteHandleF &handle)
    {
        if (handle.isValid()) handle->getWritableZ(lo, hi);
    }
    bool contains(long long z) const { return z >= lo && z < hi; }
    // Whether [zlo, zhi) holds none of the range.
    bool misses(long long zlo, long long zhi) const { return zhi <= lo || zlo >= hi || zlo >= zhi; }
    // Cuts [zlo, zhi) to the range; false when nothing is left.
    bool clip(int &zlo, int &zhi) const
    {
        if (zlo < lo) zlo = lo;
        if (zhi > hi) zhi = hi;
        return zlo < zhi;
    }
};

// Adds w to voxel (i, j, k): the sum is formed in double and stored as float.
inline void accumulateVoxel(UT_VoxelArrayWriteHandleF &handle, int i, int j, int k, double w)
{
    handle->updateValue(i, j, k, [w](float v) { return float(double(v) + w); });
}

// Adds w to voxel (i, j, k) in single precision.
inline void accumulateVoxelSingle(UT_VoxelArrayWriteHandleF &handle, int i, int j, int k, float w)
{
    handle->updateValue(i, j, k, [w](float v) { return v + w; });
}
