// SPDX-License-Identifier: Apache-2.0
#pragma once
// Cost of the curve casts: every voxel a curve reaches is measured against
// its segments (and, with noise, evaluates one fractal noise per curve); a
// curve's reach may span the grid, so only the most work grows with it.
#include "CostModel.h"

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
} // namespace curves
