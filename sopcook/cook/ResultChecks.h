// SPDX-License-Identifier: Apache-2.0
#pragma once
// Checks of a cook's result that every door (the command line, the Python
// module) makes, returned as text so each door reports them its own way.
#include <string>
#include <vector>
#include "OP/OP_Node.h"
#include "cook/CookEstimate.h"
#include "vdb/VdbWriter.h"

namespace sopcook
{
// One warning for every volume holding NaN or infinity, or "" when none does.
// where: the output file, or what the volumes are called at this door.
std::string nonFiniteWarning(const std::string &op, const std::vector<VolumeSummary> &volumes, const std::string &where);

// The node warnings that mean the operator could not read its input (a GIF it
// failed to open), each as "WHAT: WHY"; empty when the cook read its input or
// the estimate already named the problem.
std::vector<std::string> inputFailures(const OP_Operator &op, OP_Node &node, const CookEstimate &estimate);
} // namespace sopcook
