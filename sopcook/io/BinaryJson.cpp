// SPDX-License-Identifier: Apache-2.0
// Token decoder for binary JSON geometry. Each value starts with a one-byte
// token; lengths and string ids use a variable-size unsigned encoding; strings
// may be defined once under an id and referenced later. Every length is checked
// against the bytes left before anything is allocated, so a damaged stream fails
// with its byte offset and the place in the document instead of reading wildly.
#include "io/BinaryJson.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "io/Where.h"

namespace sopcook
{
using json = nlohmann::json;

namespace
{
constexpr int maxDepth = 256; // geometry nests a dozen levels; deeper is damage

bool hostIsBigEndian()
{
    const uint16_t one = 1;
    unsigned char b;
    std::memcpy(&b, &one, 1);
    return b == 0;
}

template <class T> T load(const unsigned char *p, bool swap)
{
    unsigned char b[sizeof(T)];
    std::memcpy(b, p, sizeof(T));
    if (swap)
        for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(b[i], b[sizeof(T) - 1 - i]);
    T v;
    std::memcpy(&v, b, sizeof(T));
    return v;
}

double halfToDouble(uint16_t h)
{
    int exponent = (h >> 10) & 0x1f, mantissa = h & 0x3ff;
    double v = exponent == 0    ? std::ldexp(mantissa, -24)
               : exponent == 31 ? (mantissa ? NAN : INFINITY)
                                : std::ldexp(mantissa + 1024, exponent - 25);
    return (h & 0x8000) ? -v : v;
}

class Decoder
{
public:
    Decoder(const std::string &bytes, const std::string &label, uint64_t maxValues)
        : myData(reinterpret_cast<const unsigned char *>(bytes.data())), mySize(bytes.size()), myLabel(label),
          myMaxValues(maxValues)
    {
        bool little = bytes.size() >= 5 && bytes.compare(1, 4, "NSJb") == 0;
        mySwap = little == hostIsBigEndian();
        myPos = 5;
    }

    json document()
    {
        json doc = value(token(), 0);
        if (myPos != mySize) fail("unexpected " + std::to_string(mySize - myPos) + " byte(s) after the document");
        return doc;
    }

private:
    const unsigned char *myData;
    size_t mySize, myPos = 0;
    bool mySwap = false;
    const std::string &myLabel;
    uint64_t myMaxValues, myValues = 0;
    std::vector<std::string> myStrings;
    std::vector<bool> myDefined;
    std::vector<std::string> myPath; // keys, or "[i]" for list positions

    [[noreturn]] void fail(const std::string &what, size_t at = size_t(-1)) const
    {
        std::string path;
        for (const std::string &part : myPath) path += (path.empty() || part[0] == '[' ? "" : "/") + part;
        Where{myLabel, path, int64_t(at == size_t(-1) ? myPos : at)}.fail(what);
    }

    const unsigned char *take(size_t n, const char *what)
    {
        if (n > mySize - myPos) fail(std::string("file ends inside ") + what + " (" + std::to_string(n) + " bytes needed, " + std::to_string(mySize - myPos) + " left)");
        const unsigned char *p = myData + myPos;
        myPos += n;
        return p;
    }
    template <class T> T read(const char *what) { return load<T>(take(sizeof(T), what), mySwap); }

    uint64_t length(const char *what)
    {
        size_t at = myPos;
        uint8_t b = read<uint8_t>(what);
        if (b <= 0xf0) return b;
        if (b == 0xf2) return read<uint16_t>(what);
        if (b == 0xf4) return read<uint32_t>(what);
        if (b == 0xf8)
        {
            int64_t v = read<int64_t>(what);
            if (v < 0) fail(std::string("negative ") + what, at);
            return uint64_t(v);
        }
        fail("reserved length byte 0x" + hex(b) + " in " + what, at);
    }

    static std::string hex(unsigned b)
    {
        const char *digits = "0123456789abcdef";
        return {digits[(b >> 4) & 15], digits[b & 15]};
    }

    std::string inlineString(const char *what)
    {
        uint64_t n = length(what);
        if (n > mySize - myPos) fail(std::string("file ends inside ") + what + " (length " + std::to_string(n) + ")");
        const unsigned char *p = take(size_t(n), what);
        return std::string(reinterpret_cast<const char *>(p), size_t(n));
    }

    size_t stringId()
    {
        size_t at = myPos;
        uint64_t id = length("a string id");
        // Ids are handed out from 0; every definition costs at least 3 bytes.
        if (id > mySize) fail("string id " + std::to_string(id) + " out of range", at);
        return size_t(id);
    }

    const std::string &reference()
    {
        size_t at = myPos;
        size_t id = stringId();
        if (id >= myDefined.size() || !myDefined[id]) fail("reference to undefined string id " + std::to_string(id), at);
        return myStrings[id];
    }

    // The next token, after absorbing string definitions and forgets.
    uint8_t token()
    {
        for (;;)
        {
            uint8_t t = read<uint8_t>("a token");
            if (t == 0x2b)
            {
                size_t id = stringId();
                std::string s = inlineString("a string definition");
                if (id >= myStrings.size())
                {
                    myStrings.resize(id + 1);
                    myDefined.resize(id + 1, false);
                }
                myStrings[id] = std::move(s);
                myDefined[id] = true;
            }
            else if (t == 0x2d)
            {
                uint64_t id = length("a string id");
                if (id < myDefined.size()) myDefined[size_t(id)] = false;
            }
            else
                return t;
        }
    }

    json value(uint8_t t, int depth)
    {
        if (++myValues > myMaxValues)
            fail("more than " + std::to_string(myMaxValues) + " values, which take more memory to decode than is available", myPos - 1);
        switch (t)
        {
        case 0x5b: return list(depth + 1);
        case 0x7b: return map(depth + 1);
        case 0x11: return read<int8_t>("an int8");
        case 0x12: return read<int16_t>("an int16");
        case 0x13: return read<int32_t>("an int32");
        case 0x14: return read<int64_t>("an int64");
        case 0x21: return read<uint8_t>("a uint8");
        case 0x22: return read<uint16_t>("a uint16");
        case 0x18: return halfToDouble(read<uint16_t>("a real16"));
        case 0x19: return double(read<float>("a real32"));
        case 0x1a: return read<double>("a real64");
        case 0x27: return inlineString("a string");
        case 0x26: return reference();
        case 0x30: return false;
        case 0x31: return true;
        case 0x10: return read<uint8_t>("a bool") != 0;
        case 0x00: return nullptr;
        case 0x40: return uniform();
        default: fail("unknown token 0x" + hex(t), myPos - 1);
        }
    }

    json list(int depth)
    {
        if (depth > maxDepth) fail("nested deeper than " + std::to_string(maxDepth) + " levels", myPos - 1);
        json out = json::array();
        for (size_t i = 0;; ++i)
        {
            // Geometry maps are lists of key, value: name a value by its key.
            myPath.push_back(i % 2 == 1 && out[i - 1].is_string() ? out[i - 1].get<std::string>() : "[" + std::to_string(i) + "]");
            uint8_t t = token();
            if (t != 0x5d) out.push_back(value(t, depth));
            myPath.pop_back();
            if (t == 0x5d) return out;
        }
    }

    json map(int depth)
    {
        if (depth > maxDepth) fail("nested deeper than " + std::to_string(maxDepth) + " levels", myPos - 1);
        json out = json::object();
        for (;;)
        {
            size_t at = myPos;
            uint8_t t = token();
            if (t == 0x7d) return out;
            if (t != 0x27 && t != 0x26) fail("expected a string key in a map, found token 0x" + hex(t), at);
            std::string key = value(t, depth).get<std::string>();
            myPath.push_back(key);
            json v = value(token(), depth);
            myPath.pop_back();
            out[key] = std::move(v);
        }
    }

    json uniform()
    {
        size_t at = myPos - 1;
        uint8_t type = read<uint8_t>("a uniform array");
        uint64_t count = length("a uniform array length");
        if (type == 0x27 || type == 0x26)
        {
            if (count > mySize - myPos) fail("uniform array of " + std::to_string(count) + " strings runs past the end", at);
            // A string value takes about two values' memory.
            if (2 * count > myMaxValues - std::min(myMaxValues, myValues))
                fail("more than " + std::to_string(myMaxValues) + " values, which take more memory to decode than is available", at);
            myValues += 2 * count;
            json out = json::array();
            for (uint64_t i = 0; i < count; ++i) out.push_back(type == 0x27 ? inlineString("a string") : reference());
            return out;
        }
        size_t element = typedElementBytes(type);
        if (element == 0 && type != TypedArray::Bool) fail("unknown uniform array element type 0x" + hex(type), at + 1);
        uint64_t bytes = type == TypedArray::Bool ? (count + 31) / 32 * 4 : count * element;
        if (count > mySize || bytes > mySize - myPos)
            fail("uniform array of " + std::to_string(count) + " elements runs past the end", at);
        TypedArray a;
        a.data = take(size_t(bytes), "a uniform array");
        a.count = count;
        a.type = type;
        a.swap = mySwap;
        std::vector<std::uint8_t> raw(sizeof a);
        std::memcpy(raw.data(), &a, sizeof a);
        return json::binary(std::move(raw), type);
    }
};
} // namespace

bool isBinaryJson(const std::string &bytes)
{
    return bytes.size() >= 5 && bytes[0] == '\x7f' && (bytes.compare(1, 4, "NSJb") == 0 || bytes.compare(1, 4, "bJSN") == 0);
}

json decodeBinaryJson(const std::string &bytes, const std::string &label)
{
    if (!isBinaryJson(bytes)) throw Error(label + ": not binary JSON geometry (no 0x7f NSJb magic)");
    return Decoder(bytes, label, UINT64_MAX).document();
}

json decodeBinaryJson(const std::string &bytes, const std::string &label, uint64_t maxValues)
{
    if (!isBinaryJson(bytes)) throw Error(label + ": not binary JSON geometry (no 0x7f NSJb magic)");
    return Decoder(bytes, label, maxValues).document();
}

size_t typedElementBytes(uint8_t type)
{
    switch (type)
    {
    case TypedArray::Int8:
    case TypedArray::UInt8: return 1;
    case TypedArray::Int16:
    case TypedArray::UInt16:
    case TypedArray::Real16: return 2;
    case TypedArray::Int32:
    case TypedArray::Real32: return 4;
    case TypedArray::Int64:
    case TypedArray::Real64: return 8;
    default: return 0;
    }
}

bool asTypedArray(const json &j, TypedArray &out)
{
    if (!j.is_binary() || j.get_binary().size() != sizeof(TypedArray)) return false;
    std::memcpy(&out, j.get_binary().data(), sizeof out);
    return true;
}

double TypedArray::at(size_t i) const
{
    switch (type)
    {
    case Bool: return (load<uint32_t>(data + 4 * (i / 32), swap) >> (i % 32)) & 1u;
    case Int8: return double(int8_t(data[i]));
    case UInt8: return double(data[i]);
    case Int16: return load<int16_t>(data + 2 * i, swap);
    case UInt16: return load<uint16_t>(data + 2 * i, swap);
    case Real16: return halfToDouble(load<uint16_t>(data + 2 * i, swap));
    case Int32: return load<int32_t>(data + 4 * i, swap);
    case Int64: return double(load<int64_t>(data + 8 * i, swap));
    case Real32: return load<float>(data + 4 * i, swap);
    default: return load<double>(data + 8 * i, swap);
    }
}

namespace
{
template <class S, class T> void convert(const unsigned char *src, bool swap, size_t tuples, int width, T *out, size_t outStride)
{
    if (tuples == 0) return; // an empty array may come with no storage at all
    if (!swap && std::is_same<S, T>::value && size_t(width) == outStride)
    {
        std::memcpy(out, src, tuples * size_t(width) * sizeof(T));
        return;
    }
    for (size_t e = 0; e < tuples; ++e)
        for (int c = 0; c < width; ++c, src += sizeof(S)) out[e * outStride + size_t(c)] = T(load<S>(src, swap));
}
} // namespace

template <class T> void TypedArray::copy(size_t first, size_t tuples, int width, T *out, size_t outStride) const
{
    const size_t bytes = typedElementBytes(type);
    const unsigned char *src = data + first * bytes;
    switch (type)
    {
    case Int8: return convert<int8_t>(src, swap, tuples, width, out, outStride);
    case UInt8: return convert<uint8_t>(src, swap, tuples, width, out, outStride);
    case Int16: return convert<int16_t>(src, swap, tuples, width, out, outStride);
    case UInt16: return convert<uint16_t>(src, swap, tuples, width, out, outStride);
    case Int32: return convert<int32_t>(src, swap, tuples, width, out, outStride);
    case Int64: return convert<int64_t>(src, swap, tuples, width, out, outStride);
    case Real32: return convert<float>(src, swap, tuples, width, out, outStride);
    case Real64: return convert<double>(src, swap, tuples, width, out, outStride);
    default: // bools and halves, element by element
        for (size_t e = 0; e < tuples; ++e)
            for (int c = 0; c < width; ++c) out[e * outStride + size_t(c)] = T(at(first + e * size_t(width) + size_t(c)));
    }
}

template void TypedArray::copy<float>(size_t, size_t, int, float *, size_t) const;
template void TypedArray::copy<double>(size_t, size_t, int, double *, size_t) const;
} // namespace sopcook
