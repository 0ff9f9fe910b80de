// SPDX-License-Identifier: Apache-2.0
#pragma once
// One-line diagnostics on standard error, the way every sopcook message looks.
#include <stdexcept>
#include <string>

namespace sopcook
{
// A failure the user can act on: printed as one line, exit status non-zero.
struct Error : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

void warn(const std::string &message);
void note(const std::string &message);
// A line as it stands (no "sopcook:" prefix), e.g. what an operator printed.
void printRaw(const std::string &line);
// Set while a progress line occupies the terminal, so messages clear it first.
void setProgressLineActive(bool active);
} // namespace sopcook
