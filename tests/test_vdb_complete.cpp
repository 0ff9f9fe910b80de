// SPDX-License-Identifier: Apache-2.0
// "Complete" means complete: a .vdb file counts as a finished cook only when
// it reads back whole, holds a grid and carries no partial mark, for
// --skip-existing, info, merge and farm report alike. And damaged files
// (cut short, bits flipped) never abort a reader: in process through the
// archive check, and as `sopcook info` and `sopcook merge` processes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include <openvdb/io/Stream.h>
#include <openvdb/openvdb.h>

#include "Messages.h"
#include "vdb/VdbCheck.h"
#include "vdb/VdbComplete.h"
#include "vdb/VdbFile.h"
#include "vdb/VdbRead.h"
#include "vdb/VdbWriter.h"

namespace
{
using sopcook::VdbCompression;

const std::string examples = SUITE_EXAMPLES "/";
const std::string plume = "plumeweave -i " + examples + "points.geo -s divs=12,12,16 -s childrencount=4";

struct TempDir
{
    TempDir()
    {
        char tmpl[] = "/tmp/vdb-complete-XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string operator/(const std::string &name) const { return path + "/" + name; }
    std::string path;
};

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
void writeFile(const std::string &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }
bool exists(const std::string &path) { return access(path.c_str(), F_OK) == 0; }

// A finished process: how it ended and what it printed.
struct Finished
{
    int exitCode = -1; // -1 when a signal ended it
    int signal = 0;
    std::string out, err;
};

// Runs the built sopcook with args, no shell in between, so a signal that
// ends it is seen as one.
Finished sopcook(const std::vector<std::string> &args, const std::string &dir)
{
    const std::string outPath = dir + "/.out", errPath = dir + "/.err";
    pid_t pid = fork();
    if (pid == 0)
    {
        int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        std::vector<char *> argv{const_cast<char *>(SOPCOOK_BINARY)};
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(SOPCOOK_BINARY, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    Finished r;
    if (WIFEXITED(status)) r.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    r.out = readFile(outPath);
    r.err = readFile(errPath);
    return r;
}

std::vector<std::string> words(const std::string &text)
{
    std::vector<std::string> w;
    std::istringstream in(text);
    for (std::string s; in >> s;) w.push_back(s);
    return w;
}

// One line of printable text, of bounded length.
::testing::AssertionResult isOneBoundedLine(const std::string &text, size_t most)
{
    const size_t newline = text.find('\n');
    if (text.empty() || newline != text.size() - 1) return ::testing::AssertionFailure() << "not one line: " << text;
    if (text.size() > most) return ::testing::AssertionFailure() << text.size() << " characters: " << text.substr(0, 200);
    for (unsigned char c : text.substr(0, newline))
        if (c < 0x20 || c >= 0x7f) return ::testing::AssertionFailure() << "raw byte " << int(c) << " in: " << text;
    return ::testing::AssertionSuccess();
}

// A small cook's worth of grids: a fog volume over a few leaves with an
// internal-node tile, a vector grid, and the metadata sopcook writes.
openvdb::GridPtrVec sampleGrids(bool half = false)
{
    sopcook::prepareVdbReading();
    auto density = openvdb::FloatGrid::create(0.0f);
    density->setName("density");
    density->setGridClass(openvdb::GRID_FOG_VOLUME);
    auto acc = density->getAccessor();
    for (int i = 0; i < 40; ++i) acc.setValue(openvdb::Coord(i * 3, i % 7, 2 * i), 0.25f + float(i));
    density->tree().addTile(1, openvdb::Coord(512, 0, 0), 0.5f, true);
    density->insertMeta("resolution", openvdb::Vec3IMetadata(openvdb::Vec3i(12, 12, 16)));
    density->insertMeta("dopobject", openvdb::StringMetadata("obj"));
    density->insertMeta("visible", openvdb::BoolMetadata(true));
    auto vel = openvdb::Vec3SGrid::create(openvdb::Vec3s(0));
    vel->setName("vel");
    vel->setTransform(openvdb::math::Transform::createLinearTransform(0.5));
    auto vacc = vel->getAccessor();
    for (int i = 0; i < 20; ++i) vacc.setValue(openvdb::Coord(-i * 5, i, 3), openvdb::Vec3s(float(i), 1, -2));
    density->setSaveFloatAsHalf(half);
    vel->setSaveFloatAsHalf(half);
    return {density, vel};
}

std::string writeSample(const std::string &path, VdbCompression c, bool half = false)
{
    openvdb::GridPtrVec grids = sampleGrids(half);
    sopcook::writeGridsVdb(grids, path, c);
    return readFile(path);
}

TEST(VdbArchiveCheck, PassesWhatTheWritersWriteAndReadsItBack)
{
    TempDir dir;
    for (VdbCompression c : {VdbCompression::None, VdbCompression::Zip, VdbCompression::Blosc})
        for (bool half : {false, true})
        {
            const std::string path = dir / "s.vdb";
            writeSample(path, c, half);
            sopcook::VdbArchiveCheck check = sopcook::checkVdbArchive(path);
            EXPECT_TRUE(check.whole()) << sopcook::compressionName(c) << " half " << half << ": " << check.fault;
            EXPECT_EQ(check.gridCount, 2);
            ASSERT_EQ(check.grids.size(), 2u);
            EXPECT_EQ(check.grids[0].name, "density");
            EXPECT_EQ(check.grids[1].type, "Tree_vec3s_5_4_3");
            openvdb::GridPtrVecPtr grids = sopcook::readVdbGrids(path);
            ASSERT_EQ(grids->size(), 2u);
            EXPECT_EQ((*grids)[0]->activeVoxelCount(), sampleGrids()[0]->activeVoxelCount());
            EXPECT_EQ((*grids)[1]->activeVoxelCount(), 20);
            std::string why;
            EXPECT_TRUE(sopcook::isCompleteVdb(path, "", &why)) << why;
        }

    // The library's own writers: a seekable file with statistics and a
    // shared tree (an instance), a stream without offsets, and no grids.
    openvdb::GridPtrVec grids = sampleGrids();
    openvdb::GridBase::Ptr twin = grids[0]->copyGrid();
    twin->setName("twin");
    grids.push_back(twin);
    openvdb::io::File(dir / "file.vdb").write(grids);
    {
        std::ofstream out(dir / "stream.vdb", std::ios::binary);
        openvdb::io::Stream(out).write(grids);
    }
    openvdb::io::File(dir / "empty.vdb").write(openvdb::GridPtrVec());
    for (const char *name : {"file.vdb", "stream.vdb", "empty.vdb"})
    {
        sopcook::VdbArchiveCheck check = sopcook::checkVdbArchive(dir / name);
        EXPECT_TRUE(check.whole()) << name << ": " << check.fault;
    }
    EXPECT_EQ(sopcook::readVdbGrids(dir / "file.vdb")->size(), 3u);
    EXPECT_EQ(sopcook::readVdbGrids(dir / "stream.vdb")->size(), 3u);
    std::string why;
    EXPECT_FALSE(sopcook::isCompleteVdb(dir / "empty.vdb", "", &why));
    EXPECT_NE(why.find("holds no grids"), std::string::npos) << why;
}

TEST(VdbArchiveCheck, EveryCutIsRefusedWithOneBoundedLine)
{
    TempDir dir;
    for (VdbCompression c : {VdbCompression::None, VdbCompression::Blosc})
    {
        const std::string whole = writeSample(dir / "whole.vdb", c);
        const std::string cut = dir / "cut.vdb";
        size_t tried = 0;
        // Every length through the header and first metadata, then a spread.
        for (size_t n = 0; n < whole.size(); n += (n < 160 ? 1 : 1 + whole.size() / 120))
        {
            writeFile(cut, whole.substr(0, n));
            sopcook::VdbArchiveCheck check = sopcook::checkVdbArchive(cut);
            EXPECT_FALSE(check.whole()) << "cut to " << n << " of " << whole.size();
            EXPECT_TRUE(isOneBoundedLine(check.fault + "\n", 320));
            std::string why;
            EXPECT_FALSE(sopcook::isCompleteVdb(cut, "", &why)) << n;
            EXPECT_EQ(why.rfind(cut, 0), 0u) << "names the file: " << why;
            ++tried;
        }
        EXPECT_GT(tried, 250u);
        // A whole file with bytes after its last grid is not the file written.
        writeFile(cut, whole + std::string(3, '\0'));
        EXPECT_NE(sopcook::checkVdbArchive(cut).fault.find("3 bytes after the last grid"), std::string::npos);
    }
}

TEST(VdbArchiveCheck, FlippedBitsAreRefusedOrReadNeverAbort)
{
    TempDir dir;
    for (VdbCompression c : {VdbCompression::None, VdbCompression::Blosc})
    {
        const std::string whole = writeSample(dir / "whole.vdb", c);
        const std::string bad = dir / "bad.vdb";
        size_t refused = 0, flips = 0;
        for (size_t pos = 0; pos < whole.size(); pos += 1 + whole.size() / 160)
        {
            std::string bytes = whole;
            bytes[pos] = char(bytes[pos] ^ (1 << (pos % 8)));
            writeFile(bad, bytes);
            ++flips;
            try
            {
                sopcook::readVdbGrids(bad);
            }
            catch (const sopcook::Error &e)
            {
                ++refused;
                EXPECT_TRUE(isOneBoundedLine(std::string(e.what()) + "\n", 420)) << "flip at " << pos;
            }
        }
        // Most of a small file is framing; flipped values read as values.
        EXPECT_GT(refused, flips / 4) << sopcook::compressionName(c);
    }
    // The header: magic number, format version and offsets flag.
    const std::string whole = readFile(dir / "whole.vdb");
    for (size_t pos : {0, 3, 7, 8, 9, 20})
        for (int bit = 0; bit < 8; ++bit)
        {
            std::string bytes = whole;
            bytes[pos] = char(bytes[pos] ^ (1 << bit));
            writeFile(dir / "bad.vdb", bytes);
            EXPECT_FALSE(sopcook::checkVdbArchive(dir / "bad.vdb").whole()) << pos << " bit " << bit;
        }
}

TEST(VdbArchiveCheck, HostileLengthsAndNamesStayBounded)
{
    TempDir dir;
    const std::string whole = writeSample(dir / "whole.vdb", VdbCompression::Blosc);
    // After the 57-byte header: the file's metadata count, the grid count,
    // the first grid's name length, then the name.
    ASSERT_EQ(whole.substr(69, 7), "density");
    struct Hostile
    {
        size_t at;
        std::string bytes, expected;
    } cases[] = {
        {65, std::string("\xff\xff\xff\x7f", 4), "a grid name of 2147483647 bytes"},
        {57, std::string("\xff\xff\xff\x7f", 4), "2147483647 metadata records"},
        {61, std::string("\xff\xff\xff\x7f", 4), "a grid count of 2147483647"},
        {69, std::string("d\x01n", 3), "not text"},
    };
    for (const Hostile &h : cases)
    {
        std::string bytes = whole;
        bytes.replace(h.at, h.bytes.size(), h.bytes);
        writeFile(dir / "bad.vdb", bytes);
        sopcook::VdbArchiveCheck check = sopcook::checkVdbArchive(dir / "bad.vdb");
        EXPECT_NE(check.fault.find(h.expected), std::string::npos) << check.fault;
        EXPECT_TRUE(isOneBoundedLine(check.fault + "\n", 320));
    }
    EXPECT_EQ(sopcook::printableText(std::string("a\nb\x80") + std::string(500, 'z'), 40).size(), 40u);
    EXPECT_EQ(sopcook::printableText("a\nb\x80", 40), "a\\x0ab\\x80");
}

// Frames 1-4 of one cook, then each made incomplete another way.
void cookFramesAndSpoilThem(const std::string &d)
{
    ASSERT_EQ(sopcook(words("cook " + plume + " --frames 1-4 -o " + d + "/f.$F.vdb"), d).exitCode, 0);
    ASSERT_EQ(truncate((d + "/f.1.vdb").c_str(), 40), 0); // inside the header
    struct stat st;
    ASSERT_EQ(stat((d + "/f.2.vdb").c_str(), &st), 0);
    ASSERT_EQ(truncate((d + "/f.2.vdb").c_str(), st.st_size / 2), 0);
    openvdb::GridPtrVecPtr grids = sopcook::readVdbGrids(d + "/f.3.vdb");
    for (auto &g : *grids) g->insertMeta("sopcook_partial", openvdb::StringMetadata("interrupted"));
    openvdb::io::File(d + "/f.3.vdb").write(*grids);
    openvdb::io::File(d + "/f.4.vdb").write(openvdb::GridPtrVec());
}

const char *const spoiled[] = {"cut short", "damaged VDB file", "holds the partial result of an interrupted cook", "holds no grids"};

TEST(CompleteMeansComplete, InfoExitsOneSayingWhyAfterPrintingWhatItCan)
{
    TempDir dir;
    cookFramesAndSpoilThem(dir.path);
    for (int f = 1; f <= 4; ++f)
    {
        const std::string path = dir / ("f." + std::to_string(f) + ".vdb");
        Finished r = sopcook({"info", path}, dir.path);
        EXPECT_EQ(r.exitCode, 1) << path << "\n" << r.out;
        EXPECT_TRUE(isOneBoundedLine(r.err, 400));
        EXPECT_NE(r.err.find(path), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(spoiled[f - 1]), std::string::npos) << r.err;
        EXPECT_EQ(r.out.rfind(path + ": ", 0), 0u) << r.out;
    }
    // The partial file's grids are listed in full; the cut one names its grids.
    EXPECT_NE(sopcook({"info", dir / "f.3.vdb"}, dir.path).out.find("density"), std::string::npos);
    EXPECT_NE(sopcook({"info", dir / "f.2.vdb"}, dir.path).out.find("damaged VDB file"), std::string::npos);
}

TEST(CompleteMeansComplete, SkipExistingCooksEveryIncompleteFrameAgain)
{
    TempDir dir;
    cookFramesAndSpoilThem(dir.path);
    const std::vector<std::string> cook = words("cook " + plume + " --frames 1-4 --stats --skip-existing -o " + dir.path + "/f.$F.vdb");
    Finished r = sopcook(cook, dir.path);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out.find("\"skipped\":true"), std::string::npos) << r.out;
    for (int f = 1; f <= 4; ++f)
    {
        const std::string path = dir / ("f." + std::to_string(f) + ".vdb");
        EXPECT_NE(r.err.find("warning: " + path + ": "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("cooking frame " + std::to_string(f) + " again"), std::string::npos) << r.err;
        EXPECT_TRUE(sopcook::isCompleteVdb(path, ""));
    }
    Finished again = sopcook(cook, dir.path);
    EXPECT_EQ(std::count(again.out.begin(), again.out.end(), '\n'), 4);
    EXPECT_EQ(again.out.find("cook_seconds"), std::string::npos) << again.out;
    EXPECT_EQ(again.err.find("warning"), std::string::npos) << again.err;
}

TEST(CompleteMeansComplete, FarmReportCountsOnlyWholeMergedFrames)
{
    TempDir dir;
    const std::string d = dir.path + "/";
    mkdir((d + "bin").c_str(), 0755);
    writeFile(d + "bin/sbatch", "#!/bin/sh\necho 7\n");
    chmod((d + "bin/sbatch").c_str(), 0755);
    const std::string submit = "PATH=" + d + "bin:$PATH '" SOPCOOK_BINARY "' farm slurm cook " + plume + " --frames 1-4 --slabs 2 -o " + d +
                               "f.\\$F.vdb --job-dir " + d + "job >/dev/null 2>&1";
    ASSERT_EQ(std::system(submit.c_str()), 0);
    cookFramesAndSpoilThem(dir.path);
    Finished report = sopcook({"farm", "report", d + "job"}, dir.path);
    EXPECT_EQ(report.exitCode, 1);
    EXPECT_NE(report.out.find("frames merged 0 of 4"), std::string::npos) << report.out;
    // No task of this job ran, so the spoiled files left beside it count for nothing (that a merged
    // frame whose slabs are done still has to read back whole is FarmReport's own test).
    for (int f = 1; f <= 4; ++f)
        EXPECT_NE(report.out.find("failed: merge of frame " + std::to_string(f) + ": "), std::string::npos) << report.out;
}

// Slab parts of a small cook, stored raw or with blosc.
struct PartCase
{
    const char *compression;
};

class DamagedParts : public ::testing::TestWithParam<PartCase>
{
};

TEST_P(DamagedParts, InfoAndMergeExitOneWithOneLineAndNeverASignal)
{
    TempDir dir;
    const std::string d = dir.path + "/";
    for (int i = 0; i < 2; ++i)
        ASSERT_EQ(sopcook(words("cook " + plume + " --compression " + GetParam().compression + " --slab " + std::to_string(i) + "/2 -o " + d +
                                "p" + std::to_string(i) + ".vdb"),
                          dir.path)
                      .exitCode,
                  0);
    const std::string part = readFile(d + "p0.vdb");
    ASSERT_GT(part.size(), 200u);
    // Flips through the metadata (where the library asserts), the
    // topology and the values; cuts at a spread of lengths.
    std::vector<std::pair<std::string, std::string>> damaged;
    for (size_t k = 0; k < 10; ++k)
    {
        const size_t pos = k < 5 ? 60 + k * 137 % 700 : k * part.size() / 10 + 3;
        std::string bytes = part;
        bytes[pos] = char(bytes[pos] ^ (1 << (k % 8)));
        damaged.push_back({"flip at " + std::to_string(pos), bytes});
    }
    for (size_t k = 0; k < 5; ++k)
    {
        const size_t n = (k * 2 + 1) * part.size() / 10;
        damaged.push_back({"cut to " + std::to_string(n), part.substr(0, n)});
    }
    int refused = 0;
    for (const auto &[what, bytes] : damaged)
    {
        writeFile(d + "bad.vdb", bytes);
        const bool cut = what.rfind("cut", 0) == 0;
        for (const std::vector<std::string> &args :
             {std::vector<std::string>{"info", d + "bad.vdb"}, std::vector<std::string>{"merge", d + "out.vdb", d + "bad.vdb", d + "p1.vdb"}})
        {
            Finished r = sopcook(args, dir.path);
            EXPECT_EQ(r.signal, 0) << args[0] << ", " << what << ": " << r.err;
            EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 1) << args[0] << ", " << what << ": exit " << r.exitCode;
            if (cut)
            {
                EXPECT_EQ(r.exitCode, 1) << args[0] << ", " << what;
            }
            if (r.exitCode != 1) continue;
            ++refused;
            EXPECT_TRUE(isOneBoundedLine(r.err, 420)) << args[0] << ", " << what;
            EXPECT_FALSE(exists(d + "out.vdb")) << what;
        }
        unlink((d + "out.vdb").c_str());
    }
    EXPECT_GE(refused, 10 + 5) << "every cut and most flips are refused";
}

TEST(ErrorLines, BytesQuotedFromAFileAreEscaped)
{
    TempDir dir;
    const std::string d = dir.path + "/";
    ASSERT_EQ(sopcook(words("cook " + plume + " --slab 0/2 -o " + d + "p0.vdb"), dir.path).exitCode, 0);
    openvdb::GridPtrVecPtr grids = sopcook::readVdbGrids(d + "p0.vdb");
    for (auto &g : *grids) g->insertMeta("slab", openvdb::StringMetadata(std::string("0\x01/2\n\xff") + std::string(5000, '7')));
    openvdb::io::File(d + "odd.vdb").write(*grids);
    Finished r = sopcook({"merge", d + "out.vdb", d + "odd.vdb"}, dir.path);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(isOneBoundedLine(r.err, 2100));
    EXPECT_NE(r.err.find("0\\x01/2\\x0a\\xff7777"), std::string::npos) << r.err;
    EXPECT_FALSE(exists(d + "out.vdb"));
}

INSTANTIATE_TEST_SUITE_P(Compression, DamagedParts, ::testing::Values(PartCase{"none"}, PartCase{"blosc"}),
                         [](const ::testing::TestParamInfo<PartCase> &info) { return std::string(info.param.compression); });
} // namespace
