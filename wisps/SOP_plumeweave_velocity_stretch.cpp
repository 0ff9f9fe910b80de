// SPDX-License-Identifier: Apache-2.0
// plumeweave_velocity_stretch: every input point becomes a wisp of
// noise-displaced children, each drawn as a capsule from the child back along
// the point's velocity, its density fading to 0 at the tail.
#include <cmath>
#include "PluginEntry.h"
#include "WispsTraits.h"
#include "SegmentFunctions.h"
#include "SOP_VolumeOperator.h"
#include "VelocityWisps.h"
#include "VolumeSetup.h"
#include "VoxelRow.h"
#include "WispWalk.h"

namespace SOP_plumeweave_velocity_stretch
{

using velocitywisps::AttribNames;
using velocitywisps::StreakPoint;

class SOP_plumeweave : public SOP_VolumeOperator<SOP_plumeweave>
{
public:
    SOP_plumeweave(OP_Network *net, const char *name, OP_Operator *op) : SOP_VolumeOperator(net, name, op) {}
    static PRM_Template *myTemplateList;

protected:
    OP_ERROR cookMySop(OP_Context &context) override;
};

PRM_Template *SOP_plumeweave::myTemplateList = velocitywisps::templates;

// The volumes a deposit writes: density, then colour when it is on.
struct StreakTargets
{
    const GU_PrimVolume *volume;
    UT_VoxelArrayWriteHandleF *density;
    UT_VoxelArrayWriteHandleF *colour[3]; // null when colour is off
    unsigned divs[3];
    double voxelSize[3]; // box size over divisions, before any extension
    double densityMult;
};

// Density of the capsule head->tail of radius s at voxel centre V: full
// within s of the head, then fading linearly to 0 at the tail; 0 outside.
static float streakValue(const StreakPoint &pt, const UT_Vector3 &head, const UT_Vector3 &tail,
                         const UT_Vector3 &V, double densityMult)
{
    float s = pt.pscale;
    UT_Vector3 X = pt.moving ? projectOnSegment(head, tail, V) : head;
    float t = dist3D(V, X);
    float g = dist3D(head, V);
    if (t > s) return 0.0f;
    float density = pt.density;
    if (pt.moving && g > s) density = interpolateAttr(head, tail, pt.density, 0.0f, V);
    return float(double((s - t) / s) * densityMult * double(density));
}

// Adds one child's streak to every voxel of the box around it.
static void depositStreak(StreakTargets &out, const StreakPoint &pt, const UT_Vector3 &head)
{
    UT_Vector3 tail = head - pt.velocity;
    int idx[3];
    out.volume->posToIndex(head, idx[0], idx[1], idx[2]);
    int lo[3], hi[3];
    for (int a = 0; a < 3; ++a)
    {
        double reach = std::ceil(double(std::fabs(tail[a] - head[a]) + pt.pscale) / out.voxelSize[a]);
        velocitywisps::reachRange(idx[a], reach, int(out.divs[a]), lo[a], hi[a]);
    }
    if (!SlabRange(*out.density).clip(lo[2], hi[2])) return;
    // The locus of nearest points: the streak, or the child alone.
    const UT_Vector3 &far = pt.moving ? tail : head;
    for (int z = lo[2]; z < hi[2]; ++z)
        for (int y = lo[1]; y < hi[1]; ++y)
        {
            const GEO_VoxelCentreRow centres = out.volume->centreRow(y, z);
            if (!velocitywisps::rowMayReach(centres.at(lo[0]), centres.at(hi[0] - 1), head, far, pt.pscale)) continue;
            VoxelRow density(*out.density, y, z);
            static UT_VoxelArrayWriteHandleF none;
            VoxelRow colour[3] = {{out.colour[0] ? *out.colour[0] : none, y, z},
                                  {out.colour[0] ? *out.colour[1] : none, y, z},
                                  {out.colour[0] ? *out.colour[2] : none, y, z}};
            for (int x = lo[0]; x < hi[0]; ++x)
            {
                float value = streakValue(pt, head, tail, centres.at(x), out.densityMult);
                // Also drops the NaN of a zero footprint's 0/0.
                if (!(value > 0)) continue;
                density.accumulateSingle(x, value);
                if (out.colour[0])
                    for (int c = 0; c < 3; ++c) colour[c].accumulateSingle(x, value * pt.colour[c]);
            }
        }
}

static int fillVolume(GU_Detail *gdp, const AttribNames &names, int childrenCount, int octaves, float roughness,
                      unsigned *divs, double *size, double *centre, float *extension, float *noiseFreq,
                      float noiseAmp, double densityMult, int doColor, bool boundsFromPoints)
{
    std::vector<const char *> fieldNames = {fields::density};
    if (doColor) fieldNames.insert(fieldNames.end(), fields::colour, fields::colour + 3);
    VolumeSet volumes =
        setupVolumes(gdp, divs, size, centre, extension, boundsFromPoints, "/obj/plumeweave:0", fieldNames);

    StreakTargets out;
    out.volume = volumes.volume(0);
    out.density = &volumes.handle(0);
    for (int c = 0; c < 3; ++c) out.colour[c] = doColor ? &volumes.handle(1 + c) : nullptr;
    for (int a = 0; a < 3; ++a)
    {
        out.divs[a] = divs[a];
        out.voxelSize[a] = size[a] / double(divs[a]);
    }
    out.densityMult = densityMult;

    WispNoise noise;
    for (int a = 0; a < 3; ++a) noise.freq[a] = noiseFreq[a];
    noise.octaves = octaves;
    noise.roughness = roughness;

    const SlabRange slab(*out.density);
    const double noiseBound = fractalNoiseBound(octaves, roughness);
    GA_Size inputPoints = gdp->getNumPoints() - GA_Size(volumes.size());
    for (GA_Offset pt = 0; pt < inputPoints; ++pt)
    {
        StreakPoint point = velocitywisps::readStreakPoint(gdp, pt, names);
        // The point's displacement scale stretches its noise walk.
        noise.amplitude = noiseAmp * point.radius;
        // Streaks that cannot touch the slab: the walk is skipped too.
        if (velocitywisps::streaksMissSlab(out.volume, slab, point, std::fabs(double(noise.amplitude)) * noiseBound,
                                           out.voxelSize[2]))
            continue;
        for (int child = 0; child < childrenCount; ++child)
            depositStreak(out, point, wispChildPosition(point.P, point.noiseOffset, child, noise));
    }
    return 0;
}

OP_ERROR SOP_plumeweave::cookMySop(OP_Context &context)
{
    return cookVolumes(context, [&](CookGrid &g) {
        velocitywisps::Parms p = velocitywisps::evalParms(*this, g);
        fillVolume(gdp, p.names, p.childrenCount, p.octaves, p.roughness, g.divs, g.size, g.centre, g.extension,
                   p.noiseFreq, p.noiseAmp, double(p.densityMult), p.doColor, g.boundsFromPoints);
    });
}

} // namespace SOP_plumeweave_velocity_stretch

SOP_PLUGIN_ENTRY_TRAITS(SOP_plumeweave_velocity_stretch::SOP_plumeweave, "plumeweave_velocity_stretch",
                        "plumeweave_velocity_stretch", 2,
                        wisps::velocityStretchTraits(wisps::velocityStretchCost))
