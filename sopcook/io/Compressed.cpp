// SPDX-License-Identifier: Apache-2.0
#include "io/Compressed.h"

#include <cstdint>
#include <cstring>

#include <blosc.h>
#include <zlib.h>

#include "Messages.h"

namespace sopcook
{
namespace
{
uint32_t littleEndian32(const unsigned char *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
} // namespace

bool isGzip(const std::string &bytes) { return bytes.size() >= 2 && bytes[0] == '\x1f' && bytes[1] == '\x8b'; }

std::string gunzip(const std::string &bytes, const std::string &label, const ReadLimits &limits)
{
    z_stream zs{};
    if (inflateInit2(&zs, 15 + 16) != Z_OK) throw Error(label + ": cannot start gzip decompression");
    const size_t limit = size_t(limits.expansionBytes());
    // The last 4 bytes hold the (last member's) size modulo 2^32: a hint that
    // makes one buffer of the right size for every ordinary file, and no
    // more than the limit for any other.
    size_t hint = bytes.size() * 4;
    if (bytes.size() >= 18)
    {
        const auto *t = reinterpret_cast<const unsigned char *>(bytes.data() + bytes.size() - 4);
        hint = std::max<size_t>(littleEndian32(t), bytes.size());
    }
    std::string out;
    out.reserve(std::min(limit, hint));
    size_t in = 0;
    int rc = Z_OK;
    char buffer[1 << 16];
    while (true)
    {
        size_t chunk = std::min<size_t>(bytes.size() - in, 1u << 30);
        zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data() + in));
        zs.avail_in = uInt(chunk);
        zs.next_out = reinterpret_cast<Bytef *>(buffer);
        zs.avail_out = sizeof buffer;
        rc = inflate(&zs, Z_NO_FLUSH);
        in += chunk - zs.avail_in;
        if (sizeof buffer - zs.avail_out > limit - out.size())
        {
            inflateEnd(&zs);
            throw Error(label + ": " + limits.expansionRefusal("its gzip data") + " (gunzip it to read it as it is)");
        }
        out.append(buffer, sizeof buffer - zs.avail_out);
        if (rc == Z_STREAM_END)
        {
            // Concatenated gzip members make one stream.
            if (in == bytes.size() || !isGzip(bytes.substr(in, 2))) break;
            inflateReset(&zs);
            continue;
        }
        if (rc == Z_BUF_ERROR && in == bytes.size()) break; // input ran out
        if (rc != Z_OK && rc != Z_BUF_ERROR) break;
    }
    std::string msg = zs.msg ? zs.msg : "";
    inflateEnd(&zs);
    if (rc == Z_STREAM_END) return out;
    if (rc == Z_OK || rc == Z_BUF_ERROR) throw Error(label + ": gzip stream ends early (byte " + std::to_string(in) + ")");
    throw Error(label + ": damaged gzip stream at byte " + std::to_string(in) + (msg.empty() ? "" : ": " + msg));
}

bool isBloscContainer(const std::string &bytes) { return bytes.size() >= 4 && bytes.compare(0, 4, "scf1") == 0; }

namespace
{
uint64_t bigEndian64(const unsigned char *p)
{
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
}
} // namespace

// "scf1", 8 bytes, Blosc chunks back to back, an index (big-endian int64s, the
// last one its own length in bytes), "1fcs". The chunks carry their own sizes,
// so they are walked in order and the index is only used to find their end.
std::string unpackBloscContainer(const std::string &bytes, const std::string &label, const ReadLimits &limits)
{
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    const size_t size = bytes.size();
    auto fail = [&](size_t at, const std::string &what) -> void {
        throw Error(label + ": byte " + std::to_string(at) + ": compressed container: " + what);
    };
    if (size < 12 + 8 + 4 || bytes.compare(size - 4, 4, "1fcs") != 0) fail(size, "missing the closing \"1fcs\" (truncated file?)");
    const uint64_t indexBytes = bigEndian64(data + size - 12);
    if (indexBytes < 16 || indexBytes > size - 12 - 12 || indexBytes % 8 != 0) fail(size - 12, "index length " + std::to_string(indexBytes) + " out of range");
    const size_t chunksEnd = size - 12 - size_t(indexBytes);
    std::string out;
    size_t pos = 12;
    while (pos < chunksEnd)
    {
        if (chunksEnd - pos < 16) fail(pos, "chunk header cut short");
        size_t nbytes = 0;
        const size_t cbytes = littleEndian32(data + pos + 12);
        if (cbytes < 16 || cbytes > chunksEnd - pos || blosc_cbuffer_validate(data + pos, cbytes, &nbytes) != 0)
            fail(pos, "damaged Blosc chunk");
        if (nbytes > (size_t(1) << 31)) fail(pos, "chunk of " + std::to_string(nbytes) + " bytes is too large");
        if (double(out.size()) + double(nbytes) > limits.expansionBytes())
            fail(pos, limits.expansionRefusal("with a chunk of " + countText(double(nbytes)) + " bytes, the payload"));
        const size_t at = out.size();
        out.resize(at + nbytes);
        if (nbytes > 0 && blosc_decompress_ctx(data + pos, &out[at], nbytes, 1) != int(nbytes)) fail(pos, "cannot decompress Blosc chunk");
        pos += cbytes;
    }
    if (pos != chunksEnd) fail(pos, "chunks overrun the index");
    return out;
}
} // namespace sopcook
