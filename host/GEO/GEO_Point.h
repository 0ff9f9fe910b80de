// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "GA/GA_Detail.h"

// A point of a detail, as the segment helpers take it.
class UT_API GEO_Point
{
public:
    GEO_Point(const GA_Detail *detail, GA_Offset offset) : myDetail(detail), myOffset(offset) {}
    GA_Offset getMapOffset() const { return myOffset; }
    UT_Vector3 getPos3() const { return myDetail->getPos3(myOffset); }
    const GA_Detail &getDetail() const { return *myDetail; }

private:
    friend class GA_Detail;
    const GA_Detail *myDetail;
    GA_Offset myOffset;
};
