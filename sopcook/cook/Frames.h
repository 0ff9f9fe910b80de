// SPDX-License-Identifier: Apache-2.0
#pragma once
// Frame ranges and frame-numbered file names of `sopcook cook --frames`.
#include <string>
#include <vector>
#include "UT/UT_Types.h"

namespace sopcook
{
// "$F4" -> zero-padded frame, "$F" -> frame number.
std::string expandFrame(const std::string &pattern, int frame);
// Frames of "A-B" or "F"; throws Error on anything else.
std::vector<int> parseFrames(const std::string &range);
// Cook time of a frame at 24 frames per second, frame 1 at time 0.
fpreal frameTime(int frame);
} // namespace sopcook
