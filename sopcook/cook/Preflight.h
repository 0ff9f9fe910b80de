// SPDX-License-Identifier: Apache-2.0
#pragma once
// Checks made before a frame cooks, each with a clear line instead of a
// failure that shows only after the whole cook (or never).
#include <string>
#include <vector>
#include "GU/GU_Detail.h"

namespace sopcook
{
// Removes the temporary files (OUT.partial-PID) that earlier sopcook
// processes, since ended without cleaning up (killed), left beside output;
// one warning names each. A file whose process still runs is left alone.
void removeStalePartials(const std::string &output, std::vector<std::string> &warnings);

// Names the points of gdp (read from file) whose position is not finite, in
// one warning: the operators write nothing for them, and the bounding box
// the cook computes leaves them out.
void checkPositions(const GU_Detail &gdp, const std::string &file, std::vector<std::string> &warnings);

// Throws Error when the bounding box of the finite points of gdp (read from
// file) cannot be built: its size overflows single precision.
void checkBoundingBox(const GU_Detail &gdp, const std::string &file);
} // namespace sopcook
