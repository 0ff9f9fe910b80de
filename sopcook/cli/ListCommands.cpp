// SPDX-License-Identifier: Apache-2.0
#include "cli/ListCommands.h"

#include <iomanip>
#include <iostream>

#include "Messages.h"
#include "cook/ParmAssign.h"

namespace sopcook
{
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

void printInputs(const OP_Operator &op)
{
    std::cout << op.getName() << " (" << op.getEnglish() << "), inputs: ";
    if (op.maxInputs() == 0) std::cout << "none";
    for (unsigned i = 0; i < op.maxInputs(); ++i)
        std::cout << (i ? ", " : "") << (i == 0 ? "-i " : "-b ") << '"' << op.getInputLabel(i) << '"';
    std::cout << "\n";
}
} // namespace

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
    printInputs(op);
    printTable(rows);
    return 0;
}
} // namespace sopcook
