// SPDX-License-Identifier: Apache-2.0
#include "cook/Frames.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "Messages.h"

namespace sopcook
{
std::string expandFrame(const std::string &pattern, int frame)
{
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i)
    {
        if (pattern[i] == '$' && i + 1 < pattern.size() && pattern[i + 1] == 'F')
        {
            // Every digit after $F is the width: $F12 pads to 12 digits.
            int width = 0;
            size_t j = i + 2;
            for (; j < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[j])); ++j)
                width = std::min(width * 10 + (pattern[j] - '0'), maxFrameWidth + 1);
            if (width > maxFrameWidth)
            {
                const std::string token = pattern.substr(i, std::min<size_t>(j - i, 24));
                throw Error(pattern.substr(0, 200) + ": " + token + (j - i > 24 ? "..." : "") +
                            " pads the frame number to more than " + std::to_string(maxFrameWidth) +
                            " digits; use $F, or $F4 for 0001");
            }
            char buf[32];
            std::snprintf(buf, sizeof(buf), "%0*d", width, frame);
            out += buf;
            i = j - 1;
            continue;
        }
        out += pattern[i];
    }
    return out;
}

std::vector<int> parseFrames(const std::string &range)
{
    auto bad = [&] { return Error("--frames " + range + ": expected A-B (such as 1-24) or a single frame"); };
    size_t dash = range.find('-', 1); // a leading '-' is a sign
    auto parse = [&](const std::string &s) {
        char *end = nullptr;
        long v = std::strtol(s.c_str(), &end, 10);
        if (s.empty() || !end || *end || v < -1000000 || v > 1000000) throw bad();
        return int(v);
    };
    int a = parse(dash == std::string::npos ? range : range.substr(0, dash));
    int b = dash == std::string::npos ? a : parse(range.substr(dash + 1));
    if (b < a) throw Error("--frames " + range + ": the last frame comes before the first");
    std::vector<int> frames;
    for (int f = a; f <= b; ++f) frames.push_back(f);
    return frames;
}

fpreal frameTime(int frame) { return fpreal(frame - 1) / 24.0; }

} // namespace sopcook
