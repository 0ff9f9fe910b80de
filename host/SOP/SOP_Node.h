// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "GU/GU_Detail.h"
#include "GU/GU_PrimVolume.h"
#include "OP/OP_Director.h"

// A surface operator node: cooks its geometry into gdp.
class UT_API SOP_Node : public OP_Network
{
public:
    SOP_Node(OP_Network *net, const char *name, OP_Operator *op);
    ~SOP_Node() override;

    // Clears the node's messages and runs cookMySop; returns error().
    OP_ERROR cook(OP_Context &context) override;
    // Bounds of the geometry this node cooks (cooking it first if needed).
    bool getBoundingBox(UT_BoundingBox &box, OP_Context &context) override;

    const GU_Detail *getCookedGeo(OP_Context &context);
    GU_Detail *getOutputDetail() { return &myDetail; }
    bool hasCooked() const { return myHasCooked; }

    virtual unsigned disableParms();

protected:
    virtual OP_ERROR cookMySop(OP_Context &context) = 0;

    // Cooks the connected inputs that have not cooked yet.
    OP_ERROR lockInputs(OP_Context &context);
    void unlockInputs();
    OP_ERROR duplicateSource(unsigned index, OP_Context &context, GU_Detail *gdp, bool clean = true);
    // The node's output is out of date: the next lockInputs downstream cooks it again.
    void forceRecook() { myHasCooked = false; }

    GU_Detail *gdp;

private:
    GU_Detail myDetail;
    bool myHasCooked = false;
};

// A node whose output is geometry handed to it by the host program (what a
// file node is in the full application).
class UT_API SOP_GeometrySource : public SOP_Node
{
public:
    explicit SOP_GeometrySource(const char *name = "file");
    // The detail the node outputs. Handing it out for editing makes the node
    // cook again, so a consumer never reads an edited source's stale copy.
    GU_Detail &source()
    {
        forceRecook();
        return mySource;
    }

protected:
    OP_ERROR cookMySop(OP_Context &context) override;

private:
    GU_Detail mySource;
};
