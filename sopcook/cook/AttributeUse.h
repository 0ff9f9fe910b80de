// SPDX-License-Identifier: Apache-2.0
#pragma once
// Which point attributes each operator reads, through which parameter, with
// how many components, and what its volumes show when one is missing: what
// sopcook tells the user before a cook about the input it was given.
#include <string>
#include <vector>

namespace sopcook
{
struct AttributeUse
{
    std::string parm;       // the string parameter naming the attribute ("radiusattrib")
    int components = 1;     // components read (fewer read as missing)
    std::string toggle;     // read only while this toggle is on; empty: always
    bool essential = true;  // missing: a warning; otherwise a note shown with -v
    std::string consequence; // what a missing attribute does, e.g. "every radius reads 0, so nothing is written"
};

// The uses of operator op; for an operator sopcook does not know, every
// string parameter ending in "attrib" as a one-component read.
std::vector<AttributeUse> attributeUses(const std::string &op, const std::vector<std::string> &stringParms);

// Operators whose noise reads 0 everywhere (and so writes nothing) when the
// normals, up and uv attributes are all missing while "donoise" is on.
bool noiseNeedsFrameOrUv(const std::string &op);
} // namespace sopcook
