#pragma once
// Helpers for tests: load plug-ins, build geometry, cook an operator.
#include <memory>
#include <string>
#include <vector>
#include "GU/GU_Detail.h"
#include "GU/GU_PrimVolume.h"
#include "OP/OP_Operator.h"
#include "SOP/SOP_Node.h"

namespace testhost
{
// The process-wide operator table with every built plug-in loaded once.
OP_OperatorTable &table();
OP_Operator *op(const std::string &name);
std::string pluginPath(const std::string &name);

// A node of the named operator with geometry inputs it owns.
class Cook
{
public:
    explicit Cook(const std::string &opname);
    ~Cook();
    SOP_Node &node() { return *myNode; }
    GU_Detail &input(unsigned idx = 0); // creates and connects the input
    void set(const char *parm, fpreal v, int vi = 0);
    void set(const char *parm, const std::string &s);
    void set3(const char *parm, fpreal x, fpreal y, fpreal z);
    OP_ERROR cook(fpreal time = 0);
    GU_Detail &output() { return *myNode->getOutputDetail(); }

private:
    std::unique_ptr<SOP_Node> myNode;
    std::vector<std::unique_ptr<SOP_GeometrySource>> myInputs;
};

// Points with P and optional float attributes.
GA_Offset addPoint(GU_Detail &gdp, const UT_Vector3 &p);
void setPointAttrib(GU_Detail &gdp, GA_Offset pt, const char *name, std::vector<float> values);

// Volumes of a cooked detail, by their "name" attribute (null when absent).
GU_PrimVolume *findVolume(const GU_Detail &gdp, const char *name);
std::vector<std::string> volumeNames(const GU_Detail &gdp);
std::string primString(const GU_Detail &gdp, const char *attrib, const GA_Primitive *prim);
double volumeSum(const GU_PrimVolume *vol);
int nonZeroCount(const GU_PrimVolume *vol);
} // namespace testhost
