// SPDX-License-Identifier: Apache-2.0
#pragma once
// One cook from Python: cook()'s arguments made into a CookRequest (inputs
// from numpy arrays or files, parameters from a dict) and run through the
// cook's steps, the operator cooked on a worker thread while the calling
// thread, without the GIL, watches for KeyboardInterrupt.
#include <memory>
#include <string>
#include <vector>
#include <pybind11/pybind11.h>
#include "GU/GU_Detail.h"
#include "cook/DoorWording.h"
#include "cook/PluginRegistry.h"

namespace sopcook::python
{
// The arguments of cook(), each checked for its type.
struct CookCall
{
    std::string op;
    pybind11::object points, primitives, bbox, params, camera; // None when not given
    int threads = 0;                                           // 0: the host's default
    double time = 0;
    bool force = false; // cook even when the estimate says it cannot finish
    bool verbose = false; // the operators' printed lines go to sys.stdout as printed, not folded into warnings
    bool trianglesToQuads = false; // pair the points' triangles into quads before the cook
};

struct CookResult
{
    std::string op;
    std::shared_ptr<const GU_Detail> detail; // the volumes, nothing else
    std::vector<std::string> warnings;
    size_t raised = 0;        // warnings already raised as UserWarning (before the cook)
    bool interrupted = false; // KeyboardInterrupt stopped the cook early: the volumes are partial
    std::string partialMark;  // when interrupted, the sopcook_partial metadata its files carry
};

// Errors in the request throw sopcook::Error (ArgumentError for a wrong
// type) before anything cooks; a failed cook throws CookFailure. Cooks of
// several threads run one after another.
CookResult cook(const PluginRegistry &plugins, const CookCall &call);

struct CookFailure : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// A UserWarning; raises when warnings are turned into errors.
void warnUser(const std::string &message);

// How the Python door spells options in shared messages.
const DoorWording &pythonWording();
} // namespace sopcook::python
