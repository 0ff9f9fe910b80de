// SPDX-License-Identifier: Apache-2.0
#pragma once
// What ties a slab file to the cook it is a slab of: the slab it holds and
// the grid metadata naming the cook, written by the cook and compared by the
// merge.
#include <string>

namespace sopcook
{
// Slab index of count z-slabs (whole 16-voxel tile runs of z).
struct SlabPart
{
    int index = 0;
    int count = 0; // 0: the whole volume

    bool active() const { return count > 0; }
    std::string text() const { return std::to_string(index) + "/" + std::to_string(count); }
};

// "I/N" with 0 <= I < N; throws Error saying what is wrong (without naming
// where the text came from).
SlabPart slabFromText(const std::string &text);

// Grid metadata of a slab file: what the cook actually used, so parts merge
// only when their voxels come from one cook. Every grid also carries its
// value checksum (checksumKey).
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
} // namespace sopcook
