// SPDX-License-Identifier: Apache-2.0
#include "cook/SlabPart.h"

#include <algorithm>
#include <cmath>

#include "Messages.h"

namespace sopcook
{
SlabPart parseSlab(const std::string &text)
{
    try
    {
        return slabFromText(text);
    }
    catch (const Error &e)
    {
        throw Error("--slab " + text + ": " + e.what());
    }
}

CookEstimate slabEstimate(const CookEstimate &whole, int count)
{
    CookEstimate e = whole;
    if (count <= 1 || whole.tiles <= 0) return e;
    // Slabs hold whole z tiles; the largest holds ceil(zTiles / count).
    const double share = std::ceil(whole.zTiles / count) / std::max(whole.zTiles, 1.0);
    e.fullBytes = whole.indexBytes + (whole.fullBytes - whole.indexBytes) * share;
    // The operators' loops skip what cannot reach the slab; the rest is
    // paid by every slab.
    const double work = std::min(1.0, share + unclippedShare * (1 - share));
    e.leastSeconds = whole.leastSeconds * work;
    e.mostSeconds = whole.mostSeconds * work;
    e.grid += " (slab 1 of " + std::to_string(count) + ")";
    return e;
}
} // namespace sopcook
