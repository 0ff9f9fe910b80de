// SPDX-License-Identifier: Apache-2.0
#include "cook/ResultChecks.h"

#include "OperatorTraits.h"

namespace sopcook
{
std::string nonFiniteWarning(const std::string &op, const std::vector<VolumeSummary> &volumes, const std::string &where)
{
    uint64_t total = 0;
    std::string first, each;
    for (const VolumeSummary &v : volumes)
    {
        if (v.nonFinite.count == 0) continue;
        total += v.nonFinite.count;
        each += (each.empty() ? "" : ", ") + v.name + " " + std::to_string(v.nonFinite.count);
        if (first.empty())
            first = v.name + " voxel (" + std::to_string(v.nonFinite.first[0]) + ", " + std::to_string(v.nonFinite.first[1]) +
                    ", " + std::to_string(v.nonFinite.first[2]) + ")";
    }
    if (!total) return "";
    return where + ": " + std::to_string(total) + " voxels hold NaN or infinity (" + each + "; first: " + first +
           "); written as " + op + " made them";
}

std::vector<std::string> inputFailures(const OP_Operator &op, OP_Node &node, const CookEstimate &estimate)
{
    std::vector<std::string> failures;
    if (estimate.warningFailure.empty() || !estimate.problem.empty()) return failures;
    const traits::OperatorTraits *t = traits::operatorTraits(op);
    for (const OP_Node::Message &m : node.messages())
        if (m.severity == UT_ERROR_WARNING)
            failures.push_back(estimate.warningFailure + ": " +
                               (t && t->image.failureReason ? t->image.failureReason(m.text) : m.text));
    return failures;
}
} // namespace sopcook
