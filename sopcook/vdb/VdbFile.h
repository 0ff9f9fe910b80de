// SPDX-License-Identifier: Apache-2.0
#pragma once
// OpenVDB files written safely: through a temporary file in the same folder,
// checked, flushed to the disk, then renamed, so the file named is either
// complete or untouched.
#include <string>
#include <openvdb/openvdb.h>
#include "vdb/VdbWriter.h"

namespace sopcook
{
// Writes grids to path, in order; throws Error on failure. Grids given up
// for lack of memory are left to the process's exit (see leakForExit).
void writeGridsVdb(openvdb::GridPtrVec &grids, const std::string &path,
                   VdbCompression compression = defaultCompression);
} // namespace sopcook
