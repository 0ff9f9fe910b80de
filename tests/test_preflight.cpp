// SPDX-License-Identifier: Apache-2.0
// What sopcook says before a cook that would fail at the write or come out
// (nearly) empty: boxes and camera frustums that cannot be placed are refused
// with one line and nothing written; frustums asked for and not built, radii
// below a voxel and oversized extensions are warned about.
#include <gtest/gtest.h>

#include <sstream>

#include "SopcookRun.h"
#include "cook/CookEstimate.h"
#include "cook/ScaleCheck.h"

using namespace sopcooktest;

namespace
{
const std::string examplesDir = SOPCOOK_EXAMPLES;

// An ASCII PLY of bare points.
std::string pointsPly(const std::vector<std::array<double, 3>> &points)
{
    std::ostringstream s;
    s.precision(17);
    s << "ply\nformat ascii 1.0\nelement vertex " << points.size()
      << "\nproperty float x\nproperty float y\nproperty float z\nend_header\n";
    for (auto &p : points) s << p[0] << " " << p[1] << " " << p[2] << "\n";
    return s.str();
}

size_t countOf(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// Exit 1, exactly one error line holding expected, and nothing in dir but
// the inputs.
void expectRefused(const CliRun &r, const std::string &expected, const TempDir &dir,
                   const std::vector<std::string> &inputs)
{
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(countOf(r.err, "error:"), 1u) << r.err;
    EXPECT_NE(r.err.find(expected), std::string::npos) << r.err;
    EXPECT_EQ(countOf(r.err, "\n"), countOf(r.err, "sopcook: ")) << "one line per message: " << r.err;
    EXPECT_EQ(dir.files(), inputs) << r.err;
}

std::string cameraJson(const std::string &extra)
{
    return "{\"path\": \"/obj/cam1\", \"res\": [640, 480], \"aperture\": 36, \"near\": 1, \"far\": 11, " + extra + "}";
}

const std::string quads = "-i '" + examplesDir + "/quads.ply' -s divs=16,16,16";
} // namespace

// Boxes without size on two axes, and boxes too small for their distance from
// the origin, are refused before the cook names the output.
TEST(Preflight, UnplaceableBoxesAreRefusedBeforeTheCook)
{
    struct Case
    {
        const char *name;
        std::vector<std::array<double, 3>> points;
        std::string settings, expected;
    };
    const std::vector<Case> cases = {
        {"single", {{1, 2, 3}}, "-s extendbounds=0,0,0", "in.ply: 1 point, extendbounds=0,0,0), flat on 3 axes"},
        {"coincident", {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}}, "-s extendbounds=0,0,0", "flat on 3 axes"},
        {"empty", {}, "-s extendbounds=0,0,0", "in.ply: no points, extendbounds=0,0,0)"},
        {"line", {{0, 0, 0}, {1, 0, 0}}, "-s extendbounds=0,0,0", "box is 1 x 0 x 0"},
        {"far", {{1e22, 1e22, 1e22}, {1.0000001e22, 1e22, 1e22}}, "", "too small for its distance from the origin"},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeText(dir / "in.ply", pointsPly(c.points));
        CliRun r = runSopcook("cook billowfold -i '" + (dir / "in.ply") + "' -o '" + (dir / "out.vdb") +
                              "' -a density=1 -a pscale=0.1 " + c.settings);
        expectRefused(r, c.expected, dir, {"in.ply"});
        EXPECT_EQ(r.err.find("cannot write"), std::string::npos) << "blames the output: " << r.err;
    }
    // One flat axis is still a volume; a bounding-box input decides alone.
    TempDir dir;
    writeText(dir / "in.ply", pointsPly({{0, 0, 0}, {1, 1, 0}}));
    CliRun flatOne = runSopcook("cook billowfold -i '" + (dir / "in.ply") + "' -o '" + (dir / "out.vdb") +
                                "' -a density=1 -a pscale=0.5 -s extendbounds=0,0,0");
    EXPECT_EQ(flatOne.status, 0) << flatOne.err;
    EXPECT_TRUE(exists(dir / "out.vdb"));
    writeText(dir / "one.ply", pointsPly({{0, 0, 0}}));
    CliRun flatBox = runSopcook("cook billowfold -i '" + (dir / "in.ply") + "' -b '" + (dir / "one.ply") + "' -o '" +
                                (dir / "b.vdb") + "' -a density=1 -a pscale=0.5");
    EXPECT_EQ(flatBox.status, 1);
    EXPECT_NE(flatBox.err.find("one.ply: 1 point), flat on 3 axes"), std::string::npos) << flatBox.err;
    EXPECT_NE(flatBox.err.find("give a bounding-box input with size"), std::string::npos) << flatBox.err;
    EXPECT_FALSE(exists(dir / "b.vdb"));
}

// A frustum that cannot be placed is refused with the camera's values; one
// that is asked for and not built is a warning, and the cook goes on.
TEST(Preflight, CameraFrustumsAskedForAreBuiltOrSaid)
{
    TempDir dir;
    writeText(dir / "tiny.json", cameraJson("\"focal\": 1e-40, \"translate\": [0.5, 0.5, 5], \"rotate\": [0, 0, 0]"));
    writeText(dir / "zero.json", cameraJson("\"focal\": 35, \"transform\": [0,0,0,0, 0,0,0,0, 0,0,0,0, 0,0,0,0]"));
    writeText(dir / "good.json", cameraJson("\"focal\": 35, \"translate\": [0.5, 0.5, 5], \"rotate\": [0, 0, 0]"));
    const std::vector<std::string> inputs = {"good.json", "tiny.json", "zero.json"};
    auto cook = [&](const std::string &args) {
        return runSopcook("cook skinweave " + quads + " -s usecamfrustum=on -o '" + (dir / "out.vdb") + "' " + args);
    };
    expectRefused(cook("--camera '" + (dir / "tiny.json") + "'"), "wide at the near plane, which a VDB volume cannot hold", dir, inputs);
    expectRefused(cook("--camera '" + (dir / "zero.json") + "'"), "its transform is singular", dir, inputs);

    CliRun none = cook("");
    EXPECT_EQ(none.status, 0) << none.err;
    EXPECT_EQ(countOf(none.err, "usecamfrustum is on but no camera was given"), 1u) << none.err;
    CliRun elsewhere = cook("--camera '" + (dir / "good.json") + "' -s campath=/obj/other");
    EXPECT_EQ(elsewhere.status, 0) << elsewhere.err;
    EXPECT_NE(elsewhere.err.find("the camera given is not at campath /obj/other"), std::string::npos) << elsewhere.err;
    CliRun good = cook("--camera '" + (dir / "good.json") + "'");
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(good.err.find("usecamfrustum"), std::string::npos) << good.err;
    EXPECT_EQ(good.err.find("camera /obj/cam1"), std::string::npos) << good.err;
}

// Radii far below a voxel and extensions beyond the input's size are said
// with their numbers; the example cooks hear none of it.
TEST(Preflight, ScaleWarningsGiveTheNumbers)
{
    TempDir dir;
    std::vector<std::array<double, 3>> cloud;
    for (int i = 0; i < 8; ++i) cloud.push_back({0.02 * (i & 1), 0.02 * ((i >> 1) & 1), 0.02 * (i >> 2)});
    writeText(dir / "small.ply", pointsPly(cloud));
    CliRun tiny = runSopcook("cook billowfold -i '" + (dir / "small.ply") + "' -o '" + (dir / "t.vdb") +
                             "' -a density=1 -a pscale=0.0001 -s divs=64,64,64");
    EXPECT_EQ(tiny.status, 0) << tiny.err;
    EXPECT_NE(tiny.err.find("8 of 8 points have a pscale below half a voxel (median 0.0001, voxel 0.0316"),
              std::string::npos) << tiny.err;
    EXPECT_NE(tiny.err.find("extendbounds=1,1,1 grows each side by more than the input's own size (0.02 x 0.02 x 0.02)"),
              std::string::npos) << tiny.err;

    CliRun example = runSopcook("cook skinweave -i '" + examplesDir + "/quads.ply' -s divs=64,64,64 -o '" + (dir / "e.vdb") + "'");
    EXPECT_EQ(example.status, 0) << example.err;
    EXPECT_EQ(example.err.find("below half a voxel"), std::string::npos) << example.err;
    EXPECT_EQ(example.err.find("under 1% of"), std::string::npos) << example.err;
}

// After the cook: a sliver of the reachable voxels is said with the figures;
// a fuller cook, and an empty one (said by its own warning), are not.
TEST(Preflight, CoverageWarningNeedsASliver)
{
    sopcook::VolumeBox box;
    box.known = true;
    for (int a = 0; a < 3; ++a)
    {
        box.size[a] = 2;
        box.res[a] = 64;
    }
    sopcook::ScaleCheck scale;
    scale.radiusName = "pscale";
    scale.medianRadius = 0.003;
    scale.reachVoxels = 10000;
    std::vector<std::string> warnings;
    sopcook::checkCoverage(scale, box, "billowfold", 9, "out.vdb", warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("out.vdb: billowfold wrote 9 active voxels, under 1% of the 1e+04 its points could reach "
                               "(median pscale 0.003, voxel 0.0312)"),
              std::string::npos)
        << warnings[0];
    for (uint64_t active : {uint64_t(0), uint64_t(100), uint64_t(5000)})
    {
        warnings.clear();
        sopcook::checkCoverage(scale, box, "billowfold", active, "out.vdb", warnings);
        EXPECT_TRUE(warnings.empty()) << active;
    }
}

// Cooks whose least work exceeds 10 minutes are refused up front with the
// estimate and --force; those where only the worst case does are said.
TEST(Preflight, LongCooksAreRefusedOrSaidBeforeTheyStart)
{
    TempDir dir;
    const std::string points = "-i '" + examplesDir + "/points.geo' ";
    for (const std::string &args : {"skinweave " + quads + " -s childrencount=1000000000",
                                    "plumeweave_velocity_stretch " + points + "-s childrencount=1000000000",
                                    "plumeweave " + points + "-s noiseoctaves=1000000000 -s childrencount=1000"})
    {
        SCOPED_TRACE(args);
        CliRun r = runSopcook("cook " + args + " -o '" + (dir / "out.vdb") + "'");
        expectRefused(r, "sopcook: error: a long cook: ", dir, {});
        EXPECT_NE(r.err.find(" of computing on one core (use --force to cook anyway)\n"), std::string::npos) << r.err;
    }
    // Noise that may push children anywhere, or nowhere near the grid: only
    // the worst case is long.
    CliRun wide = runSopcook("cook plumeweave_velocity_stretch " + points +
                             "-s radiusattrib=pscale -s noiseamp=1000 -s childrencount=1000000 -s divs=128,128,128 --estimate");
    EXPECT_EQ(wide.status, 0) << wide.err;
    EXPECT_NE(wide.out.find("verdict: fits this machine; may run up to "), std::string::npos) << wide.out;
    CliRun ordinary = runSopcook("cook skinweave " + quads + " --estimate");
    EXPECT_NE(ordinary.out.find("verdict: fits this machine\n"), std::string::npos) << ordinary.out;

    sopcook::CookEstimate e;
    e.op = "plumeweave_velocity_stretch";
    e.leastSeconds = 30;
    e.mostSeconds = 7200;
    e.mostWork = "5 points x childrencount=1000000";
    e.stopsEarly = false;
    EXPECT_EQ(sopcook::longCookWarning(e), "this cook may be long: 5 points x childrencount=1000000, up to 2.0 hours "
                                           "(at least 30 seconds) of computing on one core; plumeweave_velocity_stretch "
                                           "cannot stop early, Ctrl-C twice aborts it without writing");
    e.mostSeconds = 500;
    EXPECT_EQ(sopcook::longCookWarning(e), "");
}
