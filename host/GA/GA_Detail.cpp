// SPDX-License-Identifier: Apache-2.0
#include "GA_Detail.h"
#include "GEO/GEO_Point.h"

GA_Primitive::~GA_Primitive() = default;

void GA_Primitive::appendVertex(GA_Offset point) { myPoints.push_back(point); }

GA_Detail::GA_Detail() { clearAndDestroy(); }

GA_Detail::~GA_Detail() = default;

void GA_Detail::clearAndDestroy()
{
    myPrims.clear();
    for (auto &list : myAttribs) list.clear();
    for (auto &table : myGroups) table.clear();
    myVariables.clear();
    myPointObjects.clear();
    myPointCount = 0;
    myPendingRemoval = false;
    myPointDoomed.clear();
    myPointRefs.clear();
    myP = addAttribute(GA_ATTRIB_POINT, "P", GA_STORECLASS_FLOAT, 3);
    resizeOwner(GA_ATTRIB_GLOBAL, 1);
}

void GA_Detail::copyFrom(const GA_Detail &src)
{
    if (&src == this) return;
    src.settle();
    clearAndDestroy();
    for (int o = 0; o < GA_ATTRIB_OWNER_N; ++o)
    {
        myAttribs[o].clear();
        for (auto &a : src.myAttribs[o]) myAttribs[o].emplace_back(new GA_Attribute(*a));
    }
    myP = findAttribute(GA_ATTRIB_POINT, "P");
    myPointCount = src.myPointCount;
    for (GA_Offset pt = 0; pt < myPointCount; ++pt) myPointObjects.emplace_back(new GEO_Point(this, pt));
    for (auto &prim : src.myPrims)
    {
        GA_Primitive *copy = prim->clone(this);
        copy->myOffset = GA_Offset(myPrims.size());
        myPrims.emplace_back(copy);
    }
    for (int o = 0; o < GA_ATTRIB_OWNER_N; ++o)
        for (auto &g : src.myGroups[o].groups())
        {
            GA_ElementGroup *mine = myGroups[o].newGroup(g->getName().c_str(), g->isInternal());
            for (const GA_Primitive *p : g->members()) mine->add(myPrims[size_t(p->getMapOffset())].get());
        }
    myVariables = src.myVariables;
}

GA_Offset GA_Detail::appendPoint() { return appendPointBlock(1); }

GA_Offset GA_Detail::appendPointBlock(GA_Size n)
{
    settle();
    GA_Offset first = myPointCount;
    myPointCount += n;
    resizeOwner(GA_ATTRIB_POINT, myPointCount);
    for (GA_Offset pt = first; pt < myPointCount; ++pt) myPointObjects.emplace_back(new GEO_Point(this, pt));
    return first;
}

GEO_Point *GA_Detail::getGEOPoint(GA_Offset pt) const
{
    settle();
    if (pt < 0 || pt >= myPointCount) return nullptr;
    return myPointObjects[size_t(pt)].get();
}

GA_Offset GA_Detail::appendPrimitive(GA_Primitive *prim)
{
    settle();
    prim->myOffset = GA_Offset(myPrims.size());
    myPrims.emplace_back(prim);
    resizeOwner(GA_ATTRIB_PRIMITIVE, GA_Size(myPrims.size()));
    return prim->myOffset;
}

void GA_Detail::rebuildPointRefs()
{
    myPointRefs.assign(size_t(myPointCount), 0);
    for (auto &prim : myPrims)
        if (prim)
            for (GA_Offset pt : prim->myPoints)
                if (pt >= 0 && pt < myPointCount) ++myPointRefs[size_t(pt)];
}

bool GA_Detail::destroyPrimitive(GA_Primitive &prim, bool and_points)
{
    if (&prim.getDetail() != this) return false;
    size_t slot = size_t(prim.myOffset);
    if (slot >= myPrims.size() || myPrims[slot].get() != &prim) return false;
    if (!myPendingRemoval)
    {
        rebuildPointRefs();
        myPointDoomed.assign(size_t(myPointCount), false);
        myPendingRemoval = true;
    }
    for (GA_Offset pt : prim.myPoints)
    {
        if (pt < 0 || pt >= myPointCount) continue;
        if (--myPointRefs[size_t(pt)] == 0 && and_points) myPointDoomed[size_t(pt)] = true;
    }
    for (auto &table : myGroups) table.removePrimitive(&prim);
    myPrims[slot].reset();
    return true;
}

void GA_Detail::compact()
{
    myPendingRemoval = false;
    // Points: keep the survivors and renumber the vertices that name them.
    std::vector<GA_Offset> newIndex(size_t(myPointCount), GA_INVALID_OFFSET);
    std::vector<bool> keepPoint(static_cast<size_t>(myPointCount), false);
    GA_Offset next = 0;
    for (GA_Offset pt = 0; pt < myPointCount; ++pt)
    {
        bool keep = !myPointDoomed[size_t(pt)];
        keepPoint[size_t(pt)] = keep;
        if (keep) newIndex[size_t(pt)] = next++;
    }
    for (auto &a : myAttribs[GA_ATTRIB_POINT]) a->compact(keepPoint);
    myPointCount = next;
    myPointObjects.resize(size_t(myPointCount));

    // Primitives: drop the destroyed slots.
    std::vector<bool> keepPrim(myPrims.size());
    std::vector<std::unique_ptr<GA_Primitive>> kept;
    for (size_t i = 0; i < myPrims.size(); ++i)
    {
        keepPrim[i] = bool(myPrims[i]);
        if (!myPrims[i]) continue;
        for (GA_Offset &pt : myPrims[i]->myPoints) pt = pt >= 0 && size_t(pt) < newIndex.size() ? newIndex[size_t(pt)] : GA_INVALID_OFFSET;
        myPrims[i]->myOffset = GA_Offset(kept.size());
        kept.push_back(std::move(myPrims[i]));
    }
    myPrims.swap(kept);
    for (auto &a : myAttribs[GA_ATTRIB_PRIMITIVE]) a->compact(keepPrim);
    myPointDoomed.clear();
    myPointRefs.clear();
}

GA_Attribute *GA_Detail::findAttribute(GA_AttributeOwner owner, const char *name) const
{
    if (!name || owner < 0 || owner >= GA_ATTRIB_OWNER_N) return nullptr;
    for (auto &a : myAttribs[owner])
        if (a->getName() == name) return a.get();
    return nullptr;
}

GA_Size GA_Detail::elementCount(GA_AttributeOwner owner) const
{
    switch (owner)
    {
    case GA_ATTRIB_POINT: return myPointCount;
    case GA_ATTRIB_PRIMITIVE: return GA_Size(myPrims.size());
    case GA_ATTRIB_GLOBAL: return 1;
    default: return 0;
    }
}

GA_Attribute *GA_Detail::addAttribute(GA_AttributeOwner owner, const char *name, GA_StorageClass storage, int tuplesize)
{
    if (!name || !*name || tuplesize < 1 || owner == GA_ATTRIB_VERTEX || owner >= GA_ATTRIB_OWNER_N) return nullptr;
    settle();
    if (GA_Attribute *existing = findAttribute(owner, name))
    {
        if (existing->getStorageClass() == storage && existing->getTupleSize() >= tuplesize) return existing;
        if (existing == myP) return nullptr;
        destroyAttribute(owner, name);
    }
    myAttribs[owner].emplace_back(new GA_Attribute(name, owner, storage, tuplesize));
    myAttribs[owner].back()->resize(elementCount(owner));
    return myAttribs[owner].back().get();
}

GA_RWAttributeRef GA_Detail::addFloatTuple(GA_AttributeOwner owner, const char *name, int tuplesize)
{
    return GA_RWAttributeRef(addAttribute(owner, name, GA_STORECLASS_FLOAT, tuplesize));
}

GA_RWAttributeRef GA_Detail::addStringTuple(GA_AttributeOwner owner, const char *name, int tuplesize)
{
    return GA_RWAttributeRef(addAttribute(owner, name, GA_STORECLASS_STRING, tuplesize));
}

void GA_Detail::destroyAttribute(GA_AttributeOwner owner, const char *name)
{
    auto &list = myAttribs[owner];
    for (auto it = list.begin(); it != list.end(); ++it)
        if ((*it)->getName() == name && it->get() != myP)
        {
            list.erase(it);
            return;
        }
}

void GA_Detail::addVariableName(const char *attrib, const char *varname)
{
    if (attrib && varname) myVariables[varname] = attrib;
}

void GA_Detail::resizeOwner(GA_AttributeOwner owner, GA_Size n)
{
    for (auto &a : myAttribs[owner]) a->resize(n);
}
