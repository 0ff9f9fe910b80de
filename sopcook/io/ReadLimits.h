// SPDX-License-Identifier: Apache-2.0
#pragma once
// What reading one geometry file may take, so that a small file cannot make
// the reader allocate gigabytes (a size bomb). Three bounds, each checked
// before the memory it guards is allocated:
//  - a compressed payload (gzip, Blosc) expands to at most 256 times the
//    file's size, or 64 MB for smaller files, and to no more than half the
//    memory available: geometry compresses a few times, only padding and long
//    runs of one byte compress more;
//  - an element count is at most 1024 per byte of the file: constant pages
//    and string indices let a few bytes stand for many elements, but never
//    that many in a file the host writes;
//  - the decoded JSON document (about 32 bytes a value) and what the detail
//    will hold, counted from the counts and attribute headers (and, for
//    strings, the strings the indices pick), fit the memory available.
// A refusal names the file and what it claims.
#include <cstdint>
#include <string>

namespace sopcook
{
struct ReadLimits
{
    double fileBytes = 0;   // the file as stored (compressed, when it is)
    double memoryBytes = 0; // what the process can still allocate

    // The limits of a file of fileBytes, with the memory available now.
    static ReadLimits forFile(double fileBytes);
    // The memory available now, within memoryBytes: what the read holds
    // already (the payload, the decoded document) is no longer available.
    double memoryNow() const;

    static constexpr double expansionRatio = 256;
    static constexpr double expansionFloor = 64.0 * 1024 * 1024;
    static constexpr double elementsPerByte = 1024;

    // The most a compressed payload (or repeated strings) may expand to.
    double expansionBytes() const;
    // The refusal of a payload past expansionBytes(), what it is and why:
    // "WHAT expands past 64.0 MB (256 times the file's 100.0 KB, ...); ...".
    std::string expansionRefusal(const std::string &what) const;
    // The most elements of one kind the file can stand for.
    int64_t maxElements() const;
};

// 50000000 as "50,000,000".
std::string countText(double n);
// A size in bytes as "1.3 GB".
std::string byteText(double bytes);
} // namespace sopcook
