// SPDX-License-Identifier: Apache-2.0
// plumeweave_velocity_stretchMT: velocity-stretched wisps whose streaks are
// centred on each child, drawn only when the motion spans the footprint's
// diameter, and deposited by the host's worker threads, one run per child.
#include <cmath>
#include <utility>
#include <vector>
#include "PluginEntry.h"
#include "WispsTraits.h"
#include "SegmentFunctions.h"
#include "SingleGrid.h"
#include "SOP_VolumeOperator.h"
#include "UT/UT_Functor.h"
#include "UT/UT_Interrupt.h"
#include "UT/UT_ThreadedAlgorithm.h"
#include "VelocityWisps.h"
#include "VolumeSetup.h"
#include "VoxelRow.h"
#include "WispWalk.h"

namespace SOP_plumeweave_velocity_stretchMT
{

using velocitywisps::AttribNames;
using velocitywisps::StreakPoint;

// Everything the cook hands to the fill, grid values in single precision.
struct WispsVolumeData
{
    AttribNames names;
    int childrenCount;
    int octaves;
    float roughness;
    float divisions[3];
    float size[3];
    float centre[3];
    float extension[3];
    float noiseFreq[3];
    float noiseAmp;
    double densityMult;
    int doColor;
    bool boundsFromPoints;
};

// One child's deposit, copied into every job of its run.
struct VData
{
    bool colourOn;
    bool moving;
    float s;         // footprint: capsule radius
    float rho;       // density
    float M;         // density multiplier
    UT_Vector3 head; // streak start (the child itself when not stretched)
    UT_Vector3 tail; // streak end, when stretched
    float box[6];    // x from, x to, y from, y to, z from, z to (to exclusive)
    UT_VoxelArrayWriteHandleF density;
    UT_VoxelArrayWriteHandleF colour[3]; // empty when colour is off
    const GEO_PrimVolume *volume;
    UT_Vector3 col;
    UT_Vector3 velocity;
    bool stretched; // |v| >= 2s
};

class SOP_plumeweaveMT : public SOP_VolumeOperator<SOP_plumeweaveMT>
{
public:
    SOP_plumeweaveMT(OP_Network *net, const char *name, OP_Operator *op) : SOP_VolumeOperator(net, name, op) {}
    static PRM_Template *myTemplateList;

protected:
    OP_ERROR cookMySop(OP_Context &context) override;

private:
    void fillVolume(WispsVolumeData data);
    void layPoints(VData &child, const WispsVolumeData &data, const unsigned divs[3], GA_Size inputPoints);
    int fillPointInvokePartial(const VData &data, const UT_JobInfo &info);
    void fillPointPartial(VData &data, const UT_JobInfo &info);
};

PRM_Template *SOP_plumeweaveMT::myTemplateList = velocitywisps::templates;

// Density of an unstretched child at voxel centre V: a sphere of radius s
// falling linearly from rho*M at its centre. Widened to double after rho*M.
static double sphereValue(const VData &d, const UT_Vector3 &V)
{
    float dist = dist3D(V, d.head);
    if (!(dist <= d.s)) return 0.0;
    return double(d.rho * d.M) * ((double(d.s) - double(dist)) / double(d.s));
}

// Density of a stretched child at V: a capsule head->tail of radius s whose
// density follows a tent along the streak, 0 at both ends and full at the
// child in its middle. Single precision throughout.
static float capsuleValue(const VData &d, const UT_Vector3 &V)
{
    UT_Vector3 X = d.moving ? projectOnSegment(d.head, d.tail, V) : d.head;
    float dist = dist3D(V, X);
    if (!(dist <= d.s)) return 0.0f;
    float f = interpolateAttr(d.head, d.tail, 1.0f, 0.0f, V);
    return ((d.s - dist) / d.s) * d.M * (1.0f - 2.0f * std::fabs(f - 0.5f)) * d.rho;
}

int SOP_plumeweaveMT::fillPointInvokePartial(const VData &data, const UT_JobInfo &info)
{
    VData copy = data;
    fillPointPartial(copy, info);
    return 0;
}

// Adds one voxel's value to density and colour, rows (y, z) of each.
// Stretched values are float and added in single precision; sphere values
// are added in double.
static void deposit(VData &d, int x, VoxelRow &density, VoxelRow colour[3], double value)
{
    if (d.stretched)
    {
        float v = float(value);
        density.accumulateSingle(x, v);
        if (d.colourOn)
            for (int c = 0; c < 3; ++c) colour[c].accumulateSingle(x, v * d.col[c]);
    }
    else
    {
        density.accumulate(x, value);
        if (d.colourOn)
            for (int c = 0; c < 3; ++c) colour[c].accumulate(x, value * double(d.col[c]));
    }
}

// One job's share: a contiguous slice of every row of the child's box.
void SOP_plumeweaveMT::fillPointPartial(VData &d, const UT_JobInfo &info)
{
    int x0 = int(d.box[0]), x1 = int(d.box[1]);
    int y0 = int(d.box[2]), y1 = int(d.box[3]);
    int z0 = int(d.box[4]), z1 = int(d.box[5]);
    int start, end;
    info.divideWork(x1 - x0, start, end);
    if (start >= end) return;

    // The locus of nearest points: the streak, or the child alone.
    const UT_Vector3 &far = d.stretched && d.moving ? d.tail : d.head;
    std::vector<std::pair<int, double>> row;
    row.reserve(size_t(end - start));
    for (int z = z0; z < z1; ++z)
        for (int y = y0; y < y1; ++y)
        {
            const GEO_VoxelCentreRow centres = d.volume->centreRow(y, z);
            if (!velocitywisps::rowMayReach(centres.at(x0 + start), centres.at(x0 + end - 1), d.head, far, d.s))
                continue;
            row.clear();
            for (int x = x0 + start; x < x0 + end; ++x)
            {
                const UT_Vector3 V = centres.at(x);
                double value = d.stretched ? double(capsuleValue(d, V)) : sphereValue(d, V);
                if (value > 0) row.emplace_back(x, value);
            }
            if (row.empty()) continue;
            VoxelRow density(d.density, y, z);
            VoxelRow colour[3] = {{d.colour[0], y, z}, {d.colour[1], y, z}, {d.colour[2], y, z}};
            // The run's lock is held over the row's deposits: one lock per
            // row rather than per voxel keeps the jobs from queueing on it.
            info.lock();
            for (const auto &[x, value] : row) deposit(d, x, density, colour, value);
            info.unlock();
        }
}

// The children's noise walk; its amplitude is set per point.
static WispNoise walkNoise(const WispsVolumeData &data)
{
    WispNoise noise;
    for (int a = 0; a < 3; ++a) noise.freq[a] = data.noiseFreq[a];
    noise.octaves = data.octaves;
    noise.roughness = data.roughness;
    return noise;
}

// The child's box of voxels around its head: the streak and its footprint,
// inside the slab the volumes keep. False when the box holds no voxel.
static bool placeChildBox(VData &child, const float voxelSize[3], const unsigned divs[3], const SlabRange &slab)
{
    int idx[3];
    child.volume->posToIndex(child.head, idx[0], idx[1], idx[2]);
    bool empty = false;
    for (int a = 0; a < 3; ++a)
    {
        float extent = child.stretched ? std::fabs(child.tail[a] - child.head[a]) + child.s : child.s;
        float reach = std::ceil(extent / voxelSize[a]);
        int lo, hi;
        velocitywisps::reachRange(idx[a], reach, int(divs[a]), lo, hi);
        if (a == 2) slab.clip(lo, hi);
        child.box[2 * a] = float(lo);
        child.box[2 * a + 1] = float(hi);
        empty = empty || lo >= hi;
    }
    return !empty;
}

// The deposit record's part that holds for every child: colour, density
// multiplier and the volumes written.
static void takeDepositVolumes(VData &child, const WispsVolumeData &data, VolumeSet &volumes)
{
    child.colourOn = data.doColor != 0;
    child.M = float(data.densityMult);
    child.density = volumes.handle(0);
    if (child.colourOn)
        for (int c = 0; c < 3; ++c) child.colour[c] = volumes.handle(1 + c);
    child.volume = volumes.volume(0);
}

void SOP_plumeweaveMT::fillVolume(WispsVolumeData data)
{
    // The grid in single precision: no negative (or NaN) size, at least two
    // voxels per axis.
    unsigned divs[3];
    double size[3], centre[3];
    for (float &s : data.size)
        if (std::isnan(s)) s = 0;
    clampSingleGrid(data.divisions, data.size, divs, size);
    for (int a = 0; a < 3; ++a) centre[a] = data.centre[a];
    std::vector<const char *> fieldNames = {fields::density};
    if (data.doColor) fieldNames.insert(fieldNames.end(), fields::colour, fields::colour + 3);
    VolumeSet volumes = setupVolumes(gdp, divs, size, centre, data.extension, data.boundsFromPoints,
                                     "/obj/plumeweave:0", fieldNames);

    VData child;
    takeDepositVolumes(child, data, volumes);
    layPoints(child, data, divs, gdp->getNumPoints() - GA_Size(volumes.size()));
}

// Every input point in order, each of its children deposited by one
// threaded run.
void SOP_plumeweaveMT::layPoints(VData &child, const WispsVolumeData &data, const unsigned divs[3],
                                 GA_Size inputPoints)
{
    float voxelSize[3];
    for (int a = 0; a < 3; ++a) voxelSize[a] = data.size[a] / data.divisions[a];

    WispNoise noise = walkNoise(data);
    const SlabRange slab(child.density);
    const double noiseBound = fractalNoiseBound(data.octaves, data.roughness);

    UT_Functor2<int, const VData &, const UT_JobInfo &> invoke(this, &SOP_plumeweaveMT::fillPointInvokePartial);
    UT_Interrupt *interrupt = UTgetInterrupt();
    for (GA_Offset pt = 0; pt < inputPoints; ++pt)
    {
        StreakPoint point = velocitywisps::readStreakPoint(gdp, pt, data.names);
        child.moving = point.moving;
        child.s = point.pscale;
        child.rho = point.density;
        child.col = point.colour;
        child.velocity = point.velocity;
        const UT_Vector3 &v = point.velocity;
        float speed = std::sqrt(v.dot(v));
        UT_Vector3 halfV = v * 0.5f;
        // The point's displacement scale stretches its noise walk.
        noise.amplitude = data.noiseAmp * point.radius;
        // Streaks that cannot touch the slab: the walk is skipped too.
        const bool reachesSlab = !velocitywisps::streaksMissSlab(
            child.volume, slab, point, std::fabs(double(noise.amplitude)) * noiseBound, double(voxelSize[2]));

        for (int c = 0; reachesSlab && c < data.childrenCount; ++c)
        {
            UT_Vector3 Q = wispChildPosition(point.P, point.noiseOffset, c, noise);
            child.stretched = speed >= 2.0f * child.s;
            child.head = child.stretched ? Q - halfV : Q;
            child.tail = Q + halfV;
            // A box without voxels deposits nothing: no run to start.
            if (!placeChildBox(child, voxelSize, divs, slab)) continue;
            UT_ThreadedAlgorithm run(-1);
            run.run(UT_BindFirst1(invoke, child));
        }
        if (interrupt->opInterrupt()) break;
    }
}

OP_ERROR SOP_plumeweaveMT::cookMySop(OP_Context &context)
{
    return cookVolumes(context, [&](CookGrid &g) {
        velocitywisps::Parms p = velocitywisps::evalParms(*this, g);
        WispsVolumeData data;
        data.names = p.names;
        data.childrenCount = p.childrenCount;
        data.octaves = p.octaves;
        data.roughness = p.roughness;
        for (int a = 0; a < 3; ++a)
        {
            data.divisions[a] = float(g.divs[a]);
            data.size[a] = float(g.size[a]);
            data.centre[a] = float(g.centre[a]);
            data.extension[a] = g.extension[a];
            data.noiseFreq[a] = p.noiseFreq[a];
        }
        data.noiseAmp = p.noiseAmp;
        data.densityMult = p.densityMult;
        data.doColor = p.doColor;
        data.boundsFromPoints = g.boundsFromPoints;
        fillVolume(data);
    });
}

} // namespace SOP_plumeweave_velocity_stretchMT

SOP_PLUGIN_ENTRY_TRAITS(SOP_plumeweave_velocity_stretchMT::SOP_plumeweaveMT, "plumeweave_velocity_stretchMT",
                        "Plumeweave_velocity_stretchMT", 2,
                        wisps::velocityStretchTraits(wisps::velocityStretchMTCost))
