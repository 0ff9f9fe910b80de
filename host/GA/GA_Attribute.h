// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <string>
#include <vector>
#include "GA_Types.h"

// A named per-element attribute: a tuple of floats or of strings for every
// element (point, primitive, ...) of its owner class.
class UT_API GA_Attribute
{
public:
    GA_Attribute(const std::string &name, GA_AttributeOwner owner, GA_StorageClass storage, int tuplesize,
                 GA_AttributeScope scope = GA_SCOPE_PUBLIC)
        : myName(name), myOwner(owner), myStorage(storage), myTupleSize(tuplesize), myScope(scope) {}

    const std::string &getName() const { return myName; }
    GA_AttributeOwner getOwner() const { return myOwner; }
    GA_StorageClass getStorageClass() const { return myStorage; }
    GA_AttributeScope getScope() const { return myScope; }
    int getTupleSize() const { return myTupleSize; }
    GA_Size size() const { return myElements; }

    // Grows or shrinks to n elements; new elements read 0 or "".
    void resize(GA_Size n)
    {
        myElements = n;
        if (myStorage == GA_STORECLASS_FLOAT)
            myFloats.resize(size_t(n) * myTupleSize, 0.0f);
        else
            myStrings.resize(size_t(n) * myTupleSize);
    }
    // Keeps the elements whose flag is set, in order.
    void compact(const std::vector<bool> &keep);
    // Copies element src of another attribute of the same layout into element dst.
    void copyElement(GA_Offset dst, const GA_Attribute &from, GA_Offset src);

    float getF(GA_Offset e, int c = 0) const { return myFloats[size_t(e) * myTupleSize + c]; }
    void setF(GA_Offset e, int c, float v) { myFloats[size_t(e) * myTupleSize + c] = v; }
    const std::string &getS(GA_Offset e, int c = 0) const { return myStrings[size_t(e) * myTupleSize + c]; }
    void setS(GA_Offset e, int c, const std::string &v) { myStrings[size_t(e) * myTupleSize + c] = v; }
    float *floatData() { return myFloats.data(); }
    const float *floatData() const { return myFloats.data(); }

private:
    std::string myName;
    GA_AttributeOwner myOwner;
    GA_StorageClass myStorage;
    int myTupleSize;
    GA_AttributeScope myScope;
    GA_Size myElements = 0;
    std::vector<float> myFloats;
    std::vector<std::string> myStrings;
};

// The tuple interface of float attributes.
class UT_API GA_AIFTuple
{
public:
    // Reads count components starting at component start; false (data
    // untouched) when the attribute, element or components do not exist.
    bool get(const GA_Attribute *attrib, GA_Offset element, float *data, int count = 1, int start = 0) const;
    bool get(const GA_Attribute *attrib, GA_Offset element, float &value, int component = 0) const
    {
        return get(attrib, element, &value, 1, component);
    }
    bool set(GA_Attribute *attrib, GA_Offset element, const float *data, int count = 1, int start = 0) const;
    int getTupleSize(const GA_Attribute *attrib) const { return attrib ? attrib->getTupleSize() : 0; }

    static const GA_AIFTuple *instance();
};

// A reference to an attribute, invalid when the lookup found none.
class UT_API GA_RWAttributeRef
{
public:
    GA_RWAttributeRef() = default;
    explicit GA_RWAttributeRef(GA_Attribute *attrib) : myAttrib(attrib) {}

    bool isValid() const { return myAttrib != nullptr; }
    bool isInvalid() const { return myAttrib == nullptr; }
    GA_Attribute *getAttribute() const { return myAttrib; }
    const GA_AIFTuple *getAIFTuple() const
    {
        return myAttrib && myAttrib->getStorageClass() == GA_STORECLASS_FLOAT ? GA_AIFTuple::instance() : nullptr;
    }
    int getTupleSize() const { return myAttrib ? myAttrib->getTupleSize() : 0; }
    void clear() { myAttrib = nullptr; }

private:
    GA_Attribute *myAttrib = nullptr;
};
typedef GA_RWAttributeRef GA_ROAttributeRef;
