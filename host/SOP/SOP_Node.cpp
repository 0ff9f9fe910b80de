// SPDX-License-Identifier: Apache-2.0
#include "SOP_Node.h"

SOP_Node::SOP_Node(OP_Network *net, const char *name, OP_Operator *op) : OP_Network(net, name, op), gdp(&myDetail) {}

SOP_Node::~SOP_Node() = default;

unsigned SOP_Node::disableParms() { return 0; }

OP_ERROR SOP_Node::cook(OP_Context &context)
{
    clearErrors();
    OP_ERROR result = cookMySop(context);
    myHasCooked = true;
    return result;
}

const GU_Detail *SOP_Node::getCookedGeo(OP_Context &context)
{
    if (!myHasCooked) cook(context);
    return &myDetail;
}

bool SOP_Node::getBoundingBox(UT_BoundingBox &box, OP_Context &context)
{
    return getCookedGeo(context)->getBBox(&box) != 0;
}

OP_ERROR SOP_Node::lockInputs(OP_Context &context)
{
    for (unsigned i = 0; i < nInputs(); ++i)
    {
        auto *input = dynamic_cast<SOP_Node *>(getInput(i));
        if (!input || input->hasCooked()) continue;
        OP_ERROR e = input->cook(context);
        if (e >= UT_ERROR_ERROR)
            addMessage(e, ("input " + std::to_string(i + 1) + " failed to cook").c_str());
    }
    return error();
}

void SOP_Node::unlockInputs() {}

OP_ERROR SOP_Node::duplicateSource(unsigned index, OP_Context &context, GU_Detail *dest, bool clean)
{
    auto *input = dynamic_cast<SOP_Node *>(getInput(index));
    if (!input)
    {
        if (clean) dest->clearAndDestroy();
        return error();
    }
    dest->copyFrom(*input->getCookedGeo(context));
    return error();
}

SOP_GeometrySource::SOP_GeometrySource(const char *name) : SOP_Node(nullptr, name, nullptr) {}

OP_ERROR SOP_GeometrySource::cookMySop(OP_Context &)
{
    gdp->copyFrom(mySource);
    return error();
}
