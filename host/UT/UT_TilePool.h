#pragma once
#include <sys/mman.h>
#include <cstddef>
#include <mutex>
#include <new>
#include <vector>

// Memory for one voxel array's tiles, handed out from chunks mapped from the
// kernel (so they start zeroed: a tile of background 0 needs no fill) and
// released all at once. Chunks double from 32 KB up to 2 MB, so what is
// mapped stays within one chunk of what the tiles use. Chunks are not asked
// for as transparent huge pages: measured, the kernel's zeroing of each
// fresh 2 MB page cost more than the 4 KB page faults it saves.
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
    static void *mapChunk(size_t bytes)
    {
        void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        return p;
    }

    mutable std::mutex myMutex;
    std::vector<Chunk> myChunks;
    char *myNext = nullptr;
    char *myEnd = nullptr;
    size_t myMapped = 0;
};
