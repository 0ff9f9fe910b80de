// SPDX-License-Identifier: Apache-2.0
#include "UT_TilePool.h"

UT_TilePool::ChunkCache &UT_TilePool::cache()
{
    static ChunkCache *theCache = new ChunkCache; // outlives every array
    return *theCache;
}
