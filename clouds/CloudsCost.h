// SPDX-License-Identifier: Apache-2.0
#pragma once
// Cost of the clouds: every point's ball may reach every voxel, each visit
// with one fractal noise when noise is on.
#include "CostModel.h"

namespace clouds
{
inline void ballsCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    const double V = c.grid.voxels();
    const std::string pts = cost::number(in.points) + " points";
    c.most.add(V * in.points, cost::visitSeconds, c.grid.text + " voxels x " + pts);
    if (p.on("donoise"))
        c.most.add(V * in.points * p.lookups(), cost::lookupSeconds, c.grid.text + " voxels x " + pts + " x " + p.lookupText());
}

// billowfold polls after every point, the four volumes' anchor points too.
inline void billowfoldCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    c.volumes = 4;
    ballsCost(p, in, c);
    c.polls = in.points + 4;
    c.pollsOf = "points";
}

// billowfoldMT polls after every input point.
inline void billowfoldMTCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    c.volumes = 1 + 3 * p.on("docolor");
    ballsCost(p, in, c);
    c.polls = in.points;
    c.pollsOf = "points";
}
} // namespace clouds
