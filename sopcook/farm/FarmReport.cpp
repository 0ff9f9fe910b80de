// SPDX-License-Identifier: Apache-2.0
#include "farm/FarmReport.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>

#include <nlohmann/json.hpp>

#include "cook/Frames.h"
#include "farm/FarmJob.h"
#include "vdb/VdbComplete.h"

namespace sopcook
{
namespace
{
struct Totals
{
    int done = 0, skipped = 0;
    std::map<int, int> unitsDone; // frame -> its frames or slabs done
    double cookSeconds = 0, writeSeconds = 0;
    uint64_t peakBytes = 0;
    std::vector<std::string> failures;
};

// Frame -> its stats line, from a task's JSON-lines file (missing: none).
std::map<int, nlohmann::json> taskLines(const std::string &path)
{
    std::map<int, nlohmann::json> lines;
    std::ifstream in(path);
    std::string text;
    while (std::getline(in, text))
    {
        nlohmann::json line = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
        if (line.is_object() && line.contains("frame") && line["frame"].is_number_integer()) lines[line["frame"].get<int>()] = line;
    }
    return lines;
}

// Why frame failed, from its task's log: the error line naming the frame
// (a task cooking several frames names each failed one), else the log's
// last error line, else its last line (a task stopped from outside).
std::string lastWords(const std::string &log, int frame)
{
    std::ifstream in(log);
    if (!in) return "no log yet (not started?)";
    const std::string framePrefix = "sopcook: error: frame " + std::to_string(frame) + ": ";
    std::string text, last, error, frameError;
    while (std::getline(in, text))
    {
        if (text.empty()) continue;
        last = text;
        if (text.find("error") != std::string::npos) error = text;
        if (text.rfind(framePrefix, 0) == 0) frameError = text;
    }
    return !frameError.empty() ? frameError : !error.empty() ? error : !last.empty() ? last : "empty log";
}

// text cut to one printable line of bounded length.
std::string oneLine(const std::string &text)
{
    std::string line;
    for (char c : text)
    {
        if (line.size() >= 300) return line + "...";
        line += (c >= ' ' && c != 127) || (c & 0x80) ? c : ' ';
    }
    return line;
}

void countTask(const FarmJob &job, size_t t, Totals &totals)
{
    const FarmTask &task = job.tasks[t];
    std::map<int, nlohmann::json> lines = taskLines(job.statsPath(t));
    for (int f = task.first; f <= task.last; ++f)
    {
        std::string what = "frame " + std::to_string(f) + (task.slab.empty() ? "" : " slab " + task.slab);
        auto it = lines.find(f);
        if (it == lines.end())
        {
            totals.failures.push_back(what + " (task " + std::to_string(t) + "): " + lastWords(job.logPath(t), f));
            continue;
        }
        const nlohmann::json &l = it->second;
        const std::string prefix = what + " (task " + std::to_string(t) + "): ";
        if (l.value("interrupted", false))
        {
            totals.failures.push_back(prefix + "interrupted, partial output");
            continue;
        }
        // The stats line says done; the output itself has the last word.
        const std::string output = expandFrame(task.output, f);
        if (l.contains("output") && l["output"] != output)
        {
            totals.failures.push_back(prefix + "its stats line is of another output, " + oneLine(l["output"].dump()));
            continue;
        }
        std::string why;
        if (!isCompleteVdb(output, task.slab, &why))
        {
            totals.failures.push_back(prefix + "output not complete: " + oneLine(why));
            continue;
        }
        ++totals.done;
        ++totals.unitsDone[f];
        if (l.value("skipped", false)) ++totals.skipped;
        totals.cookSeconds += l.value("cook_seconds", 0.0);
        totals.writeSeconds += l.value("write_seconds", 0.0);
        totals.peakBytes = std::max<uint64_t>(totals.peakBytes, l.value("peak_memory_bytes", uint64_t(0)));
    }
}

// Each frame's merged output of a slab job, checked by reading it.
void checkMerges(const FarmJob &job, Totals &totals, int &merged)
{
    for (int f = job.first; f <= job.last; ++f)
    {
        // A merged file there before this job's slabs were done is not
        // this job's (a resubmission keeps the earlier outputs).
        const int slabsDone = totals.unitsDone[f];
        if (slabsDone < job.slabs)
        {
            totals.failures.push_back("merge of frame " + std::to_string(f) + ": not run, " + std::to_string(slabsDone) + " of " +
                                      std::to_string(job.slabs) + " slabs done");
            continue;
        }
        std::string why;
        if (isCompleteVdb(expandFrame(job.output, f), "", &why))
            ++merged;
        else
            totals.failures.push_back("merge of frame " + std::to_string(f) + ": " + why + " (merge log: " + lastWords(job.mergeLogPath(), f) + ")");
    }
}

std::string megabytes(uint64_t bytes)
{
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%.1f MB", double(bytes) / (1024.0 * 1024.0));
    return buf;
}
} // namespace

int reportFarmJob(const std::string &dir, std::ostream &out)
{
    FarmJob job = readManifest(dir);
    Totals totals;
    for (size_t t = 0; t < job.tasks.size(); ++t) countTask(job, t, totals);
    int merged = 0;
    if (job.slabs > 0) checkMerges(job, totals, merged);

    const int frames = job.last - job.first + 1;
    const size_t units = job.tasks.empty() ? 0 : size_t(frames) * size_t(std::max(job.slabs, 1));
    out << job.dir << ": " << job.op << " frames " << job.first << "-" << job.last << " in " << job.tasks.size()
        << (job.tasks.size() == 1 ? " task" : " tasks") << (job.slabs > 0 ? ", " + std::to_string(job.slabs) + " slabs a frame" : "") << "\n";
    out << "  " << (job.slabs > 0 ? "slabs" : "frames") << " done " << totals.done << " of " << units;
    if (totals.skipped) out << " (" << totals.skipped << " already complete)";
    out << ", failed or not finished " << (units - size_t(totals.done)) << "\n";
    if (job.slabs > 0) out << "  frames merged " << merged << " of " << frames << "\n";
    char line[160];
    std::snprintf(line, sizeof(line), "  cook %.2f s, write %.2f s (summed over tasks), peak memory %s (largest task)\n",
                  totals.cookSeconds, totals.writeSeconds, megabytes(totals.peakBytes).c_str());
    out << line;
    for (const std::string &f : totals.failures) out << "  failed: " << f << "\n";
    return totals.failures.empty() ? 0 : 1;
}
} // namespace sopcook
