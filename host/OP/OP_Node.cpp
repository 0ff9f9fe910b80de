// SPDX-License-Identifier: Apache-2.0
#include "OP_Director.h"
#include <algorithm>

OP_Node::OP_Node(OP_Network *parent, const char *name, OP_Operator *op)
    : OP_Parameters(op ? op->getParmTemplates() : nullptr), myParent(parent), myName(name), myOperator(op)
{
}

OP_Node::~OP_Node() { OPgetDirector()->unregisterNode(this); }

void OP_Node::setInput(unsigned idx, OP_Node *node)
{
    if (myInputs.size() <= idx) myInputs.resize(idx + 1, nullptr);
    myInputs[idx] = node;
}

OP_Node *OP_Node::findNode(const char *path) const { return OPgetDirector()->findNode(path); }

OP_ERROR OP_Node::cook(OP_Context &) { return error(); }

bool OP_Node::getBoundingBox(UT_BoundingBox &box, OP_Context &)
{
    box.initBounds();
    return false;
}

bool OP_Node::getWorldTransform(UT_DMatrix4 &xform, OP_Context &)
{
    xform.identity();
    return false;
}

void OP_Node::addMessage(OP_ERROR severity, const char *message)
{
    mySeverity = std::max(mySeverity, severity);
    myMessages.push_back({severity, message ? message : ""});
}

void OP_Node::clearErrors()
{
    mySeverity = UT_ERROR_NONE;
    myMessages.clear();
}

OP_Director::OP_Director() : OP_Network(nullptr, "", nullptr) {}

OP_Node *OP_Director::findNode(const char *path) const
{
    if (!path) return nullptr;
    auto it = myNodes.find(path);
    return it == myNodes.end() ? nullptr : it->second;
}

void OP_Director::registerNode(const std::string &path, OP_Node *node) { myNodes[path] = node; }

void OP_Director::unregisterNode(OP_Node *node)
{
    for (auto it = myNodes.begin(); it != myNodes.end();)
        it = it->second == node ? myNodes.erase(it) : std::next(it);
}

OP_Director *OPgetDirector()
{
    static OP_Director *theDirector = new OP_Director; // lives until exit; nodes unregister into it
    return theDirector;
}
