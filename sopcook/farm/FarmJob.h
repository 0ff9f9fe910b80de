// SPDX-License-Identifier: Apache-2.0
#pragma once
// A farm job: a cook split into tasks (frames, chunks of frames, or z-slabs
// of each frame) and the job folder the tasks report into, whatever the
// scheduler (SlurmSubmit.h submits one to Slurm).
#include <string>
#include <vector>
#include "cook/CookCommand.h"

namespace sopcook
{
struct FarmOptions
{
    int chunk = 1;         // frames per task
    int slabs = 0;         // 0: whole frames; N: N slab tasks per frame and a merge job
    std::string partition, time, mem;
    std::string jobDir;    // default: next to the output, named after it
    bool dryRun = false;
    bool resubmit = false; // move an earlier job's stats and logs aside instead of refusing
    // Every task's `sopcook cook` words but its own (taskOptions), as the
    // command line's option definitions generate them.
    std::vector<std::string> cookWords;
};

// The cook options each task gives itself: its output, frames and slab, and
// the stats lines the report reads.
inline const std::vector<std::string> &taskOptions()
{
    static const std::vector<std::string> names = {"--output", "--frames", "--slab", "--stats", "--keep-going"};
    return names;
}

// One array task: frames first..last, of one slab when slab is not empty.
struct FarmTask
{
    int first = 0, last = 0;
    std::string slab;      // "I/N"
    std::string output;    // -o pattern of the task
};

// What the job runs; written to JOBDIR/job.json for `sopcook farm report`.
struct FarmJob
{
    std::string dir;       // absolute
    std::string op;
    std::string output;    // the final -o pattern (absolute)
    int first = 1, last = 1;
    int slabs = 0;
    std::vector<FarmTask> tasks;

    std::string manifestPath() const { return dir + "/job.json"; }
    std::string statsPath(size_t task) const { return dir + "/stats/task-" + std::to_string(task) + ".jsonl"; }
    std::string logPath(size_t task) const { return dir + "/logs/task-" + std::to_string(task) + ".log"; }
    std::string mergeLogPath() const { return dir + "/logs/merge.log"; }
    // The slab files of frame, in slab order.
    std::vector<std::string> slabFiles(int frame) const;
};

// Splits the cook into tasks; throws Error on options that cannot work.
FarmJob planFarmJob(const CookOptions &cook, const FarmOptions &farm);
void writeManifest(const FarmJob &job);
FarmJob readManifest(const std::string &dir);
} // namespace sopcook
