// SPDX-License-Identifier: Apache-2.0
#pragma once
// `sopcook info`: what a VDB file holds.
#include <ostream>
#include <string>

namespace sopcook
{
// Prints one line per grid: name, value type, class, resolution, active
// voxels, value range, transform kind and voxel size; of a damaged file, the
// grids it names. Returns why the file is not a finished cook (damaged, no
// grids, marked partial; see vdb/VdbComplete.h), empty when it is. Throws
// Error when the file is not a VDB file at all.
std::string printVdbInfo(const std::string &path, std::ostream &out);
} // namespace sopcook
