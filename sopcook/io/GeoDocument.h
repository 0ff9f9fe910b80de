// SPDX-License-Identifier: Apache-2.0
#pragma once
// Access to a decoded JSON geometry document (ASCII or binary) with the place
// of every value at hand for messages: maps written as objects or as
// [key, value, ...] lists, and lists that are either JSON arrays or typed
// arrays of a binary stream.
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "io/BinaryJson.h"
#include "io/Where.h"

namespace sopcook
{
using json = nlohmann::json;

const char *kindOf(const json &j);
double number(const json &j, const Where &w);
int64_t count(const json &j, const Where &w, int64_t limit = int64_t(1) << 40);
bool boolean(const json &j, const Where &w);
const std::string &string(const json &j, const Where &w);

// A list: a JSON array, or a typed array of numbers from a binary stream.
class List
{
public:
    List(const json &j, const Where &w);
    size_t size() const { return myTyped ? size_t(myArray.count) : myJson.size(); }
    Where where(size_t i) const { return myWhere[i]; }
    const Where &where() const { return myWhere; }
    // Element i as a JSON value; expected says what a typed array cannot give.
    const json &at(size_t i, const char *expected) const;
    double number(size_t i) const
    {
        if (myTyped) return myArray.at(i);
        const json &e = myJson[i];
        return e.is_number() ? e.get<double>() : sopcook::number(e, myWhere[i]); // the place only on the slow path
    }
    int64_t count(size_t i, int64_t limit = int64_t(1) << 40) const;
    // tuples x width numbers from element first on, one tuple every stride values of out.
    template <class T> void read(size_t first, size_t tuples, int width, T *out, size_t stride) const
    {
        if (myTyped) return myArray.copy(first, tuples, width, out, stride);
        for (size_t e = 0; e < tuples; ++e)
            for (int c = 0; c < width; ++c) out[e * stride + size_t(c)] = T(number(first + e * size_t(width) + size_t(c)));
    }

private:
    const json &myJson;
    Where myWhere;
    bool myTyped = false;
    TypedArray myArray;
};

// A map written either as a JSON object or as [key, value, key, value, ...].
class GeoMap
{
public:
    GeoMap(const json &j, const Where &where);
    const json *find(const std::string &key) const;
    // The value under the long name or the short name newer hosts write.
    const json *find(const std::string &key, const std::string &shortKey) const;
    const json &require(const std::string &key) const;
    const std::vector<std::pair<std::string, const json *>> &entries() const { return myEntries; }
    const Where &where() const { return myWhere; }

private:
    Where myWhere;
    std::vector<std::pair<std::string, const json *>> myEntries;
};
} // namespace sopcook
