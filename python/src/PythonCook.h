// SPDX-License-Identifier: Apache-2.0
#pragma once
// One cook from Python: inputs from numpy arrays or files, parameters from a
// dict, the operator cooked by sopcook's OperatorCook on a worker thread while
// the calling thread, without the GIL, watches for KeyboardInterrupt.
#include <memory>
#include <string>
#include <vector>
#include <pybind11/pybind11.h>
#include "GU/GU_Detail.h"
#include "cook/PluginRegistry.h"

namespace sopcook::python
{
struct CookRequest
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
    bool interrupted = false; // KeyboardInterrupt stopped the cook early: the volumes are partial
    std::string partialMark;  // when interrupted, the sopcook_partial metadata its files carry
};

// Errors in the request throw sopcook::Error (ArgumentError for a wrong
// type) before anything cooks; a failed cook throws CookFailure. Cooks of
// several threads run one after another.
CookResult cook(const PluginRegistry &plugins, const CookRequest &request);

struct CookFailure : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// NAME=VALUE settings, as sopcook's -s options, from {name: value}.
std::vector<std::string> settingsOf(const pybind11::object &params);
} // namespace sopcook::python
