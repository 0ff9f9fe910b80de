// SPDX-License-Identifier: Apache-2.0
#pragma once
// What skinweave and skinweaveMT share: the parameter list and its
// evaluation, the quad corners, the children laid over a quad, the two splats
// with their per-voxel rule, and the camera-frustum placement of the density
// volume.
#include <algorithm>
#include <cmath>
#include "GXNoise.h"
#include "SegmentFunctions.h"
#include "SlabReach.h"
#include "SOP_VolumeOperator.h"
#include "VolumeSetup.h"
#include "VoxelRow.h"

// ---------------------------------------------------------------------------
// Parameters

// The 24 parameters both operators carry.
extern PRM_Template surfaceWispsTemplateList[];

// Every evaluated parameter of one cook. skinweaveMT hands it to its fill as
// it is; skinweave spreads it over the arguments of its fill.
struct SurfaceWispsVolumeData
{
    UT_String densityAttrib, radiusAttrib, normalsAttrib, noiseOffsetAttrib, colorAttrib, uvAttrib, velocityAttrib;
    int childrenCount = 0;
    int noiseOctaves = 0;
    float noiseRoughness = 0;
    float divs[3] = {2, 2, 2};
    float size[3] = {0, 0, 0};
    float center[3] = {0, 0, 0};
    float extendBounds[3] = {0, 0, 0};
    float noiseFreq[3] = {0, 0, 0};
    float noiseAmp[3] = {0, 0, 0};
    double densityMult = 0;
    int feather = 0, reversePrimOrder = 0, doColor = 0, doVelocity = 0, useCamFrustum = 0;
    OP_Context context;
    UT_String camPath;
    int extendVoxels = 0;
    bool boundsFromPoints = true;
};

// The frame of both operators: the shared parameter list and its evaluation.
template <class OP>
class SOP_SurfaceWisps : public SOP_VolumeOperator<OP>
{
public:
    static PRM_Template *myTemplateList;

protected:
    using SOP_VolumeOperator<OP>::SOP_VolumeOperator;

    // The operator's own parameters, with the grid and box the cook found.
    SurfaceWispsVolumeData evalSurfaceWisps(const CookGrid &g, const OP_Context &context) const
    {
        SurfaceWispsVolumeData d;
        for (int a = 0; a < 3; ++a)
        {
            d.divs[a] = float(g.divs[a]);
            d.size[a] = float(g.size[a]);
            d.center[a] = float(g.centre[a]);
        }
        this->evalFloat3(g, "noisefreq", d.noiseFreq);
        this->evalFloat3(g, "noiseamp", d.noiseAmp);
        this->evalFloat3(g, "extendbounds", d.extendBounds);
        d.densityAttrib = this->evalString(g, "densityattrib");
        d.radiusAttrib = this->evalString(g, "radiusattrib");
        d.normalsAttrib = this->evalString(g, "normalsattrib");
        d.noiseOffsetAttrib = this->evalString(g, "noiseoffsetattrib");
        d.colorAttrib = this->evalString(g, "colorattrib");
        d.uvAttrib = this->evalString(g, "uvattrib");
        d.velocityAttrib = this->evalString(g, "velocityattrib");
        d.camPath = this->evalString(g, "campath");
        d.extendVoxels = this->evalInt(g, "extendvoxels");
        d.useCamFrustum = this->evalInt(g, "usecamfrustum");
        d.doVelocity = this->evalInt(g, "dovelocity");
        d.doColor = this->evalInt(g, "docolor");
        d.reversePrimOrder = this->evalInt(g, "reverseprimorder");
        d.feather = this->evalInt(g, "feather");
        d.densityMult = this->evalFloat(g, "densitymult"); // rounded to single precision
        d.noiseRoughness = this->evalFloat(g, "noiseroughness");
        d.noiseOctaves = this->evalInt(g, "noiseoctaves");
        d.childrenCount = this->evalInt(g, "childrencount");
        d.context = context;
        d.boundsFromPoints = g.boundsFromPoints;
        return d;
    }
};

template <class OP>
PRM_Template *SOP_SurfaceWisps<OP>::myTemplateList = surfaceWispsTemplateList;

// ---------------------------------------------------------------------------
// Volumes

// Builds density, then vel.x/y/z (doVelocity), then Cd.x/y/z (doColor), all
// sized divs and placed in the box; with useCamFrustum the density volume is
// laid out as the camera's frustum instead (and keeps its built placement
// when no usable camera is found). Clamps divs and size in place.
VolumeSet buildSurfaceVolumes(GU_Detail *gdp, unsigned divs[3], double size[3], const double center[3],
                              const float extendBounds[3], bool boundsFromPoints, const char *dopobject,
                              int doVelocity, int doColor, int useCamFrustum, const char *camPath,
                              OP_Context &context);

// Lays the volume out as the view frustum of the node at cameraPath, from its
// far plane (canonical z = -1) to its near plane (z = +1).
void volumeFrustum(GU_PrimVolume *volume, const char *cameraPath, OP_Context &context);

// ---------------------------------------------------------------------------
// Quads and their children

// The bilinear patch through p0..p3 at s = a / b, t = c / d: corner 0 at
// (0, 0), 1 at (1, 0), 2 at (1, 1), 3 at (0, 1).
inline UT_Vector3 interpolateInGridV3(UT_Vector3 p0, UT_Vector3 p1, UT_Vector3 p2, UT_Vector3 p3, float a, float b,
                                      float c, float d)
{
    float s = a / b, t = c / d;
    UT_Vector3 top = p0 + (p1 - p0) * s;
    UT_Vector3 bottom = p3 + (p2 - p3) * s;
    return top + (bottom - top) * t;
}

// The same patch for one float per corner.
inline float interpolateInGrid(const float q[4], float s, float t)
{
    float top = q[0] + (q[1] - q[0]) * s;
    float bottom = q[3] + (q[2] - q[3]) * s;
    return top + (bottom - top) * t;
}

// The point attributes a quad's corners are read from (found once per fill).
struct SurfaceAttribs
{
    GA_RWAttributeRef density, radius, normal, noiseOffset, colour, uv, velocity;

    SurfaceAttribs(const GEO_Detail *gdp, const char *densityName, const char *radiusName, const char *normalsName,
                   const char *noiseOffsetName, const char *colorName, const char *uvName, const char *velocityName);
};

// Corner k holds vertex k's point; with reverseOrder the positions (only) of
// corners 2 and 3 are exchanged.
struct QuadCorners
{
    UT_Vector3 P[4], uv[4], colour[4], velocity[4], noiseOffset[4], normal[4];
    float density[4], radius[4];

    void read(const GEO_Detail *gdp, const GEO_Primitive *quad, const SurfaceAttribs &attribs, bool reverseOrder);
};

// How the children are pushed off the patch.
struct ChildNoise
{
    float freq[3], amp[3];
    int octaves;
    float roughness;
};

// One child on the patch, with its interpolated attributes.
struct QuadChild
{
    UT_Vector3 P, dU, dV, uv, noiseOffset, N, colour, velocity;
    float density, radius;
    double noise;
};

// Child (a, b) of the n x n grid: patch values at (a / n, b / n), the steps to
// its grid neighbours and the fractal noise at its uv.
inline QuadChild quadChild(const QuadCorners &q, float a, float b, float n, const ChildNoise &noise, bool doColor,
                           bool doVelocity)
{
    QuadChild c;
    c.P = interpolateInGridV3(q.P[0], q.P[1], q.P[2], q.P[3], a, n, b, n);
    c.dU = interpolateInGridV3(q.P[0], q.P[1], q.P[2], q.P[3], a + 1.0f, n, b, n) - c.P;
    c.dV = interpolateInGridV3(q.P[0], q.P[1], q.P[2], q.P[3], a, n, b + 1.0f, n) - c.P;
    c.uv = interpolateInGridV3(q.uv[0], q.uv[1], q.uv[2], q.uv[3], a, n, b, n);
    c.noiseOffset = interpolateInGridV3(q.noiseOffset[0], q.noiseOffset[1], q.noiseOffset[2], q.noiseOffset[3], a, n, b, n);
    c.N = interpolateInGridV3(q.normal[0], q.normal[1], q.normal[2], q.normal[3], a, n, b, n);
    if (doColor) c.colour = interpolateInGridV3(q.colour[0], q.colour[1], q.colour[2], q.colour[3], a, n, b, n);
    if (doVelocity)
        c.velocity = interpolateInGridV3(q.velocity[0], q.velocity[1], q.velocity[2], q.velocity[3], a, n, b, n);
    float s = a / n, t = b / n;
    c.density = interpolateInGrid(q.density, s, t);
    c.radius = interpolateInGrid(q.radius, s, t);

    UT_Vector3 lookup;
    for (int k = 0; k < 3; ++k) lookup[k] = c.uv[k] * noise.freq[k] + c.noiseOffset[k];
    c.noise = fractalNoise(lookup, noise.octaves, noise.roughness);
    return c;
}

// Visits the children of a quad, a outer and b inner, n = ceil(sqrt(count))
// per side. visit(child) returns false to skip the rest of its row.
template <class Visit>
void forEachQuadChild(const QuadCorners &q, int childrenCount, const ChildNoise &noise, bool doColor,
                      bool doVelocity, Visit &&visit)
{
    // A negative count gives NaN and no children.
    const float n = float(std::ceil(std::sqrt(double(childrenCount))));
    for (int a = 0; float(a) < n; ++a)
        for (int b = 0; float(b) < n; ++b)
            if (!visit(quadChild(q, float(a), float(b), n, noise, doColor, doVelocity))) break;
}

// Feathered child: pushed along the u step, the normal and the v step, one
// amplitude component each.
inline UT_Vector3 featherPosition(const QuadChild &c, const float amp[3])
{
    UT_Vector3 X;
    for (int k = 0; k < 3; ++k)
    {
        float push = amp[0] * c.dU[k] + amp[1] * c.N[k] + amp[2] * c.dV[k];
        X[k] = float(double(c.P[k]) + c.noise * double(push));
    }
    return X;
}

// Cube-splatted child: the three directions summed, each amplitude
// component scaling its own world axis.
inline UT_Vector3 cubePosition(const QuadChild &c, const float amp[3])
{
    UT_Vector3 X;
    for (int k = 0; k < 3; ++k)
    {
        float push = c.dU[k] + c.N[k] + c.dV[k];
        X[k] = float(double(c.P[k]) + double(amp[k]) * c.noise * double(push));
    }
    return X;
}

// ---------------------------------------------------------------------------
// Splats

// The volumes a child is splatted into and the grid they share. Positions
// and indices always come from the density volume; colour and velocity are
// written at the same indices.
struct SplatTarget
{
    const GU_PrimVolume *densityVolume = nullptr;
    UT_VoxelArrayWriteHandleF *density = nullptr;
    UT_VoxelArrayWriteHandleF *velocity[3] = {nullptr, nullptr, nullptr};
    UT_VoxelArrayWriteHandleF *colour[3] = {nullptr, nullptr, nullptr};
    int res[3] = {2, 2, 2};
    double size[3] = {0, 0, 0}; // clamped box size (without the extension)
    double densityMult = 0;
    int extendVoxels = 0;
    bool doColor = false, doVelocity = false;

    bool inGrid(int x, int y, int z) const
    {
        return x >= 0 && y >= 0 && z >= 0 && x < res[0] && y < res[1] && z < res[2];
    }
};

// The rows of one (y, z) a child deposits into: density, and colour and
// velocity when they are on.
struct DepositRows
{
    DepositRows(const SplatTarget &t, int y, int z)
        : density(*t.density, y, z),
          colour{rowOf(t.doColor, t.colour[0], y, z), rowOf(t.doColor, t.colour[1], y, z),
                 rowOf(t.doColor, t.colour[2], y, z)},
          velocity{rowOf(t.doVelocity, t.velocity[0], y, z), rowOf(t.doVelocity, t.velocity[1], y, z),
                   rowOf(t.doVelocity, t.velocity[2], y, z)}
    {
    }
    VoxelRow density, colour[3], velocity[3];

private:
    static VoxelRow rowOf(bool wanted, UT_VoxelArrayWriteHandleF *h, int y, int z)
    {
        static UT_VoxelArrayWriteHandleF none;
        return VoxelRow(wanted && h ? *h : none, y, z);
    }
};

// One child's update of voxel x of the rows: density adds w, colour keeps
// the largest w * colour, velocity averages with what is there.
inline void depositVoxel(const SplatTarget &t, DepositRows &rows, int x, double w, const QuadChild &c)
{
    rows.density.accumulate(x, w);
    if (t.doColor)
        for (int k = 0; k < 3; ++k)
        {
            const double candidate = w * double(c.colour[k]);
            rows.colour[k].update(x, [candidate](float v) {
                double current = v;
                return float(candidate > current ? candidate : current);
            });
        }
    if (t.doVelocity)
        for (int k = 0; k < 3; ++k)
        {
            const float velocity = c.velocity[k];
            rows.velocity[k].update(x, [velocity](float v) { return (v + velocity) * 0.5f; });
        }
}

// A row of voxels handled whole, updates unguarded (the cook thread alone).
struct WholeRow
{
    void share(int units, int &start, int &end) const
    {
        start = 0;
        end = units;
    }
    void lock() const {}
    void unlock() const {}
};

// Voxels the feather sphere of radius r reaches on one axis: radius over
// voxel size, rounded up. NaN or non-positive gives none; anything beyond the
// grid is the grid.
inline int featherReach(float r, double size, double divs)
{
    double e = std::ceil(double(r) / (size / divs));
    if (!(e > 0)) return 0;
    return e >= divs ? int(divs) : int(e);
}

// Whether no child of the quad can touch the slab, proven from its corners
// before any child's noise is evaluated: children lie on the patch (within
// its corners' z range), pushed by at most the noise bound times their push
// along z (steps across the patch no longer than its z range, normals no
// longer than the corners'), and splat within the feather reach of the
// largest corner radius, or within extendVoxels.
inline bool quadMissesSlab(const SplatTarget &t, const QuadCorners &q, const ChildNoise &noise, bool feather)
{
    double zmin = q.P[0].z(), zmax = zmin, normalZ = 0, radius = 0;
    for (int k = 0; k < 4; ++k)
    {
        zmin = std::min(zmin, double(q.P[k].z()));
        zmax = std::max(zmax, double(q.P[k].z()));
        normalZ = std::max(normalZ, std::fabs(double(q.normal[k].z())));
        radius = std::max(radius, std::fabs(double(q.radius[k])));
        if (!std::isfinite(q.P[k].z()) || !std::isfinite(q.normal[k].z()) || !std::isfinite(q.radius[k])) return false;
    }
    // Float rounding of the patch, its steps and the pushes.
    const double slack = (std::fabs(zmin) + std::fabs(zmax)) * 1e-6;
    const double step = (zmax - zmin) * (1 + 1e-6) + slack;
    const double bound = fractalNoiseBound(noise.octaves, noise.roughness);
    const double push = feather ? std::fabs(double(noise.amp[0])) * step + std::fabs(double(noise.amp[1])) * normalZ +
                                      std::fabs(double(noise.amp[2])) * step
                                : std::fabs(double(noise.amp[2])) * (2 * step + normalZ);
    const double shift = bound * push * (1 + 1e-5);
    const double reach =
        feather ? featherReach(float(radius * (1 + 1e-6)), t.size[2], double(t.res[2])) + 1.0 : std::max(0, t.extendVoxels);
    const double margin = shift * 1e-6 + slack;
    return slabMissesWorldZ(t.densityVolume, SlabRange(*t.density), zmin - shift - margin, zmax + shift + margin, reach);
}

// Every voxel within the child's radius of X (the centre index clamped to
// the grid). Each row's share of voxels and the guard around each update come
// from `row`.
template <class Row>
void featherSplat(const SplatTarget &t, const QuadChild &c, const UT_Vector3 &X, const Row &row)
{
    int idx[3], lo[3], hi[3];
    t.densityVolume->posToIndex(X, idx[0], idx[1], idx[2]);
    for (int a = 0; a < 3; ++a)
    {
        idx[a] = idx[a] < 0 ? 0 : (idx[a] > t.res[a] - 1 ? t.res[a] - 1 : idx[a]);
        int e = featherReach(c.radius, t.size[a], double(t.res[a]));
        lo[a] = idx[a] - e > 0 ? idx[a] - e : 0;
        hi[a] = idx[a] + e < t.res[a] ? idx[a] + e : t.res[a];
    }
    if (!SlabRange(*t.density).clip(lo[2], hi[2])) return;
    const double weight = double(c.density) * t.densityMult;
    for (int z = lo[2]; z < hi[2]; ++z)
        for (int y = lo[1]; y < hi[1]; ++y)
        {
            int start, end;
            row.share(hi[0] - lo[0], start, end);
            if (start >= end) continue;
            const GEO_VoxelCentreRow centres = t.densityVolume->centreRow(y, z);
            DepositRows rows(t, y, z);
            for (int x = lo[0] + start; x < lo[0] + end; ++x)
            {
                float d = dist3D(centres.at(x), X);
                if (!(c.radius >= d)) continue;
                double w = (double(c.radius) - double(d)) / double(c.radius) * weight;
                if (!(w > 0)) continue;
                row.lock();
                depositVoxel(t, rows, x, w, c);
                row.unlock();
            }
        }
}

// The (2 extendVoxels + 1)^3 voxels around the one holding X, skipping those
// outside the grid; each gets densityMult * density * falloff, even 0.
template <class Row>
void cubeSplat(const SplatTarget &t, const QuadChild &c, const UT_Vector3 &X, const Row &row)
{
    int i, j, k;
    t.densityVolume->posToIndex(X, i, j, k);
    const int reach = t.extendVoxels;
    const double weight = t.densityMult * double(c.density);
    // Only the layers inside the slab: those outside write nothing.
    const SlabRange slab(*t.density);
    const long long dzFrom = std::max<long long>(-(long long)reach, (long long)slab.lo - k);
    const long long dzTo = std::min<long long>(reach, (long long)slab.hi - 1 - k);
    if (dzFrom > dzTo) return;
    for (int dz = int(dzFrom); dz <= int(dzTo); ++dz)
        for (int dy = -reach; dy <= reach; ++dy)
        {
            int start, end;
            row.share(2 * reach + 1, start, end);
            if (start >= end) continue;
            const int y = j + dy, z = k + dz;
            const GEO_VoxelCentreRow centres = t.densityVolume->centreRow(y, z);
            DepositRows rows(t, y, z);
            for (int dx = -reach + start; dx < -reach + end; ++dx)
            {
                int x = i + dx;
                float d = dist3D(centres.at(x), X);
                double w = (double(c.radius) - double(d)) / double(c.radius);
                // A zero radius at a voxel centre gives 0 / 0: no weight.
                if (!(w >= 0)) w = 0;
                if (w > 1000000) w = 1000000;
                if (!t.inGrid(x, y, z)) continue;
                row.lock();
                depositVoxel(t, rows, x, weight * w, c);
                row.unlock();
            }
        }
}
