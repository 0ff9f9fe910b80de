// SPDX-License-Identifier: Apache-2.0
// The sbatch scripts of a farm job and their submission.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>

#include "Messages.h"
#include "cook/CookEstimate.h"
#include "cook/Frames.h"
#include "cook/OperatorCook.h"
#include "cook/ParmAssign.h"
#include "farm/EarlierJob.h"
#include "farm/FarmFiles.h"
#include "cook/SlabPart.h"
#include "farm/SlurmSubmit.h"

namespace sopcook
{
namespace
{
std::string sopcookPath()
{
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    return n > 0 ? std::string(buf, size_t(n)) : "sopcook";
}

std::string header(const FarmOptions &farm, const std::string &name, const std::string &log,
                   const std::string &mem)
{
    std::ostringstream s;
    s << "#!/bin/bash\n"
      << "#SBATCH --job-name=" << name << "\n"
      << "#SBATCH --output=" << log << "\n"
      << "#SBATCH --chdir=" << absolutePath(".") << "\n";
    if (!mem.empty()) s << "#SBATCH --mem=" << mem << "\n";
    if (!farm.partition.empty()) s << "#SBATCH --partition=" << farm.partition << "\n";
    if (!farm.time.empty()) s << "#SBATCH --time=" << farm.time << "\n";
    return s.str();
}

std::string bashArray(const char *name, const std::vector<std::string> &values)
{
    std::string line = std::string(name) + "=(";
    for (size_t i = 0; i < values.size(); ++i) line += (i ? " " : "") + shellQuote(values[i]);
    return line + ")\n";
}
} // namespace

std::string arrayScript(const FarmJob &job, const CookOptions &cook, const FarmOptions &farm, const std::string &mem)
{
    std::ostringstream s;
    s << header(farm, "sopcook-" + job.op, job.dir + "/logs/task-%a.log", mem)
      << "#SBATCH --array=0-" << job.tasks.size() - 1 << "\n";
    if (cook.threads > 0) s << "#SBATCH --cpus-per-task=" << cook.threads << "\n";
    s << "# One task of `sopcook farm slurm cook`: its frames (and slab), with --stats\n"
      << "# lines to the job folder for `sopcook farm report " << job.dir << "`.\n"
      << "set -u\n";
    std::vector<std::string> frames, outputs, slabs;
    for (const FarmTask &t : job.tasks)
    {
        frames.push_back(std::to_string(t.first) + "-" + std::to_string(t.last));
        outputs.push_back(t.output);
        slabs.push_back(t.slab);
    }
    s << bashArray("FRAMES", frames) << bashArray("OUTPUT", outputs);
    if (job.slabs > 0) s << bashArray("SLAB", slabs);
    s << "t=$SLURM_ARRAY_TASK_ID\n" << "exec " << shellQuote(sopcookPath()) << " cook";
    for (const std::string &a : farm.cookWords) s << " " << shellQuote(a);
    // A frame that fails does not stop the other frames of its chunk.
    s << " -o \"${OUTPUT[$t]}\" --frames \"${FRAMES[$t]}\"" << (job.slabs > 0 ? " --slab \"${SLAB[$t]}\"" : "")
      << " --keep-going --stats > " << shellQuote(job.dir + "/stats/task-") << "\"$t\".jsonl\n";
    return s.str();
}

std::string mergeScript(const FarmJob &job, const FarmOptions &farm, const std::string &mem)
{
    std::ostringstream s;
    s << header(farm, "sopcook-" + job.op + "-merge", job.mergeLogPath(), mem)
      << "# Joins the slabs of each frame into its output once every slab task succeeded.\n"
      << "set -eu\n";
    for (int f = job.first; f <= job.last; ++f)
    {
        s << shellQuote(sopcookPath()) << " merge " << shellQuote(expandFrame(job.output, f));
        for (const std::string &part : job.slabFiles(f)) s << " " << shellQuote(part);
        s << "\n";
    }
    return s.str();
}

namespace
{
// Slurm's --mem for a task whose cook the estimate sizes: the volumes filled,
// plus as much again while they become VDB grids, plus the process itself.
std::string memoryRequest(const CookEstimate &e, double conversion)
{
    double mb = std::ceil(e.fullBytes * conversion / (1024.0 * 1024.0)) + 256.0;
    return std::to_string((long long)mb) + "M";
}

// Slurm's --time for a task of frames the estimate sizes: twice their most
// work plus ten minutes for reading and writing, as D-HH:MM:SS; empty (the
// partition's default) without a cost model or beyond a week, where a limit
// would only be refused or kill a cook that was going to finish.
std::string timeRequest(const CookEstimate &e, int frames)
{
    const double seconds = 2 * e.mostSeconds * frames + 600;
    if (!e.modelled || !(seconds <= 7 * 86400.0)) return "";
    const long long s = (long long)std::ceil(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%lld-%02lld:%02lld:%02lld", s / 86400, s / 3600 % 24, s / 60 % 60, s % 60);
    return text;
}

// Submits script; returns the job id or throws Error with sbatch's reason.
std::string submit(const std::string &sbatch, const std::vector<std::string> &options, const std::string &script)
{
    std::vector<std::string> argv = {sbatch, "--parsable"};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(script);
    ProgramResult r = runProgram(argv);
    std::string id = r.out.substr(0, r.out.find_first_of(";\n"));
    if (r.status == 0 && !id.empty()) return id;
    std::string why = r.err.substr(0, r.err.find('\n'));
    if (why.rfind("sbatch: error: ", 0) == 0) why = why.substr(15);
    throw Error("sbatch rejected " + script + ": " + (why.empty() ? "exit status " + std::to_string(r.status) : why));
}

// Writes the job folder and submits; a failure removes what it wrote (and
// brings back an earlier job moved aside). Returns where an earlier job went.
std::string writeAndSubmit(const FarmJob &job, const FarmOptions &farm, const std::string &script,
                           const std::string &merge, std::string ids[2])
{
    std::string sbatch = findOnPath("sbatch");
    if (sbatch.empty()) throw Error("sbatch not found on PATH: install slurm-client (or run on a submit host); --dry-run prints the job script");
    namespace fs = std::filesystem;
    const bool fresh = !fs::exists(job.dir), freshOutput = !fs::exists(parentDir(job.output));
    EarlierJobAside earlier(job.dir, farm.resubmit);
    try
    {
        for (const char *sub : {"/stats", "/logs"}) makeDirs(job.dir + sub);
        makeDirs(parentDir(job.output));
        for (int s = 0; s < job.slabs; ++s) makeDirs(job.dir + "/slabs/" + std::to_string(s));
        writeTextFile(job.dir + "/cook.sbatch", script, true);
        if (!merge.empty()) writeTextFile(job.dir + "/merge.sbatch", merge, true);
        writeManifest(job);
        ids[0] = submit(sbatch, {}, job.dir + "/cook.sbatch");
        if (!merge.empty())
        {
            try
            {
                ids[1] = submit(sbatch, {"--dependency=afterok:" + ids[0], "--kill-on-invalid-dep=yes"}, job.dir + "/merge.sbatch");
            }
            catch (const Error &)
            {
                runProgram({"scancel", ids[0]});
                throw;
            }
        }
        earlier.keep();
        return earlier.folder();
    }
    catch (...)
    {
        std::error_code ec;
        if (fresh) fs::remove_all(job.dir, ec);
        if (freshOutput) fs::remove(parentDir(job.output), ec); // only while still empty
        throw;
    }
}
} // namespace

int runFarmSlurmCook(const PluginRegistry &plugins, const CookOptions &cook, const FarmOptions &farm)
{
    FarmJob job = planFarmJob(cook, farm);
    OP_Operator &op = plugins.require(cook.op);
    OperatorCook probe(op);
    assignParameters(probe.node(), op, cook.settings);
    CookEstimate whole = estimateCook(op, probe.node(), frameTime(job.first), nullptr);
    // A slab task holds and does its slab's share (slabEstimate).
    const CookEstimate task = job.slabs ? slabEstimate(whole, job.slabs) : whole;
    std::string taskMem = farm.mem.empty() ? memoryRequest(task, 2.0) : farm.mem;
    std::string mergeMem = farm.mem.empty() ? memoryRequest(whole, 1.0) : farm.mem;
    FarmOptions taskFarm = farm;
    if (taskFarm.time.empty()) taskFarm.time = timeRequest(task, job.slabs ? 1 : farm.chunk);
    std::string script = arrayScript(job, cook, taskFarm, taskMem);
    std::string merge = job.slabs > 0 ? mergeScript(job, farm, mergeMem) : "";
    if (farm.dryRun)
    {
        if (!farm.resubmit && !earlierJobFiles(job.dir).empty())
            warn(job.dir + " holds an earlier job's stats and logs: submitting there needs --resubmit (or another --job-dir)");
        std::cout << script;
        if (!merge.empty()) std::cout << "\n# after the array job (--dependency=afterok:ARRAY_JOB_ID):\n" << merge;
        return 0;
    }
    std::string ids[2];
    const std::string aside = writeAndSubmit(job, farm, script, merge, ids);
    if (!aside.empty()) note("moved the earlier job's stats, logs and scripts to " + aside);
    std::cout << ids[0] << "\n";
    if (!ids[1].empty()) std::cout << ids[1] << "\n";
    note("submitted " + std::to_string(job.tasks.size()) + " task" + (job.tasks.size() == 1 ? "" : "s") + " of " + job.op +
         (ids[1].empty() ? "" : " and merge job " + ids[1] + " after them") + "; progress: sopcook farm report " + job.dir);
    return 0;
}
} // namespace sopcook
