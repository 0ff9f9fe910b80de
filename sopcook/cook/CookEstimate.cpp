// SPDX-License-Identifier: Apache-2.0
#include "cook/CookEstimate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "OperatorTraits.h"
#include "UT/UT_VoxelArray.h"

namespace sopcook
{
namespace
{
// A cook whose least work exceeds this is refused unless forced; one whose
// most work exceeds it is said before it starts.
constexpr double longLimit = 600.0;
constexpr double yearLimit = 365.0 * 86400.0;
// Volumes of an operator without a cost model: as many as any operator makes.
constexpr int defaultVolumes = 7;

// The model the operator states in its traits, or null.
cost::Model costModel(const OP_Operator &op)
{
    const traits::OperatorTraits *t = traits::operatorTraits(op);
    return t ? t->cost : nullptr;
}

std::string formatBytes(double b, int digits)
{
    const char *units[] = {"bytes", "KB", "MB", "GB", "TB", "PB", "EB"};
    int u = 0;
    while (b >= 1024.0 && u < 6)
    {
        b /= 1024.0;
        ++u;
    }
    char buf[48];
    if (u == 0) std::snprintf(buf, sizeof(buf), "%.0f %s", b, units[u]);
    else if (b < 1e4) std::snprintf(buf, sizeof(buf), "%.*f %s", digits, b, units[u]);
    else std::snprintf(buf, sizeof(buf), "%.*g %s", digits + 2, b, units[u]);
    return buf;
}

std::string durationText(double s)
{
    char buf[48];
    if (s < 0.01) std::snprintf(buf, sizeof(buf), "under 0.01 seconds");
    else if (s < 60) std::snprintf(buf, sizeof(buf), "%.2g seconds", s);
    else if (s < 3600) std::snprintf(buf, sizeof(buf), "%.0f minutes", s / 60);
    else if (s < 2 * 86400) std::snprintf(buf, sizeof(buf), "%.1f hours", s / 3600);
    else if (s < yearLimit) std::snprintf(buf, sizeof(buf), "%.0f days", s / 86400);
    else std::snprintf(buf, sizeof(buf), "%.3g years", s / yearLimit);
    return buf;
}

// The box as the models measure in it; unknown unless every voxel has a
// finite size.
cost::Placement placementOf(const VolumeBox *box)
{
    cost::Placement g;
    if (!box || !box->known) return g;
    g.known = true;
    for (int a = 0; a < 3; ++a)
    {
        g.res[a] = box->res[a];
        g.voxel[a] = box->voxelSize(a);
        g.lower[a] = box->centre[a] - 0.5 * box->size[a];
        g.reachVoxel[a] = box->inputSize[a] / box->res[a];
        g.known = g.known && g.voxel[a] > 0 && std::isfinite(g.voxel[a]) && std::isfinite(g.lower[a]);
    }
    return g;
}

cost::InputCounts countInput(const GU_Detail *gdp, const VolumeBox *box)
{
    cost::InputCounts c;
    if (!gdp) return c;
    c.geometry = gdp;
    c.placement = placementOf(box);
    c.points = double(gdp->getNumPoints());
    c.prims = double(gdp->getNumPrimitives());
    for (GA_Offset p = 0; p < GA_Offset(gdp->getNumPrimitives()); ++p)
    {
        GA_Size n = gdp->getPrimitive(p)->getVertexCount();
        if (n == 4) c.quads += 1;
        c.segments += double(n); // closed curves have as many segments as vertices
    }
    return c;
}

// The grid of the "divs" parameter as the cook takes it: negative and
// below-2 counts are 2.
cost::Grid divsGrid(const cost::Parms &p)
{
    cost::Grid g;
    if (!p.node.hasParm("divs")) return g;
    for (int a = 0; a < 3; ++a) g.res[a] = std::max(p.integer("divs", a), 2);
    g.text = "divs=" + cost::number(g.res[0]) + "," + cost::number(g.res[1]) + "," + cost::number(g.res[2]);
    g.known = true;
    return g;
}

// The operator's own model, or the default.
cost::OperatorCost modelCost(const OP_Operator &op, const cost::Parms &p, const cost::InputCounts &in, bool &modelled)
{
    cost::OperatorCost c;
    c.grid = divsGrid(p);
    cost::Model model = costModel(op);
    modelled = model != nullptr;
    if (modelled) model(p, in, c);
    else c.volumes = defaultVolumes;
    return c;
}

// Memory of the volumes on the grid: their block index, the blocks' tile
// tables once written, and the tiles, which hold only the voxels inside the
// grid, in chunks of up to 2 MB a volume (one partly used).
void sizeGrid(CookEstimate &e, const cost::OperatorCost &c)
{
    const double T = UT_VoxelArrayF::TILESIZE, B = UT_VoxelArrayF::BLOCKTILES;
    const double blockTableBytes = double(UT_VoxelArrayF::BLOCKTILECOUNT) * sizeof(float *);
    const double chunkBytes = double(2 << 20);
    double tiles = 1, blocks = 1;
    for (int a = 0; a < 3; ++a)
    {
        double t = std::ceil(c.grid.res[a] / T);
        tiles *= t;
        blocks *= std::ceil(t / B);
    }
    e.grid = c.grid.text;
    e.voxels = c.grid.voxels();
    e.tiles = tiles;
    e.zTiles = std::ceil(c.grid.res[2] / T);
    e.indexBytes = double(e.volumes) * blocks * 8.0;
    e.fullBytes = e.indexBytes +
                  double(e.volumes) * (blocks * blockTableBytes + e.voxels * sizeof(float) + chunkBytes) + c.heldBytes;
    if (c.filled) e.indexBytes = e.fullBytes; // every voxel is written
}

// Totals of the model's work with the writer's pass over the volumes: every
// tile of every volume, and every voxel of the tiles that were written.
void addWork(CookEstimate &e, cost::OperatorCost &c)
{
    c.least.add(e.volumes * e.tiles, cost::copy.fast, e.grid + " tiles written");
    c.most.add(e.volumes * e.voxels, cost::copy.slow, e.grid + " x " + std::to_string(e.volumes) + " volumes made");
    const double written = c.writesAtMost >= 0 && !c.filled ? std::min(c.writesAtMost, e.voxels) : e.voxels;
    c.most.add(e.volumes * written, cost::copy.slow,
               (written < e.voxels ? cost::number(written) + " voxels" : e.grid) + " x " + std::to_string(e.volumes) +
                   " volumes written");
    e.leastSeconds = c.least.seconds;
    e.leastWork = c.least.what;
    e.mostSeconds = std::max(c.most.seconds, c.least.seconds);
    e.mostWork = c.most.seconds >= c.least.seconds ? c.most.what : c.least.what;
}
} // namespace

bool hasCostModel(const OP_Operator &op) { return costModel(op) != nullptr; }

CookEstimate estimateCook(const OP_Operator &op, const OP_Node &node, fpreal time, const GU_Detail *input,
                          const VolumeBox *box)
{
    CookEstimate e;
    e.op = op.getName();
    cost::OperatorCost c = modelCost(op, cost::Parms{node, time}, countInput(input, box), e.modelled);
    e.problem = c.problem;
    e.warningFailure = c.warningFailure;
    e.volumes = c.volumes;
    e.polls = c.polls;
    e.pollsOf = c.pollsOf;
    e.stopsEarly = c.stopsEarly;
    if (!c.grid.known) return e;
    sizeGrid(e, c);
    addWork(e, c);
    return e;
}

std::string bytesText(double bytes, double other)
{
    int digits = 1;
    while (digits < 6 && other >= 0 && bytes != other && formatBytes(bytes, digits) == formatBytes(other, digits)) ++digits;
    return formatBytes(bytes, digits);
}

std::string refusal(const CookEstimate &e, double memoryBytes, const DoorWording &door)
{
    const std::string force = " (" + door.force + ")";
    if (e.fullBytes > memoryBytes)
        return e.grid + ": " + std::to_string(e.volumes) + (e.volumes == 1 ? " volume" : " volumes") + " of " +
               cost::number(e.voxels) + " voxels take up to " + bytesText(e.fullBytes, memoryBytes) + " when filled (" +
               bytesText(e.indexBytes) + " even when empty), more than the " + bytesText(memoryBytes, e.fullBytes) +
               " of memory available" + force;
    if (e.leastSeconds > longLimit)
        return "a long cook: " + e.leastWork + ", at least " + durationText(e.leastSeconds) + " (up to " +
               durationText(e.mostSeconds) + ") of computing on one core" + force;
    if (e.mostSeconds > yearLimit)
        return "too much work: " + e.mostWork + ", up to " + durationText(e.mostSeconds) + " of computing" + force;
    return "";
}

std::string longCookWarning(const CookEstimate &e, const DoorWording &door)
{
    if (e.leastSeconds > longLimit || e.mostSeconds <= longLimit) return "";
    return "this cook may be long: " + e.mostWork + ", up to " + durationText(e.mostSeconds) + " (at least " +
           durationText(e.leastSeconds) + ") of computing on one core; " +
           (e.stopsEarly ? door.stopsEarly : e.op + door.cannotStop);
}

std::string estimateText(const CookEstimate &e, double memoryBytes)
{
    std::string t = e.op + (e.modelled ? "" : " (no cost model: the default of " + std::to_string(defaultVolumes) +
                                                  " volumes on its divs grid, work unknown)") + "\n";
    if (!e.problem.empty()) return t + "  input:   " + e.problem + "\n";
    if (e.grid.empty()) return t + "  grid:    unknown (the operator has no divs parameter)\n";
    t += "  grid:    " + e.grid + ", " + std::to_string(e.volumes) + (e.volumes == 1 ? " volume" : " volumes") +
         " of " + cost::number(e.voxels) + " voxels\n";
    t += "  memory:  up to " + bytesText(e.fullBytes, memoryBytes) + " (" + bytesText(e.indexBytes) +
         " even when empty) of " + bytesText(memoryBytes, e.fullBytes) + " available\n";
    t += "  time:    " + durationText(e.leastSeconds) + " to " + durationText(e.mostSeconds) +
         " on one core at the operators' measured rates\n";
    t += "  largest: " + e.mostWork + "\n";
    if (!e.stopsEarly) t += "  stops:   never early; a cook runs to the end\n";
    else if (e.polls > 0) t += "  progress: " + cost::number(e.polls) + " " + e.pollsOf + "\n";
    std::string why = refusal(e, memoryBytes);
    std::string verdict = why.empty() ? "fits this machine" : "refused: " + why;
    if (why.empty() && !longCookWarning(e).empty()) verdict += "; may run up to " + durationText(e.mostSeconds);
    t += "  verdict: " + verdict + "\n";
    return t;
}
} // namespace sopcook
