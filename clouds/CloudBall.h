// SPDX-License-Identifier: Apache-2.0
#pragma once
// What billowfold and billowfoldMT share: the ball read from one point's
// attributes, the voxel box a ball can reach, the noise frame in which a
// ball is sculpted, and the per-voxel weights.
#include <cfloat>
#include <climits>
#include <cmath>
#include "GXNoise.h"
#include "Normalise.h"
#include "GU/GU_Detail.h"
#include "GU/GU_PrimVolume.h"
#include "PointTuple.h"
#include "VolumeSetup.h"

namespace clouds
{

// The point attributes a ball is read from, looked up once per fill.
struct CloudAttributes
{
    GA_RWAttributeRef density, radius, normals, up, noiseOffset, colour;

    CloudAttributes(const GEO_Detail *gdp, const char *densityName, const char *radiusName,
                    const char *normalsName, const char *upName, const char *noiseOffsetName,
                    const char *colourName)
        : density(gdp->findFloatTuple(GA_ATTRIB_POINT, densityName, 1)),
          radius(gdp->findFloatTuple(GA_ATTRIB_POINT, radiusName, 1)),
          normals(gdp->findFloatTuple(GA_ATTRIB_POINT, normalsName, 3)),
          up(gdp->findFloatTuple(GA_ATTRIB_POINT, upName, 3)),
          noiseOffset(gdp->findFloatTuple(GA_ATTRIB_POINT, noiseOffsetName, 3)),
          colour(gdp->findFloatTuple(GA_ATTRIB_POINT, colourName, 3))
    {
    }
};

// One point's ball. Missing attributes read as 0.
struct CloudBall
{
    UT_Vector3 P;
    int index[3];   // the point's voxel, clamped to the grid
    double density; // attribute times the density multiplier
    double radius;
    UT_Vector3 N, up, noiseOffset, colour;
};

inline CloudBall readCloudBall(const GU_Detail *gdp, const CloudAttributes &attribs, GA_Offset pt,
                               const GEO_PrimVolume *densityVolume, const int divs[3], double densityMult)
{
    CloudBall b;
    b.P = gdp->getPos3(pt);
    densityVolume->posToIndex(b.P, b.index[0], b.index[1], b.index[2]);
    for (int a = 0; a < 3; ++a)
        b.index[a] = b.index[a] < 0 ? 0 : (b.index[a] > divs[a] - 1 ? divs[a] - 1 : b.index[a]);
    float density, radius;
    readPointTuple(attribs.density, pt, &density, 1);
    readPointTuple(attribs.radius, pt, &radius, 1);
    readPointTuple(attribs.normals, pt, b.N.data(), 3);
    readPointTuple(attribs.up, pt, b.up.data(), 3);
    readPointTuple(attribs.noiseOffset, pt, b.noiseOffset.data(), 3);
    readPointTuple(attribs.colour, pt, b.colour.data(), 3);
    b.density = double(density) * densityMult;
    b.radius = radius;
    return b;
}

// The box of voxels [lo, hi) a ball may touch.
struct SearchBox
{
    int lo[3], hi[3];
    bool empty() const { return lo[0] >= hi[0] || lo[1] >= hi[1] || lo[2] >= hi[2]; }
};

// What an axis of zero voxel size (a flat box: the reach is infinite or NaN)
// contributes to the search box.
enum class FlatAxis
{
    WholeAxis, // every voxel of the axis; the distance test still limits writes
    Empty      // nothing: the ball writes no voxel
};

// Reach ceil(radius / voxel size) on one axis; false when it has no int
// value.
inline bool axisReach(double radius, double size, double divs, int &reach)
{
    double e = std::ceil(radius / (size / divs));
    if (!(e >= double(INT_MIN) && e <= double(INT_MAX))) return false;
    reach = int(e);
    return true;
}

// Voxels from index - reach up to, but excluding, index + reach on each
// axis, kept inside the grid: the box runs one voxel further below the
// point's voxel than above it. A negative radius gives an empty box.
inline SearchBox searchBox(const CloudBall &b, const int divs[3], const double size[3], FlatAxis flat)
{
    SearchBox box;
    for (int a = 0; a < 3; ++a)
    {
        int reach;
        if (!axisReach(b.radius, size[a], double(divs[a]), reach))
        {
            box.lo[a] = 0;
            box.hi[a] = flat == FlatAxis::WholeAxis ? divs[a] : 0;
            continue;
        }
        long long lo = (long long)b.index[a] - reach, hi = (long long)b.index[a] + reach;
        box.lo[a] = lo > 0 ? int(lo < divs[a] ? lo : divs[a]) : 0;
        box.hi[a] = hi < divs[a] ? int(hi > 0 ? hi : 0) : divs[a];
    }
    return box;
}

// The ball's own axes for the noise lookup: the normal, the up vector (not
// made orthogonal to the normal) and their cross product, each unit length.
// A point with neither normal nor up vector uses the world axes.
struct NoiseFrame
{
    UT_Vector3 N, up, side;

    NoiseFrame(const UT_Vector3 &normal, const UT_Vector3 &upVector) : N(normal), up(upVector), side(cross(normal, upVector))
    {
        normaliseInPlace(N);
        normaliseInPlace(up);
        normaliseInPlace(side);
        if (N == UT_Vector3(0, 0, 0) && up == UT_Vector3(0, 0, 0) && side == UT_Vector3(0, 0, 0))
        {
            N = UT_Vector3(1, 0, 0);
            up = UT_Vector3(0, 1, 0);
            side = UT_Vector3(0, 0, 1);
        }
    }
};

// Noise settings shared by every ball of a cook.
struct CloudNoise
{
    float freq[3];
    float amplitude;
    int octaves;
    float roughness;
};

// The fractal noise at voxel centre c: the offset from the ball's centre
// expressed in the ball's frame, scaled by the frequency and shifted by the
// point's noise offset, all in single precision.
inline double cloudNoise(const NoiseFrame &frame, const CloudNoise &noise, const UT_Vector3 &c, const CloudBall &b)
{
    UT_Vector3 r = c - b.P;
    UT_Vector3 q(frame.N.dot(r) * noise.freq[0] + b.noiseOffset.x(),
                 frame.up.dot(r) * noise.freq[1] + b.noiseOffset.y(),
                 frame.side.dot(r) * noise.freq[2] + b.noiseOffset.z());
    return fractalNoise(q, noise.octaves, noise.roughness);
}

// Linear falloff: the full density at the centre, 0 at the radius.
inline double plainWeight(const CloudBall &b, float d)
{
    return (b.radius - d) * b.density / b.radius;
}

// The linear falloff sculpted by noise n: w0 + amplitude * (n * w0).
inline double noiseWeight(const CloudBall &b, float d, float amplitude, double n)
{
    double w0 = ((b.radius - d) / b.radius) * b.density;
    return w0 + amplitude * (n * w0);
}

// The noise path's colour rule: the running colour sum plus w, scaled by
// the ball's colour component.
inline auto scaleColour(double w, float colour)
{
    return [w, colour](float v) { return float((double(v) + w) * colour); };
}

} // namespace clouds
