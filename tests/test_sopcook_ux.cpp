// SPDX-License-Identifier: Apache-2.0
// sopcook as a new user meets it: positions-only caches and attribute
// defaults, warnings about what a cook will miss, operator output folded on
// the console, viewer-ready resampling, and the command line's own errors.
#include <gtest/gtest.h>

#include <cmath>

#include <nlohmann/json.hpp>

#include "SopcookRun.h"
#include "TestHost.h"
#include "cook/InputAttributes.h"
#include "cook/OperatorCook.h"
#include "cook/OperatorOutput.h"
#include "Messages.h"

namespace
{
using namespace sopcooktest;

const std::string dataDir = SOPCOOK_TEST_DATA;
const std::string examplesDir = SOPCOOK_EXAMPLES;

bool havePlugin(const char *name) { return testhost::op(name) != nullptr; }

size_t count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// A .geo file of n points on a line that carry nothing but their positions.
std::string positionsOnly(const TempDir &tmp, int n)
{
    std::string tuples;
    for (int i = 0; i < n; ++i) tuples += (i ? ", [" : "[") + std::to_string(i * 0.1) + ", 0, 0]";
    std::string path = tmp / "positions.geo";
    writeText(path, "[\"pointcount\", " + std::to_string(n) +
                        ", \"attributes\", [\"pointattributes\", [[[\"scope\", \"public\", \"type\", \"numeric\", \"name\", \"P\"], "
                        "[\"size\", 3, \"storage\", \"fpreal32\", \"values\", [\"size\", 3, \"storage\", \"fpreal32\", \"tuples\", [" +
                        tuples + "]]]]]]]");
    return path;
}

// A strip of n triangles as an ASCII PLY with density and pscale.
std::string triangleStrip(const TempDir &tmp, int n)
{
    std::string verts, faces;
    for (int i = 0; i < n + 2; ++i) verts += std::to_string(i * 0.1) + " " + std::to_string(i % 2) + " 0 1 0.1\n";
    for (int i = 0; i < n; ++i) faces += "3 " + std::to_string(i) + " " + std::to_string(i + 1) + " " + std::to_string(i + 2) + "\n";
    std::string path = tmp / "triangles.ply";
    writeText(path, "ply\nformat ascii 1.0\nelement vertex " + std::to_string(n + 2) +
                        "\nproperty float x\nproperty float y\nproperty float z\nproperty float density\nproperty float pscale\n"
                        "element face " + std::to_string(n) + "\nproperty list uchar int vertex_indices\nend_header\n" + verts + faces);
    return path;
}

std::vector<std::string> lines(const std::vector<std::string> &v, const std::string &containing)
{
    std::vector<std::string> out;
    for (const std::string &s : v)
        if (s.find(containing) != std::string::npos) out.push_back(s);
    return out;
}
} // namespace

// ---------------------------------------------------------------- positions-only input

TEST(SopcookAttributes, PositionsOnlyCacheCooksEmptyWithWarningsAndFullWithDefaults)
{
    if (!havePlugin("billowfold")) GTEST_SKIP() << "billowfold plug-in not built";
    TempDir tmp;
    std::string input = positionsOnly(tmp, 20);
    std::string common = "cook billowfold -i '" + input + "' -s divs=24,8,8 --stats -o '";
    CliRun bare = runSopcook(common + (tmp / "bare.vdb") + "'");
    ASSERT_EQ(bare.status, 0) << bare.err;
    EXPECT_NE(bare.err.find("input has no point attribute 'density' (densityattrib): every density reads 0, so nothing is "
                            "written; add it with -a density=VALUE"), std::string::npos) << bare.err;
    EXPECT_NE(bare.err.find("input has no point attribute 'pscale' (radiusattrib)"), std::string::npos);
    EXPECT_NE(bare.err.find("is empty (no voxel holds a value)"), std::string::npos);
    EXPECT_EQ(nlohmann::json::parse(bare.out)["volumes"][0]["active"], 0) << "stdout holds the stats line only";

    CliRun given = runSopcook(common + (tmp / "given.vdb") + "' -a density=1 -a pscale=0.3 -a Cd=1,0.5,0");
    ASSERT_EQ(given.status, 0) << given.err;
    EXPECT_EQ(given.err.find("warning"), std::string::npos) << given.err;
    nlohmann::json stats = nlohmann::json::parse(given.out);
    EXPECT_GT(stats["volumes"][0]["active"].get<int>(), 0);
    EXPECT_GT(stats["volumes"][1]["active"].get<int>(), 0) << "Cd.x from the default colour";
    EXPECT_EQ(stats["volumes"][3]["active"], 0) << "Cd.z: the default's third component is 0";
}

TEST(SopcookAttributes, DefaultsKeepTheFilesValuesUnlessOverriddenAndReplaceUnreadableOnes)
{
    GU_Detail gdp;
    for (int i = 0; i < 3; ++i) testhost::addPoint(gdp, UT_Vector3(float(i), 0, 0));
    testhost::setPointAttrib(gdp, 1, "density", {5});
    testhost::setPointAttrib(gdp, 0, "Cd", {0.25f}); // one component where colour reads three
    std::vector<std::string> warnings, notes;
    auto defaults = sopcook::parseAttributeDefaults({"density=1", "pscale=0.5", "Cd=1,0,1"}, {});
    sopcook::applyAttributeDefaults(gdp, defaults, warnings, notes);
    GA_Attribute *density = gdp.findAttribute(GA_ATTRIB_POINT, "density");
    EXPECT_EQ(density->getF(1), 5.0f) << "the file's value is kept";
    EXPECT_EQ(density->getF(0), 0.0f);
    EXPECT_EQ(gdp.findAttribute(GA_ATTRIB_POINT, "pscale")->getF(2), 0.5f);
    GA_Attribute *cd = gdp.findAttribute(GA_ATTRIB_POINT, "Cd");
    ASSERT_EQ(cd->getTupleSize(), 3);
    EXPECT_EQ(cd->getF(2, 2), 1.0f);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("'Cd' has 1 component; -a Cd replaces it"), std::string::npos) << warnings[0];
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("its values are kept"), std::string::npos);

    sopcook::applyAttributeDefaults(gdp, sopcook::parseAttributeDefaults({}, {"density=2"}), warnings, notes);
    EXPECT_EQ(gdp.findAttribute(GA_ATTRIB_POINT, "density")->getF(1), 2.0f);

    for (const char *bad : {"density", "=1", "P=0,0,0", "density=1,,2", "density=nan", "2d=1", "density=1e99"})
        EXPECT_THROW(sopcook::parseAttributeDefaults({bad}, {}), sopcook::Error) << bad;
}

// ---------------------------------------------------------------- what a cook will miss

TEST(SopcookAttributes, WarningsFollowTheParametersTogglesAndTupleSizes)
{
    if (!havePlugin("skinweave") || !havePlugin("strandcast")) GTEST_SKIP() << "plug-ins not built";
    GU_Detail quads;
    testhost::addPoint(quads, UT_Vector3(0, 0, 0));
    testhost::setPointAttrib(quads, 0, "density", {1});
    testhost::setPointAttrib(quads, 0, "pscale", {0.1f});
    testhost::setPointAttrib(quads, 0, "Cd", {0.5f});
    auto check = [](sopcook::OperatorCook &job, const GU_Detail *input, std::vector<std::string> &notes) {
        std::vector<std::string> warnings;
        sopcook::checkInputAttributes(job, input, 0, warnings, notes);
        return warnings;
    };
    sopcook::OperatorCook skin(*testhost::op("skinweave"));
    std::vector<std::string> notes;
    EXPECT_TRUE(check(skin, &quads, notes).empty()) << "colour and velocity are off";
    EXPECT_EQ(lines(notes, "'uv' (uvattrib)").size(), 1u);
    skin.node().setFloat("docolor", 0, 1);
    skin.node().setFloat("dovelocity", 0, 1);
    skin.node().setString("radiusattrib", 0, "");
    std::vector<std::string> w = check(skin, &quads, notes);
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0], "radiusattrib names no attribute: every radius reads 0, so no density is written; name one with -s radiusattrib=NAME");
    EXPECT_NE(w[1].find("point attribute 'Cd' has 1 component where colorattrib reads 3: every colour reads (0, 0, 0), "
                        "so the Cd volumes stay 0"), std::string::npos) << w[1];
    EXPECT_NE(w[2].find("'v' (velocityattrib): every velocity reads (0, 0, 0), so the vel volumes stay 0"), std::string::npos);
    EXPECT_EQ(check(skin, nullptr, notes), std::vector<std::string>{"no input geometry (-i): skinweave writes empty volumes"});

    // Curves with noise but no frame and no uv: the noise is 0 everywhere.
    sopcook::OperatorCook curves(*testhost::op("strandcast"));
    curves.node().setFloat("donoise", 0, 1);
    notes.clear();
    w = check(curves, &quads, notes);
    ASSERT_EQ(w.size(), 1u) << "colour is off; the frame warning replaces the three notes";
    EXPECT_NE(w[0].find("none of the point attributes 'N', 'up', 'uv'"), std::string::npos) << w[0];
    EXPECT_TRUE(notes.empty());
}

TEST(SopcookAttributes, WarningsComeOncePerCommandAndNeverFailTheCook)
{
    if (!havePlugin("billowfold")) GTEST_SKIP() << "billowfold plug-in not built";
    TempDir tmp;
    std::string input = positionsOnly(tmp, 3);
    CliRun r = runSopcook("cook billowfold -i '" + input + "' -s divs=4,4,4 --frames 1-3 -o '" + (tmp / "f.$F.vdb") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(count(r.err, "no point attribute 'pscale'"), 1u) << r.err;
    EXPECT_EQ(count(r.err, "is empty"), 3u) << "one per written file";
    EXPECT_TRUE(exists(tmp / "f.3.vdb"));
}

// ---------------------------------------------------------------- operator output on the console

TEST(SopcookConsole, RepeatedOperatorLinesAreFoldedVerboseAndLogKeepEveryLine)
{
    if (!havePlugin("skinweave")) GTEST_SKIP() << "skinweave plug-in not built";
    TempDir tmp;
    std::string input = triangleStrip(tmp, 300);
    std::string args = "cook skinweave -i '" + input + "' -s divs=8,8,4 --stats -o '" + (tmp / "t.vdb") + "'";
    CliRun folded = runSopcook(args + " --log '" + (tmp / "ops.log") + "'");
    ASSERT_EQ(folded.status, 0) << folded.err;
    EXPECT_NE(folded.err.find("skinweave printed \"WARNING: Skipping non quad primitive no. N\" x 300; for a triangle mesh, "
                              "--triangles-to-quads pairs its triangles into quads before the cook (all of it in the log)"),
              std::string::npos) << folded.err;
    EXPECT_EQ(count(folded.err, "Skipping"), 1u);
    EXPECT_EQ(count(folded.out, "\n"), 1u) << "stdout holds the stats line only: " << folded.out;
    std::string log = readText(tmp / "ops.log");
    EXPECT_EQ(count(log, "WARNING: Skipping non quad primitive no. "), 300u);
    EXPECT_NE(log.find("no. 299\n"), std::string::npos);

    CliRun verbose = runSopcook(args + " -v");
    ASSERT_EQ(verbose.status, 0) << verbose.err;
    EXPECT_EQ(count(verbose.err, "WARNING: Skipping non quad primitive no. "), 300u);
    EXPECT_NE(verbose.err.find("\nWARNING: Skipping non quad primitive no. 17\n"), std::string::npos);

    // Two slabs at once each print every line: shown once, as one cook's.
    CliRun slabs = runSopcook("cook skinweave -i '" + input + "' -s divs=8,8,40 -j 2 -v -o '" + (tmp / "s.vdb") + "'");
    ASSERT_EQ(slabs.status, 0) << slabs.err;
    EXPECT_EQ(count(slabs.err, "WARNING: Skipping non quad primitive no. "), 300u) << slabs.err.substr(0, 2000);
}

TEST(SopcookConsole, LineFolderCountsShapesInOrderAndCapsThem)
{
    sopcook::LineFolder folder;
    folder.add("primcount = 12");
    folder.add("skip 1 of 20");
    folder.add("skip 2 of 20");
    folder.add("done");
    std::vector<std::string> summary = folder.summary();
    EXPECT_EQ(summary, (std::vector<std::string>{"\"primcount = 12\"", "\"skip N of N\" x 2", "\"done\""}));
    sopcook::LineFolder many;
    for (int i = 0; i < 1000; ++i) many.add(std::string(size_t(i % 300) + 1, 'a'));
    summary = many.summary();
    ASSERT_EQ(summary.size(), 201u);
    EXPECT_EQ(summary.back(), "and 300 more lines");
    // A cook in 3 slabs: what every slab printed alike is one cook's lines;
    // a count the slabs do not share is the total, said to be one.
    sopcook::LineFolder slabs;
    for (int s = 0; s < 3; ++s)
    {
        slabs.add("primcount = 12");
        for (int i = 0; i < 5; ++i) slabs.add("skip " + std::to_string(i) + " of 20");
    }
    slabs.add("only in one slab");
    slabs.add("only in one slab");
    EXPECT_EQ(slabs.summary(3), (std::vector<std::string>{"\"primcount = 12\"", "\"skip N of N\" x 5",
                                                         "\"only in one slab\" x 2 over 3 slabs"}));
}

// ---------------------------------------------------------------- viewer-ready output

namespace
{
// Sum of value x voxel volume, the voxel volume from the map's Jacobian at the voxel.
double total(const openvdb::FloatGrid &grid)
{
    const openvdb::math::MapBase &map = *grid.transform().baseMap();
    double sum = 0;
    for (auto it = grid.cbeginValueOn(); it; ++it)
    {
        openvdb::Vec3d at = it.getCoord().asVec3d();
        openvdb::Vec3d a = map.applyJacobian(openvdb::Vec3d(1, 0, 0), at), b = map.applyJacobian(openvdb::Vec3d(0, 1, 0), at),
                       c = map.applyJacobian(openvdb::Vec3d(0, 0, 1), at);
        sum += double(*it) * std::fabs(a.dot(b.cross(c)));
    }
    return sum;
}

openvdb::BBoxd worldBounds(const openvdb::FloatGrid &grid)
{
    openvdb::BBoxd box;
    for (auto it = grid.cbeginValueOn(); it; ++it)
        if (*it > 1e-3f * 12) box.expand(grid.transform().indexToWorld(it.getCoord()));
    return box;
}
} // namespace

TEST(SopcookResample, UniformFrustumDensityKeepsItsTotalAndBounds)
{
    if (!havePlugin("skinweave")) GTEST_SKIP() << "skinweave plug-in not built";
    TempDir tmp;
    std::string args = "cook skinweave -i '" + examplesDir + "/quads.ply' -s usecamfrustum=1 -s divs=32,24,64 --camera '" +
                       examplesDir + "/camera.json' -o '";
    CliRun exact = runSopcook(args + (tmp / "exact.vdb") + "'");
    ASSERT_EQ(exact.status, 0) << exact.err;
    CliRun uniform = runSopcook(args + (tmp / "uniform.vdb") + "' --resample uniform");
    ASSERT_EQ(uniform.status, 0) << uniform.err;
    openvdb::FloatGrid::Ptr frustum = floatGrid(readGrids(tmp / "exact.vdb"), "density");
    openvdb::FloatGrid::Ptr linear = floatGrid(readGrids(tmp / "uniform.vdb"), "density");
    ASSERT_TRUE(frustum && linear);
    ASSERT_FALSE(frustum->transform().isLinear());
    ASSERT_TRUE(linear->transform().isLinear());
    openvdb::Vec3d h = linear->transform().voxelSize();
    EXPECT_DOUBLE_EQ(h[0], h[1]);
    EXPECT_DOUBLE_EQ(h[0], h[2]);
    EXPECT_GT(frustum->activeVoxelCount(), 100u);
    EXPECT_NEAR(total(*linear), total(*frustum), 0.01 * total(*frustum));
    openvdb::BBoxd a = worldBounds(*frustum), b = worldBounds(*linear);
    double edge = frustum->transform().voxelSize(a.min())[2] * 2; // a frustum voxel near the front
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_NEAR(a.min()[i], b.min()[i], edge) << i;
        EXPECT_NEAR(a.max()[i], b.max()[i], edge) << i;
    }
    EXPECT_EQ(linear->metaValue<std::string>("dopobject"), frustum->metaValue<std::string>("dopobject"));
    if (std::system("command -v vdb_render >/dev/null") == 0)
    {
        // OpenVDB's own ray marcher refuses the frustum grid and renders the resampled one.
        std::string render = "vdb_render -name density -res 32x24 -cpus 1 '";
        EXPECT_NE(std::system((render + (tmp / "exact.vdb") + "' '" + (tmp / "e.ppm") + "' 2>/dev/null").c_str()), 0);
        EXPECT_EQ(std::system((render + (tmp / "uniform.vdb") + "' '" + (tmp / "u.ppm") + "'").c_str()), 0);
    }

    CliRun coarse = runSopcook(args + (tmp / "coarse.vdb") + "' --resample uniform=0.5");
    ASSERT_EQ(coarse.status, 0) << coarse.err;
    EXPECT_DOUBLE_EQ(floatGrid(readGrids(tmp / "coarse.vdb"), "density")->voxelSize()[0], 0.5);
    CliRun huge = runSopcook(args + (tmp / "huge.vdb") + "' --resample uniform=0.00001");
    EXPECT_EQ(huge.status, 1);
    EXPECT_NE(huge.err.find("use a larger voxel size, such as --resample uniform="), std::string::npos) << huge.err;
    EXPECT_FALSE(exists(tmp / "huge.vdb"));
}

// ---------------------------------------------------------------- the command line

TEST(SopcookCommandLine, BadWordsAndOptionsAreNamedInOneLine)
{
    TempDir tmp;
    std::string out = tmp / "out.vdb";
    struct Case
    {
        std::string args, expected;
        bool needsPlugin;
    };
    const Case cases[] = {
        {"bogus", "unknown command 'bogus' (commands: list, params, cook", false},
        {"help bogus", "help: unknown command 'bogus'", false},
        {"completion fish", "'fish' is not supported", false},
        {"cook billowfold -o '" + tmp / "out.exr" + "'", "the output is an OpenVDB file; name it NAME.vdb", true},
        {"cook billowfold -j -3 -o '" + out + "'", "--threads -3: expected 0 (all hardware threads) or more", true},
        {"cook billowfold --resample cubic -o '" + out + "'", "--resample cubic: expected uniform or uniform=VOXELSIZE", true},
        {"cook billowfold --resample uniform=-1 -o '" + out + "'", "expected uniform or uniform=VOXELSIZE", true},
        {"cook billowfold -a density=1 -o '" + out + "'", "give the input with -i", true},
        {"cook billowfold -i '" + dataDir + "/points.geo' -a P=0,0,1 -o '" + out + "'", "point positions come from the input", true},
    };
    for (const Case &c : cases)
    {
        if (c.needsPlugin && !havePlugin("billowfold")) continue;
        CliRun r = runSopcook(c.args);
        EXPECT_NE(r.status, 0) << c.args;
        if (c.expected.find("unknown command") != std::string::npos)
        {
            EXPECT_EQ(r.status, 2) << "unparsable: " << c.args;
        }
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_EQ(count(r.err, "\n"), 1u) << "not one line: " << r.err;
        EXPECT_FALSE(exists(out)) << c.args;
    }
}

TEST(SopcookCommandLine, HelpAndBashCompletion)
{
    CliRun help = runSopcook("help");
    ASSERT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: sopcook [OPTIONS] SUBCOMMAND"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("completion"), std::string::npos);
    CliRun cook = runSopcook("help cook");
    ASSERT_EQ(cook.status, 0);
    EXPECT_NE(cook.out.find("Usage: sopcook cook [OPTIONS] OPERATOR"), std::string::npos) << cook.out;
    EXPECT_NE(cook.out.find("--attrib-override"), std::string::npos);

    TempDir tmp;
    CliRun script = runSopcook("completion bash");
    ASSERT_EQ(script.status, 0) << script.err;
    EXPECT_NE(script.out.find("complete -F _sopcook sopcook"), std::string::npos);
    writeText(tmp / "complete.sh", script.out);
    // Completing "sopcook cook billowfold --res" in a bash that sourced the script.
    writeText(tmp / "try.sh", "source '" + (tmp / "complete.sh") +
                                  "'\nCOMP_WORDS=(sopcook cook billowfold --res); COMP_CWORD=3; _sopcook; echo \"${COMPREPLY[*]}\"\n"
                                  "COMP_WORDS=(sopcook he); COMP_CWORD=1; _sopcook; echo \"${COMPREPLY[*]}\"\n");
    std::string answer = tmp / "answer";
    ASSERT_EQ(std::system(("bash '" + (tmp / "try.sh") + "' >'" + answer + "' 2>&1").c_str()), 0);
    EXPECT_EQ(readText(answer), "--resample\nhelp\n");
}
