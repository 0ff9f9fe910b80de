// SPDX-License-Identifier: Apache-2.0
// billowfold and billowfoldMT cooked through the plug-in loader.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include "GEO/GEO_PrimPoly.h"
#include "TestHost.h"
#include "UT/UT_Interrupt.h"
#include "UT/UT_ThreadedAlgorithm.h"

using namespace testhost;

namespace
{
const char *const kFields[] = {"density", "Cd.x", "Cd.y", "Cd.z"};

std::vector<float> voxels(const GU_Detail &gdp, const char *field)
{
    const GU_PrimVolume *vol = findVolume(gdp, field);
    std::vector<float> v;
    int rx, ry, rz;
    vol->getRes(rx, ry, rz);
    for (int k = 0; k < rz; ++k)
        for (int j = 0; j < ry; ++j)
            for (int i = 0; i < rx; ++i) v.push_back(float(vol->getValueAtIndex(i, j, k)));
    return v;
}

float at(Cook &c, const char *field, int i, int j, int k)
{
    return float(findVolume(c.output(), field)->getValueAtIndex(i, j, k));
}

GA_Offset ball(Cook &c, UT_Vector3 p, float density, float pscale, std::vector<float> Cd = {})
{
    GU_Detail &in = c.input(0);
    GA_Offset pt = addPoint(in, p);
    setPointAttrib(in, pt, "density", {density});
    setPointAttrib(in, pt, "pscale", {pscale});
    if (!Cd.empty()) setPointAttrib(in, pt, "Cd", Cd);
    return pt;
}

// The unit cube as the second input: voxels of 0.1 with the default divs.
void unitBox(Cook &c)
{
    addPoint(c.input(1), UT_Vector3(0, 0, 0));
    addPoint(c.input(1), UT_Vector3(1, 1, 1));
}

// Cooks with standard output captured; returns what the cook printed.
std::string cook(Cook &c)
{
    testing::internal::CaptureStdout();
    c.cook();
    return testing::internal::GetCapturedStdout();
}

// Overlapping coloured balls with their own frames and noise offsets.
void cloudScene(Cook &c)
{
    unitBox(c);
    for (int i = 0; i < 6; ++i)
    {
        float t = float(i);
        GA_Offset pt = ball(c, UT_Vector3(0.3f + 0.07f * t, 0.5f - 0.03f * t, 0.4f + 0.05f * t), 0.5f + 0.2f * t,
                            0.15f + 0.03f * t, {0.2f * t, 1 - 0.1f * t, 0.5f});
        setPointAttrib(c.input(0), pt, "N", {1, t, 0.5f});
        setPointAttrib(c.input(0), pt, "up", {0, 1, t});
        setPointAttrib(c.input(0), pt, "noiseoffset", {0.3f * t, 0.1f, -0.2f * t});
    }
    c.set3("divs", 16, 16, 16);
    c.set3("noisefreq", 3, 4, 5);
    c.set("noiseoctaves", 2);
}

struct WorkerThreads
{
    int old = UT_ThreadedAlgorithm::getDefaultThreadCount();
    explicit WorkerThreads(int n) { UT_ThreadedAlgorithm::setDefaultThreadCount(n); }
    ~WorkerThreads() { UT_ThreadedAlgorithm::setDefaultThreadCount(old); }
};
} // namespace

TEST(Billowfold, BuildsFourVolumesPrintsPrimcountAndRemovesInputPrimitives)
{
    Cook c("billowfold");
    ball(c, UT_Vector3(0, 0, 0), 1, 0.8f);
    ball(c, UT_Vector3(2, 1, 1), 1, 0.8f, {1, 0.5f, 0});
    std::vector<GA_Offset> tri;
    for (int i = 0; i < 3; ++i) tri.push_back(addPoint(c.input(0), UT_Vector3(float(i), 1, 0)));
    GEO_PrimPoly::build(&c.input(0), tri, true);

    EXPECT_EQ(cook(c), "primcount = 1\n");
    const GU_Detail &out = c.output();
    EXPECT_EQ(volumeNames(out), std::vector<std::string>(std::begin(kFields), std::end(kFields)));
    GU_PrimVolume *density = findVolume(out, "density");
    EXPECT_EQ(primString(out, "dopobject", density), "/obj/billowfold:0");
    EXPECT_EQ(voxels(out, "density").size(), 1000u);
    // Two free points and four anchor points; the triangle and its points are gone.
    EXPECT_EQ(out.getNumPoints(), 6);
    EXPECT_GT(volumeSum(density), 0);
    EXPECT_GT(volumeSum(findVolume(out, "Cd.x")), 0);
    EXPECT_EQ(volumeSum(findVolume(out, "Cd.z")), 0);
}

TEST(Billowfold, PlainBallIsLinearFalloffInsideTheRadius)
{
    Cook c("billowfold");
    unitBox(c);
    const UT_Vector3 P(0.43f, 0.52f, 0.61f);
    ball(c, P, 1, 0.25f);
    cook(c);
    GU_PrimVolume *density = findVolume(c.output(), "density");
    int inside = 0;
    for (int k = 0; k < 10; ++k)
        for (int j = 0; j < 10; ++j)
            for (int i = 0; i < 10; ++i)
            {
                UT_Vector3 centre;
                density->indexToPos(i, j, k, centre);
                double d = (centre - P).length();
                inside += d <= 0.25;
                EXPECT_NEAR(density->getValueAtIndex(i, j, k), d <= 0.25 ? 1 - d / 0.25 : 0, 1e-6);
            }
    EXPECT_GT(inside, 20);
}

TEST(Billowfold, SearchBoxStopsOneVoxelShortAboveThePoint)
{
    // Radius 0.28 reaches 3 voxels of 0.1: voxel index - 3 is searched,
    // index + 3 is not, though both centres lie within the radius here.
    for (const char *op : {"billowfold", "billowfoldMT"})
    {
        Cook low(op), high(op);
        unitBox(low);
        unitBox(high);
        ball(low, UT_Vector3(0.505f, 0.55f, 0.55f), 1, 0.28f);
        ball(high, UT_Vector3(0.595f, 0.55f, 0.55f), 1, 0.28f);
        cook(low);
        cook(high);
        EXPECT_GT(at(low, "density", 2, 5, 5), 0) << op;
        EXPECT_EQ(at(high, "density", 8, 5, 5), 0) << op;
        EXPECT_GT(at(high, "density", 7, 5, 5), 0) << op;
    }
}

TEST(Billowfold, NoPositiveRadiusWritesNothingEvenOnAFlatBox)
{
    // A single point: the box is flat on every axis, so the whole grid is
    // searched; with odd divisions the centre voxel sits exactly on the
    // point and on the volumes' anchor points (radius 0).
    for (float pscale : {0.0f, -0.5f, 0.5f})
    {
        Cook c("billowfold");
        ball(c, UT_Vector3(1, 2, 3), 1, pscale);
        c.set3("divs", 9, 9, 9);
        cook(c);
        for (const char *f : kFields)
            for (float v : voxels(c.output(), f)) ASSERT_FALSE(std::isnan(v)) << f;
        GU_PrimVolume *density = findVolume(c.output(), "density");
        EXPECT_EQ(density->getValueAtIndex(4, 4, 4), pscale > 0 ? 1.0 : 0.0);
        EXPECT_EQ(nonZeroCount(density) > 1, pscale > 0);
    }
}

TEST(Billowfold, FlatAxisIsSearchedWholeButEmptyInTheThreadedTwin)
{
    for (const char *op : {"billowfold", "billowfoldMT"})
    {
        Cook c(op);
        ball(c, UT_Vector3(0, 0, 0), 1, 1.5f);
        ball(c, UT_Vector3(2, 2, 0), 1, 1.5f);
        cook(c);
        GU_PrimVolume *density = findVolume(c.output(), "density");
        if (std::string(op) == "billowfold")
        {
            // Half extent 1 across the plane: every z layer is within reach.
            for (int k = 0; k < 10; ++k) EXPECT_GT(density->getValueAtIndex(2, 2, k), 0) << k;
        }
        else
            EXPECT_EQ(nonZeroCount(density), 0);
    }
}

TEST(Billowfold, NoiseWithoutAmplitudeIsThePlainBallWithColourScaled)
{
    Cook plain("billowfold"), noisy("billowfold");
    for (Cook *c : {&plain, &noisy})
    {
        unitBox(*c);
        ball(*c, UT_Vector3(0.43f, 0.52f, 0.61f), 2, 0.3f, {0.5f, 0.25f, 1});
    }
    noisy.set("donoise", 1);
    noisy.set("noiseamp", 0);
    cook(plain);
    cook(noisy);
    std::vector<float> p = voxels(plain.output(), "density"), n = voxels(noisy.output(), "density");
    std::vector<float> cx = voxels(noisy.output(), "Cd.x"), cz = voxels(noisy.output(), "Cd.z");
    for (size_t i = 0; i < p.size(); ++i)
    {
        EXPECT_NEAR(n[i], p[i], 1e-6);
        EXPECT_EQ(cx[i], n[i] * 0.5f);
        EXPECT_EQ(cz[i], n[i]);
    }
}

TEST(Billowfold, MissingOrScaledFrameVectorsGiveTheWorldFrame)
{
    // No N / up, the world axes, and scaled world axes: the same noise. A
    // turned frame changes it.
    std::vector<std::vector<float>> fields;
    std::vector<std::vector<float>> frames[] = {{}, {{1, 0, 0}, {0, 1, 0}}, {{3, 0, 0}, {0, 0.5f, 0}}, {{0, 1, 0}, {1, 0, 0}}};
    for (auto &frame : frames)
    {
        Cook c("billowfold");
        unitBox(c);
        GA_Offset pt = ball(c, UT_Vector3(0.43f, 0.52f, 0.61f), 1, 0.35f);
        setPointAttrib(c.input(0), pt, "noiseoffset", {0.3f, 0.7f, 0.1f});
        if (!frame.empty())
        {
            setPointAttrib(c.input(0), pt, "N", frame[0]);
            setPointAttrib(c.input(0), pt, "up", frame[1]);
        }
        c.set("donoise", 1);
        c.set3("noisefreq", 4, 5, 6);
        cook(c);
        fields.push_back(voxels(c.output(), "density"));
    }
    EXPECT_EQ(fields[0], fields[1]);
    EXPECT_EQ(fields[0], fields[2]);
    EXPECT_NE(fields[0], fields[3]);
}

TEST(Billowfold, LaterBallsScaleEarlierColourOnTheNoisePath)
{
    // Red then green, overlapping: where the green ball reaches, Cd.x ends
    // at 0; where only the red one does, Cd.y stays 0.
    for (const char *op : {"billowfold", "billowfoldMT"})
    {
        Cook c(op);
        unitBox(c);
        ball(c, UT_Vector3(0.45f, 0.5f, 0.5f), 1, 0.3f, {1, 0, 0});
        ball(c, UT_Vector3(0.55f, 0.5f, 0.5f), 1, 0.3f, {0, 1, 0});
        c.set("donoise", 1);
        c.set("noiseamp", 0);
        if (std::string(op) == "billowfoldMT") c.set("docolor", 1);
        cook(c);
        EXPECT_EQ(at(c, "Cd.x", 5, 5, 5), 0) << op;
        EXPECT_GT(at(c, "Cd.y", 5, 5, 5), 0) << op;
        EXPECT_GT(at(c, "Cd.x", 2, 5, 5), 0) << op;
        EXPECT_EQ(at(c, "Cd.y", 2, 5, 5), 0) << op;
    }
}

TEST(Billowfold, NegativeAndHugeDensitiesDifferBetweenTheTwins)
{
    for (const char *op : {"billowfold", "billowfoldMT"})
    {
        const bool mt = std::string(op) == "billowfoldMT";
        for (int doNoise = 0; doNoise <= 1; ++doNoise)
        {
            // A positive ball, then a negative one on top of it.
            Cook c(op);
            unitBox(c);
            ball(c, UT_Vector3(0.55f, 0.55f, 0.55f), 1, 0.3f, {0.5f, 0.5f, 0.5f});
            ball(c, UT_Vector3(0.55f, 0.55f, 0.55f), -3, 0.3f, {0.25f, 0.25f, 0.25f});
            c.set("donoise", doNoise);
            c.set("noiseamp", 0);
            if (mt) c.set("docolor", 1);
            cook(c);
            // The twin ignores it; billowfold subtracts on the plain path and
            // clamps to 0 on the noise path, where the colour is still scaled.
            EXPECT_NEAR(at(c, "density", 5, 5, 5), mt || doNoise ? 1 : -2, 1e-5) << op;
            EXPECT_NEAR(at(c, "Cd.x", 5, 5, 5), mt ? 0.5 : (doNoise ? 0.125 : -0.25), 1e-5) << op;
        }

        // The noise path's upper clamp, absent in the twin.
        Cook big(op);
        unitBox(big);
        ball(big, UT_Vector3(0.55f, 0.55f, 0.55f), 1e9f, 0.3f);
        big.set("donoise", 1);
        big.set("noiseamp", 0);
        cook(big);
        EXPECT_EQ(at(big, "density", 5, 5, 5) > 9e8f, mt);
        EXPECT_EQ(at(big, "density", 5, 5, 5) == 1000000.0f, !mt);
    }
}

TEST(BillowfoldMT, ColourSwitchOffBuildsDensityOnly)
{
    Cook c("billowfoldMT");
    ball(c, UT_Vector3(0, 0, 0), 1, 0.5f, {1, 1, 1});
    c.cook();
    EXPECT_EQ(volumeNames(c.output()), std::vector<std::string>{"density"});
    EXPECT_EQ(c.output().getNumPoints(), 2); // the input point and one anchor
    c.set("docolor", 1);
    c.cook();
    EXPECT_EQ(volumeNames(c.output()).size(), 4u);
}

TEST(BillowfoldMT, SameFieldsWithOneOrManyThreadsAndAsTheSingleThreadedOperator)
{
    for (int doNoise = 0; doNoise <= 1; ++doNoise)
    {
        std::vector<std::vector<float>> byThreads[2];
        for (int t = 0; t < 2; ++t)
        {
            WorkerThreads threads(t == 0 ? 1 : 5);
            Cook c("billowfoldMT");
            cloudScene(c);
            c.set("donoise", doNoise);
            c.set("docolor", 1);
            c.cook();
            for (const char *f : kFields) byThreads[t].push_back(voxels(c.output(), f));
        }
        EXPECT_EQ(byThreads[0], byThreads[1]) << "donoise " << doNoise;
        EXPECT_GT(*std::max_element(byThreads[0][0].begin(), byThreads[0][0].end()), 0);

        // Positive densities below the clamp: billowfold's density agrees,
        // and so does its plain-path colour.
        Cook single("billowfold");
        cloudScene(single);
        single.set("donoise", doNoise);
        cook(single);
        EXPECT_EQ(voxels(single.output(), "density"), byThreads[0][0]);
        if (!doNoise)
        {
            EXPECT_EQ(voxels(single.output(), "Cd.y"), byThreads[0][2]);
        }
    }
}

TEST(Billowfold, InterruptKeepsThePartialResult)
{
    for (const char *op : {"billowfold", "billowfoldMT"})
    {
        Cook full(op), cut(op);
        for (Cook *c : {&full, &cut})
            for (int i = 0; i < 3; ++i) ball(*c, UT_Vector3(float(i), float(i), float(i)), 1, 0.6f);
        cook(full);
        UTgetInterrupt()->requestInterrupt();
        cook(cut);
        UTgetInterrupt()->clearInterrupt();
        double all = volumeSum(findVolume(full.output(), "density"));
        double partial = volumeSum(findVolume(cut.output(), "density"));
        EXPECT_GT(partial, 0) << op;
        EXPECT_LT(partial, all) << op;
    }
}
