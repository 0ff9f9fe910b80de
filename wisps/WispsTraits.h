// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the point wisps tell a host (OperatorTraits.h). Cost: every input
// point walks childrencount children, each child three fractal-noise
// lookups; a child deposits a 3x3x3 block, or (feather, or a streak of the
// velocity stretch) a reach that may span the grid.
#include "OperatorTraits.h"

namespace wisps
{
inline void childrenCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c, bool stretch)
{
    const double children = in.points * std::max(p.integer("childrencount"), 0);
    const std::string who = cost::number(in.points) + " points x " + p.setting("childrencount");
    const std::string noise = who + " x 3 x " + p.lookupText();
    c.least.add(children * 3 * p.lookups(), cost::lookupSeconds, noise);
    c.most.add(children * 3 * p.lookups(), cost::lookupSeconds, noise);
    if (stretch || p.on("feather"))
        c.most.add(children * c.grid.voxels(), cost::visitSeconds,
                   who + " x " + c.grid.text + (stretch ? " streak voxels" : " feather voxels"));
    else
    {
        c.least.add(children * 27, cost::visitSeconds, who + " x 27 voxels");
        c.most.add(children * 27, cost::visitSeconds, who + " x 27 voxels");
    }
}

// Polls after every child.
inline void plumeweaveCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    c.volumes = 4;
    childrenCost(p, in, c, false);
    c.polls = in.points * std::max(p.integer("childrencount"), 0);
    c.pollsOf = "children";
}

// The single-threaded stretch never polls: its cook runs to the end.
inline void velocityStretchCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    c.volumes = 1 + 3 * p.on("docolor");
    childrenCost(p, in, c, true);
    c.stopsEarly = false;
}

// The threaded stretch polls after every point.
inline void velocityStretchMTCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    velocityStretchCost(p, in, c);
    c.stopsEarly = true;
    c.polls = in.points;
    c.pollsOf = "points";
}

// Normals, up vector and colour are looked up but never change the output.
inline traits::OperatorTraits plumeweaveTraits()
{
    using namespace traits;
    OperatorTraits t;
    t.input = InputKind::Points;
    t.cost = plumeweaveCost;
    t.attributesKnown = true;
    t.attributes = {essential("densityattrib", 1, "every density reads 0, " + nothingWritten),
                    essential("radiusattrib", 1, "every radius reads 0, " + nothingWritten),
                    optional("noiseoffsetattrib", 3, "every noise offset reads (0, 0, 0)")};
    return t;
}

inline traits::OperatorTraits velocityStretchTraits(cost::Model model)
{
    using namespace traits;
    OperatorTraits t;
    t.input = InputKind::Points;
    t.cost = model;
    t.attributesKnown = true;
    t.attributes = {
        essential("densityattrib", 1, "every density reads 0, " + nothingWritten),
        essential("pscaleattrib", 1, "every footprint reads 0, " + nothingWritten),
        essential("radiusattrib", 1, "every displacement scale reads 0, so noise moves no child: each point's streaks lie on the point"),
        essential("velocityattrib", 3, "every velocity reads (0, 0, 0), so children draw spheres, not streaks"),
        essential("colorattrib", 3, zeroColour, "docolor"),
        optional("noiseoffsetattrib", 3, "every noise offset reads (0, 0, 0)")};
    return t;
}
} // namespace wisps
