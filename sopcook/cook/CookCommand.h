#pragma once
// The `sopcook cook` command: for each frame read the inputs, check the
// estimate, cook, write the VDB (and preview) and report.
#include <string>
#include <vector>
#include "cook/PluginRegistry.h"
#include "vdb/VdbWriter.h"

namespace sopcook
{
struct CookOptions
{
    std::string op;
    std::string input, bbox, camera, output, preview;
    std::vector<std::string> settings; // NAME=VALUE
    std::vector<std::string> attribs, attribOverrides; // -a / --attrib-override NAME=VALUE
    std::string log;                   // --log FILE: what operators print, verbatim
    int threads = 0;                   // 0: the host's default
    std::string frames;                // "A-B", "F" or empty
    bool stats = false;
    bool verbose = false;
    bool force = false;                // cook even when the estimate says it cannot finish
    std::string slab;                  // "I/N": only z-slab I of N of every volume
    bool skipExisting = false;         // leave frames whose output is already complete
    VectorGrids vectors = VectorGrids::None;
    ResampleOptions resample;          // --resample uniform[=SIZE]
};

// Runs `sopcook cook`; returns the exit status (throws Error on failure).
int runCook(const PluginRegistry &plugins, const CookOptions &options);
} // namespace sopcook
