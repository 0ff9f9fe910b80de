// SPDX-License-Identifier: Apache-2.0
// Every volume operator cooked on input with non-finite numbers and absurd
// parameters: no crash, no hang, no write outside the grid (the sanitizer
// builds check that), and no NaN or infinity in a voxel when the bad value is
// one the operator's rules skip (a point or curve that lies nowhere). Where a
// bad value does reach a voxel, sopcook's volume report counts it; absurd
// parameters keep a cook within the work and grid its estimate gives.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "GEO/GEO_PrimPoly.h"
#include "OBJ/OBJ_Camera.h"
#include "OP/OP_Director.h"
#include "UT/UT_Interrupt.h"
#include "TestHost.h"
#include "cook/CookEstimate.h"
#include "vdb/VdbWriter.h"

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

const PRM_Template *findParm(const OP_Operator &op, const char *parm)
{
    for (const PRM_Template *t = op.getParmTemplates(); t && !t->isTerminator(); ++t)
        if (t->isValueParm() && std::strcmp(t->getToken(), parm) == 0) return t;
    return nullptr;
}

// Operators differ in their parameters: one this operator lacks is passed
// over, but a name no operator of the suite has is a mistake in the test.
const PRM_Template *offered(Cook &c, const char *parm)
{
    if (const PRM_Template *t = findParm(c.op(), parm)) return t;
    bool anywhere = false;
    for (const std::string &name : kOperators) anywhere |= findParm(requireOp(name), parm) != nullptr;
    EXPECT_TRUE(anywhere) << "no operator has a parameter '" << parm << "'";
    return nullptr;
}

// Component `component` of parm, where this operator's parm has one (one
// operator's vector is another's scalar).
void trySet(Cook &c, const char *parm, fpreal value, int component = 0)
{
    const PRM_Template *t = offered(c, parm);
    if (t && component < t->getVectorSize()) c.set(parm, value, component);
}

void trySet(Cook &c, const char *parm, const std::string &value)
{
    if (offered(c, parm)) c.set(parm, value);
}

void trySet3(Cook &c, const char *parm, fpreal x, fpreal y, fpreal z)
{
    const PRM_Template *t = offered(c, parm);
    if (t && t->getVectorSize() == 3) c.set3(parm, x, y, z);
    else if (t) ADD_FAILURE() << c.op().getName() << ": '" << parm << "' is not a vector of 3";
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

// While alive, raises the host's interrupt once a cook polls more than
// bound times (the host reports every 1024th poll), so a runaway cook stops.
class PollLimit
{
public:
    PollLimit(long long bound, std::atomic<bool> &overran)
    {
        UTgetInterrupt()->clearInterrupt();
        UTgetInterrupt()->setProgressCallback([bound, &overran](long long polls, int) {
            if (polls <= bound) return;
            overran.store(true);
            UTgetInterrupt()->requestInterrupt();
        });
    }
    ~PollLimit()
    {
        UTgetInterrupt()->setProgressCallback(nullptr);
        UTgetInterrupt()->clearInterrupt();
    }
};

// What one cook left: its severity, its volumes as sopcook reports them
// (resolution, active and non-finite voxels), and what the test counts itself.
struct Outcome
{
    OP_ERROR status = UT_ERROR_NONE;
    std::vector<sopcook::VolumeSummary> volumes;
    int64_t nonFinite = 0;
};

Outcome cookScene(const std::string &opname, const std::vector<PointValues> &pts)
{
    Cook c(opname);
    buildScene(c.input(0), pts);
    smallSettings(c);
    Outcome o;
    o.status = c.cook();
    o.volumes = sopcook::summarizeVolumes(c.output());
    o.nonFinite = nonFiniteVoxels(c.output());
    return o;
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

namespace
{
// A bad attribute on two of the eight points: the cook finishes with the
// volumes the clean scene gets (names and resolutions), and every NaN or
// infinity it leaves in a voxel is one sopcook counts and reports.
template <typename Poison>
void cookWithBadAttributes(const char *what, Poison poison)
{
    for (const std::string &opname : kOperators)
    {
        SCOPED_TRACE(opname + ", " + what);
        std::vector<PointValues> pts = basePoints();
        poison(pts);
        const Outcome clean = cookScene(opname, basePoints());
        const Outcome o = cookScene(opname, pts);
        EXPECT_LT(o.status, UT_ERROR_ABORT);
        ASSERT_EQ(o.volumes.size(), clean.volumes.size());
        uint64_t reported = 0;
        for (size_t i = 0; i < o.volumes.size(); ++i)
        {
            const sopcook::VolumeSummary &v = o.volumes[i];
            EXPECT_EQ(v.name, clean.volumes[i].name);
            EXPECT_EQ(std::vector<int>(v.res, v.res + 3), std::vector<int>(clean.volumes[i].res, clean.volumes[i].res + 3)) << v.name;
            reported += v.nonFinite.count;
            EXPECT_EQ(v.nonFinite.count == 0, v.nonFinite.first[0] < 0) << v.name;
        }
        EXPECT_EQ(reported, uint64_t(o.nonFinite));
    }
}
} // namespace

TEST(HostileNumbers, NonFiniteAttributesDoNotCrash)
{
    for (float bad : {kNaN, kInf, -kInf})
    {
        cookWithBadAttributes("radius", [&](std::vector<PointValues> &p) { p[1].pscale = bad; p[5].pscale = bad; });
        cookWithBadAttributes("density", [&](std::vector<PointValues> &p) { p[1].density = bad; p[5].density = bad; });
        cookWithBadAttributes("velocity", [&](std::vector<PointValues> &p) { p[1].v = UT_Vector3(bad, 0, bad); p[5].v = UT_Vector3(bad, bad, bad); });
        cookWithBadAttributes("normal", [&](std::vector<PointValues> &p) { p[1].N = UT_Vector3(bad, 0, 0); p[5].N = UT_Vector3(bad, bad, bad); });
        cookWithBadAttributes("up vector", [&](std::vector<PointValues> &p) { p[1].up = UT_Vector3(0, bad, 0); p[5].up = UT_Vector3(bad, bad, bad); });
        cookWithBadAttributes("colour, noise offset, uv", [&](std::vector<PointValues> &p) { p[1].Cd.x() = bad; p[5].noiseoffset.y() = bad; p[2].uv.x() = bad; });
    }
    // Degenerate but finite: zero radius, zero normal, normal along up.
    cookWithBadAttributes("degenerate frames", [](std::vector<PointValues> &p) {
        p[1].pscale = 0;
        p[2].N = UT_Vector3(0, 0, 0);
        p[3].N = p[3].up;
        p[5].pscale = -1;
    });
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
            // The cook's size bounds its work: the interrupt polls its
            // estimate counts ahead (where it cannot, one per voxel of the
            // grid) and the voxels of its grid. A cook that polls past the
            // bound is stopped, so a hang fails instead of blocking.
            const sopcook::CookEstimate estimate = sopcook::estimateCook(c.op(), c.node(), 0, &c.input(0));
            const double gridVoxels = estimate.voxels * estimate.volumes;
            const long long pollBound = (long long)(estimate.polls > 0 ? estimate.polls : gridVoxels);
            std::atomic<bool> overran{false};
            PollLimit limit(pollBound, overran);
            EXPECT_LT(c.cook(), UT_ERROR_ABORT);
            EXPECT_FALSE(overran.load());
            EXPECT_LE(UTgetInterrupt()->pollCount(), pollBound);
            uint64_t voxels = 0;
            for (const sopcook::VolumeSummary &v : sopcook::summarizeVolumes(c.output())) voxels += v.voxels;
            EXPECT_GT(voxels, 0u);
            EXPECT_LE(double(voxels), gridVoxels);
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
