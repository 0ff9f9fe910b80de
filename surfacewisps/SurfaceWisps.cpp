// SPDX-License-Identifier: Apache-2.0
#include "SurfaceWisps.h"
#include <cstdio>
#include "CommonParms.h"
#include "OBJ/OBJ_Camera.h"
#include "OP/OP_Director.h"
#include "PointTuple.h"

// ---------------------------------------------------------------------------
// Parameters

static PRM_Name useCamFrustumName("usecamfrustum", "Use Cam Frustum");
static PRM_Name camPathName("campath", "Camera Path");

static PRM_Default camPathDefault(0, "/obj/cam1");

PRM_Template surfaceWispsTemplateList[] = {
    PRM_Template(PRM_INT, 3, &parms::divs, parms::divsDefault),
    PRM_Template(PRM_FLT, 3, &parms::extendBounds, parms::oneDefault),
    PRM_Template(PRM_SEPARATOR, 0, &parms::separator1),
    PRM_Template(PRM_INT, 1, &parms::childrenCount, &parms::oneHundredDefault),
    PRM_Template(PRM_FLT, 1, &parms::densityMult, PRMoneDefaults),
    PRM_Template(PRM_INT, 1, &parms::extendVoxels, PRMoneDefaults),
    PRM_Template(PRM_TOGGLE, 1, &parms::feather),
    PRM_Template(PRM_TOGGLE, 1, &parms::reversePrimOrder),
    PRM_Template(PRM_TOGGLE, 1, &parms::doColor),
    PRM_Template(PRM_TOGGLE, 1, &parms::doVelocity),
    PRM_Template(PRM_FLT, 3, &parms::noiseFreq, parms::oneDefault),
    PRM_Template(PRM_FLT, 3, &parms::noiseAmp, parms::oneDefault),
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
    PRM_Template(PRM_TOGGLE, 1, &useCamFrustumName),
    PRM_Template(PRM_STRING_OPREF, 1, &camPathName, &camPathDefault),
    PRM_Template(),
};

// ---------------------------------------------------------------------------
// Volumes

VolumeSet buildSurfaceVolumes(GU_Detail *gdp, unsigned divs[3], double size[3], const double center[3],
                              const float extendBounds[3], bool boundsFromPoints, const char *dopobject,
                              int doVelocity, int doColor, int useCamFrustum, const char *camPath,
                              OP_Context &context)
{
    clampGrid(divs, size);
    const UT_Matrix4 box = boxTransform(size, center, extendBounds, boundsFromPoints);

    std::vector<const char *> names{fields::density};
    if (doVelocity) names.insert(names.end(), std::begin(fields::velocity), std::end(fields::velocity));
    if (doColor) names.insert(names.end(), std::begin(fields::colour), std::end(fields::colour));
    VolumeSet set = createNamedVolumes(gdp, dopobject, names);

    for (size_t i = 0; i < set.size(); ++i)
    {
        if (i == 0 && useCamFrustum)
            volumeFrustum(set.volume(0), camPath, context);
        else
            set.volume(i)->setTransform4(box);
        set.handle(i)->size(int(divs[0]), int(divs[1]), int(divs[2]));
    }
    return set;
}

void volumeFrustum(GU_PrimVolume *volume, const char *cameraPath, OP_Context &context)
{
    OP_Node *camera = OPgetDirector()->findNode(cameraPath);
    if (!camera) return;
    printf("\nNode found: %s", camera->getName().c_str());

    UT_DMatrix4 world;
    camera->getWorldTransform(world, context);

    const fpreal t = float(context.getTime());
    const int thread = context.getThread();
    const float resX = float(camera->evalFloatT("res", 0, t, thread));
    const float resY = float(camera->evalFloatT("res", 1, t, thread));
    const float focal = float(camera->evalFloatT("focal", 0, t, thread));
    const float aperture = float(camera->evalFloatT("aperture", 0, t, thread));
    const float near = float(camera->evalFloatT("near", 0, t, thread));
    const float far = float(camera->evalFloatT("far", 0, t, thread));

    // Canonical cube -> camera space: near-plane half sizes across, the depth
    // range from -far to -near along -z.
    const double halfW = double(near) * (double(aperture) * 0.5) / double(focal);
    const double halfH = double(resY) * halfW / double(resX);
    const double halfD = double(far - near) * 0.5;
    const float zc = -0.5f * (far - near) - near;
    const float taper = far / near;

    UT_DMatrix4 frustum(0.0);
    frustum(0, 0) = halfW;
    frustum(1, 1) = halfH;
    frustum(2, 2) = halfD;
    frustum(3, 2) = zc;
    frustum(3, 3) = 1.0;
    world.leftMult(frustum);

    // A zero focal length, near distance or width (or a node without these
    // parameters) would place the voxels at infinity or NaN.
    bool finite = std::isfinite(taper);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) finite = finite && std::isfinite(world(r, c));
    if (!finite)
    {
        fprintf(stderr, "\nCamera %s gives no finite frustum (focal %g, near %g, far %g, res %g x %g); "
                        "the density volume keeps its built placement\n",
                cameraPath, focal, near, far, resX, resY);
        return;
    }
    volume->setTransform4(world);
    volume->setTaperX(taper);
    volume->setTaperY(taper);
}

// ---------------------------------------------------------------------------
// Quads

SurfaceAttribs::SurfaceAttribs(const GEO_Detail *gdp, const char *densityName, const char *radiusName,
                               const char *normalsName, const char *noiseOffsetName, const char *colorName,
                               const char *uvName, const char *velocityName)
    : density(gdp->findFloatTuple(GA_ATTRIB_POINT, densityName, 1)),
      radius(gdp->findFloatTuple(GA_ATTRIB_POINT, radiusName, 1)),
      normal(gdp->findFloatTuple(GA_ATTRIB_POINT, normalsName, 3)),
      noiseOffset(gdp->findFloatTuple(GA_ATTRIB_POINT, noiseOffsetName, 3)),
      colour(gdp->findFloatTuple(GA_ATTRIB_POINT, colorName, 3)),
      uv(gdp->findFloatTuple(GA_ATTRIB_POINT, uvName, 3)),
      velocity(gdp->findFloatTuple(GA_ATTRIB_POINT, velocityName, 3))
{
}

void QuadCorners::read(const GEO_Detail *gdp, const GEO_Primitive *quad, const SurfaceAttribs &attribs,
                       bool reverseOrder)
{
    for (int k = 0; k < 4; ++k)
    {
        GA_Offset pt = quad->getPointOffset(k);
        P[k] = gdp->getPos3(pt);
        readPointTuple(attribs.density, pt, &density[k], 1);
        readPointTuple(attribs.radius, pt, &radius[k], 1);
        readPointTuple(attribs.normal, pt, normal[k].data(), 3);
        readPointTuple(attribs.noiseOffset, pt, noiseOffset[k].data(), 3);
        readPointTuple(attribs.colour, pt, colour[k].data(), 3);
        readPointTuple(attribs.uv, pt, uv[k].data(), 3);
        readPointTuple(attribs.velocity, pt, velocity[k].data(), 3);
    }
    if (reverseOrder) std::swap(P[2], P[3]);
}
