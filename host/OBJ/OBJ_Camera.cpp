// SPDX-License-Identifier: Apache-2.0
#include "OBJ_Camera.h"

namespace
{
PRM_Name resName("res", "Resolution");
PRM_Name focalName("focal", "Focal Length");
PRM_Name apertureName("aperture", "Aperture");
PRM_Name nearName("near", "Near Clipping");
PRM_Name farName("far", "Far Clipping");
PRM_Default resDefaults[] = {PRM_Default(1920), PRM_Default(1080)};
PRM_Default focalDefault(50);
PRM_Default apertureDefault(41.4214);
PRM_Default nearDefault(0.001);
PRM_Default farDefault(10000);
PRM_Template cameraTemplates[] = {
    PRM_Template(PRM_FLT, 2, &resName, resDefaults),
    PRM_Template(PRM_FLT, 1, &focalName, &focalDefault),
    PRM_Template(PRM_FLT, 1, &apertureName, &apertureDefault),
    PRM_Template(PRM_FLT, 1, &nearName, &nearDefault),
    PRM_Template(PRM_FLT, 1, &farName, &farDefault),
    PRM_Template(),
};
} // namespace

PRM_Template *OBJ_Camera::templates() { return cameraTemplates; }

static OP_Operator *cameraOperator()
{
    static OP_Operator op("cam", "Camera", nullptr, cameraTemplates, 0, 0);
    return &op;
}

OBJ_Camera::OBJ_Camera(const char *name) : OP_Network(nullptr, name, cameraOperator()) {}

OBJ_Camera::~OBJ_Camera() = default;

bool OBJ_Camera::getWorldTransform(UT_DMatrix4 &xform, OP_Context &)
{
    xform = myWorld;
    return true;
}
