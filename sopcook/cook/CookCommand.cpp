#include "cook/CookCommand.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include <nlohmann/json.hpp>

#include "cook/CookEstimate.h"
#include "cook/Frames.h"
#include "cook/InputAttributes.h"
#include "cook/Interrupts.h"
#include "cook/OperatorCook.h"
#include "cook/OperatorOutput.h"
#include "cook/ParmAssign.h"
#include "farm/Slab.h"
#include "io/CameraFile.h"
#include "io/GeometryFile.h"
#include "Messages.h"
#include "preview/Preview.h"
#include "vdb/Merge.h"
#include "UT/UT_ThreadedAlgorithm.h"

namespace sopcook
{
namespace
{
double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void flushWarnings(std::vector<std::string> &warnings)
{
    for (const std::string &w : warnings) warn(w);
    warnings.clear();
}

std::string resolution(const int res[3])
{
    return std::to_string(res[0]) + "x" + std::to_string(res[1]) + "x" + std::to_string(res[2]);
}

// Refuses option combinations that cannot work, before anything is read.
void validateOptions(const OP_Operator &op, const CookOptions &o, const std::vector<int> &frames)
{
    if (o.output.empty()) throw Error("cook: no output file (-o OUT.vdb)");
    if (!hasVdbExtension(o.output)) throw Error("-o " + o.output + ": the output is an OpenVDB file; name it NAME.vdb");
    if (op.maxInputs() == 0 && (!o.input.empty() || !o.bbox.empty()))
        throw Error(op.getName() + " takes no geometry input; drop -i and -b");
    if (op.maxInputs() < 2 && !o.bbox.empty()) throw Error(op.getName() + " has no bounding-box input; drop -b");
    if (o.threads < 0) throw Error("--threads " + std::to_string(o.threads) + ": expected 0 (all hardware threads) or more");
    validateAttributeOptions(o);
    if (o.resample.uniform && !o.slab.empty())
        throw Error("--resample: slabs are cut from the exact grids and joined by `sopcook merge`; cook without --slab to resample");
    if (frames.size() > 1 && expandFrame(o.output, frames[0]) == expandFrame(o.output, frames[1]))
        throw Error("-o " + o.output + ": put $F or $F4 in the output name to cook several frames");
    if (!o.preview.empty() && frames.size() > 1 && expandFrame(o.preview, frames[0]) == expandFrame(o.preview, frames[1]))
        throw Error("--preview " + o.preview + ": put $F or $F4 in the preview name to cook several frames");
}

// One frame of the command, step by step; each step times itself.
class FrameCook
{
public:
    FrameCook(OP_Operator &op, const CookOptions &o, const std::vector<ParmSetting> &settings, int frame)
        : myOp(op), myOptions(o), mySettings(settings), myFrame(frame), myJob(op), myOut(expandFrame(o.output, frame)),
          myPreview(o.preview.empty() ? "" : expandFrame(o.preview, frame)),
          mySlab(o.slab.empty() ? SlabPart() : parseSlab(o.slab))
    {
    }

    // Inputs, camera and parameters; refuses a cook the estimate says cannot finish.
    void prepare()
    {
        checkWritable(myOut);
        auto t0 = std::chrono::steady_clock::now();
        const CookOptions &o = myOptions;
        applyParameters(myJob.node(), mySettings);
        if (!o.input.empty()) readGeometryFile(expandFrame(o.input, myFrame), myJob.input(0), myWarnings);
        if (!o.bbox.empty()) readGeometryFile(expandFrame(o.bbox, myFrame), myJob.input(1), myWarnings);
        if (!o.camera.empty())
        {
            std::string camPath = expandFrame(o.camera, myFrame);
            myCamera = makeCamera(parseCameraJson(readFileBytes(camPath, "camera"), camPath, myWarnings));
        }
        flushWarnings(myWarnings);
        prepareInputAttributes(myJob, o, frameTime(myFrame));
        if (!o.force)
        {
            CookEstimate estimate = estimateCook(myOp, myJob.node(), frameTime(myFrame), o.input.empty() ? nullptr : &myJob.input(0));
            if (mySlab.active()) estimate = slabEstimate(estimate, mySlab.count);
            std::string why = refusal(estimate, availableMemoryBytes());
            if (!why.empty()) throw Error(why);
        }
        myReadSeconds = seconds(t0);
    }

    void cook()
    {
        auto t1 = std::chrono::steady_clock::now();
        {
            SignalGuard signals;
            std::string label = myOp.getName() + (sequence() ? " frame " + std::to_string(myFrame) : "");
            OperatorOutput output(label, myOptions.verbose, myOptions.log);
            ProgressLine progress(label, myOptions.verbose || isatty(2));
            myJob.cook(frameTime(myFrame), myWarnings);
            myInterrupted = SignalGuard::interrupted();
        }
        myCookSeconds = seconds(t1);
        flushWarnings(myWarnings);
        if (myInterrupted) warn("interrupted: writing the partial result of " + myOp.getName() + " to " + myOut);
    }

    void write()
    {
        auto t2 = std::chrono::steady_clock::now();
        {
            // A second Ctrl-C while writing removes the temporary file and exits.
            SignalGuard signals;
            myVolumes = writeVolumesVdb(myJob.output(), myOut, myOptions.vectors, myWarnings,
                                        slabMetadata(myOptions, mySlab, myFrame), myOptions.resample);
            if (!myPreview.empty())
            {
                std::string caption = myOp.getName();
                if (!myVolumes.empty()) caption += " " + resolution(myVolumes[0].res);
                writePreview(myJob.output(), myPreview, caption);
            }
        }
        myWriteSeconds = seconds(t2);
        flushWarnings(myWarnings);
        if (myVolumes.empty()) warn(myOp.getName() + " produced no volumes; " + myOut + " holds no grids");
        warnIfOutputEmpty(myOp.getName(), myVolumes, myOut);
    }

    void report() const
    {
        if (myOptions.verbose) note(summaryLine());
        if (myOptions.stats) std::cout << statsLine().dump() << std::endl;
    }

    bool interrupted() const { return myInterrupted; }

private:
    bool sequence() const { return !myOptions.frames.empty(); }

    std::string summaryLine() const
    {
        uint64_t active = 0;
        for (auto &v : myVolumes) active += v.active;
        return "wrote " + myOut + ": " + std::to_string(myVolumes.size()) + " volumes, " + std::to_string(active) +
               " active voxels (read " + std::to_string(myReadSeconds) + "s, cook " + std::to_string(myCookSeconds) +
               "s, write " + std::to_string(myWriteSeconds) + "s)";
    }

    nlohmann::json statsLine() const
    {
        struct rusage usage;
        getrusage(RUSAGE_SELF, &usage);
        nlohmann::json line;
        line["operator"] = myOp.getName();
        if (sequence()) line["frame"] = myFrame;
        if (mySlab.active()) line["slab"] = mySlab.text();
        line["output"] = myOut;
        line["read_seconds"] = myReadSeconds;
        line["cook_seconds"] = myCookSeconds;
        line["write_seconds"] = myWriteSeconds;
        line["threads"] = UT_ThreadedAlgorithm::getDefaultThreadCount();
        line["interrupted"] = myInterrupted;
        nlohmann::json vols = nlohmann::json::array();
        for (const VolumeSummary &v : myVolumes)
            vols.push_back({{"name", v.name}, {"resolution", {v.res[0], v.res[1], v.res[2]}}, {"voxels", v.voxels}, {"active", v.active}});
        line["volumes"] = vols;
        line["peak_memory_bytes"] = uint64_t(usage.ru_maxrss) * 1024;
        return line;
    }

    OP_Operator &myOp;
    const CookOptions &myOptions;
    const std::vector<ParmSetting> &mySettings;
    int myFrame;
    OperatorCook myJob;
    std::string myOut, myPreview;
    SlabPart mySlab;
    std::unique_ptr<OBJ_Camera> myCamera;
    std::vector<std::string> myWarnings;
    std::vector<VolumeSummary> myVolumes;
    bool myInterrupted = false;
    double myReadSeconds = 0, myCookSeconds = 0, myWriteSeconds = 0;
};
// With --skip-existing: true (after saying so) when the frame's output is
// already a complete file of this cook.
bool skipCompleteFrame(const CookOptions &o, int frame)
{
    std::string out = expandFrame(o.output, frame);
    if (!isCompleteVdb(out, o.slab.empty() ? "" : parseSlab(o.slab).text())) return false;
    note("skipping frame " + std::to_string(frame) + ": " + out + " is complete");
    if (o.stats)
    {
        nlohmann::json line{{"operator", o.op}, {"frame", frame}, {"output", out}, {"skipped", true}};
        if (!o.slab.empty()) line["slab"] = o.slab;
        std::cout << line.dump() << std::endl;
    }
    return true;
}
} // namespace

int runCook(const PluginRegistry &plugins, const CookOptions &o)
{
    OP_Operator &op = plugins.require(o.op);
    std::vector<int> frames = o.frames.empty() ? std::vector<int>{1} : parseFrames(o.frames);
    validateOptions(op, o, frames);
    // Check the parameters once, before anything is read or cooked.
    const std::vector<ParmSetting> settings = checkParameters(op, o.settings);
    if (o.threads > 0) UT_ThreadedAlgorithm::setDefaultThreadCount(o.threads);
    SlabScope slab(o.slab.empty() ? SlabPart() : parseSlab(o.slab));

    for (int frame : frames)
    {
        if (o.skipExisting && skipCompleteFrame(o, frame)) continue;
        FrameCook job(op, o, settings, frame);
        job.prepare();
        job.cook();
        job.write();
        job.report();
        if (job.interrupted()) return 130;
    }
    return 0;
}
} // namespace sopcook
