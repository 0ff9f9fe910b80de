// SPDX-License-Identifier: Apache-2.0
#include "Messages.h"
#include <atomic>
#include <cstdio>

namespace sopcook
{
static std::atomic<bool> theProgressLine{false};

void setProgressLineActive(bool active) { theProgressLine.store(active); }

static void emit(const char *prefix, const std::string &message)
{
    // One call per line, so lines from other threads never interleave.
    std::string line = (theProgressLine.load() ? "\r\033[K" : "") + std::string(prefix) + message + "\n";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

void warn(const std::string &message) { emit("sopcook: warning: ", message); }
void note(const std::string &message) { emit("sopcook: ", message); }
void printRaw(const std::string &line) { emit("", line); }
} // namespace sopcook
