// SPDX-License-Identifier: Apache-2.0
// strandcastStraightMT: the threaded curves operator. Curves are laid one
// after another; the voxels of each curve are shared among the host's worker
// threads. The noise frame is normalised and the offset projected onto it,
// and the curve's colour is added wherever density is.
#include <cfloat>
#include "CommonParms.h"
#include "Normalise.h"
#include "CurveCast.h"
#include "PluginEntry.h"
#include "CurvesTraits.h"
#include "SingleGrid.h"
#include "SOP_VolumeOperator.h"
#include "UT/UT_Interrupt.h"
#include "UT/UT_ThreadedAlgorithm.h"
#include "VolumeSetup.h"
#include "VoxelRow.h"

namespace strandcastStraightMT
{
using namespace curvecast;

// What every job of one curve's run gets, by value. The write handles share
// the voxel arrays.
struct CurveVolumeData
{
    GEO_Primitive *curve = nullptr;
    GEO_PrimVolume *volume = nullptr;
    UT_VoxelArrayWriteHandleF handles[4]; // density, Cd.x, Cd.y, Cd.z
    float divisions[3] = {0, 0, 0};
    float densityMult = 0;
    float noiseAmp = 0;
    float noiseFreq = 0;
    int noiseOctaves = 0;
    float noiseRoughness = 0;
    // Set for every run and never read (the samples carry the values): the
    // operator's defined behaviour.
    GA_RWAttributeRef densityRef, radiusRef, normalsRef, upRef, colourRef, uvRef;
    int doNoise = 0;
    int doColor = 0;
    // The curve's vertices and values, read once on the cook thread, and the
    // voxels it can reach.
    const CurveSamples *samples = nullptr;
    const CurveReach *reach = nullptr;
};

// The operator's parameters as the fill takes them, the grid in floats.
struct CurveCookParms
{
    UT_String densityName, radiusName, normalsName, uvName, colorName, upName;
    int doVelocity = 0, doColor = 0, doNoise = 0;
    double densityMult = 0;
    float noiseAmp = 0, noiseFreq = 0, roughness = 0;
    int octaves = 0;
    bool boundsFromPoints = true;
    UT_Vector3 divisions, size, centre, extension;
};

class SOP_strandcastStraightMT : public SOP_VolumeOperator<SOP_strandcastStraightMT>
{
public:
    SOP_strandcastStraightMT(OP_Network *net, const char *name, OP_Operator *op) : SOP_VolumeOperator(net, name, op) {}
    static PRM_Template myTemplateList[];

protected:
    OP_ERROR cookMySop(OP_Context &context) override;

private:
    CurveCookParms evalCurveParms(const CookGrid &g) const;
    void fillVolume(CurveCookParms p);
    void castCurves(CurveVolumeData &data, const CurveAttribs &attribs, GA_Size curves);
    int fillCurvePrimInvokePartial(CurveVolumeData data, const UT_JobInfo &info);
    void fillCurvePrimPartial(CurveVolumeData data, const UT_JobInfo &info);
};

static PRM_Default freqDefault(1);
static PRM_Default ampDefault(1);


PRM_Template SOP_strandcastStraightMT::myTemplateList[] = {
    PRM_Template(PRM_INT, 3, &parms::divs, parms::divsDefault),
    PRM_Template(PRM_FLT, 3, &parms::extendBounds, parms::oneDefault),
    PRM_Template(PRM_SEPARATOR, 0, &parms::separator1),
    PRM_Template(PRM_FLT, 1, &parms::densityMult, PRMoneDefaults),
    PRM_Template(PRM_INT, 1, &parms::extendVoxels, PRMoneDefaults),
    PRM_Template(PRM_TOGGLE, 1, &parms::doNoise),
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
    PRM_Template(PRM_STRING, 1, &parms::colorAttrib, &parms::colorDefault),
    PRM_Template(PRM_STRING, 1, &parms::velocityAttrib, &parms::velocityDefault),
    PRM_Template(PRM_STRING, 1, &parms::uvAttrib, &parms::uvDefault),
    PRM_Template(PRM_STRING, 1, &parms::upAttrib, &parms::upvectorDefault),
    PRM_Template(),
};

// The fractal noise at voxel centre P: the offset from the foot projected
// onto the curve's unit normal, up and their cross product, scaled by the
// frequency and moved by the interpolated uv.
static double curveNoise(const CurveVolumeData &D, const SegmentFoot &foot, const UT_Vector3 &P)
{
    const CurveSamples &curve = *D.samples;
    UT_Vector3 U = foot.blend3(curve.uv);
    UT_Vector3 N = foot.blend3(curve.normal);
    UT_Vector3 W = foot.blend3(curve.up);
    UT_Vector3 S(N.y() * W.z() - N.z() * W.y(), N.z() * W.x() - N.x() * W.z(), N.x() * W.y() - N.y() * W.x());
    normaliseInPlace(N);
    normaliseInPlace(W);
    normaliseInPlace(S);
    UT_Vector3 delta = P - foot.Q;
    UT_Vector3 q(U.x() + D.noiseFreq * N.dot(delta), U.y() + D.noiseFreq * W.dot(delta),
                 U.z() + D.noiseFreq * S.dot(delta));
    return fractalNoise(q, D.noiseOctaves, D.noiseRoughness);
}

// What the curve adds to voxel (x, y, z): the linear profile inside the
// interpolated radius, times the density, optionally times noise; colour is
// added unweighted wherever density is. Only positive values are added, and
// only under the job lock.
static void castVoxel(CurveVolumeData &D, const UT_JobInfo &info, int x, const UT_Vector3 &P, VoxelRow rows[4],
                      int &hint)
{
    const CurveSamples &curve = *D.samples;
    SegmentFoot foot;
    if (!nearestSegment(curve, P, foot, hint)) return;
    hint = foot.k;
    float r = foot.blend(curve.radius);
    if (!(r >= foot.d)) return;

    const bool noisy = D.doNoise == 1;
    double n = noisy ? curveNoise(D, foot, P) : 0.0;
    float a = foot.blend(curve.density);
    float v = (r - foot.d) / r * D.densityMult * a;
    if (noisy) v = float(double(v) * (double(D.noiseAmp) * n));
    if (!(v > 0.0f)) return;

    UT_Vector3 c = D.doColor ? foot.blend3(curve.colour) : UT_Vector3(0, 0, 0);
    info.lock();
    rows[0].accumulateSingle(x, v);
    if (D.doColor)
        for (int i = 0; i < 3; ++i) rows[1 + i].accumulateSingle(x, c[i]);
    info.unlock();
}

int SOP_strandcastStraightMT::fillCurvePrimInvokePartial(CurveVolumeData data, const UT_JobInfo &info)
{
    fillCurvePrimPartial(data, info);
    return 0;
}

// This job's share of the curve: the reachable part of every row of the
// curve's block is divided among the jobs, so each voxel belongs to exactly
// one job.
void SOP_strandcastStraightMT::fillCurvePrimPartial(CurveVolumeData D, const UT_JobInfo &info)
{
    const VoxelSpan &bounds = D.reach->bounds;
    for (int z = bounds.lo[2]; z < bounds.hi[2]; ++z)
        for (int y = bounds.lo[1]; y < bounds.hi[1]; ++y)
        {
            // The rows below the reach are empty, but an interruption seen
            // after them stops the slice before any reachable row: only the
            // slice's first row (y = 0) is laid once the user asked to stop.
            if (y == bounds.lo[1] && y > 0 && UTgetInterrupt()->opInterrupt(-1)) break;
            int begin, end, start, stop;
            D.reach->row(y, z, begin, end);
            info.divideWork(end - begin, start, stop);
            if (start < stop)
            {
                const GEO_VoxelCentreRow centres = D.volume->centreRow(y, z);
                VoxelRow rows[4] = {{D.handles[0], y, z}, {D.handles[1], y, z}, {D.handles[2], y, z},
                                    {D.handles[3], y, z}};
                int hint = -1; // the previous voxel's nearest segment
                for (int x = begin + start; x < begin + stop; ++x) castVoxel(D, info, x, centres.at(x), rows, hint);
            }
            // An interruption thins the rest of this slice to its first row.
            if (UTgetInterrupt()->opInterrupt(-1)) break;
        }
}

// The attribute references every run carries (and never reads).
static void keepAttribRefs(CurveVolumeData &data, const CurveAttribs &attribs)
{
    data.densityRef = attribs.density;
    data.radiusRef = attribs.radius;
    data.normalsRef = attribs.normals;
    data.upRef = attribs.up;
    data.colourRef = attribs.colour;
    data.uvRef = attribs.uv;
}

// The run record's part that holds for every curve: the volumes written
// and the settings, in the precision the voxel rule uses.
static void runSettings(CurveVolumeData &data, const CurveCookParms &p, VolumeSet &volumes, size_t colourVolume)
{
    data.volume = volumes.volume(0);
    data.handles[0] = volumes.handle(0);
    if (p.doColor)
        for (int i = 0; i < 3; ++i) data.handles[1 + i] = volumes.handle(colourVolume + i);
    for (int a = 0; a < 3; ++a) data.divisions[a] = p.divisions[a];
    data.densityMult = float(p.densityMult);
    data.noiseAmp = p.noiseAmp;
    data.noiseFreq = p.noiseFreq;
    data.noiseOctaves = p.octaves;
    data.noiseRoughness = p.roughness;
}

void SOP_strandcastStraightMT::fillVolume(CurveCookParms p)
{
    // The grid arrives as floats and is clamped as such, in place: the run
    // record takes the clamped division counts.
    unsigned divs[3];
    double sizeD[3], centreD[3];
    float ext[3];
    clampSingleGrid(p.divisions.data(), p.size.data(), divs, sizeD);
    for (int a = 0; a < 3; ++a)
    {
        centreD[a] = p.centre[a];
        ext[a] = p.extension[a];
    }
    std::vector<const char *> names = {fields::density};
    if (p.doVelocity) names.insert(names.end(), fields::velocity, fields::velocity + 3);
    const size_t colourVolume = names.size();
    if (p.doColor) names.insert(names.end(), fields::colour, fields::colour + 3);
    VolumeSet volumes = setupVolumes(gdp, divs, sizeD, centreD, ext, p.boundsFromPoints, "/obj/strandcast:0", names);

    const GA_Size nCurves = gdp->getNumPrimitives() - GA_Size(volumes.size());
    CurveAttribs attribs =
        findCurveAttribs(gdp, p.densityName, p.radiusName, p.normalsName, p.upName, p.uvName, p.colorName);

    CurveVolumeData data;
    runSettings(data, p, volumes, colourVolume);
    keepAttribRefs(data, attribs);
    data.doNoise = p.doNoise;
    data.doColor = p.doColor;
    castCurves(data, attribs, nCurves);
}

// One run per curve, strictly in order: a curve's contributions are
// complete before the next curve starts. A curve that reaches no voxel of
// the slab starts none.
void SOP_strandcastStraightMT::castCurves(CurveVolumeData &data, const CurveAttribs &attribs, GA_Size curves)
{
    VoxelCentres centres(data.volume);
    CurveSamples samples;
    CurveReach reach;
    data.samples = &samples;
    data.reach = &reach;
    const SlabRange slab(data.handles[0]);
    for (GA_Size j = 0; j < curves; ++j)
    {
        data.curve = gdp->getGEOPrimitive(j);
        samples.readPlace(data.curve, attribs);
        if (centres.missesKeptZ(samples)) continue;
        samples.readShading(data.curve, attribs, data.doNoise != 0, data.doColor != 0);
        reach = centres.reach(samples);
        if (reach.empty() || !slab.clip(reach.bounds.lo[2], reach.bounds.hi[2])) continue;
        UT_ThreadedAlgorithm algorithm(-1);
        UT_Functor2<int, CurveVolumeData, const UT_JobInfo &> partial(
            this, &SOP_strandcastStraightMT::fillCurvePrimInvokePartial);
        algorithm.run(UT_BindFirst1(partial, data));
    }
}

CurveCookParms SOP_strandcastStraightMT::evalCurveParms(const CookGrid &g) const
{
    CurveCookParms p;
    float extension[3];
    evalFloat3(g, "extendbounds", extension);
    p.densityName = evalString(g, "densityattrib");
    p.radiusName = evalString(g, "radiusattrib");
    p.normalsName = evalString(g, "normalsattrib");
    p.uvName = evalString(g, "uvattrib");
    p.colorName = evalString(g, "colorattrib");
    p.upName = evalString(g, "upattrib");
    p.doVelocity = evalInt(g, "dovelocity");
    p.doColor = evalInt(g, "docolor");
    p.doNoise = evalInt(g, "donoise");
    p.densityMult = evalFloat(g, "densitymult");
    p.noiseAmp = evalFloat(g, "noiseamp");
    p.noiseFreq = evalFloat(g, "noisefreq");
    p.roughness = evalFloat(g, "noiseroughness");
    p.octaves = evalInt(g, "noiseoctaves");
    p.boundsFromPoints = g.boundsFromPoints;
    p.divisions = UT_Vector3(float(g.divs[0]), float(g.divs[1]), float(g.divs[2]));
    p.size = UT_Vector3(float(g.size[0]), float(g.size[1]), float(g.size[2]));
    p.centre = UT_Vector3(float(g.centre[0]), float(g.centre[1]), float(g.centre[2]));
    p.extension = UT_Vector3(extension[0], extension[1], extension[2]);
    return p;
}

OP_ERROR SOP_strandcastStraightMT::cookMySop(OP_Context &context)
{
    return cookVolumes(context, [&](CookGrid &g) { fillVolume(evalCurveParms(g)); });
}

} // namespace strandcastStraightMT

SOP_PLUGIN_ENTRY_TRAITS(strandcastStraightMT::SOP_strandcastStraightMT, "strandcastStraightMT", "StrandcastStraightMT", 2,
                        curves::strandcastTraits(curves::strandcastStraightMTCost))
