// SPDX-License-Identifier: Apache-2.0
#pragma once
// Attribute values of JSON geometry: every layout the host writes (tuples,
// per-component arrays, pages with packing and constant pages) decoded into
// element-major tuples.
#include <functional>
#include <string>
#include <vector>

#include "io/GeoDocument.h"

namespace sopcook
{
// One attribute as read: numbers (element-major, size per element) or
// strings, kept as the file keeps them (a table and an index per component)
// until they are bound, so that what they expand to can be checked first.
struct AttribData
{
    std::string name;
    int size = 1;
    bool isString = false;
    bool written = false; // numbers went straight to the storage target gave
    std::vector<float> numbers;
    std::vector<std::string> table;
    std::vector<int32_t> indices; // element-major; -1 for no string

    // Component i's string, or nullptr for none.
    const std::string *stringAt(size_t i) const { return indices[i] < 0 ? nullptr : &table[size_t(indices[i])]; }
};

// Where numeric values may go directly: given the name and tuple size, a
// buffer of n x size floats, or nullptr to keep them in AttribData::numbers.
using AttribTarget = std::function<float *(const AttribData &)>;

// Decodes a value block ("tuples", "arrays" or paged "rawpagedata") into n
// tuples of k numbers, element-major, into out.
template <class T> void decodeValues(const GeoMap &m, int64_t n, int k, T *out);

// Reads one [header, body] attribute entry of n elements; false when skipped
// (host-private scope or a type that holds no values we use).
bool readAttribute(const json &entry, const Where &w, int64_t n, AttribData &out, const AttribTarget &target,
                   std::vector<std::string> &warnings);
} // namespace sopcook
