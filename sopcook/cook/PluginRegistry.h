// SPDX-License-Identifier: Apache-2.0
#pragma once
// Finds surface-operator plug-ins and loads them into one operator table.
#include <string>
#include <vector>
#include "OP/OP_Operator.h"

namespace sopcook
{
class PluginRegistry
{
public:
    // Loads every plug-in of the search path (SOPCOOK_DSO_PATH, colon
    // separated, or else the folder of the running executable and the
    // installed plug-in folder, plumeweave_suite/plugins beside the host
    // library). Libraries that
    // are not plug-ins are skipped silently; plug-ins that fail to load are
    // kept as problems().
    PluginRegistry();
    explicit PluginRegistry(const std::vector<std::string> &folders);

    static std::vector<std::string> defaultFolders();
    // SOPCOOK_DSO_PATH's folders when set, else fallback and the installed
    // plug-in folder (when it exists).
    static std::vector<std::string> searchPath(const std::string &fallback);
    // The folder of the loaded host library: where the build puts the
    // plug-ins, for hosts that are not an executable beside them.
    static std::string hostLibraryFolder();

    const std::vector<std::string> &folders() const { return myFolders; }
    const std::vector<std::string> &problems() const { return myProblems; }
    const OP_OperatorTable &table() const { return myTable; }
    OP_Operator *find(const std::string &name) const { return myTable.getOperator(name); }
    std::vector<std::string> names() const;

    // The operator, or an Error naming the installed ones.
    OP_Operator &require(const std::string &name) const;

private:
    void load();

    std::vector<std::string> myFolders;
    std::vector<std::string> myProblems;
    OP_OperatorTable myTable;
};
} // namespace sopcook
