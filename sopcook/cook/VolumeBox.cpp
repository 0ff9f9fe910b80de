// SPDX-License-Identifier: Apache-2.0
#include "cook/VolumeBox.h"

#include <algorithm>
#include <cmath>

#include "GU/GU_PrimVolume.h"
#include "Messages.h"
#include "NumberText.h"
#include "OP/OP_Context.h"
#include "OP/OP_Director.h"
#include "vdb/VolumeTransform.h"

namespace sopcook
{
namespace
{
std::string triple(const double v[3]) { return numberText(v[0]) + "," + numberText(v[1]) + "," + numberText(v[2]); }

std::string stringParm(const OP_Node &node, const char *name, fpreal time)
{
    UT_String s;
    node.evalStringT(s, name, 0, time, 0);
    return s.c_str() ? s.c_str() : "";
}

// What the VDB library (or the transform's own check) says about a volume
// placed by m (and taper) over res voxels; empty when it takes it.
std::string transformFailure(const UT_DMatrix4 &m, float taper, const int res[3])
{
    GU_Detail scratch;
    GU_PrimVolume *vol = GU_PrimVolume::build(&scratch);
    vol->setTransform4(m);
    if (taper != 1.0f)
    {
        vol->setTaperX(taper);
        vol->setTaperY(taper);
    }
    try
    {
        volumeTransform(*vol, res);
    }
    catch (const openvdb::Exception &e)
    {
        return e.what();
    }
    catch (const Error &e)
    {
        return e.what();
    }
    return "";
}

// The single-precision matrix the cook builds for the box (half extents on
// the diagonal, centre in the last row).
UT_DMatrix4 boxMatrix(const VolumeBox &b)
{
    UT_DMatrix4 m(0.0);
    for (int a = 0; a < 3; ++a)
    {
        m(a, a) = double(float(0.5 * b.size[a]));
        m(3, a) = double(float(b.centre[a]));
    }
    m(3, 3) = 1.0;
    return m;
}

std::string boxSource(const VolumeBox &b)
{
    std::string what = b.source + ": ";
    if (b.points == 0) what += "no points";
    else if (b.points == 1) what += "1 point";
    else what += std::to_string(b.points) + " points spanning " + triple(b.inputSize);
    if (b.fromPoints)
    {
        double e[3] = {b.extension[0], b.extension[1], b.extension[2]};
        what += ", extendbounds=" + triple(e);
    }
    return what;
}

void checkBox(const VolumeBox &b)
{
    std::string failure = transformFailure(boxMatrix(b), 1.0f, b.res);
    if (failure.empty()) return;
    int flat = 0;
    for (int a = 0; a < 3; ++a) flat += float(0.5 * b.size[a]) == 0.0f;
    std::string box = "the volumes' box is " + b.sizeText() + " (" + boxSource(b) + ")";
    if (flat >= 2)
    {
        std::string change = b.fromPoints ? "set extendbounds above 0 (for example -s extendbounds=1,1,1) or give a "
                                            "bounding-box input"
                                          : "give a bounding-box input with size on at least two axes";
        throw Error(box + ", flat on " + std::to_string(flat) + " axes, so it cannot hold voxels; " + change);
    }
    double far = std::max({std::fabs(b.centre[0]), std::fabs(b.centre[1]), std::fabs(b.centre[2])});
    if (!std::isfinite(far) || far > 1e6 * std::max({b.size[0], b.size[1], b.size[2]}))
        throw Error(box + ", centred at (" + triple(b.centre) +
                    "): too small for its distance from the origin in single precision; move the points nearer the "
                    "origin or scale them");
    throw Error(box + " cannot be placed as a VDB volume (" + failure + "); change the input's size or extendbounds");
}

// The operator's frustum for the camera node at time: the camera's world
// matrix after the canonical cube -> view mapping, and the taper far / near.
struct Frustum
{
    UT_DMatrix4 world;
    float taper = 1, focal = 0, aperture = 0, near = 0, far = 0, resX = 0, resY = 0;
    bool finite = true;
    double halfWidth = 0; // at the near plane
};

Frustum frustumOf(OP_Node &camera, fpreal time)
{
    Frustum f;
    OP_Context context(time);
    camera.getWorldTransform(f.world, context);
    const fpreal t = float(time);
    f.resX = float(camera.evalFloatT("res", 0, t, 0));
    f.resY = float(camera.evalFloatT("res", 1, t, 0));
    f.focal = float(camera.evalFloatT("focal", 0, t, 0));
    f.aperture = float(camera.evalFloatT("aperture", 0, t, 0));
    f.near = float(camera.evalFloatT("near", 0, t, 0));
    f.far = float(camera.evalFloatT("far", 0, t, 0));
    f.halfWidth = double(f.near) * (double(f.aperture) * 0.5) / double(f.focal);
    UT_DMatrix4 cube(0.0);
    cube(0, 0) = f.halfWidth;
    cube(1, 1) = double(f.resY) * f.halfWidth / double(f.resX);
    cube(2, 2) = double(f.far - f.near) * 0.5;
    cube(3, 2) = -0.5f * (f.far - f.near) - f.near;
    cube(3, 3) = 1.0;
    f.taper = f.far / f.near;
    UT_DMatrix4 view = f.world;
    view.leftMult(cube);
    f.finite = std::isfinite(f.taper);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) f.finite = f.finite && std::isfinite(view(r, c));
    if (f.finite) f.world = view;
    return f;
}

double det3(const UT_DMatrix4 &m)
{
    return m(0, 0) * (m(1, 1) * m(2, 2) - m(1, 2) * m(2, 1)) - m(0, 1) * (m(1, 0) * m(2, 2) - m(1, 2) * m(2, 0)) +
           m(0, 2) * (m(1, 0) * m(2, 1) - m(1, 1) * m(2, 0));
}

std::string cameraValues(const Frustum &f)
{
    return "focal " + numberText(f.focal) + ", aperture " + numberText(f.aperture) + ", near " + numberText(f.near) + ", far " +
           numberText(f.far) + ", res " + numberText(f.resX) + " x " + numberText(f.resY);
}

void checkFrustum(OP_Node &node, fpreal time, const VolumeBox &box, const OBJ_Camera *given,
                  std::vector<std::string> &warnings)
{
    if (!node.hasParm("usecamfrustum") || node.evalIntT("usecamfrustum", 0, time, 0) == 0) return;
    const std::string path = node.hasParm("campath") ? stringParm(node, "campath", time) : "";
    const std::string plain = "the density volume is laid out in the plain box instead";
    OP_Node *camera = path.empty() ? nullptr : OPgetDirector()->findNode(path.c_str());
    if (!camera)
    {
        if (!given)
            warnings.push_back("usecamfrustum is on but no camera was given: " + plain +
                               "; give a camera (--camera FILE) whose \"path\" is " + path + ", or turn usecamfrustum off");
        else
            warnings.push_back("usecamfrustum is on but the camera given is not at campath " + path + ": " + plain +
                               "; set campath to the camera's \"path\" or the camera's \"path\" to " + path);
        return;
    }
    const std::string name = "camera " + path;
    // The world matrix alone: a singular one flattens every voxel onto a
    // plane (or a point), where nothing can be written.
    UT_DMatrix4 world;
    OP_Context context(time);
    camera->getWorldTransform(world, context);
    if (!(std::fabs(det3(world)) > 0))
        throw Error(name + ": its transform is singular (determinant " + numberText(det3(world)) +
                    "), so the frustum volume would be flat and empty; give the camera an invertible transform "
                    "(translate and rotate)");
    Frustum f = frustumOf(*camera, time);
    if (!f.finite)
    {
        warnings.push_back(name + " gives no finite frustum (" + cameraValues(f) + "): " + plain +
                           "; give it a focal, near and width above 0");
        return;
    }
    std::string failure = transformFailure(f.world, f.taper, box.res);
    if (!failure.empty())
        throw Error(name + ": " + cameraValues(f) + " give a frustum " + numberText(2 * f.halfWidth) +
                    " wide at the near plane, which a VDB volume cannot hold (" + failure +
                    "); use a focal and aperture of ordinary size (millimetres, e.g. focal 50, aperture 41.4)");
}
} // namespace

double VolumeBox::smallestVoxel() const
{
    return std::min({voxelSize(0), voxelSize(1), voxelSize(2)});
}

std::string VolumeBox::sizeText() const
{
    return numberText(size[0]) + " x " + numberText(size[1]) + " x " + numberText(size[2]);
}

VolumeBox plannedBox(const OP_Node &node, fpreal time, const GU_Detail *points, const std::string &label,
                     const GU_Detail *bbox, const std::string &bboxLabel)
{
    VolumeBox b;
    if (!node.hasParm("divs") || !node.hasParm("extendbounds")) return b;
    b.known = true;
    b.fromPoints = bbox == nullptr;
    const GU_Detail *from = bbox ? bbox : points;
    b.source = bbox ? bboxLabel : label;
    UT_BoundingBox box;
    if (from)
    {
        from->getBBox(&box);
        for (GA_Offset pt = 0; pt < GA_Offset(from->getNumPoints()); ++pt)
        {
            UT_Vector3 p = from->getPos3(pt);
            b.points += std::isfinite(p.x()) && std::isfinite(p.y()) && std::isfinite(p.z());
        }
    }
    const fpreal t = float(time);
    for (int a = 0; a < 3; ++a)
    {
        // As the cook: single-precision size and centre, negative sizes 0,
        // division counts below 2 (or negative) 2.
        float lo = box.getMin(a), hi = box.getMax(a);
        b.inputSize[a] = std::max(0.0, double(float(hi - lo)));
        b.centre[a] = double(float((lo + hi) * 0.5f));
        b.extension[a] = float(node.evalFloatT("extendbounds", a, t, 0));
        b.size[a] = b.inputSize[a] + (b.fromPoints ? 2.0 * double(b.extension[a]) : 0.0);
        b.res[a] = std::max(node.evalIntT("divs", a, t, 0), 2);
    }
    return b;
}

void checkPlacement(OP_Node &node, fpreal time, const VolumeBox &box, const OBJ_Camera *camera,
                    std::vector<std::string> &warnings)
{
    if (!box.known) return;
    checkBox(box);
    checkFrustum(node, time, box, camera, warnings);
}
} // namespace sopcook
