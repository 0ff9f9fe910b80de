// SPDX-License-Identifier: Apache-2.0
// plumeweave_velocity_stretch and its threaded twin, cooked through the
// plug-in loader.
#include <gtest/gtest.h>
#include <cmath>
#include <cstring>
#include <string>
#include <algorithm>
#include "TestHost.h"
#include "UT/UT_Interrupt.h"
#include "UT/UT_ThreadedAlgorithm.h"

using namespace testhost;

namespace
{
const char *const kStretch = "plumeweave_velocity_stretch";
const char *const kStretchMT = "plumeweave_velocity_stretchMT";

// A grid of `divs`^3 voxels over [-half, half]^3 given by input 1, children
// without noise displacement.
void gridScene(Cook &c, float half, int divs, int children = 1)
{
    GU_Detail &box = c.input(1);
    addPoint(box, UT_Vector3(-half, -half, -half));
    addPoint(box, UT_Vector3(half, half, half));
    c.set3("divs", divs, divs, divs);
    c.set("childrencount", children);
    c.set("noiseoctaves", 0);
    c.set("noiseamp", 0);
}

GA_Offset streakPoint(Cook &c, const UT_Vector3 &P, float density, float pscale, const UT_Vector3 &v)
{
    GU_Detail &in = c.input(0);
    GA_Offset pt = addPoint(in, P);
    setPointAttrib(in, pt, "density", {density});
    setPointAttrib(in, pt, "pscale", {pscale});
    setPointAttrib(in, pt, "v", {v.x(), v.y(), v.z()});
    return pt;
}

// Several moving and still points with noise, colour and displacement, on a
// grid whose rows are long enough to be split between jobs.
void busyScene(Cook &c)
{
    GU_Detail &in = c.input(0);
    for (int i = 0; i < 6; ++i)
    {
        float f = float(i);
        GA_Offset pt = addPoint(in, UT_Vector3(-1.5f + 0.6f * f, 0.3f * f - 1, 0.1f * f));
        setPointAttrib(in, pt, "density", {0.5f + 0.25f * f});
        setPointAttrib(in, pt, "pscale", {0.15f + 0.05f * f});
        setPointAttrib(in, pt, "radiusf", {0.4f});
        setPointAttrib(in, pt, "Cd", {0.2f * f, 1 - 0.1f * f, 0.5f});
        setPointAttrib(in, pt, "v", {i % 3 ? 1.2f - 0.3f * f : 0.0f, 0.4f, i % 2 ? -0.5f : 0.1f});
    }
    c.set3("divs", 48, 40, 36);
    c.set("childrencount", 6);
    c.set("docolor", 1);
}

// Bitwise comparison of two volumes of the same resolution.
bool sameVoxels(const GU_PrimVolume *a, const GU_PrimVolume *b)
{
    int ax, ay, az, bx, by, bz;
    a->getRes(ax, ay, az);
    b->getRes(bx, by, bz);
    if (ax != bx || ay != by || az != bz) return false;
    for (int z = 0; z < az; ++z)
        for (int y = 0; y < ay; ++y)
            for (int x = 0; x < ax; ++x)
            {
                float va = float(a->getValueAtIndex(x, y, z)), vb = float(b->getValueAtIndex(x, y, z));
                if (std::memcmp(&va, &vb, sizeof(float)) != 0) return false;
            }
    return true;
}

bool sameVolumes(const GU_Detail &a, const GU_Detail &b)
{
    if (volumeNames(a) != volumeNames(b)) return false;
    for (const std::string &name : volumeNames(a))
        if (!sameVoxels(findVolume(a, name.c_str()), findVolume(b, name.c_str()))) return false;
    return true;
}
} // namespace

TEST(VelocityStretch, RegistersEighteenParametersUnderItsOwnNames)
{
    for (const char *name : {kStretch, kStretchMT})
    {
        OP_Operator *op = testhost::op(name);
        ASSERT_TRUE(op) << name;
        int count = 0;
        for (PRM_Template *t = op->getParmTemplates(); !t->isTerminator(); ++t) ++count;
        EXPECT_EQ(count, 18);
        EXPECT_EQ(op->maxInputs(), 2u);
    }
    EXPECT_EQ(testhost::op(kStretch)->getEnglish(), "plumeweave_velocity_stretch");
    EXPECT_EQ(testhost::op(kStretchMT)->getEnglish(), "Plumeweave_velocity_stretchMT");
}

TEST(VelocityStretch, ColourSwitchChoosesOneOrFourVolumes)
{
    for (const char *name : {kStretch, kStretchMT})
        for (int doColor = 0; doColor <= 1; ++doColor)
        {
            Cook c(name);
            gridScene(c, 4, 8);
            GA_Offset pt = streakPoint(c, UT_Vector3(0.5f, 0.5f, 0.5f), 2, 1.5f, UT_Vector3(0, 0, 0));
            setPointAttrib(c.input(0), pt, "Cd", {0.5f, 0.25f, 2});
            c.set("docolor", doColor);
            EXPECT_EQ(c.cook(), UT_ERROR_NONE);
            const GU_Detail &out = c.output();
            std::vector<std::string> expected = {"density"};
            if (doColor) expected = {"density", "Cd.x", "Cd.y", "Cd.z"};
            EXPECT_EQ(volumeNames(out), expected) << name;
            EXPECT_EQ(primString(out, "dopobject", findVolume(out, "density")), "/obj/plumeweave:0");
            if (!doColor) continue;
            // Colour holds density-weighted colour.
            GU_PrimVolume *density = findVolume(out, "density");
            EXPECT_EQ(findVolume(out, "Cd.x")->getValueAtIndex(5, 4, 4), float(density->getValueAtIndex(5, 4, 4)) * 0.5f);
            EXPECT_EQ(findVolume(out, "Cd.z")->getValueAtIndex(4, 4, 4), 4.0);
            EXPECT_EQ(nonZeroCount(findVolume(out, "Cd.y")), nonZeroCount(density));
        }
}

TEST(VelocityStretch, StillPointDepositsSpheresOnTheDefaultRadiusName)
{
    // No "radiusf" attribute: every child lands on the point, so three
    // identical spheres add up.
    for (const char *name : {kStretch, kStretchMT})
    {
        Cook c(name);
        gridScene(c, 4, 8, 3);
        c.set("noiseamp", 1);
        c.set("noiseoctaves", 2);
        c.set("densitymult", 1.5);
        streakPoint(c, UT_Vector3(0.5f, 0.5f, 0.5f), 2, 1.5f, UT_Vector3(0, 0, 0));
        c.cook();
        GU_PrimVolume *density = findVolume(c.output(), "density");
        EXPECT_EQ(density->getValueAtIndex(4, 4, 4), 9.0) << name;
        // Falloff (s - t) / s at one voxel's distance.
        double one = 3 * float(double((1.5f - 1.0f) / 1.5f) * 1.5 * 2.0);
        EXPECT_NEAR(density->getValueAtIndex(5, 4, 4), one, 1e-5);
        EXPECT_NEAR(density->getValueAtIndex(4, 3, 4), one, 1e-5);
        // Voxel centres strictly within 1.5: offsets of squared length 0, 1, 2.
        EXPECT_EQ(nonZeroCount(density), 19);
    }
}

TEST(VelocityStretch, RadiusAttributeScalesTheNoiseWalk)
{
    // Noise coordinate (0.25, 0, 0) for child 1: pnoise = 75/512, times
    // noiseamp 4 times radiusf 2 moves it by 1.171875 along x, 0.171875
    // from the centre of voxel 5, which gains (0.5 - 0.171875) / 0.5.
    // Child 0 sits on the lattice and stays on its point (voxel 4).
    for (const char *name : {kStretch, kStretchMT})
    {
        Cook c(name);
        gridScene(c, 4, 8, 2);
        c.set("noiseamp", 4);
        c.set3("noisefreq", 0.25, 0, 0);
        GA_Offset pt = streakPoint(c, UT_Vector3(0.5f, 0.5f, 0.5f), 1, 0.5f, UT_Vector3(0, 0, 0));
        setPointAttrib(c.input(0), pt, "radiusf", {2});
        c.cook();
        GU_PrimVolume *density = findVolume(c.output(), "density");
        EXPECT_EQ(density->getValueAtIndex(4, 4, 4), 1.0) << name;
        EXPECT_EQ(density->getValueAtIndex(5, 4, 4), 0.65625) << name;
        EXPECT_EQ(nonZeroCount(density), 2) << name;
    }
}

TEST(VelocityStretch, CapsuleFadesFromHeadToTail)
{
    // v = (1, 0, 0), s = 0.1, voxels of 0.05: the streak runs from the child
    // at x = 0.525 back to x = -0.475.
    Cook c(kStretch);
    gridScene(c, 1, 40);
    streakPoint(c, UT_Vector3(0.525f, 0.025f, 0.025f), 2, 0.1f, UT_Vector3(1, 0, 0));
    c.cook();
    GU_PrimVolume *density = findVolume(c.output(), "density");
    auto at = [&](int x, int y = 20) { return density->getValueAtIndex(x, y, 20); };
    auto centreX = [](int x) { return -1 + 0.05 * (x + 0.5); };
    EXPECT_NEAR(at(30), 2.0, 1e-5);         // the head
    EXPECT_NEAR(at(29), 2.0, 1e-5);         // within s of the head: full density
    EXPECT_EQ(at(33), 0.0);                 // beyond s ahead of the head
    for (int x : {10, 15, 25})              // farther back: fraction of the way from the tail
        EXPECT_NEAR(at(x), 2.0 * (centreX(x) + 0.475), 1e-5) << x;
    EXPECT_NEAR(at(25, 21), 0.5 * 2.0 * (centreX(25) + 0.475), 1e-5); // half the radius off the axis
    EXPECT_EQ(at(20, 23), 0.0);             // beyond s off the axis
    EXPECT_EQ(at(9), 0.0);                  // the tail itself
    EXPECT_EQ(at(5), 0.0);                  // beyond the tail
}

TEST(VelocityStretch, ZeroFootprintDepositsNothingEvenAtAVoxelCentre)
{
    for (const char *name : {kStretch, kStretchMT})
    {
        Cook c(name);
        gridScene(c, 4, 8, 2);
        c.set("docolor", 1);
        GA_Offset pt = streakPoint(c, UT_Vector3(0.5f, 0.5f, 0.5f), 1, 0, UT_Vector3(0, 0, 0));
        setPointAttrib(c.input(0), pt, "Cd", {1, 1, 1});
        streakPoint(c, UT_Vector3(-0.5f, 0.5f, 0.5f), 1, 0, UT_Vector3(1, 0, 0));
        c.cook();
        // 0/0 at the child's own voxel would be NaN, which counts as non-zero.
        for (const std::string &v : volumeNames(c.output()))
            EXPECT_EQ(nonZeroCount(findVolume(c.output(), v.c_str())), 0) << name << " " << v;
    }
}

TEST(VelocityStretch, SingleThreadedOperatorIgnoresInterrupts)
{
    Cook full(kStretch), interrupted(kStretch);
    for (Cook *c : {&full, &interrupted})
    {
        busyScene(*c);
        c->set("docolor", 0);
    }
    full.cook();
    UTgetInterrupt()->requestInterrupt();
    interrupted.cook();
    UTgetInterrupt()->clearInterrupt();
    EXPECT_TRUE(sameVolumes(full.output(), interrupted.output()));
    EXPECT_GT(volumeSum(findVolume(full.output(), "density")), 0);
}

TEST(VelocityStretch, OblongStreaksCoverEveryVoxelNearThemAndNoOther)
{
    // A streak along no axis: voxels well inside the capsule receive density
    // (except where it fades out), voxels well outside stay empty.
    const UT_Vector3 P(0.13f, -0.21f, 0.07f), v(1.1f, -0.7f, 0.9f);
    const double s = 0.15;
    for (const char *name : {kStretch, kStretchMT})
    {
        bool centred = name == std::string(kStretchMT);
        Cook c(name);
        gridScene(c, 1.5f, 60);
        streakPoint(c, P, 1, float(s), v);
        c.cook();
        GU_PrimVolume *density = findVolume(c.output(), "density");
        // The streak a + t (b - a), t in [0, 1]: back from the child, or centred on it.
        UT_Vector3 a = centred ? P - v * 0.5f : P, b = centred ? P + v * 0.5f : P - v;
        int inside = 0;
        for (int z = 0; z < 60; ++z)
            for (int y = 0; y < 60; ++y)
                for (int x = 0; x < 60; ++x)
                {
                    UT_Vector3 V;
                    density->indexToPos(x, y, z, V);
                    double e[3], w[3], ee = 0, ew = 0;
                    for (int k = 0; k < 3; ++k)
                    {
                        e[k] = double(b[k]) - a[k];
                        w[k] = double(V[k]) - a[k];
                        ee += e[k] * e[k];
                        ew += e[k] * w[k];
                    }
                    double t = std::min(1.0, std::max(0.0, ew / ee)), dist2 = 0;
                    for (int k = 0; k < 3; ++k) dist2 += (w[k] - t * e[k]) * (w[k] - t * e[k]);
                    double dist = std::sqrt(dist2), value = density->getValueAtIndex(x, y, z);
                    bool fading = centred ? std::fabs(t - 0.5) > 0.45 : t > 0.95;
                    if (dist < 0.9 * s && !fading)
                    {
                        ++inside;
                        EXPECT_GT(value, 0) << name << " " << x << " " << y << " " << z;
                    }
                    if (dist > 1.1 * s)
                    {
                        EXPECT_EQ(value, 0) << name << " " << x << " " << y << " " << z;
                    }
                }
        EXPECT_GT(inside, 500) << name;
    }
}

TEST(VelocityStretchMT, SlowPointsDrawSpheresFastOnesCentredTents)
{
    // |v| = 2 < 2s = 3: the same spheres as a still point.
    Cook slow(kStretchMT), still(kStretchMT);
    for (Cook *c : {&slow, &still}) gridScene(*c, 4, 8);
    streakPoint(slow, UT_Vector3(0.5f, 0.5f, 0.5f), 2, 1.5f, UT_Vector3(2, 0, 0));
    streakPoint(still, UT_Vector3(0.5f, 0.5f, 0.5f), 2, 1.5f, UT_Vector3(0, 0, 0));
    slow.cook();
    still.cook();
    EXPECT_TRUE(sameVolumes(slow.output(), still.output()));

    // |v| = 4 >= 2s = 2: a streak from x = -1.5 to 2.5, full at the child,
    // halved one voxel either side, zero at both ends.
    Cook fast(kStretchMT);
    gridScene(fast, 4, 8);
    fast.set("densitymult", 1.5);
    streakPoint(fast, UT_Vector3(0.5f, 0.5f, 0.5f), 2, 1, UT_Vector3(4, 0, 0));
    fast.cook();
    GU_PrimVolume *density = findVolume(fast.output(), "density");
    EXPECT_EQ(density->getValueAtIndex(4, 4, 4), 3.0);
    EXPECT_EQ(density->getValueAtIndex(3, 4, 4), 1.5);
    EXPECT_EQ(density->getValueAtIndex(5, 4, 4), 1.5);
    EXPECT_EQ(density->getValueAtIndex(2, 4, 4), 0.0);
    EXPECT_EQ(density->getValueAtIndex(6, 4, 4), 0.0);
    EXPECT_EQ(density->getValueAtIndex(4, 5, 4), 0.0); // a footprint away from the axis
    EXPECT_EQ(nonZeroCount(density), 3);
}

TEST(VelocityStretchMT, ResultDoesNotDependOnTheThreadCount)
{
    int threads = UT_ThreadedAlgorithm::getDefaultThreadCount();
    Cook one(kStretchMT), several(kStretchMT);
    busyScene(one);
    busyScene(several);
    UT_ThreadedAlgorithm::setDefaultThreadCount(1);
    one.cook();
    UT_ThreadedAlgorithm::setDefaultThreadCount(5);
    several.cook();
    UT_ThreadedAlgorithm::setDefaultThreadCount(threads);
    EXPECT_EQ(volumeNames(one.output()).size(), 4u);
    EXPECT_GT(nonZeroCount(findVolume(one.output(), "density")), 100);
    EXPECT_TRUE(sameVolumes(one.output(), several.output()));
}

TEST(VelocityStretchMT, InterruptStopsAfterTheFirstPoint)
{
    Cook first(kStretchMT), interrupted(kStretchMT);
    gridScene(first, 4, 8);
    gridScene(interrupted, 4, 8);
    streakPoint(first, UT_Vector3(0.5f, 0.5f, 0.5f), 1, 1.5f, UT_Vector3(0, 0, 0));
    streakPoint(interrupted, UT_Vector3(0.5f, 0.5f, 0.5f), 1, 1.5f, UT_Vector3(0, 0, 0));
    streakPoint(interrupted, UT_Vector3(-2.5f, -2.5f, -2.5f), 1, 1.5f, UT_Vector3(0, 0, 0));
    first.cook();
    UTgetInterrupt()->requestInterrupt();
    interrupted.cook();
    UTgetInterrupt()->clearInterrupt();
    EXPECT_GT(volumeSum(findVolume(first.output(), "density")), 0);
    EXPECT_TRUE(sameVolumes(first.output(), interrupted.output()));
}

TEST(VelocityStretchMT, NegativeDivisionsGiveTwoVoxels)
{
    Cook c(kStretchMT);
    streakPoint(c, UT_Vector3(0, 0, 0), 1, 0.5f, UT_Vector3(0, 0, 0));
    c.set3("divs", -4, 3, 0);
    c.cook();
    int rx, ry, rz;
    findVolume(c.output(), "density")->getRes(rx, ry, rz);
    EXPECT_EQ(rx, 2);
    EXPECT_EQ(ry, 3);
    EXPECT_EQ(rz, 2);
}
