// SPDX-License-Identifier: Apache-2.0
#include "VelocityWisps.h"
#include "CommonParms.h"

namespace velocitywisps
{
static PRM_Default radiusDefault(0, "radiusf");

static PRM_Name pscaleAttribName("pscaleattrib", "PScale Attribute");

PRM_Template templates[] = {
    PRM_Template(PRM_INT, 3, &parms::divs, parms::divsDefault),
    PRM_Template(PRM_FLT, 3, &parms::extendBounds, parms::oneDefault),
    PRM_Template(PRM_SEPARATOR, 1, nullptr),
    PRM_Template(PRM_INT, 1, &parms::childrenCount, &parms::oneHundredDefault),
    PRM_Template(PRM_FLT, 1, &parms::densityMult, PRMoneDefaults),
    PRM_Template(PRM_TOGGLE, 1, &parms::doColor),
    PRM_Template(PRM_FLT, 3, &parms::noiseFreq, parms::oneDefault),
    PRM_Template(PRM_FLT, 1, &parms::noiseAmp, PRMoneDefaults),
    PRM_Template(PRM_INT, 1, &parms::noiseOctaves, PRMoneDefaults),
    PRM_Template(PRM_FLT, 1, &parms::noiseRoughness, &parms::halfDefault),
    PRM_Template(PRM_STRING, 1, &parms::densityAttrib, &parms::densityDefault),
    PRM_Template(PRM_STRING, 1, &pscaleAttribName, &parms::pscaleDefault),
    PRM_Template(PRM_STRING, 1, &parms::radiusAttrib, &radiusDefault),
    PRM_Template(PRM_STRING, 1, &parms::normalsAttrib, &parms::normalsDefault),
    PRM_Template(PRM_STRING, 1, &parms::upVectorAttrib, &parms::upvectorDefault),
    PRM_Template(PRM_STRING, 1, &parms::noiseOffsetAttrib, &parms::noiseoffsetDefault),
    PRM_Template(PRM_STRING, 1, &parms::colorAttrib, &parms::colorDefault),
    PRM_Template(PRM_STRING, 1, &parms::velocityAttrib, &parms::velocityDefault),
    PRM_Template(),
};
} // namespace velocitywisps
