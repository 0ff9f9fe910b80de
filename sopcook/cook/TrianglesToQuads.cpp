// SPDX-License-Identifier: Apache-2.0
#include "cook/TrianglesToQuads.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "GEO/GEO_PrimPoly.h"

namespace sopcook
{
namespace
{
using Corners = std::array<GA_Offset, 3>;

bool isTriangle(const GA_Primitive &prim)
{
    auto *poly = dynamic_cast<const GEO_PrimPoly *>(&prim);
    return poly && poly->isClosed() && poly->getVertexCount() == 3;
}

// One side of a triangle: from corner `side` to the next.
struct Side
{
    GA_Offset lo, hi;
    uint32_t tri;
    uint8_t side;
};

// Two triangles sharing an edge, as the quad a b d c they would make.
struct Candidate
{
    double cost; // fold plus how far the corners are from right angles
    uint32_t first, second;
    std::array<GA_Offset, 4> quad;
};

// The quad of triangle (a, b, c) and the far corner d of its neighbour over
// b-c, when it is convex and folds no more than maxFold; its cost otherwise -1.
double quadCost(const GU_Detail &gdp, const std::array<GA_Offset, 4> &q, double maxFold)
{
    UT_Vector3 p[4];
    for (int i = 0; i < 4; ++i) p[i] = gdp.getPos3(q[size_t(i)]);
    // (a, b, c) and (c, b, d) in the triangles' own winding.
    UT_Vector3 n1 = cross(p[1] - p[0], p[3] - p[0]), n2 = cross(p[1] - p[3], p[2] - p[3]);
    const double l1 = n1.length(), l2 = n2.length();
    if (!(l1 > 0) || !(l2 > 0)) return -1; // a degenerate triangle pairs with nothing
    const double fold = std::acos(std::clamp(double(n1.dot(n2)) / (l1 * l2), -1.0, 1.0));
    if (fold > maxFold) return -1;
    UT_Vector3 n = n1 / float(l1) + n2 / float(l2);
    double cost = fold;
    for (int i = 0; i < 4; ++i)
    {
        const UT_Vector3 in = p[i] - p[(i + 3) % 4], out = p[(i + 1) % 4] - p[i];
        const double li = in.length(), lo = out.length();
        if (!(li > 0) || !(lo > 0)) return -1;
        if (!(double(cross(in, out).dot(n)) > 1e-6 * li * lo)) return -1; // a reflex or straight corner: not convex
        const double turn = std::acos(std::clamp(double(in.dot(out)) / (li * lo), -1.0, 1.0));
        cost += std::fabs(turn - M_PI / 2) / 4;
    }
    return cost;
}

std::vector<Candidate> candidates(const GU_Detail &gdp, const std::vector<Corners> &tris, double maxFold)
{
    std::vector<Side> sides;
    sides.reserve(tris.size() * 3);
    for (size_t t = 0; t < tris.size(); ++t)
        for (uint8_t k = 0; k < 3; ++k)
        {
            const GA_Offset a = tris[t][k], b = tris[t][(k + 1) % 3];
            if (a != b) sides.push_back({std::min(a, b), std::max(a, b), uint32_t(t), k});
        }
    std::sort(sides.begin(), sides.end(), [](const Side &x, const Side &y) {
        return x.lo != y.lo ? x.lo < y.lo : x.hi != y.hi ? x.hi < y.hi : x.tri < y.tri;
    });
    std::vector<Candidate> out;
    for (size_t i = 0; i < sides.size();)
    {
        size_t j = i + 1;
        while (j < sides.size() && sides[j].lo == sides[i].lo && sides[j].hi == sides[i].hi) ++j;
        if (j - i == 2 && sides[i].tri != sides[i + 1].tri) // an edge of exactly two triangles
        {
            const Corners &t1 = tris[sides[i].tri], &t2 = tris[sides[i + 1].tri];
            const int k1 = sides[i].side, k2 = sides[i + 1].side;
            const GA_Offset a = t1[size_t((k1 + 2) % 3)], b = t1[size_t(k1)], c = t1[size_t((k1 + 1) % 3)];
            const GA_Offset d = t2[size_t((k2 + 2) % 3)];
            // Both wound the same way (the edge runs c -> b in the second), d a fourth point.
            if (t2[size_t(k2)] == c && t2[size_t((k2 + 1) % 3)] == b && d != a && d != b && d != c)
            {
                const std::array<GA_Offset, 4> quad = {a, b, d, c};
                const double cost = quadCost(gdp, quad, maxFold);
                if (cost >= 0) out.push_back({cost, sides[i].tri, sides[i + 1].tri, quad});
            }
        }
        i = j;
    }
    // Best pairs first; ties in edge order, so the result never depends on the sort.
    std::stable_sort(out.begin(), out.end(), [](const Candidate &x, const Candidate &y) { return x.cost < y.cost; });
    return out;
}

void copyPrimitiveAttributes(GU_Detail &gdp, GA_Offset from, GA_Offset to)
{
    for (const auto &attr : gdp.attributes(GA_ATTRIB_PRIMITIVE))
        for (int c = 0; c < attr->getTupleSize(); ++c)
            if (attr->getStorageClass() == GA_STORECLASS_STRING) attr->setS(to, c, attr->getS(from, c));
            else attr->setF(to, c, attr->getF(from, c));
}
} // namespace

TrianglesToQuadsResult trianglesToQuads(const GU_Detail &in, GU_Detail &out, const TrianglesToQuadsSettings &settings)
{
    out.copyFrom(in);
    const GA_Size count = out.getNumPrimitives();
    std::vector<GA_Primitive *> originals;
    std::vector<int64_t> triOf(size_t(count), -1); // each primitive's triangle number
    std::vector<Corners> tris;
    for (GA_Offset p = 0; p < count; ++p)
    {
        GA_Primitive *prim = out.getPrimitive(p);
        originals.push_back(prim);
        if (!isTriangle(*prim)) continue;
        triOf[size_t(p)] = int64_t(tris.size());
        tris.push_back({prim->getPointOffset(0), prim->getPointOffset(1), prim->getPointOffset(2)});
    }
    TrianglesToQuadsResult result;
    if (tris.empty()) return result;

    // Greedy matching, best quads first.
    std::vector<int64_t> pairOf(tris.size(), -1); // the candidate each triangle went into
    const std::vector<Candidate> found = candidates(out, tris, settings.maxFoldDegrees * M_PI / 180);
    for (size_t c = 0; c < found.size(); ++c)
        if (pairOf[found[c].first] < 0 && pairOf[found[c].second] < 0) pairOf[found[c].first] = pairOf[found[c].second] = int64_t(c);

    // The new primitives in the old order, then the old ones removed.
    std::vector<bool> placed(found.size(), false);
    for (GA_Offset p = 0; p < count; ++p)
    {
        const int64_t t = triOf[size_t(p)];
        GA_Offset made = GA_INVALID_OFFSET;
        if (t < 0)
            made = out.appendPrimitive(originals[size_t(p)]->clone(&out));
        else if (pairOf[size_t(t)] >= 0)
        {
            const size_t c = size_t(pairOf[size_t(t)]);
            if (placed[c]) continue; // the pair sits where its first triangle was
            placed[c] = true;
            const auto &q = found[c].quad;
            made = GEO_PrimPoly::build(&out, {q[0], q[1], q[2], q[3]}, true)->getMapOffset();
            ++result.pairs;
        }
        else
        {
            const Corners &k = tris[size_t(t)];
            made = GEO_PrimPoly::build(&out, {k[0], k[1], k[2], k[2]}, true)->getMapOffset();
            ++result.degenerate;
        }
        copyPrimitiveAttributes(out, p, made);
    }
    for (GA_Primitive *prim : originals) out.destroyPrimitive(*prim, false);
    out.settle();
    return result;
}
} // namespace sopcook
