// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the surface wisps tell a host (OperatorTraits.h). Cost: each quad
// spreads ceil(sqrt(childrencount))^2 children, one fractal noise each, that
// splat a (2 extendvoxels + 1)^3 cube or (feather) the ball of its radius,
// measured on the input (without it, a reach that may span the grid).
#include "CostReach.h"
#include "OperatorTraits.h"
#include "SlabReach.h"

namespace surfacewisps
{
inline double quadChildren(const cost::Parms &p, const cost::InputCounts &in)
{
    const double side = std::ceil(std::sqrt(double(std::max(p.integer("childrencount"), 0))));
    return in.quads * side * side;
}

// The feather voxels of every quad's children, measured on the input: each
// child's radius lies between its corners' (a bilinear blend), and the
// child between the corners' box grown by how far noise pushes it. False
// without the input or its placement, or in a camera frustum (whose voxels
// the box does not give).
inline bool featherReach(const cost::Parms &p, const cost::InputCounts &in, cost::Range &visits)
{
    const cost::Placement &g = in.placement;
    if (!in.geometry || !g.known || p.on("usecamfrustum")) return false;
    const double side = std::ceil(std::sqrt(double(std::max(p.integer("childrencount"), 0))));
    const GA_Attribute *radius = cost::pointAttribute(p, in, "radiusattrib");
    const GA_Attribute *normal = cost::pointAttribute(p, in, "normalsattrib", 3);
    float roughness = p.node.hasParm("noiseroughness") ? float(p.node.evalFloatT("noiseroughness", 0, p.time, 0)) : 0.0f;
    const double bound = fractalNoiseBound(std::max(p.integer("noiseoctaves"), 0), roughness);
    double amp[3] = {0, 0, 0};
    for (int a = 0; a < 3 && p.node.hasParm("noiseamp"); ++a) amp[a] = std::fabs(p.node.evalFloatT("noiseamp", a, p.time, 0));
    for (GA_Offset q = 0; q < GA_Offset(in.geometry->getNumPrimitives()); ++q)
    {
        const GA_Primitive *prim = in.geometry->getPrimitive(q);
        if (prim->getVertexCount() != 4) continue;
        double rlo = INFINITY, rhi = -INFINITY, edge = 0, nmax = 0, lo[3] = {INFINITY, INFINITY, INFINITY},
               hi[3] = {-INFINITY, -INFINITY, -INFINITY};
        for (int k = 0; k < 4; ++k)
        {
            const GA_Offset pt = prim->getPointOffset(k);
            const double r = cost::pointValue(radius, pt);
            rlo = std::min(rlo, r), rhi = std::max(rhi, r);
            const UT_Vector3 P = in.geometry->getPos3(pt);
            edge = std::max(edge, double((P - in.geometry->getPos3(prim->getPointOffset((k + 1) % 4))).length()));
            if (normal)
                nmax = std::max(nmax, double(UT_Vector3(normal->getF(pt, 0), normal->getF(pt, 1), normal->getF(pt, 2)).length()));
            for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], double(P[a])), hi[a] = std::max(hi[a], double(P[a]));
        }
        // The push: noise times amp.x along a u step, amp.y along the normal, amp.z along a v step.
        const double step = side > 0 ? edge / side : 0, spread = bound * (amp[0] * step + amp[1] * nmax + amp[2] * step);
        cost::Range fewest[3], most[3];
        for (int a = 0; a < 3; ++a)
        {
            fewest[a] = cost::childSpan(g, a, lo[a] - spread, hi[a] + spread, std::ceil(rlo / g.reachVoxel[a]), true);
            most[a] = cost::childSpan(g, a, lo[a] - spread, hi[a] + spread, std::ceil(rhi / g.reachVoxel[a]), true);
        }
        visits += cost::Range{cost::childBox(fewest).fewest, cost::childBox(most).most} * (side * side);
    }
    return true;
}

// skinweave polls after every child.
inline void skinweaveCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    c.volumes = 1 + 3 * p.on("docolor") + 3 * p.on("dovelocity");
    const double children = quadChildren(p, in);
    const std::string who = cost::number(in.quads) + " quads x " + p.setting("childrencount");
    c.add(children * p.lookups(), children * p.lookups(), cost::lookup, who + " x " + p.lookupText());
    cost::Range visits;
    if (p.on("feather") && featherReach(p, in, visits))
    {
        c.add(visits.fewest, visits.most, cost::visit, cost::rangeText(visits) + " feather voxels of " + who);
        c.writesAtMost = visits.most;
    }
    else if (p.on("feather"))
        c.most.add(children * c.grid.voxels(), cost::visit.slow, who + " x " + c.grid.text + " feather voxels");
    else
    {
        double edge = 2.0 * std::max(p.integer("extendvoxels"), 0) + 1.0;
        std::string what = who + " x (2 " + p.setting("extendvoxels") + " + 1)^3 voxels";
        // Every voxel of the cube inside the grid is written in every volume.
        const double visits = children * edge * edge * edge;
        c.add(visits * (1 + c.volumes), visits * (1 + c.volumes), cost::visit, what + " x (1 + " + std::to_string(c.volumes) + " volumes)");
        c.writesAtMost = children * edge * edge * edge;
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
