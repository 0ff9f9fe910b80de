// SPDX-License-Identifier: Apache-2.0
#pragma once
// Frame ranges and frame-numbered file names of `sopcook cook --frames`.
#include <string>
#include <vector>
#include "UT/UT_Types.h"

namespace sopcook
{
// The widest zero padding a frame pattern may ask for.
constexpr int maxFrameWidth = 16;

// "$F4" -> frame zero-padded to 4 digits (all digits after $F are the width:
// "$F12" pads to 12), "$F" -> frame number. Throws Error on a width above
// maxFrameWidth.
std::string expandFrame(const std::string &pattern, int frame);
// Frames of "A-B" or "F"; throws Error on anything else.
std::vector<int> parseFrames(const std::string &range);
// Cook time of a frame at 24 frames per second, frame 1 at time 0.
fpreal frameTime(int frame);
} // namespace sopcook
