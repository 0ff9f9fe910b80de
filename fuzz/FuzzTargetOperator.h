// SPDX-License-Identifier: Apache-2.0
#pragma once
// A small operator with every kind of parameter, for feeding -s settings to
// assignParameters in the fuzzer and in the corpus test.
#include "OP/OP_Operator.h"
#include "SOP/SOP_Node.h"

namespace fuzztarget
{
inline PRM_Name divsName("divs"), sizeName("size"), countName("count"), flagName("flag"), nameName("name"),
    pathName("path"), fileName("file"), tagsName("tags");
inline PRM_Default threeTens[] = {PRM_Default(10), PRM_Default(10), PRM_Default(10)};
inline PRM_Default nameDefault(0, "density");

inline PRM_Template templates[] = {
    PRM_Template(PRM_INT, 3, &divsName, threeTens),
    PRM_Template(PRM_FLT, 3, &sizeName, PRMoneDefaults),
    PRM_Template(PRM_SEPARATOR, 1, nullptr),
    PRM_Template(PRM_INT, 1, &countName, PRMoneDefaults),
    PRM_Template(PRM_TOGGLE, 1, &flagName),
    PRM_Template(PRM_STRING, 1, &nameName, &nameDefault),
    PRM_Template(PRM_STRING_OPREF, 1, &pathName),
    PRM_Template(PRM_FILE, 1, &fileName),
    PRM_Template(PRM_STRING, 2, &tagsName),
    PRM_Template(),
};

class SOP_FuzzTarget : public SOP_Node
{
public:
    using SOP_Node::SOP_Node;
    static OP_Node *create(OP_Network *net, const char *name, OP_Operator *op) { return new SOP_FuzzTarget(net, name, op); }

protected:
    OP_ERROR cookMySop(OP_Context &) override { return error(); }
};

inline OP_Operator &theOperator()
{
    static OP_Operator op("fuzztarget", "Fuzz Target", SOP_FuzzTarget::create, templates, 0, 0);
    return op;
}
} // namespace fuzztarget
