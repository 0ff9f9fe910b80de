// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the clouds tell a host (OperatorTraits.h). Cost: every point's ball
// may reach every voxel, each visit with one fractal noise when noise is on.
#include "OperatorTraits.h"

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
