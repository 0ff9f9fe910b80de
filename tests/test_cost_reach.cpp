// SPDX-License-Identifier: Apache-2.0
// The reach the cost models measure on the input before a cook: the counts
// they bound must hold the voxels the operators really visit and write
// (counted here voxel by voxel), and the estimate built on them must stay
// narrow for reach-bound cooks while its least work stays below the cook's.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "CostReach.h"
#include "CurveCast.h"
#include "CurvesTraits.h"
#include "GEO/GEO_PrimPoly.h"
#include "TestHost.h"
#include "cook/CookEstimate.h"
#include "cook/VolumeBox.h"

using namespace testhost;

namespace
{
// Deterministic values in [0, 1) from an index.
float hash01(int i, int salt)
{
    unsigned h = unsigned(i) * 2654435761u ^ unsigned(salt) * 40503u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return float(h & 0xffffff) / float(0x1000000);
}

// A 20 x 24 x 16 grid of 0.5 x 0.25 x 0.4 voxels from (-1, 2, 0).
cost::Placement testGrid()
{
    cost::Placement g;
    g.known = true;
    const double lower[3] = {-1, 2, 0}, voxel[3] = {0.5, 0.25, 0.4};
    const int res[3] = {20, 24, 16};
    for (int a = 0; a < 3; ++a)
    {
        g.lower[a] = lower[a];
        g.voxel[a] = g.reachVoxel[a] = voxel[a];
        g.res[a] = res[a];
    }
    return g;
}

UT_Vector3 centre(const cost::Placement &g, int i, int j, int k)
{
    return UT_Vector3(float(g.lower[0] + (i + 0.5) * g.voxel[0]), float(g.lower[1] + (j + 0.5) * g.voxel[1]),
                      float(g.lower[2] + (k + 0.5) * g.voxel[2]));
}
} // namespace

// Balls anywhere (clipped by the grid's faces or not, from under a voxel to
// many voxels wide): the voxel centres within the radius in the search box
// lie between the bounds, and the bounds are not vacuous.
TEST(CostReach, BallBoundsHoldTheVoxelsWithinTheRadius)
{
    const cost::Placement g = testGrid();
    for (int n = 0; n < 200; ++n)
    {
        const UT_Vector3 P(float(-2 + 13 * hash01(n, 1)), float(1 + 8 * hash01(n, 2)), float(-1 + 8 * hash01(n, 3)));
        const double r = 0.1 + 3.0 * hash01(n, 4);
        double lo[3], hi[3];
        for (int a = 0; a < 3; ++a)
        {
            const double e = cost::axisReach(g, a, r), i = g.clampedIndex(a, P[a]);
            lo[a] = std::max(0.0, i - e);
            hi[a] = std::min(double(g.res[a]), i + e);
        }
        double within = 0;
        for (int k = int(lo[2]); k < hi[2]; ++k)
            for (int j = int(lo[1]); j < hi[1]; ++j)
                for (int i = int(lo[0]); i < hi[0]; ++i) within += (centre(g, i, j, k) - P).length() <= r;
        const cost::Range b = cost::centresWithin(g, P, r, lo, hi);
        SCOPED_TRACE("ball " + std::to_string(n) + " radius " + std::to_string(r));
        EXPECT_LE(b.fewest, within);
        EXPECT_GE(b.most, within);
        if (r > 2.0 && b.fewest > 0)
        {
            EXPECT_GE(b.fewest, 0.05 * within);
        }
        // Row by row the count is exact but for the float rounding margin.
        double rows = 0;
        const cost::Range byRows = cost::centresWithinByRows(g, P, r, lo, hi, rows);
        EXPECT_LE(byRows.fewest, within);
        EXPECT_GE(byRows.most, within);
        EXPECT_LE(byRows.most - byRows.fewest, 2 * rows);
    }
    // A radius of 0 or below, or not a number, covers nothing.
    const double lo[3] = {0, 0, 0}, hi[3] = {20, 24, 16};
    for (double r : {0.0, -1.0, double(NAN)}) EXPECT_EQ(cost::centresWithin(g, UT_Vector3(1, 4, 3), r, lo, hi).fewest, 0);
}

// A child anywhere in [from, to], clamped into the grid or not: every span
// its voxel gives lies between the bounds.
TEST(CostReach, ChildSpansHoldEveryVoxelTheChildMayLandIn)
{
    const cost::Placement g = testGrid();
    for (int n = 0; n < 300; ++n)
    {
        const double from = -4 + 16 * hash01(n, 1), to = from + 6 * hash01(n, 2), e = std::ceil(8 * hash01(n, 3));
        const bool clamped = n % 2 == 0;
        const cost::Range b = cost::childSpan(g, 0, from, to, e, clamped);
        for (double x = from; x <= to; x += 0.01)
        {
            double i = g.index(0, x);
            if (clamped) i = std::clamp(i, 0.0, g.res[0] - 1.0);
            const double span = std::max(0.0, std::min(double(g.res[0]), i + e) - std::max(0.0, i - e));
            ASSERT_LE(b.fewest, span) << n << " at " << x;
            ASSERT_GE(b.most, span) << n << " at " << x;
        }
    }
    EXPECT_EQ(cost::childSpan(g, 0, 1, 2, 0, true).most, 0); // no reach: no voxels
    EXPECT_EQ(cost::childSpan(g, 0, NAN, 2, 3, false).fewest, 0);
}

// Curves of the operators' own walk: the model's visits are the voxels the
// casts walk (exactly, row by row), and its covered voxels hold those the
// per-voxel rule covers.
TEST(CostReach, CurveVisitsAreTheVoxelsTheCastsWalk)
{
    GU_Detail gdp;
    GA_RWAttributeRef radius = gdp.addFloatTuple(GA_ATTRIB_POINT, "pscale", 1);
    for (int c = 0; c < 6; ++c)
    {
        std::vector<GA_Offset> pts;
        UT_Vector3 p(float(-1 + 9 * hash01(c, 1)), float(2 + 5 * hash01(c, 2)), float(1 + 4 * hash01(c, 3)));
        for (int k = 0; k < 2 + c * 3; ++k)
        {
            GA_Offset pt = gdp.appendPoint();
            gdp.setPos3(pt, p);
            radius.getAttribute()->setF(pt, 0, float(c == 5 ? 0 : 0.2 + 1.2 * hash01(c * 31 + k, 4)));
            pts.push_back(pt);
            p += UT_Vector3(float(2 * hash01(c * 31 + k, 5) - 1), float(2 * hash01(c * 31 + k, 6) - 1), float(hash01(c * 31 + k, 7)));
        }
        GEO_PrimPoly::build(&gdp, pts, false);
    }
    // The density volume of the same grid, as the casts see it.
    const cost::Placement g = testGrid();
    GU_Detail volumes;
    GU_PrimVolume *vol = GU_PrimVolume::build(&volumes);
    UT_Matrix4 m(1.0f);
    for (int a = 0; a < 3; ++a)
    {
        m(a, a) = float(0.5 * g.res[a] * g.voxel[a]);
        m(3, a) = float(g.lower[a] + 0.5 * g.res[a] * g.voxel[a]);
    }
    vol->setTransform4(m);
    vol->getVoxelWriteHandle()->size(g.res[0], g.res[1], g.res[2]);
    const curvecast::VoxelCentres centres(vol);
    const curvecast::CurveAttribs attribs = curvecast::findCurveAttribs(&gdp, "density", "pscale", "N", "up", "uv", nullptr);
    for (GA_Offset prim = 0; prim < gdp.getNumPrimitives(); ++prim)
    {
        SCOPED_TRACE("curve " + std::to_string(prim));
        curvecast::CurveSamples samples;
        samples.read(static_cast<const GEO_Primitive *>(gdp.getPrimitive(prim)), attribs, false, false);
        const curvecast::CurveReach walked = centres.reach(samples);
        double rows = 0, covered = 0;
        for (int z = walked.bounds.lo[2]; z < walked.bounds.hi[2]; ++z)
            for (int y = walked.bounds.lo[1]; y < walked.bounds.hi[1]; ++y)
            {
                int begin, end;
                walked.row(y, z, begin, end);
                rows += end - begin;
                for (int x = begin; x < end; ++x)
                {
                    curvecast::SegmentFoot foot;
                    UT_Vector3 P;
                    vol->indexToPos(x, y, z, P);
                    if (curvecast::nearestSegment(samples, P, foot)) covered += foot.blend(samples.radius) >= foot.d;
                }
            }
        const curves::CurveReach model(g, gdp, *gdp.getPrimitive(prim), radius.getAttribute());
        EXPECT_EQ(model.visits.fewest, rows);
        EXPECT_EQ(model.visits.most, rows);
        EXPECT_LE(model.inside.fewest, covered);
        EXPECT_GE(model.inside.most, covered);
        if (prim == 5)
        {
            EXPECT_EQ(model.visits.most, 0); // radius 0 everywhere: no voxel is walked
        }
    }
}

// The estimate of reach-bound cooks on their input: a narrow range, whose
// least stays below what the cook visits at the fastest rates; without the
// input's box the range is the old, grid-wide one.
TEST(CostReach, EstimateOfBallsIsNarrowWithTheInputAndWideWithout)
{
    for (const char *name : {"billowfold", "billowfoldMT"})
    {
        if (!op(name)) GTEST_SKIP() << name << " not built";
        SCOPED_TRACE(name);
        Cook c(name);
        double visits = 0;
        for (int n = 0; n < 300; ++n)
        {
            // Radius 2 to 6 voxels, every ball's box inside the grid.
            const float r = 2 + 4 * hash01(n, 4);
            GA_Offset pt = addPoint(c.input(0), UT_Vector3(8 + 48 * hash01(n, 1), 8 + 48 * hash01(n, 2), 8 + 48 * hash01(n, 3)));
            setPointAttrib(c.input(0), pt, "pscale", {r});
            setPointAttrib(c.input(0), pt, "density", {1});
            visits += std::pow(2 * std::ceil(r), 3);
        }
        addPoint(c.input(1), UT_Vector3(0, 0, 0));
        addPoint(c.input(1), UT_Vector3(64, 64, 64));
        c.set3("divs", 64, 64, 64);
        c.set("donoise", 1);
        const sopcook::VolumeBox box = sopcook::plannedBox(c.node(), 0, &c.input(0), "in", &c.input(1), "box");
        const sopcook::CookEstimate e = sopcook::estimateCook(c.op(), c.node(), 0, &c.input(0), &box);
        EXPECT_GE(e.leastSeconds, visits * cost::visit.fast);
        EXPECT_LE(e.mostSeconds, 10 * e.leastSeconds);
        EXPECT_NE(e.mostWork.find("voxels within 300 points' radii"), std::string::npos) << e.mostWork;
        const sopcook::CookEstimate blind = sopcook::estimateCook(c.op(), c.node(), 0, &c.input(0));
        EXPECT_GE(blind.mostSeconds, 1000 * blind.leastSeconds);
    }
}
