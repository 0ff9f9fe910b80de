// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where in an input file a value sits, for error messages and warnings:
// "file: byte 1234: attributes/pointattributes[2]/values: what". Every reader
// (JSON geometry, binary JSON, PLY, camera files) words its messages with it.
#include <cstdint>
#include <string>

#include "Messages.h"

namespace sopcook
{
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
        if (!path.empty()) m += path + ": ";
        return m + what;
    }
    [[noreturn]] void fail(const std::string &what) const { throw Error(message(what)); }
};

// A JSON library's exception text without its "[json.exception.xxx.nnn] " tag.
inline std::string jsonErrorText(const std::string &what)
{
    size_t close = what.find("] ");
    if (!what.empty() && what[0] == '[' && close != std::string::npos) return what.substr(close + 2);
    return what;
}
} // namespace sopcook
