// SPDX-License-Identifier: Apache-2.0
#pragma once
// The skeleton every operator class shares: local variables, the parameter
// hook, the factory, and the common cook that copies input 0, finds the box
// and hands the grid to the operator's fill.
#include <functional>
#include "CH/CH_LocalVariable.h"
#include "GXNoise.h"
#include "SOP/SOP_Node.h"

// What the cook hands to a fill (before the fill clamps the grid).
struct CookGrid
{
    fpreal time = 0;          // evaluation time, rounded to single precision
    int thread = 0;
    unsigned divs[3] = {2, 2, 2};
    double size[3] = {0, 0, 0};
    double centre[3] = {0, 0, 0};
    float extension[3] = {1, 1, 1};
    bool boundsFromPoints = true;
};

// Input labels shared by every operator.
extern const char *frameInputLabels[];
// Local variables PT, NPT, ID, LIFE.
extern CH_LocalVariable frameLocalVariables[];

template <class OP>
class SOP_VolumeOperator : public SOP_Node
{
public:
    static OP_Node *myConstructor(OP_Network *net, const char *name, OP_Operator *op) { return new OP(net, name, op); }
    static CH_LocalVariable *myVariables;

    float getVariableValue(int index, int thread) override;
    unsigned disableParms() override { return 0; }

protected:
    SOP_VolumeOperator(OP_Network *net, const char *name, OP_Operator *op) : SOP_Node(net, name, op), myCurrentPoint(-1) {}

    // The cook shared by every operator but the image stack: evaluation time,
    // noise reset, input lock and copy, box, divisions, then fill(grid) (which
    // evaluates the operator's own parameters and fills), then removal of the
    // input primitives. Returns the node's accumulated severity.
    OP_ERROR cookVolumes(OP_Context &context, const std::function<void(CookGrid &)> &fill);

    // Parameter shorthands at the cook's time.
    int evalInt(const CookGrid &g, const char *name, int vi = 0) const { return evalIntT(name, vi, g.time, g.thread); }
    float evalFloat(const CookGrid &g, const char *name, int vi = 0) const { return float(evalFloatT(name, vi, g.time, g.thread)); }
    UT_String evalString(const CookGrid &g, const char *name) const
    {
        UT_String s;
        evalStringT(s, name, 0, g.time, g.thread);
        return s;
    }
    void evalFloat3(const CookGrid &g, const char *name, float out[3]) const
    {
        for (int i = 0; i < 3; ++i) out[i] = evalFloat(g, name, i);
    }

    int myCurrentPoint;
    int myPointTotal = 0;
};

template <class OP>
CH_LocalVariable *SOP_VolumeOperator<OP>::myVariables = frameLocalVariables;

// Reads component 0 (or 0 / 1 for LIFE) of a point attribute of the output.
float frameVariableValue(GU_Detail *gdp, int index, int currentPoint, int pointTotal);

template <class OP>
float SOP_VolumeOperator<OP>::getVariableValue(int index, int thread)
{
    if (myCurrentPoint < 0) return 0.0f;
    if (index >= 0 && index <= 3) return frameVariableValue(gdp, index, myCurrentPoint, myPointTotal);
    return OP_Parameters::getVariableValue(index, thread);
}

// Removes the first n primitives of gdp, with the points only they used.
void destroyInputPrimitives(GU_Detail *gdp, GA_Size n);
// The bounding box of input 1 when connected, else of gdp.
void frameBounds(SOP_Node &node, GU_Detail *gdp, OP_Context &context, CookGrid &grid);

template <class OP>
OP_ERROR SOP_VolumeOperator<OP>::cookVolumes(OP_Context &context, const std::function<void(CookGrid &)> &fill)
{
    CookGrid grid;
    grid.time = float(context.getTime());
    grid.thread = context.getThread();
    perlinNoise.init_noise();

    if (lockInputs(context) > UT_ERROR_ERROR) return error();
    gdp->clearAndDestroy();
    if (duplicateSource(0, context, gdp, true) > UT_ERROR_ERROR)
    {
        unlockInputs();
        return error();
    }
    frameBounds(*this, gdp, context, grid);
    for (int a = 0; a < 3; ++a)
    {
        // Negative counts are taken as the smallest grid rather than as huge
        // unsigned numbers.
        int d = evalInt(grid, "divs", a);
        grid.divs[a] = d < 0 ? 2u : unsigned(d);
    }
    GA_Size inputPrims = gdp->getNumPrimitives();
    fill(grid);
    destroyInputPrimitives(gdp, inputPrims);
    unlockInputs();
    return error();
}
