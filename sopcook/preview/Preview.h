// SPDX-License-Identifier: Apache-2.0
#pragma once
// A PNG preview of a cooked detail that a person can judge at a glance.
#include <string>
#include <vector>
#include "GU/GU_Detail.h"

namespace sopcook
{
// Integrates density (tinted by the Cd volumes when they exist) along the
// volume's k axis, front (high k) to back, with simple absorption and
// automatic exposure; caption is printed small in the lower-left corner.
// Written through a temporary file and a rename. Throws Error on failure.
void writePreview(const GU_Detail &gdp, const std::string &path, const std::string &caption);

// Lays previously written previews out in a grid (4 per row, each scaled to
// fit tile x tile pixels) and writes them as one PNG.
void writeContactSheet(const std::vector<std::string> &images, const std::string &path, int tile = 256);
} // namespace sopcook
