// SPDX-License-Identifier: Apache-2.0
#pragma once
// Setting operator parameters from NAME=VALUE text, as the command line gives them.
#include <string>
#include <vector>
#include "OP/OP_Node.h"
#include "cook/DoorWording.h"

namespace sopcook
{
// One checked NAME=VALUE: the parameter and its components, parsed.
struct ParmSetting
{
    const PRM_Template *parm;
    std::vector<double> numbers;      // numeric and toggle parameters
    std::vector<std::string> strings; // string parameters
};

// One parameter value as a door received it: its components as text,
// comma-separated, and the value as the user wrote it (for messages).
struct ParmText
{
    std::string name, value, shown;
};

// Parses every value against the operator's parameter list; throws Error,
// naming the setting as the door spells it, on an unknown name, a wrong
// number of components or a value that does not parse. Toggles take 0/1,
// on/off, true/false; a single string is taken as it stands.
std::vector<ParmSetting> parseParameters(const OP_Operator &op, const std::vector<ParmText> &given, const DoorWording &door);

// The command line's NAME=VALUE texts (-s), parsed as above.
std::vector<ParmSetting> parseParameters(const OP_Operator &op, const std::vector<std::string> &assignments);

// One warning per setting the operators will not take as given: divs below
// 2 become 2 ("-s divs=0,8,8: ...; cooking divs=2,8,8").
std::vector<std::string> parameterAdjustments(const std::vector<ParmSetting> &settings,
                                              const DoorWording &door = commandLineWording());

// Sets checked settings on a node of the operator they were checked against.
void applyParameters(OP_Node &node, const std::vector<ParmSetting> &settings);

// Both in one go: nothing is set when any assignment fails its check.
void assignParameters(OP_Node &node, const OP_Operator &op, const std::vector<std::string> &assignments);

// The value parameters of an operator, in list order.
std::vector<const PRM_Template *> valueParameters(const OP_Operator &op);

// "10, 10, 10" / "\"density\"" / "off": a parameter's default as text.
std::string defaultText(const PRM_Template &parm);
} // namespace sopcook
