// SPDX-License-Identifier: Apache-2.0
#include "OP_Operator.h"
#include "OP_Node.h"

OP_Operator::OP_Operator(const char *name, const char *english, OP_Constructor construct, PRM_Template *templates,
                         unsigned min_sources, unsigned max_sources, CH_LocalVariable *variables, unsigned flags,
                         const char **inputlabels)
    : myName(name ? name : ""), myEnglish(english ? english : ""), myConstructor(construct), myTemplates(templates),
      myMinSources(min_sources), myMaxSources(max_sources), myVariables(variables), myFlags(flags)
{
    for (unsigned i = 0; inputlabels && i < max_sources && inputlabels[i]; ++i) myInputLabels.push_back(inputlabels[i]);
}

OP_Operator::~OP_Operator() = default;

std::string OP_Operator::getInputLabel(unsigned idx) const
{
    if (idx < myInputLabels.size()) return myInputLabels[idx];
    return "Input " + std::to_string(idx + 1);
}

OP_Node *OP_Operator::constructNode(OP_Network *parent, const char *name)
{
    return myConstructor ? myConstructor(parent, name, this) : nullptr;
}

OP_OperatorTable::OP_OperatorTable() = default;
OP_OperatorTable::~OP_OperatorTable() = default;

bool OP_OperatorTable::addOperator(OP_Operator *op)
{
    if (!op) return false;
    if (getOperator(op->getName()))
    {
        delete op;
        return false;
    }
    myOperators.emplace_back(op);
    return true;
}

OP_Operator *OP_OperatorTable::getOperator(const std::string &name) const
{
    for (auto &op : myOperators)
        if (op->getName() == name) return op.get();
    return nullptr;
}
