// SPDX-License-Identifier: Apache-2.0
// glowball: a ball of density in the unit cube, brightest at its centre and
// as bright as the input points' densities summed. A small operator written
// against the installed package only, stating its own traits: the estimate
// and the attribute checks of a host come from them.
#include <cmath>
#include "OperatorTraits.h"
#include "PluginEntry.h"
#include "SOP_VolumeOperator.h"
#include "VolumeSetup.h"

namespace glowball
{
class SOP_glowball : public SOP_VolumeOperator<SOP_glowball>
{
public:
    SOP_glowball(OP_Network *net, const char *name, OP_Operator *op) : SOP_VolumeOperator(net, name, op) {}
    static PRM_Template myTemplateList[];

protected:
    OP_ERROR cookMySop(OP_Context &context) override;

private:
    float inputDensity(OP_Context &context, const char *attrib);
};

static PRM_Name divsName("divs", "Divisions");
static PRM_Name radiusName("radius", "Radius");
static PRM_Name densityAttribName("densityattrib", "Density Attribute");
static PRM_Default divsDefault[3] = {PRM_Default(16), PRM_Default(16), PRM_Default(16)};
static PRM_Default radiusDefault(0.5);
static PRM_Default densityAttribDefault(0, "density");

PRM_Template SOP_glowball::myTemplateList[] = {
    PRM_Template(PRM_INT, 3, &divsName, divsDefault),
    PRM_Template(PRM_FLT, 1, &radiusName, &radiusDefault),
    PRM_Template(PRM_STRING, 1, &densityAttribName, &densityAttribDefault),
    PRM_Template(),
};

// The input points' densities summed: 0 without an input or the attribute.
float SOP_glowball::inputDensity(OP_Context &context, const char *attrib)
{
    float sum = 0;
    if (!getInput(0) || lockInputs(context) > UT_ERROR_ERROR) return sum;
    if (duplicateSource(0, context, gdp, true) <= UT_ERROR_ERROR)
        if (GA_Attribute *a = gdp->findAttribute(GA_ATTRIB_POINT, attrib);
            a && a->getStorageClass() == GA_STORECLASS_FLOAT)
            for (GA_Offset pt = 0; pt < GA_Offset(gdp->getNumPoints()); ++pt) sum += a->getF(pt, 0);
    unlockInputs();
    gdp->clearAndDestroy();
    return sum;
}

OP_ERROR SOP_glowball::cookMySop(OP_Context &context)
{
    CookGrid g;
    g.time = float(context.getTime());
    g.thread = context.getThread();
    gdp->clearAndDestroy();
    for (int a = 0; a < 3; ++a) g.divs[a] = unsigned(evalInt(g, "divs", a));
    for (double &s : g.size) s = 1;
    float radius = evalFloat(g, "radius");
    float density = inputDensity(context, evalString(g, "densityattrib").c_str());

    VolumeSet volumes = setupVolumes(gdp, g.divs, g.size, g.centre, g.extension, false, "/obj/glowball:0",
                                     {fields::density});
    const int n[3] = {int(g.divs[0]), int(g.divs[1]), int(g.divs[2])};
    for (int k = 0; k < n[2]; ++k)
        for (int j = 0; j < n[1]; ++j)
            for (int i = 0; i < n[0]; ++i)
            {
                // Voxel centre in [-0.5, 0.5]^3.
                double x = (i + 0.5) / n[0] - 0.5, y = (j + 0.5) / n[1] - 0.5, z = (k + 0.5) / n[2] - 0.5;
                double d = std::sqrt(x * x + y * y + z * z);
                if (d < radius && density != 0) volumes.handle(0)->setValue(i, j, k, density * float(1 - d / radius));
            }
    return error();
}

// Every voxel is visited once; the cook never polls.
static void glowballCost(const cost::Parms &, const cost::InputCounts &, cost::OperatorCost &c)
{
    c.volumes = 1;
    c.least.add(c.grid.voxels(), cost::visitSeconds, c.grid.text + " voxels");
    c.most = c.least;
    c.stopsEarly = false;
}

static traits::OperatorTraits glowballTraits()
{
    traits::OperatorTraits t;
    t.input = traits::InputKind::Points;
    t.cost = glowballCost;
    t.attributesKnown = true;
    t.attributes = {traits::essential("densityattrib", 1, "every density reads 0, so the ball stays 0")};
    return t;
}
} // namespace glowball

SOP_PLUGIN_ENTRY_TRAITS(glowball::SOP_glowball, "glowball", "Glowball", 1, glowball::glowballTraits())
