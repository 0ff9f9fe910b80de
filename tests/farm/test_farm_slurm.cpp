// SPDX-License-Identifier: Apache-2.0
// The farm commands on a real Slurm cluster (scripts/slurm-local starts a
// one-node one): an array job of frames, a slab-split frame with its merge,
// and a task that fails, each checked against local cooks voxel for voxel.
// Skipped when no cluster answers.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "../VdbCompare.h"

namespace
{
const std::string examples = SUITE_EXAMPLES "/";
const std::string binary = SOPCOOK_BINARY;

struct Result
{
    int status = -1;
    std::string out;
};

Result shell(const std::string &cmd)
{
    Result r;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int raw = pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

Result sopcook(const std::string &args) { return shell("'" + binary + "' " + args + " 2>&1"); }

// Submits a farm job; its output is the job ids, one a line.
Result submit(const std::string &args) { return shell("'" + binary + "' farm slurm cook " + args + " 2>/dev/null"); }

double secondsSince(std::chrono::steady_clock::time_point t)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

// Waits until none of the jobs (ids, one a line) is queued or running.
bool waitForJobs(const std::string &ids)
{
    std::string list;
    std::istringstream in(ids);
    for (std::string id; std::getline(in, id);)
        if (!id.empty()) list += (list.empty() ? "" : ",") + id;
    for (int i = 0; i < 600 && !list.empty(); ++i)
    {
        Result q = shell("squeue -h -j " + list + " 2>&1");
        if (q.status != 0) return false;
        if (q.out.find_first_not_of(" \n") == std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    return false;
}

class FarmOnSlurm : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (shell("sinfo -h -o %t 2>/dev/null | grep -qE 'idle|mix|alloc'").status != 0)
            GTEST_SKIP() << "no Slurm cluster answers (scripts/slurm-local start; export SLURM_CONF=...)";
        openvdb::initialize();
        char tmpl[] = "/tmp/farm-slurm-XXXXXX";
        myDir = mkdtemp(tmpl);
        mkdir((myDir + "/in").c_str(), 0755);
        for (int f = 1; f <= 8; ++f) shell("cp '" + examples + "points.geo' '" + myDir + "/in/pts." + std::to_string(f) + ".geo'");
    }
    void TearDown() override
    {
        if (!myDir.empty()) shell("rm -rf '" + myDir + "'");
    }
    std::string myDir;
};

const std::string plume = "plumeweave -s divs=48,48,48 -s childrencount=20 -s noiseamp=0.3 -j 1";

TEST_F(FarmOnSlurm, FrameRangeAsArrayJobMatchesLocalCooks)
{
    const std::string d = myDir + "/";
    auto t0 = std::chrono::steady_clock::now();
    Result local = sopcook("cook " + plume + " -i " + d + "in/pts.\\$F.geo -o " + d + "local.\\$F.vdb --frames 1-8");
    ASSERT_EQ(local.status, 0) << local.out;
    double localSeconds = secondsSince(t0);

    t0 = std::chrono::steady_clock::now();
    Result job = submit(plume + " -i " + d + "in/pts.\\$F.geo -o " + d + "farm/p.\\$F.vdb --frames 1-8");
    ASSERT_EQ(job.status, 0) << job.out;
    ASSERT_TRUE(waitForJobs(job.out));
    double farmSeconds = secondsSince(t0);
    Result report = sopcook("farm report " + d + "farm/p.farm");
    EXPECT_EQ(report.status, 0) << report.out;
    EXPECT_NE(report.out.find("frames done 8 of 8"), std::string::npos) << report.out;
    for (int f = 1; f <= 8; ++f)
        EXPECT_EQ(vdbcompare::compareFiles(d + "local." + std::to_string(f) + ".vdb", d + "farm/p." + std::to_string(f) + ".vdb"), "")
            << "frame " << f;
    std::printf("8 frames: local %.2f s, farm (submit to last task) %.2f s\n%s", localSeconds, farmSeconds, report.out.c_str());
}

TEST_F(FarmOnSlurm, SlabsAndMergeMatchTheWholeCook)
{
    const std::string d = myDir + "/";
    const std::string cloud = "billowfold -i " + examples + "points.geo -s divs=64,64,96 -s donoise=1";
    auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(sopcook("cook " + cloud + " -o " + d + "whole.vdb").status, 0);
    double localSeconds = secondsSince(t0);

    t0 = std::chrono::steady_clock::now();
    Result job = submit(cloud + " -o " + d + "farm/cloud.vdb --slabs 4");
    ASSERT_EQ(job.status, 0) << job.out;
    ASSERT_TRUE(waitForJobs(job.out));
    double farmSeconds = secondsSince(t0);
    Result report = sopcook("farm report " + d + "farm/cloud.farm");
    EXPECT_EQ(report.status, 0) << report.out;
    EXPECT_NE(report.out.find("frames merged 1 of 1"), std::string::npos) << report.out;
    EXPECT_EQ(vdbcompare::compareFiles(d + "whole.vdb", d + "farm/cloud.vdb"), "");
    std::printf("1 frame: local %.2f s, 4 slabs + merge on the farm %.2f s\n%s", localSeconds, farmSeconds, report.out.c_str());
}

TEST_F(FarmOnSlurm, TaskWithAMissingInputShowsInTheReport)
{
    const std::string d = myDir + "/";
    std::remove((d + "in/pts.2.geo").c_str());
    Result job = submit(plume + " -i " + d + "in/pts.\\$F.geo -o " + d + "miss/p.\\$F.vdb --frames 1-3");
    ASSERT_EQ(job.status, 0) << job.out;
    ASSERT_TRUE(waitForJobs(job.out));
    Result report = sopcook("farm report " + d + "miss/p.farm");
    EXPECT_EQ(report.status, 1) << report.out;
    EXPECT_NE(report.out.find("frames done 2 of 3"), std::string::npos) << report.out;
    EXPECT_NE(report.out.find("failed: frame 2 (task 1): sopcook: error: input file " + d + "in/pts.2.geo: No such file"), std::string::npos) << report.out;
}
} // namespace
