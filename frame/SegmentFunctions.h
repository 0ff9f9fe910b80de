// SPDX-License-Identifier: Apache-2.0
#pragma once
// Distances, projections onto segments and attribute interpolation along
// segments, all in single precision.
#include <cmath>
#include <vector>
#include "GEO/GEO_Point.h"
#include "GEO/GEO_Primitive.h"
#include "GU/GU_Detail.h"
#include "PointTuple.h"

template <typename T>
inline T dist3D(T x1, T y1, T z1, T x2, T y2, T z2)
{
    T dx = x1 - x2, dy = y1 - y2, dz = z1 - z2;
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

inline float dist3D(const UT_Vector3 &a, const UT_Vector3 &b)
{
    return dist3D<float>(a.x(), a.y(), a.z(), b.x(), b.y(), b.z());
}

// The foot of P on segment AB, or the nearer end when the foot falls
// outside. A degenerate segment (A == B) gives a NaN foot.
inline UT_Vector3 projectOnSegment(UT_Vector3 A, UT_Vector3 B, UT_Vector3 P)
{
    UT_Vector3 e = B - A;
    float len = std::sqrt(e.dot(e));
    float t2 = len * len;
    UT_Vector3 d = P - A;
    float u = e.dot(d);
    UT_Vector3 Q;
    for (int c = 0; c < 3; ++c) Q[c] = (e[c] / t2) * u + A[c];
    for (int c = 0; c < 3; ++c)
    {
        bool beyond = (Q[c] > A[c] && Q[c] > B[c]) || (Q[c] < A[c] && Q[c] < B[c]);
        if (beyond) return dist3D(P, B) > dist3D(P, A) ? A : B;
    }
    return Q;
}

// Index k of the segment (vertex k to k + 1) of prim nearest to P; -1 when
// none qualifies (fewer than two vertices, or every distance NaN or at least
// 1e12). Ties go to the first segment. Allocation-free form of
// getClosest2PointPositions.
inline int closestSegment(const GEO_Primitive *prim, const UT_Vector3 &P)
{
    const GA_Detail &gdp = prim->getDetail();
    GA_Size n = prim->getVertexCount();
    float best = 1e12f;
    int chosen = -1;
    for (GA_Size i = 0; i + 1 < n; ++i)
    {
        UT_Vector3 a = gdp.getPos3(prim->getPointOffset(i));
        UT_Vector3 b = gdp.getPos3(prim->getPointOffset(i + 1));
        float d = dist3D(P, projectOnSegment(a, b, P));
        if (best > d)
        {
            best = d;
            chosen = int(i);
        }
    }
    return chosen;
}

// The two end points of the segment of prim nearest to P; both the point of
// vertex 0 when no segment qualifies. prim must have at least one vertex.
inline std::vector<GEO_Point *> getClosest2PointPositions(const GU_Detail *, const GEO_Primitive *prim, UT_Vector3 P)
{
    int k = closestSegment(prim, P);
    if (k < 0) return {prim->getVertexPoint(0), prim->getVertexPoint(0)};
    return {prim->getVertexPoint(k), prim->getVertexPoint(k + 1)};
}

// Value form: blend a0 -> a1 by the distance of P's foot from pos0.
inline float interpolateAttr(UT_Vector3 pos0, UT_Vector3 pos1, float a0, float a1, UT_Vector3 P)
{
    UT_Vector3 Q = projectOnSegment(pos0, pos1, P);
    float L = dist3D(pos0, pos1);
    float d = dist3D(pos0, Q);
    return (a1 * d) / L + (a0 * (L - d)) / L;
}

inline UT_Vector3 interpolateAttr3D(UT_Vector3 pos0, UT_Vector3 pos1, UT_Vector3 a0, UT_Vector3 a1, UT_Vector3 P)
{
    UT_Vector3 Q = projectOnSegment(pos0, pos1, P);
    float L = dist3D(pos0, pos1);
    float d = dist3D(pos0, Q);
    float w1 = d / L;
    float w0 = (L - d) / L;
    return UT_Vector3(a1.x() * w1 + a0.x() * w0, a1.y() * w1 + a0.y() * w0, a1.z() * w1 + a0.z() * w0);
}

// Point forms: the end values are read from the points through ref.
inline float interpolateAttr(const GEO_Point *p0, const GEO_Point *p1, UT_Vector3 P, const GA_RWAttributeRef &ref)
{
    float a0 = 0.0f, a1 = 0.0f;
    if (ref.getAIFTuple())
    {
        readPointTuple(ref, p0->getMapOffset(), &a0, 1);
        readPointTuple(ref, p1->getMapOffset(), &a1, 1);
    }
    return interpolateAttr(p0->getPos3(), p1->getPos3(), a0, a1, P);
}

inline UT_Vector3 interpolateAttr3D(const GEO_Point *p0, const GEO_Point *p1, UT_Vector3 P, const GA_RWAttributeRef &ref)
{
    UT_Vector3 a0, a1;
    if (ref.getAIFTuple())
    {
        readPointTuple(ref, p0->getMapOffset(), a0.data(), 3);
        readPointTuple(ref, p1->getMapOffset(), a1.data(), 3);
    }
    return interpolateAttr3D(p0->getPos3(), p1->getPos3(), a0, a1, P);
}
