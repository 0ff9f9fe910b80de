#include "SurfaceWisps.h"
#include <cstdio>
#include "OBJ/OBJ_Camera.h"
#include "OP/OP_Director.h"

// ---------------------------------------------------------------------------
// Parameters

static PRM_Name divsName("divs", "Divisions");
static PRM_Name extendBoundsName("extendbounds", "Extend Bounds");
static PRM_Name separator1Name("separator1", "Separator1");
static PRM_Name childrenCountName("childrencount", "Children Count");
static PRM_Name densityMultName("densitymult", "Density Mult");
static PRM_Name extendVoxelsName("extendvoxels", "Extend Voxels");
static PRM_Name featherName("feather", "Feather (WARNING! very slow with large pscale)");
static PRM_Name reversePrimOrderName("reverseprimorder", "Reverse Primitive Order");
static PRM_Name doColorName("docolor", "Do Color");
static PRM_Name doVelocityName("dovelocity", "Do Velocity");
static PRM_Name noiseFreqName("noisefreq", "Noise Frequency");
static PRM_Name noiseAmpName("noiseamp", "Noise Amplitude");
static PRM_Name noiseOctavesName("noiseoctaves", "Noise Octave");
static PRM_Name noiseRoughnessName("noiseroughness", "Noise Roughness");
static PRM_Name separator2Name("separator2", "Separator2");
static PRM_Name densityAttribName("densityattrib", "Density Attribute");
static PRM_Name radiusAttribName("radiusattrib", "Radius Attribute");
static PRM_Name normalsAttribName("normalsattrib", "Normals Attribute");
static PRM_Name noiseOffsetAttribName("noiseoffsetattrib", "Noise Offset Attribute");
static PRM_Name colorAttribName("colorattrib", "Color Attribute");
static PRM_Name velocityAttribName("velocityattrib", "Velocity Attribute");
static PRM_Name uvAttribName("uvattrib", "UV Attribute");
static PRM_Name useCamFrustumName("usecamfrustum", "Use Cam Frustum");
static PRM_Name camPathName("campath", "Camera Path");

static PRM_Default divsDefaults[] = {PRM_Default(10), PRM_Default(10), PRM_Default(10)};
static PRM_Default oneDefaults[] = {PRM_Default(1), PRM_Default(1), PRM_Default(1)};
static PRM_Default childrenCountDefault(100);
static PRM_Default roughnessDefault(0.5);
static PRM_Default densityAttribDefault(0, "density");
static PRM_Default radiusAttribDefault(0, "pscale");
static PRM_Default normalsAttribDefault(0, "N");
static PRM_Default noiseOffsetAttribDefault(0, "noiseoffset");
static PRM_Default colorAttribDefault(0, "Cd");
static PRM_Default velocityAttribDefault(0, "v");
static PRM_Default uvAttribDefault(0, "uv");
static PRM_Default camPathDefault(0, "/obj/cam1");

PRM_Template surfaceWispsTemplateList[] = {
    PRM_Template(PRM_INT, 3, &divsName, divsDefaults),
    PRM_Template(PRM_FLT, 3, &extendBoundsName, oneDefaults),
    PRM_Template(PRM_SEPARATOR, 0, &separator1Name),
    PRM_Template(PRM_INT, 1, &childrenCountName, &childrenCountDefault),
    PRM_Template(PRM_FLT, 1, &densityMultName, PRMoneDefaults),
    PRM_Template(PRM_INT, 1, &extendVoxelsName, PRMoneDefaults),
    PRM_Template(PRM_TOGGLE, 1, &featherName),
    PRM_Template(PRM_TOGGLE, 1, &reversePrimOrderName),
    PRM_Template(PRM_TOGGLE, 1, &doColorName),
    PRM_Template(PRM_TOGGLE, 1, &doVelocityName),
    PRM_Template(PRM_FLT, 3, &noiseFreqName, oneDefaults),
    PRM_Template(PRM_FLT, 3, &noiseAmpName, oneDefaults),
    PRM_Template(PRM_INT, 1, &noiseOctavesName, PRMoneDefaults),
    PRM_Template(PRM_FLT, 1, &noiseRoughnessName, &roughnessDefault),
    PRM_Template(PRM_SEPARATOR, 0, &separator2Name),
    PRM_Template(PRM_STRING, 1, &densityAttribName, &densityAttribDefault),
    PRM_Template(PRM_STRING, 1, &radiusAttribName, &radiusAttribDefault),
    PRM_Template(PRM_STRING, 1, &normalsAttribName, &normalsAttribDefault),
    PRM_Template(PRM_STRING, 1, &noiseOffsetAttribName, &noiseOffsetAttribDefault),
    PRM_Template(PRM_STRING, 1, &colorAttribName, &colorAttribDefault),
    PRM_Template(PRM_STRING, 1, &velocityAttribName, &velocityAttribDefault),
    PRM_Template(PRM_STRING, 1, &uvAttribName, &uvAttribDefault),
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

// The first count components of a point's attribute; zeros when it is
// missing or the read fails.
static void readCorner(const GA_RWAttributeRef &ref, GA_Offset pt, float *out, int count)
{
    const GA_AIFTuple *tuple = ref.getAIFTuple();
    if (!tuple || !tuple->get(ref.getAttribute(), pt, out, count, 0))
        for (int c = 0; c < count; ++c) out[c] = 0.0f;
}

void QuadCorners::read(const GEO_Detail *gdp, const GEO_Primitive *quad, const SurfaceAttribs &attribs,
                       bool reverseOrder)
{
    for (int k = 0; k < 4; ++k)
    {
        GA_Offset pt = quad->getPointOffset(k);
        P[k] = gdp->getPos3(pt);
        readCorner(attribs.density, pt, &density[k], 1);
        readCorner(attribs.radius, pt, &radius[k], 1);
        readCorner(attribs.normal, pt, normal[k].data(), 3);
        readCorner(attribs.noiseOffset, pt, noiseOffset[k].data(), 3);
        readCorner(attribs.colour, pt, colour[k].data(), 3);
        readCorner(attribs.uv, pt, uv[k].data(), 3);
        readCorner(attribs.velocity, pt, velocity[k].data(), 3);
    }
    if (reverseOrder) std::swap(P[2], P[3]);
}
