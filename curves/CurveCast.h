// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the two curve operators share: the point attributes of a fill, one
// curve's vertices and attribute values read once, the nearest segment of a
// curve to a voxel centre with the interpolation along it, and the voxels
// each segment of a curve can reach.
//
// Every value here is computed with the same operations, in the same order,
// as the segment functions (projectOnSegment, dist3D, interpolateAttr and
// interpolateAttr3D on a curve's nearest segment), so a curve laid with them
// gives the same voxels, bit for bit, as the plain per-voxel search. They
// only avoid repeating that work: positions and attribute values are read
// once per curve instead of once per voxel, the projection is made once per
// voxel instead of once per interpolated attribute, and voxels the curve
// cannot reach are never visited.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>
#include "GEO/GEO_PrimVolume.h"
#include "GU/GU_Detail.h"
#include "SegmentFunctions.h"

namespace curvecast
{

// The point attributes a curve fill reads. Invalid references read as 0.
struct CurveAttribs
{
    GA_RWAttributeRef density;
    GA_RWAttributeRef radius;
    GA_RWAttributeRef normals;
    GA_RWAttributeRef up;
    GA_RWAttributeRef uv;
    GA_RWAttributeRef colour;
};

// colourName may be null when no colour is laid.
inline CurveAttribs findCurveAttribs(const GU_Detail *gdp, const char *densityName, const char *radiusName,
                                     const char *normalsName, const char *upName, const char *uvName,
                                     const char *colourName)
{
    CurveAttribs a;
    a.density = gdp->findFloatTuple(GA_ATTRIB_POINT, densityName, 1);
    a.radius = gdp->findFloatTuple(GA_ATTRIB_POINT, radiusName, 1);
    a.normals = gdp->findFloatTuple(GA_ATTRIB_POINT, normalsName, 3);
    a.up = gdp->findFloatTuple(GA_ATTRIB_POINT, upName, 3);
    a.uv = gdp->findFloatTuple(GA_ATTRIB_POINT, uvName, 3);
    if (colourName) a.colour = gdp->findFloatTuple(GA_ATTRIB_POINT, colourName, 3);
    return a;
}

// The square of dist3D(P, Q), computed as dist3D computes it: dist3D(P, Q)
// == std::sqrt(squaredDistance(P, Q)).
inline float squaredDistance(const UT_Vector3 &P, const UT_Vector3 &Q)
{
    float dx = P.x() - Q.x(), dy = P.y() - Q.y(), dz = P.z() - Q.z();
    return dx * dx + dy * dy + dz * dz;
}

// One curve: its vertex positions and, per vertex, the attribute values the
// per-voxel rule blends. A failed or missing read gives 0, as it does in the
// point forms of interpolateAttr.
struct CurveSamples
{
    std::vector<UT_Vector3> pos;
    std::vector<float> density, radius;
    std::vector<UT_Vector3> normal, up, uv, colour;

    // Reads prim's vertices; the frame vectors only when withFrame, the
    // colour only when withColour (the others stay empty).
    void read(const GEO_Primitive *prim, const CurveAttribs &attribs, bool withFrame, bool withColour)
    {
        readPlace(prim, attribs);
        readShading(prim, attribs, withFrame, withColour);
    }

    // Positions and radii alone: all that decides which voxels the curve
    // reaches, so a slab cook reads no more of a curve that misses it.
    void readPlace(const GEO_Primitive *prim, const CurveAttribs &attribs)
    {
        const GA_Detail &gdp = prim->getDetail();
        const GA_Size n = prim->getVertexCount();
        pos.resize(n);
        radius.resize(n);
        for (GA_Size i = 0; i < n; ++i)
        {
            GA_Offset pt = prim->getPointOffset(i);
            pos[i] = gdp.getPos3(pt);
            readPointTuple(attribs.radius, pt, &radius[i], 1);
        }
    }

    // The rest, after readPlace: density, the frame vectors and colour as
    // read() takes them, and the segment search's data.
    void readShading(const GEO_Primitive *prim, const CurveAttribs &attribs, bool withFrame, bool withColour)
    {
        const GA_Size n = prim->getVertexCount();
        density.resize(n);
        normal.resize(withFrame ? n : 0);
        up.resize(withFrame ? n : 0);
        uv.resize(withFrame ? n : 0);
        colour.resize(withColour ? n : 0);
        for (GA_Size i = 0; i < n; ++i)
        {
            GA_Offset pt = prim->getPointOffset(i);
            readPointTuple(attribs.density, pt, &density[i], 1);
            if (withFrame)
            {
                readPointTuple(attribs.normals, pt, normal[i].data(), 3);
                readPointTuple(attribs.up, pt, up[i].data(), 3);
                readPointTuple(attribs.uv, pt, uv[i].data(), 3);
            }
            if (withColour) readPointTuple(attribs.colour, pt, colour[i].data(), 3);
        }
        prepareSegments();
    }

    int segmentCount() const { return pos.size() < 2 ? 0 : int(pos.size()) - 1; }

    // What the segment search needs of segment k, computed once per curve
    // (made by read(); call prepareSegments again after changing pos):
    // the box spanned by its ends, axis by axis, [boxLo[c][k], boxHi[c][k]],
    // which holds every foot projectOnSegment returns for it; its edge
    // B - A; and edge / |edge|^2, the factor of the projection.
    std::vector<float> boxLo[3], boxHi[3];
    std::vector<UT_Vector3> edge, factor;

    void prepareSegments()
    {
        const int segments = segmentCount();
        for (int c = 0; c < 3; ++c)
        {
            boxLo[c].resize(segments);
            boxHi[c].resize(segments);
        }
        edge.resize(segments);
        factor.resize(segments);
        for (int k = 0; k < segments; ++k)
        {
            const UT_Vector3 &A = pos[k], &B = pos[k + 1];
            for (int c = 0; c < 3; ++c)
            {
                boxLo[c][k] = A[c] < B[c] ? A[c] : B[c];
                boxHi[c][k] = A[c] < B[c] ? B[c] : A[c];
            }
            // The terms of projectOnSegment that do not depend on P.
            UT_Vector3 e = B - A;
            float len = std::sqrt(e.dot(e));
            float t2 = len * len;
            edge[k] = e;
            for (int c = 0; c < 3; ++c) factor[k][c] = e[c] / t2;
        }
    }

    // P's foot Q on segment k as projectOnSegment(pos[k], pos[k + 1], P)
    // gives it, bit for bit, and the square of dist3D(P, Q).
    float footOn(int k, const UT_Vector3 &P, UT_Vector3 &Q) const
    {
        const UT_Vector3 &A = pos[k], &B = pos[k + 1];
        UT_Vector3 d = P - A;
        float u = edge[k].dot(d);
        for (int c = 0; c < 3; ++c) Q[c] = factor[k][c] * u + A[c];
        for (int c = 0; c < 3; ++c)
        {
            bool beyond = (Q[c] > A[c] && Q[c] > B[c]) || (Q[c] < A[c] && Q[c] < B[c]);
            if (beyond)
            {
                float toA = squaredDistance(P, A), toB = squaredDistance(P, B);
                bool nearerA = std::sqrt(toB) > std::sqrt(toA);
                Q = nearerA ? A : B;
                return nearerA ? toA : toB;
            }
        }
        return squaredDistance(P, Q);
    }
};

// Where a voxel centre P meets a curve: segment k (vertex k to k + 1), P's
// foot Q on it, the distance d = |P - Q|, and what the blends along the
// segment need: its length L and the foot's distance from vertex k.
struct SegmentFoot
{
    int k = -1;
    UT_Vector3 Q;
    float d = 0.0f;
    float L = 0.0f;
    float along = 0.0f;

    // interpolateAttr of one component.
    float blend(const std::vector<float> &values) const
    {
        float a0 = values[k], a1 = values[k + 1];
        return (a1 * along) / L + (a0 * (L - along)) / L;
    }
    // interpolateAttr3D.
    UT_Vector3 blend3(const std::vector<UT_Vector3> &values) const
    {
        const UT_Vector3 &a0 = values[k], &a1 = values[k + 1];
        float w1 = along / L;
        float w0 = (L - along) / L;
        return UT_Vector3(a1.x() * w1 + a0.x() * w0, a1.y() * w1 + a0.y() * w0, a1.z() * w1 + a0.z() * w0);
    }
};

// Lower bounds of squaredDistance(P, Q) for every foot Q of segments
// [first, first + count), into out: per axis the gap from P to the segment's
// box, rounded like P - Q is. Rounding is monotonic, so no point of the box
// gives a smaller square. Not a number when P or the box is not.
inline void boxSquaredDistances(const CurveSamples &curve, int first, int count, const UT_Vector3 &P, float *out)
{
    const float *lo[3], *hi[3];
    for (int c = 0; c < 3; ++c)
    {
        lo[c] = curve.boxLo[c].data() + first;
        hi[c] = curve.boxHi[c].data() + first;
    }
    const float px = P.x(), py = P.y(), pz = P.z();
    // At most one of the two gaps is positive, and x + 0 == x.
    for (int k = 0; k < count; ++k)
    {
        float gx = std::max(lo[0][k] - px, 0.0f) + std::max(px - hi[0][k], 0.0f);
        float gy = std::max(lo[1][k] - py, 0.0f) + std::max(py - hi[1][k], 0.0f);
        float gz = std::max(lo[2][k] - pz, 0.0f) + std::max(pz - hi[2][k], 0.0f);
        out[k] = gx * gx + gy * gy + gz * gz;
    }
}

// The running minimum of the segment search: from 1e12, strictly smaller
// wins, so ties go to the first segment offered and a distance that is not a
// number never wins.
struct NearestSoFar
{
    float best = 1e12f;
    float bestSquare = std::numeric_limits<float>::infinity(); // best == sqrt(bestSquare) once one is chosen
    int chosen = -1;
    UT_Vector3 Q;

    // A square no smaller than bestSquare has a root no smaller than best,
    // so only smaller ones need theirs.
    void offer(int i, const UT_Vector3 &foot, float square)
    {
        if (!(square < bestSquare)) return;
        float d = std::sqrt(square);
        if (best > d)
        {
            best = d;
            bestSquare = square;
            chosen = i;
            Q = foot;
        }
    }
};

// A segment projected ahead of the in-order search (see nearestSegment):
// its foot, and the bound its distance sets.
struct HintedSegment
{
    int k = -1;
    UT_Vector3 Q;
    float square = 0.0f;
    double beyond = std::numeric_limits<double>::infinity();
};

// Offers segments [first, first + count) (count <= 16) to nearest, in order.
// A segment whose box lies no nearer than the best distance so far cannot be
// strictly nearer, so it is not projected; nor is one whose box's square
// exceeds the hint's bound. (A foot that is not a number, the only kind
// outside its segment's box, never wins.)
inline void offerSegments(const CurveSamples &curve, int first, int count, const UT_Vector3 &P, NearestSoFar &nearest,
                          const HintedSegment &hint)
{
    float box[16];
    boxSquaredDistances(curve, first, count, P, box);
    for (int k = 0; k < count; ++k)
    {
        if (box[k] >= nearest.bestSquare || double(box[k]) > hint.beyond) continue;
        if (first + k == hint.k)
        {
            nearest.offer(hint.k, hint.Q, hint.square);
            continue;
        }
        UT_Vector3 Q;
        float square = curve.footOn(first + k, P, Q);
        nearest.offer(first + k, Q, square);
    }
}

// The segment nearest to P, by the rule of getClosest2PointPositions, and
// P's foot on it: the same winner, foot and distance, bit for bit, as
// projecting P on every segment. Returns false when no segment qualifies:
// the search then names vertex 0 twice, whose zero length makes every blend
// not a number, so such a voxel receives nothing.
//
// hint names a segment likely to win (the winner of the voxel before along
// a row), or -1. Its distance d bounds the search: a segment whose box's
// square exceeds the square of the float after d has every foot strictly
// farther than d, so it can neither win nor tie and is not projected; the
// segments left are offered in order as without a hint.
inline bool nearestSegment(const CurveSamples &curve, const UT_Vector3 &P, SegmentFoot &foot, int hint = -1)
{
    NearestSoFar nearest;
    const int segments = curve.segmentCount();
    HintedSegment hinted;
    if (hint >= 0 && hint < segments)
    {
        hinted.k = hint;
        hinted.square = curve.footOn(hint, P, hinted.Q);
        const float d = std::sqrt(hinted.square);
        if (d < nearest.best)
        {
            const double above = std::nextafter(d, std::numeric_limits<float>::infinity());
            hinted.beyond = above * above; // exact: a float's square fits a double
        }
    }
    for (int first = 0; first < segments; first += 16)
        offerSegments(curve, first, std::min(16, segments - first), P, nearest, hinted);
    if (nearest.chosen < 0) return false;
    const int k = nearest.chosen;
    foot.k = k;
    foot.Q = nearest.Q;
    foot.d = nearest.best;
    foot.L = dist3D(curve.pos[k], curve.pos[k + 1]);
    foot.along = dist3D(curve.pos[k], nearest.Q);
    return true;
}

// A block of voxel indices [lo, hi) per axis.
struct VoxelSpan
{
    int lo[3] = {0, 0, 0};
    int hi[3] = {0, 0, 0};
    bool empty() const { return lo[0] >= hi[0] || lo[1] >= hi[1] || lo[2] >= hi[2]; }
};

// The voxels each segment of a curve can reach, and the block holding them
// all, walked row by row.
struct CurveReach
{
    std::vector<VoxelSpan> segments;
    VoxelSpan bounds;

    bool empty() const { return bounds.empty(); }

    void enclose()
    {
        bounds = VoxelSpan();
        bool first = true;
        for (const VoxelSpan &s : segments)
        {
            if (s.empty()) continue;
            for (int a = 0; a < 3; ++a)
            {
                bounds.lo[a] = first || s.lo[a] < bounds.lo[a] ? s.lo[a] : bounds.lo[a];
                bounds.hi[a] = first || s.hi[a] > bounds.hi[a] ? s.hi[a] : bounds.hi[a];
            }
            first = false;
        }
    }

    // The x indices [begin, end) of row (y, z) that some segment reaches;
    // begin == end when none does.
    void row(int y, int z, int &begin, int &end) const
    {
        begin = end = 0;
        for (const VoxelSpan &s : segments)
        {
            if (s.empty() || y < s.lo[1] || y >= s.hi[1] || z < s.lo[2] || z >= s.hi[2]) continue;
            if (begin == end)
            {
                begin = s.lo[0];
                end = s.hi[0];
                continue;
            }
            if (s.lo[0] < begin) begin = s.lo[0];
            if (s.hi[0] > end) end = s.hi[0];
        }
    }
};

// The voxel-centre coordinates along each axis of an axis-aligned volume,
// exactly as indexToPos gives them, for finding the voxels a box contains.
class VoxelCentres
{
public:
    explicit VoxelCentres(const GEO_PrimVolume *vol)
    {
        vol->getRes(myRes[0], myRes[1], myRes[2]);
        const UT_Matrix3 &X = vol->getTransform();
        myAxisAligned = !vol->isTapered();
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                if (r != c && X(r, c) != 0.0f) myAxisAligned = false;
        for (int a = 0; a < 3; ++a)
        {
            myCentres[a].resize(myRes[a]);
            for (int i = 0; i < myRes[a]; ++i)
            {
                int idx[3] = {0, 0, 0};
                idx[a] = i;
                UT_Vector3 p;
                vol->indexToPos(idx[0], idx[1], idx[2], p);
                myCentres[a][i] = p[a];
            }
            myOrder[a] = order(myCentres[a]);
        }
        if (const UT_VoxelArrayF *voxels = vol->getVoxels()) voxels->getWritableZ(myKeepZ[0], myKeepZ[1]);
        else myKeepZ[1] = myRes[2];
    }

    VoxelSpan all() const
    {
        VoxelSpan s;
        for (int a = 0; a < 3; ++a) s.hi[a] = myRes[a];
        return s;
    }

    // The voxels whose centres lie in the box [lo, hi]. The centres are
    // monotonic along each axis, so the indices form one block. A block
    // whose z range lies outside the z slab the volume keeps writes in is
    // empty: it holds no voxel the fill may change.
    VoxelSpan within(const double lo[3], const double hi[3]) const
    {
        if (!myAxisAligned) return all();
        VoxelSpan s;
        for (int a : {2, 0, 1})
        {
            if (!axisSpan(a, lo[a], hi[a], s.lo[a], s.hi[a])) return VoxelSpan();
            if (a == 2 && (s.hi[2] <= myKeepZ[0] || s.lo[2] >= myKeepZ[1])) return VoxelSpan();
        }
        return s;
    }

    // Whether the curve reaches no voxel of the z slab the volume keeps
    // writes in, from readPlace's data alone: every segment's box (see
    // reach) lies within the z span of all the curve's points grown by its
    // largest radius. False outside a slab cook and whenever in doubt.
    bool missesKeptZ(const CurveSamples &curve) const
    {
        if (!myAxisAligned || (myKeepZ[0] <= 0 && myKeepZ[1] >= myRes[2]) || curve.segmentCount() == 0) return false;
        double radius = 0.0, lo = INFINITY, hi = -INFINITY;
        for (size_t i = 0; i < curve.pos.size(); ++i)
        {
            const UT_Vector3 &P = curve.pos[i];
            const float z = P.z(), r = curve.radius[i];
            // reach gives a segment with an end not finite the whole grid.
            if (!std::isfinite(P.x()) || !std::isfinite(P.y()) || !std::isfinite(z) || std::isnan(r)) return false;
            if (r > radius) radius = r;
            lo = std::min(lo, double(z));
            hi = std::max(hi, double(z));
        }
        const double grow = reachGrowth(radius);
        if (!(radius > 0.0) || !std::isfinite(grow)) return false;
        int first, end;
        if (!axisSpan(2, lo - grow, hi + grow, first, end)) return true;
        return end <= myKeepZ[0] || first >= myKeepZ[1];
    }

    // The voxels a curve can add to, segment by segment. A covered centre P
    // lies within the interpolated radius r of its foot Q on the nearest
    // segment, Q lies within the box of that segment's ends, and r, a blend
    // of the two end radii, never exceeds the larger one. So the segment's
    // box grown by its larger end radius holds every centre it covers. The
    // growth carries a margin for the rounding of r and of the distance;
    // voxels inside the margin are still decided by the exact per-voxel
    // rule. A segment with no positive end radius covers nothing (r <= 0
    // leaves only 0 / 0); one with an end that is not finite gets the whole
    // grid.
    CurveReach reach(const CurveSamples &curve) const
    {
        CurveReach reach;
        const int segments = curve.segmentCount();
        reach.segments.resize(segments);
        for (int k = 0; k < segments; ++k)
        {
            double radius = 0.0;
            for (float r : {curve.radius[k], curve.radius[k + 1]})
                if (r > radius) radius = r;
            if (!(radius > 0.0)) continue;
            const double grow = reachGrowth(radius);
            const UT_Vector3 &a = curve.pos[k], &b = curve.pos[k + 1];
            bool finite = true;
            double lo[3], hi[3];
            for (int c = 0; c < 3; ++c)
            {
                finite = finite && std::isfinite(a[c]) && std::isfinite(b[c]);
                lo[c] = double(a[c] < b[c] ? a[c] : b[c]) - grow;
                hi[c] = double(a[c] < b[c] ? b[c] : a[c]) + grow;
            }
            reach.segments[k] = finite ? within(lo, hi) : all();
        }
        reach.enclose();
        return reach;
    }

private:
    // How far past a segment's box its covered centres can lie: its larger
    // end radius, with a margin for the rounding of r and of the distance.
    static double reachGrowth(double radius) { return radius * (1.0 + 1e-5) + 1e-18; }

    // +1 when the centres never decrease, -1 when they never increase, 0
    // otherwise (or when one is not a number).
    static int order(const std::vector<float> &c)
    {
        bool up = true, down = true;
        for (size_t i = 0; i < c.size(); ++i)
        {
            if (std::isnan(c[i])) return 0;
            if (i > 0) up = up && c[i - 1] <= c[i], down = down && c[i - 1] >= c[i];
        }
        return up ? 1 : (down ? -1 : 0);
    }

    // The indices [first, end) on axis a whose centres lie in [lo, hi]:
    // found by bisection where the centres are ordered, else by a scan.
    // False when there are none.
    bool axisSpan(int a, double lo, double hi, int &first, int &end) const
    {
        const std::vector<float> &c = myCentres[a];
        auto below = [lo](float v) { return !(v >= lo); };
        auto notAbove = [hi](float v) { return v <= hi; };
        if (myOrder[a] > 0)
        {
            first = int(std::partition_point(c.begin(), c.end(), below) - c.begin());
            end = int(std::partition_point(c.begin(), c.end(), notAbove) - c.begin());
            return first < end;
        }
        if (myOrder[a] < 0)
        {
            first = int(std::partition_point(c.begin(), c.end(), [&](float v) { return !notAbove(v); }) - c.begin());
            end = int(std::partition_point(c.begin(), c.end(), [&](float v) { return !below(v); }) - c.begin());
            return first < end;
        }
        int last = -1;
        first = -1;
        for (int i = 0; i < myRes[a]; ++i)
            if (c[i] >= lo && c[i] <= hi)
            {
                if (first < 0) first = i;
                last = i;
            }
        end = last + 1;
        return first >= 0;
    }

    int myRes[3] = {0, 0, 0};
    bool myAxisAligned = true;
    std::vector<float> myCentres[3];
    int myOrder[3] = {0, 0, 0};
    int myKeepZ[2] = {0, 0}; // the z range the voxel array keeps writes in
};

} // namespace curvecast
