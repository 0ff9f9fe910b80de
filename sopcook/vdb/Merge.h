// SPDX-License-Identifier: Apache-2.0
#pragma once
// Joining the slab files of one cook (`sopcook cook --slab I/N`) into the
// file a whole cook writes.
#include <string>
#include <vector>

namespace sopcook
{
// Merges parts, the files of slabs 0..N-1 of one cook in any order, into out
// (a temporary file and a rename, like every output). Throws Error, writing
// nothing, when the parts do not belong together (another operator, plug-in
// build, sopcook version, input content, parameter value or resolution, a
// slab missing or given twice) or a part's values do not match the checksum
// written with them.
void mergeSlabFiles(const std::string &out, const std::vector<std::string> &parts);

} // namespace sopcook
