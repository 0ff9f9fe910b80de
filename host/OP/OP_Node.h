// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>
#include <vector>
#include "OP_Context.h"
#include "OP_Operator.h"
#include "OP_Parameters.h"
#include "UT/UT_BoundingBox.h"
#include "UT/UT_Matrix4.h"

class OP_Network;

// A node: parameters, inputs and the messages of its last cook.
class UT_API OP_Node : public OP_Parameters
{
public:
    OP_Node(OP_Network *parent, const char *name, OP_Operator *op);
    ~OP_Node() override;

    const UT_String &getName() const { return myName; }
    OP_Operator *getOperator() const { return myOperator; }
    OP_Network *getParent() const { return myParent; }

    // Inputs are borrowed: whoever wires the nodes keeps them alive.
    OP_Node *getInput(unsigned idx) const { return idx < myInputs.size() ? myInputs[idx] : nullptr; }
    void setInput(unsigned idx, OP_Node *node);
    unsigned nInputs() const { return unsigned(myInputs.size()); }

    // Absolute paths are looked up through the director.
    OP_Node *findNode(const char *path) const;

    virtual OP_ERROR cook(OP_Context &context);
    virtual bool getBoundingBox(UT_BoundingBox &box, OP_Context &context);
    virtual bool getWorldTransform(UT_DMatrix4 &xform, OP_Context &context);

    OP_ERROR error() const { return mySeverity; }
    void addError(const char *message) { addMessage(UT_ERROR_ERROR, message); }
    void addWarning(const char *message) { addMessage(UT_ERROR_WARNING, message); }
    void addMessage(OP_ERROR severity, const char *message);
    void clearErrors();
    struct Message
    {
        OP_ERROR severity;
        std::string text;
    };
    const std::vector<Message> &messages() const { return myMessages; }

private:
    OP_Network *myParent;
    UT_String myName;
    OP_Operator *myOperator;
    std::vector<OP_Node *> myInputs;
    OP_ERROR mySeverity = UT_ERROR_NONE;
    std::vector<Message> myMessages;
};
