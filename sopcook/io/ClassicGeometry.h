// SPDX-License-Identifier: Apache-2.0
#pragma once
// The host's pre-JSON geometry formats: classic binary ("BgeoV", big-endian)
// and classic ASCII ("PGEOMETRY V5"). Points and their attributes are read
// (and, from the ASCII form, polygons); everything else is skipped with a
// warning.
#include <string>
#include <vector>

#include "GU/GU_Detail.h"

namespace sopcook
{
bool isClassicBinary(const std::string &bytes);
bool isClassicAscii(const std::string &bytes);
void readClassicBinary(const std::string &bytes, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings);
void readClassicAscii(const std::string &text, const std::string &label, GU_Detail &gdp, std::vector<std::string> &warnings);
} // namespace sopcook
