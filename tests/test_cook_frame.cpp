// SPDX-License-Identifier: Apache-2.0
// The common cook: grid clamps, box and extension, second input, naming.
#include <gtest/gtest.h>
#include "TestHost.h"

using namespace testhost;

namespace
{
void expectBox(const GU_PrimVolume *vol, UT_Vector3 centre, UT_Vector3 half)
{
    UT_Matrix4 m = vol->getTransform4();
    for (int a = 0; a < 3; ++a)
    {
        EXPECT_FLOAT_EQ(m(a, a), half[a]) << "axis " << a;
        EXPECT_FLOAT_EQ(m(3, a), centre[a]) << "axis " << a;
    }
}

void res(const GU_PrimVolume *vol, int &x, int &y, int &z) { vol->getRes(x, y, z); }
} // namespace

TEST(CookFrame, DivisionsClampToTwoAndNegativeCountsToo)
{
    Cook c("plumeweave");
    addPoint(c.input(0), UT_Vector3(0, 0, 0));
    c.set3("divs", 0, 1, 5);
    c.cook();
    int x, y, z;
    res(findVolume(c.output(), "density"), x, y, z);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 2);
    EXPECT_EQ(z, 5);
    c.set3("divs", -7, 3, -1);
    c.cook();
    res(findVolume(c.output(), "Cd.z"), x, y, z);
    EXPECT_EQ(x, 2);
    EXPECT_EQ(y, 3);
    EXPECT_EQ(z, 2);
}

TEST(CookFrame, PointBoxGrowsByExtensionSecondInputDoesNot)
{
    Cook c("plumeweave");
    addPoint(c.input(0), UT_Vector3(0, 0, 0));
    addPoint(c.input(0), UT_Vector3(4, 4, 4));
    c.cook();
    expectBox(findVolume(c.output(), "density"), UT_Vector3(2, 2, 2), UT_Vector3(3, 3, 3));
    int x, y, z;
    res(findVolume(c.output(), "density"), x, y, z);
    EXPECT_EQ(x * y * z, 1000);

    c.set3("extendbounds", 0.5, 0, 2);
    addPoint(c.input(1), UT_Vector3(-1, -2, -3));
    addPoint(c.input(1), UT_Vector3(1, 2, 3));
    c.cook();
    expectBox(findVolume(c.output(), "density"), UT_Vector3(0, 0, 0), UT_Vector3(1, 2, 3));
}

TEST(CookFrame, EmptyInputStillBuildsVolumes)
{
    Cook c("plumeweave");
    c.cook();
    EXPECT_EQ(volumeNames(c.output()).size(), 4u);
    GU_PrimVolume *density = findVolume(c.output(), "density");
    expectBox(density, UT_Vector3(0, 0, 0), UT_Vector3(1, 1, 1));
    EXPECT_EQ(volumeSum(density), 0);
}

TEST(CookFrame, VolumesCarryNameDopobjectGroupAndVariables)
{
    Cook c("plumeweave");
    addPoint(c.input(0), UT_Vector3(0, 0, 0));
    c.cook();
    const GU_Detail &out = c.output();
    EXPECT_TRUE(dynamic_cast<GU_PrimVolume *>(out.getPrimitive(0)));
    EXPECT_EQ(primString(out, "name", out.getPrimitive(0)), "density");
    GA_PrimitiveGroup *smoke = out.findPrimitiveGroup("smoke");
    ASSERT_TRUE(smoke);
    for (GA_Offset i = 0; i < out.getNumPrimitives(); ++i)
    {
        EXPECT_TRUE(smoke->contains(out.getPrimitive(i)));
        EXPECT_EQ(primString(out, "dopobject", out.getPrimitive(i)), "/obj/plumeweave:0");
    }
    EXPECT_EQ(out.variableNames().at("name"), "name");
    EXPECT_EQ(out.variableNames().at("DOPOBJECT"), "dopobject");
    // Cooking again starts from scratch.
    c.cook();
    EXPECT_EQ(out.getNumPrimitives(), 4);
}

TEST(CookFrame, EditedInputIsSeenByTheNextCook)
{
    Cook c("plumeweave");
    addPoint(c.input(0), UT_Vector3(0, 0, 0));
    addPoint(c.input(0), UT_Vector3(2, 2, 2));
    c.cook();
    expectBox(findVolume(c.output(), "density"), UT_Vector3(1, 1, 1), UT_Vector3(2, 2, 2));
    addPoint(c.input(0), UT_Vector3(4, 4, 4));
    c.cook();
    expectBox(findVolume(c.output(), "density"), UT_Vector3(2, 2, 2), UT_Vector3(3, 3, 3));
    EXPECT_EQ(c.output().getNumPoints(), 3 + 4);
}
