// SPDX-License-Identifier: Apache-2.0
// billowfoldMT: the threaded twin of billowfold. Each point's ball is split
// across the host's worker threads, one point after another; a voxel is
// written only where the ball's contribution is positive, and colour is
// optional.
#include "CommonParms.h"
#include "CloudBall.h"
#include "PluginEntry.h"
#include "CloudsTraits.h"
#include "SegmentFunctions.h"
#include "SingleGrid.h"
#include "SOP_VolumeOperator.h"
#include "UT/UT_Interrupt.h"
#include "UT/UT_ThreadedAlgorithm.h"
#include "VolumeSetup.h"
#include "VoxelRow.h"

namespace billowfoldMT
{

using namespace clouds;

// The cook's parameters, handed to the fill by value.
struct VolumeContainer
{
    UT_String density, radius, normals, upvector, noiseoffset, color;
    int octaves;
    float roughness;
    float divisions[3];
    float size[3];
    float centre[3];
    float extension[3];
    float frequency[3];
    float amplitude;
    double densityMult;
    int doNoise;
    int doColor;
    bool boundsFromPoints;
};

// One point's ball and the fields it is splatted into; every job gets its
// own copy, sharing the voxel arrays through the reference-counted handles.
struct VolumeData
{
    float divisions[3];
    float size[3];
    CloudBall ball;
    CloudNoise noise;
    GU_PrimVolume *volumes[4] = {nullptr, nullptr, nullptr, nullptr}; // density, Cd.x, Cd.y, Cd.z
    UT_VoxelArrayWriteHandleF handles[4];                              // colour ones empty without colour
    int doNoise;
    int doColor;
};

class SOP_billowfoldMT : public SOP_VolumeOperator<SOP_billowfoldMT>
{
public:
    SOP_billowfoldMT(OP_Network *net, const char *name, OP_Operator *op) : SOP_VolumeOperator(net, name, op) {}
    static PRM_Template myTemplateList[];

protected:
    OP_ERROR cookMySop(OP_Context &context) override;

private:
    int fillVolume(VolumeContainer parms);
    int featherInvokePartial(VolumeData data, const UT_JobInfo &info);
    int featherPartial(VolumeData data, const UT_JobInfo &info);
};



PRM_Template SOP_billowfoldMT::myTemplateList[] = {
    PRM_Template(PRM_INT, 3, &parms::divs, parms::divsDefault),
    PRM_Template(PRM_FLT, 3, &parms::extendBounds, parms::oneDefault),
    PRM_Template(PRM_FLT, 1, &parms::densityMult, PRMoneDefaults),
    PRM_Template(PRM_TOGGLE, 1, &parms::doNoise),
    PRM_Template(PRM_TOGGLE, 1, &parms::doColor),
    PRM_Template(PRM_FLT, 3, &parms::noiseFreq, parms::oneDefault),
    PRM_Template(PRM_FLT, 1, &parms::noiseAmp, PRMoneDefaults),
    PRM_Template(PRM_SEPARATOR, 1, &parms::separator1),
    PRM_Template(PRM_INT, 1, &parms::noiseOctaves, PRMoneDefaults),
    PRM_Template(PRM_FLT, 1, &parms::noiseRoughness, &parms::halfDefault),
    PRM_Template(PRM_STRING, 1, &parms::densityAttrib, &parms::densityDefault),
    PRM_Template(PRM_STRING, 1, &parms::radiusAttrib, &parms::pscaleDefault),
    PRM_Template(PRM_STRING, 1, &parms::normalsAttrib, &parms::normalsDefault),
    PRM_Template(PRM_STRING, 1, &parms::upVectorAttrib, &parms::upvectorDefault),
    PRM_Template(PRM_STRING, 1, &parms::noiseOffsetAttrib, &parms::noiseoffsetDefault),
    PRM_Template(PRM_STRING, 1, &parms::colorAttrib, &parms::colorDefault),
    PRM_Template(),
};

// The voxels the ball can reach inside the slab the volumes keep.
static SearchBox ballBox(const VolumeData &data)
{
    const int divs[3] = {int(data.divisions[0]), int(data.divisions[1]), int(data.divisions[2])};
    const double size[3] = {data.size[0], data.size[1], data.size[2]};
    SearchBox box = searchBox(data.ball, divs, size, FlatAxis::Empty);
    SlabRange(data.handles[0]).clip(box.lo[2], box.hi[2]);
    return box;
}

int SOP_billowfoldMT::featherInvokePartial(VolumeData data, const UT_JobInfo &info)
{
    VolumeData copy = data;
    return featherPartial(copy, info);
}

// This job's share of one ball: every row of the box, split along x.
//
// Jobs write disjoint voxels (disjoint x ranges of the same rows), and the
// host's voxel array expands a constant tile with a compare-and-swap, so
// first writes into a shared tile are safe without a lock. The run is
// started without one, and the writes take none.
int SOP_billowfoldMT::featherPartial(VolumeData data, const UT_JobInfo &info)
{
    const CloudBall &b = data.ball;
    const SearchBox box = ballBox(data);
    if (box.empty()) return 0;

    const GU_PrimVolume *densityVolume = data.volumes[0];
    UT_VoxelArrayWriteHandleF &density = data.handles[0];
    const bool noisePath = data.doNoise != 0;
    const NoiseFrame frame(b.N, b.up);

    for (int z = box.lo[2]; z < box.hi[2]; ++z)
        for (int y = box.lo[1]; y < box.hi[1]; ++y)
        {
            int start, end;
            info.divideWork(box.hi[0] - box.lo[0], start, end);
            if (start >= end) continue;
            const GEO_VoxelCentreRow centres = densityVolume->centreRow(y, z);
            VoxelRow densityRow(density, y, z);
            VoxelRow colourRows[3] = {{data.handles[data.doColor ? 1 : 0], y, z},
                                      {data.handles[data.doColor ? 2 : 0], y, z},
                                      {data.handles[data.doColor ? 3 : 0], y, z}};
            for (int x = box.lo[0] + start; x < box.lo[0] + end; ++x)
            {
                const UT_Vector3 c = centres.at(x);
                float d = dist3D(c, b.P);
                if (!(d <= b.radius)) continue;
                // No clamp: only a positive contribution is written, in full.
                double w = noisePath ? noiseWeight(b, d, data.noise.amplitude, cloudNoise(frame, data.noise, c, b))
                                     : plainWeight(b, d);
                if (!(w > 0)) continue;
                densityRow.accumulate(x, w);
                if (!data.doColor) continue;
                for (int a = 0; a < 3; ++a)
                {
                    if (noisePath)
                        colourRows[a].update(x, scaleColour(w, b.colour[a]));
                    else
                        colourRows[a].accumulate(x, b.colour[a] * w);
                }
            }
        }
    return 0;
}

int SOP_billowfoldMT::fillVolume(VolumeContainer parms)
{
    // Grid clamps on the single-precision copies, then the common set-up.
    unsigned divs[3];
    double size[3], centre[3];
    clampSingleGrid(parms.divisions, parms.size, divs, size);
    for (int a = 0; a < 3; ++a) centre[a] = parms.centre[a];
    std::vector<const char *> names = {fields::density};
    if (parms.doColor) names.insert(names.end(), {fields::colour[0], fields::colour[1], fields::colour[2]});
    VolumeSet volumes = setupVolumes(gdp, divs, size, centre, parms.extension, parms.boundsFromPoints,
                                     "/obj/billowfold:0", names);

    const int res[3] = {int(divs[0]), int(divs[1]), int(divs[2])};
    const CloudAttributes attribs(gdp, parms.density, parms.radius, parms.normals, parms.upvector, parms.noiseoffset,
                                  parms.color);
    VolumeData data;
    for (int a = 0; a < 3; ++a)
    {
        data.divisions[a] = parms.divisions[a];
        data.size[a] = parms.size[a];
    }
    data.noise = {{parms.frequency[0], parms.frequency[1], parms.frequency[2]}, parms.amplitude, parms.octaves,
                  parms.roughness};
    for (size_t i = 0; i < volumes.size(); ++i)
    {
        data.volumes[i] = volumes.volume(i);
        data.handles[i] = volumes.handle(i);
    }
    data.doNoise = parms.doNoise;
    data.doColor = parms.doColor;

    UT_Functor2<int, VolumeData, const UT_JobInfo &> invoke(this, &SOP_billowfoldMT::featherInvokePartial);
    UT_Interrupt *interrupt = UTgetInterrupt();
    // The volumes' anchor points come last and are left out.
    GA_Size inputPoints = gdp->getNumPoints() - GA_Size(volumes.size());
    for (GA_Offset pt = 0; pt < inputPoints; ++pt)
    {
        data.ball = readCloudBall(gdp, attribs, pt, volumes.volume(0), res, parms.densityMult);
        // A ball that reaches no voxel of the slab starts no run.
        if (!ballBox(data).empty())
        {
            UT_ThreadedAlgorithm threads(-1);
            threads.run(UT_BindFirst1(invoke, data));
        }
        if (interrupt->opInterrupt()) break;
    }
    return 0;
}

OP_ERROR SOP_billowfoldMT::cookMySop(OP_Context &context)
{
    return cookVolumes(context, [&](CookGrid &g) {
        VolumeContainer parms;
        parms.density = evalString(g, "densityattrib");
        parms.radius = evalString(g, "radiusattrib");
        parms.normals = evalString(g, "normalsattrib");
        parms.upvector = evalString(g, "upvectorattrib");
        parms.noiseoffset = evalString(g, "noiseoffsetattrib");
        parms.color = evalString(g, "colorattrib");
        parms.octaves = evalInt(g, "noiseoctaves");
        parms.roughness = evalFloat(g, "noiseroughness");
        for (int a = 0; a < 3; ++a)
        {
            parms.divisions[a] = float(evalInt(g, "divs", a));
            parms.size[a] = float(g.size[a]);
            parms.centre[a] = float(g.centre[a]);
        }
        evalFloat3(g, "extendbounds", parms.extension);
        evalFloat3(g, "noisefreq", parms.frequency);
        parms.amplitude = evalFloat(g, "noiseamp");
        parms.densityMult = evalFloat(g, "densitymult");
        parms.doNoise = evalInt(g, "donoise");
        parms.doColor = evalInt(g, "docolor");
        parms.boundsFromPoints = g.boundsFromPoints;
        fillVolume(parms);
    });
}

} // namespace billowfoldMT

SOP_PLUGIN_ENTRY_TRAITS(billowfoldMT::SOP_billowfoldMT, "billowfoldMT", "BillowfoldMT", 2,
                        clouds::cloudsTraits(clouds::billowfoldMTCost, "docolor"))
