// SPDX-License-Identifier: Apache-2.0
// plumeweave cooked through the plug-in loader.
#include <gtest/gtest.h>
#include <cmath>
#include "TestHost.h"
#include "UT/UT_Interrupt.h"

using namespace testhost;

namespace
{
// One point at the centre of voxel (4, 4, 4) of an 8^3 grid of unit voxels
// over [-4, 4]^3 given by input 1; one child, no noise.
void singleChildScene(Cook &c, float density, float pscale)
{
    GU_Detail &in = c.input(0);
    GA_Offset pt = addPoint(in, UT_Vector3(0.5f, 0.5f, 0.5f));
    setPointAttrib(in, pt, "density", {density});
    setPointAttrib(in, pt, "pscale", {pscale});
    GU_Detail &box = c.input(1);
    addPoint(box, UT_Vector3(-4, -4, -4));
    addPoint(box, UT_Vector3(4, 4, 4));
    c.set3("divs", 8, 8, 8);
    c.set("childrencount", 1);
    c.set("noiseoctaves", 0);
    c.set("noiseamp", 0);
}
} // namespace

TEST(Plumeweave, DefaultsBuildFourNamedGroupedVolumes)
{
    Cook c("plumeweave");
    GU_Detail &in = c.input(0);
    GA_Offset pt = addPoint(in, UT_Vector3(1, 2, 3));
    setPointAttrib(in, pt, "density", {1});
    setPointAttrib(in, pt, "pscale", {0.5f});
    EXPECT_EQ(c.cook(), UT_ERROR_NONE);
    const GU_Detail &out = c.output();
    EXPECT_EQ(volumeNames(out), (std::vector<std::string>{"density", "Cd.x", "Cd.y", "Cd.z"}));
    GA_PrimitiveGroup *smoke = out.findPrimitiveGroup("smoke");
    ASSERT_TRUE(smoke);
    EXPECT_EQ(smoke->entries(), 4);
    GU_PrimVolume *density = findVolume(out, "density");
    EXPECT_EQ(primString(out, "dopobject", density), "/obj/plumeweave:0");
    int rx, ry, rz;
    density->getRes(rx, ry, rz);
    EXPECT_EQ(rx * ry * rz, 1000);
    // Box of a single point, grown by 1: centre at the point, half extent 1.
    UT_Vector3 corner;
    density->indexToPos(0, 0, 0, corner);
    EXPECT_FLOAT_EQ(corner.x(), 1 - 0.9f);
    EXPECT_GT(volumeSum(density), 0);
    EXPECT_EQ(volumeSum(findVolume(out, "Cd.x")), 0);
    // The input point and one anchor point per volume remain.
    EXPECT_EQ(out.getNumPoints(), 5);
}

TEST(Plumeweave, SingleChildAtVoxelCentreAddsDensityTimesMultOnly)
{
    Cook c("plumeweave");
    singleChildScene(c, 2.0f, 0.5f);
    c.set("densitymult", 1.5);
    c.cook();
    GU_PrimVolume *density = findVolume(c.output(), "density");
    EXPECT_EQ(density->getValueAtIndex(4, 4, 4), 3.0);
    EXPECT_EQ(nonZeroCount(density), 1);
}

TEST(Plumeweave, ChildrenWalkAlongTheNoiseByIndexAndOffset)
{
    // pnoise(0.25, 0, 0) = 75/512 and pnoise is 0 on the lattice, so a child
    // whose noise coordinate is (0.25, 0, 0) moves by 8 * 75/512 = 1.171875
    // along x: to x = 1.671875, 0.171875 from the centre of voxel 5, where
    // it adds (0.5 - 0.171875) / 0.5 = 0.65625. Child 0 of a zero offset
    // stays on its point (voxel 4 gains 1).
    struct Walk
    {
        float freq, offset;
        double atPoint, displaced;
    };
    for (Walk w : {Walk{0.25f, 0.0f, 1.0, 0.65625}, Walk{0.0f, 0.25f, 0.0, 2 * 0.65625}})
    {
        Cook c("plumeweave");
        singleChildScene(c, 1.0f, 0.5f);
        c.set("childrencount", 2);
        c.set("noiseamp", 8);
        c.set3("noisefreq", w.freq, 0, 0);
        setPointAttrib(c.input(0), 0, "noiseoffset", {w.offset, 0, 0});
        c.cook();
        GU_PrimVolume *density = findVolume(c.output(), "density");
        EXPECT_EQ(density->getValueAtIndex(4, 4, 4), w.atPoint) << w.freq;
        EXPECT_EQ(density->getValueAtIndex(5, 4, 4), w.displaced) << w.freq;
        EXPECT_EQ(nonZeroCount(density), w.atPoint > 0 ? 2 : 1) << w.freq;
    }
}

TEST(Plumeweave, CoincidentPointsAccumulateAndNegativeDensityDepositsNothing)
{
    Cook c("plumeweave");
    singleChildScene(c, 1.0f, 0.5f);
    GU_Detail &in = c.input(0);
    GA_Offset twin = addPoint(in, UT_Vector3(0.5f, 0.5f, 0.5f));
    setPointAttrib(in, twin, "density", {1});
    setPointAttrib(in, twin, "pscale", {0.5f});
    GA_Offset negative = addPoint(in, UT_Vector3(-2.5f, -2.5f, -2.5f));
    setPointAttrib(in, negative, "density", {-4});
    setPointAttrib(in, negative, "pscale", {0.5f});
    c.cook();
    GU_PrimVolume *density = findVolume(c.output(), "density");
    EXPECT_EQ(density->getValueAtIndex(4, 4, 4), 2.0);
    EXPECT_EQ(nonZeroCount(density), 1);
}

TEST(Plumeweave, FeatherCoversTheSphereDefaultOnlyTheBlock)
{
    for (int feather = 0; feather <= 1; ++feather)
    {
        Cook c("plumeweave");
        singleChildScene(c, 1.0f, 3.0f); // radius: 3 voxels
        c.set("feather", feather);
        c.cook();
        GU_PrimVolume *density = findVolume(c.output(), "density");
        if (feather)
        {
            EXPECT_GT(nonZeroCount(density), 27);
            EXPECT_GT(density->getValueAtIndex(6, 4, 4), 0);
        }
        else
        {
            EXPECT_EQ(nonZeroCount(density), 27);
            EXPECT_EQ(density->getValueAtIndex(6, 4, 4), 0);
        }
        EXPECT_EQ(density->getValueAtIndex(4, 4, 4), 1.0);
    }
}

TEST(Plumeweave, InterruptLeavesPartialResultAndAllVolumes)
{
    Cook full("plumeweave"), cut("plumeweave");
    for (Cook *c : {&full, &cut})
    {
        GU_Detail &in = c->input(0);
        for (int i = 0; i < 3; ++i)
        {
            GA_Offset pt = addPoint(in, UT_Vector3(float(i), 0, 0));
            setPointAttrib(in, pt, "density", {1});
            setPointAttrib(in, pt, "pscale", {0.3f});
        }
    }
    full.cook();
    UTgetInterrupt()->requestInterrupt();
    cut.cook();
    UTgetInterrupt()->clearInterrupt();
    EXPECT_EQ(volumeNames(cut.output()).size(), 4u);
    double all = volumeSum(findVolume(full.output(), "density"));
    double partial = volumeSum(findVolume(cut.output(), "density"));
    EXPECT_GT(partial, 0);
    EXPECT_LT(partial, all);
}

TEST(Plumeweave, RemovesInputPolygonsAndTheirPoints)
{
    Cook c("plumeweave");
    GU_Detail &in = c.input(0);
    std::vector<GA_Offset> quad;
    for (int i = 0; i < 4; ++i) quad.push_back(addPoint(in, UT_Vector3(float(i & 1), float(i >> 1), 0)));
    GEO_PrimPoly::build(&in, quad, true);
    addPoint(in, UT_Vector3(4, 4, 4)); // a free point survives
    c.cook();
    const GU_Detail &out = c.output();
    EXPECT_EQ(out.getNumPrimitives(), 4);
    EXPECT_EQ(out.getNumPoints(), 1 + 4);
    EXPECT_EQ(out.getPos3(0), UT_Vector3(4, 4, 4));
    EXPECT_TRUE(dynamic_cast<GU_PrimVolume *>(out.getPrimitive(0)));
}
