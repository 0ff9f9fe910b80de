// SPDX-License-Identifier: Apache-2.0
#include "farm/FarmJob.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <fstream>
#include <iostream>

#include <nlohmann/json.hpp>

#include "Messages.h"
#include "cook/Frames.h"
#include "cook/UserPaths.h"
#include "farm/FarmFiles.h"
#include "cook/SlabPart.h"

namespace sopcook
{
namespace
{
// The output's base name without the frame token and extension, which names
// the default job folder: out/plume.$F4.vdb -> out/plume.farm.
std::string defaultJobDir(const std::string &output)
{
    std::string dir = parentDir(output), stem = output.substr(dir.size() + 1);
    stem = stem.substr(0, stem.find("$F"));
    if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".vdb") == 0) stem.resize(stem.size() - 4);
    while (!stem.empty() && (stem.back() == '.' || stem.back() == '_' || stem.back() == '-')) stem.pop_back();
    return dir + "/" + (stem.empty() ? "sopcook" : stem) + ".farm";
}

void checkFarmOptions(const CookOptions &cook, const FarmOptions &farm, const std::vector<int> &frames)
{
    if (farm.chunk < 1) throw Error("--chunk " + std::to_string(farm.chunk) + ": expected 1 or more frames per task");
    if (farm.slabs < 0 || farm.slabs > 4096) throw Error("--slabs " + std::to_string(farm.slabs) + ": expected 1 to 4096");
    if (!cook.slab.empty()) throw Error("farm: give --slabs N, not --slab: each task cooks one slab");
    if (farm.slabs > 0 && farm.chunk > 1) throw Error("farm: --chunk and --slabs cannot be combined (one slab of one frame per task)");
    if (farm.slabs > 0 && !cook.preview.empty()) throw Error("farm: --preview is not available with --slabs (a slab is part of a volume)");
    if (cook.output.empty()) throw Error("farm: no output file (-o OUT.vdb)");
    checkUserPaths(cookUserPaths(nullptr, cook, frames));
    if (cook.estimateOnly) throw Error("farm: --estimate cooks nothing; run `sopcook cook ... --estimate` to see each frame's estimate");
    if (frames.size() > 1 && expandFrame(cook.output, frames[0]) == expandFrame(cook.output, frames[1]))
        throw Error("-o " + cook.output + ": put $F or $F4 in the output name to cook several frames");
    if (!cook.preview.empty() && frames.size() > 1 && expandFrame(cook.preview, frames[0]) == expandFrame(cook.preview, frames[1]))
        throw Error("--preview " + cook.preview + ": put $F or $F4 in the preview name to cook several frames");
}
} // namespace

std::vector<std::string> FarmJob::slabFiles(int frame) const
{
    std::vector<std::string> files;
    for (const FarmTask &t : tasks)
        if (!t.slab.empty() && t.first == frame) files.push_back(expandFrame(t.output, frame));
    return files;
}

FarmJob planFarmJob(const CookOptions &cook, const FarmOptions &farm)
{
    std::vector<int> frames = parseFrames(cook.frames.empty() ? "1" : cook.frames);
    checkFarmOptions(cook, farm, frames);
    FarmJob job;
    job.op = cook.op;
    job.output = absolutePath(cook.output);
    job.dir = absolutePath(farm.jobDir.empty() ? defaultJobDir(job.output) : farm.jobDir);
    job.first = frames.front();
    job.last = frames.back();
    job.slabs = farm.slabs;
    const std::string base = job.output.substr(parentDir(job.output).size() + 1);
    for (int f = job.first; f <= job.last; f += farm.slabs > 0 ? 1 : farm.chunk)
    {
        if (farm.slabs == 0)
        {
            job.tasks.push_back({f, std::min(job.last, f + farm.chunk - 1), "", job.output});
            continue;
        }
        for (int s = 0; s < farm.slabs; ++s)
        {
            SlabPart slab{s, farm.slabs};
            job.tasks.push_back({f, f, slab.text(), job.dir + "/slabs/" + std::to_string(s) + "/" + base});
        }
    }
    if (!cook.log.empty() && job.tasks.size() > 1)
        throw Error("farm: --log " + cook.log + " would be rewritten by each of the " + std::to_string(job.tasks.size()) +
                    " tasks; give -v instead: each task's log (JOBDIR/logs/task-N.log) then holds what the operators print");
    return job;
}

void writeManifest(const FarmJob &job)
{
    nlohmann::json tasks = nlohmann::json::array();
    for (const FarmTask &t : job.tasks)
        tasks.push_back({{"first", t.first}, {"last", t.last}, {"slab", t.slab}, {"output", t.output}});
    nlohmann::json m{{"operator", job.op}, {"output", job.output}, {"first", job.first}, {"last", job.last},
                     {"slabs", job.slabs}, {"tasks", tasks}};
    writeTextFile(job.manifestPath(), m.dump(2) + "\n");
}

FarmJob readManifest(const std::string &dir)
{
    FarmJob job;
    job.dir = absolutePath(dir);
    std::ifstream in(job.manifestPath());
    if (!in) throw Error(dir + ": not a farm job folder (no job.json)");
    try
    {
        nlohmann::json m = nlohmann::json::parse(in);
        job.op = m.at("operator");
        job.output = m.at("output");
        job.first = m.at("first");
        job.last = m.at("last");
        job.slabs = m.at("slabs");
        for (const auto &t : m.at("tasks"))
            job.tasks.push_back({t.at("first"), t.at("last"), t.at("slab"), t.at("output")});
    }
    catch (const std::exception &e)
    {
        throw Error(job.manifestPath() + ": unreadable job description: " + e.what());
    }
    return job;
}
} // namespace sopcook
