// SPDX-License-Identifier: Apache-2.0
#pragma once
// OpenVDB frees a tree with work that itself allocates, which ends the
// process when memory has run out. Grids and trees given up for lack of
// memory are therefore left to the process's exit, which follows the error.
#include <utility>

namespace sopcook
{
template <typename T>
void leakForExit(T &held)
{
    new T(std::move(held));
}
} // namespace sopcook
