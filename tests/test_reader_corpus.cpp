// SPDX-License-Identifier: Apache-2.0
// Every fuzzing seed and every input a fuzzer once broke a reader with, fed
// to the readers: each is read or refused with sopcook::Error, nothing else.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "io/CameraFile.h"
#include "FuzzTargetOperator.h"
#include "io/GeometryFile.h"
#include "Messages.h"
#include "cook/ParmAssign.h"

namespace fs = std::filesystem;

namespace
{
// The files of tests/data/fuzz/<kind> and tests/data/regressions/<kind>.
std::vector<fs::path> corpus(const std::string &kind)
{
    std::vector<fs::path> files;
    for (const char *root : {"fuzz", "regressions"})
    {
        fs::path dir = fs::path(SUITE_TEST_DATA) / root / kind;
        if (!fs::is_directory(dir)) continue;
        for (const fs::directory_entry &e : fs::recursive_directory_iterator(dir))
            if (e.is_regular_file()) files.push_back(e.path());
    }
    return files;
}

void feedEach(const std::string &kind, const std::function<void(const std::string &, const std::string &)> &read)
{
    std::vector<fs::path> files = corpus(kind);
    EXPECT_FALSE(files.empty()) << "no seeds for " << kind;
    for (const fs::path &f : files)
    {
        SCOPED_TRACE(f.string());
        std::string bytes = sopcook::readFileBytes(f.string());
        try
        {
            read(bytes, f.filename().string());
        }
        catch (const sopcook::Error &e)
        {
            // A refusal names the file.
            EXPECT_NE(std::string(e.what()).find(f.filename().string()), std::string::npos) << e.what();
        }
    }
}
} // namespace

TEST(ReaderCorpus, GeometryReaders)
{
    std::vector<std::string> warnings;
    feedEach("geo", [&](const std::string &bytes, const std::string &label) {
        GU_Detail gdp;
        sopcook::readGeoJson(bytes, label, gdp, warnings);
    });
    feedEach("bgeo", [&](const std::string &bytes, const std::string &label) {
        GU_Detail gdp;
        sopcook::readGeometryBytes(bytes, label, gdp, warnings);
    });
    feedEach("ply", [&](const std::string &bytes, const std::string &label) {
        GU_Detail gdp;
        sopcook::readPly(bytes, label, gdp, warnings);
    });
}

TEST(ReaderCorpus, CameraFiles)
{
    std::vector<std::string> warnings;
    feedEach("camera", [&](const std::string &bytes, const std::string &label) {
        sopcook::CameraSettings camera = sopcook::parseCameraJson(bytes, label, warnings);
        EXPECT_GT(camera.focal, 0);
        EXPECT_GT(camera.far, camera.near);
    });
}

TEST(ReaderCorpus, ParameterSettings)
{
    OP_Operator &op = fuzztarget::theOperator();
    std::vector<fs::path> files = corpus("parms");
    EXPECT_FALSE(files.empty());
    for (const fs::path &f : files)
    {
        SCOPED_TRACE(f.string());
        std::string text = sopcook::readFileBytes(f.string());
        std::vector<std::string> settings;
        for (size_t start = 0; start <= text.size();)
        {
            size_t nl = text.find('\n', start);
            if (nl == std::string::npos) nl = text.size();
            settings.push_back(text.substr(start, nl - start));
            start = nl + 1;
        }
        fuzztarget::SOP_FuzzTarget node(nullptr, "corpus1", &op);
        try
        {
            sopcook::assignParameters(node, op, settings);
        }
        catch (const sopcook::Error &e)
        {
            EXPECT_EQ(std::string(e.what()).rfind("-s ", 0), 0u) << e.what();
        }
    }
}
