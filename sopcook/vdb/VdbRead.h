// SPDX-License-Identifier: Apache-2.0
#pragma once
// Reading .vdb files back (info, merge, checks of finished output).
#include <string>
#include <openvdb/openvdb.h>

namespace sopcook
{
// Every grid of path, in file order; throws Error when it cannot be read.
openvdb::GridPtrVecPtr readVdbGrids(const std::string &path);
} // namespace sopcook
