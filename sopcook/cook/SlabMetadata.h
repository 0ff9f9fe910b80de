// SPDX-License-Identifier: Apache-2.0
#pragma once
// The identity a slab cook writes into its grids (vdb/SlabIdentity.h names
// the keys), read from the node the cook used.
#include "cook/CookCommand.h"
#include "vdb/SlabIdentity.h"
#include "vdb/VdbWriter.h"

namespace sopcook
{
// The metadata of frame's grids in a slab cook, read from node once its
// parameters are set; empty for a whole cook.
FileMetadata slabMetadata(const CookOptions &o, const SlabPart &slab, int frame, const OP_Node &node);
} // namespace sopcook
