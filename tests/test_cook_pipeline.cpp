// SPDX-License-Identifier: Apache-2.0
// The cook's steps as a door runs them: what each reports and with which
// kind, the door's wording in warnings and refusals, and the writer's abort
// hook.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "TestHost.h"
#include "cook/CookPipeline.h"
#include "cook/Interrupts.h"
#include "vdb/AbortHook.h"

using namespace sopcook;

namespace
{
// Every diagnostic, in order.
struct Recorded : Diagnostics
{
    std::vector<Diagnostic> said;
    void report(const Diagnostic &d) override { said.push_back(d); }

    std::vector<std::string> of(DiagnosticKind kind) const
    {
        std::vector<std::string> out;
        for (const Diagnostic &d : said)
            if (d.kind == kind) out.push_back(d.text);
        return out;
    }
};

struct DirectWatch : CookWatch
{
    bool run(const std::function<void()> &cook) override
    {
        cook();
        return false;
    }
};

// A door that spells every option differently from the command line.
const DoorWording &otherDoor()
{
    static const DoorWording w{
        [](const std::string &n, const std::string &v) { return "set(" + n + ", " + v + ")"; },
        [](const std::string &n, const std::string &) { return "attr(" + n + ")"; },
        [](const std::string &, const std::string &) { return std::string(); },
        "no points",
        "say force",
        "stop it",
        " runs on",
        " (ask for every line)",
        "pair()",
        "allow()"};
    return w;
}

ParmSetting setting(const OP_Operator &op, const std::string &name, std::vector<double> numbers)
{
    for (const PRM_Template *p : valueParameters(op))
        if (name == p->getToken()) return {p, std::move(numbers), {}};
    throw Error("no parameter " + name);
}

bool anyHas(const std::vector<std::string> &lines, const std::string &part)
{
    return std::any_of(lines.begin(), lines.end(), [&](const std::string &l) { return l.find(part) != std::string::npos; });
}

// Cooks request in memory through every step but the write.
void cookInMemory(CookPipeline &cook)
{
    DirectWatch watch;
    cook.read();
    cook.checkInput();
    cook.estimate();
    cook.checkEstimate();
    cook.cook(watch);
    cook.checkCook();
    cook.convert();
    cook.checkResult();
}
} // namespace

TEST(CookPipeline, PositionsOnlyPointsWarnInTheDoorsWordsAndCookEmpty)
{
    OP_Operator &op = testhost::requireOp("billowfold");
    Recorded said;
    CookRequest r;
    r.op = &op;
    r.parameters = {setting(op, "divs", {8, 8, 8})};
    r.input.label = "points";
    r.input.build = [](GU_Detail &gdp) {
        for (int i = 0; i < 5; ++i) testhost::addPoint(gdp, UT_Vector3(float(i), 0, float(i % 2)));
    };
    r.wording = &otherDoor();
    r.diagnostics = &said;
    CookPipeline cook(r);
    cookInMemory(cook);
    const std::vector<std::string> warnings = said.of(DiagnosticKind::Warning);
    EXPECT_TRUE(anyHas(warnings, "no point attribute 'density'")) << ::testing::PrintToString(warnings);
    EXPECT_TRUE(anyHas(warnings, "attr(density)"));
    EXPECT_FALSE(anyHas(warnings, "-a ")) << "a command-line flag in another door's warning";
    EXPECT_TRUE(anyHas(warnings, "the volume billowfold made is empty") || anyHas(warnings, "every volume billowfold made is empty"));
    // What the input lacks is said once per command, however many frames.
    for (const Diagnostic &d : said.said)
        if (d.text.find("no point attribute") != std::string::npos) EXPECT_TRUE(d.oncePerCommand);
}

TEST(CookPipeline, TrianglesThroughAQuadOperatorFoldIntoOneOutputLine)
{
    OP_Operator &op = testhost::requireOp("skinweave");
    Recorded said;
    CookRequest r;
    r.op = &op;
    r.parameters = {setting(op, "divs", {8, 8, 8})};
    r.input.label = "points";
    r.input.build = [](GU_Detail &gdp) {
        std::vector<GA_Offset> tri;
        for (int i = 0; i < 3; ++i) tri.push_back(testhost::addPoint(gdp, UT_Vector3(float(i), float(i * i), 0)));
        GEO_PrimPoly::build(&gdp, tri, true);
    };
    r.wording = &otherDoor();
    r.diagnostics = &said;
    CookPipeline cook(r);
    cookInMemory(cook);
    const std::vector<std::string> output = said.of(DiagnosticKind::Output);
    ASSERT_EQ(output.size(), 1u) << ::testing::PrintToString(said.of(DiagnosticKind::Warning));
    EXPECT_NE(output[0].find("non quad primitive"), std::string::npos) << output[0];
    EXPECT_NE(output[0].find("pair() pairs its triangles"), std::string::npos) << output[0];
    EXPECT_NE(output[0].find("(ask for every line)"), std::string::npos) << output[0];
}

TEST(CookPipeline, RefusalsAndParameterErrorsNameTheDoorsOption)
{
    OP_Operator &op = testhost::requireOp("billowfold");
    Recorded said;
    CookRequest r;
    r.op = &op;
    r.parameters = {setting(op, "divs", {4000, 4000, 4000})};
    r.wording = &otherDoor();
    r.diagnostics = &said;
    CookPipeline cook(r);
    cook.read();
    cook.checkInput();
    cook.estimate();
    try
    {
        cook.checkEstimate();
        FAIL() << "a 64-billion-voxel cook was not refused";
    }
    catch (const Error &e)
    {
        EXPECT_NE(std::string(e.what()).find("(say force)"), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).find("--force"), std::string::npos) << e.what();
    }
    try
    {
        parseParameters(op, {ParmText{"divz", "8,8,8", "[8]"}}, otherDoor());
        FAIL() << "an unknown parameter was taken";
    }
    catch (const Error &e)
    {
        EXPECT_EQ(std::string(e.what()).rfind("set(divz, [8]): billowfold has no parameter 'divz'; valid: ", 0), 0u) << e.what();
    }
    EXPECT_THROW(parseParameters(op, {ParmText{"divs", "8,8", "(8, 8)"}}, otherDoor()), Error);
    const std::vector<std::string> adjusted = parameterAdjustments(parseParameters(op, {ParmText{"divs", "1,8,8", "x"}}, otherDoor()), otherDoor());
    ASSERT_EQ(adjusted.size(), 1u);
    EXPECT_EQ(adjusted[0].rfind("set(divs, 1,8,8): ", 0), 0u) << adjusted[0];
}

TEST(CookPipeline, AMissingImageIsRefusedUnlessAllowedThenWarned)
{
    OP_Operator &op = testhost::requireOp("slabreel");
    const std::string gif = testing::TempDir() + "/pipeline-missing.gif";
    const PRM_Template *file = nullptr;
    for (const PRM_Template *p : valueParameters(op))
        if (p->isStringType()) file = p;
    ASSERT_NE(file, nullptr);
    for (bool allow : {false, true})
    {
        Recorded said;
        CookRequest r;
        r.op = &op;
        r.parameters = {ParmSetting{file, {}, {gif}}};
        r.allowEmpty = allow;
        r.wording = &otherDoor();
        r.diagnostics = &said;
        CookPipeline cook(r);
        cook.read();
        cook.checkInput();
        cook.estimate();
        if (!allow)
        {
            EXPECT_THROW(cook.checkEstimate(), Error);
            continue;
        }
        cook.checkEstimate();
        EXPECT_TRUE(anyHas(said.of(DiagnosticKind::Warning), "; cooking empty volumes (allow())"))
            << ::testing::PrintToString(said.of(DiagnosticKind::Warning));
    }
}

namespace
{
std::vector<std::string> theAbortPaths;
void recordAbortPath(const std::string &path) { theAbortPaths.push_back(path); }
} // namespace

TEST(CookPipeline, TheWriterTellsTheInstalledAbortHandlerWhatToRemove)
{
    // Without a handler the writer's calls do nothing.
    setAbortHandler(nullptr);
    removeOnAbort("/tmp/nothing");
    setAbortHandler(&recordAbortPath);
    OP_Operator &op = testhost::requireOp("billowfold");
    Recorded said;
    CookRequest r;
    r.op = &op;
    r.parameters = {setting(op, "divs", {4, 4, 4})};
    r.output.path = testing::TempDir() + "/pipeline-abort.vdb";
    r.diagnostics = &said;
    {
        CookPipeline cook(r);
        DirectWatch watch;
        cook.read();
        cook.cook(watch);
        theAbortPaths.clear();
        cook.write({}, nullptr);
    }
    setAbortHandler(nullptr);
    // The temporary file was named while written, then cleared once renamed.
    ASSERT_EQ(theAbortPaths.size(), 2u);
    EXPECT_NE(theAbortPaths[0].find("pipeline-abort.vdb.partial-"), std::string::npos) << theAbortPaths[0];
    EXPECT_EQ(theAbortPaths[1], "");
    EXPECT_TRUE(std::filesystem::exists(r.output.path));
    std::filesystem::remove(r.output.path);
}
