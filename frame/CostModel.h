// SPDX-License-Identifier: Apache-2.0
#pragma once
// What one cook of an operator costs, told by each operator through its
// traits (OperatorTraits.h; each family's model is in its *Traits.h beside
// its sources), so that a host can size a cook before running it without
// knowing the operator itself.
//
// A family's model reads the node's parameters and the input's element counts
// and fills an OperatorCost: how many volumes the cook makes, the work it
// cannot skip ("least") and the work when every per-element reach spans the
// whole grid ("most"), both as terms of counted steps at rough single-core
// unit costs, and how the operator polls the host's interrupt (how many polls
// a whole cook makes, so that a host can show a percentage, or that it never
// polls and cannot stop early).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include "GU/GU_Detail.h"
#include "OP/OP_Node.h"
#include "UT/UT_String.h"

namespace cost
{
// Rough single-core costs, measured as the process CPU time of cooks on one
// thread against the work counted (bench_estimate, on a loaded 2-core
// machine): about 30 ns a noise lookup and 8 ns a voxel visit (the families
// count their steps in visits by what each costs, a distance test 0.3, a
// streak voxel several). The least work takes a step at half that (a fast,
// idle core), so that a refusal never hits a cook such a core finishes in
// time; the most at one and a half times it (a slow, loaded one).
struct Unit
{
    double fast, slow;
};
constexpr Unit lookup{15e-9, 50e-9}; // one gradient-noise lookup
constexpr Unit visit{4e-9, 12e-9};   // one voxel visited (position, distance, deposit)
// The fast costs alone, for models that count one way.
constexpr double lookupSeconds = lookup.fast;
constexpr double visitSeconds = visit.fast;
constexpr Unit run{1e-6, 20e-6}; // one threaded run started and waited for
constexpr Unit copy{1e-9, 2e-9};  // one voxel of a volume made, or passed to the writer

inline std::string number(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof(buf), v < 1e6 ? "%.0f" : "%.3g", v);
    return buf;
}

// The node's parameters at the cook's time; absent parameters read as the
// fallback.
struct Parms
{
    const OP_Node &node;
    fpreal time;

    int integer(const char *name, int vi = 0, int fallback = 0) const
    {
        return node.hasParm(name) ? node.evalIntT(name, vi, time, 0) : fallback;
    }
    std::string text(const char *name) const
    {
        if (!node.hasParm(name)) return "";
        UT_String s;
        node.evalStringT(s, name, 0, time, 0);
        return s.c_str() ? s.c_str() : "";
    }
    bool on(const char *name) const { return integer(name) != 0; }
    std::string setting(const char *name, int vi = 0) const { return std::string(name) + "=" + std::to_string(integer(name, vi)); }
    // Lookups of one fractal noise: the base lookup plus each octave, with
    // the octave loop's own cap.
    double lookups() const { return 1.0 + std::min(double(std::max(integer("noiseoctaves"), 0)), 16777215.0); }
    std::string lookupText() const { return "(" + setting("noiseoctaves") + " + 1) noise lookups"; }
};

// Where the host will place the volumes, planned before the cook from the
// input's box, "extendbounds" and "divs", so that a model can measure each
// element's reach in voxels; known is false when the host plans none.
struct Placement
{
    bool known = false;
    double lower[3] = {0, 0, 0};      // the volumes' lower corner
    double voxel[3] = {0, 0, 0};      // their voxel size
    double reachVoxel[3] = {0, 0, 0}; // the box before extendbounds over divs, which radii are measured in
    int res[3] = {0, 0, 0};

    // The voxel holding p on an axis, as the volume's posToIndex (not clamped).
    double index(int axis, double p) const { return std::floor((p - lower[axis]) / voxel[axis]); }
    double clampedIndex(int axis, double p) const { return std::clamp(index(axis, p), 0.0, double(res[axis] - 1)); }
};

// Element counts of the input geometry, and the input itself with the
// volumes' placement for models that measure reach (geometry null when the
// host gives none).
struct InputCounts
{
    double points = 0, prims = 0, quads = 0, segments = 0;
    const GU_Detail *geometry = nullptr;
    Placement placement;
};

// A sum of work terms that remembers the largest one and what it is made of.
struct Work
{
    double seconds = 0;
    double largest = -1;
    std::string what;

    void add(double count, double unit, const std::string &description)
    {
        double s = count * unit;
        seconds += s;
        if (s > largest)
        {
            largest = s;
            what = description;
        }
    }
};

// The voxel grid of the cook, preset from the "divs" parameter as the cook
// takes it (counts below 2 are 2); a model whose grid comes from elsewhere
// sets its own.
struct Grid
{
    double res[3] = {0, 0, 0};
    std::string text; // what sizes it: "divs=64,64,64" or "giffile=... (W x H pixels, F frames)"
    bool known = false;

    double voxels() const { return res[0] * res[1] * res[2]; }
};

struct OperatorCost
{
    // A step counted at least `fewest` and at most `most` times.
    void add(double fewest, double most, Unit unit, const std::string &description)
    {
        least.add(fewest, unit.fast, description);
        this->most.add(most, unit.slow, description);
    }

    int volumes = 0;
    Grid grid;
    bool filled = false;      // every voxel is written, so every tile is stored
    double writesAtMost = -1; // voxels a volume may receive, measured on the input; negative: any
    double heldBytes = 0;     // memory held besides the volumes (decoded pictures)
    Work least, most;         // the writer's pass is added by the host
    double polls = 0;         // interrupt polls of a whole cook; 0 when they cannot be counted ahead
    std::string pollsOf;      // what one poll follows: "children", "points", "quads"
    bool stopsEarly = true;   // false: the operator never polls; a cook runs to the end
    std::string problem;      // why nothing could be estimated (an unreadable image), else empty
    // Set when the operator reports a failure to read its input as a node
    // warning (and cooks empty volumes): what a host should call that failure.
    std::string warningFailure;
};

// One family's model of one operator.
using Model = void (*)(const Parms &p, const InputCounts &in, OperatorCost &c);
} // namespace cost
