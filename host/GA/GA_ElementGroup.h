// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <map>
#include <memory>
#include <string>
#include <vector>
#include "GA_Types.h"

class GA_Primitive;

// A named set of primitives, kept in insertion order.
class UT_API GA_ElementGroup
{
public:
    GA_ElementGroup(const std::string &name, bool internal) : myName(name), myInternal(internal) {}

    const std::string &getName() const { return myName; }
    bool isInternal() const { return myInternal; }
    void add(const GA_Primitive *prim);
    void remove(const GA_Primitive *prim);
    bool contains(const GA_Primitive *prim) const;
    GA_Size entries() const { return GA_Size(myMembers.size()); }
    const std::vector<const GA_Primitive *> &members() const { return myMembers; }

private:
    friend class GA_Detail;
    std::string myName;
    bool myInternal;
    std::vector<const GA_Primitive *> myMembers;
};
typedef GA_ElementGroup GA_PrimitiveGroup;

class UT_API GA_ElementGroupTable
{
public:
    // Returns the existing group when the name is taken.
    GA_ElementGroup *newGroup(const char *name, bool internal = false);
    GA_ElementGroup *find(const char *name) const;
    void removePrimitive(const GA_Primitive *prim);
    void clear() { myGroups.clear(); }
    const std::vector<std::unique_ptr<GA_ElementGroup>> &groups() const { return myGroups; }

private:
    std::vector<std::unique_ptr<GA_ElementGroup>> myGroups;
};
typedef GA_ElementGroupTable GA_GroupTable;
