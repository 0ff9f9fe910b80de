// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>
#include <vector>
#include "PRM/PRM_Template.h"
#include "UT/UT_String.h"

// A node's parameter values, laid out by its operator's template list.
class UT_API OP_Parameters
{
public:
    explicit OP_Parameters(PRM_Template *templates);
    virtual ~OP_Parameters();

    int evalIntT(const char *name, int vi, fpreal t, int thread) const;
    fpreal evalFloatT(const char *name, int vi, fpreal t, int thread) const;
    void evalStringT(UT_String &value, const char *name, int vi, fpreal t, int thread) const;
    int evalInt(const char *name, int vi, fpreal t) const { return evalIntT(name, vi, t, 0); }
    fpreal evalFloat(const char *name, int vi, fpreal t) const { return evalFloatT(name, vi, t, 0); }

    // Setting values (the host side). False when the name or component does not exist.
    bool setFloat(const char *name, int vi, fpreal value);
    bool setString(const char *name, int vi, const std::string &value);
    bool hasParm(const char *name) const { return findParm(name) >= 0; }
    // Every value of src, a node of the same templates (as set, not as
    // evaluated); false, and nothing copied, for another operator's node.
    bool copyParameterValues(const OP_Parameters &src);
    const PRM_Template *getParmTemplate(const char *name) const;

    virtual float getVariableValue(int index, int thread);

private:
    struct Value
    {
        std::vector<fpreal> numbers;
        std::vector<std::string> strings;
    };
    int findParm(const char *name) const;

    std::vector<const PRM_Template *> myTemplates;
    std::vector<Value> myValues;
};
