// SPDX-License-Identifier: Apache-2.0
#pragma once
// Numbers in messages and reports, as printf's %g writes them at a given
// number of significant digits (6, %g's own, by default).
#include <cstdio>
#include <string>

namespace sopcook
{
inline std::string numberText(double v, int digits = 6)
{
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%.*g", digits, v);
    return buf;
}
} // namespace sopcook
