// SPDX-License-Identifier: Apache-2.0
// sopcook on input that used to fail after the whole cook, or cook quietly
// into an empty or poisoned file: images it cannot read, positions and
// voxels that are not finite, a bad frame in a range. Each gives one clear
// line and the promised exit status, with nothing half-written.
#include <Magick++.h>
#include <nlohmann/json.hpp>
#include <openvdb/openvdb.h>

#include "SopcookProcess.h"
#include "cook/CookEstimate.h"
#include "cook/PluginRegistry.h"

using namespace sopcookprocess;

namespace
{
// An animated GIF of frames at w x h, written through the image library.
void writeGif(const std::string &path, int w, int h, int frames)
{
    Magick::InitializeMagick(nullptr);
    std::vector<Magick::Image> images;
    for (int i = 0; i < frames; ++i) images.emplace_back(Magick::Geometry(w, h), Magick::Color(i % 2 ? "red" : "blue"));
    Magick::writeImages(images.begin(), images.end(), path, true);
}

std::string readFile(const std::string &path) { return readText(path); }

void writeFile(const std::string &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Runs sopcook to the end: exit status and stderr.
struct Finished
{
    int status;
    std::string err;
};

Finished finish(const TempDir &dir, const std::vector<std::string> &args, int limit = -1, rlim_t bytes = 0)
{
    Process p = start(args, dir / "err.txt", limit, bytes);
    int status = exitCode(p.wait());
    Finished r{status, p.err()};
    unlink((dir / "err.txt").c_str());
    return r;
}

// What a shell command prints (stdout), and its exit status.
std::string commandOutput(const std::string &command, int *status = nullptr)
{
    FILE *out = popen(command.c_str(), "r");
    std::string text;
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof(buf), out)) text.append(buf, n);
    int rc = pclose(out);
    if (status) *status = WEXITSTATUS(rc);
    return text;
}

std::string points(const std::string &rows, int count)
{
    return "ply\nformat ascii 1.0\nelement vertex " + std::to_string(count) +
           "\nproperty float x\nproperty float y\nproperty float z\nproperty float pscale\nproperty float density\n"
           "end_header\n" +
           rows;
}

// A missing, truncated or non-image file is an error of the cook naming the
// file; --allow-empty cooks the empty volumes the operator makes of it.
TEST(SopcookImages, UnreadableImagesAreErrorsWithoutOutput)
{
    TempDir dir;
    writeGif(dir / "good.gif", 8, 6, 3);
    std::string good = readFile(dir / "good.gif");
    writeFile(dir / "cut.gif", good.substr(0, 20));
    writeFile(dir / "text.gif", "not an image at all\n");
    for (const std::string name : {"missing.gif", "cut.gif", "text.gif"})
    {
        Finished r = finish(dir, {"cook", "slabreel", "-s", "giffile=" + dir / name, "-o", dir / "out.vdb"});
        EXPECT_EQ(r.status, 1) << name << ": " << r.err;
        EXPECT_EQ(r.err.rfind("sopcook: error: cannot read image " + dir / name + ": ", 0), 0u) << r.err;
        EXPECT_EQ(lineCount(r.err), 1u) << r.err;
        EXPECT_EQ(r.err.find(" @ "), std::string::npos) << "library source location in: " << r.err;
        EXPECT_EQ(access((dir / "out.vdb").c_str(), F_OK), -1) << name;
    }
    Finished empty = finish(dir, {"cook", "slabreel", "-s", "giffile=" + dir / "missing.gif", "--allow-empty", "-o", dir / "out.vdb"});
    EXPECT_EQ(empty.status, 0) << empty.err;
    EXPECT_NE(empty.err.find("cooking empty volumes (--allow-empty)"), std::string::npos) << empty.err;
    Finished ok = finish(dir, {"cook", "slabreel", "-s", "giffile=" + dir / "good.gif", "-o", dir / "good.vdb"});
    EXPECT_EQ(ok.status, 0) << ok.err;
}

// The estimate counts every frame at its real size: a header claiming a 2x2
// picture does not hide two frames of 1000x1000, and under an address-space
// limit the cook is refused up front, or (forced) fails for memory.
TEST(SopcookImages, EstimateCountsEveryFrameAndMemoryLimitsAreErrors)
{
    TempDir dir;
    writeGif(dir / "big.gif", 2000, 2000, 2);
    std::string bytes = readFile(dir / "big.gif");
    bytes[6] = 2, bytes[7] = 0, bytes[8] = 2, bytes[9] = 0; // the logical screen: 2 x 2
    writeFile(dir / "liar.gif", bytes);
    int status = -1;
    std::string est = commandOutput(std::string(SOPCOOK_BINARY) + " cook slabreel -s giffile=" + dir / "liar.gif" + " --estimate", &status);
    EXPECT_EQ(status, 0) << est;
    EXPECT_NE(est.find("giffile=" + dir / "liar.gif" + " (2000 x 2000 pixels, 2 frames)"), std::string::npos) << est;
#ifdef SOPCOOK_SANITIZED
    GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#endif
    // 4 volumes of 2000 x 2000 x 2 floats and the decoded frames: about
    // 225 MB, more than what the limit leaves beside what the process has
    // mapped already (libraries, stacks: well over 31 MB).
    Finished refused = finish(dir, {"cook", "slabreel", "-s", "giffile=" + dir / "liar.gif", "-o", dir / "out.vdb"}, RLIMIT_AS,
                      rlim_t(256) << 20);
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_NE(refused.err.find("(2000 x 2000 pixels, 2 frames)"), std::string::npos) << refused.err;
    Finished forced = finish(dir, {"cook", "slabreel", "-s", "giffile=" + dir / "liar.gif", "--force", "-o", dir / "out.vdb"},
                     RLIMIT_AS, rlim_t(256) << 20);
    EXPECT_EQ(forced.status, 1) << forced.err;
    EXPECT_NE(forced.err.find("out of memory"), std::string::npos) << forced.err;
    EXPECT_EQ(lineCount(forced.err), 1u) << forced.err;
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"big.gif", "liar.gif"}));
}

// A point at x = 1e39 (infinite in single precision) or NaN is named in one
// warning and left out of the box; the cook writes the other points' volumes,
// with or without -b. Points too far apart for any box are one error line.
TEST(SopcookNonFinite, PositionsAreNamedAndLeftOutOfTheBox)
{
    TempDir dir;
    writeFile(dir / "inf.ply", points("0 0 0 0.3 1\n1e39 0 0 0.3 1\n1 1 1 0.3 1\n", 3));
    writeFile(dir / "nan.ply", points("0 0 0 0.3 1\nnan 0 0 0.3 1\nnan 1 1 0.3 1\n1 1 1 0.3 1\n", 4));
    writeFile(dir / "finite.ply", points("0 0 0 0.3 1\n1 1 1 0.3 1\n", 2));
    writeFile(dir / "wide.ply", points("-3e38 0 0 0.3 1\n3e38 0 0 0.3 1\n", 2));
    for (const std::string op : {"plumeweave", "billowfold", "strandcast"})
        for (bool box : {false, true})
        {
            std::vector<std::string> args = {"cook", op, "-i", dir / "inf.ply", "-o", dir / "out.vdb"};
            if (box) args.insert(args.end(), {"-b", dir / "finite.ply"});
            Finished r = finish(dir, args);
            EXPECT_EQ(r.status, 0) << op << ": " << r.err;
            EXPECT_NE(r.err.find("sopcook: warning: " + dir / "inf.ply" + ": point 1 has a non-finite position (inf, 0, 0);"),
                      std::string::npos)
                << r.err;
            EXPECT_EQ(r.err.find("rror"), std::string::npos) << r.err;
        }
    Finished two = finish(dir, {"cook", "plumeweave", "-i", dir / "nan.ply", "-o", dir / "out.vdb"});
    EXPECT_EQ(two.status, 0) << two.err;
    EXPECT_NE(two.err.find("point 1 has a non-finite position (nan, 0, 0) and 1 more point;"), std::string::npos) << two.err;
    Finished wide = finish(dir, {"cook", "plumeweave", "-i", dir / "wide.ply", "-o", dir / "wide.vdb"});
    EXPECT_EQ(wide.status, 1) << wide.err;
    EXPECT_EQ(wide.err, "sopcook: error: " + dir / "wide.ply" +
                            ": the points span -3e+38 to 3e+38 on x, too far apart for a volume's bounding box "
                            "(single precision)\n");
}

// An infinite radius makes every voxel NaN: written as made, with a warning
// after the cook, the count in --stats and in `sopcook info`.
TEST(SopcookNonFinite, VoxelsAreCountedInTheWarningStatsAndInfo)
{
    TempDir dir;
    writeFile(dir / "inf.ply", points("0 0 0 inf 1\n0.5 0 0 0.2 1\n", 2));
    Process p = start({"cook", "billowfold", "-i", dir / "inf.ply", "-s", "divs=10,10,10", "--stats", "-o", dir / "out.vdb"},
                      dir / "err.txt");
    EXPECT_EQ(exitCode(p.wait()), 0) << p.err();
    EXPECT_NE(p.err().find("out.vdb: 4000 voxels hold NaN or infinity (density 1000, Cd.x 1000, Cd.y 1000, Cd.z 1000; "
                           "first: density voxel (0, 0, 0))"),
              std::string::npos)
        << p.err();

    std::string text = commandOutput(std::string(SOPCOOK_BINARY) + " info " + dir / "out.vdb");
    EXPECT_NE(text.find("non-finite"), std::string::npos) << text;
    EXPECT_NE(text.find("density float fog volume 10x10x10     1000 -           1000"), std::string::npos) << text;
}

// --stats reports the non-finite count per volume.
TEST(SopcookNonFinite, StatsCarryTheCount)
{
    TempDir dir;
    writeFile(dir / "inf.ply", points("0 0 0 inf 1\n", 1));
    std::string text = commandOutput(std::string(SOPCOOK_BINARY) + " cook billowfold -i " + dir / "inf.ply" +
                                     " -s divs=4,4,4 --stats -o " + dir / "out.vdb" + " 2>/dev/null");
    EXPECT_NE(text.find("\"name\":\"density\",\"non_finite\":64"), std::string::npos) << text;
}

// --keep-going cooks the frames after a bad one and ends with the list.
TEST(SopcookFarm, KeepGoingCooksTheOtherFramesAndListsTheFailed)
{
    TempDir dir;
    const std::string geo = readFile(dataDir + "/points.geo");
    writeFile(dir / "p1.geo", geo);
    writeFile(dir / "p3.geo", geo);
    Finished r = finish(dir, {"cook", "billowfold", "-i", dir / "p$F.geo", "--frames", "1-3", "--keep-going", "-o", dir / "o$F.vdb"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("sopcook: error: frame 2: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("sopcook: error: 1 of 3 frames failed: 2\n"), std::string::npos) << r.err;
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"o1.vdb", "o3.vdb", "p1.geo", "p3.geo"}));

    // Without it the range stops at the bad frame.
    Finished stop = finish(dir, {"cook", "billowfold", "-i", dir / "p$F.geo", "--frames", "1-3", "-o", dir / "s$F.vdb"});
    EXPECT_EQ(stop.status, 1) << stop.err;
    EXPECT_EQ(access((dir / "s3.vdb").c_str(), F_OK), -1);
}

// --estimate prints and cooks nothing; a refused cook is a verdict, not an error.
TEST(SopcookFarm, EstimateOnlyPrintsAndWritesNothing)
{
    TempDir dir;
    int status = -1;
    std::string text = commandOutput(std::string(SOPCOOK_BINARY) + " cook plumeweave -i " + dataDir +
                                         "/points.geo -s divs=100000,100000,100000 --estimate 2>&1",
                                     &status);
    EXPECT_EQ(status, 0) << text;
    EXPECT_NE(text.find("memory:  up to "), std::string::npos) << text;
    EXPECT_NE(text.find("verdict: refused: divs=100000,100000,100000"), std::string::npos) << text;
    EXPECT_EQ(dir.files(), std::vector<std::string>{});
}

// Tiles at the grid's far faces hold only the voxels inside, and the
// estimate counts them so: a grid two voxels deep is not sized as sixteen.
TEST(SopcookEstimate, ThinGridsAreSizedByTheirVoxels)
{
    int status = -1;
    std::string line = commandOutput(std::string(SOPCOOK_BINARY) + " cook plumeweave -i " + dataDir +
                                         "/points.geo -s divs=2000,2000,2 --estimate --stats",
                                     &status);
    ASSERT_EQ(status, 0) << line;
    nlohmann::json e = nlohmann::json::parse(line);
    const double voxelBytes = 4.0 * 2000 * 2000 * 2 * sizeof(float);
    EXPECT_EQ(e["volumes"], 4);
    EXPECT_GE(e["memory_bytes"].get<double>(), voxelBytes);
    EXPECT_LT(e["memory_bytes"].get<double>(), 1.2 * voxelBytes);
}

// Every installed operator states its own cost model: a new operator without
// one would be estimated by the default and fails here.
TEST(SopcookEstimate, EveryInstalledOperatorHasACostModel)
{
    sopcook::PluginRegistry plugins({SOPCOOK_PLUGIN_DIR});
    ASSERT_FALSE(plugins.names().empty());
    for (const std::string &name : plugins.names()) EXPECT_TRUE(sopcook::hasCostModel(*plugins.find(name))) << name;
    OP_Operator eleventh("eleventh_operator", "Eleventh", nullptr, nullptr, 0, 1);
    EXPECT_FALSE(sopcook::hasCostModel(eleventh));
}

// The memory refusal never reads "976.6 MB ... more than the 976.6 MB".
TEST(SopcookEstimate, RefusalTellsCloseSizesApart)
{
    EXPECT_EQ(sopcook::bytesText(1024000000.0, 1024000001.0 + 30000), "976.56 MB");
    EXPECT_EQ(sopcook::bytesText(1024000000.0), "976.6 MB");
}
} // namespace
