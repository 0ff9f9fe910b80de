// SPDX-License-Identifier: Apache-2.0
// skinweaveMT: skinweave with each quad's splats spread over the host's
// worker threads. Every job places every child of the quad; the jobs share
// out the voxels of each splat row and update one voxel at a time under the
// pass's lock.
#include <cstdio>
#include "PluginEntry.h"
#include "SurfaceWispsTraits.h"
#include "SingleGrid.h"
#include "SurfaceWisps.h"
#include "UT/UT_Interrupt.h"
#include "UT/UT_ThreadedAlgorithm.h"

namespace skinweaveMT
{

// One quad and everything its threaded pass needs, copied into every job.
struct PrimQuadData
{
    int childrenCount = 0;
    QuadCorners corners; // positions, uv, colours, velocities, noise offsets, normals, densities, radii
    float noiseFreq[3] = {0, 0, 0};
    float noiseAmp[3] = {0, 0, 0};
    float densityMult = 0;
    int noiseOctaves = 0;
    float noiseRoughness = 0;
    float divs[3] = {2, 2, 2};
    float size[3] = {0, 0, 0};
    int extendVoxels = 0;
    // density, vel.x, vel.y, vel.z, Cd.x, Cd.y, Cd.z; empty / null when not built.
    UT_VoxelArrayWriteHandleF handles[7];
    GU_PrimVolume *volumes[7] = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};
    int doColor = 0;
    int doVelocity = 0;
    int feather = 0;
};

class SOP_skinweaveMT : public SOP_SurfaceWisps<SOP_skinweaveMT>
{
public:
    SOP_skinweaveMT(OP_Network *net, const char *name, OP_Operator *op) : SOP_SurfaceWisps(net, name, op) {}

protected:
    OP_ERROR cookMySop(OP_Context &context) override;

private:
    void fillVolume(SurfaceWispsVolumeData data);
    void layQuads(PrimQuadData &quad, const SurfaceAttribs &attribs, GA_Size quads, bool reverseOrder);
    int fillPrimitiveQuadInvokePartial(PrimQuadData data, const UT_JobInfo &info);
    void fillPrimitiveQuadPartial(PrimQuadData data, const UT_JobInfo &info);
};

// The job's share of each splat row, and the pass's lock around each voxel.
struct JobRow
{
    const UT_JobInfo &info;
    void share(int units, int &start, int &end) const { info.divideWork(units, start, end); }
    void lock() const { info.lock(); }
    void unlock() const { info.unlock(); }
};

// The quad record's volume slots (density, vel.x/y/z, Cd.x/y/z) from the
// volumes built, which come in slot order, skipping those not asked for.
static void takeVolumes(PrimQuadData &quad, VolumeSet &volumes, bool doVelocity, bool doColor)
{
    size_t built = 0;
    for (int slot = 0; slot < 7; ++slot)
    {
        bool wanted = slot == 0 || (slot <= 3 ? doVelocity : doColor);
        if (!wanted) continue;
        quad.handles[slot] = volumes.handle(built);
        quad.volumes[slot] = volumes.volume(built);
        ++built;
    }
}

// The quad record's settings, in the single precision its jobs use, on the
// grid as clamped.
static PrimQuadData quadSettings(const SurfaceWispsVolumeData &data, const unsigned divs[3], const double size[3])
{
    PrimQuadData quad;
    quad.childrenCount = data.childrenCount;
    for (int a = 0; a < 3; ++a)
    {
        quad.noiseFreq[a] = data.noiseFreq[a];
        quad.noiseAmp[a] = data.noiseAmp[a];
        quad.divs[a] = float(divs[a]);
        quad.size[a] = float(size[a]);
    }
    quad.densityMult = float(data.densityMult);
    quad.noiseOctaves = data.noiseOctaves;
    quad.noiseRoughness = data.noiseRoughness;
    quad.extendVoxels = data.extendVoxels;
    quad.doColor = data.doColor;
    quad.doVelocity = data.doVelocity;
    quad.feather = data.feather;
    return quad;
}

// The children's noise walk, as every job of a quad's pass evaluates it.
static ChildNoise childNoise(const PrimQuadData &quad)
{
    return ChildNoise{{quad.noiseFreq[0], quad.noiseFreq[1], quad.noiseFreq[2]},
                      {quad.noiseAmp[0], quad.noiseAmp[1], quad.noiseAmp[2]},
                      quad.noiseOctaves,
                      quad.noiseRoughness};
}

// What a quad's children can reach: the density volume and the grid.
static SplatTarget quadReach(PrimQuadData &quad)
{
    SplatTarget reach;
    reach.densityVolume = quad.volumes[0];
    reach.density = &quad.handles[0];
    for (int a = 0; a < 3; ++a)
    {
        reach.res[a] = int(quad.divs[a]);
        reach.size[a] = quad.size[a];
    }
    reach.extendVoxels = quad.extendVoxels;
    return reach;
}

void SOP_skinweaveMT::fillVolume(SurfaceWispsVolumeData data)
{
    // Division counts below 2 (negative included) become 2, sizes below 0
    // become 0.
    unsigned divs[3];
    double size[3], center[3];
    clampSingleGrid(data.divs, data.size, divs, size);
    for (int a = 0; a < 3; ++a) center[a] = data.center[a];
    // The volumes carry plumeweave's object path, not skinweave's: the
    // operator's defined behaviour.
    VolumeSet volumes = buildSurfaceVolumes(gdp, divs, size, center, data.extendBounds, data.boundsFromPoints,
                                            "/obj/plumeweave:0", data.doVelocity, data.doColor,
                                            data.useCamFrustum, data.camPath, data.context);

    PrimQuadData quad = quadSettings(data, divs, size);
    takeVolumes(quad, volumes, data.doVelocity != 0, data.doColor != 0);
    SurfaceAttribs attribs(gdp, data.densityAttrib, data.radiusAttrib, data.normalsAttrib, data.noiseOffsetAttrib,
                           data.colorAttrib, data.uvAttrib, data.velocityAttrib);
    const GA_Size quads = gdp->getNumPrimitives() - GA_Size(volumes.size());
    layQuads(quad, attribs, quads, data.reversePrimOrder != 0);
}

// One threaded pass per quad, in primitive order; quads whose children
// cannot reach the slab start none.
void SOP_skinweaveMT::layQuads(PrimQuadData &quad, const SurfaceAttribs &attribs, GA_Size quads, bool reverseOrder)
{
    const SplatTarget reach = quadReach(quad);
    const ChildNoise noise = childNoise(quad);
    UT_Functor2<int, PrimQuadData, const UT_JobInfo &> partial(this, &SOP_skinweaveMT::fillPrimitiveQuadInvokePartial);
    UT_Interrupt *interrupt = UTgetInterrupt();
    for (GA_Size i = 0; i < quads; ++i)
    {
        const GEO_Primitive *prim = gdp->getGEOPrimitive(GA_Offset(i));
        if (prim->getVertexCount() != 4)
        {
            printf("WARNING: Skipping non quad primitive no. %i\n", int(i));
            continue;
        }
        quad.corners.read(gdp, prim, attribs, reverseOrder);
        if (quadMissesSlab(reach, quad.corners, noise, quad.feather == 1))
        {
            if (interrupt->opInterrupt()) break;
            continue;
        }

        UT_ThreadedAlgorithm pass(-1);
        pass.run(UT_BindFirst1(partial, quad));
        if (interrupt->opInterrupt()) break;
    }
}

int SOP_skinweaveMT::fillPrimitiveQuadInvokePartial(PrimQuadData data, const UT_JobInfo &info)
{
    PrimQuadData copy = data;
    fillPrimitiveQuadPartial(copy, info);
    return 0;
}

void SOP_skinweaveMT::fillPrimitiveQuadPartial(PrimQuadData data, const UT_JobInfo &info)
{
    SplatTarget target = quadReach(data);
    for (int k = 0; k < 3; ++k)
    {
        target.velocity[k] = &data.handles[1 + k];
        target.colour[k] = &data.handles[4 + k];
    }
    target.densityMult = data.densityMult;
    target.doColor = data.doColor != 0;
    target.doVelocity = data.doVelocity != 0;

    ChildNoise noise = childNoise(data);
    const JobRow row{info};
    forEachQuadChild(data.corners, data.childrenCount, noise, target.doColor, target.doVelocity,
                     [&](const QuadChild &child) {
                         if (data.feather == 1)
                             featherSplat(target, child, featherPosition(child, data.noiseAmp), row);
                         else
                             cubeSplat(target, child, cubePosition(child, data.noiseAmp), row);
                         return true;
                     });
}

OP_ERROR SOP_skinweaveMT::cookMySop(OP_Context &context)
{
    return cookVolumes(context, [&](CookGrid &g) { fillVolume(evalSurfaceWisps(g, context)); });
}

} // namespace skinweaveMT

SOP_PLUGIN_ENTRY_TRAITS(skinweaveMT::SOP_skinweaveMT, "skinweaveMT", "SkinweaveMT", 2,
                        surfacewisps::skinweaveTraits(surfacewisps::skinweaveMTCost))
