// SPDX-License-Identifier: Apache-2.0
// strandcast and strandcastStraightMT cooked through the plug-in loader.
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include "GEO/GEO_PrimPoly.h"
#include "TestHost.h"
#include "VolumeSetup.h"
#include "UT/UT_Interrupt.h"
#include "UT/UT_ThreadedAlgorithm.h"
#include "strandcast_reference.h"
#include "../curves/CurveCast.h"

using namespace testhost;

namespace
{
const char *const bothOperators[] = {"strandcast", "strandcastStraightMT"};

GA_Offset curvePoint(GU_Detail &gdp, const UT_Vector3 &p, float density, float pscale)
{
    GA_Offset pt = addPoint(gdp, p);
    setPointAttrib(gdp, pt, "density", {density});
    setPointAttrib(gdp, pt, "pscale", {pscale});
    return pt;
}

void addCurve(GU_Detail &gdp, const std::vector<GA_Offset> &pts) { GEO_PrimPoly::build(&gdp, pts, false); }

// A box from input 1 with voxels of 0.5: x centres -2, -1.5, ..., 2 (9),
// y and z centres -0.75, -0.25, 0.25, 0.75.
void halfVoxelBox(Cook &c)
{
    GU_Detail &box = c.input(1);
    addPoint(box, UT_Vector3(-2.25f, -1, -1));
    addPoint(box, UT_Vector3(2.25f, 1, 1));
    c.set3("divs", 9, 4, 4);
}

// The curve (-1, y, 0.25) -> (1, y, 0.25) over halfVoxelBox.
void lineScene(Cook &c, float y, float d0, float d1, float r0, float r1)
{
    GU_Detail &in = c.input(0);
    addCurve(in, {curvePoint(in, UT_Vector3(-1, y, 0.25f), d0, r0), curvePoint(in, UT_Vector3(1, y, 0.25f), d1, r1)});
    halfVoxelBox(c);
}

float voxel(Cook &c, const char *field, int x, int y, int z)
{
    return float(findVolume(c.output(), field)->getValueAtIndex(x, y, z));
}

// Every voxel of two volumes equal, bit for bit.
void expectSameVoxels(const GU_PrimVolume *a, const GU_PrimVolume *b)
{
    int rx, ry, rz;
    a->getRes(rx, ry, rz);
    for (int z = 0; z < rz; ++z)
        for (int y = 0; y < ry; ++y)
            for (int x = 0; x < rx; ++x)
                ASSERT_EQ(a->getValueAtIndex(x, y, z), b->getValueAtIndex(x, y, z)) << x << " " << y << " " << z;
}

// Random curves of 0 to 6 vertices, some running outside the box, with
// degenerate segments, positions and radii that are not finite, radii that
// are 0 or negative, negative densities and all the frame attributes.
void randomCurves(GU_Detail &gdp, unsigned seed, int count)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> pos(-1.3f, 1.3f), unit(-1, 1), radius(0.05f, 0.6f);
    std::uniform_int_distribution<int> vertices(0, 6), odd(0, 9);
    for (int j = 0; j < count; ++j)
    {
        std::vector<GA_Offset> pts;
        int n = vertices(rng);
        for (int i = 0; i < n; ++i)
        {
            UT_Vector3 p(pos(rng), pos(rng), pos(rng));
            if (i > 0 && odd(rng) == 0) p = gdp.getPos3(pts.back()); // coincident ends
            float r = radius(rng);
            int kind = odd(rng);
            if (kind == 1) r = 0;
            if (kind == 2) r = -0.3f;
            if (kind == 3) r = std::numeric_limits<float>::quiet_NaN();
            if (kind == 5 && j % 4 == 0) p[i % 3] = std::numeric_limits<float>::quiet_NaN();
            if (kind == 5 && j % 4 == 1) p[i % 3] = std::numeric_limits<float>::infinity();
            GA_Offset pt = curvePoint(gdp, p, kind == 4 ? -0.5f : 0.2f + unit(rng), r);
            setPointAttrib(gdp, pt, "N", {unit(rng), unit(rng), unit(rng)});
            setPointAttrib(gdp, pt, "up", {unit(rng), unit(rng), unit(rng)});
            setPointAttrib(gdp, pt, "uv", {unit(rng) * 3, unit(rng) * 3, unit(rng) * 3});
            setPointAttrib(gdp, pt, "Cd", {unit(rng), unit(rng), unit(rng)});
            pts.push_back(pt);
        }
        addCurve(gdp, pts);
    }
}

// The cooked density (and colour) against the all-voxels rule.
void expectMatchesReference(Cook &c, const strandref::Settings &s)
{
    const GU_Detail &out = c.output();
    const GU_PrimVolume *density = findVolume(out, "density");
    strandref::Grid ref = strandref::cast(c.input(0), density, s);
    int matched = 0;
    for (int z = 0; z < ref.res[2]; ++z)
        for (int y = 0; y < ref.res[1]; ++y)
            for (int x = 0; x < ref.res[0]; ++x)
            {
                size_t i = ref.index(x, y, z);
                ASSERT_EQ(float(density->getValueAtIndex(x, y, z)), ref.density[i]) << x << " " << y << " " << z;
                if (ref.density[i] != 0) ++matched;
                if (!s.doColor) continue;
                for (int k = 0; k < 3; ++k)
                    ASSERT_EQ(float(findVolume(out, fields::colour[k])->getValueAtIndex(x, y, z)), ref.cd[k][i]);
            }
    EXPECT_GT(matched, 100); // the scene does lay density
}
} // namespace

TEST(Strandcast, ParameterListsAndVolumeOrder)
{
    auto tokens = [](const char *name) {
        std::vector<std::string> t;
        for (PRM_Template *p = op(name)->getParmTemplates(); !p->isTerminator(); ++p) t.push_back(p->getToken());
        return t;
    };
    EXPECT_EQ(tokens("strandcast"),
              (std::vector<std::string>{"divs", "extendbounds", "separator1", "childrencount", "densitymult",
                                        "extendvoxels", "donoise", "reverseprimorder", "docolor", "dovelocity",
                                        "noisefreq", "noiseamp", "noiseoctaves", "noiseroughness", "separator2",
                                        "densityattrib", "radiusattrib", "normalsattrib", "noiseoffsetattrib",
                                        "colorattrib", "velocityattrib", "uvattrib", "upattrib"}));
    EXPECT_EQ(tokens("strandcastStraightMT"),
              (std::vector<std::string>{"divs", "extendbounds", "separator1", "densitymult", "extendvoxels",
                                        "donoise", "docolor", "dovelocity", "noisefreq", "noiseamp", "noiseoctaves",
                                        "noiseroughness", "separator2", "densityattrib", "radiusattrib",
                                        "normalsattrib", "colorattrib", "velocityattrib", "uvattrib", "upattrib"}));
    EXPECT_EQ(op("strandcastStraightMT")->getEnglish(), "StrandcastStraightMT");

    for (const char *name : bothOperators)
    {
        Cook c(name);
        lineScene(c, 0, 1, 1, 0.5f, 0.5f);
        c.set("docolor", 1);
        c.set("dovelocity", 1);
        EXPECT_EQ(c.cook(), UT_ERROR_NONE);
        const GU_Detail &out = c.output();
        EXPECT_EQ(volumeNames(out),
                  (std::vector<std::string>{"density", "vel.x", "vel.y", "vel.z", "Cd.x", "Cd.y", "Cd.z"}));
        EXPECT_EQ(out.getNumPrimitives(), 7) << "the curve is removed";
        for (const char *v : fields::velocity)
        {
            EXPECT_EQ(nonZeroCount(findVolume(out, v)), 0);
            EXPECT_EQ(primString(out, "dopobject", findVolume(out, v)), "/obj/strandcast:0");
        }
        EXPECT_EQ(out.findPrimitiveGroup("smoke")->entries(), 7);
    }
}

TEST(Strandcast, LinearProfileInsideTheRadius)
{
    for (const char *name : bothOperators)
    {
        Cook c(name);
        lineScene(c, 0, 1, 1, 0.5f, 0.5f);
        c.cook();
        // Centres 0.25 from the axis get half; 0.56 or 0.75 away get nothing;
        // past the ends the nearest end is too far.
        EXPECT_EQ(voxel(c, "density", 4, 2, 2), 0.5f) << name;
        EXPECT_EQ(voxel(c, "density", 4, 1, 2), 0.5f) << name;
        EXPECT_EQ(voxel(c, "density", 4, 3, 2), 0.0f) << name;
        EXPECT_EQ(voxel(c, "density", 4, 2, 1), 0.0f) << name;
        EXPECT_EQ(voxel(c, "density", 1, 2, 2), 0.0f) << name;
        EXPECT_EQ(nonZeroCount(findVolume(c.output(), "density")), 10) << name;
    }
}

TEST(Strandcast, DensityRampAndMultiplier)
{
    for (const char *name : bothOperators)
    {
        Cook c(name);
        lineScene(c, 0, 0, 2, 0.5f, 0.5f);
        c.set("densitymult", 3);
        c.cook();
        // Midpoint foot: density 1, times (1 - 0.25 / 0.5), times 3.
        EXPECT_EQ(voxel(c, "density", 4, 2, 2), 1.5f) << name;
        // Near the first end the density falls to 0.
        EXPECT_LT(voxel(c, "density", 2, 2, 2), 1e-6f) << name;
        EXPECT_GT(voxel(c, "density", 6, 2, 2), 2.9f) << name;
    }
}

TEST(Strandcast, CoincidentCurvesDoubleAndDegeneratePrimitivesAddNothing)
{
    for (const char *name : bothOperators)
    {
        Cook one(name), two(name);
        lineScene(one, 0, 1, 0.3f, 0.6f, 0.4f);
        lineScene(two, 0, 1, 0.3f, 0.6f, 0.4f);
        GU_Detail &in = two.input(0);
        addCurve(in, {curvePoint(in, UT_Vector3(-1, 0, 0.25f), 1, 0.6f), curvePoint(in, UT_Vector3(1, 0, 0.25f), 0.3f, 0.4f)});
        // A single vertex, no vertex at all, and coincident ends.
        addCurve(in, {curvePoint(in, UT_Vector3(0, 0.25f, 0.25f), 1, 1)});
        addCurve(in, {});
        GA_Offset same = curvePoint(in, UT_Vector3(0.5f, 0.25f, 0.25f), 1, 1);
        addCurve(in, {same, same});
        one.cook();
        two.cook();
        const GU_PrimVolume *a = findVolume(one.output(), "density");
        const GU_PrimVolume *b = findVolume(two.output(), "density");
        EXPECT_EQ(volumeSum(b), 2 * volumeSum(a)) << name;
        EXPECT_EQ(nonZeroCount(b), nonZeroCount(a)) << name;
        EXPECT_EQ(b->getValueAtIndex(4, 2, 2), 2 * a->getValueAtIndex(4, 2, 2)) << name;
    }
}

TEST(Strandcast, ZeroRadiusAndZeroAmplitudeWriteNothing)
{
    for (const char *name : bothOperators)
    {
        Cook zeroRadius(name);
        lineScene(zeroRadius, 0.25f, 1, 1, 0, 0); // through voxel centres
        zeroRadius.cook();
        EXPECT_EQ(nonZeroCount(findVolume(zeroRadius.output(), "density")), 0) << name;

        Cook silent(name);
        lineScene(silent, 0, 1, 1, 0.5f, 0.5f);
        silent.set("donoise", 1);
        silent.set("noiseamp", 0);
        silent.cook();
        EXPECT_EQ(nonZeroCount(findVolume(silent.output(), "density")), 0) << name;

        // No normals, up or uv: the lookup point is the origin, noise 0.
        Cook bare(name);
        lineScene(bare, 0, 1, 1, 0.5f, 0.5f);
        bare.set("donoise", 1);
        bare.cook();
        EXPECT_EQ(nonZeroCount(findVolume(bare.output(), "density")), 0) << name;

        Cook negative(name);
        lineScene(negative, 0, -1, -2, 0.5f, 0.5f);
        negative.cook();
        EXPECT_EQ(nonZeroCount(findVolume(negative.output(), "density")), 0) << name;

        // Unused parameters and a radius name that matches nothing.
        Cook unnamed(name);
        lineScene(unnamed, 0, 1, 1, 0.5f, 0.5f);
        unnamed.set("radiusattrib", std::string("width"));
        unnamed.set("extendvoxels", 7);
        unnamed.cook();
        EXPECT_EQ(nonZeroCount(findVolume(unnamed.output(), "density")), 0) << name;
    }
}

TEST(Strandcast, NoiseWithoutFrameVariesOnlyAlongTheCurve)
{
    for (const char *name : bothOperators)
    {
        Cook c(name);
        lineScene(c, 0, 1, 1, 0.5f, 0.5f);
        GU_Detail &in = c.input(0);
        setPointAttrib(in, 0, "uv", {0.3f, 0.1f, 0.7f});
        setPointAttrib(in, 1, "uv", {1.3f, 0.4f, 0.2f});
        c.set("donoise", 1);
        c.set("noiseamp", 4);
        c.cook();
        int written = 0;
        for (int x = 0; x < 9; ++x)
        {
            // Mirror images across the axis share the foot, hence the noise.
            EXPECT_EQ(voxel(c, "density", x, 2, 2), voxel(c, "density", x, 1, 2)) << name << " " << x;
            written += voxel(c, "density", x, 2, 2) > 0;
        }
        EXPECT_GT(written, 0) << name;
    }
}

TEST(Strandcast, PerAxisDivisionsCoverEveryVoxel)
{
    for (const char *name : bothOperators)
    {
        Cook c(name);
        GU_Detail &in = c.input(0);
        addCurve(in, {curvePoint(in, UT_Vector3(-1, -1, -1), 1, 100), curvePoint(in, UT_Vector3(1, 1, 1), 1, 100)});
        c.set3("divs", 4, 8, 16);
        c.cook();
        const GU_PrimVolume *density = findVolume(c.output(), "density");
        int rx, ry, rz;
        density->getRes(rx, ry, rz);
        EXPECT_EQ(rx * 100 + ry * 10 + rz, 4 * 100 + 8 * 10 + 16) << name;
        EXPECT_EQ(nonZeroCount(density), 4 * 8 * 16) << name;
    }
}

TEST(Strandcast, CullingMatchesTheAllVoxelsRuleOnRandomCurves)
{
    for (int threaded = 0; threaded < 2; ++threaded)
        for (int noise = 0; noise < 2; ++noise)
        {
            Cook c(bothOperators[threaded]);
            randomCurves(c.input(0), 7 + noise, 40);
            c.set3("divs", 31, 29, 27);
            // The box comes from input 1: positions that are not finite
            // would spoil input 0's own.
            addPoint(c.input(1), UT_Vector3(-1.2f, -1.1f, -1.25f));
            addPoint(c.input(1), UT_Vector3(1.2f, 1.15f, 1.1f));
            c.set("docolor", 1);
            c.set("donoise", noise);
            c.set("noisefreq", 1.7);
            c.set("noiseamp", 1.5);
            c.set("noiseoctaves", 2);
            c.set("densitymult", 1.3);
            c.cook();
            strandref::Settings s;
            s.threaded = threaded;
            s.doNoise = noise;
            s.doColor = 1;
            s.noiseFreq = 1.7f;
            s.noiseAmp = 1.5f;
            s.noiseOctaves = 2;
            s.densityMult = 1.3f;
            SCOPED_TRACE(bothOperators[threaded]);
            SCOPED_TRACE(noise);
            expectMatchesReference(c, s);
        }
}

TEST(StrandcastStraightMT, ColourAddsUnweightedWhereDensityIs)
{
    Cook c("strandcastStraightMT");
    lineScene(c, 0, 1, 1, 0.5f, 0.5f);
    GU_Detail &in = c.input(0);
    addCurve(in, {curvePoint(in, UT_Vector3(0, 0, -1), 1, 0.5f), curvePoint(in, UT_Vector3(0, 0, 1), 1, 0.5f)});
    for (GA_Offset pt = 0; pt < 4; ++pt) setPointAttrib(in, pt, "Cd", {1, 0, 0});
    c.set("docolor", 1);
    c.cook();
    const GU_PrimVolume *density = findVolume(c.output(), "density");
    int once = 0, twice = 0;
    for (int z = 0; z < 4; ++z)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 9; ++x)
            {
                float cdx = voxel(c, "Cd.x", x, y, z);
                if (density->getValueAtIndex(x, y, z) > 0)
                    EXPECT_TRUE(cdx == 1 || cdx == 2);
                else
                    EXPECT_EQ(cdx, 0);
                once += cdx == 1;
                twice += cdx == 2;
                EXPECT_EQ(voxel(c, "Cd.y", x, y, z) + voxel(c, "Cd.z", x, y, z), 0);
            }
    EXPECT_GT(once, 0);
    EXPECT_EQ(twice, 2) << "the two curves share the voxels (4, 1..2, 2)";
}

TEST(StrandcastStraightMT, NoiseFrameDependsOnlyOnDirections)
{
    auto cook = [](const char *name, float nScale, float upScale) {
        auto c = std::make_unique<Cook>(name);
        lineScene(*c, 0, 1, 1, 0.6f, 0.6f);
        GU_Detail &in = c->input(0);
        for (GA_Offset pt = 0; pt < 2; ++pt)
        {
            setPointAttrib(in, pt, "N", {0, nScale, 0});
            setPointAttrib(in, pt, "up", {0, 0, upScale});
            setPointAttrib(in, pt, "uv", {0.2f + pt, 0.4f, 0.1f});
        }
        c->set("donoise", 1);
        c->set("noisefreq", 2.3);
        c->cook();
        return c;
    };
    auto unit = cook("strandcastStraightMT", 1, 1), scaled = cook("strandcastStraightMT", 4, 0.25f);
    expectSameVoxels(findVolume(unit->output(), "density"), findVolume(scaled->output(), "density"));
    EXPECT_GT(nonZeroCount(findVolume(unit->output(), "density")), 0);
    // strandcast's frame is not normalised, so scaling changes its noise.
    auto plainUnit = cook("strandcast", 1, 1), plainScaled = cook("strandcast", 4, 0.25f);
    EXPECT_NE(volumeSum(findVolume(plainUnit->output(), "density")),
              volumeSum(findVolume(plainScaled->output(), "density")));
}

TEST(StrandcastStraightMT, SameResultForOneAndSeveralThreadsAndMatchesStrandcast)
{
    int saved = UT_ThreadedAlgorithm::getDefaultThreadCount();
    Cook single("strandcastStraightMT"), several("strandcastStraightMT"), plain("strandcast");
    for (Cook *c : {&single, &several, &plain})
    {
        randomCurves(c->input(0), 21, 10);
        c->set3("divs", 20, 20, 20);
    }
    UT_ThreadedAlgorithm::setDefaultThreadCount(1);
    single.cook();
    UT_ThreadedAlgorithm::setDefaultThreadCount(4);
    several.cook();
    UT_ThreadedAlgorithm::setDefaultThreadCount(saved);
    plain.cook();
    const GU_PrimVolume *a = findVolume(single.output(), "density");
    expectSameVoxels(a, findVolume(several.output(), "density"));
    // Without noise only the rounding of the multiplier products differs.
    const GU_PrimVolume *b = findVolume(plain.output(), "density");
    for (int z = 0; z < 20; ++z)
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 20; ++x) ASSERT_NEAR(a->getValueAtIndex(x, y, z), b->getValueAtIndex(x, y, z), 1e-5);
}

TEST(StrandcastStraightMT, InterruptThinsTheCookButFinishesIt)
{
    Cook full("strandcastStraightMT"), thinned("strandcastStraightMT");
    for (Cook *c : {&full, &thinned})
    {
        // Radius 1 reaches row 0 (centres y = -11/6), the only row an
        // interrupted cook lays.
        GU_Detail &in = c->input(0);
        addCurve(in, {curvePoint(in, UT_Vector3(-1, -1, -1), 1, 1), curvePoint(in, UT_Vector3(1, 1, 1), 1, 1)});
        c->set3("divs", 12, 12, 12);
    }
    full.cook();
    UTgetInterrupt()->requestInterrupt();
    OP_ERROR e = thinned.cook();
    UTgetInterrupt()->clearInterrupt();
    EXPECT_EQ(e, UT_ERROR_NONE);
    int all = nonZeroCount(findVolume(full.output(), "density"));
    int some = nonZeroCount(findVolume(thinned.output(), "density"));
    EXPECT_GT(some, 0);
    EXPECT_LT(some, all);
}

TEST(StrandcastStraightMT, InterruptLeavesOnlyTheFirstRowOfEachSlice)
{
    // Curve at y = -0.5 covers rows 0 and 1 (centres -0.75, -0.25); the one
    // at y = 0 covers rows 1 and 2 only, so an interrupted cook lays nothing.
    for (float y : {-0.5f, 0.0f})
    {
        Cook full("strandcastStraightMT"), thinned("strandcastStraightMT");
        lineScene(full, y, 1, 1, 0.5f, 0.5f);
        lineScene(thinned, y, 1, 1, 0.5f, 0.5f);
        full.cook();
        UTgetInterrupt()->requestInterrupt();
        thinned.cook();
        UTgetInterrupt()->clearInterrupt();
        for (int z = 0; z < 4; ++z)
            for (int row = 0; row < 4; ++row)
                for (int x = 0; x < 9; ++x)
                    EXPECT_EQ(voxel(thinned, "density", x, row, z), row == 0 ? voxel(full, "density", x, row, z) : 0.0f)
                        << y << ": " << x << " " << row << " " << z;
        EXPECT_EQ(nonZeroCount(findVolume(thinned.output(), "density")), y < 0 ? 5 : 0) << y;
    }
}

// The nearest-segment search skips segments that cannot win; it must name
// the segment, foot and distance of projecting P on every segment (first
// strictly nearest from 1e12), bit for bit. Curves full of exact ties and
// near-ties: retraced and reversed segments, repeated vertices, grid-aligned
// zig-zags, and points on, between and beyond them; with every hint.
TEST(StrandcastSearch, SkippedSegmentsNeverChangeTheWinnerFootOrDistance)
{
    auto plain = [](const curvecast::CurveSamples &c, const UT_Vector3 &P, curvecast::SegmentFoot &foot) {
        foot.k = strandref::nearestByEverySegment(c.pos, P, foot.Q, foot.d);
        return foot.k >= 0;
    };
    using V = UT_Vector3;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<std::vector<V>> curves = {
        {V(0, 0, 0), V(2, 0, 0), V(0, 0, 0), V(2, 0, 0)},                             // retraced
        {V(0, 0, 0), V(2, 0, 0), V(2, 0, 0), V(2, 2, 0), V(0, 2, 0), V(0, 0, 0)},     // square, repeated vertex
        {V(0, 0, 0), V(1, 1, 0), V(2, 0, 0), V(3, 1, 0), V(4, 0, 0), V(5, 1, 0)},     // zig-zag
        {V(0.1f, 0.3f, 0.7f), V(1.7f, 0.3f, 0.7f), V(0.1f, 0.3f, 0.7f), V(0.1f, 1.9f, 0.7f)},
        {V(0, 0, 0), V(nan, 1, 0), V(2, 0, 0), V(2, 0, 1e30f), V(1, 1, 1)},           // not finite
    };
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> jitter(-1e-6f, 1e-6f);
    for (size_t j = 0; j < curves.size(); ++j)
    {
        curvecast::CurveSamples c;
        c.pos = curves[j];
        c.prepareSegments();
        for (int z = -2; z <= 4; ++z)
            for (int y = -4; y <= 8; ++y)
                for (int x = -4; x <= 24; ++x)
                    for (int near = 0; near < 2; ++near)
                    {
                        V P(x * 0.25f, y * 0.25f, z * 0.25f);
                        if (near) P += V(jitter(rng), jitter(rng), jitter(rng));
                        curvecast::SegmentFoot b;
                        const bool rb = plain(c, P, b);
                        // Any hint, good or bad, leaves the result alone.
                        for (int hint = -1; hint <= c.segmentCount(); ++hint)
                        {
                            curvecast::SegmentFoot a;
                            bool ra = curvecast::nearestSegment(c, P, a, hint);
                            ASSERT_EQ(ra, rb) << j << ": " << P.x() << " " << P.y() << " " << P.z() << " hint " << hint;
                            if (!ra) continue;
                            ASSERT_EQ(a.k, b.k) << j << ": " << P.x() << " " << P.y() << " " << P.z() << " hint " << hint;
                            for (int k = 0; k < 3; ++k) ASSERT_EQ(std::memcmp(&a.Q[k], &b.Q[k], 4), 0);
                            ASSERT_EQ(std::memcmp(&a.d, &b.d, 4), 0);
                        }
                    }
    }
}
