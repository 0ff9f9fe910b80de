// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where the frames of a GIF file lie, found by walking its block lengths
// without decoding anything, and a GIF of a chosen few of them. The image
// library's GIF reader decodes every frame before the last one it is asked
// for, so a cook that needs frames near the end of the file would pay for
// all of them; given a file of just the frames it needs, it decodes those.
// A GIF frame is decoded from its own blocks and the file's header alone
// (frames are not composited over one another), so each frame decodes the
// same from the shorter file.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace imagevolume
{
// Byte ranges of one GIF file.
struct GifFrameIndex
{
    // Signature, logical screen descriptor and global colour table.
    size_t headerEnd = 0;
    // Per frame, [begin, end): the extension blocks since the previous
    // frame, its image descriptor, local colour table and image data.
    struct Span
    {
        size_t begin = 0, end = 0;
    };
    std::vector<Span> frames;
};

namespace gifblocks
{
// Bytes of a colour table whose size field is the low 3 bits of `packed`,
// or 0 when its flag (the top bit) is clear.
inline size_t colourTableBytes(uint8_t packed) { return (packed & 0x80) ? 3u << ((packed & 7) + 1) : 0; }

// Skips data sub-blocks (length byte, bytes) through the zero-length one;
// false when the file ends first.
inline bool skipSubBlocks(const std::string &bytes, size_t &at)
{
    while (at < bytes.size())
    {
        const size_t length = uint8_t(bytes[at]);
        at += 1 + length;
        if (length == 0) return true;
    }
    return false;
}

inline unsigned littleShort(const std::string &bytes, size_t at)
{
    return unsigned(uint8_t(bytes[at])) | unsigned(uint8_t(bytes[at + 1])) << 8;
}
} // namespace gifblocks

// The frames of a GIF file, or nothing unless every block up to the trailer
// is well formed, no frame has a zero width or height, and there is at least
// one frame: anything else is left to the library to read (and report)
// whole.
inline std::optional<GifFrameIndex> indexGifFrames(const std::string &bytes)
{
    using namespace gifblocks;
    if (bytes.size() < 13 || (bytes.compare(0, 6, "GIF87a") != 0 && bytes.compare(0, 6, "GIF89a") != 0))
        return std::nullopt;
    GifFrameIndex index;
    size_t at = 13 + colourTableBytes(uint8_t(bytes[10]));
    index.headerEnd = at;
    size_t frameBegin = at;
    while (at < bytes.size())
    {
        const uint8_t introducer = uint8_t(bytes[at]);
        if (introducer == 0x3b) return index.frames.empty() ? std::nullopt : std::optional(index);
        if (introducer == 0x21) // extension: label, then sub-blocks
        {
            at += 2;
            if (at > bytes.size() || !skipSubBlocks(bytes, at)) return std::nullopt;
            continue;
        }
        if (introducer != 0x2c || at + 10 > bytes.size()) return std::nullopt;
        // Image descriptor: left, top, width, height, packed fields.
        if (littleShort(bytes, at + 5) == 0 || littleShort(bytes, at + 7) == 0) return std::nullopt;
        at += 10 + colourTableBytes(uint8_t(bytes[at + 9]));
        at += 1; // the LZW minimum code size
        if (at > bytes.size() || !skipSubBlocks(bytes, at)) return std::nullopt;
        index.frames.push_back({frameBegin, at});
        frameBegin = at;
    }
    return std::nullopt; // no trailer
}

// A GIF of the header and the listed frames, in the order listed, closed by
// a trailer.
inline std::string gifOfFrames(const std::string &bytes, const GifFrameIndex &index, const std::vector<int> &frames)
{
    std::string out = bytes.substr(0, index.headerEnd);
    for (int f : frames)
    {
        const GifFrameIndex::Span &s = index.frames[size_t(f)];
        out.append(bytes, s.begin, s.end - s.begin);
    }
    out.push_back(char(0x3b));
    return out;
}
} // namespace imagevolume
