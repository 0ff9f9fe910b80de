#pragma once
// Setting operator parameters from NAME=VALUE text, as the command line gives them.
#include <string>
#include <vector>
#include "OP/OP_Node.h"

namespace sopcook
{
// Checks every assignment against the operator's parameter list and sets
// them all on node; throws Error (nothing set) on an unknown name, a wrong
// number of components or a value that does not parse. Components are
// comma-separated; toggles take 0/1, on/off, true/false; strings are taken
// as they stand.
void assignParameters(OP_Node &node, const OP_Operator &op, const std::vector<std::string> &assignments);

// The value parameters of an operator, in list order.
std::vector<const PRM_Template *> valueParameters(const OP_Operator &op);

// "10, 10, 10" / "\"density\"" / "off": a parameter's default as text.
std::string defaultText(const PRM_Template &parm);
} // namespace sopcook
