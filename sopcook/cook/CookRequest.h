// SPDX-License-Identifier: Apache-2.0
#pragma once
// One cook as every door asks for it: the operator, its inputs, parameters
// already parsed, attribute defaults, camera, slab, threads, what to allow
// and where the volumes go. The command line makes one per frame, the Python
// module one per call, the demo one per operator; CookPipeline runs it.
#include <functional>
#include <string>
#include <vector>
#include "GU/GU_Detail.h"
#include "OP/OP_Operator.h"
#include "cook/Diagnostics.h"
#include "cook/DoorWording.h"
#include "cook/InputAttributes.h"
#include "cook/ParmAssign.h"
#include "vdb/SlabIdentity.h"
#include "vdb/VdbWriter.h"

namespace sopcook
{
// A geometry input: a file, or a detail the door makes in memory.
struct CookInput
{
    std::string path;
    std::function<void(GU_Detail &)> build; // fills the cook's input (numpy arrays, a demo scene)
    std::string label;                      // what messages call it; the path when empty

    bool given() const { return !path.empty() || bool(build); }
    std::string name() const { return label.empty() ? path : label; }
};

// The camera an operator finds by path: a camera file, or its text in memory.
struct CameraInput
{
    std::string path;
    std::string json;  // the text a camera file holds, given in memory
    std::string label; // what messages call the in-memory text

    bool given() const { return !path.empty() || !json.empty(); }
};

// Where the volumes go: a VDB file (and a preview), or nowhere (kept in memory).
struct CookOutput
{
    std::string path;    // empty: the volumes stay in memory
    std::string preview; // a PNG of the volumes; empty: none
    VectorGrids vectors = VectorGrids::None;
    ResampleOptions resample;
    VdbCompression compression = defaultCompression;
};

struct CookRequest
{
    OP_Operator *op = nullptr;
    CookInput input, bbox; // input 0 and the bounding-box input
    CameraInput camera;
    std::vector<ParmSetting> parameters;
    std::vector<AttributeDefault> attributes; // given to the input's points
    SlabPart slab;                            // only this z-slab of every volume
    fpreal time = 0;
    int threads = 0; // 0: the host's default
    bool force = false;      // cook what the estimate refuses
    bool allowEmpty = false; // an unreadable input image cooks empty volumes, with a warning
    bool trianglesToQuads = false;
    bool verbose = false; // every line an operator prints, as printed
    std::string log;      // a file that receives every line operators print
    std::string label;    // names the cook in messages ("OPERATOR frame 3 (1 of 4)"); the operator when empty
    CookOutput output;
    const DoorWording *wording = &commandLineWording();
    Diagnostics *diagnostics = nullptr; // required
};
} // namespace sopcook
