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

// Grid metadata that ties a slab file to the cook it is a slab of: what the
// cook actually used, so parts merge only when their voxels come from one
// cook. Every grid also carries its value checksum (checksumKey).
namespace slabmeta
{
constexpr const char *op = "operator";
constexpr const char *version = "sopcook_version";    // sopcook and the plug-in interface
constexpr const char *library = "operator_library";   // the plug-in file: name, size, crc32
constexpr const char *inputs = "inputs";              // each input file: size, crc32
constexpr const char *parameters = "parameters";      // the frame and every parameter's value
constexpr const char *attributes = "attributes";      // -a / --attrib-override as applied
constexpr const char *slab = "slab";                  // "I/N"
// The keys of the cook's identity, in the order merge compares them.
constexpr const char *identity[] = {op, version, library, inputs, parameters, attributes};
} // namespace slabmeta

// The metadata of frame's grids in a slab cook, read from node once its
// parameters are set; empty for a whole cook.
FileMetadata slabMetadata(const CookOptions &o, const SlabPart &slab, int frame, const OP_Node &node);
} // namespace sopcook
