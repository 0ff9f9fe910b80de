// SPDX-License-Identifier: Apache-2.0
// slabreel cooked through the plug-in loader on GIFs written here.
#include <gtest/gtest.h>
#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>
#include <Magick++.h>
#include "TestHost.h"

using namespace testhost;

namespace
{
const char *const fieldNames[4] = {"density", "Cd.x", "Cd.y", "Cd.z"};

std::string tempPath(const std::string &stem)
{
    return ::testing::TempDir() + "slabreel_" + std::to_string(getpid()) + "_" + stem;
}

// 8-bit channel values of pixel (column x, picture row) of frame k of the
// 3-frame 4 x 2 test animation; every pixel of every frame differs.
struct Rgb8
{
    int r, g, b;
};
Rgb8 animPixel(int k, int row, int x)
{
    int v = 10 * (k * 8 + row * 4 + x);
    return {v, 255 - v, 50 * k};
}

Magick::Color colour8(const Rgb8 &c)
{
    return Magick::Color(Magick::Quantum(c.r * 257), Magick::Quantum(c.g * 257), Magick::Quantum(c.b * 257));
}

void writeGif(const std::string &path, const std::vector<std::vector<std::vector<Rgb8>>> &frames)
{
    Magick::InitializeMagick(nullptr);
    std::vector<Magick::Image> images;
    for (const auto &rows : frames)
    {
        Magick::Image img(Magick::Geometry(rows[0].size(), rows.size()), Magick::Color("black"));
        img.magick("GIF");
        for (size_t row = 0; row < rows.size(); ++row)
            for (size_t x = 0; x < rows[row].size(); ++x) img.pixelColor(x, row, colour8(rows[row][x]));
        images.push_back(img);
    }
    Magick::writeImages(images.begin(), images.end(), path, true);
}

// Removes the shared animation when the suite ends.
struct AnimCleanup : ::testing::Environment
{
    void TearDown() override { std::remove(tempPath("anim.gif").c_str()); }
};
::testing::Environment *const animCleanup = ::testing::AddGlobalTestEnvironment(new AnimCleanup);

const std::string &animGif()
{
    static const std::string path = [] {
        std::string p = tempPath("anim.gif");
        std::vector<std::vector<std::vector<Rgb8>>> frames(3);
        for (int k = 0; k < 3; ++k)
            for (int row = 0; row < 2; ++row)
            {
                frames[k].emplace_back();
                for (int x = 0; x < 4; ++x) frames[k][row].push_back(animPixel(k, row, x));
            }
        writeGif(p, frames);
        return p;
    }();
    return path;
}

void cookGif(Cook &c, const std::string &path, int offset = 0)
{
    c.set("giffile", path);
    c.set("offset", offset);
    c.cook();
}

// Slice z of the cooked animation holds frame k, picture row 1 - y at y.
void expectSliceHoldsFrame(const GU_Detail &out, int z, int k)
{
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
        {
            Rgb8 p = animPixel(k, 1 - y, x);
            double r = p.r / 255.0, g = p.g / 255.0, b = p.b / 255.0;
            SCOPED_TRACE("slice " + std::to_string(z) + " voxel " + std::to_string(x) + "," + std::to_string(y));
            EXPECT_EQ(findVolume(out, "density")->getValueAtIndex(x, y, z), float((r + g + b) / 3.0));
            EXPECT_EQ(findVolume(out, "Cd.x")->getValueAtIndex(x, y, z), float(r));
            EXPECT_EQ(findVolume(out, "Cd.y")->getValueAtIndex(x, y, z), float(g));
            EXPECT_EQ(findVolume(out, "Cd.z")->getValueAtIndex(x, y, z), float(b));
        }
}

void expectFourEmptyVolumes(const GU_Detail &out)
{
    EXPECT_EQ(volumeNames(out), (std::vector<std::string>{"density", "Cd.x", "Cd.y", "Cd.z"}));
    for (const char *name : fieldNames)
    {
        GU_PrimVolume *vol = findVolume(out, name);
        ASSERT_TRUE(vol);
        int rx, ry, rz;
        vol->getRes(rx, ry, rz);
        EXPECT_EQ(rx * ry * rz, 1);
        EXPECT_EQ(nonZeroCount(vol), 0);
    }
}
} // namespace

TEST(Slabreel, AnimationStacksFramesLastFirstWithBottomRowAtZero)
{
    Cook c("slabreel");
    cookGif(c, animGif());
    EXPECT_EQ(c.node().error(), UT_ERROR_NONE);
    const GU_Detail &out = c.output();
    EXPECT_EQ(volumeNames(out), (std::vector<std::string>{"density", "Cd.x", "Cd.y", "Cd.z"}));
    ASSERT_TRUE(out.findPrimitiveGroup("smoke"));
    EXPECT_EQ(out.findPrimitiveGroup("smoke")->entries(), 4);
    for (const char *name : fieldNames)
    {
        GU_PrimVolume *vol = findVolume(out, name);
        EXPECT_EQ(primString(out, "dopobject", vol), "/obj/slabreel:0");
        int rx, ry, rz;
        vol->getRes(rx, ry, rz);
        EXPECT_EQ(rx, 4);
        EXPECT_EQ(ry, 2);
        EXPECT_EQ(rz, 3);
        // Centred at the origin, spanning 1 in x and z and H/W = 0.5 in y.
        UT_Matrix4 m = vol->getTransform4();
        EXPECT_EQ(m(0, 0), 1.0f);
        EXPECT_EQ(m(1, 1), 0.5f);
        EXPECT_EQ(m(2, 2), 1.0f);
        EXPECT_EQ(vol->getCenter(), UT_Vector3(0, 0, 0));
    }
    for (int z = 0; z < 3; ++z) expectSliceHoldsFrame(out, z, 2 - z);
}

TEST(Slabreel, OffsetRotatesSlicesPlainlyInBothDirections)
{
    struct Case
    {
        int offset;
        int frameInSlice[3];
    };
    for (Case t : {Case{1, {0, 2, 1}}, Case{3, {2, 1, 0}}, Case{-3, {2, 1, 0}}, Case{-1, {1, 0, 2}},
                   Case{-7, {1, 0, 2}}})
    {
        SCOPED_TRACE("offset " + std::to_string(t.offset));
        Cook c("slabreel");
        cookGif(c, animGif(), t.offset);
        for (int z = 0; z < 3; ++z) expectSliceHoldsFrame(c.output(), z, t.frameInSlice[z]);
    }
}

TEST(Slabreel, RedAndWhitePixelsOfAStillImageFillOneSlice)
{
    std::string path = tempPath("still.gif");
    writeGif(path, {{{Rgb8{255, 0, 0}, Rgb8{255, 255, 255}}}});
    for (int offset : {0, 5, -2})
    {
        Cook c("slabreel");
        cookGif(c, path, offset);
        const GU_Detail &out = c.output();
        int rx, ry, rz;
        findVolume(out, "density")->getRes(rx, ry, rz);
        EXPECT_EQ(rz, 1);
        EXPECT_EQ(findVolume(out, "density")->getTransform4()(1, 1), 0.5f);
        EXPECT_EQ(findVolume(out, "density")->getValueAtIndex(0, 0, 0), float(1.0 / 3.0));
        EXPECT_EQ(findVolume(out, "Cd.x")->getValueAtIndex(0, 0, 0), 1.0f);
        EXPECT_EQ(findVolume(out, "Cd.y")->getValueAtIndex(0, 0, 0), 0.0f);
        EXPECT_EQ(findVolume(out, "Cd.z")->getValueAtIndex(0, 0, 0), 0.0f);
        for (const char *name : fieldNames) EXPECT_EQ(findVolume(out, name)->getValueAtIndex(1, 0, 0), 1.0f);
    }
    std::remove(path.c_str());
}

TEST(Slabreel, EmptyOrMissingPathLeavesFourEmptyVolumesSilently)
{
    for (std::string path : {std::string(), tempPath("missing.gif")})
    {
        Cook c("slabreel");
        cookGif(c, path);
        EXPECT_EQ(c.node().error(), UT_ERROR_NONE);
        EXPECT_TRUE(c.node().messages().empty());
        expectFourEmptyVolumes(c.output());
    }
}

TEST(Slabreel, UndecodableFileWarnsAndLeavesFourEmptyVolumes)
{
    std::ifstream whole(animGif(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(whole)), std::istreambuf_iterator<char>());
    std::string truncated = tempPath("truncated.gif"), text = tempPath("text.gif");
    std::ofstream(truncated, std::ios::binary) << bytes.substr(0, 20);
    std::ofstream(text) << "not a picture\n";
    for (const std::string &path : {truncated, text})
    {
        SCOPED_TRACE(path);
        Cook c("slabreel");
        cookGif(c, path);
        EXPECT_EQ(c.node().error(), UT_ERROR_WARNING);
        ASSERT_EQ(c.node().messages().size(), 1u);
        EXPECT_FALSE(c.node().messages()[0].text.empty());
        expectFourEmptyVolumes(c.output());
    }
    std::remove(truncated.c_str());
    std::remove(text.c_str());
}

TEST(Slabreel, RepeatedCooksGiveTheSameVolumes)
{
    Cook a("slabreel"), b("slabreel");
    for (int round = 0; round < 5; ++round)
    {
        cookGif(a, animGif(), round);
        cookGif(b, animGif(), round);
        EXPECT_EQ(a.node().error(), UT_ERROR_NONE);
        for (int z = 0; z < 3; ++z) expectSliceHoldsFrame(a.output(), (z + round) % 3, 2 - z);
        EXPECT_EQ(volumeNames(b.output()).size(), 4u);
        EXPECT_EQ(volumeSum(findVolume(a.output(), "density")), volumeSum(findVolume(b.output(), "density")));
    }
}
