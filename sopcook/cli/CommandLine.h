// SPDX-License-Identifier: Apache-2.0
#pragma once
// sopcook's command line: the subcommands, their options, and running the
// one the user chose.
#include <memory>
#include <string>
#include <CLI/CLI.hpp>
#include "cli/CookArgs.h"
#include "farm/FarmCommands.h"

namespace sopcook
{
class CommandLine
{
public:
    CommandLine();

    // Parses argv. Returns -1 to go on with run(), or the exit status when
    // the process is done (help, version, a usage error already printed).
    int parse(int argc, char **argv);
    // Runs the chosen command; throws Error.
    int run();

    CLI::App &app() { return myApp; }

private:
    void addListCommands();
    void addCookCommand();
    void addOtherCommands();
    bool refuseUnknownCommand(int argc, char **argv) const;
    int runHelp() const;

    CLI::App myApp;
    CookArgs myCook;
    std::unique_ptr<FarmCommands> myFarm; // farm slurm cook, farm report, merge
    std::string myParamsOp, myInfoFile, myDemoDir = "sopcook-demo", myHelpTopic, myShell;
};
} // namespace sopcook
