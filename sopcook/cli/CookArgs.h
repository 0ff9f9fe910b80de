// SPDX-License-Identifier: Apache-2.0
#pragma once
// The options of `sopcook cook`, defined once for the cook command and for
// the farm commands that run it on other machines.
#include <functional>
#include <string>
#include <vector>
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
    // Every option addCookArguments defined, in definition order, and those
    // whose values name files.
    std::vector<CLI::Option *> definitions, fileOptions;

    // Turns what the options parsed into CookOptions; throws Error on a bad value.
    void finish();
};

// Adds OPERATOR and the cook options to cmd, parsed into args.
void addCookArguments(CLI::App &cmd, CookArgs &args);

// The words after `sopcook cook` that give the options args parsed, as they
// were given (every value, in order), generated from the definitions so that
// no option is left out. Options named in leaveOut (long names such as
// "--output") are the caller's to give; file names pass through fileWord.
std::vector<std::string> cookCommandWords(const CookArgs &args, const std::vector<std::string> &leaveOut,
                                          const std::function<std::string(const std::string &)> &fileWord);
} // namespace sopcook
