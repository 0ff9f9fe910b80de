// SPDX-License-Identifier: Apache-2.0
#include "io/GeoDocument.h"

#include <cmath>

namespace sopcook
{
const char *kindOf(const json &j)
{
    switch (j.type())
    {
    case json::value_t::null: return "null";
    case json::value_t::object: return "an object";
    case json::value_t::array: return "an array";
    case json::value_t::binary: return "a list of numbers";
    case json::value_t::string: return "a string";
    case json::value_t::boolean: return "a boolean";
    case json::value_t::discarded: return "nothing";
    default: return "a number";
    }
}

double number(const json &j, const Where &w)
{
    if (j.is_number()) return j.get<double>();
    if (j.is_boolean()) return j.get<bool>() ? 1.0 : 0.0;
    w.fail(std::string("expected a number, found ") + kindOf(j));
}

static int64_t wholeNumber(double v, const Where &w, int64_t limit)
{
    if (std::floor(v) != v) w.fail("expected a whole number, found " + numberText(v));
    if (!(v >= 0 && v <= double(limit))) w.fail("count " + numberText(v) + " out of range");
    return int64_t(v);
}

int64_t count(const json &j, const Where &w, int64_t limit)
{
    if (!j.is_number()) w.fail(std::string("expected a whole number, found ") + kindOf(j));
    if (j.is_number_integer())
    {
        bool negative = j.is_number_integer() && !j.is_number_unsigned() && j.get<int64_t>() < 0;
        if (negative || j.get<uint64_t>() > uint64_t(limit)) w.fail("count " + j.dump() + " out of range");
        return j.get<int64_t>();
    }
    return wholeNumber(j.get<double>(), w, limit);
}

bool boolean(const json &j, const Where &w)
{
    if (j.is_boolean()) return j.get<bool>();
    if (j.is_number()) return j.get<double>() != 0;
    w.fail(std::string("expected true or false, found ") + kindOf(j));
}

const std::string &string(const json &j, const Where &w)
{
    if (!j.is_string()) w.fail(std::string("expected a string, found ") + kindOf(j));
    return j.get_ref<const std::string &>();
}

List::List(const json &j, const Where &w) : myJson(j), myWhere(w)
{
    myTyped = asTypedArray(j, myArray);
    if (!myTyped && !j.is_array()) w.fail(std::string("expected an array, found ") + kindOf(j));
}

const json &List::at(size_t i, const char *expected) const
{
    if (myTyped) myWhere[i].fail(std::string("expected ") + expected + ", found a number");
    return myJson[i];
}

int64_t List::count(size_t i, int64_t limit) const
{
    if (myTyped) return wholeNumber(myArray.at(i), myWhere[i], limit);
    return sopcook::count(myJson[i], myWhere[i], limit);
}

GeoMap::GeoMap(const json &j, const Where &where) : myWhere(where)
{
    if (j.is_object())
    {
        for (auto it = j.begin(); it != j.end(); ++it) myEntries.emplace_back(it.key(), &it.value());
        return;
    }
    TypedArray typed;
    if (asTypedArray(j, typed) && typed.count == 0) return; // an empty list written as a uniform array
    if (!j.is_array()) where.fail(std::string("expected a map (array of keys and values), found ") + kindOf(j));
    if (j.size() % 2 != 0) where.fail("expected an even number of entries (keys and values), found " + std::to_string(j.size()));
    for (size_t i = 0; i < j.size(); i += 2)
    {
        if (!j[i].is_string()) where[i].fail(std::string("expected a key string, found ") + kindOf(j[i]));
        myEntries.emplace_back(j[i].get<std::string>(), &j[i + 1]);
    }
}

const json *GeoMap::find(const std::string &key) const
{
    for (auto &e : myEntries)
        if (e.first == key) return e.second;
    return nullptr;
}

const json *GeoMap::find(const std::string &key, const std::string &shortKey) const
{
    const json *v = find(key);
    return v ? v : find(shortKey);
}

const json &GeoMap::require(const std::string &key) const
{
    const json *v = find(key);
    if (!v) myWhere.fail("missing key \"" + key + "\"");
    return *v;
}
} // namespace sopcook
