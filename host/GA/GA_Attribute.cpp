// SPDX-License-Identifier: Apache-2.0
#include "GA_Attribute.h"

void GA_Attribute::compact(const std::vector<bool> &keep)
{
    GA_Size out = 0;
    for (GA_Size e = 0; e < myElements; ++e)
    {
        if (!keep[size_t(e)]) continue;
        if (out != e)
            for (int c = 0; c < myTupleSize; ++c)
            {
                size_t d = size_t(out) * myTupleSize + c, s = size_t(e) * myTupleSize + c;
                if (myStorage == GA_STORECLASS_FLOAT)
                    myFloats[d] = myFloats[s];
                else
                    myStrings[d] = std::move(myStrings[s]);
            }
        ++out;
    }
    resize(out);
}

void GA_Attribute::copyElement(GA_Offset dst, const GA_Attribute &from, GA_Offset src)
{
    int n = myTupleSize < from.myTupleSize ? myTupleSize : from.myTupleSize;
    for (int c = 0; c < n; ++c)
    {
        if (myStorage == GA_STORECLASS_FLOAT)
            setF(dst, c, from.getF(src, c));
        else
            setS(dst, c, from.getS(src, c));
    }
}

bool GA_AIFTuple::get(const GA_Attribute *attrib, GA_Offset element, float *data, int count, int start) const
{
    if (!attrib || attrib->getStorageClass() != GA_STORECLASS_FLOAT) return false;
    if (element < 0 || element >= attrib->size()) return false;
    if (start < 0 || count < 0 || start + count > attrib->getTupleSize()) return false;
    for (int c = 0; c < count; ++c) data[c] = attrib->getF(element, start + c);
    return true;
}

bool GA_AIFTuple::set(GA_Attribute *attrib, GA_Offset element, const float *data, int count, int start) const
{
    if (!attrib || attrib->getStorageClass() != GA_STORECLASS_FLOAT) return false;
    if (element < 0 || element >= attrib->size()) return false;
    if (start < 0 || count < 0 || start + count > attrib->getTupleSize()) return false;
    for (int c = 0; c < count; ++c) attrib->setF(element, start + c, data[c]);
    return true;
}

const GA_AIFTuple *GA_AIFTuple::instance()
{
    static const GA_AIFTuple theTuple;
    return &theTuple;
}
