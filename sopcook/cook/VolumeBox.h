// SPDX-License-Identifier: Apache-2.0
#pragma once
// The box (and camera frustum) an operator will place its volumes in,
// worked out from its parameters and inputs before the cook, the way the
// cook itself does it: the bounding box of the points (or of the second
// input), grown by "extendbounds" only when it comes from the points, over
// the "divs" grid. A placement the volume file cannot hold is refused here
// instead of after the whole cook, and a frustum that is asked for but will
// not be built is said.
#include <string>
#include <vector>
#include "GU/GU_Detail.h"
#include "OBJ/OBJ_Camera.h"
#include "OP/OP_Node.h"

namespace sopcook
{
struct VolumeBox
{
    bool known = false;      // the operator places its volumes in a box from its inputs
    bool fromPoints = true;  // the box is the points' own, grown by extendbounds
    std::string source;      // what gave the box: the input's name
    size_t points = 0;       // finite points behind the box
    double inputSize[3] = {0, 0, 0}; // the bounding box before it grows
    double centre[3] = {0, 0, 0};
    float extension[3] = {0, 0, 0};
    double size[3] = {0, 0, 0};      // the volume's full size
    int res[3] = {2, 2, 2};

    double voxelSize(int axis) const { return size[axis] / res[axis]; }
    double smallestVoxel() const;
    // "2.15 x 2.15 x 2.12"
    std::string sizeText() const;
};

// The box of node's volumes at time; points is input 0 (label names it),
// bbox input 1 (null when not connected, else bboxLabel names it).
VolumeBox plannedBox(const OP_Node &node, fpreal time, const GU_Detail *points, const std::string &label,
                     const GU_Detail *bbox, const std::string &bboxLabel);

// Throws Error naming the box (or the camera's values) when the volumes'
// placement cannot become a VDB transform; warns when the operator is asked
// for a camera frustum it will not build (no camera at "campath", a camera
// whose view is not finite). camera is the camera the cook made, or null.
void checkPlacement(OP_Node &node, fpreal time, const VolumeBox &box, const OBJ_Camera *camera,
                    std::vector<std::string> &warnings);
} // namespace sopcook
