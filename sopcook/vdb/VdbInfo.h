// SPDX-License-Identifier: Apache-2.0
#pragma once
// `sopcook info`: what a VDB file holds.
#include <ostream>
#include <string>

namespace sopcook
{
// Prints one line per grid: name, value type, class, resolution, active
// voxels, value range, transform kind and voxel size. Throws Error when the
// file cannot be read as VDB.
void printVdbInfo(const std::string &path, std::ostream &out);
} // namespace sopcook
