// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "UT/UT_Types.h"

enum GA_AttributeOwner
{
    GA_ATTRIB_VERTEX,
    GA_ATTRIB_POINT,
    GA_ATTRIB_PRIMITIVE,
    GA_ATTRIB_GLOBAL,
    GA_ATTRIB_OWNER_N
};

enum GA_AttributeScope
{
    GA_SCOPE_PUBLIC,
    GA_SCOPE_PRIVATE
};

enum GA_StorageClass
{
    GA_STORECLASS_FLOAT,
    GA_STORECLASS_STRING
};

enum GA_PrimitiveTypeId
{
    GA_PRIMNONE = 0,
    GA_PRIMPOLY,
    GA_PRIMPART,
    GA_PRIMVOLUME
};
