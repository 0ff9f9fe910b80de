// SPDX-License-Identifier: Apache-2.0
#pragma once
// `sopcook list` and `sopcook params`: what is installed, as aligned tables.
#include <string>
#include "cook/PluginRegistry.h"

namespace sopcook
{
int listOperators(const PluginRegistry &plugins);
int listParameters(const PluginRegistry &plugins, const std::string &name);
} // namespace sopcook
