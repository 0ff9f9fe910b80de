// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <sys/mman.h>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>
#include "UT_Visibility.h"

// Memory for one voxel array's tiles, handed out zeroed (a tile of
// background 0 needs no fill) from chunks and released all at once. Chunks
// double from 32 KB up to 2 MB, so what is held stays within one chunk of
// what the tiles use. Released chunks wait in a process-wide cache of up to
// 256 MB for the next array (the next cook, the next frame): clearing memory
// already mapped costs far less than the kernel's page faults on fresh
// memory. Fresh chunks are mapped populated: a tile's first access is a read
// (an accumulation), which would map the shared zero page and then fault
// again on the write, and with two threads every such fault flushes the
// other core's TLB. Populating costs at most the part of the last chunk not
// yet handed out. A 2 MB chunk is asked for as one transparent huge page,
// populated for writing: one fault in place of 512 (bench_jobs: a 256^3
// billowfold cook 0.21 s -> 0.15 s on one core, and two slabs cooked at once
// no longer wait on each other's faults). Where the kernel has no huge page
// to give, the chunk is made of ordinary pages.
class UT_TilePool
{
public:
    UT_TilePool() = default;
    UT_TilePool(const UT_TilePool &) = delete;
    UT_TilePool &operator=(const UT_TilePool &) = delete;
    ~UT_TilePool() { release(); }

    // bytes of zeroed memory, 64-byte aligned (a tile row is one cache line).
    void *allocate(size_t bytes)
    {
        bytes = (bytes + 63) & ~size_t(63);
        std::lock_guard<std::mutex> guard(myMutex);
        if (size_t(myEnd - myNext) < bytes) newChunk(bytes);
        void *p = myNext;
        myNext += bytes;
        return p;
    }
    // Takes over every chunk of other (the tiles in them move with them);
    // other is left empty. New tiles still come from this pool's own chunk.
    void adopt(UT_TilePool &other)
    {
        if (&other == this) return;
        std::scoped_lock guard(myMutex, other.myMutex);
        myChunks.insert(myChunks.end(), other.myChunks.begin(), other.myChunks.end());
        myMapped += other.myMapped;
        other.myChunks.clear();
        other.myNext = other.myEnd = nullptr;
        other.myMapped = 0;
    }
    // Unmaps every chunk.
    void release()
    {
        std::lock_guard<std::mutex> guard(myMutex);
        for (const Chunk &c : myChunks)
            if (!cache().put(c.base, c.bytes)) munmap(c.base, c.bytes);
        myChunks.clear();
        myNext = myEnd = nullptr;
        myMapped = 0;
    }
    size_t mappedBytes() const
    {
        std::lock_guard<std::mutex> guard(myMutex);
        return myMapped;
    }

private:
    static constexpr size_t firstChunk = size_t(32) << 10;
    static constexpr size_t maxChunk = size_t(2) << 20;

    struct Chunk
    {
        void *base;
        size_t bytes;
    };

    void newChunk(size_t atLeast)
    {
        size_t bytes = myChunks.empty() ? firstChunk : myChunks.back().bytes * 2;
        if (bytes > maxChunk) bytes = maxChunk;
        if (bytes < atLeast) bytes = (atLeast + maxChunk - 1) & ~(maxChunk - 1);
        void *base = mapChunk(bytes);
        myChunks.push_back({base, bytes});
        myMapped += bytes;
        myNext = static_cast<char *>(base);
        myEnd = myNext + bytes;
    }
    // Released chunks by size (32 KB doubling to 2 MB: the sizes a pool
    // maps), at most 256 MB in all. Small chunks are kept too: every array
    // starts with them, and a slab's arrays are small.
    struct ChunkCache
    {
        static constexpr int classes = 7;
        std::mutex mutex;
        std::vector<void *> chunks[classes];
        size_t cachedBytes = 0;
        static int sizeClass(size_t bytes)
        {
            for (int c = 0; c < classes; ++c)
                if (bytes == firstChunk << c) return c;
            return -1;
        }
        bool put(void *chunk, size_t bytes)
        {
            const int c = sizeClass(bytes);
            std::lock_guard<std::mutex> guard(mutex);
            if (c < 0 || cachedBytes + bytes > (size_t(256) << 20)) return false;
            chunks[c].push_back(chunk);
            cachedBytes += bytes;
            return true;
        }
        void *take(size_t bytes)
        {
            const int c = sizeClass(bytes);
            std::lock_guard<std::mutex> guard(mutex);
            if (c < 0 || chunks[c].empty()) return nullptr;
            void *chunk = chunks[c].back();
            chunks[c].pop_back();
            cachedBytes -= bytes;
            return chunk;
        }
    };
    // The one cache of the process, defined in the host library: each
    // plug-in inlines this header with hidden visibility, and a cache of its
    // own would keep the chunks its arrays release from the next cook.
    UT_API static ChunkCache &cache();

    static void *mapChunk(size_t bytes)
    {
        if (void *reused = cache().take(bytes)) return std::memset(reused, 0, bytes);
        if (bytes == maxChunk)
            if (void *huge = mapHugeChunk()) return huge;
        void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        return p;
    }
    // A 2 MB chunk on a 2 MB boundary (a huge page backs only an aligned
    // range), advised huge and populated; null where the kernel cannot
    // populate on request (before Linux 5.14).
    static void *mapHugeChunk()
    {
#ifndef MADV_POPULATE_WRITE
        return nullptr;
#else
        const size_t span = 2 * maxChunk;
        void *raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED) throw std::bad_alloc();
        char *first = static_cast<char *>(raw);
        char *chunk = first + (maxChunk - reinterpret_cast<uintptr_t>(first) % maxChunk) % maxChunk;
        if (chunk > first) munmap(first, size_t(chunk - first));
        munmap(chunk + maxChunk, size_t(first + span - (chunk + maxChunk)));
        madvise(chunk, maxChunk, MADV_HUGEPAGE);
        if (madvise(chunk, maxChunk, MADV_POPULATE_WRITE) == 0) return chunk;
        munmap(chunk, maxChunk);
        return nullptr;
#endif
    }

    mutable std::mutex myMutex;
    std::vector<Chunk> myChunks;
    char *myNext = nullptr;
    char *myEnd = nullptr;
    size_t myMapped = 0;
};
