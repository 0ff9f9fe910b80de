// SPDX-License-Identifier: Apache-2.0
#include "cli/CommandLine.h"

#include <cstdio>
#include <iostream>

#include "Messages.h"
#include "Version.h"
#include "cli/Completion.h"
#include "cli/Demo.h"
#include "cli/ListCommands.h"
#include "cook/PluginRegistry.h"
#include "vdb/VdbInfo.h"

namespace sopcook
{
namespace
{
std::string commandNames(const CLI::App &app)
{
    std::string names;
    for (const CLI::App *sub : app.get_subcommands([](const CLI::App *) { return true; }))
        names += (names.empty() ? "" : ", ") + sub->get_name();
    return names;
}
} // namespace

CommandLine::CommandLine()
    : myApp("sopcook: cooks volume operators (SOP plug-ins) on geometry files and writes OpenVDB files.")
{
    myApp.name("sopcook");
    myApp.require_subcommand(1);
    myApp.set_version_flag("--version", versionText());
    addListCommands();
    addCookCommand();
    addOtherCommands();
}

void CommandLine::addListCommands()
{
    myApp.add_subcommand("list", "List the operators found on the plug-in path (SOPCOOK_DSO_PATH, or next to sopcook)");
    CLI::App *params = myApp.add_subcommand("params", "Show an operator's parameters: name, label, type, size, default");
    params->add_option("OPERATOR", myParamsOp, "Operator name (see `sopcook list`)")->required();
}

void CommandLine::addCookCommand()
{
    CLI::App *cook = myApp.add_subcommand("cook", "Cook an operator and write its volumes to a .vdb file");
    addCookArguments(*cook, myCook);
}

void CommandLine::addOtherCommands()
{
    CLI::App *info = myApp.add_subcommand("info", "Describe the grids of a .vdb file");
    info->add_option("FILE", myInfoFile, "A .vdb file")->required();
    CLI::App *demo = myApp.add_subcommand("demo", "Cook every installed operator on built-in scenes into DIR");
    demo->add_option("DIR", myDemoDir, "Output folder (created)")->capture_default_str();
    myFarm = std::make_unique<FarmCommands>(myApp);
    CLI::App *help = myApp.add_subcommand("help", "Show the help of sopcook or of one command");
    help->add_option("COMMAND", myHelpTopic, "A command");
    CLI::App *completion = myApp.add_subcommand("completion", "Print a shell completion script: source <(sopcook completion bash)");
    completion->add_option("SHELL", myShell, "bash")->required();
}

bool CommandLine::refuseUnknownCommand(int argc, char **argv) const
{
    if (argc < 2 || argv[1][0] == '-') return false;
    for (const CLI::App *sub : myApp.get_subcommands([](const CLI::App *) { return true; }))
        if (sub->get_name() == argv[1]) return false;
    std::fprintf(stderr, "sopcook: error: unknown command '%s' (commands: %s; see sopcook help)\n", argv[1],
                 commandNames(myApp).c_str());
    return true;
}

int CommandLine::parse(int argc, char **argv)
{
    if (refuseUnknownCommand(argc, argv)) return 2;
    try
    {
        myApp.parse(argc, argv);
        return -1;
    }
    catch (const CLI::CallForHelp &e)
    {
        return myApp.exit(e);
    }
    catch (const CLI::CallForAllHelp &e)
    {
        return myApp.exit(e);
    }
    catch (const CLI::CallForVersion &e)
    {
        return myApp.exit(e);
    }
    catch (const CLI::ParseError &e)
    {
        std::fprintf(stderr, "sopcook: error: %s (see sopcook help)\n", e.what());
        return 2;
    }
}

int CommandLine::runHelp() const
{
    if (myHelpTopic.empty())
    {
        // App::help() would describe the selected command, "help" itself.
        std::cout << myApp.get_formatter()->make_help(&myApp, "sopcook", CLI::AppFormatMode::Normal);
        return 0;
    }
    for (const CLI::App *sub : myApp.get_subcommands([](const CLI::App *) { return true; }))
        if (sub->get_name() == myHelpTopic)
        {
            std::cout << sub->get_formatter()->make_help(sub, "sopcook " + myHelpTopic, CLI::AppFormatMode::Normal);
            return 0;
        }
    // An unknown word is a command line sopcook cannot parse, as `sopcook bogus` is.
    std::fprintf(stderr, "sopcook: error: help: unknown command '%s' (commands: %s)\n", myHelpTopic.c_str(),
                 commandNames(myApp).c_str());
    return 2;
}

int CommandLine::run()
{
    if (myApp.got_subcommand("help")) return runHelp();
    if (myApp.got_subcommand("completion"))
    {
        if (myShell != "bash") throw Error("completion: '" + myShell + "' is not supported; sopcook completes bash");
        std::cout << bashCompletion(myApp);
        return 0;
    }
    if (myApp.got_subcommand("info"))
    {
        // What the file holds goes to stdout; why it is not a finished cook
        // is the one error line.
        const std::string incomplete = printVdbInfo(myInfoFile, std::cout);
        std::cout.flush();
        if (!incomplete.empty()) throw Error(incomplete);
        return 0;
    }
    if (myFarm->chosen()) return myFarm->run();
    PluginRegistry plugins;
    if (myApp.got_subcommand("list")) return listOperators(plugins);
    if (myApp.got_subcommand("params")) return listParameters(plugins, myParamsOp);
    if (myApp.got_subcommand("demo")) return runDemo(plugins, myDemoDir);
    myCook.finish();
    return runCook(plugins, myCook.options);
}
} // namespace sopcook
