// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "GEO_Primitive.h"

// A polygon; an open one is a curve (polyline).
class UT_API GEO_PrimPoly : public GEO_Primitive
{
public:
    explicit GEO_PrimPoly(GA_Detail *detail, bool closed = true) : GEO_Primitive(detail), myClosed(closed) {}
    int getTypeId() const override { return GA_PRIMPOLY; }
    const char *getTypeName() const override { return "Poly"; }
    GA_Primitive *clone(GA_Detail *detail) const override
    {
        auto *p = new GEO_PrimPoly(detail, myClosed);
        copyBaseInto(*p);
        return p;
    }
    bool isClosed() const { return myClosed; }
    void setClosed(bool closed) { myClosed = closed; }

    static GEO_PrimPoly *build(GA_Detail *detail, const std::vector<GA_Offset> &points, bool closed)
    {
        auto *p = new GEO_PrimPoly(detail, closed);
        for (GA_Offset pt : points) p->appendVertex(pt);
        detail->appendPrimitive(p);
        return p;
    }

private:
    bool myClosed;
};

// A particle system: a primitive whose vertices are free-standing points.
class UT_API GEO_PrimParticle : public GEO_Primitive
{
public:
    using GEO_Primitive::GEO_Primitive;
    int getTypeId() const override { return GA_PRIMPART; }
    const char *getTypeName() const override { return "Part"; }
    GA_Primitive *clone(GA_Detail *detail) const override
    {
        auto *p = new GEO_PrimParticle(detail);
        copyBaseInto(*p);
        return p;
    }
};
