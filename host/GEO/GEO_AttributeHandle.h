// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "GA/GA_Detail.h"
#include "GEO_Point.h"
#include "UT/UT_String.h"

class GEO_Primitive;

// Reads and writes one attribute on one element at a time.
class UT_API GEO_AttributeHandle
{
public:
    GEO_AttributeHandle() = default;
    GEO_AttributeHandle(GA_Detail *detail, GA_Attribute *attrib) : myDetail(detail), myAttrib(attrib) {}

    bool isAttributeValid() const { return myAttrib != nullptr; }
    // Positions the handle; an element that does not exist leaves it on none.
    void setElement(const GEO_Point *pt) { myElement = pt ? pt->getMapOffset() : GA_INVALID_OFFSET; }
    void setElement(const GA_Primitive *prim) { myElement = prim ? prim->getMapOffset() : GA_INVALID_OFFSET; }
    void setElement(GA_Offset offset) { myElement = offset; }

    // Component index of the element; 0 when there is none.
    fpreal getF(int index = 0) const
    {
        if (!readable(index) || myAttrib->getStorageClass() != GA_STORECLASS_FLOAT) return 0;
        return myAttrib->getF(myElement, index);
    }
    bool setF(fpreal value, int index = 0)
    {
        if (!readable(index) || myAttrib->getStorageClass() != GA_STORECLASS_FLOAT) return false;
        myAttrib->setF(myElement, index, float(value));
        return true;
    }
    bool setString(const UT_String &value, int index = 0)
    {
        if (!readable(index) || myAttrib->getStorageClass() != GA_STORECLASS_STRING) return false;
        myAttrib->setS(myElement, index, value.toStdString());
        return true;
    }
    UT_String getString(int index = 0) const
    {
        if (!readable(index) || myAttrib->getStorageClass() != GA_STORECLASS_STRING) return UT_String();
        return UT_String(myAttrib->getS(myElement, index));
    }

private:
    bool readable(int index) const
    {
        return myAttrib && myElement >= 0 && myElement < myAttrib->size() && index >= 0 && index < myAttrib->getTupleSize();
    }

    GA_Detail *myDetail = nullptr;
    GA_Attribute *myAttrib = nullptr;
    GA_Offset myElement = GA_INVALID_OFFSET;
};
