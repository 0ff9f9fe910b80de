// SPDX-License-Identifier: Apache-2.0
// strandcast: density laid around every input curve, falling off linearly
// from the curve's axis to its interpolated radius, optionally shaped by
// fractal noise in a frame built from the curve's normals and up vectors.
#include "CommonParms.h"
#include "CurveCast.h"
#include "PluginEntry.h"
#include "CurvesTraits.h"
#include "SOP_VolumeOperator.h"
#include "VolumeSetup.h"
#include "VoxelRow.h"

namespace strandcast
{
using namespace curvecast;

class SOP_strandcast : public SOP_VolumeOperator<SOP_strandcast>
{
public:
    SOP_strandcast(OP_Network *net, const char *name, OP_Operator *op) : SOP_VolumeOperator(net, name, op) {}
    static PRM_Template myTemplateList[];

protected:
    OP_ERROR cookMySop(OP_Context &context) override;
};

static PRM_Default freqDefault(1);
static PRM_Default ampDefault(1);


PRM_Template SOP_strandcast::myTemplateList[] = {
    PRM_Template(PRM_INT, 3, &parms::divs, parms::divsDefault),
    PRM_Template(PRM_FLT, 3, &parms::extendBounds, parms::oneDefault),
    PRM_Template(PRM_SEPARATOR, 0, &parms::separator1),
    PRM_Template(PRM_INT, 1, &parms::childrenCount, &parms::oneHundredDefault),
    PRM_Template(PRM_FLT, 1, &parms::densityMult, PRMoneDefaults),
    PRM_Template(PRM_INT, 1, &parms::extendVoxels, PRMoneDefaults),
    PRM_Template(PRM_TOGGLE, 1, &parms::doNoise),
    PRM_Template(PRM_TOGGLE, 1, &parms::reversePrimOrder),
    PRM_Template(PRM_TOGGLE, 1, &parms::doColor),
    PRM_Template(PRM_TOGGLE, 1, &parms::doVelocity),
    PRM_Template(PRM_FLT, 1, &parms::noiseFreq, &freqDefault),
    PRM_Template(PRM_FLT, 1, &parms::noiseAmp, &ampDefault),
    PRM_Template(PRM_INT, 1, &parms::noiseOctaves, PRMoneDefaults),
    PRM_Template(PRM_FLT, 1, &parms::noiseRoughness, &parms::halfDefault),
    PRM_Template(PRM_SEPARATOR, 0, &parms::separator2),
    PRM_Template(PRM_STRING, 1, &parms::densityAttrib, &parms::densityDefault),
    PRM_Template(PRM_STRING, 1, &parms::radiusAttrib, &parms::pscaleDefault),
    PRM_Template(PRM_STRING, 1, &parms::normalsAttrib, &parms::normalsDefault),
    PRM_Template(PRM_STRING, 1, &parms::noiseOffsetAttrib, &parms::noiseoffsetDefault),
    PRM_Template(PRM_STRING, 1, &parms::colorAttrib, &parms::colorDefault),
    PRM_Template(PRM_STRING, 1, &parms::velocityAttrib, &parms::velocityDefault),
    PRM_Template(PRM_STRING, 1, &parms::uvAttrib, &parms::uvDefault),
    PRM_Template(PRM_STRING, 1, &parms::upAttrib, &parms::upvectorDefault),
    PRM_Template(),
};

// How a curve's density is shaped, as the cook evaluated it.
struct CastSettings
{
    int octaves;
    float roughness;
    float noiseFreq;
    float noiseAmp;
    double densityMult;
    int doNoise;
    int doColor;
};

// The fractal noise at voxel centre P for the foot on the curve. Each axis of
// the offset from the foot is scaled by the sum of the three frame vectors'
// components on that axis (not normalised, no dot products), then moved by
// the interpolated uv.
static double curveNoise(const CurveSamples &curve, const SegmentFoot &foot, const UT_Vector3 &P,
                         const CastSettings &s)
{
    UT_Vector3 U = foot.blend3(curve.uv);
    UT_Vector3 N = foot.blend3(curve.normal);
    UT_Vector3 W = foot.blend3(curve.up);
    UT_Vector3 S(N.y() * W.z() - N.z() * W.y(), N.z() * W.x() - N.x() * W.z(), N.x() * W.y() - N.y() * W.x());
    UT_Vector3 q;
    for (int c = 0; c < 3; ++c) q[c] = s.noiseFreq * ((N[c] + W[c] + S[c]) * (P[c] - foot.Q[c])) + U[c];
    return fractalNoise(q, s.octaves, s.roughness);
}

// What one curve adds to voxel (x, y, z) centred at P: the linear profile
// inside the interpolated radius, times the density, optionally times noise.
// Only positive values are added, so noise carves but never subtracts.
// The rows of one (y, z) a cast writes: density, and the colour fields when
// colour is on.
struct CastRows
{
    CastRows(VolumeSet &v, int colourVolume, bool colour, int y, int z)
        : density(v.handle(0), y, z),
          colour{{v.handle(colour ? colourVolume : 0), y, z},
                 {v.handle(colour ? colourVolume + 1 : 0), y, z},
                 {v.handle(colour ? colourVolume + 2 : 0), y, z}}
    {
    }
    VoxelRow density;
    VoxelRow colour[3];
};

static void castVoxel(const CurveSamples &curve, const UT_Vector3 &P, int x, const CastSettings &s, CastRows &rows,
                      int &hint)
{
    SegmentFoot foot;
    if (!nearestSegment(curve, P, foot, hint)) return;
    hint = foot.k;
    float r = foot.blend(curve.radius);
    if (!(r >= foot.d)) return;

    double n = s.doNoise ? curveNoise(curve, foot, P, s) : 0.0;
    float a = foot.blend(curve.density);
    float v = float(double((r - foot.d) / r) * s.densityMult * double(a));
    if (s.doNoise) v = float(double(v) * (double(s.noiseAmp) * n));
    if (!(v > 0.0f)) return;

    rows.density.accumulateSingle(x, v);
    if (s.doColor)
    {
        // The curve's interpolated colour wherever it lays density, as the
        // threaded operator does.
        UT_Vector3 c = foot.blend3(curve.colour);
        for (int i = 0; i < 3; ++i) rows.colour[i].accumulateSingle(x, c[i]);
    }
}

static int fillVolume(GU_Detail *gdp, const char *densityName, const char *radiusName, const char *normalsName,
                      const char *uvName, const char *upName, const char *colorName, int octaves, float roughness,
                      float noiseFreq, float noiseAmp, double densityMult, int doNoise, int doColor, int doVelocity,
                      unsigned *divs, double *size, double *centre, float *extension, bool boundsFromPoints)
{
    std::vector<const char *> names = {fields::density};
    if (doVelocity) names.insert(names.end(), fields::velocity, fields::velocity + 3);
    const int colourVolume = int(names.size());
    if (doColor) names.insert(names.end(), fields::colour, fields::colour + 3);
    VolumeSet volumes = setupVolumes(gdp, divs, size, centre, extension, boundsFromPoints, "/obj/strandcast:0", names);
    const GU_PrimVolume *densityVolume = volumes.volume(0);

    // The input's primitives come first, the volumes just built after them.
    const GA_Size nCurves = gdp->getNumPrimitives() - GA_Size(volumes.size());
    CurveAttribs attribs =
        findCurveAttribs(gdp, densityName, radiusName, normalsName, upName, uvName, doColor ? colorName : nullptr);
    CastSettings settings{octaves, roughness, noiseFreq, noiseAmp, densityMult, doNoise, doColor};
    VoxelCentres centres(densityVolume);

    // Curves in order, each over the voxels it can reach: every voxel still
    // receives its contributions in curve order.
    CurveSamples curve;
    const SlabRange slab(volumes.handle(0));
    for (GA_Size j = 0; j < nCurves; ++j)
    {
        const GEO_Primitive *prim = gdp->getGEOPrimitive(j);
        curve.readPlace(prim, attribs);
        if (centres.missesKeptZ(curve)) continue;
        curve.readShading(prim, attribs, doNoise != 0, doColor != 0);
        CurveReach reach = centres.reach(curve);
        if (!slab.clip(reach.bounds.lo[2], reach.bounds.hi[2])) continue;
        for (int z = reach.bounds.lo[2]; z < reach.bounds.hi[2]; ++z)
            for (int y = reach.bounds.lo[1]; y < reach.bounds.hi[1]; ++y)
            {
                int begin, end;
                reach.row(y, z, begin, end);
                if (begin >= end) continue;
                const GEO_VoxelCentreRow row = densityVolume->centreRow(y, z);
                CastRows rows(volumes, colourVolume, doColor != 0, y, z);
                int hint = -1; // the previous voxel's nearest segment
                for (int x = begin; x < end; ++x) castVoxel(curve, row.at(x), x, settings, rows, hint);
            }
    }
    return 0;
}

OP_ERROR SOP_strandcast::cookMySop(OP_Context &context)
{
    return cookVolumes(context, [&](CookGrid &g) {
        evalFloat3(g, "extendbounds", g.extension);
        // The next four are evaluated and never used: the operator's defined
        // behaviour.
        evalInt(g, "childrencount");
        evalInt(g, "extendvoxels");
        evalInt(g, "reverseprimorder");
        evalString(g, "noiseoffsetattrib");
        UT_String colorName = evalString(g, "colorattrib");
        UT_String densityName = evalString(g, "densityattrib");
        UT_String radiusName = evalString(g, "radiusattrib");
        UT_String normalsName = evalString(g, "normalsattrib");
        UT_String uvName = evalString(g, "uvattrib");
        UT_String upName = evalString(g, "upattrib");
        double densityMult = evalFloat(g, "densitymult");
        int doNoise = evalInt(g, "donoise");
        int doColor = evalInt(g, "docolor");
        int doVelocity = evalInt(g, "dovelocity");
        float noiseFreq = evalFloat(g, "noisefreq");
        float noiseAmp = evalFloat(g, "noiseamp");
        int octaves = evalInt(g, "noiseoctaves");
        float roughness = evalFloat(g, "noiseroughness");
        fillVolume(gdp, densityName, radiusName, normalsName, uvName, upName, colorName, octaves, roughness, noiseFreq,
                   noiseAmp, densityMult, doNoise, doColor, doVelocity, g.divs, g.size, g.centre, g.extension,
                   g.boundsFromPoints);
    });
}

} // namespace strandcast

SOP_PLUGIN_ENTRY_TRAITS(strandcast::SOP_strandcast, "strandcast", "Strandcast", 2,
                        curves::strandcastTraits(curves::strandcastCost))
