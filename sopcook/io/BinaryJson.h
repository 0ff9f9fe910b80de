// SPDX-License-Identifier: Apache-2.0
#pragma once
// The host's binary JSON encoding: a stream of one-byte tokens that carries the
// same document as an ASCII .geo. It decodes into the JSON values the .geo
// reader consumes; long numeric lists (uniform arrays) are not expanded into
// one JSON node per number but kept as views into the stream (TypedArray),
// which the reader copies straight into attribute storage.
#include <cstddef>
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

namespace sopcook
{
// True when bytes start with the binary JSON magic (either byte order).
bool isBinaryJson(const std::string &bytes);

// The one value of a binary JSON stream. Typed arrays in the result point into
// bytes, which must outlive the document. Throws Error naming the byte offset
// and the place in the document.
nlohmann::json decodeBinaryJson(const std::string &bytes, const std::string &label);
// The same, refusing a document of more than maxValues values (a typed array
// counts as one) before the memory for them is taken.
nlohmann::json decodeBinaryJson(const std::string &bytes, const std::string &label, uint64_t maxValues);

// A uniform array of numbers or bools, kept in the stream's bytes.
struct TypedArray
{
    enum Type : uint8_t { Bool = 0x10, Int8 = 0x11, Int16 = 0x12, Int32 = 0x13, Int64 = 0x14, Real16 = 0x18,
                          Real32 = 0x19, Real64 = 0x1a, UInt8 = 0x21, UInt16 = 0x22 };
    const unsigned char *data = nullptr;
    uint64_t count = 0;
    uint8_t type = 0;
    bool swap = false; // written big-endian

    double at(size_t i) const;
    // Copies tuples x width values from element first on into out, one tuple
    // every outStride values, converting to T.
    template <class T> void copy(size_t first, size_t tuples, int width, T *out, size_t outStride) const;
};

// The typed array a JSON value stands for, or false when it is none.
bool asTypedArray(const nlohmann::json &j, TypedArray &out);

// The bytes one element of type takes (0 for bools, packed in 32-bit words).
size_t typedElementBytes(uint8_t type);
} // namespace sopcook
