// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the two velocity-stretched wisps operators share: their parameter
// list, the parameters their cook evaluates, the values each point carries
// and the voxel range a streak may reach.
#include <algorithm>
#include "OP/OP_Parameters.h"
#include "PRM/PRM_Template.h"
#include "SlabReach.h"
#include "SOP_VolumeOperator.h"
#include "UT/UT_String.h"
#include "WispWalk.h"

namespace velocitywisps
{

// The parameter list of both operators (defined once, in VelocityWisps.cpp).
extern PRM_Template templates[];

// The point attributes to read, by the names the user typed.
struct AttribNames
{
    UT_String density, pscale, radius, normals, up, noiseOffset, colour, velocity;
};

// Everything the cook evaluates beyond the grid, floats in single precision.
struct Parms
{
    AttribNames names;
    float noiseFreq[3];
    int doColor;
    float densityMult;
    float noiseAmp;
    float roughness;
    int octaves;
    int childrenCount;
};

// Evaluates the parameters at the cook's time; "extendbounds" goes into the
// grid.
inline Parms evalParms(const OP_Parameters &node, CookGrid &g)
{
    auto flt = [&](const char *name, int vi) { return float(node.evalFloatT(name, vi, g.time, g.thread)); };
    auto str = [&](const char *name) {
        UT_String s;
        node.evalStringT(s, name, 0, g.time, g.thread);
        return s;
    };
    Parms p;
    for (int a = 0; a < 3; ++a) p.noiseFreq[a] = flt("noisefreq", a);
    for (int a = 0; a < 3; ++a) g.extension[a] = flt("extendbounds", a);
    p.names.density = str("densityattrib");
    p.names.pscale = str("pscaleattrib");
    p.names.radius = str("radiusattrib");
    p.names.normals = str("normalsattrib");
    p.names.up = str("upvectorattrib");
    p.names.noiseOffset = str("noiseoffsetattrib");
    p.names.colour = str("colorattrib");
    p.names.velocity = str("velocityattrib");
    p.doColor = node.evalIntT("docolor", 0, g.time, g.thread);
    p.densityMult = flt("densitymult", 0);
    p.noiseAmp = flt("noiseamp", 0);
    p.roughness = flt("noiseroughness", 0);
    p.octaves = node.evalIntT("noiseoctaves", 0, g.time, g.thread);
    p.childrenCount = node.evalIntT("childrencount", 0, g.time, g.thread);
    return p;
}

// What one input point brings to its streaks; missing attributes read as 0.
struct StreakPoint
{
    UT_Vector3 P;
    float density;      // at the streak's densest place
    float pscale;       // capsule radius
    float radius;       // scales the noise displacement of the children
    UT_Vector3 noiseOffset;
    UT_Vector3 colour;
    UT_Vector3 velocity;
    bool moving;        // any velocity component not exactly 0 (NaN included)
};

inline StreakPoint readStreakPoint(const GEO_Detail *gdp, GA_Offset pt, const AttribNames &names)
{
    StreakPoint s;
    s.P = gdp->getPos3(pt);
    readPointAttrib(gdp, names.density, pt, &s.density, 1);
    readPointAttrib(gdp, names.pscale, pt, &s.pscale, 1);
    readPointAttrib(gdp, names.radius, pt, &s.radius, 1);
    readPointAttrib(gdp, names.noiseOffset, pt, s.noiseOffset.data(), 3);
    readPointAttrib(gdp, names.colour, pt, s.colour.data(), 3);
    readPointAttrib(gdp, names.velocity, pt, s.velocity.data(), 3);
    // Looked up as the operators always have; they do not shape the streak.
    float unused[3];
    readPointAttrib(gdp, names.normals, pt, unused, 3);
    readPointAttrib(gdp, names.up, pt, unused, 3);
    const UT_Vector3 &v = s.velocity;
    s.moving = !(v.x() == 0.0f && v.y() == 0.0f && v.z() == 0.0f);
    return s;
}

// Voxels [lo, hi) on one axis of a grid of n within `reach` voxels of index
// i (i may lie outside the grid). The bounds are formed in double so that no
// reach overflows: a NaN reach covers nothing, an infinite one (an axis of
// zero size) the whole axis.
inline void reachRange(int i, double reach, int n, int &lo, int &hi)
{
    if (!(reach > 0))
    {
        lo = hi = 0;
        return;
    }
    double from = std::max(0.0, double(i) - reach);
    double to = std::min(double(n), double(i) + reach);
    lo = int(from);
    hi = to > from ? int(to) : lo;
}

// Whether no streak of the point's children can touch the slab: children
// lie within `walk` of the point, a head or tail within |v| of its child,
// and a deposit reaches (|v| + pscale) / voxel size z indices around its
// head. The slack covers the float rounding of heads and tails.
inline bool streaksMissSlab(const GEO_PrimVolume *vol, const SlabRange &slab, const StreakPoint &pt, double walk,
                            double voxelSizeZ)
{
    const double z = double(pt.P.z()), vz = std::fabs(double(pt.velocity.z()));
    const double slack = (std::fabs(z) + walk + vz) * 1e-6;
    const double reach = (vz + std::fabs(double(pt.pscale)) + slack) / voxelSizeZ * (1 + 1e-5) + 2;
    return slabMissesWorldZ(vol, slab, z - walk - vz - slack, z + walk + vz + slack, reach);
}

// False only when the voxel row from centre r0 to centre r1 stays farther
// than s from the streak a-b (a point when a == b), so no voxel of it can
// receive anything. The distance between the two segments is found in
// double and must beat s by a margin far above the float error of the
// per-voxel rule; rows almost parallel to the streak, and NaNs, are kept.
inline bool rowMayReach(const UT_Vector3 &r0, const UT_Vector3 &r1, const UT_Vector3 &a, const UT_Vector3 &b, float s)
{
    double p[3], d1[3], d2[3], r[3];
    double scale = 1;
    for (int c = 0; c < 3; ++c)
    {
        p[c] = r0[c];
        d1[c] = double(r1[c]) - r0[c];
        d2[c] = double(b[c]) - a[c];
        r[c] = double(r0[c]) - a[c];
        scale = std::max({scale, std::fabs(double(r0[c])), std::fabs(double(r1[c])), std::fabs(double(a[c])),
                          std::fabs(double(b[c]))});
    }
    auto dot = [](const double *u, const double *v) { return u[0] * v[0] + u[1] * v[1] + u[2] * v[2]; };
    auto clamp01 = [](double t) { return t < 0 ? 0.0 : (t > 1 ? 1.0 : t); };
    // Closest points p + d1*u (row) and a + d2*t (streak).
    double aa = dot(d1, d1), ee = dot(d2, d2), f = dot(d2, r);
    double u = 0, t = 0;
    if (aa > 0 && ee > 0)
    {
        double bb = dot(d1, d2), cc = dot(d1, r);
        double denom = aa * ee - bb * bb;
        if (denom <= 1e-6 * aa * ee) return true; // nearly parallel: keep the row
        u = clamp01((bb * f - cc * ee) / denom);
        t = (bb * u + f) / ee;
        if (t < 0)
        {
            t = 0;
            u = clamp01(-cc / aa);
        }
        else if (t > 1)
        {
            t = 1;
            u = clamp01((bb - cc) / aa);
        }
    }
    else if (aa > 0)
        u = clamp01(-dot(d1, r) / aa);
    else if (ee > 0)
        t = clamp01(f / ee);
    double dist2 = 0;
    for (int c = 0; c < 3; ++c)
    {
        double gap = (p[c] + d1[c] * u) - (double(a[c]) + d2[c] * t);
        dist2 += gap * gap;
    }
    double limit = double(s) + 1e-5 * (scale + std::fabs(double(s)));
    return !(limit >= 0 && dist2 > limit * limit);
}

} // namespace velocitywisps
