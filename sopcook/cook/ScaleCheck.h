// SPDX-License-Identifier: Apache-2.0
#pragma once
// Sizes that make a cook come out (nearly) empty, said with their numbers:
// before the cook, radii far below a voxel and an extendbounds larger than
// the input itself; after it, a cook that wrote a sliver of the voxels its
// points could reach.
#include <cstdint>
#include <string>
#include <vector>
#include "cook/DoorWording.h"
#include "cook/VolumeBox.h"

namespace sopcook
{
struct ScaleCheck
{
    std::string radiusName;   // the attribute read as each point's reach
    double medianRadius = 0;  // over the finite points
    double reachVoxels = 0;   // voxels within the points' box grown by the largest radius; 0 when unknown
};

// Warnings about the radii of points (input 0, by the operator's radius
// parameter) and about extendbounds against box; the figures the check
// after the cook needs. The fixes are spelled as the door spells options.
ScaleCheck checkScale(const OP_Node &node, fpreal time, const VolumeBox &box, const GU_Detail *points,
                      std::vector<std::string> &warnings, const DoorWording &wording = commandLineWording());

// A warning when the cook of op wrote active voxels to output, fewer than 1%
// of those its points could reach.
void checkCoverage(const ScaleCheck &scale, const VolumeBox &box, const std::string &op, uint64_t active,
                   const std::string &output, std::vector<std::string> &warnings);
} // namespace sopcook
