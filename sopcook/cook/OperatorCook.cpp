// SPDX-License-Identifier: Apache-2.0
#include "cook/OperatorCook.h"

#include "Messages.h"

namespace sopcook
{
OperatorCook::OperatorCook(OP_Operator &op) : myOp(op)
{
    std::string name = op.getName() + "1";
    OP_Node *node = op.constructNode(nullptr, name.c_str());
    myNode.reset(dynamic_cast<SOP_Node *>(node));
    if (!myNode)
    {
        delete node;
        throw Error(op.getName() + ": the plug-in did not construct a surface-operator node");
    }
}

OperatorCook::~OperatorCook() = default;

GU_Detail &OperatorCook::input(unsigned idx)
{
    if (myInputs.size() <= idx) myInputs.resize(idx + 1);
    if (!myInputs[idx])
    {
        myInputs[idx].reset(new SOP_GeometrySource(idx == 0 ? "input" : "bbox"));
        myNode->setInput(idx, myInputs[idx].get());
    }
    return myInputs[idx]->source();
}

void OperatorCook::set(const char *parm, fpreal value, int component)
{
    if (!myNode->setFloat(parm, component, value)) throw Error(myOp.getName() + " has no parameter '" + parm + "'");
}

void OperatorCook::set(const char *parm, const std::string &value)
{
    if (!myNode->setString(parm, 0, value)) throw Error(myOp.getName() + " has no parameter '" + parm + "'");
}

void OperatorCook::set3(const char *parm, fpreal x, fpreal y, fpreal z)
{
    set(parm, x, 0);
    set(parm, y, 1);
    set(parm, z, 2);
}

OP_ERROR OperatorCook::cook(fpreal time)
{
    OP_Context context(time);
    return myNode->cook(context);
}

void OperatorCook::cook(fpreal time, std::vector<std::string> &warnings)
{
    OP_ERROR result;
    try
    {
        result = cook(time);
    }
    catch (const std::bad_alloc &)
    {
        throw Error(myOp.getName() + ": cook failed: out of memory");
    }
    catch (const std::exception &e)
    {
        throw Error(myOp.getName() + ": cook failed: " + e.what());
    }
    catch (...)
    {
        throw Error(myOp.getName() + ": cook failed with an unknown exception");
    }
    std::string firstError;
    for (const OP_Node::Message &m : myNode->messages())
    {
        if (m.severity >= UT_ERROR_ERROR && firstError.empty()) firstError = m.text;
        else if (m.severity >= UT_ERROR_WARNING) warnings.push_back(myOp.getName() + ": " + m.text);
    }
    if (result >= UT_ERROR_ERROR)
        throw Error(myOp.getName() + ": cook failed" + (firstError.empty() ? "" : ": " + firstError));
}

} // namespace sopcook
