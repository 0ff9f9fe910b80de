// SPDX-License-Identifier: Apache-2.0
#pragma once
// Helpers for tests: load plug-ins, build geometry, cook an operator.
#include <string>
#include <vector>
#include "GU/GU_Detail.h"
#include "GU/GU_PrimVolume.h"
#include "OP/OP_Operator.h"
#include "SOP/SOP_Node.h"
#include "cook/OperatorCook.h"

namespace testhost
{
// The process-wide operator table with every built plug-in loaded once.
OP_OperatorTable &table();
OP_Operator *op(const std::string &name);
std::string pluginPath(const std::string &name);

// The loaded operator; throws when no plug-in provides it.
OP_Operator &requireOp(const std::string &name);

// sopcook's cook harness for an operator of the loaded plug-ins, by name.
struct Cook : sopcook::OperatorCook
{
    explicit Cook(const std::string &opname) : OperatorCook(requireOp(opname)) {}
};

// Points with P and optional float attributes.
GA_Offset addPoint(GU_Detail &gdp, const UT_Vector3 &p);
void setPointAttrib(GU_Detail &gdp, GA_Offset pt, const char *name, std::vector<float> values);

// Volumes of a cooked detail, by their "name" attribute (null when absent).
GU_PrimVolume *findVolume(const GU_Detail &gdp, const char *name);
std::vector<std::string> volumeNames(const GU_Detail &gdp);
std::string primString(const GU_Detail &gdp, const char *attrib, const GA_Primitive *prim);
double volumeSum(const GU_PrimVolume *vol);
int nonZeroCount(const GU_PrimVolume *vol);
} // namespace testhost
