// SPDX-License-Identifier: Apache-2.0
#include "vdb/Resample.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#include <openvdb/tools/GridTransformer.h>
#include <openvdb/tools/Prune.h>

#include "NumberText.h"

namespace sopcook
{
namespace
{
const double maxVoxels = 1e9; // per grid: 4 GB of floats

std::string number(double v) { return numberText(v, 4); }

std::string bytes(double b)
{
    const char *units[] = {"bytes", "KB", "MB", "GB", "TB", "PB"};
    int u = 0;
    while (b >= 1000 && u < 5) b /= 1000, ++u;
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%.3g %s", b, units[u]);
    return buf;
}

// Calls f(index box, active voxels) for each leaf and each active tile of
// grid: the pieces OpenVDB's resampler visits one by one.
template <typename F> void forEachPiece(const openvdb::GridBase &grid, F &&f)
{
    auto visit = [&](const auto &typed) {
        for (auto leaf = typed.tree().cbeginLeaf(); leaf; ++leaf)
            f(openvdb::CoordBBox(leaf->origin(), leaf->origin() + openvdb::Coord(leaf->dim() - 1)),
              double(leaf->onVoxelCount()));
        auto tile = typed.tree().cbeginValueOn();
        tile.setMaxDepth(tile.getLeafDepth() - 1);
        for (; tile; ++tile)
            if (tile.isTileValue())
            {
                openvdb::CoordBBox box;
                tile.getBoundingBox(box);
                f(box, double(tile.getVoxelCount()));
            }
    };
    if (auto g = dynamic_cast<const openvdb::FloatGrid *>(&grid)) visit(*g);
    else if (auto v = dynamic_cast<const openvdb::Vec3SGrid *>(&grid)) visit(*v);
}

// The cube edge of a voxel of edges e: e[0] itself when they are all equal,
// so cubic voxels keep their size to the last bit.
double cubeEdge(const openvdb::Vec3d &e)
{
    if (e[0] == e[1] && e[1] == e[2]) return e[0];
    return std::cbrt(e[0] * e[1] * e[2]);
}

// The transform of a grid already of cubic voxels of edge voxelSize, axis
// aligned: its lattice becomes the target, so such grids are copied exactly
// instead of interpolated half a voxel off.
openvdb::math::Transform::Ptr alignedTarget(const openvdb::GridPtrVec &grids, double voxelSize)
{
    for (const openvdb::GridBase::Ptr &g : grids)
    {
        const openvdb::math::MapBase &map = *g->transform().baseMap();
        if (!map.isType<openvdb::math::UniformScaleTranslateMap>() && !map.isType<openvdb::math::UniformScaleMap>())
            continue;
        if (g->transform().voxelSize()[0] == voxelSize) return g->transform().copy();
    }
    return openvdb::math::Transform::createLinearTransform(voxelSize);
}

// The output index box OpenVDB's resampler visits for the input index box
// `box`: its corners taken to the target, widened by the box sampler's
// reach of one voxel.
openvdb::BBoxd targetBox(const openvdb::math::Transform &from, const openvdb::math::Transform &to,
                         const openvdb::CoordBBox &box)
{
    openvdb::BBoxd out;
    for (int i = 0; i < 8; ++i)
    {
        openvdb::Vec3d corner(i & 1 ? box.max().x() + 1 : box.min().x(), i & 2 ? box.max().y() + 1 : box.min().y(),
                              i & 4 ? box.max().z() + 1 : box.min().z());
        out.expand(to.worldToIndex(from.indexToWorld(corner)));
    }
    for (int a = 0; a < 3; ++a)
    {
        out.min()[a] = std::floor(out.min()[a]) - 1;
        out.max()[a] = std::ceil(out.max()[a]) + 1;
    }
    return out;
}

double boxVoxels(const openvdb::BBoxd &b)
{
    double n = 1;
    for (int a = 0; a < 3; ++a) n *= b.max()[a] - b.min()[a] + 1;
    return n;
}

double valueBytes(const openvdb::GridBase &g)
{
    // The value, plus a leaf's masks and the tree above it per voxel.
    return (g.isType<openvdb::Vec3SGrid>() ? 12.0 : 4.0) + 0.5;
}

// OpenVDB's interrupter interface over the caller's monitor; polled from
// every resampling thread, it stays stopped once asked.
class MonitorInterrupter
{
public:
    explicit MonitorInterrupter(ResampleMonitor *monitor) : myMonitor(monitor) {}
    void start(const char * = nullptr) {}
    void end() {}
    bool wasInterrupted(int = -1)
    {
        if (myStopped.load(std::memory_order_relaxed)) return true;
        if (myMonitor && myMonitor->poll()) myStopped.store(true);
        return myStopped.load(std::memory_order_relaxed);
    }
    bool stopped() const { return myStopped.load(); }

private:
    ResampleMonitor *myMonitor;
    std::atomic<bool> myStopped{false};
};

// Calls the monitor's end() however the resample leaves.
struct MonitorScope
{
    ResampleMonitor *monitor;
    MonitorScope(ResampleMonitor *m, double polls) : monitor(m)
    {
        if (monitor) monitor->begin(polls);
    }
    ~MonitorScope()
    {
        if (monitor) monitor->end();
    }
};

template <typename GridT>
openvdb::GridBase::Ptr resampled(const GridT &in, const openvdb::math::Transform::Ptr &target,
                                 MonitorInterrupter &interrupter)
{
    if (in.transform() == *target) return in.deepCopyGrid();
    typename GridT::Ptr out = in.copyWithNewTree();
    out->setTransform(target->copy());
    out->removeMeta("resolution");
    if (in.activeVoxelCount() > 0)
    {
        openvdb::tools::resampleToMatch<openvdb::tools::BoxSampler>(in, *out, interrupter);
        if (interrupter.stopped()) throw ResampleInterrupted("interrupted while resampling grid '" + in.getName() + "'");
        openvdb::tools::pruneInactive(out->tree());
    }
    return out;
}

bool fits(const ResampleCost &c, double memoryBytes)
{
    return c.largestGrid <= maxVoxels && (memoryBytes <= 0 || c.bytes <= memoryBytes);
}

// Refuses an output too big to hold, with the estimate and a voxel size
// that fits in half the memory (found by growing the size until it does).
void checkSize(const openvdb::GridPtrVec &grids, const ResampleOptions &options, double voxelSize,
               const ResampleCost &cost)
{
    if (fits(cost, options.memoryBytes)) return;
    const double roomBytes = options.memoryBytes / 2, roomVoxels = maxVoxels / 10;
    double ratio = cost.largestGrid / roomVoxels;
    if (options.memoryBytes > 0) ratio = std::max(ratio, cost.bytes / roomBytes);
    double fitting = std::max(voxelSize * std::cbrt(std::max(ratio, 1.0)), 2e-5);
    for (int i = 0; i < 40; ++i)
    {
        ResampleCost c = resampleCost(grids, fitting);
        if (c.largestGrid <= roomVoxels && (options.memoryBytes <= 0 || c.bytes <= roomBytes)) break;
        fitting *= 1.25;
    }
    const ResampleWording &w = options.wording;
    std::string what = options.voxelSize > 0 && !w.sized.empty() ? w.sized + number(voxelSize)
                                                                 : w.uniform + " (voxel size " + number(voxelSize) + ")";
    std::string why = cost.largestGrid > maxVoxels
                          ? "more than the billion one grid may hold"
                          : "more than the " + bytes(options.memoryBytes) + " of memory free";
    std::string fix = w.sized.empty() ? w.instead : "use a larger voxel size, such as " + w.sized + number(fitting);
    throw Error(what + ": the resampled grids would need about " + number(cost.voxels) + " voxels (" +
                bytes(cost.bytes) + "), " + why + "; " + fix);
}
} // namespace

double typicalVoxelEdge(const openvdb::GridPtrVec &grids)
{
    double logSum = 0, weight = 0, smallest = 0, largest = 0;
    for (const openvdb::GridBase::Ptr &g : grids)
    {
        const openvdb::math::Transform &xf = g->transform();
        forEachPiece(*g, [&](const openvdb::CoordBBox &box, double active) {
            if (active <= 0) return;
            double edge = cubeEdge(xf.voxelSize(box.getCenter()));
            if (!(edge > 0) || !std::isfinite(edge)) return;
            logSum += active * std::log(edge);
            weight += active;
            smallest = smallest == 0 ? edge : std::min(smallest, edge);
            largest = std::max(largest, edge);
        });
    }
    if (weight == 0) return 0;
    if (smallest == largest) return smallest;
    return std::exp(logSum / weight);
}

ResampleCost resampleCost(const openvdb::GridPtrVec &grids, double voxelSize)
{
    ResampleCost cost;
    openvdb::math::Transform::Ptr target = alignedTarget(grids, voxelSize);
    for (const openvdb::GridBase::Ptr &g : grids)
    {
        if (g->activeVoxelCount() == 0 || g->transform() == *target) continue;
        double visited = 0;
        openvdb::BBoxd all;
        forEachPiece(*g, [&](const openvdb::CoordBBox &box, double) {
            openvdb::BBoxd b = targetBox(g->transform(), *target, box);
            double rows = b.max()[0] - b.min()[0] + 1;
            cost.polls += 1 + rows * (b.max()[1] - b.min()[1] + 2);
            visited += boxVoxels(b);
            all.expand(b);
        });
        // Neighbouring leaves' boxes overlap; the whole box bounds them.
        double voxels = std::min(visited, boxVoxels(all));
        cost.voxels += voxels;
        cost.largestGrid = std::max(cost.largestGrid, voxels);
        cost.bytes += voxels * valueBytes(*g);
    }
    return cost;
}

openvdb::GridPtrVec resampleUniform(const openvdb::GridPtrVec &grids, const ResampleOptions &options)
{
    double voxelSize = options.voxelSize > 0 ? options.voxelSize : typicalVoxelEdge(grids);
    if (voxelSize <= 0) voxelSize = grids.empty() ? 1.0 : grids.front()->transform().voxelSize().length() / std::sqrt(3.0);
    for (const openvdb::GridBase::Ptr &g : grids)
        if (!g->isType<openvdb::FloatGrid>() && !g->isType<openvdb::Vec3SGrid>())
            throw Error(options.wording.option + ": grid '" + g->getName() + "' is of type " + g->valueType() + ", which sopcook does not resample");
    // OpenVDB's linear maps refuse a voxel volume below 3e-15: a smaller
    // size is costed at that limit, scaled.
    const double smallestSize = 2e-5;
    ResampleCost cost = resampleCost(grids, std::max(voxelSize, smallestSize));
    if (voxelSize < smallestSize)
    {
        double scale = std::pow(smallestSize / voxelSize, 3);
        cost.voxels *= scale, cost.largestGrid *= scale, cost.bytes *= scale;
    }
    checkSize(grids, options, voxelSize, cost);
    if (voxelSize < smallestSize)
        throw Error((options.wording.sized.empty() ? options.wording.uniform + " (voxel size " + number(voxelSize) + ")"
                                                   : options.wording.sized + number(voxelSize)) +
                    ": OpenVDB needs voxels of at least 2e-05");
    openvdb::math::Transform::Ptr target = alignedTarget(grids, voxelSize);
    MonitorScope scope(options.monitor, cost.polls);
    MonitorInterrupter interrupter(options.monitor);
    openvdb::GridPtrVec out;
    for (const openvdb::GridBase::Ptr &g : grids)
    {
        if (auto f = openvdb::GridBase::grid<openvdb::FloatGrid>(g))
            out.push_back(resampled(*f, target, interrupter));
        else if (auto v = openvdb::GridBase::grid<openvdb::Vec3SGrid>(g))
            out.push_back(resampled(*v, target, interrupter));
    }
    return out;
}
} // namespace sopcook
