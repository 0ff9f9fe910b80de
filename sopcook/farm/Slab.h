// SPDX-License-Identifier: Apache-2.0
#pragma once
// `--slab I/N`: a cook that keeps only z-slab I of N of every volume, so a
// frame too large for one machine is cooked by N machines and merged.
#include <map>
#include <string>
#include "cook/CookCommand.h"
#include "cook/CookEstimate.h"

namespace sopcook
{
struct SlabPart
{
    int index = 0;
    int count = 0; // 0: the whole volume

    bool active() const { return count > 0; }
    std::string text() const { return std::to_string(index) + "/" + std::to_string(count); }
};

// "I/N" with 0 <= I < N; throws Error naming the option otherwise.
SlabPart parseSlab(const std::string &text);

// While alive, the voxel arrays the cook sizes keep only the slab's voxels.
class SlabScope
{
public:
    explicit SlabScope(const SlabPart &slab);
    ~SlabScope();
    SlabScope(const SlabScope &) = delete;
    SlabScope &operator=(const SlabScope &) = delete;
};

// The estimate of one slab of count: the same work, the filled memory of
// its share of z tiles.
CookEstimate slabEstimate(const CookEstimate &whole, int count);

// Grid metadata that ties a slab file to its cook: "operator", "parameters"
// (the settings and inputs, in a fixed order) and "slab" ("I/N").
namespace slabmeta
{
constexpr const char *op = "operator";
constexpr const char *parameters = "parameters";
constexpr const char *slab = "slab";
} // namespace slabmeta

// The metadata of frame's grids in a slab cook; empty for a whole cook.
FileMetadata slabMetadata(const CookOptions &o, const SlabPart &slab, int frame);
} // namespace sopcook
