// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "GA/GA_Detail.h"
#include "GEO_Point.h"

class UT_API GEO_Primitive : public GA_Primitive
{
public:
    using GA_Primitive::GA_Primitive;

    // The point of a vertex, or null when the vertex does not exist.
    GEO_Point *getVertexPoint(GA_Size vertex) const
    {
        if (vertex < 0 || vertex >= getVertexCount()) return nullptr;
        return getDetail().getGEOPoint(getPointOffset(vertex));
    }
    UT_Vector3 getPos3(GA_Size vertex) const { return getDetail().getPos3(getPointOffset(vertex)); }
};
