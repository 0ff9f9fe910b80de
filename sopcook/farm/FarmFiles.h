// SPDX-License-Identifier: Apache-2.0
#pragma once
// File and process helpers of the farm commands.
#include <string>
#include <vector>

namespace sopcook
{
// path made absolute against the working folder (tasks run elsewhere).
std::string absolutePath(const std::string &path);
// The folder part of an absolute path ("/" for a top-level file).
std::string parentDir(const std::string &path);
// Creates path and its missing parents; throws Error naming it on failure.
void makeDirs(const std::string &path);
// Writes text to path through a temporary file and a rename.
void writeTextFile(const std::string &path, const std::string &text, bool executable = false);
// s as one single-quoted shell word.
std::string shellQuote(const std::string &s);
// The program's path on PATH, or empty.
std::string findOnPath(const std::string &program);

struct ProgramResult
{
    int status = -1; // exit status; -1 when it could not run
    std::string out, err;
};
// Runs argv (argv[0] looked up on PATH) and collects its output.
ProgramResult runProgram(const std::vector<std::string> &argv);
} // namespace sopcook
