// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the surface wisps tell a host (OperatorTraits.h). Cost: each quad
// spreads ceil(sqrt(childrencount))^2 children, one fractal noise each, that
// splat a (2 extendvoxels + 1)^3 cube or (feather) a reach that may span the
// grid.
#include "OperatorTraits.h"

namespace surfacewisps
{
inline double quadChildren(const cost::Parms &p, const cost::InputCounts &in)
{
    const double side = std::ceil(std::sqrt(double(std::max(p.integer("childrencount"), 0))));
    return in.quads * side * side;
}

// skinweave polls after every child.
inline void skinweaveCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    c.volumes = 1 + 3 * p.on("docolor") + 3 * p.on("dovelocity");
    const double children = quadChildren(p, in);
    const std::string who = cost::number(in.quads) + " quads x " + p.setting("childrencount");
    c.least.add(children * p.lookups(), cost::lookupSeconds, who + " x " + p.lookupText());
    c.most.add(children * p.lookups(), cost::lookupSeconds, who + " x " + p.lookupText());
    if (p.on("feather"))
        c.most.add(children * c.grid.voxels(), cost::visitSeconds, who + " x " + c.grid.text + " feather voxels");
    else
    {
        double edge = 2.0 * std::max(p.integer("extendvoxels"), 0) + 1.0;
        std::string what = who + " x (2 " + p.setting("extendvoxels") + " + 1)^3 voxels";
        c.least.add(children * edge * edge * edge, cost::visitSeconds, what);
        c.most.add(children * edge * edge * edge, cost::visitSeconds, what);
    }
    c.polls = children;
    c.pollsOf = "children";
}

// skinweaveMT polls after every quad.
inline void skinweaveMTCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    skinweaveCost(p, in, c);
    c.polls = in.quads;
    c.pollsOf = "quads";
}

inline traits::OperatorTraits skinweaveTraits(cost::Model model)
{
    using namespace traits;
    OperatorTraits t;
    t.input = InputKind::Quads;
    t.cost = model;
    t.attributesKnown = true;
    t.attributes = {
        essential("densityattrib", 1, "every density reads 0, so no density is written"),
        essential("radiusattrib", 1, "every radius reads 0, so no density is written"),
        essential("colorattrib", 3, zeroColour, "docolor"),
        essential("velocityattrib", 3, "every velocity reads (0, 0, 0), so the vel volumes stay 0", "dovelocity"),
        optional("normalsattrib", 3, "every normal reads (0, 0, 0), so noise pushes children along the surface only"),
        optional("noiseoffsetattrib", 3, "every noise offset reads (0, 0, 0)"),
        optional("uvattrib", 3, "every uv reads (0, 0, 0), so the noise is looked up at the noise offset alone")};
    return t;
}
} // namespace surfacewisps
