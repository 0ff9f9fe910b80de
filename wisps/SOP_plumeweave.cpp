// SPDX-License-Identifier: Apache-2.0
// plumeweave: every input point becomes a wisp of noise-displaced children
// splatted into a density volume.
#include <cmath>
#include "CommonParms.h"
#include "PluginEntry.h"
#include "WispsTraits.h"
#include "SegmentFunctions.h"
#include "SlabReach.h"
#include "SOP_VolumeOperator.h"
#include "UT/UT_Interrupt.h"
#include "VolumeSetup.h"
#include "VoxelRow.h"
#include "WispWalk.h"

namespace plumeweave
{

class SOP_plumeweave : public SOP_VolumeOperator<SOP_plumeweave>
{
public:
    SOP_plumeweave(OP_Network *net, const char *name, OP_Operator *op) : SOP_VolumeOperator(net, name, op) {}
    static PRM_Template myTemplateList[];

protected:
    OP_ERROR cookMySop(OP_Context &context) override;
};



PRM_Template SOP_plumeweave::myTemplateList[] = {
    PRM_Template(PRM_INT, 3, &parms::divs, parms::divsDefault),
    PRM_Template(PRM_FLT, 3, &parms::extendBounds, parms::oneDefault),
    PRM_Template(PRM_SEPARATOR, 1, nullptr),
    PRM_Template(PRM_INT, 1, &parms::childrenCount, &parms::oneHundredDefault),
    PRM_Template(PRM_FLT, 1, &parms::densityMult, PRMoneDefaults),
    PRM_Template(PRM_TOGGLE, 1, &parms::feather),
    PRM_Template(PRM_FLT, 3, &parms::noiseFreq, parms::oneDefault),
    PRM_Template(PRM_FLT, 1, &parms::noiseAmp, PRMoneDefaults),
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

// Adds a child's linear falloff to the 27 voxels around it.
static void depositBlock(UT_VoxelArrayWriteHandleF &density, const GU_PrimVolume *vol, const unsigned divs[3],
                         const UT_Vector3 &Q, float r, double rhoM)
{
    int i, j, k;
    vol->posToIndex(Q, i, j, k);
    const SlabRange slab(density);
    for (int dz = -1; dz <= 1; ++dz)
    {
        if (!slab.contains((long long)k + dz)) continue;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
            {
                int x = i + dx, y = j + dy, z = k + dz;
                UT_Vector3 centre;
                vol->indexToPos(x, y, z, centre);
                float d = dist3D(centre, Q);
                double w = (double(r) - double(d)) / double(r);
                if (w < 0) w = 0;
                if (w > 1000000) w = 1000000;
                if (x < 0 || y < 0 || z < 0 || x >= int(divs[0]) || y >= int(divs[1]) || z >= int(divs[2])) continue;
                double value = w * rhoM;
                if (value > 0) accumulateVoxel(density, x, y, z, value);
            }
    }
}

// Voxels the feather sphere of radius r may reach from index i on one axis.
static int featherReach(float r, double size, unsigned divs)
{
    double e = std::ceil(double(r) / (size / double(divs)));
    if (e != e || e <= 0) return 0;
    return e >= double(divs) ? int(divs) : int(e);
}

// Adds a child's linear falloff to every voxel within r of it.
static void depositFeather(UT_VoxelArrayWriteHandleF &density, const GU_PrimVolume *vol, const unsigned divs[3],
                           const double size[3], const UT_Vector3 &Q, float r, double rhoM)
{
    int idx[3];
    vol->posToIndex(Q, idx[0], idx[1], idx[2]);
    int lo[3], hi[3];
    for (int a = 0; a < 3; ++a)
    {
        int n = int(divs[a]);
        idx[a] = idx[a] < 0 ? 0 : (idx[a] > n - 1 ? n - 1 : idx[a]);
        int e = featherReach(r, size[a], divs[a]);
        lo[a] = idx[a] - e > 0 ? idx[a] - e : 0;
        hi[a] = idx[a] + e < n ? idx[a] + e : n;
    }
    if (!SlabRange(density).clip(lo[2], hi[2])) return;
    for (int z = lo[2]; z < hi[2]; ++z)
        for (int y = lo[1]; y < hi[1]; ++y)
        {
            const GEO_VoxelCentreRow centres = vol->centreRow(y, z);
            VoxelRow row(density, y, z);
            for (int x = lo[0]; x < hi[0]; ++x)
            {
                float d = dist3D(centres.at(x), Q);
                if (!(r >= d)) continue;
                double value = double((r - d) / r) * rhoM;
                if (value > 0) row.accumulate(x, value);
            }
        }
}

static int fillVolume(GU_Detail *gdp, const char *densityName, const char *radiusName, const char *normalsName,
                      const char *upName, const char *noiseOffsetName, const char *colorName, int childrenCount,
                      int octaves, float roughness, unsigned *divs, double *size, double *centre, float *extension,
                      float *noiseFreq, float noiseAmp, double densityMult, int feather, bool boundsFromPoints)
{
    VolumeSet volumes = setupVolumes(gdp, divs, size, centre, extension, boundsFromPoints, "/obj/plumeweave:0",
                                     {fields::density, fields::colour[0], fields::colour[1], fields::colour[2]});
    const GU_PrimVolume *densityVolume = volumes.volume(0);
    UT_VoxelArrayWriteHandleF &density = volumes.handle(0);

    WispNoise noise;
    for (int a = 0; a < 3; ++a) noise.freq[a] = noiseFreq[a];
    noise.amplitude = noiseAmp;
    noise.octaves = octaves;
    noise.roughness = roughness;

    // Every child lies within the walk's reach of its point: a wisp that
    // cannot touch the slab is not walked at all.
    const SlabRange slab(density);
    const double walkReach = std::fabs(double(noise.amplitude)) * fractalNoiseBound(octaves, roughness);

    UT_Interrupt *interrupt = UTgetInterrupt();
    GA_Size inputPoints = gdp->getNumPoints() - GA_Size(volumes.size());
    for (GA_Offset pt = 0; pt < inputPoints; ++pt)
    {
        UT_Vector3 P = gdp->getPos3(pt);
        float rho, r, unused[3];
        UT_Vector3 offset;
        readPointAttrib(gdp, densityName, pt, &rho, 1);
        readPointAttrib(gdp, radiusName, pt, &r, 1);
        readPointAttrib(gdp, noiseOffsetName, pt, offset.data(), 3);
        // Read as the operator always has; they do not shape the wisp.
        readPointAttrib(gdp, normalsName, pt, unused, 3);
        readPointAttrib(gdp, upName, pt, unused, 3);
        readPointAttrib(gdp, colorName, pt, unused, 3);
        double rhoM = double(rho) * densityMult;
        const double splatReach = feather == 1 ? featherReach(r, size[2], divs[2]) : 1;
        if (slabMissesWorldZ(densityVolume, slab, double(P.z()) - walkReach, double(P.z()) + walkReach, splatReach))
            continue;

        for (int child = 0; child < childrenCount; ++child)
        {
            UT_Vector3 Q = wispChildPosition(P, offset, child, noise);
            if (feather == 1)
                depositFeather(density, densityVolume, divs, size, Q, r, rhoM);
            else
                depositBlock(density, densityVolume, divs, Q, r, rhoM);
            if (interrupt->opInterrupt()) break;
        }
    }
    return 0;
}

OP_ERROR SOP_plumeweave::cookMySop(OP_Context &context)
{
    return cookVolumes(context, [&](CookGrid &g) {
        float noiseFreq[3];
        evalFloat3(g, "noisefreq", noiseFreq);
        evalFloat3(g, "extendbounds", g.extension);
        UT_String densityName = evalString(g, "densityattrib");
        UT_String radiusName = evalString(g, "radiusattrib");
        UT_String normalsName = evalString(g, "normalsattrib");
        UT_String upName = evalString(g, "upvectorattrib");
        UT_String noiseOffsetName = evalString(g, "noiseoffsetattrib");
        UT_String colorName = evalString(g, "colorattrib");
        int feather = evalInt(g, "feather");
        double densityMult = evalFloat(g, "densitymult");
        float noiseAmp = evalFloat(g, "noiseamp");
        float roughness = evalFloat(g, "noiseroughness");
        int octaves = evalInt(g, "noiseoctaves");
        int childrenCount = evalInt(g, "childrencount");
        fillVolume(gdp, densityName, radiusName, normalsName, upName, noiseOffsetName, colorName, childrenCount,
                   octaves, roughness, g.divs, g.size, g.centre, g.extension, noiseFreq, noiseAmp, densityMult,
                   feather, g.boundsFromPoints);
    });
}

} // namespace plumeweave

SOP_PLUGIN_ENTRY_TRAITS(plumeweave::SOP_plumeweave, "plumeweave", "Plumeweave", 2,
                        wisps::plumeweaveTraits())
