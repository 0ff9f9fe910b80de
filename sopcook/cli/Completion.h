// SPDX-License-Identifier: Apache-2.0
#pragma once
// `sopcook completion bash`: a bash completion script for the commands and
// options of the command line, with operator and parameter names asked of
// sopcook itself as the user types.
#include <string>
#include <CLI/CLI.hpp>

namespace sopcook
{
std::string bashCompletion(const CLI::App &app);
} // namespace sopcook
