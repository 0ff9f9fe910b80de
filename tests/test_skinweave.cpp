// SPDX-License-Identifier: Apache-2.0
// skinweave, skinweaveMT and the camera-frustum density volume, cooked
// through the plug-in loader.
#include <gtest/gtest.h>
#include <cmath>
#include "GEO/GEO_PrimPoly.h"
#include "OBJ/OBJ_Camera.h"
#include "OP/OP_Director.h"
#include "TestHost.h"
#include "UT/UT_Interrupt.h"
#include "UT/UT_ThreadedAlgorithm.h"

using namespace testhost;

namespace
{
// Corner points with the given positions and one density, radius 1.
std::vector<GA_Offset> addCorners(GU_Detail &gdp, const std::vector<UT_Vector3> &positions, float density = 1)
{
    std::vector<GA_Offset> pts;
    for (const UT_Vector3 &p : positions)
    {
        GA_Offset pt = addPoint(gdp, p);
        setPointAttrib(gdp, pt, "density", {density});
        setPointAttrib(gdp, pt, "pscale", {1});
        pts.push_back(pt);
    }
    return pts;
}

// A square quad in the plane z = z0 from (x0, y0) with side `side`, in ring order.
std::vector<GA_Offset> addQuad(GU_Detail &gdp, float x0, float y0, float z0, float side, float density = 1)
{
    auto pts = addCorners(gdp,
                          {{x0, y0, z0}, {x0 + side, y0, z0}, {x0 + side, y0 + side, z0}, {x0, y0 + side, z0}},
                          density);
    GEO_PrimPoly::build(&gdp, pts, true);
    return pts;
}

// Unit voxels over [0, 8] x [0, 8] x [-1, 1] (8 x 8 x 2) given by input 1, no
// noise, each child touching only the voxel it lies in.
void unitGridScene(Cook &c)
{
    GU_Detail &box = c.input(1);
    addPoint(box, UT_Vector3(0, 0, -1));
    addPoint(box, UT_Vector3(8, 8, 1));
    c.set3("divs", 8, 8, 2);
    c.set3("noiseamp", 0, 0, 0);
    c.set("extendvoxels", 0);
}

struct Voxel
{
    int i, j, k;
    float value;
};

std::vector<Voxel> nonZeroVoxels(const GU_PrimVolume *vol)
{
    std::vector<Voxel> out;
    int rx, ry, rz;
    vol->getRes(rx, ry, rz);
    for (int k = 0; k < rz; ++k)
        for (int j = 0; j < ry; ++j)
            for (int i = 0; i < rx; ++i)
                if (float v = float(vol->getValueAtIndex(i, j, k))) out.push_back({i, j, k, v});
    return out;
}

// Sets the default thread count for the life of the object.
struct ThreadCount
{
    int saved = UT_ThreadedAlgorithm::getDefaultThreadCount();
    explicit ThreadCount(int n) { UT_ThreadedAlgorithm::setDefaultThreadCount(n); }
    ~ThreadCount() { UT_ThreadedAlgorithm::setDefaultThreadCount(saved); }
};

// A camera registered at path for the life of the object.
struct Camera
{
    OBJ_Camera cam{"cam1"};
    explicit Camera(float resX, float resY, float focal, float aperture, float nearClip, float farClip)
    {
        cam.setFloat("res", 0, resX);
        cam.setFloat("res", 1, resY);
        cam.setFloat("focal", 0, focal);
        cam.setFloat("aperture", 0, aperture);
        cam.setFloat("near", 0, nearClip);
        cam.setFloat("far", 0, farClip);
        OPgetDirector()->registerNode("/obj/cam1", &cam);
    }
    ~Camera() { OPgetDirector()->unregisterNode(&cam); }
};

const char *const bothOperators[] = {"skinweave", "skinweaveMT"};
} // namespace

TEST(Skinweave, DefaultQuadGivesOneDensityOverTheGrownBoxAndRemovesTheQuad)
{
    for (const char *name : bothOperators)
    {
        SCOPED_TRACE(name);
        Cook c(name);
        addQuad(c.input(0), 1, 2, 3, 2);
        EXPECT_EQ(c.cook(), UT_ERROR_NONE);
        const GU_Detail &out = c.output();
        EXPECT_EQ(volumeNames(out), std::vector<std::string>{"density"});
        EXPECT_EQ(out.getNumPrimitives(), 1);
        EXPECT_EQ(out.getNumPoints(), 1); // the volume's anchor only
        GU_PrimVolume *density = findVolume(out, "density");
        EXPECT_EQ(primString(out, "dopobject", density),
                  std::string(name) == "skinweave" ? "/obj/skinweave:0" : "/obj/plumeweave:0");
        EXPECT_EQ(out.findPrimitiveGroup("smoke")->entries(), 1);
        int rx, ry, rz;
        density->getRes(rx, ry, rz);
        EXPECT_EQ(rx * 100 + ry * 10 + rz, 1110);
        // Box (1..3, 2..4, 3..3) grown by 1: half extents (2, 2, 1) about (2, 3, 3).
        UT_Vector3 first, last;
        density->indexToPos(0, 0, 0, first);
        density->indexToPos(9, 9, 9, last);
        EXPECT_FLOAT_EQ(first.x(), 0.2f);
        EXPECT_FLOAT_EQ(last.y(), 4.8f);
        EXPECT_FLOAT_EQ(first.z(), 2.1f);
        EXPECT_GT(volumeSum(density), 0);
        // The flat box has zero depth, so the feather reach in z is unbounded:
        // it spans the whole axis rather than overflowing.
        c.set("feather", 1);
        c.cook();
        double sum = volumeSum(findVolume(c.output(), "density"));
        EXPECT_TRUE(std::isfinite(sum) && sum > 0);
    }
}

TEST(Skinweave, ChildrenGridIsCeilSqrtSquaredFromCornerZero)
{
    // Children at voxel centres 0.5 .. 7.5: each lands in its own voxel at weight 1.
    const int counts[] = {1, 0, -3, 50, 64};
    const int expected[] = {1, 0, 0, 64, 64};
    for (int n = 0; n < 5; ++n)
    {
        Cook c("skinweave");
        unitGridScene(c);
        addQuad(c.input(0), 0.5f, 0.5f, -0.5f, 8, 2);
        c.set("childrencount", counts[n]);
        c.set("densitymult", 1.5);
        c.cook();
        auto voxels = nonZeroVoxels(findVolume(c.output(), "density"));
        ASSERT_EQ(int(voxels.size()), expected[n]) << counts[n];
        for (const Voxel &v : voxels) EXPECT_EQ(v.value, 3.0f);
        if (counts[n] == 1)
        {
            EXPECT_EQ(voxels[0].i + voxels[0].j + voxels[0].k, 0);
        }
    }
}

TEST(Skinweave, NonQuadsAreReportedAndSkippedWhileTheirNeighboursFill)
{
    for (const char *name : bothOperators)
    {
        SCOPED_TRACE(name);
        Cook c(name);
        unitGridScene(c);
        c.set("childrencount", 1);
        GU_Detail &in = c.input(0);
        addQuad(in, 0.5f, 0.5f, -0.5f, 1);
        GEO_PrimPoly::build(&in, addCorners(in, {{2.5f, 2.5f, -0.5f}, {3, 2.5f, -0.5f}, {3, 3, -0.5f}}), true);
        addQuad(in, 4.5f, 0.5f, -0.5f, 1);
        GEO_PrimPoly::build(&in,
                            addCorners(in, {{6.5f, 6.5f, -0.5f}, {7, 6.5f, -0.5f}, {7, 7, -0.5f}, {6.7f, 7.2f, -0.5f},
                                            {6.5f, 7, -0.5f}}),
                            true);
        addQuad(in, 0.5f, 6.5f, -0.5f, 1);
        testing::internal::CaptureStdout();
        c.cook();
        EXPECT_EQ(testing::internal::GetCapturedStdout(),
                  "WARNING: Skipping non quad primitive no. 1\nWARNING: Skipping non quad primitive no. 3\n");
        auto voxels = nonZeroVoxels(findVolume(c.output(), "density"));
        ASSERT_EQ(voxels.size(), 3u);
        EXPECT_EQ(voxels[0].i * 10 + voxels[0].j, 0);
        EXPECT_EQ(voxels[1].i * 10 + voxels[1].j, 40);
        EXPECT_EQ(voxels[2].i * 10 + voxels[2].j, 6);
        EXPECT_EQ(c.output().getNumPrimitives(), 1);
    }
}

// One child on corner 0 at the origin, normal (0, 0, 8), steps of 8 along x
// (u) and y (v); noise offset (0.25, 0, 0), no uv and no octaves, so the
// noise is pnoise(0.25, 0, 0) = 0.146484375 and the push is 1.171875.
// Voxels of 0.5 over [-4, 4]^3.
static std::vector<Voxel> pushedChild(int feather, float ax, float ay, float az, int extendVoxels = 0)
{
    Cook c("skinweave");
    GU_Detail &in = c.input(0);
    auto pts = addCorners(in, {{0, 0, 0}, {8, 0, 0}, {8, 8, 0}, {0, 8, 0}});
    for (GA_Offset pt : pts)
    {
        setPointAttrib(in, pt, "N", {0, 0, 8});
        setPointAttrib(in, pt, "noiseoffset", {0.25f, 0, 0});
        setPointAttrib(in, pt, "pscale", {0.5f});
    }
    GEO_PrimPoly::build(&in, pts, true);
    GU_Detail &box = c.input(1);
    addPoint(box, UT_Vector3(-4, -4, -4));
    addPoint(box, UT_Vector3(4, 4, 4));
    c.set3("divs", 16, 16, 16);
    c.set("childrencount", 1);
    c.set("noiseoctaves", 0);
    c.set("extendvoxels", extendVoxels);
    c.set("feather", feather);
    c.set3("noiseamp", ax, ay, az);
    c.cook();
    return nonZeroVoxels(findVolume(c.output(), "density"));
}

TEST(Skinweave, FeatherPushesAlongUNormalVWhileTheCubeScalesWorldAxes)
{
    // Pushed 1.171875 along one axis from the origin: index 8 becomes 10.
    auto cube = [](float ax, float ay, float az) {
        auto v = pushedChild(0, ax, ay, az);
        EXPECT_EQ(v.size(), 1u);
        return v.empty() ? -1 : v[0].i * 100 + v[0].j * 10 + v[0].k;
    };
    EXPECT_EQ(cube(0, 0, 0), 888);
    EXPECT_EQ(cube(1, 0, 0), 1088);
    EXPECT_EQ(cube(0, 1, 0), 8 * 100 + 10 * 10 + 8);
    EXPECT_EQ(cube(0, 0, 1), 8 * 100 + 8 * 10 + 10);
    // Extend voxels 1 visits the 27 voxels around it; the child sits on a
    // voxel corner and only the 8 voxels sharing it lie within its radius.
    EXPECT_EQ(pushedChild(0, 0, 0, 0, 1).size(), 8u);

    // Feather: the four voxels nearest the pushed child, all one layer of the
    // push's axis.
    auto sphereAxis = [](float ax, float ay, float az) {
        auto v = pushedChild(1, ax, ay, az);
        EXPECT_EQ(v.size(), 4u);
        int layer[3] = {0, 0, 0};
        for (const Voxel &x : v) layer[0] += x.i == 10, layer[1] += x.j == 10, layer[2] += x.k == 10;
        return layer[0] == 4 ? 0 : layer[1] == 4 ? 1 : layer[2] == 4 ? 2 : -1;
    };
    EXPECT_EQ(sphereAxis(1, 0, 0), 0); // along dU
    EXPECT_EQ(sphereAxis(0, 1, 0), 2); // along the normal
    EXPECT_EQ(sphereAxis(0, 0, 1), 1); // along dV
}

TEST(Skinweave, ReverseOrderExchangesPositionsOfCorners2And3Only)
{
    for (const char *name : bothOperators)
        for (int reverse : {0, 1})
        {
            SCOPED_TRACE(testing::Message() << name << " reverse " << reverse);
            Cook c(name);
            unitGridScene(c);
            GU_Detail &in = c.input(0);
            // Vertices run 0, 1, 3, 2 around the square.
            auto pts = addCorners(in, {{0.5f, 0.5f, -0.5f}, {8.5f, 0.5f, -0.5f}, {0.5f, 8.5f, -0.5f}, {8.5f, 8.5f, -0.5f}});
            const float densities[4] = {1, 1, 5, 9};
            for (int k = 0; k < 4; ++k) setPointAttrib(in, pts[k], "density", {densities[k]});
            GEO_PrimPoly::build(&in, pts, true);
            c.set("childrencount", 64);
            c.set("reverseprimorder", reverse);
            c.cook();
            GU_PrimVolume *density = findVolume(c.output(), "density");
            if (!reverse)
            {
                // Twisted into a bow-tie: children pile up near the crossing.
                EXPECT_LT(nonZeroCount(density), 64);
                continue;
            }
            EXPECT_EQ(nonZeroCount(density), 64);
            // Child (0, 7) sits at corner 0 + 7/8 (corner 3 - corner 0) = voxel
            // (0, 7), but its density runs from vertex 0's 1 to vertex 3's 9.
            EXPECT_EQ(density->getValueAtIndex(0, 7, 0), 8.0);
        }
}

TEST(Skinweave, ChildrenOutsideTheGridClampInFeatherAndSkipInTheCube)
{
    for (const char *name : bothOperators)
        for (int feather : {0, 1})
        {
            SCOPED_TRACE(name);
            Cook c(name);
            unitGridScene(c);
            c.set3("divs", 8, 8, 8);
            c.set("extendvoxels", 1);
            c.set("feather", feather);
            c.set("childrencount", 1);
            GU_Detail &in = c.input(0);
            GU_Detail &box = c.input(1);
            box.setPos3(0, UT_Vector3(0, 0, 0));
            box.setPos3(1, UT_Vector3(8, 8, 8));
            auto pts = addQuad(in, -1.3f, 4.5f, 4.5f, 1);
            for (GA_Offset pt : pts) setPointAttrib(in, pt, "pscale", {2});
            c.cook();
            GU_PrimVolume *density = findVolume(c.output(), "density");
            if (feather)
            {
                // Clamped to x = 0; the border voxel (0, 4, 4) is 1.8 away.
                EXPECT_NEAR(density->getValueAtIndex(0, 4, 4), 0.1, 1e-6);
                EXPECT_GT(nonZeroCount(density), 0);
            }
            else
                EXPECT_EQ(nonZeroCount(density), 0);
        }
}

TEST(Skinweave, DensityAddsColourKeepsTheMaximumVelocityHalves)
{
    for (const char *name : bothOperators)
    {
        SCOPED_TRACE(name);
        Cook c(name);
        unitGridScene(c);
        c.set("childrencount", 1);
        c.set("docolor", 1);
        c.set("dovelocity", 1);
        GU_Detail &in = c.input(0);
        // Two one-child quads whose corner 0 lies in voxel (2, 2, 0).
        auto a = addQuad(in, 2.5f, 2.5f, -0.5f, 1, 0.5f);
        auto b = addQuad(in, 2.5f, 2.5f, -0.5f, 1, 1.0f);
        setPointAttrib(in, a[0], "Cd", {1, 0.25f, 0});
        setPointAttrib(in, b[0], "Cd", {0.5f, 0.5f, 0});
        setPointAttrib(in, a[0], "v", {4, -2, 0});
        setPointAttrib(in, b[0], "v", {1, 1, 0});
        c.cook();
        const GU_Detail &out = c.output();
        EXPECT_EQ(volumeNames(out),
                  (std::vector<std::string>{"density", "vel.x", "vel.y", "vel.z", "Cd.x", "Cd.y", "Cd.z"}));
        auto at = [&](const char *field) { return findVolume(out, field)->getValueAtIndex(2, 2, 0); };
        EXPECT_EQ(at("density"), 1.5);
        EXPECT_EQ(at("Cd.x"), 0.5);  // max(0.5 * 1, 1 * 0.5)
        EXPECT_EQ(at("Cd.y"), 0.5);  // max(0.5 * 0.25, 1 * 0.5)
        EXPECT_EQ(at("vel.x"), 1.5); // ((0 + 4) / 2 + 1) / 2
        EXPECT_EQ(at("vel.y"), 0.0); // ((0 - 2) / 2 + 1) / 2
        EXPECT_EQ(nonZeroCount(findVolume(out, "vel.x")), 1);
    }
}

TEST(Skinweave, ZeroRadiusAtAVoxelCentreWritesNoNaN)
{
    Cook c("skinweave");
    unitGridScene(c);
    c.set("childrencount", 1);
    c.set("dovelocity", 1);
    GU_Detail &in = c.input(0);
    auto pts = addQuad(in, 2.5f, 2.5f, -0.5f, 1);
    for (GA_Offset pt : pts)
    {
        setPointAttrib(in, pt, "pscale", {0});
        setPointAttrib(in, pt, "v", {2, 0, 0});
    }
    c.cook();
    EXPECT_EQ(findVolume(c.output(), "density")->getValueAtIndex(2, 2, 0), 0.0);
    EXPECT_EQ(findVolume(c.output(), "vel.x")->getValueAtIndex(2, 2, 0), 1.0);
}

TEST(Skinweave, InterruptSkipsTheRestOfEachRowOrTheRemainingQuads)
{
    UTgetInterrupt()->requestInterrupt();
    {
        Cook c("skinweave");
        unitGridScene(c);
        addQuad(c.input(0), 0.5f, 0.5f, -0.5f, 8);
        c.set("childrencount", 64);
        c.cook();
        // Each of the 8 rows splats its first child, then polls.
        EXPECT_EQ(nonZeroCount(findVolume(c.output(), "density")), 8);
    }
    {
        Cook c("skinweaveMT");
        unitGridScene(c);
        addQuad(c.input(0), 0.5f, 0.5f, -0.5f, 4);
        addQuad(c.input(0), 4.5f, 4.5f, -0.5f, 4);
        c.set("childrencount", 16);
        c.cook();
        // The first quad is whole, the second never starts.
        EXPECT_EQ(nonZeroCount(findVolume(c.output(), "density")), 16);
    }
    UTgetInterrupt()->clearInterrupt();
}

// A noisy scene of four quads with colour, velocity and varying radii.
static void noisyScene(Cook &c, int feather)
{
    GU_Detail &in = c.input(0);
    for (int q = 0; q < 4; ++q)
    {
        auto pts = addQuad(in, float(q) * 1.5f, float(q % 2), 0.3f * float(q), 2.5f, 0.5f + 0.25f * float(q));
        for (int k = 0; k < 4; ++k)
        {
            float s = float(q * 4 + k);
            setPointAttrib(in, pts[k], "pscale", {0.2f + 0.05f * s});
            setPointAttrib(in, pts[k], "uv", {0.1f * s, 0.3f * s, 0});
            setPointAttrib(in, pts[k], "N", {0.1f, 0.2f, 1});
            setPointAttrib(in, pts[k], "Cd", {0.1f * float(k), 1, 0.5f});
            setPointAttrib(in, pts[k], "v", {s, -s, 1});
        }
    }
    c.set3("divs", 24, 20, 16);
    c.set("childrencount", 30);
    c.set("noiseoctaves", 3);
    c.set("docolor", 1);
    c.set("dovelocity", 1);
    c.set("feather", feather);
    c.set("extendvoxels", 2);
}

TEST(SkinweaveMT, MatchesSkinweaveForOneAndSeveralThreads)
{
    const char *fields[] = {"density", "vel.x", "vel.y", "vel.z", "Cd.x", "Cd.y", "Cd.z"};
    for (int feather : {0, 1})
    {
        Cook single("skinweave");
        noisyScene(single, feather);
        single.cook();
        for (int threads : {1, 3})
        {
            SCOPED_TRACE(testing::Message() << "feather " << feather << " threads " << threads);
            ThreadCount count(threads);
            Cook twin("skinweaveMT");
            noisyScene(twin, feather);
            twin.cook();
            for (const char *field : fields)
            {
                const GU_PrimVolume *a = findVolume(single.output(), field);
                const GU_PrimVolume *b = findVolume(twin.output(), field);
                bool velocity = field[0] == 'v';
                // One job makes the same updates in the same order; several
                // jobs may add in another order, and blend velocity differently.
                if (velocity && threads > 1) continue;
                int mismatches = 0;
                for (int k = 0; k < 16; ++k)
                    for (int j = 0; j < 20; ++j)
                        for (int i = 0; i < 24; ++i)
                        {
                            double x = a->getValueAtIndex(i, j, k), y = b->getValueAtIndex(i, j, k);
                            bool same = threads == 1 ? x == y : std::fabs(x - y) <= 1e-5 * std::fabs(x) + 1e-6;
                            mismatches += !same;
                        }
                EXPECT_EQ(mismatches, 0) << field;
            }
            EXPECT_GT(volumeSum(findVolume(twin.output(), "density")), 0);
        }
    }
}

TEST(SkinweaveFrustum, CameraPlacesAndTapersTheDensityOnly)
{
    const UT_Vector3 placements[] = {{0, 0, 0}, {1, 2, 3}};
    for (const char *name : bothOperators)
        for (const UT_Vector3 &o : placements)
        {
            SCOPED_TRACE(testing::Message() << name << " camera at " << o.x() << " " << o.y() << " " << o.z());
            Camera camera(1000, 500, 50, 40, 1, 11);
            UT_DMatrix4 world;
            world.translate(o.x(), o.y(), o.z());
            camera.cam.setWorldTransform(world);
            Cook c(name);
            addQuad(c.input(0), o.x() - 0.5f, o.y() - 0.5f, o.z() - 6, 1); // facing the camera at depth 6
            c.set("usecamfrustum", 1);
            c.set("docolor", 1);
            testing::internal::CaptureStdout();
            c.cook();
            EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nNode found: cam1");
            GU_PrimVolume *density = findVolume(c.output(), "density");
            EXPECT_EQ(density->getCenter(), o + UT_Vector3(0, 0, -6));
            EXPECT_FLOAT_EQ(density->getTransform()(0, 0), 0.4f);
            EXPECT_FLOAT_EQ(density->getTransform()(1, 1), 0.2f);
            EXPECT_FLOAT_EQ(density->getTransform()(2, 2), 5.0f);
            EXPECT_EQ(density->getTaperX(), 11.0);
            EXPECT_EQ(density->getTaperY(), 11.0);
            // Every voxel centre lies on the camera ray through its canonical
            // x and y, between depths 10.5 (far side) and 1.5 (near side).
            for (int k : {0, 4, 9})
                for (int i : {0, 3, 9})
                {
                    UT_Vector3 p;
                    density->indexToPos(i, 9 - i, k, p);
                    UT_Vector3 q = p - o;
                    float cx = (float(i) + 0.5f) / 10 * 2 - 1, cy = (float(9 - i) + 0.5f) / 10 * 2 - 1;
                    EXPECT_NEAR(q.x() / -q.z(), 0.4f * cx, 1e-6);
                    EXPECT_NEAR(q.y() / -q.z(), 0.2f * cy, 1e-6);
                    EXPECT_NEAR(-q.z(), 10.5f - float(k), 1e-5);
                    int ii, jj, kk;
                    EXPECT_TRUE(density->posToIndex(p, ii, jj, kk));
                    EXPECT_EQ(ii * 100 + jj * 10 + kk, i * 100 + (9 - i) * 10 + k);
                }
            EXPECT_GT(volumeSum(density), 0);
            // Colour keeps the box: the quad's bounds grown by 1.
            GU_PrimVolume *colour = findVolume(c.output(), "Cd.x");
            EXPECT_EQ(colour->getCenter(), o + UT_Vector3(0, 0, -6));
            EXPECT_FLOAT_EQ(colour->getTransform()(0, 0), 1.5f);
            EXPECT_EQ(colour->getTaperX(), 1.0);
        }
}

TEST(SkinweaveFrustum, MissingOrUnusableCameraLeavesTheDensityAsBuilt)
{
    for (int usable : {0, 1})
    {
        SCOPED_TRACE(usable);
        std::unique_ptr<Camera> camera;
        if (usable) camera.reset(new Camera(1000, 500, 0, 40, 1, 11)); // focal 0
        Cook c("skinweave");
        addQuad(c.input(0), 3, 3, 3, 1);
        c.set("usecamfrustum", 1);
        c.set("campath", usable ? "/obj/cam1" : "/obj/nocam");
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        c.cook();
        std::string out = testing::internal::GetCapturedStdout();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(out, usable ? "\nNode found: cam1" : "");
        EXPECT_EQ(err.empty(), !usable);
        GU_PrimVolume *density = findVolume(c.output(), "density");
        EXPECT_EQ(density->getCenter(), UT_Vector3(0, 0, 0));
        EXPECT_EQ(density->getTransform()(0, 0), 1.0f);
        EXPECT_EQ(density->getTaperX(), 1.0);
        int rx, ry, rz;
        density->getRes(rx, ry, rz);
        EXPECT_EQ(rx, 10);
    }
}
