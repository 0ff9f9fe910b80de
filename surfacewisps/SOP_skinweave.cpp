// SPDX-License-Identifier: Apache-2.0
// skinweave: a grid of noise-displaced children laid over every quad of the
// input, splatted into density (and on request colour and velocity), the
// density optionally laid out as a camera's view frustum.
#include <cstdio>
#include "PluginEntry.h"
#include "SurfaceWispsTraits.h"
#include "SurfaceWisps.h"
#include "UT/UT_Interrupt.h"

namespace skinweave
{

class SOP_skinweave : public SOP_SurfaceWisps<SOP_skinweave>
{
public:
    SOP_skinweave(OP_Network *net, const char *name, OP_Operator *op) : SOP_SurfaceWisps(net, name, op) {}

protected:
    OP_ERROR cookMySop(OP_Context &context) override;
};

static void fillVolume(GU_Detail *gdp, const char *densityName, const char *radiusName, const char *normalsName,
                       const char *noiseOffsetName, const char *colorName, const char *uvName,
                       const char *velocityName, int childrenCount, int octaves, float roughness, unsigned *divs,
                       double *size, double *center, float *extendBounds, float *noiseFreq, float *noiseAmp,
                       double densityMult, int feather, int reversePrimOrder, int doColor, int doVelocity,
                       int useCamFrustum, OP_Context context, const char *camPath, int extendVoxels,
                       bool boundsFromPoints)
{
    VolumeSet volumes = buildSurfaceVolumes(gdp, divs, size, center, extendBounds, boundsFromPoints,
                                            "/obj/skinweave:0", doVelocity, doColor, useCamFrustum, camPath,
                                            context);
    SplatTarget target;
    target.densityVolume = volumes.volume(0);
    target.density = &volumes.handle(0);
    size_t next = 1;
    if (doVelocity)
        for (int k = 0; k < 3; ++k) target.velocity[k] = &volumes.handle(next++);
    if (doColor)
        for (int k = 0; k < 3; ++k) target.colour[k] = &volumes.handle(next++);
    for (int a = 0; a < 3; ++a)
    {
        target.res[a] = int(divs[a]);
        target.size[a] = size[a];
    }
    target.densityMult = densityMult;
    target.extendVoxels = extendVoxels;
    target.doColor = doColor != 0;
    target.doVelocity = doVelocity != 0;

    ChildNoise noise{{noiseFreq[0], noiseFreq[1], noiseFreq[2]}, {noiseAmp[0], noiseAmp[1], noiseAmp[2]}, octaves,
                     roughness};
    SurfaceAttribs attribs(gdp, densityName, radiusName, normalsName, noiseOffsetName, colorName, uvName,
                           velocityName);
    UT_Interrupt *interrupt = UTgetInterrupt();

    const GA_Size quads = gdp->getNumPrimitives() - GA_Size(volumes.size());
    for (GA_Size i = 0; i < quads; ++i)
    {
        const GEO_Primitive *prim = gdp->getGEOPrimitive(GA_Offset(i));
        if (prim->getVertexCount() != 4)
        {
            printf("WARNING: Skipping non quad primitive no. %i\n", int(i));
            continue;
        }
        QuadCorners corners;
        corners.read(gdp, prim, attribs, reversePrimOrder != 0);
        if (quadMissesSlab(target, corners, noise, feather == 1)) continue;
        forEachQuadChild(corners, childrenCount, noise, target.doColor, target.doVelocity,
                         [&](const QuadChild &child) {
                             if (feather == 1)
                                 featherSplat(target, child, featherPosition(child, noiseAmp), WholeRow());
                             else
                                 cubeSplat(target, child, cubePosition(child, noiseAmp), WholeRow());
                             // An interrupt skips the rest of the row.
                             return !interrupt->opInterrupt();
                         });
    }
}

OP_ERROR SOP_skinweave::cookMySop(OP_Context &context)
{
    return cookVolumes(context, [&](CookGrid &g) {
        SurfaceWispsVolumeData d = evalSurfaceWisps(g, context);
        fillVolume(gdp, d.densityAttrib, d.radiusAttrib, d.normalsAttrib, d.noiseOffsetAttrib, d.colorAttrib,
                   d.uvAttrib, d.velocityAttrib, d.childrenCount, d.noiseOctaves, d.noiseRoughness, g.divs, g.size,
                   g.centre, d.extendBounds, d.noiseFreq, d.noiseAmp, d.densityMult, d.feather,
                   d.reversePrimOrder, d.doColor, d.doVelocity, d.useCamFrustum, context, d.camPath,
                   d.extendVoxels, g.boundsFromPoints);
    });
}

} // namespace skinweave

SOP_PLUGIN_ENTRY_TRAITS(skinweave::SOP_skinweave, "skinweave", "Skinweave", 2,
                        surfacewisps::skinweaveTraits(surfacewisps::skinweaveCost))
