// SPDX-License-Identifier: Apache-2.0
#include "TestHost.h"
#include <stdexcept>
#include "GEO/GEO_PrimVolume.h"
#include "UT/UT_DSO.h"

namespace testhost
{
std::string pluginPath(const std::string &name) { return std::string(SUITE_PLUGIN_DIR) + "/" + name + ".so"; }

OP_OperatorTable &table()
{
    static OP_OperatorTable *theTable = [] {
        auto *t = new OP_OperatorTable;
        for (const std::string &path : UT_DSO::findPlugins({SUITE_PLUGIN_DIR}))
        {
            std::string error;
            UT_DSO::loadSopPlugin(path, *t, error);
        }
        return t;
    }();
    return *theTable;
}

OP_Operator *op(const std::string &name) { return table().getOperator(name); }

OP_Operator &requireOp(const std::string &name)
{
    OP_Operator *o = op(name);
    if (!o) throw std::runtime_error("operator not loaded: " + name);
    return *o;
}

GA_Offset addPoint(GU_Detail &gdp, const UT_Vector3 &p)
{
    GA_Offset pt = gdp.appendPoint();
    gdp.setPos3(pt, p);
    return pt;
}

void setPointAttrib(GU_Detail &gdp, GA_Offset pt, const char *name, std::vector<float> values)
{
    GA_RWAttributeRef ref = gdp.addFloatTuple(GA_ATTRIB_POINT, name, int(values.size()));
    ref.getAIFTuple()->set(ref.getAttribute(), pt, values.data(), int(values.size()));
}

std::string primString(const GU_Detail &gdp, const char *attrib, const GA_Primitive *prim)
{
    GA_Attribute *a = gdp.findAttribute(GA_ATTRIB_PRIMITIVE, attrib);
    if (!a || a->getStorageClass() != GA_STORECLASS_STRING) return "";
    return a->getS(prim->getMapOffset());
}

GU_PrimVolume *findVolume(const GU_Detail &gdp, const char *name)
{
    for (GA_Offset i = 0; i < gdp.getNumPrimitives(); ++i)
    {
        auto *vol = dynamic_cast<GU_PrimVolume *>(gdp.getPrimitive(i));
        if (vol && primString(gdp, "name", vol) == name) return vol;
    }
    return nullptr;
}

std::vector<std::string> volumeNames(const GU_Detail &gdp)
{
    std::vector<std::string> names;
    for (GA_Offset i = 0; i < gdp.getNumPrimitives(); ++i)
        if (auto *vol = dynamic_cast<GU_PrimVolume *>(gdp.getPrimitive(i))) names.push_back(primString(gdp, "name", vol));
    return names;
}

template <typename F>
static void forEachVoxel(const GU_PrimVolume *vol, F f)
{
    int rx, ry, rz;
    vol->getRes(rx, ry, rz);
    for (int k = 0; k < rz; ++k)
        for (int j = 0; j < ry; ++j)
            for (int i = 0; i < rx; ++i) f(vol->getValueAtIndex(i, j, k));
}

double volumeSum(const GU_PrimVolume *vol)
{
    double s = 0;
    forEachVoxel(vol, [&](double v) { s += v; });
    return s;
}

int nonZeroCount(const GU_PrimVolume *vol)
{
    int n = 0;
    forEachVoxel(vol, [&](double v) { n += v != 0; });
    return n;
}
} // namespace testhost
