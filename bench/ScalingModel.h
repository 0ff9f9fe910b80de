// SPDX-License-Identifier: Apache-2.0
#pragma once
// A model of one frame cooked on P cores as P slabs at once (one a core),
// from what one core measures: the CPU of the whole cook, of 16 slab cooks
// together, and of the serial parts around them (reading the input, joining
// the slabs, writing the file). Each slab cook does its share of the
// clippable work plus all of what its loops cannot skip:
//   slab(P) = whole * ((1 - f) / P + f),  f = (slabs16 / whole - 1) / 15
//   T(P)    = read + join + write + slab(P)
// and the speed-up is the one-core frame (read + whole + write) over T(P).
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace benchmodel
{
struct FrameCosts
{
    std::string op, scene;
    double whole = 0;   // CPU seconds of the whole cook
    double slabs16 = 0; // of the 16 slab cooks together
    double read = 0, join = 0, write = 0;
};

// The share of the whole cook that every slab pays again.
inline double unclippedShare(const FrameCosts &c)
{
    return c.whole > 0 ? std::clamp((c.slabs16 / c.whole - 1) / 15, 0.0, 1.0) : 0.0;
}

inline double frameSeconds(const FrameCosts &c, int cores)
{
    const double f = unclippedShare(c);
    return c.read + c.join + c.write + c.whole * ((1 - f) / cores + f);
}

inline double speedup(const FrameCosts &c, int cores) { return (c.read + c.whole + c.write) / frameSeconds(c, cores); }

// One line a frame: the serial parts, the unclipped share, and the model's
// seconds and speed-up at 16 and 64 cores.
inline void printScalingModel(const std::vector<FrameCosts> &frames)
{
    std::printf("\nmodel of a frame on P cores, one slab a core: T(P) = read + join + write + whole * ((1 - f) / P + f)\n");
    std::printf("%-30s %-25s %6s %6s %6s %6s %8s %6s %8s %6s\n", "operator", "scene", "read", "join", "write", "f",
                "T(16)", "x", "T(64)", "x");
    for (const FrameCosts &c : frames)
        std::printf("%-30s %-25s %6.3f %6.3f %6.3f %5.1f%% %8.3f %6.1f %8.3f %6.1f\n", c.op.c_str(), c.scene.c_str(),
                    c.read, c.join, c.write, 100 * unclippedShare(c), frameSeconds(c, 16), speedup(c, 16),
                    frameSeconds(c, 64), speedup(c, 64));
}
} // namespace benchmodel
