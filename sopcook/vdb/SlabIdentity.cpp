// SPDX-License-Identifier: Apache-2.0
#include "vdb/SlabIdentity.h"

#include <cstdlib>

#include "Messages.h"

namespace sopcook
{
SlabPart slabFromText(const std::string &text)
{
    const char *expected = "expected I/N, slab I (from 0) of N";
    size_t slash = text.find('/');
    if (slash == std::string::npos) throw Error(expected);
    auto number = [&](const std::string &s) {
        char *end = nullptr;
        long v = std::strtol(s.c_str(), &end, 10);
        if (s.empty() || *end || v < 0 || v > 1000000) throw Error(expected);
        return int(v);
    };
    SlabPart slab;
    slab.index = number(text.substr(0, slash));
    slab.count = number(text.substr(slash + 1));
    if (slab.count < 1) throw Error("N must be 1 or more");
    if (slab.index >= slab.count) throw Error("slab " + std::to_string(slab.index) + " is out of range 0-" + std::to_string(slab.count - 1));
    return slab;
}
} // namespace sopcook
