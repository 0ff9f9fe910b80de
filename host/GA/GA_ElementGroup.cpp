// SPDX-License-Identifier: Apache-2.0
#include "GA_ElementGroup.h"
#include <algorithm>

void GA_ElementGroup::add(const GA_Primitive *prim)
{
    if (!contains(prim)) myMembers.push_back(prim);
}

void GA_ElementGroup::remove(const GA_Primitive *prim)
{
    myMembers.erase(std::remove(myMembers.begin(), myMembers.end(), prim), myMembers.end());
}

bool GA_ElementGroup::contains(const GA_Primitive *prim) const
{
    return std::find(myMembers.begin(), myMembers.end(), prim) != myMembers.end();
}

GA_ElementGroup *GA_ElementGroupTable::newGroup(const char *name, bool internal)
{
    if (GA_ElementGroup *existing = find(name)) return existing;
    myGroups.emplace_back(new GA_ElementGroup(name ? name : "", internal));
    return myGroups.back().get();
}

GA_ElementGroup *GA_ElementGroupTable::find(const char *name) const
{
    for (auto &g : myGroups)
        if (g->getName() == (name ? name : "")) return g.get();
    return nullptr;
}

void GA_ElementGroupTable::removePrimitive(const GA_Primitive *prim)
{
    for (auto &g : myGroups) g->remove(prim);
}
