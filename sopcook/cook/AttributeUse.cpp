// SPDX-License-Identifier: Apache-2.0
#include "cook/AttributeUse.h"

namespace sopcook
{
namespace
{
bool endsWith(const std::string &s, const std::string &tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}
} // namespace

std::vector<AttributeUse> attributeUses(const OP_Operator &op, const std::vector<std::string> &stringParms)
{
    if (const traits::OperatorTraits *t = traits::operatorTraits(op); t && t->attributesKnown) return t->attributes;
    std::vector<AttributeUse> uses;
    for (const std::string &p : stringParms)
        if (endsWith(p, "attrib")) uses.push_back(traits::essential(p.c_str(), 1, "every value reads 0"));
    return uses;
}

traits::NoiseFrame noiseFrame(const OP_Operator &op)
{
    const traits::OperatorTraits *t = traits::operatorTraits(op);
    return t ? t->noiseFrame : traits::NoiseFrame();
}
} // namespace sopcook
