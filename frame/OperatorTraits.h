// SPDX-License-Identifier: Apache-2.0
#pragma once
// What an operator tells a host about itself, so that a host can check the
// input, size the cook and word failures without knowing the operator by
// name: its cost model, the point attributes it reads, the kind of input it
// takes, what its noise needs, and how it reads an image file.
//
// A plug-in exports its record through one optional C entry point beside
// newSopOperator (SOP_PLUGIN_ENTRY_TRAITS in PluginEntry.h):
//
//   extern "C" const void *sopOperatorTraits(unsigned version, const char *toolchain);
//
// It returns its OperatorTraits when the host asks for this header's version
// and is built by the same tool chain (SOP_PLUGIN_TAG), else null, so the
// record can be a plain C++ struct with strings and function pointers: the
// host never reads a layout it was not built with, and a host that does not
// know the entry point never calls it. The loader keeps the entry point with
// the operator (OP_Operator::getTraitsEntry); operatorTraits() asks it.
#include <cstring>
#include <string>
#include <vector>
#include "CostModel.h"
#include "OP/OP_Operator.h"

// The build tag this tool chain stamps into plug-ins.
#define SOP_PLUGIN_TAG "plumeweave-suite-13.0 gcc-c++17"

namespace traits
{
// Raised whenever OperatorTraits changes layout.
constexpr unsigned version = 1;

// What the operator's first input holds for it.
enum class InputKind
{
    None,   // takes no input geometry
    Points, // reads the input's points
    Quads,  // four-point closed primitives
    Curves, // open primitives (polylines)
    Image,  // no geometry: an image file named by a parameter
};

inline const char *inputKindName(InputKind k)
{
    switch (k)
    {
    case InputKind::Points: return "points";
    case InputKind::Quads: return "quads";
    case InputKind::Curves: return "curves";
    case InputKind::Image: return "image";
    default: return "none";
    }
}

// One point attribute the operator reads, named by a string parameter.
struct AttributeRead
{
    std::string parm;        // the string parameter naming the attribute ("radiusattrib")
    int components = 1;      // components read (fewer read as missing)
    std::string toggle;      // read only while this toggle is on; empty: always
    bool essential = true;   // missing: a warning; otherwise a note shown with -v
    std::string consequence; // what a missing attribute does, e.g. "every radius reads 0, so nothing is written"
};

inline AttributeRead essential(const char *parm, int components, const std::string &what, const char *toggle = "")
{
    return {parm, components, toggle, true, what};
}

inline AttributeRead optional(const char *parm, int components, const std::string &what, const char *toggle = "")
{
    return {parm, components, toggle, false, what};
}

// Consequences several operators share.
inline const std::string nothingWritten = "so nothing is written";
inline const std::string zeroColour = "every colour reads (0, 0, 0), so the Cd volumes stay 0";

// Noise that reads 0 everywhere (and so writes nothing) while its toggle is
// on and every attribute of the listed parameters is missing.
struct NoiseFrame
{
    std::string toggle = "donoise";
    std::vector<std::string> parms; // empty: the noise needs none of them
};

// The frames and sizes of an image file, from a header-only read.
struct ImageStack
{
    double width = 0, height = 0; // of the first frame
    double frames = 0;
    double pixels = 0;            // of every frame, each at its own size
    std::string problem;          // why the file cannot be read, else empty
};

// An operator whose input is an image file named by a parameter.
struct ImageInput
{
    std::string fileParm;                           // "giffile"
    ImageStack (*read)(const std::string &path) = nullptr;
    // The reason in the operator's node warning for a failed read, worded
    // for a person (the image library's source location and prefix gone).
    std::string (*failureReason)(const std::string &warning) = nullptr;
};

struct OperatorTraits
{
    InputKind input = InputKind::Points;
    cost::Model cost = nullptr;           // null: the host's default estimate
    std::vector<AttributeRead> attributes;
    bool attributesKnown = false;         // false: the host guesses from the parameters
    NoiseFrame noiseFrame;
    ImageInput image;                     // fileParm empty: no image input
};

// The operator's record, or null when its plug-in states none (or was built
// for another version or tool chain).
inline const OperatorTraits *operatorTraits(const OP_Operator &op)
{
    using Entry = const void *(*)(unsigned, const char *);
    auto entry = reinterpret_cast<Entry>(op.getTraitsEntry());
    return entry ? static_cast<const OperatorTraits *>(entry(version, SOP_PLUGIN_TAG)) : nullptr;
}

// The record an operator without one is treated by: points when it takes an
// input, no cost model, attributes guessed from its parameters.
inline OperatorTraits defaultTraits(const OP_Operator &op)
{
    OperatorTraits t;
    t.input = op.maxInputs() > 0 ? InputKind::Points : InputKind::None;
    return t;
}

// The record the plug-in states, or the default one.
inline OperatorTraits traitsOf(const OP_Operator &op)
{
    const OperatorTraits *t = operatorTraits(op);
    return t ? *t : defaultTraits(op);
}
} // namespace traits
