// SPDX-License-Identifier: Apache-2.0
#pragma once
// The steps of one cook, shared by every door: read, check input, estimate,
// cook, check the result, convert (keep in memory) or write. A door makes a
// CookRequest, runs the steps it needs in this order and reports around
// them; it does not redo them. Every step reports through the request's
// diagnostics and throws Error when the cook cannot go on.
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include "OBJ/OBJ_Camera.h"
#include "UT/UT_ThreadedAlgorithm.h"
#include "cook/CookEstimate.h"
#include "cook/CookRequest.h"
#include "cook/OperatorCook.h"
#include "cook/ScaleCheck.h"
#include "cook/VolumeBox.h"

namespace sopcook
{
// How a door watches the operator's cook: the command line draws a progress
// line and takes Ctrl-C through its signal guard, Python cooks on a worker
// thread and watches for KeyboardInterrupt.
class CookWatch
{
public:
    virtual ~CookWatch() = default;
    // Runs cook; true when a signal asked it to stop early.
    virtual bool run(const std::function<void()> &cook) = 0;
    // The nodes the cook runs as (its slabs, -j), each polling the interrupt
    // as a whole cook does: what a progress line counts to.
    int slabs = 1;
};

// The host's thread count for as long as it lives (0 keeps the default).
class ThreadCount
{
public:
    explicit ThreadCount(int n) : mySaved(UT_ThreadedAlgorithm::getDefaultThreadCount())
    {
        if (n > 0) UT_ThreadedAlgorithm::setDefaultThreadCount(n);
    }
    ~ThreadCount() { UT_ThreadedAlgorithm::setDefaultThreadCount(mySaved); }
    ThreadCount(const ThreadCount &) = delete;
    ThreadCount &operator=(const ThreadCount &) = delete;

private:
    int mySaved;
};

class CookPipeline
{
public:
    // request must outlive the pipeline.
    explicit CookPipeline(const CookRequest &request);
    ~CookPipeline();

    // Stale temporary files beside the output removed and the output checked
    // writable; parameters set; the inputs and camera read and checked; the
    // volumes' box placed.
    void read();
    // Attribute defaults given to the input; what the operator will miss;
    // radii and bounds against the box.
    void checkInput();
    // The cost of the cook (of its slab).
    const CookEstimate &estimate();
    // Refuses an unreadable input (unless allowEmpty) and a cook that cannot
    // finish (unless force); warns of a long one.
    void checkEstimate();
    // The operator's cook, its printed lines captured and folded, watched by
    // the door; then the node's warnings.
    void cook(CookWatch &watch);
    // The node warnings that mean the operator could not read its input:
    // refused unless allowEmpty.
    void checkCook();
    // The volumes, kept in memory (no file written).
    std::shared_ptr<const GU_Detail> convert();
    // The volumes written to the output file with metadata; monitor watches
    // a resample (may be null). Then the preview, when asked for.
    void write(const FileMetadata &metadata, ResampleMonitor *monitor);
    void writePreview(const std::string &path);
    // Warnings about what the volumes hold: none, all empty, a sliver of
    // the reach, NaN or infinity.
    void checkResult();

    OperatorCook &job() { return myJob; }
    const CookRequest &request() const { return myRequest; }
    const std::vector<VolumeSummary> &volumes() const { return myVolumes; }
    // A signal stopped the cook (stopped) and the operator heeded it: the
    // volumes are partial (interrupted).
    bool stopped() const { return myStopped; }
    bool interrupted() const { return myStopped && myEstimate.stopsEarly; }
    std::string label() const;

private:
    void readInput(const CookInput &input, unsigned index, bool setsBox, std::vector<std::string> &warnings);
    void report(std::vector<std::string> &warnings);
    GU_Detail *input0() { return myRequest.input.given() ? &myJob.input(0) : nullptr; }

    const CookRequest &myRequest;
    Diagnostics &myDiagnostics;
    const DoorWording &myWording;
    ThreadCount myThreads;
    OperatorCook myJob;
    std::unique_ptr<OBJ_Camera> myCamera;
    VolumeBox myBox;
    ScaleCheck myScale;
    CookEstimate myEstimate;
    std::vector<VolumeSummary> myVolumes;
    std::vector<std::string> myNodeWarnings; // of the cook, reported by checkCook
    bool myStopped = false;
};

// The warnings about parameters the operators will not take as given, once
// per command (before any frame).
void reportParameterAdjustments(const std::vector<ParmSetting> &settings, Diagnostics &diagnostics,
                                const DoorWording &wording);
} // namespace sopcook
