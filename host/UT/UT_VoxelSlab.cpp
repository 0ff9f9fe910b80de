// SPDX-License-Identifier: Apache-2.0
#include "UT_VoxelSlab.h"

#include <mutex>

namespace
{
std::mutex theLock;
UT_VoxelSlab theSlab;
} // namespace

void UT_VoxelSlab::setProcessSlab(const UT_VoxelSlab &slab)
{
    std::lock_guard<std::mutex> guard(theLock);
    theSlab = slab.count >= 1 && slab.index >= 0 && slab.index < slab.count ? slab : UT_VoxelSlab();
}

UT_VoxelSlab UT_VoxelSlab::processSlab()
{
    std::lock_guard<std::mutex> guard(theLock);
    return theSlab;
}
