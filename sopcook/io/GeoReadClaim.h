// SPDX-License-Identifier: Apache-2.0
#pragma once
// What reading a JSON geometry document will allocate for its detail,
// counted from its counts and attribute headers before any of it is, and the
// refusal when the file cannot stand for that many elements or the memory
// available cannot hold them (see ReadLimits.h).
#include <cstdint>
#include <string>

#include "io/GeoDocument.h"
#include "io/ReadLimits.h"

namespace sopcook
{
struct DetailClaim
{
    int64_t points = 0, vertices = 0, primitives = 0;
    // Components per element of each class (P included in the points').
    int pointFloats = 3, pointStrings = 0;
    int vertexFloats = 0, vertexStrings = 0;
    int primitiveFloats = 0, primitiveStrings = 0;

    // The detail's storage and the buffers the values are decoded into.
    double bytes() const;
    // "50,000,000 points x 7 floats, 200 vertices x 3 floats".
    std::string text() const;
};

// The claim of a document with these element counts; attribute entries the
// reader will refuse or skip are left out (the read says what is wrong).
DetailClaim claimOf(const GeoMap &file, int64_t points, int64_t vertices, int64_t primitives);

// The most elements a decoded document can stand for, and how that is put
// in a refusal ("a binary document of 300 bytes, at most 64 elements a byte").
struct DocumentBound
{
    int64_t elements;
    std::string what;
};

// Throws Error naming the file and the claim when the document or the file
// is too small to stand for that many elements or the claim does not fit in
// memory.
void checkClaim(const DetailClaim &claim, const DocumentBound &document, const ReadLimits &limits, const std::string &label);

// The values of ASCII JSON text, counted before it is parsed (lists,
// objects and the commas between their entries), for the memory its
// document takes; punctuation inside strings counts too.
double jsonValueCount(const std::string &text);

// What the strings of an attribute take beyond their slots in the detail
// (the characters of strings too long to be kept inline); values whose index
// is -1 take nothing.
double stringHeapBytes(const std::string &s);
} // namespace sopcook
