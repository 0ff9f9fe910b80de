// SPDX-License-Identifier: Apache-2.0
#pragma once
// numpy arrays as host geometry: points with their attributes, and polygons
// or curves as vertex lists. Every array is checked first; a bad one throws
// sopcook::Error naming the array, what was expected and what came.
#include <string>
#include <pybind11/pybind11.h>
#include "GU/GU_Detail.h"

namespace sopcook::python
{
// {"P": (N, 3), "density": (N,), "Cd": (N, 3), ...}: real-number arrays,
// stored as float point attributes. label names the argument in messages.
void addPoints(GU_Detail &gdp, const pybind11::dict &points, const std::string &label);

// {"offsets": (M + 1,) ints, "indices": (K,) ints, "closed": bool or (M,)
// bools}: primitive m uses points indices[offsets[m]:offsets[m + 1]];
// closed ones are polygons, open ones curves.
void addPrimitives(GU_Detail &gdp, const pybind11::dict &primitives);
} // namespace sopcook::python
