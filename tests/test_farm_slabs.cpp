// SPDX-License-Identifier: Apache-2.0
// Slab cooks (cook --slab I/N) merged with `sopcook merge` against whole
// cooks, for every operator; what merge refuses; --skip-existing; and the
// farm commands against a stand-in sbatch (the real cluster: test_farm_slurm).
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "VdbCompare.h"
#include "cli/DemoScenes.h"

namespace
{
const std::string examples = SUITE_EXAMPLES "/";

struct Result
{
    int status = -1;
    std::string out, err;
};

// Runs sopcook with args (shell words) in env, collecting stdout and stderr.
Result sopcook(const std::string &args, const std::string &dir, const std::string &env = "")
{
    std::string out = dir + "/.out", err = dir + "/.err";
    std::string cmd = env + " '" SOPCOOK_BINARY "' " + args + " >'" + out + "' 2>'" + err + "'";
    int raw = std::system(cmd.c_str());
    auto slurp = [](const std::string &p) {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
}

bool exists(const std::string &p)
{
    struct stat st;
    return stat(p.c_str(), &st) == 0;
}

struct TempDir
{
    TempDir()
    {
        char tmpl[] = "/tmp/farm-test-XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string path;
};

struct SlabCase
{
    const char *name;
    std::string args;    // after "cook", before "-o"
    int slabs;
    const char *onlyGrid; // threaded twins with several threads: their density only
};

void PrintTo(const SlabCase &c, std::ostream *os) { *os << c.name; }

// Cooks whole and as slabs, merges the slabs (given in reverse order) and
// returns the first voxel or leaf that differs.
std::string cookWholeAndSlabs(const SlabCase &c, const std::string &dir)
{
    Result whole = sopcook("cook " + c.args + " -o " + dir + "/whole.vdb", dir);
    if (whole.status != 0) return "whole cook failed: " + whole.err;
    std::string parts;
    for (int i = 0; i < c.slabs; ++i)
    {
        std::string part = dir + "/slab" + std::to_string(i) + ".vdb";
        Result r = sopcook("cook " + c.args + " --slab " + std::to_string(i) + "/" + std::to_string(c.slabs) + " -o " + part, dir);
        if (r.status != 0) return "slab cook failed: " + r.err;
        parts = " " + part + parts;
    }
    Result merged = sopcook("merge " + dir + "/merged.vdb" + parts, dir);
    if (merged.status != 0) return "merge failed: " + merged.err;
    return vdbcompare::compareFiles(dir + "/whole.vdb", dir + "/merged.vdb", c.onlyGrid, /*leafForLeaf=*/true);
}

class SlabMerge : public ::testing::TestWithParam<SlabCase>
{
};

TEST_P(SlabMerge, MergedSlabsAreTheWholeCookVoxelForVoxel)
{
    openvdb::initialize();
    TempDir dir;
    SlabCase c = GetParam();
    if (c.args.find("GIF") != std::string::npos)
    {
        sopcook::writeDemoGif(dir.path + "/demo.gif");
        c.args.replace(c.args.find("GIF"), 3, dir.path + "/demo.gif");
    }
    EXPECT_EQ(cookWholeAndSlabs(c, dir.path), "");
}

const std::string ex = examples;
INSTANTIATE_TEST_SUITE_P(
    EveryOperator, SlabMerge,
    ::testing::Values(
        SlabCase{"plumeweave", "plumeweave -i " + ex + "points.geo -s divs=40,40,64 -s childrencount=30 -s noiseamp=0.3", 4, ""},
        SlabCase{"stretch", "plumeweave_velocity_stretch -i " + ex + "points.geo -s divs=40,40,50 -s docolor=1 -s radiusattrib=pscale", 3, ""},
        SlabCase{"stretchMT", "plumeweave_velocity_stretchMT -i " + ex + "points.geo -s divs=40,40,48 -s childrencount=20 -s docolor=1 -j 2", 3, "density"},
        SlabCase{"skin", "skinweave -i " + ex + "quads.ply -s divs=40,40,48 -s docolor=1 -s dovelocity=1 -s noiseamp=0.2,0.2,0.2 --vector-grids", 3, ""},
        SlabCase{"skinMT_frustum", "skinweaveMT -i " + ex + "quads.ply --camera " + ex + "camera.json -s usecamfrustum=on -s campath=/obj/cam1 -s divs=48,32,64 -j 1", 4, ""},
        SlabCase{"skinMT", "skinweaveMT -i " + ex + "quads.ply -s divs=40,40,40 -s docolor=1 -s dovelocity=1 -j 1", 2, ""},
        SlabCase{"strands", "strandcast -i " + ex + "curves.geo -s divs=40,48,48 -s donoise=1 -s noiseamp=4 -s noisefreq=2", 3, ""},
        SlabCase{"strandsMT", "strandcastStraightMT -i " + ex + "curves.geo -b " + ex + "points.geo -s divs=40,40,40 -s docolor=1 -j 2", 3, "density"},
        SlabCase{"cloud", "billowfold -i " + ex + "points.geo -s divs=40,40,64 -s donoise=1", 4, ""},
        SlabCase{"cloudMT", "billowfoldMT -i " + ex + "points.geo -s divs=40,40,48 -s docolor=1 -s donoise=1 -j 2", 3, "density"},
        SlabCase{"stack", "slabreel -s giffile=GIF -s offset=1", 2, ""},
        // More slabs than z tiles: the extra slabs are empty.
        SlabCase{"plume_thin", "plumeweave -i " + ex + "points.geo -s divs=32,32,20", 5, ""},
        // Odd sizes, 16 slabs of 4 z tiles: the last tiles partly outside.
        SlabCase{"cloud_odd", "billowfold -i " + ex + "points.geo -s divs=37,41,53 -s donoise=1", 16, ""}),
    [](const ::testing::TestParamInfo<SlabCase> &info) { return std::string(info.param.name); });
} // namespace

namespace
{
const std::string plume = "plumeweave -i " + ex + "points.geo -s divs=32,32,48";

// Slabs 0..n-1 of the plume cook (with extra args) into dir/NAME-i.vdb.
void cookSlabs(const std::string &dir, const std::string &name, int n, const std::string &extra = "")
{
    for (int i = 0; i < n; ++i)
        ASSERT_EQ(sopcook("cook " + plume + extra + " --slab " + std::to_string(i) + "/" + std::to_string(n) + " -o " + dir + "/" +
                              name + "-" + std::to_string(i) + ".vdb",
                          dir)
                      .status,
                  0);
}

TEST(SlabMerge, RefusesPartsThatDoNotMakeOneCookAndWritesNothing)
{
    TempDir dir;
    const std::string d = dir.path + "/";
    cookSlabs(dir.path, "a", 3);
    cookSlabs(dir.path, "b", 3, " -s noiseamp=0.5");
    cookSlabs(dir.path, "c", 2);
    ASSERT_EQ(sopcook("cook " + plume + " -o " + d + "whole.vdb", dir.path).status, 0);
    openvdb::initialize();
    openvdb::GridPtrVecPtr grids = vdbcompare::readGrids(d + "a-1.vdb");
    for (auto &g : *grids) g->insertMeta("sopcook_partial", openvdb::StringMetadata("interrupted"));
    openvdb::io::File(d + "partial-1.vdb").write(*grids);
    struct Bad
    {
        std::string parts, message;
    } cases[] = {
        {"a-0.vdb a-2.vdb", "slab 1/3 missing"},
        {"a-0.vdb a-1.vdb a-1.vdb a-2.vdb", "slab 1/3 given twice"},
        {"a-0.vdb b-1.vdb a-2.vdb", "parameters differ"},
        {"a-0.vdb a-1.vdb c-1.vdb", "slab counts 3 and 2 differ"},
        {"a-0.vdb whole.vdb a-2.vdb", "not a slab file"},
        {"a-0.vdb a-1.vdb missing.vdb", "missing.vdb: cannot open"},
        {"a-0.vdb partial-1.vdb a-2.vdb", "partial-1.vdb: holds the partial result of an interrupted cook"},
    };
    for (const Bad &b : cases)
    {
        std::string parts;
        std::istringstream words(b.parts);
        for (std::string w; words >> w;) parts += " " + d + w;
        Result r = sopcook("merge " + d + "out.vdb" + parts, dir.path);
        EXPECT_EQ(r.status, 1) << b.parts;
        EXPECT_NE(r.err.find(b.message), std::string::npos) << b.parts << ": " << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
        EXPECT_FALSE(exists(d + "out.vdb")) << b.parts;
    }
    Result range = sopcook("cook " + plume + " --slab 3/3 -o " + d + "x.vdb", dir.path);
    EXPECT_EQ(range.status, 1);
    EXPECT_NE(range.err.find("--slab 3/3: slab 3 is out of range 0-2"), std::string::npos) << range.err;
    EXPECT_FALSE(exists(d + "x.vdb"));
}

TEST(SkipExisting, SkipsCompleteFilesOnlyReadingThemBack)
{
    TempDir dir;
    const std::string d = dir.path + "/";
    const std::string cook = "cook " + plume + " --frames 1-4 --stats --skip-existing -o " + d + "f.\\$F.vdb";
    ASSERT_EQ(sopcook("cook " + plume + " --frames 1-4 -o " + d + "f.\\$F.vdb", dir.path).status, 0);
    // Frame 2 cut short, frame 3 a slab of another cook, frame 4 marked as
    // the partial result of an interrupted cook.
    ASSERT_EQ(truncate((d + "f.2.vdb").c_str(), 300), 0);
    ASSERT_EQ(sopcook("cook " + plume + " --frames 3 --slab 0/2 -o " + d + "f.3.vdb", dir.path).status, 0);
    openvdb::initialize();
    openvdb::GridPtrVecPtr grids = vdbcompare::readGrids(d + "f.4.vdb");
    ASSERT_TRUE(grids);
    for (auto &g : *grids) g->insertMeta("sopcook_partial", openvdb::StringMetadata("interrupted"));
    openvdb::io::File(d + "f.4.vdb").write(*grids);
    Result r = sopcook(cook, dir.path);
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::vector<bool> skipped;
    while (std::getline(lines, line)) skipped.push_back(line.find("\"skipped\":true") != std::string::npos);
    EXPECT_EQ(skipped, (std::vector<bool>{true, false, false, false})) << r.out;
    EXPECT_NE(r.err.find("skipping frame 1"), std::string::npos) << r.err;
    // Now every file is whole: all four are skipped.
    Result again = sopcook(cook, dir.path);
    EXPECT_EQ(std::count(again.out.begin(), again.out.end(), '\n'), 4);
    EXPECT_EQ(again.out.find("cook_seconds"), std::string::npos) << again.out;
}

// A stand-in for Slurm's sbatch: records its arguments, answers with a job
// id, or rejects the job the way sbatch does.
void writeFakeSbatch(const std::string &bin, bool accept)
{
    mkdir(bin.c_str(), 0755);
    std::ofstream s(bin + "/sbatch");
    s << "#!/bin/sh\necho \"$@\" >> '" << bin << "/calls'\n";
    if (accept)
        s << "n=$(wc -l < '" << bin << "/calls'); echo $((41 + n))\n";
    else
        s << "echo 'sbatch: error: Batch job submission failed: Invalid partition name specified' >&2\nexit 1\n";
    s.close();
    chmod((bin + "/sbatch").c_str(), 0755);
}

TEST(FarmSlurmCook, SubmitsArrayAndMergeJobsOrSaysWhyNot)
{
    TempDir dir;
    const std::string d = dir.path + "/";
    writeFakeSbatch(d + "ok", true);
    writeFakeSbatch(d + "no", false);
    const std::string job = "farm slurm cook " + plume + " -o " + d + "out/p.\\$F4.vdb --frames 1-5 --chunk 2 --job-dir " + d + "job";

    Result missing = sopcook(job, dir.path, "PATH=" + d + "empty");
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("sbatch not found"), std::string::npos) << missing.err;
    Result rejected = sopcook(job + " --partition nosuch", dir.path, "PATH=" + d + "no:$PATH");
    EXPECT_EQ(rejected.status, 1);
    EXPECT_NE(rejected.err.find("Invalid partition name specified"), std::string::npos) << rejected.err;
    EXPECT_FALSE(exists(d + "job")) << "a rejected job leaves no folder";
    EXPECT_FALSE(exists(d + "out"));

    Result ok = sopcook(job, dir.path, "PATH=" + d + "ok:$PATH");
    ASSERT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out, "42\n");
    std::ifstream script(d + "job/cook.sbatch");
    std::stringstream text;
    text << script.rdbuf();
    EXPECT_NE(text.str().find("#SBATCH --array=0-2"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find("FRAMES=('1-2' '3-4' '5-5')"), std::string::npos) << text.str();

    Result slabs = sopcook("farm slurm cook " + plume + " -o " + d + "big.vdb --slabs 4 --job-dir " + d + "slabjob", dir.path,
                           "PATH=" + d + "ok:$PATH");
    ASSERT_EQ(slabs.status, 0) << slabs.err;
    EXPECT_EQ(slabs.out, "43\n44\n");
    std::ifstream calls(d + "ok/calls");
    std::stringstream c;
    c << calls.rdbuf();
    EXPECT_NE(c.str().find("--dependency=afterok:43"), std::string::npos) << c.str();
}

// The value of "#SBATCH --NAME=" in the first script of text, or "".
std::string sbatchValue(const std::string &text, const std::string &name)
{
    const std::string key = "#SBATCH --" + name + "=";
    size_t at = text.find(key);
    if (at == std::string::npos) return "";
    at += key.size();
    return text.substr(at, text.find('\n', at) - at);
}

// "D-HH:MM:SS" as seconds.
long long slurmSeconds(const std::string &t)
{
    int d = 0, h = 0, m = 0, sec = 0;
    return std::sscanf(t.c_str(), "%d-%d:%d:%d", &d, &h, &m, &sec) == 4 ? ((d * 24LL + h) * 60 + m) * 60 + sec : -1;
}

TEST(FarmSlurmCook, SlabTasksAskForTheirSlabsMemoryAndTime)
{
    TempDir dir;
    const std::string cook = "farm slurm cook billowfold -i " + ex + "points.geo -s divs=400,400,800 -s donoise=1 --dry-run -o " +
                             dir.path + "/c.vdb";
    Result whole = sopcook(cook, dir.path), slabs = sopcook(cook + " --slabs 8", dir.path);
    ASSERT_EQ(whole.status, 0) << whole.err;
    ASSERT_EQ(slabs.status, 0) << slabs.err;
    const std::string wholeMem = sbatchValue(whole.out, "mem"), slabMem = sbatchValue(slabs.out, "mem");
    ASSERT_FALSE(wholeMem.empty() || slabMem.empty()) << whole.out << slabs.out;
    // Memory: an eighth of the filled tiles; time: an eighth of the work plus
    // what a slab cannot skip, and the ten minutes of reading and writing.
    EXPECT_LT(std::stoll(slabMem) * 4, std::stoll(wholeMem)) << wholeMem << " vs " << slabMem;
    const long long wholeTime = slurmSeconds(sbatchValue(whole.out, "time")), slabTime = slurmSeconds(sbatchValue(slabs.out, "time"));
    ASSERT_GT(wholeTime, 600) << whole.out;
    ASSERT_GT(slabTime, 600) << slabs.out;
    EXPECT_LT(2 * (slabTime - 600), wholeTime - 600) << wholeTime << " vs " << slabTime; // seconds, rounded up
    // The merge job holds the whole frame; a --time given is kept.
    EXPECT_GT(std::stoll(sbatchValue(slabs.out.substr(slabs.out.find("after the array job")), "mem")), std::stoll(slabMem));
    Result given = sopcook(cook + " --slabs 8 --time 1:00:00", dir.path);
    EXPECT_EQ(sbatchValue(given.out, "time"), "1:00:00") << given.out;
}

TEST(FarmReport, CountsFramesWithoutStatsAsFailed)
{
    TempDir dir;
    const std::string d = dir.path + "/";
    writeFakeSbatch(d + "ok", true);
    ASSERT_EQ(sopcook("farm slurm cook plumeweave -s divs=32,32,48 -i " + d + "in.\\$F.geo -o " + d + "p.\\$F.vdb --frames 1-3 --job-dir " + d + "job",
                      dir.path, "PATH=" + d + "ok:$PATH")
                  .status,
              0);
    // Tasks 0 and 2 ran; task 1 died on its missing input before any line.
    // What the tasks that ran wrote (a frame is done only once its output reads back).
    ASSERT_EQ(sopcook("cook " + plume + " --frames 1-3 -o " + d + "p.\\$F.vdb", dir.path).status, 0);
    ASSERT_EQ(sopcook("cook " + plume + " --frames 1-3 -o " + d + "q.\\$F.vdb", dir.path).status, 0);
    std::ofstream(d + "job/stats/task-0.jsonl") << "{\"frame\":1,\"cook_seconds\":1.5,\"write_seconds\":0.25,\"peak_memory_bytes\":2097152}\n";
    std::ofstream(d + "job/stats/task-2.jsonl") << "{\"frame\":3,\"cook_seconds\":0.5,\"write_seconds\":0.25,\"peak_memory_bytes\":1048576}\n";
    std::ofstream(d + "job/logs/task-1.log") << "sopcook: error: " << d << "in.2.geo: cannot open: No such file or directory\n";
    Result r = sopcook("farm report " + d + "job", dir.path);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("frames done 2 of 3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cook 2.00 s, write 0.50 s"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("peak memory 2.0 MB"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("failed: frame 2 (task 1): sopcook: error: " + d + "in.2.geo: cannot open"), std::string::npos) << r.out;

    std::ofstream(d + "job/stats/task-1.jsonl") << "{\"frame\":2,\"cook_seconds\":1,\"write_seconds\":0}\n";
    EXPECT_EQ(sopcook("farm report " + d + "job", dir.path).status, 0);

    // A chunk of frames: its task cooks every frame and names each failed
    // one; a frame is reported with its own error, not the task's summary.
    ASSERT_EQ(sopcook("farm slurm cook plumeweave -s divs=32,32,48 -i " + d + "in.\\$F.geo -o " + d + "q.\\$F.vdb --frames 1-3 --chunk 3 --job-dir " +
                          d + "chunked",
                      dir.path, "PATH=" + d + "ok:$PATH")
                  .status,
              0);
    std::stringstream chunkScript;
    chunkScript << std::ifstream(d + "chunked/cook.sbatch").rdbuf();
    EXPECT_NE(chunkScript.str().find(" --keep-going --stats"), std::string::npos) << chunkScript.str();
    std::ofstream(d + "chunked/stats/task-0.jsonl") << "{\"frame\":1,\"cook_seconds\":1}\n{\"frame\":3,\"cook_seconds\":1}\n";
    std::ofstream(d + "chunked/logs/task-0.log") << "sopcook: error: frame 2: " << d << "in.2.geo: cannot open: No such file or directory\n"
                                                 << "sopcook: error: 1 of 3 frames failed: 2\n";
    Result chunked = sopcook("farm report " + d + "chunked", dir.path);
    EXPECT_EQ(chunked.status, 1);
    EXPECT_NE(chunked.out.find("frames done 2 of 3"), std::string::npos) << chunked.out;
    EXPECT_NE(chunked.out.find("failed: frame 2 (task 0): sopcook: error: frame 2: " + d + "in.2.geo: cannot open"), std::string::npos)
        << chunked.out;
    Result notJob = sopcook("farm report " + d, dir.path);
    EXPECT_EQ(notJob.status, 1);
    EXPECT_NE(notJob.err.find("not a farm job folder"), std::string::npos) << notJob.err;
}
} // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define FARM_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define FARM_SANITIZED 1
#endif
#endif

namespace
{
TEST(SlabEstimate, CookRefusedWholeIsAcceptedAsSlabsThatFit)
{
#ifdef FARM_SANITIZED
    GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#endif
    TempDir dir;
    // 4 volumes of 1024^3 fill 16 GB; a quarter of them fits under 6 GB.
    const std::string big = "cook plumeweave -i " + ex + "points.geo -s divs=1024,1024,1024 -o " + dir.path + "/big.vdb";
    Result whole = sopcook(big, dir.path, "ulimit -v 6000000;");
    EXPECT_EQ(whole.status, 1);
    EXPECT_NE(whole.err.find("16.0 GB when filled"), std::string::npos) << whole.err;
    Result slab = sopcook(big + " --slab 3/4", dir.path, "ulimit -v 6000000;");
    EXPECT_EQ(slab.status, 0) << slab.err;
}
} // namespace
