// SPDX-License-Identifier: Apache-2.0
// billowfold: every input point becomes a soft ball of density and colour,
// optionally sculpted by fractal noise in the point's own frame.
#include <cstdio>
#include "CommonParms.h"
#include "CloudBall.h"
#include "PluginEntry.h"
#include "CloudsTraits.h"
#include "SegmentFunctions.h"
#include "SOP_VolumeOperator.h"
#include "UT/UT_Interrupt.h"
#include "VolumeSetup.h"
#include "VoxelRow.h"

namespace billowfold
{

using namespace clouds;

class SOP_billowfold : public SOP_VolumeOperator<SOP_billowfold>
{
public:
    SOP_billowfold(OP_Network *net, const char *name, OP_Operator *op) : SOP_VolumeOperator(net, name, op) {}
    static PRM_Template myTemplateList[];

protected:
    OP_ERROR cookMySop(OP_Context &context) override;
};



PRM_Template SOP_billowfold::myTemplateList[] = {
    PRM_Template(PRM_INT, 3, &parms::divs, parms::divsDefault),
    PRM_Template(PRM_FLT, 3, &parms::extendBounds, parms::oneDefault),
    PRM_Template(PRM_FLT, 1, &parms::densityMult, PRMoneDefaults),
    PRM_Template(PRM_TOGGLE, 1, &parms::doNoise),
    PRM_Template(PRM_FLT, 3, &parms::noiseFreq, parms::oneDefault),
    PRM_Template(PRM_FLT, 1, &parms::noiseAmp, PRMoneDefaults),
    PRM_Template(PRM_SEPARATOR, 1, nullptr),
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

// Splats one ball into density and colour. Balls are added one after
// another; on the noise path a ball's colour also scales what earlier balls
// left in the colour fields.
static void feather(const CloudBall &b, const int divs[3], const double size[3], const CloudNoise &noise,
                    int doNoise, VolumeSet &volumes)
{
    // A ball without a positive radius has no inside. Skipping it also keeps
    // a zero radius on a flat box axis (searched whole) from writing 0 / 0.
    if (!(b.radius > 0)) return;

    const GU_PrimVolume *densityVolume = volumes.volume(0);
    UT_VoxelArrayWriteHandleF &density = volumes.handle(0);
    UT_VoxelArrayWriteHandleF *colour[3] = {&volumes.handle(1), &volumes.handle(2), &volumes.handle(3)};
    SearchBox box = searchBox(b, divs, size, FlatAxis::WholeAxis);
    if (!SlabRange(density).clip(box.lo[2], box.hi[2])) return;

    const NoiseFrame frame(b.N, b.up);
    for (int z = box.lo[2]; z < box.hi[2]; ++z)
        for (int y = box.lo[1]; y < box.hi[1]; ++y)
        {
            const GEO_VoxelCentreRow centres = densityVolume->centreRow(y, z);
            VoxelRow densityRow(density, y, z);
            VoxelRow colourRows[3] = {{*colour[0], y, z}, {*colour[1], y, z}, {*colour[2], y, z}};
            for (int x = box.lo[0]; x < box.hi[0]; ++x)
            {
                const UT_Vector3 c = centres.at(x);
                float d = dist3D(c, b.P);
                if (!(d <= b.radius)) continue;
                if (doNoise != 1)
                {
                    double w = plainWeight(b, d);
                    densityRow.accumulate(x, w);
                    for (int a = 0; a < 3; ++a) colourRows[a].accumulate(x, b.colour[a] * w);
                    continue;
                }
                double w = noiseWeight(b, d, noise.amplitude, cloudNoise(frame, noise, c, b));
                if (w < 0) w = 0;
                if (w > 1000000) w = 1000000;
                densityRow.accumulate(x, w);
                for (int a = 0; a < 3; ++a) colourRows[a].update(x, scaleColour(w, b.colour[a]));
            }
        }
}

static int fillVolume(GU_Detail *gdp, const char *densityName, const char *radiusName, const char *normalsName,
                      const char *upName, const char *noiseOffsetName, const char *colorName, int octaves,
                      float roughness, unsigned *divs, double *size, double *centre, float *extension, float *freq,
                      float amplitude, double densityMult, int doNoise, bool boundsFromPoints)
{
    VolumeSet volumes = setupVolumes(gdp, divs, size, centre, extension, boundsFromPoints, "/obj/billowfold:0",
                                     {fields::density, fields::colour[0], fields::colour[1], fields::colour[2]});
    const int res[3] = {int(divs[0]), int(divs[1]), int(divs[2])};
    const CloudAttributes attribs(gdp, densityName, radiusName, normalsName, upName, noiseOffsetName, colorName);
    const CloudNoise noise = {{freq[0], freq[1], freq[2]}, amplitude, octaves, roughness};

    // Every point, the volumes' anchor points included (their attributes
    // hold the defaults, so they add nothing).
    UT_Interrupt *interrupt = UTgetInterrupt();
    for (GA_Offset pt = 0; pt < gdp->getNumPoints(); ++pt)
    {
        CloudBall b = readCloudBall(gdp, attribs, pt, volumes.volume(0), res, densityMult);
        feather(b, res, size, noise, doNoise, volumes);
        if (interrupt->opInterrupt()) break;
    }
    return 0;
}

OP_ERROR SOP_billowfold::cookMySop(OP_Context &context)
{
    return cookVolumes(context, [&](CookGrid &g) {
        float freq[3];
        evalFloat3(g, "noisefreq", freq);
        evalFloat3(g, "extendbounds", g.extension);
        UT_String densityName = evalString(g, "densityattrib");
        UT_String radiusName = evalString(g, "radiusattrib");
        UT_String normalsName = evalString(g, "normalsattrib");
        UT_String upName = evalString(g, "upvectorattrib");
        UT_String noiseOffsetName = evalString(g, "noiseoffsetattrib");
        UT_String colorName = evalString(g, "colorattrib");
        int doNoise = evalInt(g, "donoise");
        double densityMult = evalFloat(g, "densitymult");
        float amplitude = evalFloat(g, "noiseamp");
        float roughness = evalFloat(g, "noiseroughness");
        int octaves = evalInt(g, "noiseoctaves");

        std::printf("primcount = %lld\n", (long long)gdp->getNumPrimitives());
        std::fflush(stdout);

        fillVolume(gdp, densityName, radiusName, normalsName, upName, noiseOffsetName, colorName, octaves, roughness,
                   g.divs, g.size, g.centre, g.extension, freq, amplitude, densityMult, doNoise,
                   g.boundsFromPoints);
    });
}

} // namespace billowfold

SOP_PLUGIN_ENTRY_TRAITS(billowfold::SOP_billowfold, "billowfold", "Billowfold", 2,
                        clouds::cloudsTraits(clouds::billowfoldCost, ""))
