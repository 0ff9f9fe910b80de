// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the clouds tell a host (OperatorTraits.h). Cost: every voxel of each
// point's search box is visited, and those within its radius are written
// (with one fractal noise each when noise is on); without the input the
// ball may reach every voxel.
#include "CostReach.h"
#include "OperatorTraits.h"

namespace clouds
{
// Measured on the input: the voxels of every point's search box (visited)
// and those of them within its radius (where the noise is looked up and the
// volumes are written). False without the input or its placement.
inline bool ballsReach(const cost::Parms &p, const cost::InputCounts &in, cost::Range &visits, cost::Range &inside)
{
    const cost::Placement &g = in.placement;
    if (!in.geometry || !g.known) return false;
    const GA_Attribute *radius = cost::pointAttribute(p, in, "radiusattrib");
    const double V = double(g.res[0]) * g.res[1] * g.res[2];
    double rows = 0;
    for (GA_Offset pt = 0; pt < GA_Offset(in.points); ++pt)
    {
        const double r = cost::pointValue(radius, pt);
        if (!(r > 0)) continue; // a box of no voxels
        const UT_Vector3 P = in.geometry->getPos3(pt);
        double lo[3], hi[3];
        bool finite = std::isfinite(r);
        for (int a = 0; a < 3; ++a)
        {
            finite = finite && std::isfinite(P[a]) && g.reachVoxel[a] > 0;
            const double e = cost::axisReach(g, a, r), i = finite ? g.clampedIndex(a, P[a]) : 0;
            lo[a] = std::max(0.0, i - e);
            hi[a] = std::min(double(g.res[a]), i + e);
        }
        // A reach with no finite value searches a whole axis in billowfold
        // and nothing in billowfoldMT.
        if (!finite)
        {
            visits.most += V;
            inside.most += V;
            continue;
        }
        const double box = std::max(0.0, hi[0] - lo[0]) * std::max(0.0, hi[1] - lo[1]) * std::max(0.0, hi[2] - lo[2]);
        visits += cost::Range{box, box};
        // Counted row by row while that stays far cheaper than a cook;
        // bounded beyond.
        inside += rows < 2e7 ? cost::centresWithinByRows(g, P, r, lo, hi, rows) : cost::centresWithin(g, P, r, lo, hi);
    }
    return true;
}

inline void ballsCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c, int volumes)
{
    const std::string pts = cost::number(in.points) + " points";
    cost::Range visits, inside;
    if (ballsReach(p, in, visits, inside))
    {
        // A distance test a box voxel, a deposit into each volume within the radius.
        c.add(visits.fewest * 0.3, visits.most * 0.3, cost::visit, cost::rangeText(visits) + " voxels of " + pts + "' search boxes");
        c.add(inside.fewest * volumes * 1.75, inside.most * volumes * 1.75, cost::visit,
              cost::rangeText(inside) + " voxels within " + pts + "' radii x " + std::to_string(volumes) + " volumes");
        if (p.on("donoise"))
            c.add(inside.fewest * p.lookups(), inside.most * p.lookups(), cost::lookup,
                  cost::rangeText(inside) + " voxels within " + pts + "' radii x " + p.lookupText());
        c.writesAtMost = inside.most;
        return;
    }
    const double V = c.grid.voxels();
    c.most.add(V * in.points, cost::visit.slow, c.grid.text + " voxels x " + pts);
    if (p.on("donoise"))
        c.most.add(V * in.points * p.lookups(), cost::lookup.slow, c.grid.text + " voxels x " + pts + " x " + p.lookupText());
}

// billowfold polls after every point, the four volumes' anchor points too.
inline void billowfoldCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    c.volumes = 4;
    ballsCost(p, in, c, c.volumes);
    c.polls = in.points + 4;
    c.pollsOf = "points";
}

// billowfoldMT polls after every input point.
inline void billowfoldMTCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    c.volumes = 1 + 3 * p.on("docolor");
    ballsCost(p, in, c, c.volumes);
    c.polls = in.points;
    c.pollsOf = "points";
}

// colourToggle: the toggle colour is read under ("" when always read).
inline traits::OperatorTraits cloudsTraits(cost::Model model, const char *colourToggle)
{
    using namespace traits;
    OperatorTraits t;
    t.input = InputKind::Points;
    t.cost = model;
    t.attributesKnown = true;
    t.attributes = {
        essential("densityattrib", 1, "every density reads 0, " + nothingWritten),
        essential("radiusattrib", 1, "every radius reads 0, " + nothingWritten),
        essential("colorattrib", 3, zeroColour, colourToggle),
        optional("normalsattrib", 3, "every normal reads (0, 0, 0) in each ball's noise frame (world axes when 'up' is missing too)", "donoise"),
        optional("upvectorattrib", 3, "every up vector reads (0, 0, 0) in each ball's noise frame", "donoise"),
        optional("noiseoffsetattrib", 3, "every noise offset reads (0, 0, 0)", "donoise")};
    return t;
}
} // namespace clouds
