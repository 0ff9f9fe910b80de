// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the cost models measure on the input before a cook: how many voxels
// each point, child or curve reaches on the planned grid (CostModel.h's
// Placement), so that the least and the most work of a reach-bound cook
// differ by the spread of what is not known ahead (where noise moves a child,
// which voxels of a box lie within a radius), not by the whole grid.
#include <algorithm>
#include <cmath>
#include <string>
#include "CostModel.h"

namespace cost
{
// A count known to lie between two values.
struct Range
{
    double fewest = 0, most = 0;

    Range &operator+=(const Range &r)
    {
        fewest += r.fewest;
        most += r.most;
        return *this;
    }
    Range operator*(double k) const { return {fewest * k, most * k}; }
};

// The point attribute a parameter names (component 0 is read), or null.
inline const GA_Attribute *pointAttribute(const Parms &p, const InputCounts &in, const char *parm, int components = 1)
{
    if (!in.geometry || !p.node.hasParm(parm)) return nullptr;
    GA_RWAttributeRef ref = in.geometry->findFloatTuple(GA_ATTRIB_POINT, p.text(parm).c_str(), components);
    return ref.isValid() ? ref.getAttribute() : nullptr;
}

inline float pointValue(const GA_Attribute *a, GA_Offset pt, int component = 0)
{
    return a ? a->getF(pt, component) : 0.0f;
}

// Voxels reach r (in world units) covers on an axis: ceil(r / voxel), as the
// operators measure it; the whole axis when that has no finite value.
inline double axisReach(const Placement &g, int axis, double r)
{
    const double e = std::ceil(r / g.reachVoxel[axis]);
    return std::isfinite(e) ? e : double(g.res[axis]);
}

// Voxels of [index - reach, index + reach) kept in the grid on an axis.
inline double clippedSpan(const Placement &g, int axis, double index, double reach)
{
    const double lo = std::max(0.0, index - reach), hi = std::min(double(g.res[axis]), index + reach);
    return std::max(0.0, hi - lo);
}

// The voxels a box of reach e around an unknown voxel of the grid covers:
// at least e per axis (the voxel at a corner of the grid), at most 2e.
inline Range anywhereBox(const Placement &g, const double reach[3])
{
    Range r{1, 1};
    for (int a = 0; a < 3; ++a)
    {
        const double e = std::max(0.0, reach[a]);
        r.fewest *= std::min(e, double(g.res[a]));
        r.most *= std::min(2 * e, double(g.res[a]));
    }
    return r;
}

// The span of [i - e, i + e) kept in the grid on an axis, for a child
// somewhere in [from, to] (world units): least and most over every voxel the
// child may land in. The span is smallest at either end of
// that range of voxels. clamped: the operator clamps the child's voxel into
// the grid first.
inline Range childSpan(const Placement &g, int axis, double from, double to, double e, bool clamped)
{
    const double n = double(g.res[axis]);
    if (!(e > 0)) return {};
    if (!std::isfinite(from) || !std::isfinite(to) || !std::isfinite(e)) return {0, std::min(2 * e, n)};
    auto span = [&](double i) {
        if (clamped) i = std::clamp(i, 0.0, n - 1);
        return std::max(0.0, std::min(n, i + e) - std::max(0.0, i - e));
    };
    return {std::min(span(g.index(axis, from)), span(g.index(axis, to))), std::min(2 * e, n)};
}

// The voxels of a child's box: the product of its spans.
inline Range childBox(const Range span[3])
{
    return {span[0].fewest * span[1].fewest * span[2].fewest, span[0].most * span[1].most * span[2].most};
}

inline double cellVolume(const Placement &g) { return g.voxel[0] * g.voxel[1] * g.voxel[2]; }

// Half a voxel's diagonal: a voxel centre within r of a point covers the
// ball of r less this, and lies in the ball of r plus it.
inline double halfDiagonal(const Placement &g)
{
    return 0.5 * std::sqrt(g.voxel[0] * g.voxel[0] + g.voxel[1] * g.voxel[1] + g.voxel[2] * g.voxel[2]);
}

// Voxel centres of the block [lo, hi) (voxel indices) within r of P: the
// cells counted cover the ball of r - h inside the block (at least its
// inscribed cube when it pokes out) and lie within the ball of r + h.
inline Range centresWithin(const Placement &g, const UT_Vector3 &P, double r, const double lo[3], const double hi[3])
{
    double block = 1;
    for (int a = 0; a < 3; ++a) block *= std::max(0.0, hi[a] - lo[a]);
    if (!(r >= 0) || block == 0) return {};
    const double h = halfDiagonal(g), cell = cellVolume(g), ball = 4.18879020478639;
    Range n;
    n.most = std::min(block, ball * std::pow(r + h, 3) / cell);
    const double rho = r - h;
    if (!(rho > 0)) return n;
    bool inside = true;
    double cube = 1, q = rho / std::sqrt(3.0);
    for (int a = 0; a < 3; ++a)
    {
        const double from = g.lower[a] + lo[a] * g.voxel[a], to = g.lower[a] + hi[a] * g.voxel[a];
        inside = inside && P[a] - rho >= from && P[a] + rho <= to;
        cube *= std::max(0.0, std::min(double(P[a]) + q, to) - std::max(double(P[a]) - q, from));
    }
    n.fewest = std::min(block, inside ? ball * rho * rho * rho / cell : cube / cell);
    return n;
}

// Voxel centres of the block [lo, hi) within r of P, counted row by row
// (each row's centres within r form one run, found in closed form); the
// radius is widened and narrowed by a rounding margin, as the operators
// test float distances. rows is what it cost.
inline Range centresWithinByRows(const Placement &g, const UT_Vector3 &P, double r, const double lo[3],
                                 const double hi[3], double &rows)
{
    Range n;
    if (!(r > 0) || !std::isfinite(r)) return n;
    const double margin = 1e-5 * (r + std::fabs(P[0]) + std::fabs(P[1]) + std::fabs(P[2]));
    for (double k = lo[2]; k < hi[2]; ++k)
        for (double j = lo[1]; j < hi[1]; ++j)
        {
            rows += 1;
            const double dy = g.lower[1] + (j + 0.5) * g.voxel[1] - P[1], dz = g.lower[2] + (k + 0.5) * g.voxel[2] - P[2];
            for (int widen : {-1, 1})
            {
                const double rr = r + widen * margin, rem = rr * rr - dy * dy - dz * dz;
                if (!(rem >= 0)) continue;
                const double half = std::sqrt(rem);
                const double first = std::max(lo[0], std::ceil((P[0] - half - g.lower[0]) / g.voxel[0] - 0.5));
                const double last = std::min(hi[0] - 1, std::floor((P[0] + half - g.lower[0]) / g.voxel[0] - 0.5));
                (widen < 0 ? n.fewest : n.most) += std::max(0.0, last - first + 1);
            }
        }
    return n;
}

// "a to b" of a range, for the estimate's description of its largest term.
inline std::string rangeText(const Range &r)
{
    return r.fewest == r.most ? number(r.most) : number(r.fewest) + " to " + number(r.most);
}
} // namespace cost
