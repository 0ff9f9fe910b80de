// SPDX-License-Identifier: Apache-2.0
#pragma once
// `sopcook farm slurm cook`: a farm job's sbatch scripts and its submission
// to Slurm.
#include <string>
#include "cook/PluginRegistry.h"
#include "farm/FarmJob.h"

namespace sopcook
{
// The sbatch scripts: the array job, and the merge job of a slab job.
std::string arrayScript(const FarmJob &job, const CookOptions &cook, const FarmOptions &farm, const std::string &mem);
std::string mergeScript(const FarmJob &job, const FarmOptions &farm, const std::string &mem);

// Runs `sopcook farm slurm cook`: prints the scripts (--dry-run) or writes the
// job folder and submits; prints the job ids. Returns the exit status.
int runFarmSlurmCook(const PluginRegistry &plugins, const CookOptions &cook, const FarmOptions &farm);
} // namespace sopcook
