// SPDX-License-Identifier: Apache-2.0
#include "NumpyInput.h"

#include <cmath>
#include <cstring>

#include <pybind11/numpy.h>

#include "Arguments.h"
#include "GEO/GEO_PrimPoly.h"
#include "Messages.h"
#include "cook/InputAttributes.h"

namespace py = pybind11;

namespace sopcook::python
{
namespace
{
using FloatArray = py::array_t<float, py::array::c_style | py::array::forcecast>;
using IndexArray = py::array_t<int64_t, py::array::c_style | py::array::forcecast>;

std::string dtypeName(const py::array &a) { return py::str(a.dtype()).cast<std::string>(); }

py::array asArray(const py::handle &value, const std::string &what)
{
    py::array a = py::array::ensure(value);
    if (!a) throw ArgumentError(what + ": expected a numpy array, got " + typeName(value));
    return a;
}

// Real numbers only: a complex, string or object array is a mistake, not data to convert.
FloatArray floatsOf(const py::array &a, const std::string &what)
{
    char kind = a.dtype().kind();
    if (kind != 'f' && kind != 'i' && kind != 'u' && kind != 'b')
        throw Error(what + ": dtype " + dtypeName(a) + " is not a real number type (use float32)");
    FloatArray f = FloatArray::ensure(a);
    const float *v = f.data();
    for (py::ssize_t i = 0; i < f.size(); ++i)
        if (!std::isfinite(v[i]))
        {
            py::ssize_t row = a.ndim() > 1 ? i / a.shape(1) : i;
            throw Error(what + ": row " + std::to_string(row) + " holds " + (std::isnan(v[i]) ? "NaN" : "an infinity") +
                        "; every value must be finite");
        }
    return f;
}

IndexArray indicesOf(const py::handle &value, const std::string &what)
{
    py::array a = asArray(value, what);
    if (a.dtype().kind() != 'i' && a.dtype().kind() != 'u')
        throw Error(what + ": dtype " + dtypeName(a) + " is not an integer type");
    if (a.ndim() != 1) throw Error(what + ": expected a 1-D array, got " + std::to_string(a.ndim()) + " dimensions");
    return IndexArray::ensure(a);
}

std::string shapeText(const py::array &a)
{
    std::string s = "(";
    for (py::ssize_t d = 0; d < a.ndim(); ++d) s += (d ? ", " : "") + std::to_string(a.shape(d));
    return s + (a.ndim() == 1 ? ",)" : ")");
}

// One attribute: (N,) or (N, size) values for the N points.
FloatArray pointValues(const py::handle &value, const std::string &what, py::ssize_t count, int &size)
{
    py::array a = asArray(value, what);
    if (a.ndim() < 1 || a.ndim() > 2 || (count >= 0 && a.shape(0) != count) || (a.ndim() == 2 && a.shape(1) < 1))
        throw Error(what + ": expected shape (" + (count >= 0 ? std::to_string(count) : std::string("N")) +
                    ",) or (" + (count >= 0 ? std::to_string(count) : std::string("N")) + ", size), got " + shapeText(a));
    size = a.ndim() == 2 ? int(a.shape(1)) : 1;
    return floatsOf(a, what);
}
} // namespace

void addPoints(GU_Detail &gdp, const py::dict &points, const std::string &label)
{
    if (!points.contains("P")) throw Error(label + ": no 'P' (point positions, an (N, 3) float32 array)");
    int size = 0;
    FloatArray positions = pointValues(points["P"], label + "['P']", -1, size);
    py::ssize_t n = positions.shape(0);
    if (size != 3 || positions.ndim() != 2)
        throw Error(label + "['P']: expected shape (N, 3), got " + shapeText(positions));

    GA_Offset first = gdp.getNumPoints();
    if (n > 0) gdp.appendPointBlock(GA_Size(n));
    float *p = gdp.findAttribute(GA_ATTRIB_POINT, "P")->floatData() + 3 * size_t(first);
    std::memcpy(p, positions.data(), sizeof(float) * 3 * size_t(n));

    for (auto item : points)
    {
        if (!py::isinstance<py::str>(item.first))
            throw ArgumentError(label + ": attribute names must be str, got " + typeName(item.first));
        std::string name = item.first.cast<std::string>();
        if (name == "P") continue;
        std::string what = label + "[" + py::repr(item.first).cast<std::string>() + "]";
        if (!validAttributeName(name))
            throw Error(what + ": not an attribute name (a letter or _, then letters, digits and _)");
        FloatArray values = pointValues(item.second, what, n, size);
        GA_Attribute *a = gdp.findAttribute(GA_ATTRIB_POINT, name.c_str());
        if (a && a->getTupleSize() != size)
            throw Error(what + ": " + std::to_string(size) + " components, but the geometry's '" + name + "' has " +
                        std::to_string(a->getTupleSize()));
        if (!a) a = gdp.addFloatTuple(GA_ATTRIB_POINT, name.c_str(), size).getAttribute();
        if (!a) throw Error(what + ": the geometry cannot hold this attribute");
        std::memcpy(a->floatData() + size_t(size) * size_t(first), values.data(), sizeof(float) * size_t(size) * size_t(n));
    }
}

void addPrimitives(GU_Detail &gdp, const py::dict &primitives)
{
    for (const char *key : {"offsets", "indices"})
        if (!primitives.contains(key)) throw Error(std::string("primitives: no '") + key + "' array");
    IndexArray offsets = indicesOf(primitives["offsets"], "primitives['offsets']");
    IndexArray indices = indicesOf(primitives["indices"], "primitives['indices']");
    const int64_t *off = offsets.data(), *idx = indices.data();
    py::ssize_t count = offsets.size() - 1;
    if (count < 0 || off[0] != 0 || off[count] != indices.size())
        throw Error("primitives['offsets']: expected M + 1 offsets from 0 to len(indices) = " + std::to_string(indices.size()));
    for (py::ssize_t m = 0; m < count; ++m)
        if (off[m + 1] < off[m]) throw Error("primitives['offsets']: offset " + std::to_string(m + 1) + " is smaller than the one before");
    int64_t points = gdp.getNumPoints();
    for (py::ssize_t k = 0; k < indices.size(); ++k)
        if (idx[k] < 0 || idx[k] >= points)
            throw Error("primitives['indices']: index " + std::to_string(idx[k]) + " at " + std::to_string(k) +
                        " is not a point (there are " + std::to_string(points) + ")");

    std::vector<bool> closed(size_t(count), true);
    if (primitives.contains("closed"))
    {
        py::array c = asArray(primitives["closed"], "primitives['closed']");
        if (c.ndim() == 0)
            closed.assign(size_t(count), boolArgument(primitives["closed"], "primitives['closed']"));
        else
        {
            char kind = c.dtype().kind();
            if (kind != 'b' && kind != 'i' && kind != 'u')
                throw ArgumentError("primitives['closed']: expected bools, got dtype " + dtypeName(c));
            IndexArray flags = indicesOf(c.attr("astype")("int64"), "primitives['closed']");
            if (flags.size() != count)
                throw Error("primitives['closed']: expected one flag per primitive (" + std::to_string(count) + "), got " +
                            std::to_string(flags.size()));
            for (py::ssize_t m = 0; m < count; ++m) closed[size_t(m)] = flags.data()[m] != 0;
        }
    }
    for (py::ssize_t m = 0; m < count; ++m)
        GEO_PrimPoly::build(&gdp, std::vector<GA_Offset>(idx + off[m], idx + off[m + 1]), closed[size_t(m)]);
}
} // namespace sopcook::python
