// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <memory>
#include <vector>
#include "GA_Types.h"

class GA_Detail;

// A primitive: a type and an ordered list of vertices, each naming a point.
class UT_API GA_Primitive
{
public:
    explicit GA_Primitive(GA_Detail *detail) : myDetail(detail) {}
    virtual ~GA_Primitive();

    virtual int getTypeId() const = 0;
    virtual const char *getTypeName() const = 0;
    // A copy of this primitive for another detail with the same point numbering.
    virtual GA_Primitive *clone(GA_Detail *detail) const = 0;

    GA_Detail &getDetail() const { return *myDetail; }
    GA_Offset getMapOffset() const { return myOffset; }
    GA_Size getVertexCount() const { return GA_Size(myPoints.size()); }
    GA_Offset getPointOffset(GA_Size vertex) const { return myPoints[size_t(vertex)]; }
    void appendVertex(GA_Offset point);
    const std::vector<GA_Offset> &pointOffsets() const { return myPoints; }

protected:
    friend class GA_Detail;
    void copyBaseInto(GA_Primitive &to) const { to.myPoints = myPoints; }

    GA_Detail *myDetail;
    GA_Offset myOffset = GA_INVALID_OFFSET;
    std::vector<GA_Offset> myPoints;
};
