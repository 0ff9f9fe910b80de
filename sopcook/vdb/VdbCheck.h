// SPDX-License-Identifier: Apache-2.0
#pragma once
// A .vdb file's archive checked before OpenVDB reads it. The library trusts
// every length, count and type name in a file: a damaged one makes it
// allocate gigabytes, print kilobytes of binary in an error, overrun a buffer
// or stop on an assertion. The check walks the same layout (header, grid
// descriptors, metadata records, transform, topology and the framing of
// every value buffer) with each size bounded by what is left of the file,
// so only archives that are whole reach the library.
#include <cstdint>
#include <string>
#include <vector>

namespace sopcook
{
// One grid as its descriptor names it.
struct VdbGridEntry
{
    std::string name, type; // printable, as printableText makes them
    bool whole = false;     // walked to its end without a fault
};

// What the check learnt of a file.
struct VdbArchiveCheck
{
    bool opened = false;          // the file could be opened as a regular file
    bool isVdb = false;           // the header is a VDB header
    int64_t gridCount = -1;       // as the file claims; -1 when not reached
    std::vector<VdbGridEntry> grids; // descriptors read, in file order
    std::string fault;            // empty when the archive is whole
    bool whole() const { return fault.empty(); }
};

// Walks path's archive. Never throws for what the file holds; fault says
// what is wrong and where, in one printable line.
VdbArchiveCheck checkVdbArchive(const std::string &path);

// Sets the process up for checked reads, once: the delayed-load table a
// seekable archive carries serves memory-mapped reads only, which sopcook
// never does, and its reader asserts on damaged bytes, so the table is read
// as the opaque record it is to sopcook.
void prepareVdbReading();

// text as a piece of one message line: control characters and bytes outside
// printable ASCII as \xNN, cut to at most maxLength characters.
std::string printableText(const std::string &text, size_t maxLength = 120);
} // namespace sopcook
