// SPDX-License-Identifier: Apache-2.0
#include "CommonParms.h"

namespace parms
{
PRM_Name divs("divs", "Divisions");
PRM_Name extendBounds("extendbounds", "Extend Bounds");
PRM_Name densityMult("densitymult", "Density Mult");
PRM_Name childrenCount("childrencount", "Children Count");
PRM_Name extendVoxels("extendvoxels", "Extend Voxels");
PRM_Name feather("feather", "Feather (WARNING! very slow with large pscale)");
PRM_Name reversePrimOrder("reverseprimorder", "Reverse Primitive Order");
PRM_Name doColor("docolor", "Do Color");
PRM_Name doNoise("donoise", "Do Noise");
PRM_Name doVelocity("dovelocity", "Do Velocity");
PRM_Name noiseFreq("noisefreq", "Noise Frequency");
PRM_Name noiseAmp("noiseamp", "Noise Amplitude");
PRM_Name noiseOctaves("noiseoctaves", "Noise Octave");
PRM_Name noiseRoughness("noiseroughness", "Noise Roughness");
PRM_Name densityAttrib("densityattrib", "Density Attribute");
PRM_Name radiusAttrib("radiusattrib", "Radius Attribute");
PRM_Name normalsAttrib("normalsattrib", "Normals Attribute");
PRM_Name upVectorAttrib("upvectorattrib", "Up Vector Attribute");
PRM_Name upAttrib("upattrib", "UP Attribute");
PRM_Name noiseOffsetAttrib("noiseoffsetattrib", "Noise Offset Attribute");
PRM_Name colorAttrib("colorattrib", "Color Attribute");
PRM_Name velocityAttrib("velocityattrib", "Velocity Attribute");
PRM_Name uvAttrib("uvattrib", "UV Attribute");
PRM_Name separator1("separator1", "Separator1");
PRM_Name separator2("separator2", "Separator2");

PRM_Default divsDefault[3] = {PRM_Default(10), PRM_Default(10), PRM_Default(10)};
PRM_Default oneDefault[3] = {PRM_Default(1), PRM_Default(1), PRM_Default(1)};
PRM_Default halfDefault(0.5);
PRM_Default oneHundredDefault(100);
PRM_Default densityDefault(0, "density");
PRM_Default pscaleDefault(0, "pscale");
PRM_Default normalsDefault(0, "N");
PRM_Default upvectorDefault(0, "up");
PRM_Default noiseoffsetDefault(0, "noiseoffset");
PRM_Default colorDefault(0, "Cd");
PRM_Default velocityDefault(0, "v");
PRM_Default uvDefault(0, "uv");
} // namespace parms
