// SPDX-License-Identifier: Apache-2.0
#include "GEO_Detail.h"
#include <cmath>

GA_RWAttributeRef GEO_Detail::findFloatTuple(GA_AttributeOwner owner, const char *name, int min_size, int max_size) const
{
    GA_Attribute *a = findAttribute(owner, name);
    if (!a || a->getStorageClass() != GA_STORECLASS_FLOAT || a->getScope() != GA_SCOPE_PUBLIC) return GA_RWAttributeRef();
    if (a->getTupleSize() < min_size || (max_size >= 0 && a->getTupleSize() > max_size)) return GA_RWAttributeRef();
    return GA_RWAttributeRef(a);
}

GA_RWAttributeRef GEO_Detail::findStringTuple(GA_AttributeOwner owner, const char *name) const
{
    GA_Attribute *a = findAttribute(owner, name);
    if (!a || a->getStorageClass() != GA_STORECLASS_STRING) return GA_RWAttributeRef();
    return GA_RWAttributeRef(a);
}

GEO_AttributeHandle GEO_Detail::getPointAttribute(const char *name)
{
    return GEO_AttributeHandle(this, findAttribute(GA_ATTRIB_POINT, name));
}

GEO_AttributeHandle GEO_Detail::getPrimAttribute(const char *name)
{
    return GEO_AttributeHandle(this, findAttribute(GA_ATTRIB_PRIMITIVE, name));
}

// Points with a non-finite coordinate stay out of the box: one would make
// every bound infinite or undefined.
static bool finitePosition(const UT_Vector3 &p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y()) && std::isfinite(p.z());
}

int GEO_Detail::getBBox(UT_BoundingBox *bbox, const GA_PrimitiveGroup *group) const
{
    bbox->initBounds();
    if (group)
    {
        bool any = false;
        for (const GA_Primitive *prim : group->members())
            for (GA_Offset pt : prim->pointOffsets())
            {
                UT_Vector3 p = getPos3(pt);
                if (!finitePosition(p)) continue;
                bbox->enlargeBounds(p);
                any = true;
            }
        return any ? 1 : 0;
    }
    GA_Size n = getNumPoints();
    bool any = false;
    for (GA_Offset pt = 0; pt < n; ++pt)
    {
        UT_Vector3 p = getPos3(pt);
        if (!finitePosition(p)) continue;
        bbox->enlargeBounds(p);
        any = true;
    }
    return any ? 1 : 0;
}
