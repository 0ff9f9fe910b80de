// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "OP/OP_Director.h"

// A camera object: float parameters "res" (2), "focal", "aperture", "near",
// "far" and a world transform (row-vector convention).
class UT_API OBJ_Camera : public OP_Network
{
public:
    explicit OBJ_Camera(const char *name);
    ~OBJ_Camera() override;

    bool getWorldTransform(UT_DMatrix4 &xform, OP_Context &context) override;
    void setWorldTransform(const UT_DMatrix4 &xform) { myWorld = xform; }

    static PRM_Template *templates();

private:
    UT_DMatrix4 myWorld;
};
