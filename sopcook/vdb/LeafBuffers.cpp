// SPDX-License-Identifier: Apache-2.0
#include "vdb/LeafBuffers.h"

#include <algorithm>
#include <streambuf>
#include <string>
#include <vector>

#include <tbb/parallel_pipeline.h>
#include <tbb/task_arena.h>

namespace sopcook
{
namespace
{
// A stream buffer appending to a string.
class AppendBuffer : public std::streambuf
{
public:
    explicit AppendBuffer(std::string &out) : myOut(out) {}

protected:
    int_type overflow(int_type c) override
    {
        if (!traits_type::eq_int_type(c, traits_type::eof())) myOut.push_back(traits_type::to_char_type(c));
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char *s, std::streamsize n) override
    {
        myOut.append(s, size_t(n));
        return n;
    }

private:
    std::string &myOut;
};

// The stream settings a leaf's writer reads, taken from the archive's stream
// once on the calling thread: reading a stream's settings may grow its word
// array (std::ios_base::iword), so the chunk writers must not read them from
// the shared stream while it is written.
struct LeafSettings
{
    explicit LeafSettings(std::ostream &from)
        : libraryVersion(openvdb::io::getLibraryVersion(from)), formatVersion(openvdb::io::getFormatVersion(from)),
          compression(openvdb::io::getDataCompression(from)), background(openvdb::io::getGridBackgroundValuePtr(from)),
          halfFloat(openvdb::io::getHalfFloat(from)), gridClass(openvdb::io::getGridClass(from))
    {
    }

    void applyTo(std::ostream &to) const
    {
        openvdb::io::setVersion(to, libraryVersion, formatVersion);
        openvdb::io::setDataCompression(to, compression);
        openvdb::io::setGridBackgroundValuePtr(to, background);
        openvdb::io::setHalfFloat(to, halfFloat);
        openvdb::io::setGridClass(to, gridClass);
    }

    openvdb::VersionId libraryVersion;
    uint32_t formatVersion;
    uint32_t compression;
    const void *background;
    bool halfFloat;
    uint32_t gridClass;
};

// The leaves of [begin, end) and their bytes.
struct Chunk
{
    size_t begin = 0, end = 0;
    std::string bytes;
};

// A grid writing its leaf buffers with writeLeafBuffersParallel; all else
// (type, metadata, transform, topology) is the plain grid's.
template <typename TreeT>
class ParallelLeafGrid : public openvdb::Grid<TreeT>
{
public:
    explicit ParallelLeafGrid(openvdb::Grid<TreeT> &grid) : openvdb::Grid<TreeT>(grid, openvdb::ShallowCopy()) {}
    void writeBuffers(std::ostream &os) const override
    {
        writeLeafBuffersParallel(this->tree(), os, this->saveFloatAsHalf());
    }
};

template <typename TreeT>
openvdb::GridBase::Ptr parallelLeafGrid(const openvdb::GridBase::Ptr &grid)
{
    auto typed = openvdb::GridBase::grid<openvdb::Grid<TreeT>>(grid);
    return typed ? std::make_shared<ParallelLeafGrid<TreeT>>(*typed) : nullptr;
}
} // namespace

template <typename TreeT>
void writeLeafBuffersParallel(const TreeT &tree, std::ostream &os, bool toHalf, size_t leavesPerChunk)
{
    // Tree order: the order the tree's own writer visits its leaves in.
    std::vector<const typename TreeT::LeafNodeType *> leaves;
    leaves.reserve(tree.leafCount());
    for (auto leaf = tree.cbeginLeaf(); leaf; ++leaf) leaves.push_back(leaf.getLeaf());
    leavesPerChunk = std::max<size_t>(leavesPerChunk, 1);
    size_t next = 0;
    // Two chunks a thread in flight keep the threads busy while the file
    // takes one, and the memory small.
    const size_t inFlight = size_t(2 * std::max(1, tbb::this_task_arena::max_concurrency()));
    const LeafSettings settings(os);
    tbb::parallel_pipeline(
        inFlight,
        tbb::make_filter<void, Chunk>(tbb::filter_mode::serial_in_order,
                                      [&](tbb::flow_control &fc) {
                                          Chunk chunk;
                                          if (next == leaves.size()) fc.stop();
                                          chunk.begin = next;
                                          chunk.end = next = std::min(next + leavesPerChunk, leaves.size());
                                          return chunk;
                                      }) &
            tbb::make_filter<Chunk, Chunk>(tbb::filter_mode::parallel,
                                           [&](Chunk chunk) {
                                               AppendBuffer buffer(chunk.bytes);
                                               std::ostream out(&buffer);
                                               settings.applyTo(out);
                                               for (size_t i = chunk.begin; i < chunk.end; ++i)
                                                   leaves[i]->writeBuffers(out, toHalf);
                                               return chunk;
                                           }) &
            tbb::make_filter<Chunk, void>(tbb::filter_mode::serial_in_order, [&](const Chunk &chunk) {
                // After a failed write the stream ignores the rest; the
                // caller reports the failure.
                os.write(chunk.bytes.data(), std::streamsize(chunk.bytes.size()));
            }));
}

template void writeLeafBuffersParallel(const openvdb::FloatTree &, std::ostream &, bool, size_t);
template void writeLeafBuffersParallel(const openvdb::Vec3STree &, std::ostream &, bool, size_t);

openvdb::GridPtrVec withParallelLeafWrites(const openvdb::GridPtrVec &grids)
{
    openvdb::GridPtrVec out;
    for (const openvdb::GridBase::Ptr &grid : grids)
    {
        openvdb::GridBase::Ptr parallel = parallelLeafGrid<openvdb::FloatTree>(grid);
        if (!parallel) parallel = parallelLeafGrid<openvdb::Vec3STree>(grid);
        out.push_back(parallel ? parallel : grid);
    }
    return out;
}
} // namespace sopcook
