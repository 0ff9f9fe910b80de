// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where in an input file a value sits, for error messages and warnings:
// "file: byte 1234: attributes/pointattributes[2]/values: what". Every reader
// (JSON geometry, binary JSON, PLY, camera files) words its messages with it.
// Places and texts taken from a file are cut to a bounded length, so that a
// hostile file (a 1 MB name, lists nested 256 deep) still gives one short line.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>

#include "Messages.h"

namespace sopcook
{
// Text from a file fit for a one-line message: control characters as '?',
// and at most max bytes, cut in the middle (keeping both ends) with "...".
inline std::string clipped(const std::string &text, size_t max = 96)
{
    auto clean = [](std::string s) {
        for (char &c : s)
            if ((unsigned char)c < 0x20 || c == 0x7f) c = '?';
        return s;
    };
    if (text.size() <= max) return clean(text);
    // Cut at UTF-8 character starts so that neither half ends mid-character.
    auto start = [&](size_t i) {
        while (i > 0 && i < text.size() && (static_cast<unsigned char>(text[i]) & 0xc0) == 0x80) --i;
        return i;
    };
    const size_t half = (max - 3) / 2;
    const size_t head = start(half), tail = start(text.size() - half);
    return clean(text.substr(0, head)) + "..." + clean(text.substr(tail));
}

// A number read from a file, as a message shows it: whole numbers as they are
// (up to 15 digits), anything else in at most 7 significant digits, so that a
// 300-digit count reads "1e+300".
inline std::string numberText(double v)
{
    char buf[32];
    if (std::floor(v) == v && std::fabs(v) < 1e15) std::snprintf(buf, sizeof buf, "%.0f", v);
    else std::snprintf(buf, sizeof buf, "%.7g", v);
    return buf;
}

struct Where
{
    const std::string &file;
    std::string path;
    int64_t byte = -1; // offset in the (uncompressed) stream, when known

    Where operator/(const std::string &key) const { return {file, path.empty() ? key : path + "/" + key, byte}; }
    Where operator[](size_t i) const { return {file, path + "[" + std::to_string(i) + "]", byte}; }
    Where atByte(int64_t offset) const { return {file, path, offset}; }

    std::string message(const std::string &what) const
    {
        std::string m = file + ": ";
        if (byte >= 0) m += "byte " + std::to_string(byte) + ": ";
        if (!path.empty()) m += clipped(path, 160) + ": ";
        return m + clipped(what, 400);
    }
    [[noreturn]] void fail(const std::string &what) const { throw Error(message(what)); }
};

// A JSON library's exception text without its "[json.exception.xxx.nnn] " tag,
// cut to a line (its "last read" part quotes the file).
inline std::string jsonErrorText(const std::string &what)
{
    size_t close = what.find("] ");
    if (!what.empty() && what[0] == '[' && close != std::string::npos) return clipped(what.substr(close + 2), 400);
    return clipped(what, 400);
}
} // namespace sopcook
