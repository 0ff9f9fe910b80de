// SPDX-License-Identifier: Apache-2.0
#pragma once
// sopcook's version, as --version prints it and slab files record it.
#include <string>
#include "UT/UT_DSO.h"

namespace sopcook
{
constexpr const char *sopcookVersion = "1.0";

// "sopcook 1.0 (plug-in version 13.0)".
inline std::string versionText()
{
    return std::string("sopcook ") + sopcookVersion + " (plug-in version " + UT_DSO::hostVersion() + ")";
}
} // namespace sopcook
