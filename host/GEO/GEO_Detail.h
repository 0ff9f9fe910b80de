// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "GA/GA_Detail.h"
#include "GEO_AttributeHandle.h"
#include "GEO_Point.h"
#include "GEO_PrimPoly.h"
#include "GEO_Primitive.h"
#include "UT/UT_BoundingBox.h"

class UT_API GEO_Detail : public GA_Detail
{
public:
    // A float attribute with at least min_size components (and at most
    // max_size, when not negative); invalid otherwise.
    GA_RWAttributeRef findFloatTuple(GA_AttributeOwner owner, const char *name, int min_size = 1, int max_size = -1) const;
    GA_RWAttributeRef findStringTuple(GA_AttributeOwner owner, const char *name) const;

    GEO_AttributeHandle getPointAttribute(const char *name);
    GEO_AttributeHandle getPrimAttribute(const char *name);

    GEO_Primitive *getGEOPrimitive(GA_Offset off) const { return static_cast<GEO_Primitive *>(getPrimitive(off)); }

    // Bounds of all points; 0 (and an empty box) when there are none.
    int getBBox(UT_BoundingBox *bbox, const GA_PrimitiveGroup *group = nullptr) const;
};
