// SPDX-License-Identifier: Apache-2.0
#pragma once
// Which point attributes an operator reads, through which parameter, with
// how many components, and what its volumes show when one is missing: what
// sopcook tells the user before a cook about the input it was given. Each
// operator states its own (OperatorTraits.h); these apply the defaults for
// one that does not.
#include <string>
#include <vector>
#include "OperatorTraits.h"

namespace sopcook
{
using AttributeUse = traits::AttributeRead;

// The uses the operator states; for one that states none, every string
// parameter ending in "attrib" as a one-component read.
std::vector<AttributeUse> attributeUses(const OP_Operator &op, const std::vector<std::string> &stringParms);

// The parameters whose attributes the operator's noise needs at least one
// of (empty when it needs none).
traits::NoiseFrame noiseFrame(const OP_Operator &op);
} // namespace sopcook
