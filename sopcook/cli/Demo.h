// SPDX-License-Identifier: Apache-2.0
#pragma once
// `sopcook demo [DIR]`: cooks every installed operator on the built-in scenes.
#include <string>
#include "cook/PluginRegistry.h"

namespace sopcook
{
// Writes DIR/OPERATOR.vdb and DIR/OPERATOR.png for every installed operator
// and prints a summary table; returns the exit status.
int runDemo(const PluginRegistry &plugins, const std::string &dir);
} // namespace sopcook
