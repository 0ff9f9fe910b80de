// SPDX-License-Identifier: Apache-2.0
#pragma once
// The render-farm commands on sopcook's command line: `farm slurm cook`,
// `farm report` and `merge`.
#include <string>
#include <vector>
#include <CLI/CLI.hpp>
#include "cli/CookArgs.h"
#include "farm/FarmJob.h"

namespace sopcook
{
class FarmCommands
{
public:
    explicit FarmCommands(CLI::App &app);
    FarmCommands(const FarmCommands &) = delete;
    FarmCommands &operator=(const FarmCommands &) = delete;

    // Whether the parsed command line chose one of these commands.
    bool chosen() const;
    // Runs the chosen command; returns the exit status (throws Error).
    int run();

private:
    CLI::App *myFarm, *mySlurmCook, *myReport, *myMerge;
    CookArgs myCook;
    FarmOptions myFarmOptions;
    std::string myJobDir;
    std::string myMergeOut;
    std::vector<std::string> myMergeParts;
};
} // namespace sopcook
