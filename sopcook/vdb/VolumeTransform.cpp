// SPDX-License-Identifier: Apache-2.0
#include "vdb/VolumeTransform.h"

#include <algorithm>
#include <cmath>

#include "Messages.h"

namespace sopcook
{
using openvdb::math::Mat4d;
using openvdb::math::Vec3d;

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

// Frustum over the index box [-0.5, n - 0.5] with depth 1: index (i, j, k)
// lands at x' = c.x * g / 2, y' = c.y * g * ny / (2 nx), z' = (c.z + 1) / 2
// with g = 1 + (1/taper - 1) z'. The volume scales canonical x, y by
// taper * g at that depth, so the second, linear map is rows (2 taper X0,
// 2 taper nx/ny X1, 2 X2) with translation C - X2.
static openvdb::math::Transform::Ptr frustumTransform(const int n[3], const Vec3d rows[3], const Vec3d &C, double taper)
{
    Mat4d second = Mat4d::identity();
    Vec3d r0 = rows[0] * (2.0 * taper);
    Vec3d r1 = rows[1] * (2.0 * taper * double(n[0]) / double(n[1]));
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
    openvdb::math::MapBase::Ptr frustum(new openvdb::math::NonlinearFrustumMap(box, taper, 1.0, linear));
    return openvdb::math::Transform::Ptr(new openvdb::math::Transform(frustum));
}

// Canonical c = 2 (i + 0.5) / n - 1 = i * 2/n + (1/n - 1), then p = c X + C.
static openvdb::math::Transform::Ptr linearTransform(const int n[3], const Vec3d rows[3], const Vec3d &C)
{
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

openvdb::math::Transform::Ptr volumeTransform(const GEO_PrimVolume &vol, std::string *note)
{
    int res[3];
    vol.getRes(res[0], res[1], res[2]);
    return volumeTransform(vol, res, note);
}

openvdb::math::Transform::Ptr volumeTransform(const GEO_PrimVolume &vol, const int res[3], std::string *note)
{
    int n[3];
    for (int a = 0; a < 3; ++a) n[a] = std::max(res[a], 1);
    Vec3d rows[3];
    volumeAxes(vol, rows, note);
    UT_Vector3 centre = vol.getCenter();
    Vec3d C(centre.x(), centre.y(), centre.z());

    double tx = vol.getTaperX(), ty = vol.getTaperY();
    if (vol.isTapered() && tx == ty && tx > 0) return frustumTransform(n, rows, C, tx);
    if (vol.isTapered() && note)
        *note = "x and y tapers differ (" + std::to_string(tx) + ", " + std::to_string(ty) +
                "); VDB frustums have one taper, so the grid is written untapered";
    return linearTransform(n, rows, C);
}
} // namespace sopcook
