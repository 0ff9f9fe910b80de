// SPDX-License-Identifier: Apache-2.0
// glowball: a ball of density in the unit cube, brightest at its centre. A
// small operator written against the installed package only.
#include <cmath>
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
};

static PRM_Name divsName("divs", "Divisions");
static PRM_Name radiusName("radius", "Radius");
static PRM_Default divsDefault[3] = {PRM_Default(16), PRM_Default(16), PRM_Default(16)};
static PRM_Default radiusDefault(0.5);

PRM_Template SOP_glowball::myTemplateList[] = {
    PRM_Template(PRM_INT, 3, &divsName, divsDefault),
    PRM_Template(PRM_FLT, 1, &radiusName, &radiusDefault),
    PRM_Template(),
};

OP_ERROR SOP_glowball::cookMySop(OP_Context &context)
{
    CookGrid g;
    g.time = float(context.getTime());
    g.thread = context.getThread();
    gdp->clearAndDestroy();
    for (int a = 0; a < 3; ++a) g.divs[a] = unsigned(evalInt(g, "divs", a));
    for (double &s : g.size) s = 1;
    float radius = evalFloat(g, "radius");

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
                if (d < radius) volumes.handle(0)->setValue(i, j, k, float(1 - d / radius));
            }
    return error();
}
} // namespace glowball

SOP_PLUGIN_ENTRY(glowball::SOP_glowball, "glowball", "Glowball", 0)
