// SPDX-License-Identifier: Apache-2.0
#pragma once
// A job folder submitted into again: what an earlier job left there (its
// stats lines, logs and job description) would read as this job's progress,
// so it is refused or moved aside before anything is written.
#include <string>
#include <vector>

namespace sopcook
{
// The stats and log files an earlier job left in dir (relative names), in
// name order; empty for a fresh folder.
std::vector<std::string> earlierJobFiles(const std::string &dir);

// While alive, an earlier job's stats/, logs/, job.json and scripts moved
// from dir to dir/earlier-N (N one past the highest there); moved back,
// replacing what was written since, unless keep() was called.
class EarlierJobAside
{
public:
    // Throws Error when dir holds an earlier job and resubmit is false.
    EarlierJobAside(const std::string &dir, bool resubmit);
    ~EarlierJobAside();
    EarlierJobAside(const EarlierJobAside &) = delete;
    EarlierJobAside &operator=(const EarlierJobAside &) = delete;

    // The folder the earlier job went to; empty when there was none.
    const std::string &folder() const { return myAside; }
    // The new job was submitted: the earlier one stays aside.
    void keep() { myKept = true; }

private:
    void restore();

    std::string myDir, myAside;
    std::vector<std::string> myMoved;
    bool myKept = false;
};
} // namespace sopcook
