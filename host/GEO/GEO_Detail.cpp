#include "GEO_Detail.h"

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

int GEO_Detail::getBBox(UT_BoundingBox *bbox, const GA_PrimitiveGroup *group) const
{
    bbox->initBounds();
    if (group)
    {
        bool any = false;
        for (const GA_Primitive *prim : group->members())
            for (GA_Offset pt : prim->pointOffsets())
            {
                bbox->enlargeBounds(getPos3(pt));
                any = true;
            }
        return any ? 1 : 0;
    }
    GA_Size n = getNumPoints();
    for (GA_Offset pt = 0; pt < n; ++pt) bbox->enlargeBounds(getPos3(pt));
    return n > 0 ? 1 : 0;
}
