// SPDX-License-Identifier: Apache-2.0
#include "OP_Parameters.h"
#include <cmath>
#include <cstring>

OP_Parameters::OP_Parameters(PRM_Template *templates)
{
    for (PRM_Template *t = templates; t && !t->isTerminator(); ++t)
    {
        if (!t->isValueParm()) continue;
        Value v;
        int n = t->getVectorSize() > 0 ? t->getVectorSize() : 1;
        for (int i = 0; i < n; ++i)
        {
            if (t->isStringType())
            {
                const char *s = t->getDefaultString(i);
                v.strings.push_back(s ? s : "");
            }
            else
                v.numbers.push_back(t->getDefaultFloat(i));
        }
        myTemplates.push_back(t);
        myValues.push_back(std::move(v));
    }
}

OP_Parameters::~OP_Parameters() = default;

bool OP_Parameters::copyParameterValues(const OP_Parameters &src)
{
    if (src.myTemplates != myTemplates) return false;
    myValues = src.myValues;
    return true;
}

int OP_Parameters::findParm(const char *name) const
{
    if (!name) return -1;
    for (size_t i = 0; i < myTemplates.size(); ++i)
        if (std::strcmp(myTemplates[i]->getToken(), name) == 0) return int(i);
    return -1;
}

const PRM_Template *OP_Parameters::getParmTemplate(const char *name) const
{
    int i = findParm(name);
    return i < 0 ? nullptr : myTemplates[size_t(i)];
}

fpreal OP_Parameters::evalFloatT(const char *name, int vi, fpreal, int) const
{
    int i = findParm(name);
    if (i < 0) return 0;
    const Value &v = myValues[size_t(i)];
    if (vi < 0 || size_t(vi) >= v.numbers.size()) return 0;
    return v.numbers[size_t(vi)];
}

int OP_Parameters::evalIntT(const char *name, int vi, fpreal t, int thread) const
{
    fpreal f = evalFloatT(name, vi, t, thread);
    if (!(f == f)) return 0;
    if (f >= 2147483647.0) return 2147483647;
    if (f <= -2147483648.0) return -2147483647 - 1;
    return int(std::lround(f));
}

void OP_Parameters::evalStringT(UT_String &value, const char *name, int vi, fpreal, int) const
{
    value = "";
    int i = findParm(name);
    if (i < 0) return;
    const Value &v = myValues[size_t(i)];
    if (vi >= 0 && size_t(vi) < v.strings.size()) value = v.strings[size_t(vi)];
}

bool OP_Parameters::setFloat(const char *name, int vi, fpreal value)
{
    int i = findParm(name);
    if (i < 0) return false;
    Value &v = myValues[size_t(i)];
    if (vi < 0 || size_t(vi) >= v.numbers.size()) return false;
    v.numbers[size_t(vi)] = value;
    return true;
}

bool OP_Parameters::setString(const char *name, int vi, const std::string &value)
{
    int i = findParm(name);
    if (i < 0) return false;
    Value &v = myValues[size_t(i)];
    if (vi < 0 || size_t(vi) >= v.strings.size()) return false;
    v.strings[size_t(vi)] = value;
    return true;
}

float OP_Parameters::getVariableValue(int, int) { return 0.0f; }
