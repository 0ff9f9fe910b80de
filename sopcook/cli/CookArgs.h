// SPDX-License-Identifier: Apache-2.0
#pragma once
// The options of `sopcook cook`, defined once for the cook command and for
// the farm commands that run it on other machines.
#include <string>
#include <CLI/CLI.hpp>
#include "cook/CookCommand.h"

namespace sopcook
{
struct CookArgs
{
    CookOptions options;
    std::string vectorGrids, resample;
    std::string compression = compressionName(defaultCompression);
    CLI::Option *vectorOption = nullptr, *resampleOption = nullptr;

    // Turns what the options parsed into CookOptions; throws Error on a bad value.
    void finish();
};

// Adds OPERATOR and the cook options to cmd, parsed into args.
void addCookArguments(CLI::App &cmd, CookArgs &args);
} // namespace sopcook
