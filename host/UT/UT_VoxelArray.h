// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>
#include "UT_TilePool.h"
#include "UT_Types.h"
#include "UT_VoxelSlab.h"

// A 3-D array of voxels stored sparsely in tiles of 16 voxels on an axis.
//
// Tiles at the array's far edges hold only the voxels inside the array (what
// is left of the resolution on that axis), so a thin array costs what its
// voxels cost. Tiles are grouped into blocks of 8^3 tiles. Blocks and tiles
// are allocated on the first write of a value other than the background, so
// memory follows the region written, not the resolution: an untouched tile
// is the one background value. Tile memory comes from the array's own pool
// (UT_TilePool). Publishing a tile is lock-free (compare-and-swap), so jobs
// that write disjoint voxels may do so concurrently, even inside one tile.
//
// Tile layout, for readers that walk tiles: getTileRes(a) tiles on axis a;
// tile (tx, ty, tz) is tileSize(0, tx) x tileSize(1, ty) x tileSize(2, tz)
// voxels, x fastest, then y, then z (voxelOffset gives a voxel's place);
// tileData gives its values, or null while the whole tile is the background
// (getBackground).
template <typename T>
class UT_VoxelArray
{
public:
    static constexpr int TILEBITS = 4;
    static constexpr int TILESIZE = 1 << TILEBITS; // voxels per tile edge
    static constexpr int TILEMASK = TILESIZE - 1;
    static constexpr int BLOCKBITS = 3;             // tiles per block edge = 8
    static constexpr int BLOCKTILES = 1 << BLOCKBITS;
    static constexpr int TILEVOXELS = TILESIZE * TILESIZE * TILESIZE;
    static constexpr int BLOCKTILECOUNT = BLOCKTILES * BLOCKTILES * BLOCKTILES;

    UT_VoxelArray() { size(1, 1, 1); }
    UT_VoxelArray(const UT_VoxelArray &o) { copyFrom(o); }
    UT_VoxelArray &operator=(const UT_VoxelArray &o)
    {
        if (this != &o) copyFrom(o);
        return *this;
    }
    ~UT_VoxelArray() { clear(); }

    // The slab the next size() keeps writes in (default: the whole array).
    void setSlab(const UT_VoxelSlab &slab) { mySlab = slab.checked(); }
    const UT_VoxelSlab &getSlab() const { return mySlab; }

    // Resizes and resets every voxel to 0; writes are kept in the slab.
    void size(int xres, int yres, int zres)
    {
        clear();
        myRes[0] = xres > 0 ? xres : 0;
        myRes[1] = yres > 0 ? yres : 0;
        myRes[2] = zres > 0 ? zres : 0;
        myBackground = T(0);
        for (int a = 0; a < 3; ++a)
        {
            myTileRes[a] = int((int64_t(myRes[a]) + TILEMASK) >> TILEBITS);
            myBlockRes[a] = (myTileRes[a] + BLOCKTILES - 1) >> BLOCKBITS;
            myEdgeTile[a] = myTileRes[a] - 1;
            myEdgeSize[a] = myRes[a] - myEdgeTile[a] * TILESIZE;
        }
        size_t nblocks = size_t(myBlockRes[0]) * myBlockRes[1] * myBlockRes[2];
        myBlocks = std::vector<std::atomic<Block *>>(nblocks);
        for (auto &b : myBlocks) b.store(nullptr, std::memory_order_relaxed);
        mySlab.range(myRes[2], TILESIZE, myWriteK[0], myWriteK[1]);
    }

    // Moves every tile of part into this array, with the memory holding
    // them, and widens the writable z range to cover part's: how the slabs of
    // one volume, cooked apart, join into one array without copying a voxel.
    // part must have this array's resolution and background and hold no
    // tile this array holds; false (and nothing moved) otherwise. part is
    // left holding only the background.
    bool takeTiles(UT_VoxelArray &part)
    {
        if (&part == this) return false;
        for (int a = 0; a < 3; ++a)
            if (part.myRes[a] != myRes[a]) return false;
        if (!(part.myBackground == myBackground)) return false;
        for (size_t i = 0; i < myBlocks.size(); ++i)
        {
            const Block *src = part.myBlocks[i].load(std::memory_order_acquire);
            const Block *dst = myBlocks[i].load(std::memory_order_acquire);
            if (!src || !dst) continue;
            for (int t = 0; t < BLOCKTILECOUNT; ++t)
                if (src->tiles[t].load(std::memory_order_acquire) && dst->tiles[t].load(std::memory_order_acquire))
                    return false;
        }
        for (size_t i = 0; i < myBlocks.size(); ++i)
        {
            Block *src = part.myBlocks[i].exchange(nullptr, std::memory_order_acq_rel);
            if (!src) continue;
            Block *dst = myBlocks[i].load(std::memory_order_acquire);
            if (!dst)
            {
                myBlocks[i].store(src, std::memory_order_release);
                continue;
            }
            for (int t = 0; t < BLOCKTILECOUNT; ++t)
                if (T *tile = src->tiles[t].load(std::memory_order_acquire)) dst->tiles[t].store(tile, std::memory_order_release);
            delete src;
        }
        myTiles.adopt(part.myTiles);
        myTilesMade.fetch_add(part.myTilesMade.exchange(0, std::memory_order_acq_rel), std::memory_order_acq_rel);
        if (part.myWriteK[0] < part.myWriteK[1])
        {
            if (myWriteK[0] >= myWriteK[1])
            {
                myWriteK[0] = part.myWriteK[0];
                myWriteK[1] = part.myWriteK[1];
            }
            myWriteK[0] = std::min(myWriteK[0], part.myWriteK[0]);
            myWriteK[1] = std::max(myWriteK[1], part.myWriteK[1]);
        }
        if (myWriteK[0] == 0 && myWriteK[1] == myRes[2]) mySlab = UT_VoxelSlab();
        return true;
    }

    int getXRes() const { return myRes[0]; }
    int getYRes() const { return myRes[1]; }
    int getZRes() const { return myRes[2]; }
    int getRes(int axis) const { return myRes[axis]; }
    int numTiles() const { return myTileRes[0] * myTileRes[1] * myTileRes[2]; }
    int getTileRes(int axis) const { return myTileRes[axis]; }
    T getBackground() const { return myBackground; }

    bool isValidIndex(int x, int y, int z) const
    {
        return x >= 0 && y >= 0 && z >= 0 && x < myRes[0] && y < myRes[1] && z < myRes[2];
    }

    // Out-of-range reads return 0.
    T getValue(int x, int y, int z) const
    {
        if (!isValidIndex(x, y, z)) return T(0);
        const T *tile = findTile(x, y, z);
        return tile ? tile[voxelOffset(x, y, z)] : myBackground;
    }

    // Writes are kept only inside the array and the z-slab it was sized in
    // (setSlab); others are dropped before any tile is allocated.
    bool isWritable(int x, int y, int z) const
    {
        return x >= 0 && y >= 0 && z >= myWriteK[0] && x < myRes[0] && y < myRes[1] && z < myWriteK[1];
    }

    // The z range [kmin, kmax) that keeps writes: the whole array, or the
    // slab it was sized in. A fill that only writes may skip the rest.
    void getWritableZ(int &kmin, int &kmax) const
    {
        kmin = myWriteK[0];
        kmax = myWriteK[1];
    }

    // Writes outside the array or its slab are ignored.
    void setValue(int x, int y, int z, T value)
    {
        if (!isWritable(x, y, z)) return;
        T *tile = findTile(x, y, z);
        if (!tile)
        {
            if (value == myBackground) return;
            tile = allocateTile(x, y, z);
        }
        tile[voxelOffset(x, y, z)] = value;
    }

    // v = op(v) for one voxel with a single tile lookup (accumulation's hot
    // path). Voxels outside the array or its slab are left alone.
    template <typename OP>
    void updateValue(int x, int y, int z, OP op)
    {
        if (!isWritable(x, y, z)) return;
        T *tile = findTile(x, y, z);
        if (!tile)
        {
            T value = op(myBackground);
            if (value == myBackground) return;
            tile = allocateTile(x, y, z);
            tile[voxelOffset(x, y, z)] = value;
            return;
        }
        T &v = tile[voxelOffset(x, y, z)];
        v = op(v);
    }

    // Row-wise access: whether row (y, z) takes writes at all, and the values
    // of row (y, z) inside the tile holding x, starting at the tile's first x
    // (index them with x & TILEMASK). tileRow is null while that tile is the
    // background; tileRowForWrite allocates it. Readers walking a row look a
    // tile up once per 16 voxels instead of once per voxel.
    bool isWritableRow(int y, int z) const
    {
        return y >= 0 && z >= myWriteK[0] && y < myRes[1] && z < myWriteK[1];
    }
    T *tileRow(int x, int y, int z) const
    {
        T *tile = findTile(x, y, z);
        return tile ? tile + rowOffset(x, y, z) : nullptr;
    }
    // Tiles allocated so far: a reader that found a tile empty needs to
    // look again only once this has changed.
    unsigned tilesMade() const { return myTilesMade.load(std::memory_order_acquire); }
    T *tileRowForWrite(int x, int y, int z)
    {
        T *tile = findTile(x, y, z);
        if (!tile) tile = allocateTile(x, y, z);
        return tile + rowOffset(x, y, z);
    }

    // Dense values of tile (tx, ty, tz), or null while it holds only the
    // background value.
    const T *tileData(int tx, int ty, int tz) const
    {
        const Block *b = myBlocks[blockIndex(tx >> BLOCKBITS, ty >> BLOCKBITS, tz >> BLOCKBITS)].load(std::memory_order_acquire);
        if (!b) return nullptr;
        return b->tiles[tileInBlock(tx, ty, tz)].load(std::memory_order_acquire);
    }
    // Voxels on axis a of the tiles with index t on that axis: 16, or what
    // is left of the resolution for the last tile.
    int tileSize(int axis, int t) const { return t == myEdgeTile[axis] ? myEdgeSize[axis] : TILESIZE; }
    int tileVoxelCount(int tx, int ty, int tz) const { return tileSize(0, tx) * tileSize(1, ty) * tileSize(2, tz); }
    // Place of voxel (x, y, z) in its tile's values.
    int voxelOffset(int x, int y, int z) const { return rowOffset(x, y, z) + (x & TILEMASK); }
    // Place of the first voxel of row (y, z) in the values of the tile
    // holding x.
    int rowOffset(int x, int y, int z) const
    {
        const int nx = tileSize(0, x >> TILEBITS), ny = tileSize(1, y >> TILEBITS);
        return ((z & TILEMASK) * ny + (y & TILEMASK)) * nx;
    }

    // Bytes held by blocks and by the memory mapped for tiles, for memory
    // reports.
    size_t memoryUsage() const
    {
        size_t bytes = sizeof(*this) + myBlocks.size() * sizeof(std::atomic<Block *>) + myTiles.mappedBytes();
        for (size_t i = 0; i < myBlocks.size(); ++i)
            if (myBlocks[i].load(std::memory_order_acquire)) bytes += sizeof(Block);
        return bytes;
    }

private:
    struct Block
    {
        Block() { for (auto &t : tiles) t.store(nullptr, std::memory_order_relaxed); }
        std::atomic<T *> tiles[BLOCKTILECOUNT];
    };

    size_t blockIndex(int bx, int by, int bz) const
    {
        return (size_t(bz) * myBlockRes[1] + by) * myBlockRes[0] + bx;
    }
    // Voxels of tile t (tileInBlock order) of block b (blockIndex order).
    int tileVoxelCount(size_t b, int t) const
    {
        const int bx = int(b % size_t(myBlockRes[0])), by = int(b / size_t(myBlockRes[0]) % size_t(myBlockRes[1])),
                  bz = int(b / (size_t(myBlockRes[0]) * myBlockRes[1]));
        const int m = BLOCKTILES - 1;
        return tileVoxelCount((bx << BLOCKBITS) | (t & m), (by << BLOCKBITS) | ((t >> BLOCKBITS) & m),
                              (bz << BLOCKBITS) | (t >> (2 * BLOCKBITS)));
    }
    static int tileInBlock(int tx, int ty, int tz)
    {
        const int m = BLOCKTILES - 1;
        return ((tz & m) << (2 * BLOCKBITS)) | ((ty & m) << BLOCKBITS) | (tx & m);
    }
    T *findTile(int x, int y, int z) const
    {
        int tx = x >> TILEBITS, ty = y >> TILEBITS, tz = z >> TILEBITS;
        Block *b = myBlocks[blockIndex(tx >> BLOCKBITS, ty >> BLOCKBITS, tz >> BLOCKBITS)].load(std::memory_order_acquire);
        if (!b) return nullptr;
        return b->tiles[tileInBlock(tx, ty, tz)].load(std::memory_order_acquire);
    }
    T *allocateTile(int x, int y, int z)
    {
        int tx = x >> TILEBITS, ty = y >> TILEBITS, tz = z >> TILEBITS;
        std::atomic<Block *> &slot = myBlocks[blockIndex(tx >> BLOCKBITS, ty >> BLOCKBITS, tz >> BLOCKBITS)];
        Block *b = slot.load(std::memory_order_acquire);
        if (!b)
        {
            Block *fresh = new Block;
            if (slot.compare_exchange_strong(b, fresh, std::memory_order_acq_rel))
                b = fresh;
            else
                delete fresh; // another job won; b now holds its block
        }
        std::atomic<T *> &tslot = b->tiles[tileInBlock(tx, ty, tz)];
        T *tile = tslot.load(std::memory_order_acquire);
        if (!tile)
        {
            const int count = tileVoxelCount(tx, ty, tz);
            T *fresh = newTile(count);
            if (myBackground != T(0))
                for (int i = 0; i < count; ++i) fresh[i] = myBackground;
            // A losing job's tile stays unused in the pool until the array
            // is cleared.
            if (tslot.compare_exchange_strong(tile, fresh, std::memory_order_acq_rel))
            {
                tile = fresh;
                myTilesMade.fetch_add(1, std::memory_order_acq_rel);
            }
        }
        return tile;
    }
    // Zeroed memory for count voxels (T is a plain number type).
    T *newTile(int count) { return static_cast<T *>(myTiles.allocate(size_t(count) * sizeof(T))); }
    void clear()
    {
        for (auto &ab : myBlocks)
        {
            Block *b = ab.load(std::memory_order_acquire);
            if (!b) continue;
            delete b;
        }
        myBlocks.clear();
        myTiles.release();
    }
    void copyFrom(const UT_VoxelArray &o)
    {
        mySlab = o.mySlab;
        size(o.myRes[0], o.myRes[1], o.myRes[2]);
        myBackground = o.myBackground;
        myWriteK[0] = o.myWriteK[0];
        myWriteK[1] = o.myWriteK[1];
        for (size_t i = 0; i < o.myBlocks.size(); ++i)
        {
            const Block *src = o.myBlocks[i].load(std::memory_order_acquire);
            if (!src) continue;
            Block *dst = new Block;
            for (int t = 0; t < BLOCKTILECOUNT; ++t)
            {
                const T *st = src->tiles[t].load(std::memory_order_acquire);
                if (!st) continue;
                const int count = tileVoxelCount(i, t);
                T *dt = newTile(count);
                std::copy(st, st + count, dt);
                dst->tiles[t].store(dt, std::memory_order_relaxed);
            }
            myBlocks[i].store(dst, std::memory_order_release);
        }
    }

    int myRes[3] = {0, 0, 0};
    int myTileRes[3] = {0, 0, 0};
    int myBlockRes[3] = {0, 0, 0};
    UT_VoxelSlab mySlab;      // what size() keeps writes in
    int myWriteK[2] = {0, 0}; // z range writes are kept in
    int myEdgeTile[3] = {0, 0, 0}; // index of the last tile on each axis
    int myEdgeSize[3] = {0, 0, 0}; // its voxels on that axis
    T myBackground = T(0);
    std::vector<std::atomic<Block *>> myBlocks;
    UT_TilePool myTiles;
    std::atomic<unsigned> myTilesMade{0};
};

typedef UT_VoxelArray<fpreal32> UT_VoxelArrayF;

// Copy-on-write handle: copies share the array; the volume that hands it out
// has already made the array its own.
template <typename ARRAY>
class UT_COWWriteHandle
{
public:
    UT_COWWriteHandle() = default;
    explicit UT_COWWriteHandle(std::shared_ptr<ARRAY> array) : myArray(std::move(array)) {}
    ARRAY *operator->() const { return myArray.get(); }
    ARRAY &operator*() const { return *myArray; }
    ARRAY *get() const { return myArray.get(); }
    bool isValid() const { return bool(myArray); }
    void resetHandle() { myArray.reset(); }

private:
    std::shared_ptr<ARRAY> myArray;
};

typedef UT_COWWriteHandle<UT_VoxelArray<fpreal32>> UT_VoxelArrayWriteHandleF;
