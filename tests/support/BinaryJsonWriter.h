// SPDX-License-Identifier: Apache-2.0
#pragma once
// Writes the host's binary JSON encoding, for tests and benchmarks: token by
// token (streaming, for big generated caches) or from a JSON document with a
// choice of encodings, so one scene can be written every way a reader must
// accept (plain tokens or uniform arrays, inline or table strings, either
// byte order, every integer width, wide length prefixes).
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>

#include <nlohmann/json.hpp>

namespace testing_bgeo
{
struct Options
{
    bool uniform = true;       // numeric, bool and string lists as uniform arrays
    bool stringTable = true;   // strings defined once, then referenced
    bool bigEndian = false;
    bool exotic = false;       // uint8/uint16/real16/bool-byte tokens where they fit
    bool wideLengths = false;  // every length in its 8-byte form
};

class Writer
{
public:
    explicit Writer(Options o = {}) : myOptions(o)
    {
        myOut.push_back('\x7f');
        myOut += o.bigEndian ? "bJSN" : "NSJb";
    }
    const std::string &bytes() const { return myOut; }

    void beginArray() { token(0x5b); }
    void endArray() { token(0x5d); }
    void beginMap() { token(0x7b); }
    void endMap() { token(0x7d); }
    void null() { token(0x00); }
    void boolean(bool b)
    {
        if (myOptions.exotic) token(0x10), token(b ? 2 : 0);
        else token(b ? 0x31 : 0x30);
    }
    void integer(int64_t v)
    {
        if (myOptions.exotic && v >= 0 && v <= 255) return token(0x21), token(uint8_t(v));
        if (myOptions.exotic && v >= 0 && v <= 65535) return token(0x22), scalar(uint16_t(v));
        if (v >= -128 && v <= 127) return token(0x11), token(uint8_t(int8_t(v)));
        if (v >= -32768 && v <= 32767) return token(0x12), scalar(int16_t(v));
        if (v >= INT32_MIN && v <= INT32_MAX) return token(0x13), scalar(int32_t(v));
        token(0x14), scalar(v);
    }
    void real(double v)
    {
        if (myOptions.exotic && isHalf(v)) return token(0x18), scalar(toHalf(v));
        if (double(float(v)) == v) return token(0x19), scalar(float(v));
        token(0x1a), scalar(v);
    }
    void string(const std::string &s)
    {
        if (!myOptions.stringTable) return token(0x27), bytesWithLength(s);
        auto it = myIds.find(s);
        if (it == myIds.end())
        {
            it = myIds.emplace(s, myIds.size()).first;
            token(0x2b), length(it->second), bytesWithLength(s);
            // A forget of an id never used again must be absorbed as well.
            token(0x2d), length(1000000);
        }
        token(0x26), length(it->second);
    }
    template <class T> void uniform(uint8_t type, const T *values, size_t n)
    {
        token(0x40), token(type), length(n);
        for (size_t i = 0; i < n; ++i) scalar(values[i]);
    }
    void uniformBools(const std::vector<bool> &flags)
    {
        token(0x40), token(0x10), length(flags.size());
        for (size_t w = 0; w < (flags.size() + 31) / 32; ++w)
        {
            uint32_t word = 0;
            for (size_t b = 0; b < 32 && w * 32 + b < flags.size(); ++b) word |= uint32_t(flags[w * 32 + b]) << b;
            scalar(word);
        }
    }

    void value(const nlohmann::json &j)
    {
        using V = nlohmann::json::value_t;
        switch (j.type())
        {
        case V::null: return null();
        case V::boolean: return boolean(j.get<bool>());
        case V::number_integer:
        case V::number_unsigned: return integer(j.get<int64_t>());
        case V::number_float: return real(j.get<double>());
        case V::string: return string(j.get<std::string>());
        case V::object:
            beginMap();
            for (auto it = j.begin(); it != j.end(); ++it) string(it.key()), value(it.value());
            return endMap();
        default:
            if (myOptions.uniform && list(j)) return;
            beginArray();
            for (const auto &e : j) value(e);
            endArray();
        }
    }

private:
    Options myOptions;
    std::string myOut;
    std::map<std::string, size_t> myIds;

    void token(uint8_t t) { myOut.push_back(char(t)); }
    template <class T> void scalar(T v)
    {
        char b[sizeof(T)];
        std::memcpy(b, &v, sizeof(T));
        if (myOptions.bigEndian)
            for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(b[i], b[sizeof(T) - 1 - i]);
        myOut.append(b, sizeof(T));
    }
    void length(uint64_t n)
    {
        if (myOptions.wideLengths) return token(0xf8), scalar(int64_t(n));
        if (n <= 0xf0) return token(uint8_t(n));
        if (n <= 0xffff) return token(0xf2), scalar(uint16_t(n));
        if (n <= 0xffffffffu) return token(0xf4), scalar(uint32_t(n));
        token(0xf8), scalar(int64_t(n));
    }
    void bytesWithLength(const std::string &s) { length(s.size()), myOut += s; }

    static bool isHalf(double v) { return v == std::ldexp(std::round(std::ldexp(v, 4)), -4) && std::fabs(v) < 64; }
    static uint16_t toHalf(double v)
    {
        if (v == 0) return std::signbit(v) ? 0x8000 : 0;
        int e;
        double m = std::frexp(std::fabs(v), &e); // v = m * 2^e, m in [0.5, 1)
        uint16_t bits = uint16_t(((e + 14) << 10) | (uint16_t(std::ldexp(m, 11)) & 0x3ff));
        return v < 0 ? uint16_t(bits | 0x8000) : bits;
    }

    // A homogeneous non-empty list as one uniform array; false when mixed.
    bool list(const nlohmann::json &j)
    {
        if (j.empty()) return token(0x40), token(0x19), length(0), true;
        bool ints = true, numbers = true, bools = true, strings = true, floats = true;
        for (const auto &e : j)
        {
            ints &= e.is_number_integer();
            numbers &= e.is_number();
            bools &= e.is_boolean();
            strings &= e.is_string();
            if (e.is_number()) floats &= double(float(e.get<double>())) == e.get<double>();
        }
        if (bools)
        {
            std::vector<bool> flags;
            for (const auto &e : j) flags.push_back(e.get<bool>());
            return uniformBools(flags), true;
        }
        if (strings)
        {
            token(0x40), token(0x27), length(j.size());
            for (const auto &e : j) bytesWithLength(e.get<std::string>());
            return true;
        }
        if (!numbers) return false;
        std::vector<double> d;
        std::vector<int32_t> i;
        std::vector<float> f;
        for (const auto &e : j) d.push_back(e.get<double>()), f.push_back(float(d.back())), i.push_back(int32_t(d.back()));
        if (ints) uniform(0x13, i.data(), i.size());
        else if (floats) uniform(0x19, f.data(), f.size());
        else uniform(0x1a, d.data(), d.size());
        return true;
    }
};

inline std::string encode(const nlohmann::json &doc, Options o = {})
{
    Writer w(o);
    w.value(doc);
    return w.bytes();
}
} // namespace testing_bgeo
