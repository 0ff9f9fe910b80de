// SPDX-License-Identifier: Apache-2.0
#include "Arguments.h"

#include <climits>
#include <cmath>

#include "Messages.h"

namespace py = pybind11;

namespace sopcook::python
{
namespace
{
bool isInstance(const py::handle &value, const char *module, const char *type)
{
    return py::isinstance(value, py::module_::import(module).attr(type));
}

// Whole numbers: Python ints and numpy's integer scalars (bool excluded by the
// callers). Not any object with __index__: numpy arrays have one that fails.
bool isWhole(const py::handle &value) { return PyLong_Check(value.ptr()) || isInstance(value, "numpy", "integer"); }

// Real numbers: ints, floats and numpy's numbers, which register as numbers.Real.
bool isReal(const py::handle &value) { return PyFloat_Check(value.ptr()) || isInstance(value, "numbers", "Real"); }

std::string numberText(double v)
{
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    return py::str(py::float_(v)).cast<std::string>();
}

// A real number as a double; an int too large for one is an infinity.
double toDouble(const py::handle &value)
{
    double v = PyFloat_AsDouble(value.ptr());
    if (v == -1.0 && PyErr_Occurred())
    {
        if (!PyErr_ExceptionMatches(PyExc_OverflowError)) throw py::error_already_set();
        PyErr_Clear();
        py::int_ zero(0);
        return PyObject_RichCompareBool(value.ptr(), zero.ptr(), Py_LT) == 1 ? -INFINITY : INFINITY;
    }
    return v;
}

double finite(const py::handle &value, const std::string &name)
{
    double v = toDouble(value);
    if (!std::isfinite(v)) throw Error(name + ": expected a finite number, got " + numberText(v));
    return v;
}

std::string keyText(const std::string &key)
{
    py::object quoted = py::module_::import("json").attr("dumps")(key);
    return quoted.cast<std::string>();
}

// Deeper and longer than any camera needs; also stops at a list that holds
// itself, or a range of a billion numbers.
constexpr int deepestJson = 32;
constexpr py::ssize_t longestJson = 4096;

void checkLength(py::ssize_t n, const std::string &where)
{
    if (n > longestJson) throw Error(where + ": " + std::to_string(n) + " values, more than " + std::to_string(longestJson));
}

nlohmann::json jsonAt(const py::handle &value, const std::string &where, int depth);
} // namespace

std::string typeName(const py::handle &value) { return py::type::of(value).attr("__name__").cast<std::string>(); }

bool isBool(const py::handle &value) { return PyBool_Check(value.ptr()) || isInstance(value, "numpy", "bool_"); }

bool isPath(const py::handle &value) { return py::isinstance<py::str>(value) || py::hasattr(value, "__fspath__"); }

std::string stringArgument(const py::handle &value, const std::string &name)
{
    if (!py::isinstance<py::str>(value)) throw ArgumentError(name + ": expected a str, got " + typeName(value));
    return value.cast<std::string>();
}

int intArgument(const py::handle &value, const std::string &name)
{
    if (isBool(value) || !isWhole(value)) throw ArgumentError(name + ": expected an int, got " + typeName(value));
    py::object whole = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!whole) throw py::error_already_set();
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(whole.ptr(), &overflow);
    if (overflow || v < INT_MIN || v > INT_MAX)
        throw Error(name + ": " + py::str(whole).cast<std::string>() + " is out of range");
    return int(v);
}

double numberArgument(const py::handle &value, const std::string &name)
{
    if (isBool(value) || !isReal(value)) throw ArgumentError(name + ": expected a number, got " + typeName(value));
    return finite(value, name);
}

bool boolArgument(const py::handle &value, const std::string &name)
{
    if (!isBool(value)) throw ArgumentError(name + ": expected True or False, got " + typeName(value));
    return PyObject_IsTrue(value.ptr()) == 1;
}

std::string pathArgument(const py::handle &value, const std::string &name)
{
    if (!isPath(value)) throw ArgumentError(name + ": expected a file path (str or os.PathLike), got " + typeName(value));
    py::object decoded = py::module_::import("os").attr("fsdecode")(value);
    if (!py::isinstance<py::str>(decoded))
        throw ArgumentError(name + ": expected a file path (str or os.PathLike), got " + typeName(decoded));
    std::string path = decoded.cast<std::string>();
    if (path.find('\0') != std::string::npos) throw Error(name + ": the path holds a NUL character");
    return path;
}

nlohmann::json jsonOf(const py::handle &value, const std::string &where) { return jsonAt(value, where, 0); }

namespace
{
nlohmann::json jsonAt(const py::handle &value, const std::string &where, int depth)
{
    if (depth > deepestJson) throw ArgumentError(where + ": nested more than " + std::to_string(deepestJson) + " levels deep");
    if (value.is_none()) return nullptr;
    if (isBool(value)) return PyObject_IsTrue(value.ptr()) == 1;
    if (py::isinstance<py::str>(value)) return value.cast<std::string>();
    if (isWhole(value))
    {
        py::object whole = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
        if (!whole) throw py::error_already_set();
        int overflow = 0;
        long long v = PyLong_AsLongLongAndOverflow(whole.ptr(), &overflow);
        if (!overflow) return v;
        return finite(whole, where); // beyond 64 bits: a double, while it is finite
    }
    if (isReal(value)) return finite(value, where);
    if (py::isinstance<py::dict>(value))
    {
        nlohmann::json object = nlohmann::json::object();
        for (auto item : value.cast<py::dict>())
        {
            if (!py::isinstance<py::str>(item.first))
                throw ArgumentError(where + ": keys must be strings, got " + typeName(item.first));
            std::string key = item.first.cast<std::string>();
            object[key] = jsonAt(item.second, where + "[" + keyText(key) + "]", depth + 1);
        }
        return object;
    }
    if (isInstance(value, "numpy", "ndarray"))
    {
        checkLength(value.attr("size").cast<py::ssize_t>(), where);
        return jsonAt(value.attr("tolist")(), where, depth);
    }
    // Lists, tuples and other sequences (a Blender vector); bytes are not numbers.
    if (PySequence_Check(value.ptr()) && !PyBytes_Check(value.ptr()) && !PyByteArray_Check(value.ptr()))
    {
        py::ssize_t n = PySequence_Size(value.ptr());
        if (n < 0) throw py::error_already_set();
        checkLength(n, where);
        nlohmann::json array = nlohmann::json::array();
        size_t i = 0;
        for (auto item : value) array.push_back(jsonAt(item, where + "[" + std::to_string(i++) + "]", depth + 1));
        return array;
    }
    throw ArgumentError(where + ": expected a number, a str or a list of numbers, got " + typeName(value));
}
} // namespace
} // namespace sopcook::python
