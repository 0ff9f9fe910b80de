// SPDX-License-Identifier: Apache-2.0
// What merge and the farm take as true: slab parts merge only when they are
// of one cook as it ran (parameters after every -s, inputs' contents, the
// plug-in) and their values match the checksum written with them; a job
// folder's earlier stats are never read as this job's; a frame is done only
// when its output reads back complete; the farm's task line gives every cook
// option the command line parsed.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <CLI/CLI.hpp>

#include "SopcookRun.h"
#include "VdbCompare.h"
#include "cli/CookArgs.h"
#include "farm/FarmJob.h"

using namespace sopcooktest;

namespace
{
const std::string ex = SUITE_EXAMPLES "/";
const std::string plume = "plumeweave -i " + ex + "points.geo -s divs=32,32,48";

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

// Cooks slab i of n of `cook ARGS` into path; the error text when it fails.
std::string cookSlab(const std::string &args, int i, int n, const std::string &path, const std::string &env = "")
{
    CliRun r = runSopcook("cook " + args + " --slab " + std::to_string(i) + "/" + std::to_string(n) + " -o " + path, env);
    return r.status == 0 ? "" : r.err;
}

TEST(MergeIdentity, PartsMergeOnlyWhenTheirCookUsedTheSameValuesInputsAndPlugin)
{
    openvdb::initialize();
    TempDir dir;
    // -s in order: the last one wins, so these two cooks differ.
    ASSERT_EQ(cookSlab(plume + " -s noiseamp=0.1 -s noiseamp=3", 0, 2, dir / "a0.vdb"), "");
    ASSERT_EQ(cookSlab(plume + " -s noiseamp=3 -s noiseamp=0.1", 1, 2, dir / "a1.vdb"), "");
    CliRun reversed = runSopcook("merge " + (dir / "m.vdb") + " " + (dir / "a0.vdb") + " " + (dir / "a1.vdb"));
    EXPECT_EQ(reversed.status, 1);
    EXPECT_TRUE(contains(reversed.err, "parameters differ: noiseamp=3 and noiseamp=0.1)")) << reversed.err;
    EXPECT_EQ(std::count(reversed.err.begin(), reversed.err.end(), '\n'), 1) << reversed.err;
    EXPECT_FALSE(exists(dir / "m.vdb"));

    // The same values given another way are the same cook.
    ASSERT_EQ(cookSlab(plume + " -s noiseamp=0.1 -s noiseamp=3 -s childrencount=20", 1, 2, dir / "b1.vdb"), "");
    ASSERT_EQ(cookSlab(plume + " -s childrencount=20.0 -s noiseamp=3.0", 0, 2, dir / "b0.vdb"), "");
    CliRun same = runSopcook("merge " + (dir / "same.vdb") + " " + (dir / "b1.vdb") + " " + (dir / "b0.vdb"));
    EXPECT_EQ(same.status, 0) << same.err;
    ASSERT_EQ(runSopcook("cook " + plume + " -s noiseamp=3 -s childrencount=20 -o " + (dir / "whole.vdb")).status, 0);
    EXPECT_EQ(vdbcompare::compareFiles(dir / "whole.vdb", dir / "same.vdb", ""), "");

    // An input rewritten between the slabs under the same name.
    const std::string in = dir / "in.geo";
    writeText(in, readText(ex + "points.geo"));
    const std::string fromFile = "plumeweave -i " + in + " -s divs=32,32,48";
    ASSERT_EQ(cookSlab(fromFile, 0, 2, dir / "c0.vdb"), "");
    std::string text = readText(in);
    text.insert(text.find('\n') + 1, "\n");
    writeText(in, text);
    ASSERT_EQ(cookSlab(fromFile, 1, 2, dir / "c1.vdb"), "");
    CliRun input = runSopcook("merge " + (dir / "m.vdb") + " " + (dir / "c0.vdb") + " " + (dir / "c1.vdb"));
    EXPECT_EQ(input.status, 1);
    EXPECT_TRUE(contains(input.err, "input files differ: -i: ")) << input.err;

    // Attribute defaults as parsed: 0.50 and 0.5 are one value, 0.6 another.
    ASSERT_EQ(cookSlab(plume + " -a pscale=0.50", 0, 2, dir / "d0.vdb"), "");
    ASSERT_EQ(cookSlab(plume + " -a pscale=0.5", 1, 2, dir / "d1.vdb"), "");
    ASSERT_EQ(cookSlab(plume + " -a pscale=0.6", 1, 2, dir / "e1.vdb"), "");
    EXPECT_EQ(runSopcook("merge " + (dir / "d.vdb") + " " + (dir / "d0.vdb") + " " + (dir / "d1.vdb")).status, 0);
    CliRun attrib = runSopcook("merge " + (dir / "m.vdb") + " " + (dir / "d0.vdb") + " " + (dir / "e1.vdb"));
    EXPECT_EQ(attrib.status, 1);
    EXPECT_TRUE(contains(attrib.err, "attribute defaults differ: -a pscale=0.5 and -a pscale=0.6)")) << attrib.err;

    // Another build of the plug-in: the same file with one byte more.
    const std::string plugins = dir / "plugins";
    mkdir(plugins.c_str(), 0755);
    writeText(plugins + "/plumeweave.so", readText(SUITE_PLUGIN_DIR "/plumeweave.so") + std::string(1, '\0'));
    ASSERT_EQ(cookSlab(plume, 0, 2, dir / "f0.vdb"), "");
    ASSERT_EQ(cookSlab(plume, 1, 2, dir / "f1.vdb", "SOPCOOK_DSO_PATH=" + plugins), "");
    CliRun library = runSopcook("merge " + (dir / "m.vdb") + " " + (dir / "f0.vdb") + " " + (dir / "f1.vdb"));
    EXPECT_EQ(library.status, 1);
    EXPECT_TRUE(contains(library.err, "operator libraries differ: plumeweave.so, ")) << library.err;
    EXPECT_FALSE(exists(dir / "m.vdb"));
}

// Sets voxel (x, y, z) of the part's density to value, keeping everything
// else (its metadata and checksum included).
void changeVoxel(const std::string &path, const openvdb::Coord &at, float value)
{
    openvdb::GridPtrVec grids = readGrids(path);
    openvdb::FloatGrid::Ptr density = floatGrid(grids, "density");
    ASSERT_TRUE(density);
    density->tree().setValueOn(at, value);
    openvdb::io::File(path).write(grids);
}

TEST(MergeChecksum, PartsWithChangedValuesAreRefusedNamingPartAndGrid)
{
    TempDir dir;
    for (int i = 0; i < 2; ++i) ASSERT_EQ(cookSlab(plume + " --compression none", i, 2, dir / ("p" + std::to_string(i) + ".vdb")), "");
    const std::string parts = " " + (dir / "p0.vdb") + " " + (dir / "p1.vdb");
    ASSERT_EQ(runSopcook("merge " + (dir / "ok.vdb") + parts).status, 0);

    // One voxel changed after the part was written, metadata untouched.
    writeText(dir / "keep1.vdb", readText(dir / "p1.vdb"));
    openvdb::FloatGrid::Ptr density = floatGrid(readGrids(dir / "p1.vdb"), "density");
    ASSERT_TRUE(density && density->activeVoxelCount() > 0);
    changeVoxel(dir / "p1.vdb", density->cbeginValueOn().getCoord(), 0.125f);
    CliRun changed = runSopcook("merge " + (dir / "m.vdb") + parts);
    EXPECT_EQ(changed.status, 1);
    EXPECT_TRUE(contains(changed.err, (dir / "p1.vdb") + ": grid 'density' is damaged")) << changed.err;
    EXPECT_TRUE(contains(changed.err, "cook slab 1/2 again")) << changed.err;
    EXPECT_FALSE(exists(dir / "m.vdb"));

    // Single bit flips in the stored values of the density leaf with the
    // most active voxels (uncompressed: its active values in index order).
    const std::string good = readText(dir / "keep1.vdb");
    const openvdb::FloatTree::LeafNodeType *fullest = nullptr;
    for (auto leaf = density->tree().cbeginLeaf(); leaf; ++leaf)
        if (!fullest || leaf->onVoxelCount() > fullest->onVoxelCount()) fullest = leaf.getLeaf();
    ASSERT_TRUE(fullest && fullest->onVoxelCount() >= 8);
    std::string values;
    for (auto v = fullest->cbeginValueOn(); v; ++v) values.append(reinterpret_cast<const char *>(&*v), sizeof(float));
    const size_t start = good.find(values);
    ASSERT_NE(start, std::string::npos) << "the leaf's values are not stored as they stand";
    for (int k = 0; k < 12; ++k)
    {
        std::string bad = good;
        const size_t at = start + size_t(k) * values.size() / 12;
        bad[at] = char(bad[at] ^ (1 << (k % 8)));
        writeText(dir / "p1.vdb", bad);
        CliRun r = runSopcook("merge " + (dir / "m.vdb") + parts);
        EXPECT_EQ(r.status, 1) << "byte " << at;
        EXPECT_TRUE(contains(r.err, (dir / "p1.vdb") + ": grid 'density' is damaged")) << "byte " << at << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(exists(dir / "m.vdb"));
    }

    // A part from before checksums (the key removed) is not taken on trust.
    openvdb::GridPtrVec grids = readGrids(dir / "keep1.vdb");
    for (auto &g : grids) g->removeMeta("sopcook_checksum");
    openvdb::io::File(dir / "p1.vdb").write(grids);
    CliRun unchecked = runSopcook("merge " + (dir / "m.vdb") + parts);
    EXPECT_EQ(unchecked.status, 1);
    EXPECT_TRUE(contains(unchecked.err, "carries no value checksum")) << unchecked.err;
}

// A stand-in for Slurm's sbatch (job ids 42, 43, ...), or one that rejects.
void writeFakeSbatch(const std::string &bin, bool accept)
{
    mkdir(bin.c_str(), 0755);
    std::string s = "#!/bin/sh\necho \"$@\" >> '" + bin + "/calls'\n";
    s += accept ? "n=$(wc -l < '" + bin + "/calls'); echo $((41 + n))\n" : "echo 'sbatch: error: Invalid account' >&2\nexit 1\n";
    writeText(bin + "/sbatch", s);
    chmod((bin + "/sbatch").c_str(), 0755);
}

TEST(FarmResubmit, AnEarlierJobsStatsAreRefusedOrMovedAsideNeverCounted)
{
    TempDir dir;
    writeFakeSbatch(dir / "ok", true);
    writeFakeSbatch(dir / "no", false);
    const std::string ok = "PATH=" + (dir / "ok") + ":$PATH", no = "PATH=" + (dir / "no") + ":$PATH";
    const std::string job = "farm slurm cook " + plume + " -o " + (dir / "p.\\$F.vdb") + " --frames 1-2 --job-dir " + (dir / "job");
    ASSERT_EQ(runSopcook(job, ok).status, 0);
    // The earlier job ran to the end: both frames cooked, both stats lines.
    ASSERT_EQ(runSopcook("cook " + plume + " --frames 1-2 -o " + (dir / "p.\\$F.vdb")).status, 0);
    for (int t = 0; t < 2; ++t)
        writeText(dir / ("job/stats/task-" + std::to_string(t) + ".jsonl"),
                  "{\"frame\":" + std::to_string(t + 1) + ",\"output\":\"" + (dir / ("p." + std::to_string(t + 1) + ".vdb")) + "\"}\n");
    ASSERT_EQ(runSopcook("farm report " + (dir / "job")).status, 0);
    const std::string earlierManifest = readText(dir / "job/job.json");

    CliRun again = runSopcook(job, ok);
    EXPECT_EQ(again.status, 1);
    EXPECT_TRUE(contains(again.err, "holds an earlier job (2 stats and log files, such as stats/task-0.jsonl)")) << again.err;
    EXPECT_TRUE(contains(again.err, "--resubmit")) << again.err;
    EXPECT_EQ(readText(dir / "job/job.json"), earlierManifest);

    // A resubmission sbatch rejects leaves the earlier job where it was.
    CliRun rejected = runSopcook(job + " --resubmit", no);
    EXPECT_EQ(rejected.status, 1);
    EXPECT_TRUE(contains(rejected.err, "Invalid account")) << rejected.err;
    EXPECT_TRUE(exists(dir / "job/stats/task-1.jsonl"));
    EXPECT_FALSE(exists(dir / "job/earlier-1"));
    EXPECT_EQ(readText(dir / "job/job.json"), earlierManifest);

    CliRun moved = runSopcook(job + " --resubmit", ok);
    ASSERT_EQ(moved.status, 0) << moved.err;
    EXPECT_TRUE(contains(moved.err, "moved the earlier job's stats, logs and scripts to " + (dir / "job/earlier-1"))) << moved.err;
    EXPECT_TRUE(exists(dir / "job/earlier-1/stats/task-0.jsonl"));
    EXPECT_TRUE(exists(dir / "job/earlier-1/job.json"));
    EXPECT_TRUE(exists(dir / "job/job.json"));
    EXPECT_FALSE(exists(dir / "job/stats/task-0.jsonl"));
    // No new task has run: nothing is done, though the outputs are there.
    CliRun report = runSopcook("farm report " + (dir / "job"));
    EXPECT_EQ(report.status, 1);
    EXPECT_TRUE(contains(report.out, "frames done 0 of 2")) << report.out;
}

TEST(FarmReport, AFrameIsDoneOnlyWhenItsOutputReadsBackComplete)
{
    TempDir dir;
    writeFakeSbatch(dir / "ok", true);
    const std::string out = dir / "f.\\$F.vdb";
    ASSERT_EQ(runSopcook("farm slurm cook " + plume + " -o " + out + " --frames 1-4 --job-dir " + (dir / "job"), "PATH=" + (dir / "ok") + ":$PATH").status, 0);
    ASSERT_EQ(runSopcook("cook " + plume + " --frames 1-3 -o " + out).status, 0);
    // Frame 2 cut short after its task finished; frame 3's line names another
    // file; frame 4's output was never written.
    ASSERT_EQ(truncate((dir / "f.2.vdb").c_str(), 200), 0);
    auto line = [&](int f, const std::string &output) {
        writeText(dir / ("job/stats/task-" + std::to_string(f - 1) + ".jsonl"),
                  "{\"frame\":" + std::to_string(f) + ",\"output\":\"" + output + "\",\"cook_seconds\":1}\n");
    };
    for (int f : {1, 2, 4}) line(f, dir / ("f." + std::to_string(f) + ".vdb"));
    line(3, dir / "elsewhere.vdb");
    CliRun r = runSopcook("farm report " + (dir / "job"));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(contains(r.out, "frames done 1 of 4")) << r.out;
    EXPECT_TRUE(contains(r.out, "failed: frame 2 (task 1): output not complete: " + (dir / "f.2.vdb"))) << r.out;
    EXPECT_TRUE(contains(r.out, "failed: frame 3 (task 2): its stats line is of another output")) << r.out;
    EXPECT_TRUE(contains(r.out, "failed: frame 4 (task 3): output not complete: " + (dir / "f.4.vdb"))) << r.out;

    // A slab job's merged frame counts once this job's slabs are done: an
    // output left from before (a resubmission keeps them) is not its merge.
    ASSERT_EQ(runSopcook("farm slurm cook " + plume + " -o " + (dir / "f.1.vdb") + " --slabs 2 --job-dir " + (dir / "slabs"),
                         "PATH=" + (dir / "ok") + ":$PATH")
                  .status,
              0);
    CliRun slabs = runSopcook("farm report " + (dir / "slabs"));
    EXPECT_EQ(slabs.status, 1);
    EXPECT_TRUE(contains(slabs.out, "frames merged 0 of 1")) << slabs.out;
    EXPECT_TRUE(contains(slabs.out, "failed: merge of frame 1: not run, 0 of 2 slabs done")) << slabs.out;
}

// Every cook option with a value, in the command line's words. A new option
// fails the round trip below until it is given a sample here.
const std::vector<std::vector<std::string>> everyOption = {
    {"plumeweave"},
    {"-i", "in.$F4.geo"},
    {"--bbox", "box.geo"},
    {"-s", "noiseamp=-3", "--set", "divs=8,8,8", "-s", "noiseamp=0.1"},
    {"-a", "pscale=0.5", "--attrib", "Cd=1,0,0"},
    {"--attrib-override", "density=-2"},
    {"--camera", "cam.json"},
    {"-j", "3"},
    {"-o", "out.$F.vdb"},
    {"--preview", "p.$F.png"},
    {"--frames", "2-5"},
    {"--stats"},
    {"-v"},
    {"--log", "cook.log"},
    {"--force"},
    {"--keep-going"},
    {"--estimate"},
    {"--allow-empty"},
    {"--triangles-to-quads"},
    {"--slab", "1/4"},
    {"--skip-existing"},
    {"--vector-grids=only"},
    {"--resample", "uniform=0.25"},
    {"--compression", "zip"},
};

// Parses words (after `cook`) into args; the parse error when it fails.
std::string parseCook(CLI::App &app, sopcook::CookArgs &args, std::vector<std::string> words)
{
    sopcook::addCookArguments(app, args);
    std::reverse(words.begin(), words.end());
    try
    {
        app.parse(words);
        args.finish();
    }
    catch (const std::exception &e)
    {
        return e.what();
    }
    return "";
}

// Every field of the options, for comparing two parses.
std::string describe(const sopcook::CookOptions &o)
{
    std::ostringstream s;
    s << o.op << '|' << o.input << '|' << o.bbox << '|' << o.camera << '|' << o.output << '|' << o.preview << '|';
    for (auto *list : {&o.settings, &o.attribs, &o.attribOverrides})
    {
        for (const std::string &v : *list) s << v << ',';
        s << '|';
    }
    s << o.log << '|' << o.threads << '|' << o.frames << '|' << o.stats << o.verbose << o.force << '|' << o.slab << '|'
      << o.skipExisting << o.keepGoing << o.estimateOnly << o.allowEmpty << o.trianglesToQuads << '|' << int(o.vectors) << '|' << o.resample.uniform
      << o.resample.voxelSize << '|' << sopcook::compressionName(o.compression);
    return s.str();
}

std::vector<std::string> flatten(const std::vector<std::vector<std::string>> &groups)
{
    std::vector<std::string> words;
    for (const auto &g : groups) words.insert(words.end(), g.begin(), g.end());
    return words;
}

TEST(FarmTaskLine, EveryCookOptionSurvivesGenerateAndParse)
{
    auto same = [](const std::string &path) { return path; };
    for (const std::vector<std::string> &given :
         {flatten(everyOption), std::vector<std::string>{"billowfold", "-o", "x.vdb"},
          std::vector<std::string>{"skinweave", "--vector-grids", "--force=false", "-o", "x.vdb"}})
    {
        CLI::App first, second;
        sopcook::CookArgs a, b;
        ASSERT_EQ(parseCook(first, a, given), "");
        if (given == flatten(everyOption))
        {
            for (const CLI::Option *opt : a.definitions)
                EXPECT_GT(opt->count(), 0u) << opt->get_name() << " has no sample in everyOption";
        }
        std::vector<std::string> words = sopcook::cookCommandWords(a, {}, same);
        ASSERT_EQ(parseCook(second, b, words), "") << testing::PrintToString(words);
        EXPECT_EQ(describe(b.options), describe(a.options)) << testing::PrintToString(words);
    }

    // The farm's line: the task's own options left for the task to give,
    // files made absolute, values that start with '-' still values.
    CLI::App app, task;
    sopcook::CookArgs a, b;
    ASSERT_EQ(parseCook(app, a, flatten(everyOption)), "");
    std::vector<std::string> words = sopcook::cookCommandWords(a, sopcook::taskOptions(), [](const std::string &p) { return "/farm/" + p; });
    for (const std::string &w : words)
    {
        for (const std::string &owned : sopcook::taskOptions()) EXPECT_NE(w.rfind(owned, 0), 0u) << w;
    }
    for (const char *w : {"--input=/farm/in.$F4.geo", "--set=noiseamp=-3", "--allow-empty", "--log=/farm/cook.log"})
        EXPECT_NE(std::find(words.begin(), words.end(), w), words.end()) << w << " in " << testing::PrintToString(words);
    words.insert(words.end(), {"-o", "/farm/out.$F.vdb", "--frames", "2-5", "--slab", "1/4", "--stats", "--keep-going"});
    ASSERT_EQ(parseCook(task, b, words), "");
    a.options.input = "/farm/" + a.options.input;
    a.options.bbox = "/farm/" + a.options.bbox;
    a.options.camera = "/farm/" + a.options.camera;
    a.options.preview = "/farm/" + a.options.preview;
    a.options.log = "/farm/" + a.options.log;
    a.options.output = "/farm/" + a.options.output;
    EXPECT_EQ(describe(b.options), describe(a.options));
}

TEST(FarmTaskLine, TheSubmittedScriptCarriesEveryFlagAndRefusesWhatTasksCannotShare)
{
    TempDir dir;
    const std::string base = "farm slurm cook " + plume + " -o " + (dir / "p.\\$F.vdb") + " --frames 1-2 --dry-run";
    CliRun r = runSopcook(base + " --allow-empty --force -s noiseamp=-1 --compression none");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char *word : {"'--allow-empty'", "'--force'", "'--set=noiseamp=-1'", "'--compression=none'", "'--input=" })
        EXPECT_TRUE(contains(r.out, word)) << word << " in " << r.out;
    EXPECT_FALSE(contains(r.out, "'--output=")) << r.out;

    CliRun estimate = runSopcook(base + " --estimate");
    EXPECT_EQ(estimate.status, 1);
    EXPECT_TRUE(contains(estimate.err, "farm: --estimate cooks nothing")) << estimate.err;
    CliRun log = runSopcook(base + " --log " + (dir / "ops.log"));
    EXPECT_EQ(log.status, 1);
    EXPECT_TRUE(contains(log.err, "would be rewritten by each of the 2 tasks")) << log.err;
}
} // namespace
