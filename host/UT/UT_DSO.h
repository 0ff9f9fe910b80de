// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>
#include <vector>
#include "UT_Visibility.h"

class OP_OperatorTable;

// Loads surface-operator plug-ins into an operator table.
class UT_API UT_DSO
{
public:
    // The plug-in version this host accepts.
    static const char *hostVersion() { return "13.0"; }

    // Opens the library, checks HoudiniDSOVersion and calls newSopOperator;
    // the operators keep its optional sopOperatorTraits export.
    // On failure returns false with a one-line reason in error. Libraries stay
    // loaded for the life of the process (their operators live there).
    static bool loadSopPlugin(const std::string &path, OP_OperatorTable &table, std::string &error);

    // Shared libraries (*.so) in the given folders, sorted by name.
    static std::vector<std::string> findPlugins(const std::vector<std::string> &folders);
};
