// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>
#include "GA_Attribute.h"
#include "GA_ElementGroup.h"
#include "GA_Primitive.h"
#include "UT/UT_Vector3.h"
#include "UT/UT_VoxelSlab.h"

class GEO_Point;

// Points, primitives, attributes and primitive groups of one geometry.
//
// Elements stay packed: an offset is always the element's index. Destroyed
// primitives (and the points only they used) are removed in one pass the
// next time the detail is read, so destroying many primitives costs one
// compaction, not one each.
class UT_API GA_Detail
{
public:
    GA_Detail();
    GA_Detail(const GA_Detail &) = delete;
    GA_Detail &operator=(const GA_Detail &) = delete;
    virtual ~GA_Detail();

    void clearAndDestroy();
    // Replaces this detail's contents with a copy of src (volume voxels are
    // shared copy-on-write).
    void copyFrom(const GA_Detail &src);

    // Points
    GA_Size getNumPoints() const { settle(); return myPointCount; }
    GA_Offset appendPoint();
    GA_Offset appendPointBlock(GA_Size n);
    GA_Offset pointOffset(GA_Index index) const { settle(); return index; }
    GA_Index pointIndex(GA_Offset offset) const { settle(); return offset; }
    UT_Vector3 getPos3(GA_Offset pt) const
    {
        settle();
        const float *p = myP->floatData() + 3 * size_t(pt);
        return UT_Vector3(p[0], p[1], p[2]);
    }
    void setPos3(GA_Offset pt, const UT_Vector3 &pos)
    {
        settle();
        float *p = myP->floatData() + 3 * size_t(pt);
        p[0] = pos.x(); p[1] = pos.y(); p[2] = pos.z();
    }
    // A stable point object for offset pt (valid until points are removed).
    GEO_Point *getGEOPoint(GA_Offset pt) const;

    // Primitives
    GA_Size getNumPrimitives() const { settle(); return GA_Size(myPrims.size()); }
    GA_Primitive *getPrimitive(GA_Offset off) const { settle(); return myPrims[size_t(off)].get(); }
    // Takes ownership; returns the primitive's offset.
    GA_Offset appendPrimitive(GA_Primitive *prim);
    // Removes prim, and with and_points every point no other primitive uses.
    bool destroyPrimitive(GA_Primitive &prim, bool and_points = false);

    // Attributes
    GA_Attribute *findAttribute(GA_AttributeOwner owner, const char *name) const;
    GA_Attribute *addAttribute(GA_AttributeOwner owner, const char *name, GA_StorageClass storage, int tuplesize);
    GA_RWAttributeRef addFloatTuple(GA_AttributeOwner owner, const char *name, int tuplesize);
    GA_RWAttributeRef addStringTuple(GA_AttributeOwner owner, const char *name, int tuplesize);
    void destroyAttribute(GA_AttributeOwner owner, const char *name);
    const std::vector<std::unique_ptr<GA_Attribute>> &attributes(GA_AttributeOwner owner) const
    {
        return myAttribs[owner];
    }
    // Elements of an owner class. Vertex attributes are not stored: readers
    // promote them to points.
    GA_Size elementCount(GA_AttributeOwner owner) const;
    void addVariableName(const char *attrib, const char *varname);
    const std::map<std::string, std::string> &variableNames() const { return myVariables; }

    // Groups
    GA_ElementGroupTable &getElementGroupTable(GA_AttributeOwner owner) { settle(); return myGroups[owner]; }
    const GA_ElementGroupTable &getElementGroupTable(GA_AttributeOwner owner) const { settle(); return myGroups[owner]; }
    GA_PrimitiveGroup *newPrimitiveGroup(const char *name, bool internal = false)
    {
        return getElementGroupTable(GA_ATTRIB_PRIMITIVE).newGroup(name, internal);
    }
    GA_PrimitiveGroup *findPrimitiveGroup(const char *name) const
    {
        return getElementGroupTable(GA_ATTRIB_PRIMITIVE).find(name);
    }

    // The z-slab the volumes built in this detail keep (default: the whole
    // volume): what a host that cooks a frame in parts sets on the detail an
    // operator cooks into. It belongs to the detail, not to its contents:
    // clearing and copying into it keep it.
    void setVoxelSlab(const UT_VoxelSlab &slab) { myVoxelSlab = slab.checked(); }
    const UT_VoxelSlab &getVoxelSlab() const { return myVoxelSlab; }

    // Applies pending removals now.
    void settle() const
    {
        if (myPendingRemoval) const_cast<GA_Detail *>(this)->compact();
    }

private:
    void compact();
    void resizeOwner(GA_AttributeOwner owner, GA_Size n);
    void rebuildPointRefs();

    UT_VoxelSlab myVoxelSlab;
    GA_Size myPointCount = 0;
    GA_Attribute *myP = nullptr;
    std::vector<std::unique_ptr<GA_Primitive>> myPrims;
    std::vector<std::unique_ptr<GA_Attribute>> myAttribs[GA_ATTRIB_OWNER_N];
    GA_ElementGroupTable myGroups[GA_ATTRIB_OWNER_N];
    std::map<std::string, std::string> myVariables;
    std::vector<std::unique_ptr<GEO_Point>> myPointObjects; // one per point, made with the point

    // Pending removals: destroyed primitives are null slots until compact().
    bool myPendingRemoval = false;
    std::vector<bool> myPointDoomed;
    std::vector<int> myPointRefs; // primitives using each point, built on the first destroy
};
