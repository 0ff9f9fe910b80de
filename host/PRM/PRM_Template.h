// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>
#include "UT/UT_Types.h"

enum PRM_Type
{
    PRM_LIST_TERMINATOR = 0,
    PRM_INT,
    PRM_FLT,
    PRM_TOGGLE,
    PRM_STRING,
    PRM_STRING_OPREF,
    PRM_FILE,
    PRM_SEPARATOR
};

class PRM_Name
{
public:
    PRM_Name(const char *token = nullptr, const char *label = nullptr) : myToken(token), myLabel(label ? label : token) {}
    const char *getToken() const { return myToken; }
    const char *getLabel() const { return myLabel; }

private:
    const char *myToken;
    const char *myLabel;
};

class PRM_Default
{
public:
    PRM_Default(fpreal value = 0, const char *string = nullptr) : myValue(value), myString(string) {}
    fpreal getFloat() const { return myValue; }
    const char *getString() const { return myString; }

private:
    fpreal myValue;
    const char *myString;
};

// Ones for up to four components, shared by every operator.
UT_API extern PRM_Default PRMoneDefaults[];
UT_API extern PRM_Default PRMzeroDefaults[];

// One parameter of an operator's list; the list ends with PRM_Template().
// Menus, ranges, callbacks and spare data are not supported: no operator
// uses them, so trailing arguments are accepted and ignored.
class PRM_Template
{
public:
    PRM_Template() : myType(PRM_LIST_TERMINATOR), myVectorSize(0), myName(nullptr), myDefaults(nullptr) {}
    template <typename... Ignored>
    PRM_Template(PRM_Type type, int vectorsize, PRM_Name *name, PRM_Default *defaults = nullptr, Ignored...)
        : myType(type), myVectorSize(vectorsize), myName(name), myDefaults(defaults) {}

    PRM_Type getType() const { return myType; }
    int getVectorSize() const { return myVectorSize; }
    const char *getToken() const { return myName ? myName->getToken() : nullptr; }
    const char *getLabel() const { return myName ? myName->getLabel() : nullptr; }
    bool isTerminator() const { return myType == PRM_LIST_TERMINATOR; }
    bool isValueParm() const { return myType != PRM_LIST_TERMINATOR && myType != PRM_SEPARATOR && getToken(); }
    bool isStringType() const { return myType == PRM_STRING || myType == PRM_STRING_OPREF || myType == PRM_FILE; }
    fpreal getDefaultFloat(int i) const { return myDefaults ? myDefaults[i].getFloat() : 0; }
    const char *getDefaultString(int i) const { return myDefaults ? myDefaults[i].getString() : nullptr; }
    // "int", "float", "toggle", "string", "oppath", "file" or "separator".
    const char *getTypeName() const;

private:
    PRM_Type myType;
    int myVectorSize;
    PRM_Name *myName;
    PRM_Default *myDefaults;
};
