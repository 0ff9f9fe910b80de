// SPDX-License-Identifier: Apache-2.0
#pragma once
// The curve rule in its plainest form, for checking the operators: every
// voxel against every curve, with the heap-allocating segment search and the
// point forms of the interpolation. Slow on purpose.
#include <cfloat>
#include <cmath>
#include <vector>
#include "GEO/GEO_PrimVolume.h"
#include "GU/GU_Detail.h"
#include "GXNoise.h"
#include "SegmentFunctions.h"

namespace strandref
{
struct Settings
{
    bool threaded = false; // strandcastStraightMT's rule rather than strandcast's
    float densityMult = 1;
    int doNoise = 0;
    int doColor = 0;
    float noiseFreq = 1, noiseAmp = 1, noiseRoughness = 0.5f;
    int noiseOctaves = 1;
    const char *density = "density", *radius = "pscale", *normals = "N", *up = "up", *uv = "uv", *colour = "Cd";
};

// Dense voxels, x fastest.
struct Grid
{
    int res[3] = {0, 0, 0};
    std::vector<float> density, cd[3];
    size_t index(int x, int y, int z) const { return (size_t(z) * res[1] + y) * res[0] + x; }
};

inline void normaliseInPlace(UT_Vector3 &v)
{
    float l2 = v.x() * v.x() + v.y() * v.y() + v.z() * v.z();
    if (l2 > FLT_MIN && l2 != 1.0f) v *= 1.0f / std::sqrt(l2);
}

// Lays the curves of `curves` into a grid laid out like vol.
inline Grid cast(const GU_Detail &curves, const GEO_PrimVolume *vol, const Settings &s)
{
    Grid g;
    vol->getRes(g.res[0], g.res[1], g.res[2]);
    size_t n = size_t(g.res[0]) * g.res[1] * g.res[2];
    g.density.assign(n, 0.0f);
    for (auto &c : g.cd) c.assign(n, 0.0f);
    GA_RWAttributeRef rho = curves.findFloatTuple(GA_ATTRIB_POINT, s.density, 1);
    GA_RWAttributeRef rad = curves.findFloatTuple(GA_ATTRIB_POINT, s.radius, 1);
    GA_RWAttributeRef nrm = curves.findFloatTuple(GA_ATTRIB_POINT, s.normals, 3);
    GA_RWAttributeRef upr = curves.findFloatTuple(GA_ATTRIB_POINT, s.up, 3);
    GA_RWAttributeRef uvr = curves.findFloatTuple(GA_ATTRIB_POINT, s.uv, 3);
    GA_RWAttributeRef col = curves.findFloatTuple(GA_ATTRIB_POINT, s.colour, 3);
    for (int z = 0; z < g.res[2]; ++z)
        for (int y = 0; y < g.res[1]; ++y)
            for (int x = 0; x < g.res[0]; ++x)
                for (GA_Size j = 0; j < curves.getNumPrimitives(); ++j)
                {
                    const GEO_Primitive *prim = curves.getGEOPrimitive(j);
                    if (prim->getVertexCount() == 0) continue;
                    UT_Vector3 P;
                    vol->indexToPos(x, y, z, P);
                    std::vector<GEO_Point *> ends = getClosest2PointPositions(&curves, prim, P);
                    UT_Vector3 Q = projectOnSegment(ends[0]->getPos3(), ends[1]->getPos3(), P);
                    float d = dist3D(P, Q);
                    float r = interpolateAttr(ends[0], ends[1], P, rad);
                    if (!(r >= d)) continue;
                    double noise = 0;
                    if (s.doNoise)
                    {
                        UT_Vector3 U = interpolateAttr3D(ends[0], ends[1], P, uvr);
                        UT_Vector3 N = interpolateAttr3D(ends[0], ends[1], P, nrm);
                        UT_Vector3 W = interpolateAttr3D(ends[0], ends[1], P, upr);
                        UT_Vector3 S = cross(N, W);
                        UT_Vector3 q;
                        if (s.threaded)
                        {
                            normaliseInPlace(N);
                            normaliseInPlace(W);
                            normaliseInPlace(S);
                            UT_Vector3 delta = P - Q;
                            q = UT_Vector3(U.x() + s.noiseFreq * N.dot(delta), U.y() + s.noiseFreq * W.dot(delta),
                                           U.z() + s.noiseFreq * S.dot(delta));
                        }
                        else
                            for (int c = 0; c < 3; ++c) q[c] = s.noiseFreq * ((N[c] + W[c] + S[c]) * (P[c] - Q[c])) + U[c];
                        noise = fractalNoise(q, s.noiseOctaves, s.noiseRoughness);
                    }
                    float a = interpolateAttr(ends[0], ends[1], P, rho);
                    float v = s.threaded ? (r - d) / r * s.densityMult * a
                                         : float(double((r - d) / r) * double(s.densityMult) * double(a));
                    if (s.doNoise) v = float(double(v) * (double(s.noiseAmp) * noise));
                    if (!(v > 0)) continue;
                    size_t i = g.index(x, y, z);
                    g.density[i] = g.density[i] + v;
                    if (s.doColor)
                    {
                        UT_Vector3 c = interpolateAttr3D(ends[0], ends[1], P, col);
                        for (int k = 0; k < 3; ++k) g.cd[k][i] = g.cd[k][i] + c[k];
                    }
                }
    return g;
}
// The segment of the polyline pos nearest to P by projecting P on every
// segment (running minimum from 1e12, strictly smaller wins), with P's foot
// Q on it and the distance d; -1 when none qualifies.
inline int nearestByEverySegment(const std::vector<UT_Vector3> &pos, const UT_Vector3 &P, UT_Vector3 &Q, float &d)
{
    d = 1e12f;
    int chosen = -1;
    for (size_t i = 0; i + 1 < pos.size(); ++i)
    {
        UT_Vector3 foot = projectOnSegment(pos[i], pos[i + 1], P);
        float di = dist3D(P, foot);
        if (d > di)
        {
            d = di;
            chosen = int(i);
            Q = foot;
        }
    }
    return chosen;
}
} // namespace strandref
