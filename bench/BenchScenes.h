// SPDX-License-Identifier: Apache-2.0
#pragma once
// Deterministic scene ingredients shared by the benchmarks.
#include <cstdint>
#include <vector>

namespace benchscenes
{
// Deterministic values in [0, 1) from an index (no random numbers).
inline float hash01(int i, int salt)
{
    unsigned h = unsigned(i) * 2654435761u ^ unsigned(salt) * 40503u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return float(h & 0xffffff) / float(0x1000000);
}

struct Ball
{
    float x, y, z, r;
};

// `count` balls of radius 2 to 6 scattered inside a grid of `grid` unit
// voxels, kept clear of its faces.
inline std::vector<Ball> scatterBalls(int count, int grid)
{
    uint32_t s = 12345;
    auto next = [&s] {
        s = s * 1664525u + 1013904223u;
        return float(s >> 8) / float(1 << 24);
    };
    std::vector<Ball> balls(count);
    for (Ball &b : balls)
    {
        b.x = 8 + next() * (grid - 16);
        b.y = 8 + next() * (grid - 16);
        b.z = 8 + next() * (grid - 16);
        b.r = 2 + next() * 4;
    }
    return balls;
}
} // namespace benchscenes
