#pragma once
// What a cook will cost, estimated before cooking from the operator's
// parameters and its input, so that `sopcook cook` can refuse a cook that
// cannot finish on this machine instead of swapping, being killed or running
// for weeks. The estimate is deliberately rough and generous: it refuses only
// cooks far beyond any machine's reach, never an ordinary one.
//
// Memory: each volume is stored in 16^3 tiles of floats, indexed by blocks of
// 8^3 tiles at 8 bytes a block that exist even when the volume stays empty.
// The operators give no useful bound on how much of the grid they fill (a
// large radius fills all of it), so the memory figure is that of every voxel
// of every volume holding a value.
//
// Work: counted in noise lookups (one per octave, plus the base lookup) and
// voxel visits, at rough single-core costs (25 ns and 5 ns). The least work
// counts only what the cook cannot skip (children and their noise, splat
// cubes, the writer's pass over the tiles); the most work lets every
// per-element reach (feather spheres, streaks, curve and ball reach) span the
// whole grid.
//
// A cook is refused when every voxel stored would not fit the machine's
// memory, when its least work exceeds a day, or when its most work exceeds a
// year.
#include <cstdint>
#include <string>
#include "GU/GU_Detail.h"
#include "OP/OP_Node.h"
#include "OP/OP_Operator.h"

namespace sopcook
{
struct CookEstimate
{
    std::string grid;        // what sizes the grid: "divs=64,64,64" or "giffile=... (W x H)"
    double voxels = 0;       // per volume
    double tiles = 0;        // 16^3 tiles per volume
    double zTiles = 0;       // of them along z
    int volumes = 0;
    double indexBytes = 0;   // allocated even when nothing is written
    double fullBytes = 0;    // every voxel of every volume stored
    double leastSeconds = 0; // work the cook cannot skip
    std::string leastWork;   // its largest term, with the parameters behind it
    double mostSeconds = 0;  // work when every reach spans the grid
    std::string mostWork;
};

// The estimate for a node whose parameters are set, cooked at time on input
// geometry (null when none).
CookEstimate estimateCook(const OP_Operator &op, const OP_Node &node, fpreal time, const GU_Detail *input);

// The memory this process can have: physical memory, or less under an
// address-space limit.
double availableMemoryBytes();

// Why the cook is refused, one line ending in the --force hint; empty when it
// fits.
std::string refusal(const CookEstimate &estimate, double memoryBytes);
} // namespace sopcook
