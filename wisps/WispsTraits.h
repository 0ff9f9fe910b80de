// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the point wisps tell a host (OperatorTraits.h). Cost: every input
// point walks childrencount children, each child three fractal-noise
// lookups; a child deposits a 3x3x3 block, or (feather, or a streak of the
// velocity stretch) a box measured on the input from its point's radius or
// footprint and velocity (without the input, one that may span the grid).
#include "CostReach.h"
#include "OperatorTraits.h"
#include "SlabReach.h"
#include "VelocityWisps.h"

namespace wisps
{
enum class Deposit
{
    Cube,    // the 3x3x3 block around each child
    Feather, // the ball of the point's radius around each child
    Streak,  // the box of the streak grown by the footprint
    Centred, // the threaded stretch: the streak centred on the child, drawn when |v| >= 2 pscale
};

// Every child lies within |noiseamp x displacement scale| x the fractal
// noise bound of its point on each axis.
inline double childSpread(const cost::Parms &p, double scale)
{
    float roughness = 0;
    if (p.node.hasParm("noiseroughness")) roughness = float(p.node.evalFloatT("noiseroughness", 0, p.time, 0));
    const double amp = p.node.hasParm("noiseamp") ? std::fabs(p.node.evalFloatT("noiseamp", 0, p.time, 0)) : 0;
    return amp * std::fabs(scale) * fractalNoiseBound(std::max(p.integer("noiseoctaves"), 0), roughness);
}

// The voxels of the rows of a streak's box that the stretch walks: those
// that pass within the footprint s of the streak A to A + w (a row is walked
// whole). Counted for the child at A with s widened and narrowed by half a
// voxel's diagonal across the rows, which holds the count of a child
// anywhere near; the fewest holds only while the rows near every streak a
// child may draw lie inside the grid.
inline cost::Range streakRows(const cost::Placement &g, const UT_Vector3 &A, const UT_Vector3 &w, double s,
                              double spread, const double e[3], const cost::Range span[3], double &rows)
{
    const cost::Range box = cost::childBox(span);
    if (!(s > 0) || !std::isfinite(e[0] + e[1] + e[2])) return box;
    const double d = 0.5 * std::sqrt(g.voxel[1] * g.voxel[1] + g.voxel[2] * g.voxel[2]);
    double i[3];
    for (int a = 0; a < 3; ++a) i[a] = g.index(a, A[a]);
    const double x0 = std::max(0.0, i[0] - e[0]), x1 = std::min(double(g.res[0]), i[0] + e[0]) - 1;
    if (!(x0 <= x1)) return box;
    double narrow = 0, wide = 0;
    for (double k = std::max(0.0, i[2] - e[2]); k < std::min(double(g.res[2]), i[2] + e[2]); ++k)
        for (double j = std::max(0.0, i[1] - e[1]); j < std::min(double(g.res[1]), i[1] + e[1]); ++j)
        {
            rows += 1;
            auto centre = [&](double x) {
                return UT_Vector3(float(g.lower[0] + (x + 0.5) * g.voxel[0]), float(g.lower[1] + (j + 0.5) * g.voxel[1]),
                                  float(g.lower[2] + (k + 0.5) * g.voxel[2]));
            };
            const UT_Vector3 r0 = centre(x0), r1 = centre(x1);
            narrow += s > d && velocitywisps::rowMayReach(r0, r1, A, A + w, float(s - d));
            wide += velocitywisps::rowMayReach(r0, r1, A, A + w, float(s + d));
        }
    // The rows within s of every streak a child may draw lie inside the grid.
    bool unclipped = true;
    for (int a : {1, 2})
    {
        const double reach = spread + std::fabs(w[a]) + s;
        unclipped = unclipped && A[a] - reach >= g.lower[a] && A[a] + reach <= g.lower[a] + g.res[a] * g.voxel[a];
    }
    return {unclipped ? narrow * span[0].fewest : 0.0, std::min(box.most, wide * span[0].most)};
}

// The voxels every child of the input's points visits, measured on the input
// (its reach per axis, wherever noise moves it), in visits by what each
// costs, and at most how many voxels they are. False without the input or
// its placement.
inline bool childrenReach(const cost::Parms &p, const cost::InputCounts &in, Deposit deposit, double perPoint,
                          int volumes, cost::Range &visits, double &voxels)
{
    const cost::Placement &g = in.placement;
    if (!in.geometry || !g.known) return false;
    const bool stretch = deposit == Deposit::Streak || deposit == Deposit::Centred;
    const GA_Attribute *footprint = cost::pointAttribute(p, in, stretch ? "pscaleattrib" : "radiusattrib");
    const GA_Attribute *scale = stretch ? cost::pointAttribute(p, in, "radiusattrib") : nullptr;
    const GA_Attribute *velocity = stretch ? cost::pointAttribute(p, in, "velocityattrib", 3) : nullptr;
    double rows = 0;
    for (GA_Offset pt = 0; pt < GA_Offset(in.points); ++pt)
    {
        const double s = cost::pointValue(footprint, pt);
        const UT_Vector3 P = in.geometry->getPos3(pt);
        const double spread = childSpread(p, stretch ? cost::pointValue(scale, pt) : 1.0);
        UT_Vector3 v(0, 0, 0);
        if (velocity) v = UT_Vector3(velocity->getF(pt, 0), velocity->getF(pt, 1), velocity->getF(pt, 2));
        const bool centred = deposit == Deposit::Centred && double(v.length()) >= 2 * s;
        // The streak from A to A + w, its box around A: the single-threaded
        // stretch's runs back from the child, the threaded one's is centred on it.
        UT_Vector3 A = P, w(0, 0, 0);
        if (deposit == Deposit::Streak) w = -v;
        if (centred) A = P - 0.5f * v, w = v;
        cost::Range span[3];
        double e[3];
        for (int a = 0; a < 3; ++a)
        {
            e[a] = std::ceil((std::fabs(w[a]) + s) / g.reachVoxel[a]);
            span[a] = cost::childSpan(g, a, A[a] - spread, A[a] + spread, e[a], deposit == Deposit::Feather);
        }
        cost::Range box = cost::childBox(span);
        if (stretch && rows < 1e7) box = streakRows(g, A, w, s, spread, e, span, rows);
        // In visits: a feather voxel is a distance test and a deposit within
        // the radius; a streak voxel measures distances (after a projection
        // onto a moving point's streak) and deposits into each volume.
        const bool moving = w.length2() > 0;
        double k = 0.6;
        if (deposit == Deposit::Streak) k = (moving ? 3.0 : 1.0) + volumes;
        if (deposit == Deposit::Centred) k = moving ? 4.0 : 2.0;
        visits += box * (perPoint * k);
        // Every row of a streak's box is tested against the streak first.
        if (stretch) visits += cost::Range{span[1].fewest * span[2].fewest, span[1].most * span[2].most} * perPoint;
        voxels += box.most * perPoint;
    }
    return true;
}

inline void childrenCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c, Deposit deposit)
{
    const double perPoint = std::max(p.integer("childrencount"), 0);
    const double children = in.points * perPoint;
    const std::string who = cost::number(in.points) + " points x " + p.setting("childrencount");
    c.add(children * 3 * p.lookups(), children * 3 * p.lookups(), cost::lookup, who + " x 3 x " + p.lookupText());
    if (deposit == Deposit::Cube)
    {
        c.add(children * 27, children * 27, cost::visit, who + " x 27 voxels");
        c.writesAtMost = children * 27;
        return;
    }
    const std::string what = deposit == Deposit::Feather ? " feather voxel" : " streak voxel";
    cost::Range visits;
    double voxels = 0;
    if (childrenReach(p, in, deposit, perPoint, c.volumes, visits, voxels))
    {
        c.add(visits.fewest, visits.most, cost::visit, cost::rangeText(visits) + what + " visits of " + who);
        if (deposit == Deposit::Centred) c.add(children, children, cost::run, who + " threaded runs");
        c.writesAtMost = voxels;
        return;
    }
    c.most.add(children * c.grid.voxels(), cost::visit.slow, who + " x " + c.grid.text + what + "s");
}

// Polls after every child.
inline void plumeweaveCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    c.volumes = 4;
    childrenCost(p, in, c, p.on("feather") ? Deposit::Feather : Deposit::Cube);
    c.polls = in.points * std::max(p.integer("childrencount"), 0);
    c.pollsOf = "children";
}

// The single-threaded stretch never polls: its cook runs to the end.
inline void velocityStretchCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    c.volumes = 1 + 3 * p.on("docolor");
    childrenCost(p, in, c, Deposit::Streak);
    c.stopsEarly = false;
}

// The threaded stretch polls after every point.
inline void velocityStretchMTCost(const cost::Parms &p, const cost::InputCounts &in, cost::OperatorCost &c)
{
    c.volumes = 1 + 3 * p.on("docolor");
    childrenCost(p, in, c, Deposit::Centred);
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
