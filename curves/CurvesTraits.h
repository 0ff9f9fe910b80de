// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the curve casts tell a host (OperatorTraits.h). Cost: every voxel a
// curve reaches is measured against its segments (and, with noise, evaluates
// one fractal noise per curve where it lies within the radius); the reach is
// measured on the input, and without it may span the grid.
#include <array>
#include <vector>
#include "CostReach.h"
#include "OperatorTraits.h"

namespace curves
{
// The voxels whose centres lie in [lo, hi] on an axis, as indices [first, end).
inline void centreSpan(const cost::Placement &g, int a, double lo, double hi, double &first, double &end)
{
    first = std::max(0.0, std::ceil((lo - g.lower[a]) / g.voxel[a] - 0.5));
    end = std::min(double(g.res[a]), std::floor((hi - g.lower[a]) / g.voxel[a] - 0.5) + 1);
    if (!(first < end)) first = end = 0;
}

// What one curve reaches, as the casts walk it: every segment's box grown
// by its larger end radius, and in each row of the block holding them the x
// span of the boxes covering that row.
// A box of voxel centres, [lo, hi) on each axis.
struct CentreBox
{
    double lo[3], hi[3];
    bool empty() const { return !(lo[0] < hi[0] && lo[1] < hi[1] && lo[2] < hi[2]); }
    double voxels() const { return empty() ? 0 : (hi[0] - lo[0]) * (hi[1] - lo[1]) * (hi[2] - lo[2]); }
};

// The voxels a curve's walk visits: per row of block, the span from the
// first to the last of the boxes that row crosses.
inline double rowSpanVoxels(const std::vector<CentreBox> &boxes, const CentreBox &block)
{
    double v = 0;
    for (double z = block.lo[2]; z < block.hi[2]; ++z)
        for (double y = block.lo[1]; y < block.hi[1]; ++y)
        {
            double begin = INFINITY, end = -INFINITY;
            for (const CentreBox &b : boxes)
                if (y >= b.lo[1] && y < b.hi[1] && z >= b.lo[2] && z < b.hi[2])
                    begin = std::min(begin, b.lo[0]), end = std::max(end, b.hi[0]);
            if (begin < end) v += end - begin;
        }
    return v;
}

struct CurveReach
{
    cost::Range visits;     // voxels measured against the curve's segments
    cost::Range inside;     // of them within its radius (noise, writes)
    double segments = 0;

    CurveReach(const cost::Placement &g, const GU_Detail &gdp, const GA_Primitive &prim, const GA_Attribute *radius)
    {
        const GA_Size n = prim.getVertexCount();
        if (n < 2) return;
        segments = double(n - 1);
        std::vector<CentreBox> boxes;
        std::vector<UT_Vector3> pos(n);
        std::vector<float> r(n);
        double rmin = INFINITY;
        for (GA_Size i = 0; i < n; ++i)
        {
            pos[i] = gdp.getPos3(prim.getPointOffset(i));
            r[i] = cost::pointValue(radius, prim.getPointOffset(i));
            rmin = std::min(rmin, double(r[i]));
        }
        CentreBox all;
        for (int a = 0; a < 3; ++a) all.lo[a] = 0, all.hi[a] = g.res[a];
        CentreBox block = {{INFINITY, INFINITY, INFINITY}, {-INFINITY, -INFINITY, -INFINITY}};
        // A covered centre lies within its nearest segment's larger end radius
        // of it, so in that segment's capsule grown by half a voxel diagonal.
        double sumBoxes = 0, largestBox = 0, capsules = 0;
        const double h = cost::halfDiagonal(g);
        for (GA_Size k = 0; k + 1 < n; ++k)
        {
            const double grow = std::max(r[k], r[k + 1]) * (1.0 + 1e-5) + 1e-18;
            if (!(grow > 1e-18)) continue; // no positive end radius: covers nothing
            CentreBox b;
            bool finite = true;
            for (int a = 0; a < 3; ++a)
            {
                const double lo = std::min(pos[k][a], pos[k + 1][a]) - grow, hi = std::max(pos[k][a], pos[k + 1][a]) + grow;
                finite = finite && std::isfinite(lo) && std::isfinite(hi);
                centreSpan(g, a, lo, hi, b.lo[a], b.hi[a]);
            }
            if (!finite) b = all;
            const double c = std::max(r[k], r[k + 1]) + h, L = double((pos[k + 1] - pos[k]).length());
            capsules += finite ? 3.14159265358979 * c * c * (L + 4.0 / 3.0 * c) / cost::cellVolume(g) : b.voxels();
            if (b.empty()) continue;
            boxes.push_back(b);
            sumBoxes += b.voxels();
            largestBox = std::max(largestBox, b.voxels());
            for (int a = 0; a < 3; ++a) block.lo[a] = std::min(block.lo[a], b.lo[a]), block.hi[a] = std::max(block.hi[a], b.hi[a]);
        }
        if (boxes.empty()) return;
        // Rows of the block times boxes: walked when affordable, else bounded.
        const double rows = (block.hi[1] - block.lo[1]) * (block.hi[2] - block.lo[2]);
        if (rows * double(boxes.size()) <= 4e6)
        {
            const double v = rowSpanVoxels(boxes, block);
            visits = {v, v};
        }
        else visits = {largestBox, block.voxels()};
        inside.most = std::min({visits.most, sumBoxes, capsules});
        inside.fewest = std::min(visits.fewest, tubes(g, pos, rmin - cost::halfDiagonal(g)));
    }

private:
    // Voxels certainly within the curve's radius: each voxel meeting a tube of
    // rho (the smallest radius less half a voxel diagonal) round a segment
    // has its centre within the smallest radius of that segment, so of its
    // nearest one too. Tubes are summed only while their boxes stay apart
    // (then they share no voxel) and inside the grid.
    static double tubes(const cost::Placement &g, const std::vector<UT_Vector3> &pos, double rho)
    {
        if (!(rho > 0) || pos.size() > 4096) return 0;
        std::vector<std::array<double, 6>> taken;
        double v = 0;
        for (size_t k = 0; k + 1 < pos.size(); ++k)
        {
            std::array<double, 6> b;
            bool inGrid = true;
            for (int a = 0; a < 3; ++a)
            {
                b[a] = std::min(pos[k][a], pos[k + 1][a]) - rho;
                b[a + 3] = std::max(pos[k][a], pos[k + 1][a]) + rho;
                inGrid = inGrid && b[a] >= g.lower[a] && b[a + 3] <= g.lower[a] + g.res[a] * g.voxel[a];
            }
            if (!inGrid) continue;
            bool apart = true;
            for (const auto &t : taken)
                apart = apart && (b[0] > t[3] || t[0] > b[3] || b[1] > t[4] || t[1] > b[4] || b[2] > t[5] || t[2] > b[5]);
            if (!apart) continue;
            taken.push_back(b);
            v += 3.14159265358979 * rho * rho * double((pos[k + 1] - pos[k]).length());
        }
        return v / cost::cellVolume(g);
    }
};

// Measured on the input: every curve's visits and covered voxels. False
// without the input or its placement.
inline bool curvesReach(const cost::Parms &p, const cost::InputCounts &in, cost::Range &visits, cost::Range &tests,
                        cost::Range &inside)
{
    if (!in.geometry || !in.placement.known) return false;
    const GA_Attribute *radius = cost::pointAttribute(p, in, "radiusattrib");
    for (GA_Offset prim = 0; prim < GA_Offset(in.geometry->getNumPrimitives()); ++prim)
    {
        CurveReach c(in.placement, *in.geometry, *in.geometry->getPrimitive(prim), radius);
        visits += c.visits;
        tests += c.visits * c.segments;
        inside += c.inside;
    }
    return true;
}

// Each visit finds the curve's nearest segment: a box test against every
// segment, a projection onto the few that pass, the blends along the
// winner; in visits, as measured on the casts.
constexpr double visitsPerCurveVisit = 4, visitsPerSegmentTest = 0.5;

// strandcast never polls: its cook runs to the end.
inline void strandcastCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    c.volumes = 1 + 3 * p.on("docolor") + 3 * p.on("dovelocity");
    c.stopsEarly = false;
    cost::Range visits, tests, inside;
    if (curvesReach(p, in, visits, tests, inside))
    {
        const std::string curves = cost::number(in.prims) + " curves";
        c.add(visits.fewest * visitsPerCurveVisit, visits.most * visitsPerCurveVisit, cost::visit,
              cost::rangeText(visits) + " voxels in reach of " + curves);
        c.add(tests.fewest * visitsPerSegmentTest, tests.most * visitsPerSegmentTest, cost::visit,
              cost::rangeText(visits) + " voxels x the segments of their curve");
        if (p.on("donoise"))
            c.add(inside.fewest * p.lookups(), inside.most * p.lookups(), cost::lookup,
                  cost::rangeText(inside) + " voxels within the radii of " + curves + " x " + p.lookupText());
        c.writesAtMost = inside.most;
        return;
    }
    const double V = c.grid.voxels();
    c.most.add(V * in.segments, cost::visit.slow, c.grid.text + " voxels x " + cost::number(in.segments) + " curve segments");
    if (p.on("donoise"))
        c.most.add(V * in.prims * p.lookups(), cost::lookup.slow,
                   c.grid.text + " voxels x " + cost::number(in.prims) + " curves x " + p.lookupText());
}

// The threaded cast polls after rows of each curve's reach, a count not
// known before the curves are read: no percentage.
inline void strandcastStraightMTCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    strandcastCost(p, in, c);
    c.stopsEarly = true;
}

// The noise is looked up in each point's frame (normal and up) offset by its
// uv: without all three it reads 0 everywhere.
inline traits::OperatorTraits strandcastTraits(cost::Model model)
{
    using namespace traits;
    OperatorTraits t;
    t.input = InputKind::Curves;
    t.cost = model;
    t.attributesKnown = true;
    t.attributes = {
        essential("densityattrib", 1, "every density reads 0, " + nothingWritten),
        essential("radiusattrib", 1, "every radius reads 0, " + nothingWritten),
        essential("colorattrib", 3, zeroColour, "docolor"),
        optional("normalsattrib", 3, "every normal reads (0, 0, 0) in the noise frame", "donoise"),
        optional("upattrib", 3, "every up vector reads (0, 0, 0) in the noise frame", "donoise"),
        optional("uvattrib", 3, "every uv reads (0, 0, 0), so the noise has no offset along the curve", "donoise")};
    t.noiseFrame.parms = {"normalsattrib", "upattrib", "uvattrib"};
    return t;
}
} // namespace curves
