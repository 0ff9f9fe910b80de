// SPDX-License-Identifier: Apache-2.0
#pragma once
// The `sopcook cook` command: for each frame read the inputs, check the
// estimate, cook, write the VDB (and preview) and report.
#include <string>
#include <vector>
#include "cook/CookEstimate.h"
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
    bool keepGoing = false;            // cook the other frames of a range after one fails
    bool estimateOnly = false;         // print the estimate of each frame and cook nothing
    bool allowEmpty = false;           // an unreadable input image cooks empty volumes (with a warning)
    bool trianglesToQuads = false;     // pair the input's triangles into quads before the cook
    VectorGrids vectors = VectorGrids::None;
    ResampleOptions resample;          // --resample uniform[=SIZE]
    VdbCompression compression = defaultCompression;
};

// The estimate of one frame of a cook: parameters set and inputs read as the
// cook would, nothing cooked or written (what `--estimate` prints, and what a
// farm sizes its tasks by). Throws Error when an input cannot be read.
CookEstimate estimateFrame(const PluginRegistry &plugins, const CookOptions &options, int frame);

// Runs `sopcook cook`; returns the exit status (throws Error on failure).
// An interrupted cook returns 128 + the signal (130 for SIGINT, 143 for
// SIGTERM) after writing the frame it was cooking; later frames do not start.
int runCook(const PluginRegistry &plugins, const CookOptions &options);
} // namespace sopcook
