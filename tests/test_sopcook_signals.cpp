// SPDX-License-Identifier: Apache-2.0
// sopcook run as a process the way a shell or a render farm runs it: real
// signals during a cook, outputs that cannot be written, memory and file-size
// limits, and cooks the estimate refuses. Whatever happens, the output is
// complete or absent and no temporary file is left behind.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <openvdb/openvdb.h>

#include "SopcookProcess.h"

using namespace sopcookprocess;

namespace
{
// One point whose radius spans the whole grid: every child fills every voxel,
// so the cook is slow (it would take days with this many children) and its
// partial result is large enough that writing it takes a while.
std::string longCookInput(const TempDir &dir)
{
    std::string path = dir / "ball.ply";
    std::ofstream(path) << "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
                           "property float z\nproperty float pscale\nproperty float density\nend_header\n0 0 0 100 1\n";
    return path;
}

std::vector<std::string> longCook(const std::string &input, const std::string &out)
{
    return {"cook", "plumeweave", "-i", input, "-s", "divs=96,96,96", "-s", "feather=1", "-s", "childrencount=100000000",
            "-v", "-o", out};
}

// A voxel size whose resample of billowfold's cook of points.geo runs for
// a few seconds (some 2 s of one core).
const std::string resampleVoxel = "0.01";

// The progress line shows once the cook has run half a second (stderr is a
// file here: whole lines, no cursor codes).
const std::string cooking = "plumeweave  ";

uint64_t activeDensity(const std::string &path)
{
    openvdb::initialize();
    openvdb::io::File file(path);
    file.open();
    openvdb::GridBase::Ptr grid = file.readGrid("density");
    file.close();
    return grid->activeVoxelCount();
}

void expectPartialResult(int signal)
{
    TempDir dir;
    std::string input = longCookInput(dir);
    Process p = start(longCook(input, dir / "out.vdb"), dir / "err.txt");
    ASSERT_TRUE(p.waitForText(cooking)) << p.err();
    kill(p.pid, signal);
    int status = p.wait();
    EXPECT_EQ(exitCode(status), 128 + signal) << p.err();
    EXPECT_NE(p.err().find("sopcook: warning: interrupted: writing the partial result of plumeweave"), std::string::npos)
        << p.err();
    EXPECT_GT(activeDensity(dir / "out.vdb"), 0u);
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"ball.ply", "err.txt", "out.vdb"}));
    EXPECT_EQ(p.err().find('\033'), std::string::npos) << "cursor codes into a file";
}

TEST(SopcookSignals, OneInterruptWritesTheCompletePartialResult) { expectPartialResult(SIGINT); }

// The exit status tells the two apart: 130 and 143.
TEST(SopcookSignals, TerminateBehavesLikeAnInterrupt) { expectPartialResult(SIGTERM); }

TEST(SopcookSignals, SecondInterruptLeavesNoFile)
{
    TempDir dir;
    std::string input = longCookInput(dir);
    Process p = start(longCook(input, dir / "out.vdb"), dir / "err.txt");
    ASSERT_TRUE(p.waitForText(cooking)) << p.err();
    kill(p.pid, SIGINT);
    ASSERT_TRUE(p.waitForText("sopcook: interrupted; stopping the cook")) << p.err();
    kill(p.pid, SIGINT);
    int status = p.wait();
    EXPECT_EQ(exitCode(status), 128 + SIGINT) << p.err();
    EXPECT_NE(p.err().find("sopcook: aborted; nothing written"), std::string::npos) << p.err();
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"ball.ply", "err.txt"}));
}

std::string partialMark(const std::string &path)
{
    openvdb::initialize();
    openvdb::io::File file(path);
    file.open();
    openvdb::GridBase::Ptr grid = file.readGrid("density");
    file.close();
    auto mark = grid->getMetadata<openvdb::StringMetadata>("sopcook_partial");
    return mark ? mark->value() : "";
}

// -j 3 cooks the frame as three slabs at once: one interrupt stops them
// all, and their joined result is written whole, marked partial.
TEST(SopcookSignals, InterruptingASlabCookWritesTheJoinedPartialResult)
{
    TempDir dir;
    std::vector<std::string> args = longCook(longCookInput(dir), dir / "out.vdb");
    args.insert(args.end(), {"-j", "3"});
    Process p = start(args, dir / "err.txt");
    ASSERT_TRUE(p.waitForText(cooking)) << p.err();
    kill(p.pid, SIGINT);
    EXPECT_EQ(exitCode(p.wait()), 128 + SIGINT) << p.err();
    EXPECT_NE(p.err().find("sopcook: warning: interrupted: writing the partial result of plumeweave"), std::string::npos)
        << p.err();
    EXPECT_EQ(partialMark(dir / "out.vdb"), "interrupted by SIGINT");
    // Every slab wrote before it stopped: voxels in each third of the depth.
    openvdb::io::File file(dir / "out.vdb");
    file.open();
    auto grid = openvdb::gridPtrCast<openvdb::FloatGrid>(file.readGrid("density"));
    file.close();
    ASSERT_TRUE(grid);
    const openvdb::CoordBBox box = grid->evalActiveVoxelBoundingBox();
    EXPECT_LE(box.min().z(), 31);
    EXPECT_GE(box.max().z(), 64);
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"ball.ply", "err.txt", "out.vdb"}));
}

// A farm's SIGTERM during a range: the current frame is written, marked
// partial, and no later frame starts.
TEST(SopcookSignals, SignalDuringRangeStopsAfterTheCurrentFrame)
{
    TempDir dir;
    std::vector<std::string> args = longCook(longCookInput(dir), dir / "out$F.vdb");
    args.insert(args.end(), {"--frames", "1-3"});
    Process p = start(args, dir / "err.txt");
    ASSERT_TRUE(p.waitForText("plumeweave frame 1 (1 of 3)  ")) << p.err();
    kill(p.pid, SIGTERM);
    EXPECT_EQ(exitCode(p.wait()), 128 + SIGTERM) << p.err();
    EXPECT_NE(p.err().find("later frames do not start"), std::string::npos) << p.err();
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"ball.ply", "err.txt", "out1.vdb"}));
    EXPECT_EQ(partialMark(dir / "out1.vdb"), "interrupted by SIGTERM");

    // A cook that ran to the end carries no mark.
    Process whole = start({"cook", "billowfold", "-i", dataDir + "/points.geo", "-o", dir / "whole.vdb"}, dir / "err.txt");
    EXPECT_EQ(exitCode(whole.wait()), 0) << whole.err();
    EXPECT_EQ(partialMark(dir / "whole.vdb"), "");
}

// A quick cook whose uniform resample to fine voxels runs for seconds: the
// signal arrives once the resample's progress line shows, so while it runs.
void expectResampleStopped(int signal)
{
    TempDir dir;
    Process p = start({"cook", "billowfold", "-i", dataDir + "/points.geo", "-s", "divs=32,32,32", "--resample",
                       "uniform=" + resampleVoxel, "-v", "-o", dir / "out.vdb"},
                      dir / "err.txt");
    ASSERT_TRUE(p.waitForText("billowfold resampling  ", 60)) << p.err();
    kill(p.pid, signal);
    EXPECT_EQ(exitCode(p.wait()), 128 + signal) << p.err();
    const std::string name = signal == SIGINT ? "SIGINT" : "SIGTERM";
    // Whichever grid was resampling when the signal came.
    EXPECT_NE(p.err().find("sopcook: error: interrupted while resampling grid '"), std::string::npos) << p.err();
    EXPECT_NE(p.err().find("' on " + name + "; nothing written to " + (dir / "out.vdb")), std::string::npos) << p.err();
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"err.txt"}));
}

TEST(SopcookSignals, InterruptDuringTheResampleWritesNothing) { expectResampleStopped(SIGINT); }
TEST(SopcookSignals, TerminateDuringTheResampleWritesNothing) { expectResampleStopped(SIGTERM); }

// A background job of a shell script starts with SIGINT ignored: sopcook
// keeps it ignored and still answers SIGTERM.
TEST(SopcookSignals, IgnoredInterruptStaysIgnored)
{
    TempDir dir;
    Process p = start(longCook(longCookInput(dir), dir / "out.vdb"), dir / "err.txt", -1, 0, SIGINT);
    ASSERT_TRUE(p.waitForText(cooking)) << p.err();
    kill(p.pid, SIGINT);
    kill(p.pid, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(p.err().find("sopcook: interrupted"), std::string::npos) << p.err();
    kill(p.pid, SIGTERM);
    EXPECT_EQ(exitCode(p.wait()), 128 + SIGTERM) << p.err();
    EXPECT_EQ(partialMark(dir / "out.vdb"), "interrupted by SIGTERM");
}

// The single-threaded stretch never polls: the first Ctrl-C says so at once
// and in the progress line; the second aborts without writing.
TEST(SopcookSignals, OperatorThatNeverPollsSaysItCannotStopEarly)
{
    TempDir dir;
    Process p = start({"cook", "plumeweave_velocity_stretch", "-i", longCookInput(dir), "-s", "divs=64,64,64", "-s",
                       "childrencount=1000000", "-v", "-o", dir / "out.vdb"},
                      dir / "err.txt");
    ASSERT_TRUE(p.waitForText("plumeweave_velocity_stretch  ")) << p.err();
    kill(p.pid, SIGINT);
    const std::string said =
        "sopcook: plumeweave_velocity_stretch cannot stop early; the cook runs to the end \u2014 press Ctrl-C again to abort";
    ASSERT_TRUE(p.waitForText(said, 2.0)) << p.err();
    EXPECT_TRUE(p.waitForText("(plumeweave_velocity_stretch cannot stop early; Ctrl-C again to abort)")) << p.err();
    kill(p.pid, SIGINT);
    EXPECT_EQ(exitCode(p.wait()), 128 + SIGINT) << p.err();
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"ball.ply", "err.txt"}));
}

// A temporary file left by a killed sopcook is removed (and named) when the
// same output is written again; one of a process still running is kept.
TEST(SopcookOutputFailures, StalePartialFilesOfEndedProcessesAreRemoved)
{
    TempDir dir;
    pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string stale = "out.vdb.partial-" + std::to_string(gone);
    const std::string live = "out.vdb.partial-" + std::to_string(getpid());
    std::ofstream(dir / stale) << "half";
    std::ofstream(dir / live) << "busy";
    Process p = start({"cook", "billowfold", "-i", dataDir + "/points.geo", "-o", dir / "out.vdb"}, dir / "err.txt");
    EXPECT_EQ(exitCode(p.wait()), 0) << p.err();
    EXPECT_NE(p.err().find("removed " + dir / stale + ", a temporary file left by process " + std::to_string(gone)),
              std::string::npos)
        << p.err();
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"err.txt", "out.vdb", live}));
}

// Each unwritable output fails with one line naming it, and leaves nothing.
TEST(SopcookOutputFailures, MissingFolderFileAsFolderAndFileSizeLimit)
{
    TempDir dir;
    const std::string points = dataDir + "/points.geo";
    struct Case
    {
        std::string out;
        int limit;
        rlim_t bytes;
        std::string reason;
    };
    for (const Case &c : {Case{dir / "missing/out.vdb", -1, 0, "No such file or directory"},
                          Case{"/dev/null/out.vdb", -1, 0, "Not a directory"},
                          // A full disk, as far as the writer can tell.
                          Case{dir / "big.vdb", RLIMIT_FSIZE, 16384, "File too large"}})
    {
        Process p = start({"cook", "billowfold", "-i", points, "-s", "divs=64,64,64", "-o", c.out}, dir / "err.txt",
                          c.limit, c.bytes);
        int status = p.wait();
        std::string err = p.err();
        EXPECT_EQ(exitCode(status), 1) << c.out << ": " << err;
        EXPECT_EQ(err, "sopcook: error: cannot write " + c.out + ": " + c.reason + "\n");
        EXPECT_EQ(dir.files(), (std::vector<std::string>{"err.txt"})) << c.out;
    }
}

TEST(SopcookLimits, RunningOutOfMemoryIsAnErrorWithoutOutput)
{
#ifdef SOPCOOK_SANITIZED
    GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#endif
    TempDir dir;
    std::string input = longCookInput(dir);
    // 512^3 filled voxels need 512 MB; the process may have 256 MB.
    Process p = start({"cook", "plumeweave", "-i", input, "-s", "divs=512,512,512", "-s", "feather=1", "-s",
                       "childrencount=1", "--force", "-o", dir / "out.vdb"},
                      dir / "err.txt", RLIMIT_AS, rlim_t(256) << 20);
    int status = p.wait();
    std::string err = p.err();
    EXPECT_EQ(exitCode(status), 1) << err;
    EXPECT_EQ(lineCount(err), 1u) << err;
    EXPECT_NE(err.find("out of memory"), std::string::npos) << err;
    EXPECT_EQ(dir.files(), (std::vector<std::string>{"ball.ply", "err.txt"}));

    // Without --force the estimate refuses the same cook up front.
    p = start({"cook", "plumeweave", "-i", input, "-s", "divs=512,512,512", "-o", dir / "out.vdb"}, dir / "err.txt",
              RLIMIT_AS, rlim_t(256) << 20);
    status = p.wait();
    err = p.err();
    EXPECT_EQ(exitCode(status), 1) << err;
    EXPECT_EQ(err.rfind("sopcook: error: divs=512,512,512: 4 volumes of 1.34e+08 voxels take up to 2.0 GB", 0), 0u) << err;
}

TEST(SopcookLimits, EstimateRefusesAbsurdCooksAndPassesOrdinaryOnes)
{
    TempDir dir;
    const std::string points = dataDir + "/points.geo", quads = dataDir + "/quad_ascii.ply";
    struct Case
    {
        std::vector<std::string> args;
        std::string mention; // "" when the cook must run
    };
    for (const Case &c : {
             Case{{"plumeweave", "-i", points, "-s", "divs=100000,100000,100000"}, "divs=100000,100000,100000"},
             Case{{"plumeweave", "-i", points, "-s", "childrencount=100000", "-s", "noiseoctaves=16000000"},
                  "noiseoctaves=16000000"},
             Case{{"skinweave", "-i", quads, "-s", "extendvoxels=100000"}, "extendvoxels=100000"},
             Case{{"plumeweave", "-i", points, "-s", "divs=512,512,512", "-s", "childrencount=2"}, ""},
             Case{{"billowfold", "-i", points, "-s", "divs=-5,0,1"}, ""},
         })
    {
        std::vector<std::string> args = {"cook"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {"-o", dir / "out.vdb"});
        Process p = start(args, dir / "err.txt");
        int status = p.wait();
        std::string err = p.err();
        if (c.mention.empty())
        {
            EXPECT_EQ(exitCode(status), 0) << err;
            unlink((dir / "out.vdb").c_str());
            continue;
        }
        EXPECT_EQ(exitCode(status), 1) << err;
        EXPECT_NE(err.find(c.mention), std::string::npos) << err;
        EXPECT_NE(err.find("(use --force to cook anyway)\n"), std::string::npos) << err;
        EXPECT_EQ(dir.files(), (std::vector<std::string>{"err.txt"}));
    }
}
} // namespace
