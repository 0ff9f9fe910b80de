// SPDX-License-Identifier: Apache-2.0
#pragma once
// One operator node with its geometry inputs handed in by the host: what every
// cook of sopcook (the command, the demo), the tests and the benchmarks runs.
#include <memory>
#include <string>
#include <vector>
#include "OP/OP_Operator.h"
#include "SOP/SOP_Node.h"

namespace sopcook
{
// A node of one operator type whose inputs are geometry handed in by the host.
class OperatorCook
{
public:
    explicit OperatorCook(OP_Operator &op);
    ~OperatorCook();

    OP_Operator &op() const { return myOp; }
    SOP_Node &node() { return *myNode; }
    // The geometry of input idx, created and connected on first use.
    GU_Detail &input(unsigned idx = 0);

    // Parameter values by name; Error when the operator has no such parameter.
    void set(const char *parm, fpreal value, int component = 0);
    void set(const char *parm, const std::string &value);
    void set3(const char *parm, fpreal x, fpreal y, fpreal z);
    // The z-slab of every volume the cook builds (default: whole volumes).
    void setSlab(const UT_VoxelSlab &slab) { myNode->getOutputDetail()->setVoxelSlab(slab); }
    const UT_VoxelSlab &slab() const { return myNode->getOutputDetail()->getVoxelSlab(); }

    // The node's own cook at time (seconds): its severity, with the messages
    // left on the node and exceptions passed on.
    OP_ERROR cook(fpreal time = 0);
    // The cook sopcook runs: throws Error when the cook fails or throws;
    // node warnings are appended to warnings.
    void cook(fpreal time, std::vector<std::string> &warnings);
    const GU_Detail &output() { return *myNode->getOutputDetail(); }

private:
    OP_Operator &myOp;
    std::unique_ptr<SOP_Node> myNode;
    std::vector<std::unique_ptr<SOP_GeometrySource>> myInputs;
};

} // namespace sopcook
