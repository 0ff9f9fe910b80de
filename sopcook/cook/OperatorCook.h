#pragma once
// One operator node with its geometry inputs handed in by the host: what every
// cook of sopcook (the command, the demo, the tests) runs.
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
    GU_Detail &input(unsigned idx);
    // Cooks at time (seconds); throws Error when the cook fails or throws.
    // Node warnings are appended to warnings.
    void cook(fpreal time, std::vector<std::string> &warnings);
    const GU_Detail &output() { return *myNode->getOutputDetail(); }

private:
    OP_Operator &myOp;
    std::unique_ptr<SOP_Node> myNode;
    std::vector<std::unique_ptr<SOP_GeometrySource>> myInputs;
};

} // namespace sopcook
