// SPDX-License-Identifier: Apache-2.0
#pragma once
// Reading .vdb files back (info, merge, checks of finished output). Files
// come from other processes and may be damaged: each archive is checked
// (vdb/VdbCheck.h) before OpenVDB reads it, so a damaged file is an Error
// saying what is wrong and where, never an abort or a flood of binary.
#include <string>
#include <openvdb/openvdb.h>

#include "vdb/VdbCheck.h"

namespace sopcook
{
// Every grid of path, in file order, read whole; throws Error when it
// cannot be read.
openvdb::GridPtrVecPtr readVdbGrids(const std::string &path);

// The same for a file whose archive check is at hand (check of path).
openvdb::GridPtrVecPtr readVdbGrids(const std::string &path, const VdbArchiveCheck &check);
} // namespace sopcook
