// SPDX-License-Identifier: Apache-2.0
// What the operators say about themselves through their plug-ins' traits
// export, the defaults for one that says nothing, and that no host source
// knows an operator by name.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include <gtest/gtest.h>

#include "OperatorTraits.h"
#include "TestHost.h"
#include "cook/AttributeUse.h"
#include "cook/CookEstimate.h"

namespace
{
const std::map<std::string, traits::InputKind> &suiteInputs()
{
    using K = traits::InputKind;
    static const std::map<std::string, K> kinds = {
        {"plumeweave", K::Points}, {"plumeweave_velocity_stretch", K::Points}, {"plumeweave_velocity_stretchMT", K::Points},
        {"skinweave", K::Quads},   {"skinweaveMT", K::Quads},                  {"strandcast", K::Curves},
        {"strandcastStraightMT", K::Curves}, {"billowfold", K::Points},        {"billowfoldMT", K::Points},
        {"slabreel", K::Image}};
    return kinds;
}

const void *askTraits(const OP_Operator &op, unsigned version, const char *toolchain)
{
    using Entry = const void *(*)(unsigned, const char *);
    auto entry = reinterpret_cast<Entry>(op.getTraitsEntry());
    return entry ? entry(version, toolchain) : nullptr;
}
} // namespace

// Every operator of the suite exports its traits: a cost model, its input
// kind, the attributes it reads; only slabreel reads an image and only the
// curve casts need a noise frame.
TEST(OperatorTraits, EverySuiteOperatorDescribesItself)
{
    for (const auto &[name, kind] : suiteInputs())
    {
        OP_Operator &op = testhost::requireOp(name);
        const traits::OperatorTraits *t = traits::operatorTraits(op);
        ASSERT_NE(t, nullptr) << name;
        EXPECT_EQ(t->input, kind) << name;
        EXPECT_NE(t->cost, nullptr) << name;
        EXPECT_TRUE(t->attributesKnown) << name;
        EXPECT_EQ(t->attributes.empty(), kind == traits::InputKind::Image) << name;
        for (const traits::AttributeRead &a : t->attributes)
        {
            bool found = false;
            for (const PRM_Template *p = op.getParmTemplates(); p && !p->isTerminator(); ++p)
                found = found || (p->getToken() && a.parm == p->getToken() && p->isStringType());
            EXPECT_TRUE(found) << name << " reads through " << a.parm << ", which is not one of its string parameters";
            EXPECT_FALSE(a.consequence.empty()) << name << " " << a.parm;
        }
        bool curves = kind == traits::InputKind::Curves;
        EXPECT_EQ(t->noiseFrame.parms.size(), curves ? 3u : 0u) << name;
        EXPECT_EQ(t->image.fileParm, kind == traits::InputKind::Image ? "giffile" : "") << name;
    }
}

// The record is handed out only to a host of the same version and tool chain.
TEST(OperatorTraits, EntryPointChecksVersionAndToolchain)
{
    OP_Operator &op = testhost::requireOp("billowfold");
    EXPECT_NE(askTraits(op, traits::version, SOP_PLUGIN_TAG), nullptr);
    EXPECT_EQ(askTraits(op, traits::version + 1, SOP_PLUGIN_TAG), nullptr);
    EXPECT_EQ(askTraits(op, traits::version, "another-compiler"), nullptr);
    EXPECT_EQ(askTraits(op, traits::version, nullptr), nullptr);
}

// An operator that states nothing: points when it has an input, no cost
// model, and every "...attrib" string parameter read as one component.
TEST(OperatorTraits, OperatorWithoutTraitsGetsTheDefaults)
{
    OP_Operator withInput("eleventh", "Eleventh", nullptr, nullptr, 0, 1);
    OP_Operator generator("twelfth", "Twelfth", nullptr, nullptr, 0, 0);
    EXPECT_EQ(traits::operatorTraits(withInput), nullptr);
    EXPECT_EQ(traits::traitsOf(withInput).input, traits::InputKind::Points);
    EXPECT_EQ(traits::traitsOf(generator).input, traits::InputKind::None);
    EXPECT_FALSE(sopcook::hasCostModel(withInput));
    EXPECT_TRUE(sopcook::noiseFrame(withInput).parms.empty());

    auto uses = sopcook::attributeUses(withInput, {"glowattrib", "label", "attribname"});
    ASSERT_EQ(uses.size(), 1u);
    EXPECT_EQ(uses[0].parm, "glowattrib");
    EXPECT_EQ(uses[0].components, 1);
    EXPECT_TRUE(uses[0].essential);
    EXPECT_EQ(uses[0].consequence, "every value reads 0");
}

// slabreel's image reading: a header-only read of what the file holds, and
// the library's failure worded without its source location.
TEST(OperatorTraits, SlabreelReadsItsImageAndWordsFailures)
{
    const traits::OperatorTraits *t = traits::operatorTraits(testhost::requireOp("slabreel"));
    ASSERT_TRUE(t && t->image.read && t->image.failureReason);
    EXPECT_EQ(t->image.read("").problem, "no image file (set giffile=FILE)");
    std::string missing = (std::filesystem::temp_directory_path() / "no_such_traits_image.gif").string();
    EXPECT_EQ(t->image.read(missing).problem, std::strerror(ENOENT));

    std::string notImage = (std::filesystem::temp_directory_path() / "traits_not_an_image.gif").string();
    std::ofstream(notImage) << "this is text";
    traits::ImageStack s = t->image.read(notImage);
    EXPECT_FALSE(s.problem.empty());
    EXPECT_EQ(s.problem.find(" @ "), std::string::npos) << s.problem;
    std::filesystem::remove(notImage);

    EXPECT_EQ(t->image.failureReason("improper image header `x.gif' @ error/gif.c/ReadGIFImage/1028"),
              "improper image header `x.gif'");
    EXPECT_EQ(t->image.failureReason("std::bad_alloc"), "out of memory");
}

// No operator of the suite is named in sopcook's or the add-on's sources
// (the demo's scenes aside): what a host needs to know, the operator says.
TEST(OperatorTraits, NoOperatorNamesInHostSources)
{
    std::string alternatives;
    for (const auto &entry : suiteInputs()) alternatives += (alternatives.empty() ? "" : "|") + entry.first;
    const std::regex name("(^|[^A-Za-z0-9_])(" + alternatives + ")($|[^A-Za-z0-9_])");
    const std::filesystem::path root = SUITE_SOURCE_DIR;
    const std::filesystem::path allowed = root / "sopcook/cli/DemoScenes.cpp";
    int scanned = 0;
    for (const char *folder : {"sopcook", "blender/sopcook_volumes"})
        for (const auto &f : std::filesystem::recursive_directory_iterator(root / folder))
        {
            std::string ext = f.path().extension().string();
            if (!f.is_regular_file() || (ext != ".cpp" && ext != ".h" && ext != ".py") || f.path() == allowed) continue;
            ++scanned;
            std::ifstream in(f.path());
            std::string line;
            for (int n = 1; std::getline(in, line); ++n)
                EXPECT_FALSE(std::regex_search(line, name)) << f.path().string() << ":" << n << ": " << line;
        }
    EXPECT_GT(scanned, 40);
}
