// SPDX-License-Identifier: Apache-2.0
#include "SOP_VolumeOperator.h"
#include <vector>

const char *frameInputLabels[] = {"Point Geo", "Bounding Box (optional)", nullptr};

CH_LocalVariable frameLocalVariables[] = {
    {"PT", 0, 0},
    {"NPT", 1, 0},
    {"ID", 2, 0},
    {"LIFE", 3, 0},
    {nullptr, 0, 0},
};

float frameVariableValue(GU_Detail *gdp, int index, int currentPoint, int pointTotal)
{
    switch (index)
    {
    case 0: return float(currentPoint);
    case 1: return float(pointTotal);
    case 2:
    case 3:
    {
        GEO_AttributeHandle h = gdp->getPointAttribute(index == 2 ? "id" : "life");
        h.setElement(gdp->getGEOPoint(currentPoint));
        if (index == 2) return float(h.getF(0));
        return float(h.getF(0) / h.getF(1));
    }
    default: return 0.0f;
    }
}

void frameBounds(SOP_Node &node, GU_Detail *gdp, OP_Context &context, CookGrid &grid)
{
    UT_BoundingBox box;
    if (OP_Node *bboxInput = node.getInput(1))
    {
        bboxInput->getBoundingBox(box, context);
        grid.boundsFromPoints = false;
    }
    else
    {
        gdp->getBBox(&box);
        grid.boundsFromPoints = true;
    }
    for (int a = 0; a < 3; ++a)
    {
        float lo = box.getMin(a), hi = box.getMax(a);
        grid.size[a] = double(float(hi - lo));
        grid.centre[a] = double(float((lo + hi) * 0.5f));
    }
}

void destroyInputPrimitives(GU_Detail *gdp, GA_Size n)
{
    // Collect first: destroying marks slots, the detail settles on next read.
    std::vector<GA_Primitive *> doomed;
    for (GA_Offset i = 0; i < n && i < gdp->getNumPrimitives(); ++i) doomed.push_back(gdp->getPrimitive(i));
    for (GA_Primitive *prim : doomed) gdp->destroyPrimitive(*prim, true);
}
