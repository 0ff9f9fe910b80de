// SPDX-License-Identifier: Apache-2.0
#include "cook/ScaleCheck.h"

#include <algorithm>
#include <cmath>

#include "NumberText.h"

namespace sopcook
{
namespace
{
// Three significant digits: enough for a warning.
std::string number(double v) { return numberText(v, 3); }

// The velocity-stretched wisps reach as far as their footprint ("pscale");
// every other operator as far as its radius.
std::string radiusAttribute(const OP_Node &node, fpreal time)
{
    const char *parm = node.hasParm("pscaleattrib") ? "pscaleattrib" : "radiusattrib";
    if (!node.hasParm(parm)) return "";
    UT_String s;
    node.evalStringT(s, parm, 0, time, 0);
    return s.c_str() ? s.c_str() : "";
}

void warnSmallRadii(const ScaleCheck &s, size_t small, size_t total, const VolumeBox &box,
                    std::vector<std::string> &warnings, const DoorWording &wording)
{
    if (total == 0 || small * 2 <= total) return;
    const double voxel = box.smallestVoxel();
    warnings.push_back(std::to_string(small) + " of " + std::to_string(total) + " points have a " + s.radiusName +
                       " below half a voxel (median " + number(s.medianRadius) + ", voxel " + number(voxel) +
                       " over a " + box.sizeText() + " box at divs=" + std::to_string(box.res[0]) + "," +
                       std::to_string(box.res[1]) + "," + std::to_string(box.res[2]) +
                       "), so they write little or nothing; raise " + s.radiusName + " to about " + number(voxel) +
                       " (" + wording.attribute(s.radiusName, number(voxel)) + "), raise divs, or shrink the box (extendbounds)");
}

void warnLargeExtension(const VolumeBox &box, std::vector<std::string> &warnings, const DoorWording &wording)
{
    if (!box.fromPoints || box.points < 2) return;
    const double input = std::max({box.inputSize[0], box.inputSize[1], box.inputSize[2]});
    const double grow = std::max({std::fabs(box.extension[0]), std::fabs(box.extension[1]), std::fabs(box.extension[2])});
    if (!(input > 0) || grow <= input) return;
    warnings.push_back("extendbounds=" + number(box.extension[0]) + "," + number(box.extension[1]) + "," +
                       number(box.extension[2]) + " grows each side by more than the input's own size (" +
                       number(box.inputSize[0]) + " x " + number(box.inputSize[1]) + " x " + number(box.inputSize[2]) +
                       "), so most voxels lie outside the points' reach; set extendbounds near the largest radius "
                       "(for example " +
                       wording.parameter("extendbounds", number(input * 0.1) + "," + number(input * 0.1) + "," +
                                                             number(input * 0.1)) +
                       ")");
}
} // namespace

ScaleCheck checkScale(const OP_Node &node, fpreal time, const VolumeBox &box, const GU_Detail *points,
                      std::vector<std::string> &warnings, const DoorWording &wording)
{
    ScaleCheck s;
    if (!box.known) return s;
    warnLargeExtension(box, warnings, wording);
    s.radiusName = radiusAttribute(node, time);
    if (!points || s.radiusName.empty()) return s;
    GA_RWAttributeRef radius = points->findFloatTuple(GA_ATTRIB_POINT, s.radiusName.c_str(), 1);
    if (!radius.isValid()) return s;
    std::vector<float> radii;
    radii.reserve(size_t(points->getNumPoints()));
    for (GA_Offset pt = 0; pt < GA_Offset(points->getNumPoints()); ++pt)
    {
        float r = radius.getAttribute()->getF(pt);
        UT_Vector3 p = points->getPos3(pt);
        if (std::isfinite(r) && std::isfinite(p.x()) && std::isfinite(p.y()) && std::isfinite(p.z())) radii.push_back(std::fabs(r));
    }
    if (radii.empty()) return s;
    const double half = 0.5 * box.smallestVoxel();
    size_t small = size_t(std::count_if(radii.begin(), radii.end(), [&](float r) { return r < half; }));
    std::nth_element(radii.begin(), radii.begin() + radii.size() / 2, radii.end());
    s.medianRadius = radii[radii.size() / 2];
    // Reach: the voxels of each point's ball (at least its own voxel), and
    // no more than the points' box grown by the largest radius holds.
    const double largest = *std::max_element(radii.begin(), radii.end());
    const double voxel = box.voxelSize(0) * box.voxelSize(1) * box.voxelSize(2);
    double balls = 0, spanned = 1;
    for (float r : radii) balls += 1 + 4.18879 * double(r) * r * r / voxel;
    for (int a = 0; a < 3; ++a)
        spanned *= std::min(double(box.res[a]), std::ceil((box.inputSize[a] + 2 * largest) / box.voxelSize(a)));
    s.reachVoxels = std::min(balls, spanned);
    warnSmallRadii(s, small, radii.size(), box, warnings, wording);
    return s;
}

void checkCoverage(const ScaleCheck &scale, const VolumeBox &box, const std::string &op, uint64_t active,
                   const std::string &output, std::vector<std::string> &warnings)
{
    // No voxel at all is said by the empty-output warning.
    if (!(scale.reachVoxels > 0) || active == 0 || double(active) * 100 >= scale.reachVoxels) return;
    warnings.push_back(output + ": " + op + " wrote " + std::to_string(active) + " active voxels, under 1% of the " +
                       number(scale.reachVoxels) + " its points could reach (median " + scale.radiusName + " " +
                       number(scale.medianRadius) + ", voxel " + number(box.smallestVoxel()) +
                       "); raise the radii or divs for a fuller volume");
}
} // namespace sopcook
