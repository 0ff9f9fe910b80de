#pragma once
// One operator node with its geometry inputs, and the `sopcook cook` command
// built on it: read inputs, set parameters, cook, write VDB (and preview).
#include <memory>
#include <string>
#include <vector>
#include "OP/OP_Operator.h"
#include "cook/PluginRegistry.h"
#include "SOP/SOP_Node.h"
#include "vdb/VdbWriter.h"

namespace sopcook
{
// A node of one operator type whose inputs are geometry handed in by the host.
class OperatorCook
{
public:
    explicit OperatorCook(OP_Operator &op);
    ~OperatorCook();

    OP_Operator &op() const { return myOp; }
    SOP_Node &node() { return *myNode; }
    // The geometry of input idx, created and connected on first use.
    GU_Detail &input(unsigned idx);
    // Cooks at time (seconds); throws Error when the cook fails or throws.
    // Node warnings are appended to warnings.
    void cook(fpreal time, std::vector<std::string> &warnings);
    const GU_Detail &output() { return *myNode->getOutputDetail(); }

private:
    OP_Operator &myOp;
    std::unique_ptr<SOP_Node> myNode;
    std::vector<std::unique_ptr<SOP_GeometrySource>> myInputs;
};

// While alive (and active), what operators print to standard output goes to
// standard error, keeping stdout for sopcook's own tables and --stats lines.
class StdoutToStderr
{
public:
    explicit StdoutToStderr(bool active);
    ~StdoutToStderr();
    StdoutToStderr(const StdoutToStderr &) = delete;
    StdoutToStderr &operator=(const StdoutToStderr &) = delete;

private:
    int mySaved = -1;
};

struct CookOptions
{
    std::string op;
    std::string input, bbox, camera, output, preview;
    std::vector<std::string> settings; // NAME=VALUE
    int threads = 0;                   // 0: the host's default
    std::string frames;                // "A-B", "F" or empty
    bool stats = false;
    bool verbose = false;
    bool force = false;                // cook even when the estimate says it cannot finish
    VectorGrids vectors = VectorGrids::None;
};

// Runs `sopcook cook`; returns the exit status (throws Error on failure).
int runCook(const PluginRegistry &plugins, const CookOptions &options);

// "$F4" -> zero-padded frame, "$F" -> frame number.
std::string expandFrame(const std::string &pattern, int frame);
// Frames of "A-B" or "F"; throws Error on anything else.
std::vector<int> parseFrames(const std::string &range);
// Cook time of a frame at 24 frames per second, frame 1 at time 0.
fpreal frameTime(int frame);
} // namespace sopcook
