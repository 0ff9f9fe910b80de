// sopcook: the command-line host for the volume operators. Loads the
// plug-ins found next to it (or on SOPCOOK_DSO_PATH), cooks them on geometry
// files and writes OpenVDB files.
#include <csignal>
#include <cstdio>
#include <iomanip>
#include <iostream>

#include <CLI/CLI.hpp>

#include "cook/CookCommand.h"
#include "cook/Frames.h"
#include "cook/OperatorCook.h"
#include "cli/CookArgs.h"
#include "cli/Demo.h"
#include "farm/FarmCommands.h"
#include "Messages.h"
#include "cook/ParmAssign.h"
#include "cook/PluginRegistry.h"
#include "vdb/VdbInfo.h"

using namespace sopcook;

namespace
{
void printTable(const std::vector<std::vector<std::string>> &rows)
{
    std::vector<size_t> widths;
    for (auto &r : rows)
        for (size_t c = 0; c < r.size(); ++c)
        {
            if (widths.size() <= c) widths.push_back(0);
            widths[c] = std::max(widths[c], r[c].size());
        }
    for (auto &r : rows)
    {
        for (size_t c = 0; c < r.size(); ++c)
        {
            std::cout << (c ? "  " : "");
            if (c + 1 < r.size())
                std::cout << std::left << std::setw(int(widths[c])) << r[c];
            else
                std::cout << r[c];
        }
        std::cout << "\n";
    }
}

int listOperators(const PluginRegistry &plugins)
{
    for (const std::string &p : plugins.problems()) warn(p);
    if (plugins.table().operators().empty())
    {
        std::string where;
        for (const std::string &f : plugins.folders()) where += (where.empty() ? "" : ":") + f;
        throw Error("no operator plug-ins found in " + where + " (set SOPCOOK_DSO_PATH to the folder that holds them)");
    }
    std::vector<std::vector<std::string>> rows = {{"operator", "label", "inputs", "library"}};
    for (auto &op : plugins.table().operators())
        rows.push_back({op->getName(), op->getEnglish(), std::to_string(op->maxInputs()), op->getDSOPath()});
    printTable(rows);
    return 0;
}

int listParameters(const PluginRegistry &plugins, const std::string &name)
{
    OP_Operator &op = plugins.require(name);
    std::vector<std::vector<std::string>> rows = {{"name", "label", "type", "size", "default"}};
    for (const PRM_Template *p : valueParameters(op))
        rows.push_back({p->getToken(), p->getLabel() ? p->getLabel() : "", p->getTypeName(),
                        std::to_string(p->getVectorSize() > 0 ? p->getVectorSize() : 1), defaultText(*p)});
    std::cout << op.getName() << " (" << op.getEnglish() << "), inputs: ";
    if (op.maxInputs() == 0) std::cout << "none";
    for (unsigned i = 0; i < op.maxInputs(); ++i) std::cout << (i ? ", " : "") << (i == 0 ? "-i " : "-b ") << '"' << op.getInputLabel(i) << '"';
    std::cout << "\n";
    printTable(rows);
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    // Past a file-size limit writes then fail with EFBIG, reported like a
    // full disk, instead of the signal ending the process mid-write.
    std::signal(SIGXFSZ, SIG_IGN);
    CLI::App app{"sopcook: cooks volume operators (SOP plug-ins) on geometry files and writes OpenVDB files."};
    app.require_subcommand(1);
    app.set_version_flag("--version", "sopcook 1.0 (plug-in version 13.0)");

    app.add_subcommand("list", "List the operators found on the plug-in path (SOPCOOK_DSO_PATH, or next to sopcook)");

    std::string paramsOp;
    CLI::App *params = app.add_subcommand("params", "Show an operator's parameters: name, label, type, size, default");
    params->add_option("OPERATOR", paramsOp, "Operator name (see `sopcook list`)")->required();

    CookArgs cookArgs;
    CLI::App *cook = app.add_subcommand("cook", "Cook an operator and write its volumes to a .vdb file");
    addCookArguments(*cook, cookArgs);

    std::string infoFile;
    CLI::App *info = app.add_subcommand("info", "Describe the grids of a .vdb file");
    info->add_option("FILE", infoFile, "A .vdb file")->required();

    std::string demoDir = "sopcook-demo";
    CLI::App *demo = app.add_subcommand("demo", "Cook every installed operator on built-in scenes into DIR");
    demo->add_option("DIR", demoDir, "Output folder (created)")->capture_default_str();

    FarmCommands farm(app); // farm slurm cook, farm report, merge

    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::CallForHelp &e)
    {
        return app.exit(e);
    }
    catch (const CLI::CallForAllHelp &e)
    {
        return app.exit(e);
    }
    catch (const CLI::CallForVersion &e)
    {
        return app.exit(e);
    }
    catch (const CLI::ParseError &e)
    {
        std::fprintf(stderr, "sopcook: error: %s (see sopcook --help)\n", e.what());
        return 2;
    }

    try
    {
        if (app.got_subcommand("info"))
        {
            printVdbInfo(infoFile, std::cout);
            return 0;
        }
        if (farm.chosen()) return farm.run();
        PluginRegistry plugins;
        if (app.got_subcommand("list")) return listOperators(plugins);
        if (app.got_subcommand("params")) return listParameters(plugins, paramsOp);
        if (app.got_subcommand("demo")) return runDemo(plugins, demoDir);
        cookArgs.finish();
        return runCook(plugins, cookArgs.options);
    }
    catch (const Error &e)
    {
        std::fprintf(stderr, "sopcook: error: %s\n", e.what());
        return 1;
    }
    catch (const std::bad_alloc &)
    {
        std::fprintf(stderr, "sopcook: error: out of memory\n");
        return 1;
    }
    catch (const std::exception &e)
    {
        std::fprintf(stderr, "sopcook: error: %s\n", e.what());
        return 1;
    }
}
