// SPDX-License-Identifier: Apache-2.0
#pragma once
// The arguments of cook() and write_vdb() taken from Python objects one by
// one, so that a value of the wrong type is refused with a line naming the
// argument ("threads: expected an int, got str") instead of pybind11's
// generic cast failure.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <pybind11/pybind11.h>
#include <nlohmann/json.hpp>

namespace sopcook::python
{
// An argument of the wrong type. Raised in Python as sopcook.ArgumentError,
// both a TypeError and a ValueError (what the module raises for bad input).
struct ArgumentError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// "str", "ndarray", ...: the Python type name of value, for messages.
std::string typeName(const pybind11::handle &value);

bool isBool(const pybind11::handle &value); // True/False or a numpy bool
bool isPath(const pybind11::handle &value); // str or os.PathLike

std::string stringArgument(const pybind11::handle &value, const std::string &name);
// A whole number (Python or numpy int, not bool) within [INT_MIN, INT_MAX].
int intArgument(const pybind11::handle &value, const std::string &name);
// A finite real number (int or float, Python or numpy, not bool); Error
// (not ArgumentError) for NaN or an infinity.
double numberArgument(const pybind11::handle &value, const std::string &name);
bool boolArgument(const pybind11::handle &value, const std::string &name);
// A str or os.PathLike, as a file-system path.
std::string pathArgument(const pybind11::handle &value, const std::string &name);

// value as JSON: dicts with str keys, lists, tuples and numpy arrays, str,
// bool, None and finite numbers. where names value in messages
// ('camera["focal"]'): a non-finite number is an Error, any other type an
// ArgumentError.
nlohmann::json jsonOf(const pybind11::handle &value, const std::string &where);
} // namespace sopcook::python
