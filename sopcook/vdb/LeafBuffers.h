// SPDX-License-Identifier: Apache-2.0
#pragma once
// Grids whose leaf buffers are serialised in parallel. OpenVDB writes a
// grid's leaves one after another on one thread, compressing each as it
// goes; most of a big file's write is that loop. Each leaf's bytes depend
// only on the leaf and on the stream's compression settings, so chunks of
// leaves are serialised by OpenVDB's own leaf writer into memory on the
// pool's threads and written to the file in tree order: the same bytes.
#include <openvdb/openvdb.h>

namespace sopcook
{
// The grids as they are, float and vec3 grids sharing their trees with
// grids that serialise their leaves in parallel.
openvdb::GridPtrVec withParallelLeafWrites(const openvdb::GridPtrVec &grids);

// What Grid::writeBuffers writes for tree, leavesPerChunk leaves to a task.
template <typename TreeT>
void writeLeafBuffersParallel(const TreeT &tree, std::ostream &os, bool toHalf, size_t leavesPerChunk = 256);
} // namespace sopcook
