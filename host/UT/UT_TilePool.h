#pragma once
#include <sys/mman.h>
#include <cstddef>
#include <mutex>
#include <new>
#include <vector>

// Memory for one voxel array's tiles, handed out from chunks mapped from the
// kernel (so they start zeroed) and released all at once. Chunks double from
// 32 KB up to 2 MB; 2 MB chunks are asked for as transparent huge pages, so
// a large splat costs one page fault per 2 MB instead of one per 4 KB. What
// is mapped stays within one chunk of what the tiles use.
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
    // Unmaps every chunk.
    void release()
    {
        std::lock_guard<std::mutex> guard(myMutex);
        for (const Chunk &c : myChunks) munmap(c.base, c.bytes);
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
    static constexpr size_t hugePage = size_t(2) << 20;

    struct Chunk
    {
        void *base;
        size_t bytes;
    };

    void newChunk(size_t atLeast)
    {
        size_t bytes = myChunks.empty() ? firstChunk : myChunks.back().bytes * 2;
        if (bytes > hugePage) bytes = hugePage;
        if (bytes < atLeast) bytes = (atLeast + hugePage - 1) & ~(hugePage - 1);
        void *base = mapChunk(bytes);
        myChunks.push_back({base, bytes});
        myMapped += bytes;
        myNext = static_cast<char *>(base);
        myEnd = myNext + bytes;
    }
    static void *mapChunk(size_t bytes)
    {
        if (bytes < hugePage)
        {
            void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED) throw std::bad_alloc();
            return p;
        }
        // Over-map by one huge page and trim to a 2 MB-aligned range.
        char *raw = static_cast<char *>(mmap(nullptr, bytes + hugePage, PROT_READ | PROT_WRITE,
                                             MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (raw == MAP_FAILED) throw std::bad_alloc();
        char *aligned = reinterpret_cast<char *>((reinterpret_cast<size_t>(raw) + hugePage - 1) & ~(hugePage - 1));
        if (aligned > raw) munmap(raw, size_t(aligned - raw));
        char *tail = aligned + bytes;
        if (raw + bytes + hugePage > tail) munmap(tail, size_t(raw + bytes + hugePage - tail));
#ifdef MADV_HUGEPAGE
        madvise(aligned, bytes, MADV_HUGEPAGE);
#endif
        return aligned;
    }

    mutable std::mutex myMutex;
    std::vector<Chunk> myChunks;
    char *myNext = nullptr;
    char *myEnd = nullptr;
    size_t myMapped = 0;
};
