// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where the children of a wisp sit: the point pushed by per-axis fractal
// noise sampled along a line that advances with the child's index. Shared by
// every point-wisps operator.
#include "GXNoise.h"
#include "GEO/GEO_Detail.h"
#include "PointTuple.h"

struct WispNoise
{
    float freq[3] = {1, 1, 1};
    float amplitude = 1;
    int octaves = 1;
    float roughness = 0.5f;
};

// Position of child `child` of a point at P with noise offset `offset`.
inline UT_Vector3 wispChildPosition(const UT_Vector3 &P, const UT_Vector3 &offset, int child, const WispNoise &noise)
{
    float c = float(child);
    UT_Vector3 n(c * noise.freq[0] + offset.x(), c * noise.freq[1] + offset.y(), c * noise.freq[2] + offset.z());
    UT_Vector3D D = axisFractalNoise(n, noise.octaves, noise.roughness);
    double A = noise.amplitude;
    return UT_Vector3(float(P.x() + A * D.x()), float(P.y() + A * D.y()), float(P.z() + A * D.z()));
}

// Component 0.. of a point's float attribute looked up by name with at
// least `count` components; zeros when missing or unreadable.
inline void readPointAttrib(const GEO_Detail *gdp, const char *name, GA_Offset pt, float *out, int count)
{
    readPointTuple(gdp->findFloatTuple(GA_ATTRIB_POINT, name, count), pt, out, count);
}
