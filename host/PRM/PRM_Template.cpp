// SPDX-License-Identifier: Apache-2.0
#include "PRM_Template.h"

PRM_Default PRMoneDefaults[] = {PRM_Default(1), PRM_Default(1), PRM_Default(1), PRM_Default(1)};
PRM_Default PRMzeroDefaults[] = {PRM_Default(0), PRM_Default(0), PRM_Default(0), PRM_Default(0)};

const char *PRM_Template::getTypeName() const
{
    switch (myType)
    {
    case PRM_INT: return "int";
    case PRM_FLT: return "float";
    case PRM_TOGGLE: return "toggle";
    case PRM_STRING: return "string";
    case PRM_STRING_OPREF: return "oppath";
    case PRM_FILE: return "file";
    case PRM_SEPARATOR: return "separator";
    default: return "terminator";
    }
}
