// SPDX-License-Identifier: Apache-2.0
#include "farm/EarlierJob.h"

#include <algorithm>
#include <filesystem>

#include "Messages.h"

namespace sopcook
{
namespace fs = std::filesystem;

namespace
{
// What a job writes into its folder besides the slab files, which the next
// job's tasks replace and merge checks.
const char *const jobEntries[] = {"stats", "logs", "job.json", "cook.sbatch", "merge.sbatch"};

std::string nextAsideFolder(const std::string &dir)
{
    for (int n = 1;; ++n)
    {
        std::string candidate = dir + "/earlier-" + std::to_string(n);
        std::error_code ec;
        if (!fs::exists(candidate, ec) && !ec) return candidate;
    }
}
} // namespace

std::vector<std::string> earlierJobFiles(const std::string &dir)
{
    std::vector<std::string> files;
    for (const char *sub : {"stats", "logs"})
    {
        std::error_code ec;
        for (fs::directory_iterator it(dir + "/" + sub, ec), end; !ec && it != end; it.increment(ec))
            files.push_back(std::string(sub) + "/" + it->path().filename().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

EarlierJobAside::EarlierJobAside(const std::string &dir, bool resubmit) : myDir(dir)
{
    const std::vector<std::string> files = earlierJobFiles(dir);
    if (files.empty()) return;
    if (!resubmit)
        throw Error(dir + " holds an earlier job (" + std::to_string(files.size()) + " stats and log files, such as " +
                    files.front() + ") that `farm report` would count as this one: give --resubmit to move it aside, or another --job-dir");
    myAside = nextAsideFolder(dir);
    std::error_code ec;
    fs::create_directory(myAside, ec);
    if (ec) throw Error("cannot create folder " + myAside + ": " + ec.message());
    for (const char *name : jobEntries)
    {
        const std::string from = dir + "/" + name;
        if (!fs::exists(from, ec)) continue;
        fs::rename(from, myAside + "/" + name, ec);
        if (ec)
        {
            const std::string why = ec.message();
            restore();
            throw Error("cannot move " + from + " to " + myAside + ": " + why);
        }
        myMoved.push_back(name);
    }
}

EarlierJobAside::~EarlierJobAside()
{
    if (!myKept) restore();
}

void EarlierJobAside::restore()
{
    if (myAside.empty()) return;
    // The submission failed: the earlier job comes back as it was.
    std::error_code ec;
    for (const std::string &name : myMoved)
    {
        fs::remove_all(myDir + "/" + name, ec);
        fs::rename(myAside + "/" + name, myDir + "/" + name, ec);
    }
    fs::remove(myAside, ec); // only when everything went back
    myAside.clear();
}
} // namespace sopcook
