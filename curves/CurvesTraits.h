// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the curve casts tell a host (OperatorTraits.h). Cost: every voxel a
// curve reaches is measured against its segments (and, with noise, evaluates
// one fractal noise per curve); a curve's reach may span the grid, so only
// the most work grows with it.
#include "OperatorTraits.h"

namespace curves
{
// strandcast never polls: its cook runs to the end.
inline void strandcastCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    c.volumes = 1 + 3 * p.on("docolor") + 3 * p.on("dovelocity");
    const double V = c.grid.voxels();
    c.most.add(V * in.segments, cost::visitSeconds, c.grid.text + " voxels x " + cost::number(in.segments) + " curve segments");
    if (p.on("donoise"))
        c.most.add(V * in.prims * p.lookups(), cost::lookupSeconds,
                   c.grid.text + " voxels x " + cost::number(in.prims) + " curves x " + p.lookupText());
    c.stopsEarly = false;
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
