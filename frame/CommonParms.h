// SPDX-License-Identifier: Apache-2.0
#pragma once
// Parameter names and defaults that several operators share. The frame is
// compiled into every plug-in, so each plug-in holds its own copies.
#include "PRM/PRM_Template.h"

namespace parms
{
// Names (token, label).
extern PRM_Name divs, extendBounds, densityMult, childrenCount, extendVoxels, feather, reversePrimOrder;
extern PRM_Name doColor, doNoise, doVelocity;
extern PRM_Name noiseFreq, noiseAmp, noiseOctaves, noiseRoughness;
extern PRM_Name densityAttrib, radiusAttrib, normalsAttrib, upVectorAttrib, upAttrib, noiseOffsetAttrib;
extern PRM_Name colorAttrib, velocityAttrib, uvAttrib;
extern PRM_Name separator1, separator2;

// Defaults.
extern PRM_Default divsDefault[3]; // the divisions: 10 on each axis
extern PRM_Default oneDefault[3];
extern PRM_Default halfDefault;
extern PRM_Default oneHundredDefault;
extern PRM_Default densityDefault, pscaleDefault, normalsDefault, upvectorDefault, noiseoffsetDefault;
extern PRM_Default colorDefault, velocityDefault, uvDefault;
} // namespace parms
