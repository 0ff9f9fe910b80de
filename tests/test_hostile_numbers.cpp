// SPDX-License-Identifier: Apache-2.0
// Every volume operator cooked on input with non-finite numbers and absurd
// parameters: no crash, no hang, no write outside the grid (the sanitizer
// builds check that), and no NaN or infinity in a voxel when the bad value is
// one the operator's rules skip (a point or curve that lies nowhere).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "GEO/GEO_PrimPoly.h"
#include "OBJ/OBJ_Camera.h"
#include "OP/OP_Director.h"
#include "TestHost.h"

using namespace testhost;

namespace
{
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

// slabreel reads images, not numbers from geometry: left out.
const std::vector<std::string> kOperators = {
    "plumeweave", "plumeweave_velocity_stretch", "plumeweave_velocity_stretchMT", "billowfold", "billowfoldMT",
    "skinweave",  "skinweaveMT",                 "strandcast",                    "strandcastStraightMT"};

// The attributes some operator reads, with harmless values.
struct PointValues
{
    UT_Vector3 P;
    float density = 1, pscale = 0.3f;
    UT_Vector3 N{0, 1, 0}, up{0, 0, 1}, v{0.5f, 0, 0}, Cd{1, 0.5f, 0.25f}, noiseoffset{0, 0, 0}, uv{0.5f, 0.5f, 0};
};

// Four points in a closed quad and four more in an open curve, so point,
// quad and curve operators all find their kind of input.
std::vector<PointValues> basePoints()
{
    std::vector<PointValues> pts(8);
    const float quad[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 4; ++i)
    {
        pts[size_t(i)].P = UT_Vector3(quad[i][0], 0.2f, quad[i][1]);
        pts[size_t(i)].uv = UT_Vector3(quad[i][0], quad[i][1], 0);
        pts[size_t(4 + i)].P = UT_Vector3(0.25f * float(i), 0.5f + 0.1f * float(i), 0.5f);
    }
    return pts;
}

void buildScene(GU_Detail &gdp, const std::vector<PointValues> &pts)
{
    std::vector<GA_Offset> offs;
    for (const PointValues &p : pts)
    {
        GA_Offset o = addPoint(gdp, p.P);
        setPointAttrib(gdp, o, "density", {p.density});
        setPointAttrib(gdp, o, "pscale", {p.pscale});
        setPointAttrib(gdp, o, "N", {p.N.x(), p.N.y(), p.N.z()});
        setPointAttrib(gdp, o, "up", {p.up.x(), p.up.y(), p.up.z()});
        setPointAttrib(gdp, o, "v", {p.v.x(), p.v.y(), p.v.z()});
        setPointAttrib(gdp, o, "Cd", {p.Cd.x(), p.Cd.y(), p.Cd.z()});
        setPointAttrib(gdp, o, "noiseoffset", {p.noiseoffset.x(), p.noiseoffset.y(), p.noiseoffset.z()});
        setPointAttrib(gdp, o, "uv", {p.uv.x(), p.uv.y(), p.uv.z()});
        offs.push_back(o);
    }
    GEO_PrimPoly::build(&gdp, {offs[0], offs[1], offs[2], offs[3]}, true);
    GEO_PrimPoly::build(&gdp, {offs[4], offs[5], offs[6], offs[7]}, false);
}

// Operators differ in their parameters; one they lack is passed over.
template <typename... Args>
void trySet(Cook &c, const char *parm, Args... args)
{
    try
    {
        c.set(parm, args...);
    }
    catch (const std::exception &)
    {
    }
}

void trySet3(Cook &c, const char *parm, fpreal x, fpreal y, fpreal z)
{
    try
    {
        c.set3(parm, x, y, z);
    }
    catch (const std::exception &)
    {
    }
}

// Small grid, few children, colour, noise and velocity on where offered.
void smallSettings(Cook &c)
{
    trySet3(c, "divs", 8, 8, 8);
    trySet(c, "childrencount", fpreal(3));
    trySet(c, "docolor", fpreal(1));
    trySet(c, "donoise", fpreal(1));
    trySet(c, "dovelocity", fpreal(1));
    trySet(c, "feather", fpreal(1));
    trySet(c, "extendvoxels", fpreal(2));
}

int64_t nonFiniteVoxels(const GU_Detail &gdp)
{
    int64_t bad = 0;
    for (const std::string &name : volumeNames(gdp))
    {
        const GU_PrimVolume *vol = findVolume(gdp, name.c_str());
        int rx, ry, rz;
        vol->getRes(rx, ry, rz);
        for (int z = 0; z < rz; ++z)
            for (int y = 0; y < ry; ++y)
                for (int x = 0; x < rx; ++x) bad += !std::isfinite(vol->getValueAtIndex(x, y, z));
    }
    return bad;
}

// One point with a bad value, cooked through every operator. Returns the
// non-finite voxels per operator, for messages.
template <typename Poison>
void cookEveryOperator(const char *what, Poison poison, bool mustStayFinite)
{
    for (const std::string &opname : kOperators)
    {
        SCOPED_TRACE(opname + ", " + what);
        Cook c(opname);
        std::vector<PointValues> pts = basePoints();
        poison(pts);
        buildScene(c.input(0), pts);
        smallSettings(c);
        c.cook();
        if (mustStayFinite)
        {
            EXPECT_EQ(nonFiniteVoxels(c.output()), 0);
        }
    }
}
} // namespace

// The scene itself reaches every operator's fill, so the cases below test
// the deposit code and not an early refusal.
TEST(HostileNumbers, BaselineSceneFillsEveryOperator)
{
    for (const std::string &opname : kOperators)
    {
        SCOPED_TRACE(opname);
        Cook c(opname);
        buildScene(c.input(0), basePoints());
        smallSettings(c);
        EXPECT_LT(c.cook(), UT_ERROR_ABORT);
        const GU_PrimVolume *density = findVolume(c.output(), "density");
        ASSERT_TRUE(density);
        EXPECT_GT(volumeSum(density), 0);
        EXPECT_EQ(nonFiniteVoxels(c.output()), 0);
    }
}

TEST(HostileNumbers, NonFinitePositionsWriteNothingNonFinite)
{
    for (float bad : {kNaN, kInf, -kInf})
    {
        cookEveryOperator("one coordinate not finite", [&](std::vector<PointValues> &p) { p[1].P.y() = bad; p[5].P.x() = bad; }, true);
        cookEveryOperator("whole points not finite", [&](std::vector<PointValues> &p) { p[2].P = UT_Vector3(bad, bad, bad); p[6].P = UT_Vector3(bad, bad, bad); }, true);
        cookEveryOperator("every point not finite", [&](std::vector<PointValues> &p) { for (PointValues &v : p) v.P = UT_Vector3(bad, bad, bad); }, true);
    }
}

TEST(HostileNumbers, NonFiniteAttributesDoNotCrash)
{
    for (float bad : {kNaN, kInf, -kInf})
    {
        cookEveryOperator("radius", [&](std::vector<PointValues> &p) { p[1].pscale = bad; p[5].pscale = bad; }, false);
        cookEveryOperator("density", [&](std::vector<PointValues> &p) { p[1].density = bad; p[5].density = bad; }, false);
        cookEveryOperator("velocity", [&](std::vector<PointValues> &p) { p[1].v = UT_Vector3(bad, 0, bad); p[5].v = UT_Vector3(bad, bad, bad); }, false);
        cookEveryOperator("normal", [&](std::vector<PointValues> &p) { p[1].N = UT_Vector3(bad, 0, 0); p[5].N = UT_Vector3(bad, bad, bad); }, false);
        cookEveryOperator("up vector", [&](std::vector<PointValues> &p) { p[1].up = UT_Vector3(0, bad, 0); p[5].up = UT_Vector3(bad, bad, bad); }, false);
        cookEveryOperator("colour, noise offset, uv", [&](std::vector<PointValues> &p) { p[1].Cd.x() = bad; p[5].noiseoffset.y() = bad; p[2].uv.x() = bad; }, false);
    }
    // Degenerate but finite: zero radius, zero normal, normal along up.
    cookEveryOperator("degenerate frames", [](std::vector<PointValues> &p) {
        p[1].pscale = 0;
        p[2].N = UT_Vector3(0, 0, 0);
        p[3].N = p[3].up;
        p[5].pscale = -1;
    }, false);
}

TEST(HostileNumbers, AbsurdParametersDoNotCrashOrHang)
{
    struct Setting
    {
        const char *parm;
        double x, y, z;
        int components;
    };
    const double nan = std::nan(""), inf = HUGE_VAL;
    const std::vector<std::vector<Setting>> cases = {
        {{"noisefreq", 1e30, 1e30, 1e30, 3}, {"noiseamp", 1e30, 0, 0, 1}},
        {{"noisefreq", nan, inf, -inf, 3}},
        {{"noiseamp", nan, 0, 0, 1}, {"noiseroughness", nan, 0, 0, 1}},
        {{"noiseoctaves", -5, 0, 0, 1}, {"noiseroughness", 1e30, 0, 0, 1}},
        {{"noiseoctaves", 40, 0, 0, 1}, {"noiseroughness", 2, 0, 0, 1}},
        {{"childrencount", -5, 0, 0, 1}},
        {{"extendbounds", nan, nan, nan, 3}},
        {{"extendbounds", inf, -inf, 1e30, 3}},
        {{"extendbounds", -1e30, -5, -0.6, 3}},
        {{"divs", -8, 0, 1, 3}},
        {{"densitymult", nan, 0, 0, 1}},
        {{"densitymult", inf, 0, 0, 1}},
        {{"extendvoxels", -100, 0, 0, 1}},
        {{"extendvoxels", 1e9, 0, 0, 1}},
    };
    for (const std::string &opname : kOperators)
        for (const std::vector<Setting> &settings : cases)
        {
            SCOPED_TRACE(opname + ", " + settings[0].parm);
            Cook c(opname);
            buildScene(c.input(0), basePoints());
            smallSettings(c);
            for (const Setting &s : settings)
            {
                const double v[3] = {s.x, s.y, s.z};
                for (int i = 0; i < s.components; ++i) trySet(c, s.parm, fpreal(v[i]), i);
            }
            c.cook();
        }
}

TEST(HostileNumbers, CameraWithNonFiniteValuesDoesNotCrash)
{
    const double nan = std::nan(""), inf = HUGE_VAL;
    struct CamCase
    {
        const char *parm;
        int index;
        double value;
    };
    for (CamCase cc : {CamCase{"focal", 0, nan}, CamCase{"focal", 0, 0}, CamCase{"aperture", 0, inf},
                       CamCase{"res", 0, 0}, CamCase{"res", 1, nan}, CamCase{"near", 0, nan}, CamCase{"far", 0, inf},
                       CamCase{"near", 0, 0}})
        for (const char *opname : {"skinweave", "skinweaveMT"})
        {
            SCOPED_TRACE(std::string(opname) + ", camera " + cc.parm);
            OBJ_Camera cam("hostilecam");
            cam.setFloat("res", 0, 64);
            cam.setFloat("res", 1, 48);
            cam.setFloat("near", 0, 0.5);
            cam.setFloat("far", 0, 10);
            cam.setFloat(cc.parm, cc.index, cc.value);
            UT_DMatrix4 world;
            world.translate(0.5, 0.5, 5);
            cam.setWorldTransform(world);
            OPgetDirector()->registerNode("/obj/hostilecam", &cam);
            Cook c(opname);
            buildScene(c.input(0), basePoints());
            smallSettings(c);
            trySet(c, "usecamfrustum", fpreal(1));
            trySet(c, "campath", std::string("/obj/hostilecam"));
            c.cook();
            // A camera that sees nowhere must not fill voxels with NaN either.
            EXPECT_EQ(nonFiniteVoxels(c.output()), 0);
        }
    {
        // A camera matrix with a NaN in it.
        OBJ_Camera cam("nancam");
        UT_DMatrix4 world;
        world(3, 0) = nan;
        cam.setWorldTransform(world);
        OPgetDirector()->registerNode("/obj/nancam", &cam);
        Cook c("skinweave");
        buildScene(c.input(0), basePoints());
        smallSettings(c);
        trySet(c, "usecamfrustum", fpreal(1));
        trySet(c, "campath", std::string("/obj/nancam"));
        c.cook();
    }
}
