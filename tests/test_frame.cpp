// SPDX-License-Identifier: Apache-2.0
// Gradient noise, fractal sums and segment functions.
#include <gtest/gtest.h>
#include <cmath>
#include <fstream>
#include <sstream>
#include "GXNoise.h"
#include "SegmentFunctions.h"
#include "TestHost.h"

TEST(GradientNoise, MatchesReferenceValues)
{
    perlinNoise.init_noise();
    EXPECT_DOUBLE_EQ(perlinNoise.pnoise(3.14, 42, 7), 0.13691995878400012);
    EXPECT_EQ(perlinNoise.pnoise(0.5, 0.5, 0.5), -0.25);
    EXPECT_EQ(perlinNoise.pnoise(0.25, 0, 0), 0.146484375);
    EXPECT_DOUBLE_EQ(perlinNoise.pnoise(1.5, 2.25, -0.75), -0.10715770721435547);

    std::ifstream in(SUITE_SOURCE_DIR "/tests/data/improved_noise_reference.txt");
    ASSERT_TRUE(in) << "tests/data/improved_noise_reference.txt not found";
    std::string line;
    int checked = 0;
    while (std::getline(in, line))
    {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream s(line);
        double x, y, z, expected;
        s >> x >> y >> z >> expected;
        EXPECT_NEAR(perlinNoise.pnoise(x, y, z), expected, 1e-15) << line;
        ++checked;
    }
    EXPECT_EQ(checked, 200);
}

TEST(GradientNoise, LatticeZerosPeriodAndNegativeCells)
{
    perlinNoise.init_noise();
    EXPECT_EQ(perlinNoise.pnoise(0, 0, 0), 0.0);
    EXPECT_EQ(perlinNoise.pnoise(17, -3, 255), 0.0);
    EXPECT_EQ(perlinNoise.pnoise(1.25, 2.75, -4.125), perlinNoise.pnoise(1.25 + 256, 2.75 - 256, -4.125 + 512));
    // Cell (255, 255, 255), fractions 0.5: the same as at (255.5, 255.5, 255.5).
    EXPECT_EQ(perlinNoise.pnoise(-0.5, -0.5, -0.5), perlinNoise.pnoise(255.5, 255.5, 255.5));
    // Non-finite input stays finite and does not crash.
    EXPECT_FALSE(std::isinf(perlinNoise.pnoise(1e300, NAN, -1e300)));
}

TEST(FractalNoise, OctavesFrequenciesAndWeights)
{
    perlinNoise.init_noise();
    UT_Vector3 q(0.3f, 1.7f, -2.2f);
    double base = perlinNoise.pnoise(q.x(), q.y(), q.z());
    EXPECT_EQ(fractalNoise(q, 0, 0.5f), base);
    EXPECT_EQ(fractalNoise(q, -3, 0.5f), base);
    EXPECT_EQ(fractalNoise(q, 5, 0.0f), base);
    EXPECT_EQ(fractalNoise(UT_Vector3(0, 0, 0), 4, 0.7f), 0.0);
    // octaves 3: frequencies 1, 2, 4, 6 with weights 1, R, R/2, R/3.
    double expect = base;
    for (int m = 1; m <= 3; ++m)
    {
        float k = float(2 * m);
        expect += perlinNoise.pnoise(k * q.x(), k * q.y(), k * q.z()) * 0.5 / m;
    }
    EXPECT_EQ(fractalNoise(q, 3, 0.5f), expect);
}

TEST(FractalNoise, AxisFormUsesOneDimensionalBaseAndOffsets)
{
    perlinNoise.init_noise();
    UT_Vector3 s(0.4f, 1.3f, 2.9f);
    UT_Vector3D d0 = axisFractalNoise(s, 0, 0.5f);
    EXPECT_EQ(d0.x(), perlinNoise.pnoise(0.4f, 0, 0));
    EXPECT_EQ(d0.y(), perlinNoise.pnoise(0, 1.3f, 0));
    EXPECT_EQ(d0.z(), perlinNoise.pnoise(0, 0, 2.9f));
    UT_Vector3D d1 = axisFractalNoise(s, 1, 0.5f);
    double t = float(2.0f * 0.4f);
    EXPECT_EQ(d1.x(), d0.x() + perlinNoise.pnoise(t + 1.025, t + 3.654, t + 8.241) * 0.5 / 1.0);
    EXPECT_NE(d1.y(), d0.y());
}

TEST(SegmentFunctions, DistanceAndProjection)
{
    EXPECT_EQ(dist3D<float>(0, 0, 0, 3, 4, 0), 5.0f);
    UT_Vector3 A(0, 0, 0), B(2, 0, 0);
    EXPECT_EQ(projectOnSegment(A, B, UT_Vector3(1, 5, 0)), UT_Vector3(1, 0, 0));
    EXPECT_EQ(projectOnSegment(A, B, UT_Vector3(3, 1, 0)), B);
    EXPECT_EQ(projectOnSegment(A, B, UT_Vector3(-1, 0, 0)), A);
    UT_Vector3 nan = projectOnSegment(A, A, UT_Vector3(1, 1, 1));
    EXPECT_TRUE(std::isnan(nan.x()) && std::isnan(nan.y()) && std::isnan(nan.z()));
}

TEST(SegmentFunctions, ClosestSegmentSearch)
{
    GU_Detail gdp;
    std::vector<GA_Offset> pts;
    for (int i = 0; i < 3; ++i) pts.push_back(testhost::addPoint(gdp, UT_Vector3(float(i), 0, 0)));
    GEO_PrimPoly *line = GEO_PrimPoly::build(&gdp, pts, false);
    // Both segments are at distance 1 from (1, 1, 0): the first wins.
    auto two = getClosest2PointPositions(&gdp, line, UT_Vector3(1, 1, 0));
    EXPECT_EQ(two[0]->getMapOffset(), pts[0]);
    EXPECT_EQ(two[1]->getMapOffset(), pts[1]);
    two = getClosest2PointPositions(&gdp, line, UT_Vector3(1.8f, 0.5f, 0));
    EXPECT_EQ(two[0]->getMapOffset(), pts[1]);

    GEO_PrimPoly *single = GEO_PrimPoly::build(&gdp, {pts[2]}, false);
    two = getClosest2PointPositions(&gdp, single, UT_Vector3(0, 0, 0));
    EXPECT_EQ(two[0]->getMapOffset(), pts[2]);
    EXPECT_EQ(two[1]->getMapOffset(), pts[2]);
    GEO_PrimPoly *degenerate = GEO_PrimPoly::build(&gdp, {pts[1], pts[1]}, false);
    two = getClosest2PointPositions(&gdp, degenerate, UT_Vector3(5, 0, 0));
    EXPECT_EQ(two[0], two[1]);
}

TEST(SegmentFunctions, Interpolation)
{
    UT_Vector3 p0(0, 0, 0), p1(4, 0, 0);
    EXPECT_FLOAT_EQ(interpolateAttr(p0, p1, 1.0f, 3.0f, UT_Vector3(1, 2, 0)), 1.5f);
    EXPECT_FLOAT_EQ(interpolateAttr(p0, p1, 1.0f, 3.0f, UT_Vector3(9, 0, 0)), 3.0f);
    EXPECT_TRUE(std::isnan(interpolateAttr(p0, p0, 1.0f, 3.0f, UT_Vector3(1, 0, 0))));
    UT_Vector3 v = interpolateAttr3D(p0, p1, UT_Vector3(0, 0, 0), UT_Vector3(4, 8, 12), UT_Vector3(1, 0, 0));
    EXPECT_FLOAT_EQ(v.x(), 1.0f);
    EXPECT_FLOAT_EQ(v.z(), 3.0f);

    GU_Detail gdp;
    GA_Offset a = testhost::addPoint(gdp, p0), b = testhost::addPoint(gdp, p1);
    EXPECT_EQ(interpolateAttr(gdp.getGEOPoint(a), gdp.getGEOPoint(b), UT_Vector3(1, 0, 0), GA_RWAttributeRef()), 0.0f);
    EXPECT_EQ(interpolateAttr3D(gdp.getGEOPoint(a), gdp.getGEOPoint(b), UT_Vector3(1, 0, 0), GA_RWAttributeRef()),
              UT_Vector3(0, 0, 0));
    testhost::setPointAttrib(gdp, a, "pscale", {1});
    testhost::setPointAttrib(gdp, b, "pscale", {3});
    GA_RWAttributeRef ref = gdp.findFloatTuple(GA_ATTRIB_POINT, "pscale");
    EXPECT_FLOAT_EQ(interpolateAttr(gdp.getGEOPoint(a), gdp.getGEOPoint(b), UT_Vector3(2, 1, 0), ref), 2.0f);
}

TEST(GradientNoise, BranchFreeGradientMatchesTheReferenceGradient)
{
    const double xs[] = {0.0, 0.25, 0.5, 0.999, -0.75};
    for (int h = 0; h < 256; ++h)
        for (double x : xs)
            for (double y : xs)
                for (double z : xs)
                    ASSERT_EQ(GXNoise::gradFast(h, x, y, z), GXNoise::grad(h, x, y, z)) << h;
}

TEST(FractalNoise, HugeOctaveCountsEnd)
{
    EXPECT_EQ(octaveLimit(3), 4.0f);
    EXPECT_EQ(octaveLimit(-7), -6.0f);
    EXPECT_EQ(octaveLimit(2147483647), 16777216.0f);
    EXPECT_EQ(octaveLimit(16777215), 16777216.0f);
}
