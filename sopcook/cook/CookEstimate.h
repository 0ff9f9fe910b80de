// SPDX-License-Identifier: Apache-2.0
#pragma once
// What a cook will cost, estimated before cooking from the operator's
// parameters and its input, so that `sopcook cook` can refuse a cook that
// cannot finish on this machine instead of swapping, being killed or running
// for weeks, and `--estimate` (or a farm sizing its tasks) can show it. The
// estimate is deliberately rough and generous: it refuses only cooks far
// beyond any machine's reach, never an ordinary one.
//
// Each operator states its own cost model in its traits (OperatorTraits.h,
// CostModel.h and the family's *Traits.h): volumes, work terms and interrupt
// polls. An operator without one gets the default: the grid of its "divs" parameter
// with 7 volumes (as many as any operator of the suite makes) and no work
// besides the writer's pass; the estimate says so (modelled is false).
//
// Memory: each volume is stored in tiles of up to 16^3 floats (the tiles at
// the grid's far faces hold only the voxels inside), indexed by blocks of
// 8^3 tiles at 8 bytes a block that exist even when the volume stays empty.
// The operators give no useful bound on how much of the grid they fill (a
// large radius fills all of it), so the memory figure is that of every voxel
// of every volume holding a value, plus what the cook holds besides (decoded
// pictures).
//
// Work: counted in noise lookups and voxel visits at rough single-core costs
// (CostModel.h), the least at a fast core's rates, the most at a slow one's.
// Given the input and the planned box, a model measures each element's reach
// in voxels (CostReach.h); without them the least work counts only what the
// cook cannot skip and the most lets every per-element reach span the grid.
//
// A cook is refused when every voxel stored would not fit the machine's
// memory, when its least work exceeds 10 minutes, or when its most work
// exceeds a year; a cook whose most work alone exceeds 10 minutes is warned
// about before it starts.
#include <cstdint>
#include <string>
#include "GU/GU_Detail.h"
#include "OP/OP_Node.h"
#include "OP/OP_Operator.h"
#include "SystemMemory.h"
#include "cook/DoorWording.h"
#include "cook/VolumeBox.h"

namespace sopcook
{
struct CookEstimate
{
    std::string op;
    bool modelled = false;   // the operator has a cost model (else the default)
    std::string problem;     // an input the cook cannot read (an image file), else empty
    std::string warningFailure; // set when the operator's node warning means it could not read its input
    std::string grid;        // what sizes the grid: "divs=64,64,64" or "giffile=... (W x H pixels, F frames)"
    double voxels = 0;       // per volume
    double tiles = 0;        // 16^3 tiles per volume
    double zTiles = 0;       // of them along z
    int volumes = 0;
    double indexBytes = 0;   // allocated even when nothing is written
    double fullBytes = 0;    // every voxel of every volume stored, plus what the cook holds besides
    double leastSeconds = 0; // work the cook cannot skip, on one core
    std::string leastWork;   // its largest term, with the parameters behind it
    double mostSeconds = 0;  // work when every reach spans the grid
    std::string mostWork;
    double polls = 0;        // interrupt polls of a whole cook; 0 when not counted ahead
    std::string pollsOf;     // what a poll follows ("children", "points", ...)
    bool stopsEarly = true;  // false: the operator never polls and runs to the end
};

// The estimate for a node whose parameters are set, cooked at time on input
// geometry (null when none) into the volumes' planned box (null when not
// planned), against which the operator's model measures each element's reach.
CookEstimate estimateCook(const OP_Operator &op, const OP_Node &node, fpreal time, const GU_Detail *input,
                          const VolumeBox *box = nullptr);

// Whether the operator states a cost model (else the estimate is the default).
bool hasCostModel(const OP_Operator &op);

// Why the cook is refused, one line ending in the door's way to force it;
// empty when it fits.
std::string refusal(const CookEstimate &estimate, double memoryBytes, const DoorWording &door = commandLineWording());

// One warning line when only the most work exceeds 10 minutes, saying how
// the door stops it; empty otherwise (a longer least work is a refusal).
std::string longCookWarning(const CookEstimate &estimate, const DoorWording &door = commandLineWording());

// The estimate as lines for a person (`sopcook cook --estimate`).
std::string estimateText(const CookEstimate &estimate, double memoryBytes);

// "976.6 MB", with as many more digits as it takes to tell it from other
// when both would read the same.
std::string bytesText(double bytes, double other = -1);
} // namespace sopcook
