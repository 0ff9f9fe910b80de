// SPDX-License-Identifier: Apache-2.0
// Nothing the user names is lost: an output that names an input or another
// output (directly, through a relative name, a link or a frame pattern) is
// refused before anything is touched; outputs that are links are written
// through; long names, wide frame patterns and extreme parameter values
// behave as documented.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "Messages.h"
#include "SopcookRun.h"
#include "TestHost.h"
#include "cook/CookCommand.h"
#include "cook/Frames.h"
#include "cook/ParmAssign.h"
#include "cook/Preflight.h"
#include "cook/UserPaths.h"
#include "vdb/VdbWriter.h"

namespace
{
using namespace sopcooktest;
using sopcook::NamedOutput;
using sopcook::NamedPath;
using sopcook::OutputKind;
using sopcook::UserPaths;

const std::string dataDir = SOPCOOK_TEST_DATA;

bool havePlugin(const char *name) { return testhost::op(name) != nullptr; }

size_t lineCount(const std::string &text) { return size_t(std::count(text.begin(), text.end(), '\n')); }

std::string quoted(const std::string &s) { return "'" + s + "'"; }

// The message checkUserPaths gives, or "" when it accepts the paths.
std::string refusal(const UserPaths &paths)
{
    try
    {
        sopcook::checkUserPaths(paths);
        return "";
    }
    catch (const sopcook::Error &e)
    {
        return e.what();
    }
}

UserPaths oneEach(const std::string &input, const std::string &output, OutputKind kind = OutputKind::Vdb)
{
    UserPaths p;
    p.inputs.push_back(NamedPath{"-i", input, input});
    p.outputs.push_back(NamedOutput{{"-o", output, output}, kind});
    return p;
}

// A cook whose input the user cares about: the points file copied into tmp.
std::string userInput(const TempDir &tmp, const std::string &name)
{
    std::string path = tmp / name;
    writeText(path, readText(dataDir + "/points.geo"));
    return path;
}

std::string cookArgs(const std::string &input) { return "cook billowfold -s divs=6,6,6 -i " + quoted(input); }
} // namespace

// ---------------------------------------------------------------- the check itself

TEST(UserPaths, AnOutputMeetingAnInputIsRefusedHoweverItIsNamed)
{
    TempDir tmp;
    const std::string in = userInput(tmp, "in.geo");
    mkdir((tmp / "sub").c_str(), 0755);
    ASSERT_EQ(symlink(in.c_str(), (tmp / "link.vdb").c_str()), 0);
    ASSERT_EQ(link(in.c_str(), (tmp / "hard.vdb").c_str()), 0);
    // A link to a file not there yet meets the input that will create it.
    ASSERT_EQ(symlink("later.vdb", (tmp / "dangling.vdb").c_str()), 0);

    EXPECT_NE(refusal(oneEach(in, in)).find("-o " + in + " would overwrite the input -i " + in), std::string::npos);
    const std::string roundabout = tmp / "sub/../in.geo";
    EXPECT_NE(refusal(oneEach(in, roundabout)).find("both " + sopcook::resolvedPath(in)), std::string::npos)
        << refusal(oneEach(in, roundabout));
    EXPECT_NE(refusal(oneEach(in, tmp / "link.vdb")).find("would overwrite the input"), std::string::npos);
    EXPECT_NE(refusal(oneEach(in, tmp / "hard.vdb")).find("would overwrite the input"), std::string::npos);
    EXPECT_NE(refusal(oneEach(tmp / "later.vdb", tmp / "dangling.vdb")).find("would overwrite"), std::string::npos);

    // Different files, each named as what it holds, pass.
    EXPECT_EQ(refusal(oneEach(in, tmp / "out.vdb")), "");
    EXPECT_EQ(refusal(oneEach(in, tmp / "sub/in.vdb")), "");
    EXPECT_EQ(readText(in), readText(dataDir + "/points.geo")); // never touched
}

TEST(UserPaths, OutputsMeetingEachOtherAndMisnamedOutputsAreRefused)
{
    TempDir tmp;
    UserPaths both;
    both.outputs.push_back(NamedOutput{{"-o", tmp / "o.vdb", tmp / "o.vdb"}, OutputKind::Vdb});
    ASSERT_EQ(symlink((tmp / "o.vdb").c_str(), (tmp / "p.png").c_str()), 0);
    both.outputs.push_back(NamedOutput{{"--preview", tmp / "p.png", tmp / "p.png"}, OutputKind::Png});
    EXPECT_NE(refusal(both).find("name the same file"), std::string::npos) << refusal(both);

    struct Case
    {
        OutputKind kind;
        std::string name, expected;
    };
    const Case cases[] = {
        {OutputKind::Vdb, "o.txt", "the output is an OpenVDB file; name it NAME.vdb"},
        {OutputKind::Png, "o.vdb", "the preview is a PNG image; name it NAME.png"},
        {OutputKind::Png, "o.PNG.tmp", "name it NAME.png"},
        {OutputKind::Text, "o.geo", "a log is text"},
        {OutputKind::Text, "o.bgeo.sc", "a log is text"},
        {OutputKind::Text, "o.VDB", "a log is text"},
        {OutputKind::Text, "o.gif", "a log is text"},
    };
    for (const Case &c : cases)
        EXPECT_NE(refusal(oneEach(tmp / "in.geo", tmp / c.name, c.kind)).find(c.expected), std::string::npos) << c.name;
    EXPECT_EQ(refusal(oneEach(tmp / "in.geo", tmp / "cook.log", OutputKind::Text)), "");
    EXPECT_EQ(refusal(oneEach(tmp / "in.geo", tmp / "o.Png", OutputKind::Png)), "");
    EXPECT_TRUE(tmp.files() == std::vector<std::string>{"p.png"}) << "the check created or removed a file";
}

TEST(UserPaths, ACookNamesEveryFrameOfItsPatternsAndItsFileParameters)
{
    if (!havePlugin("slabreel")) GTEST_SKIP() << "no slabreel plug-in";
    sopcook::CookOptions o;
    o.input = "in.$F4.geo";
    o.camera = "cam.json";
    o.output = "out.$F.vdb";
    o.log = "cook.log";
    o.settings = {"giffile=first.gif", "offset=1", "giffile=reel.gif"};
    const UserPaths p = sopcook::cookUserPaths(testhost::op("slabreel"), o, {9, 10, 11});
    std::vector<std::string> inputs, outputs;
    for (const NamedPath &i : p.inputs) inputs.push_back(i.option + " " + i.path);
    for (const NamedOutput &x : p.outputs) outputs.push_back(x.option + " " + x.path);
    EXPECT_EQ(inputs, (std::vector<std::string>{"-i in.0009.geo", "-i in.0010.geo", "-i in.0011.geo", "--camera cam.json",
                                                "-s giffile= reel.gif"}));
    EXPECT_EQ(outputs, (std::vector<std::string>{"-o out.9.vdb", "-o out.10.vdb", "-o out.11.vdb", "--log cook.log"}));
    o.estimateOnly = true; // writes nothing
    EXPECT_TRUE(sopcook::cookUserPaths(testhost::op("slabreel"), o, {1}).outputs.empty());
}

// ---------------------------------------------------------------- sopcook, end to end

TEST(UserPathsCook, PreviewAndLogNeverReplaceTheInputOrTheOutput)
{
    if (!havePlugin("billowfold")) GTEST_SKIP() << "no billowfold plug-in";
    TempDir tmp;
    const std::string in = userInput(tmp, "mine.geo"), original = readText(in);
    const std::string out = tmp / "x.vdb";
    struct Case
    {
        std::string extra, expected;
    };
    const Case cases[] = {
        {"-o " + quoted(out) + " --preview " + quoted(in), "--preview " + in + " would overwrite the input -i " + in},
        {"-o " + quoted(out) + " --log " + quoted(in), "--log " + in + " would overwrite the input -i " + in},
        {"-o " + quoted(out) + " --preview " + quoted(out), "name the same file"},
        {"-o " + quoted(out) + " --log " + quoted(out), "name the same file"},
        {"-o " + quoted(out) + " --log " + quoted(tmp / "other.vdb"), "a log is text"},
        {"-o " + quoted(in), "would overwrite the input"},
        {"-o " + quoted(out) + " --preview " + quoted(tmp / "p.jpg"), "name it NAME.png"},
    };
    for (const Case &c : cases)
    {
        CliRun r = runSopcook(cookArgs(in) + " " + c.extra);
        EXPECT_EQ(r.status, 1) << c.extra;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << c.extra << "\n" << r.err;
        EXPECT_EQ(lineCount(r.err), 1u) << r.err;
        EXPECT_EQ(readText(in), original) << c.extra;
        EXPECT_TRUE(tmp.files() == std::vector<std::string>{"mine.geo"}) << c.extra << ": a file was written";
    }
}

TEST(UserPathsCook, AFramePatternIsCheckedForEveryFrameBeforeAnyFrameCooks)
{
    if (!havePlugin("billowfold")) GTEST_SKIP() << "no billowfold plug-in";
    TempDir tmp;
    for (int f = 1; f <= 3; ++f) userInput(tmp, "in.000" + std::to_string(f) + ".geo");
    const std::string pattern = tmp / "in.$F4.geo", out = tmp / "out.$F4.vdb";
    // The preview names every input frame; so does a pattern written another way.
    for (const std::string &preview : {pattern, tmp / "in.000$F.geo"})
    {
        CliRun r = runSopcook(cookArgs(pattern) + " --frames 1-3 -o " + quoted(out) + " --preview " + quoted(preview));
        EXPECT_EQ(r.status, 1) << preview;
        EXPECT_NE(r.err.find("(" + tmp / "in.0001.geo" + ") would overwrite the input -i " + pattern), std::string::npos)
            << r.err;
        EXPECT_EQ(lineCount(r.err), 1u) << r.err;
    }
    // Only the last frame's preview meets an input: it is found before frame 1 cooks.
    CliRun late = runSopcook(cookArgs(pattern) + " --frames 1-3 -o " + quoted(out) + " --preview " +
                             quoted(tmp / "p.$F.png") + " --camera " + quoted(tmp / "p.3.png"));
    EXPECT_EQ(late.status, 1);
    EXPECT_NE(late.err.find("(" + tmp / "p.3.png" + ") would overwrite the input --camera"), std::string::npos) << late.err;
    for (int f = 1; f <= 3; ++f)
        EXPECT_EQ(readText(tmp / ("in.000" + std::to_string(f) + ".geo")), readText(dataDir + "/points.geo"));
    EXPECT_EQ(tmp.files().size(), 3u) << "a frame was cooked or a preview written";
}

TEST(UserPathsCook, OutputsThatAreLinksAreWrittenThroughAndStayLinks)
{
    if (!havePlugin("billowfold")) GTEST_SKIP() << "no billowfold plug-in";
    TempDir tmp;
    const std::string in = userInput(tmp, "in.geo");
    mkdir((tmp / "store").c_str(), 0755);
    writeText(tmp / "store/cloud.vdb", "old");
    ASSERT_EQ(symlink("store/cloud.vdb", (tmp / "cloud.vdb").c_str()), 0);
    ASSERT_EQ(symlink("store/look.png", (tmp / "look.png").c_str()), 0); // dangling: created through the link
    CliRun r = runSopcook(cookArgs(in) + " -o " + quoted(tmp / "cloud.vdb") + " --preview " + quoted(tmp / "look.png"));
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat st;
    ASSERT_EQ(lstat((tmp / "cloud.vdb").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link was replaced by a file";
    ASSERT_EQ(lstat((tmp / "look.png").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_FALSE(readGrids(tmp / "store/cloud.vdb").empty());
    EXPECT_EQ(readText(tmp / "store/look.png").substr(1, 3), "PNG");
    EXPECT_EQ(tmp.files(), (std::vector<std::string>{"cloud.vdb", "in.geo", "look.png", "store"}));
    CliRun listed = runSopcook("info " + quoted(tmp / "cloud.vdb"));
    EXPECT_EQ(listed.status, 0) << listed.err;
    // Nothing temporary is left beside the targets.
    CliRun store = runSopcook("info " + quoted(tmp / "store/cloud.vdb"));
    std::string left;
    DIR *d = opendir((tmp / "store").c_str());
    ASSERT_NE(d, nullptr);
    while (dirent *e = readdir(d)) left += std::string(e->d_name) + " ";
    closedir(d);
    EXPECT_EQ(left.find("partial"), std::string::npos) << left;
    EXPECT_EQ(store.status, 0);
}

TEST(UserPathsCook, LongNamesAndWideFramePatternsWrite)
{
    if (!havePlugin("billowfold")) GTEST_SKIP() << "no billowfold plug-in";
    TempDir tmp;
    const std::string in = userInput(tmp, "in.geo");
    const std::string longName = std::string(247, 'n') + ".vdb"; // 251 characters: no room for ".partial-PID"
    CliRun r = runSopcook(cookArgs(in) + " -o " + quoted(tmp / longName));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(readGrids(tmp / longName).empty());

    CliRun wide = runSopcook(cookArgs(in) + " --frames 7-8 -o " + quoted(tmp / "w.$F12.vdb"));
    EXPECT_EQ(wide.status, 0) << wide.err;
    EXPECT_TRUE(exists(tmp / "w.000000000007.vdb"));
    EXPECT_TRUE(exists(tmp / "w.000000000008.vdb"));
    CliRun absurd = runSopcook(cookArgs(in) + " -o " + quoted(tmp / "w.$F99999999999.vdb"));
    EXPECT_EQ(absurd.status, 1);
    EXPECT_NE(absurd.err.find("pads the frame number to more than 16 digits"), std::string::npos) << absurd.err;
    EXPECT_EQ(lineCount(absurd.err), 1u) << absurd.err;
    EXPECT_EQ(tmp.files().size(), 4u);
}

TEST(UserPathsCook, DivisionsBelowTwoAreCookedAsTwoWithAWarning)
{
    if (!havePlugin("billowfold")) GTEST_SKIP() << "no billowfold plug-in";
    TempDir tmp;
    const std::string in = userInput(tmp, "in.geo");
    CliRun r = runSopcook("cook billowfold -i " + quoted(in) + " -s divs=0,-3,5 -o " + quoted(tmp / "o.vdb"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: -s divs=0,-3,5: a volume has at least 2 divisions along each axis; cooking divs=2,2,5"),
              std::string::npos)
        << r.err;
    CliRun quiet = runSopcook("cook billowfold -i " + quoted(in) + " -s divs=2,3,5 -o " + quoted(tmp / "o.vdb"));
    EXPECT_EQ(quiet.err.find("divisions"), std::string::npos) << quiet.err;
}

// ---------------------------------------------------------------- merge

TEST(UserPathsMerge, TheMergedFileNeverReplacesAPartAndIsAVdb)
{
    if (!havePlugin("billowfold")) GTEST_SKIP() << "no billowfold plug-in";
    TempDir tmp;
    const std::string in = userInput(tmp, "in.geo");
    for (int s = 0; s < 2; ++s)
    {
        CliRun r = runSopcook(cookArgs(in) + " --slab " + std::to_string(s) + "/2 -o " + quoted(tmp / ("a-" + std::to_string(s) + ".vdb")));
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const std::string part0 = readText(tmp / "a-0.vdb");
    ASSERT_EQ(symlink("a-1.vdb", (tmp / "one.vdb").c_str()), 0);
    const std::string parts = " " + quoted(tmp / "a-0.vdb") + " " + quoted(tmp / "a-1.vdb");
    struct Case
    {
        std::string out, expected;
    };
    const Case cases[] = {
        {tmp / "a-0.vdb", "merge output " + tmp / "a-0.vdb" + " would overwrite the input part " + tmp / "a-0.vdb"},
        {tmp / "one.vdb", "would overwrite the input part " + tmp / "a-1.vdb"},
        {tmp / "o.txt", "merge output " + tmp / "o.txt" + ": the output is an OpenVDB file; name it NAME.vdb"},
    };
    for (const Case &c : cases)
    {
        CliRun r = runSopcook("merge " + quoted(c.out) + parts);
        EXPECT_EQ(r.status, 1) << c.out;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
        EXPECT_EQ(lineCount(r.err), 1u) << r.err;
    }
    EXPECT_EQ(readText(tmp / "a-0.vdb"), part0);
    EXPECT_FALSE(exists(tmp / "o.txt"));
    CliRun ok = runSopcook("merge " + quoted(tmp / "whole.vdb") + parts);
    EXPECT_EQ(ok.status, 0) << ok.err;
}

// ---------------------------------------------------------------- names and values

TEST(UserPathsNames, TemporaryNamesFitTheNameLimitAndStaleOnesAreStillFound)
{
    EXPECT_EQ(sopcook::temporaryPrefix("out.vdb"), "out.vdb.partial-");
    EXPECT_EQ(sopcook::temporaryPath("dir/out.vdb"), "dir/out.vdb.partial-" + std::to_string(getpid()));
    const std::string a = std::string(251, 'a') + ".vdb", b = std::string(251, 'a') + ".VDB";
    const std::string pa = sopcook::temporaryPrefix(a);
    EXPECT_LE(pa.size() + 10, size_t(NAME_MAX));
    EXPECT_EQ(pa, sopcook::temporaryPrefix(a)) << "not the same in every process";
    EXPECT_NE(pa, sopcook::temporaryPrefix(b)) << "two long names share a temporary name";
    // A multi-byte character is never cut in half.
    std::string wide;
    while (wide.size() < 300) wide += "\xc3\xa9";
    const std::string pw = sopcook::temporaryPrefix(wide);
    EXPECT_NE(static_cast<unsigned char>(pw[pw.find('~') - 1]) & 0xC0, 0xC0) << "ends in a lead byte";

    // A temporary file of a long name, left by a process that is gone, is removed.
    TempDir tmp;
    pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string stale = tmp / (pa + std::to_string(gone));
    writeText(stale, "partial");
    std::vector<std::string> warnings;
    sopcook::removeStalePartials(tmp / a, warnings);
    EXPECT_FALSE(exists(stale));
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("left by process " + std::to_string(gone)), std::string::npos);
}

TEST(UserPathsNames, FrameWidthsTakeEveryDigit)
{
    EXPECT_EQ(sopcook::expandFrame("f.$F12.vdb", 2), "f.000000000002.vdb");
    EXPECT_EQ(sopcook::expandFrame("f.$F04.vdb", 2), "f.0002.vdb");
    EXPECT_EQ(sopcook::expandFrame("f.$F16.vdb", -2), "f.-000000000000002.vdb");
    EXPECT_EQ(sopcook::expandFrame("$F", 31), "31");
    EXPECT_THROW(sopcook::expandFrame("f.$F17.vdb", 2), sopcook::Error);
    EXPECT_THROW(sopcook::expandFrame("f.$F" + std::string(400, '9'), 2), sopcook::Error);
    try
    {
        sopcook::expandFrame("f.$F" + std::string(400, '9'), 2);
    }
    catch (const sopcook::Error &e)
    {
        EXPECT_LT(std::string(e.what()).size(), 300u) << "an unbounded message";
    }
}

TEST(UserPathsNames, IntegerParametersTakeTheWholeIntRange)
{
    if (!havePlugin("slabreel")) GTEST_SKIP() << "no slabreel plug-in";
    const OP_Operator &op = *testhost::op("slabreel");
    auto value = [&](const std::string &text) {
        return sopcook::parseParameters(op, {"offset=" + text}).at(0).numbers.at(0);
    };
    EXPECT_EQ(value("-2147483648"), -2147483648.0);
    EXPECT_EQ(value("2147483647"), 2147483647.0);
    EXPECT_THROW(value("2147483648"), sopcook::Error);
    EXPECT_THROW(value("-2147483649"), sopcook::Error);
}
