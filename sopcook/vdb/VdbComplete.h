// SPDX-License-Identifier: Apache-2.0
#pragma once
// Whether a .vdb file holds a finished cook: the one test behind
// --skip-existing, merge, farm report and info's exit status. A finished
// cook reads back whole (every grid's metadata, topology and values), holds
// at least one grid, and no grid carries the mark of an interrupted cook.
#include <string>
#include <openvdb/openvdb.h>

namespace sopcook
{
// Why grids, read whole from path, are not a finished cook; empty when
// they are.
std::string incompleteReason(const std::string &path, const openvdb::GridPtrVec &grids);

// Whether path holds a finished cook and, when slab is not empty, is all of
// that slab ("I/N"), when it is empty a whole cook rather than a slab. why
// receives the reason when not. Never throws for what the file holds.
bool isCompleteVdb(const std::string &path, const std::string &slab, std::string *why = nullptr);
} // namespace sopcook
