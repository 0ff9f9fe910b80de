// SPDX-License-Identifier: Apache-2.0
#include "cook/CookCommand.h"

#include <signal.h>
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
#include "cook/Preflight.h"
#include "cook/ResultChecks.h"
#include "cook/ResampleWatch.h"
#include "cook/UserPaths.h"
#include "cook/TrianglesToQuads.h"
#include "cook/ScaleCheck.h"
#include "cook/VolumeBox.h"
#include "farm/Slab.h"
#include "vdb/VdbComplete.h"
#include "io/CameraFile.h"
#include "io/GeometryFile.h"
#include "Messages.h"
#include "preview/Preview.h"
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
    if (o.output.empty() && !o.estimateOnly) throw Error("--output is required (-o OUT.vdb, or --estimate)");
    // No file the user names is overwritten by another option's output.
    checkUserPaths(cookUserPaths(&op, o, frames));
    if (op.maxInputs() == 0 && (!o.input.empty() || !o.bbox.empty()))
        throw Error(op.getName() + " takes no geometry input; drop -i and -b");
    if (op.maxInputs() < 2 && !o.bbox.empty()) throw Error(op.getName() + " has no bounding-box input; drop -b");
    if (o.threads < 0) throw Error("--threads " + std::to_string(o.threads) + ": expected 0 (all hardware threads) or more");
    validateAttributeOptions(o);
    if (o.resample.uniform && !o.slab.empty())
        throw Error("--resample: slabs are cut from the exact grids and joined by `sopcook merge`; cook without --slab to resample");
    if (frames.size() > 1 && !o.estimateOnly && expandFrame(o.output, frames[0]) == expandFrame(o.output, frames[1]))
        throw Error("-o " + o.output + ": put $F or $F4 in the output name to cook several frames");
    if (!o.preview.empty() && frames.size() > 1 && expandFrame(o.preview, frames[0]) == expandFrame(o.preview, frames[1]))
        throw Error("--preview " + o.preview + ": put $F or $F4 in the preview name to cook several frames");
}

std::string signalName(int sig) { return sig == SIGTERM ? "SIGTERM" : sig == SIGINT ? "SIGINT" : "signal " + std::to_string(sig); }

// One frame of the command, step by step; each step times itself.
class FrameCook
{
public:
    // place: " (2 of 4)" within a range, else empty.
    FrameCook(OP_Operator &op, const CookOptions &o, const std::vector<ParmSetting> &settings, int frame,
              const std::string &place = "")
        : myOp(op), myOptions(o), mySettings(settings), myFrame(frame), myJob(op), myOut(expandFrame(o.output, frame)),
          myPreview(o.preview.empty() ? "" : expandFrame(o.preview, frame)), myRangePlace(place),
          mySlab(o.slab.empty() ? SlabPart() : parseSlab(o.slab))
    {
    }

    // Inputs, camera and parameters, checked; the estimate of the cook, which
    // refuses a cook that cannot finish.
    void prepare()
    {
        auto t0 = std::chrono::steady_clock::now();
        const CookOptions &o = myOptions;
        if (!o.estimateOnly)
        {
            removeStalePartials(myOut, myWarnings);
            checkWritable(myOut);
        }
        applyParameters(myJob.node(), mySettings);
        readInputs();
        myBox = plannedBox(myJob.node(), frameTime(myFrame), o.input.empty() ? nullptr : &myJob.input(0),
                           expandFrame(o.input, myFrame), o.bbox.empty() ? nullptr : &myJob.input(1),
                           expandFrame(o.bbox, myFrame));
        checkPlacement(myJob.node(), frameTime(myFrame), myBox, myCamera.get(), myWarnings);
        flushWarnings(myWarnings);
        prepareInputAttributes(myJob, o, frameTime(myFrame));
        myScale = checkScale(myJob.node(), frameTime(myFrame), myBox, o.input.empty() ? nullptr : &myJob.input(0), myWarnings);
        flushWarnings(myWarnings);
        myEstimate = estimateCook(myOp, myJob.node(), frameTime(myFrame), o.input.empty() ? nullptr : &myJob.input(0), &myBox);
        if (mySlab.active()) myEstimate = slabEstimate(myEstimate, mySlab.count);
        if (o.estimateOnly) return;
        checkEstimate();
        myReadSeconds = seconds(t0);
    }

    // --estimate: the estimate, as text or (with --stats) one JSON line.
    void printEstimate() const
    {
        if (!myEstimate.problem.empty()) throw Error(myEstimate.problem);
        double memory = availableMemoryBytes();
        if (myOptions.stats) std::cout << estimateJson(memory).dump() << std::endl;
        else std::cout << (sequence() ? "frame " + std::to_string(myFrame) + ": " : "") << estimateText(myEstimate, memory);
    }

    void cook()
    {
        auto t1 = std::chrono::steady_clock::now();
        {
            std::string label = this->label();
            setInterruptMessage(interruptMessage());
            OperatorOutput output(label, myOptions.verbose, myOptions.log);
            output.setTrianglesToQuads(myOptions.trianglesToQuads);
            ProgressLine progress(label, myOptions.verbose || isatty(2), progressWork());
            myJob.cook(frameTime(myFrame), myWarnings);
            // An operator that never stops early has made its whole result.
            myInterrupted = SignalGuard::interrupted() && myEstimate.stopsEarly;
            setInterruptMessage("interrupted; stopping after this frame (again to abort without writing)");
        }
        myCookSeconds = seconds(t1);
        checkInputFailure();
        flushWarnings(myWarnings);
        if (myInterrupted) warn("interrupted: writing the partial result of " + myOp.getName() + " to " + myOut);
    }

    void write()
    {
        auto t2 = std::chrono::steady_clock::now();
        FileMetadata metadata = slabMetadata(myOptions, mySlab, myFrame, myJob.node());
        if (myInterrupted) metadata[partialKey] = "interrupted by " + signalName(SignalGuard::firstSignal());
        // The resample shows progress and stops on a signal as the cook
        // does, and is refused when its grids would not fit (unless --force).
        ResampleOptions resample = myOptions.resample;
        ResampleWatch watch(label(), myOptions.verbose || isatty(2));
        resample.monitor = &watch;
        if (!myOptions.force) resample.memoryBytes = availableMemoryBytes();
        try
        {
            myVolumes = writeVolumesVdb(myJob.output(), myOut, myOptions.vectors, myWarnings, metadata, resample,
                                        myOptions.compression);
        }
        catch (const ResampleInterrupted &e)
        {
            throw ResampleInterrupted(std::string(e.what()) + " on " + signalName(SignalGuard::firstSignal()) +
                                      "; nothing written to " + myOut);
        }
        if (!myPreview.empty())
        {
            std::string caption = myOp.getName();
            if (!myVolumes.empty()) caption += " " + resolution(myVolumes[0].res);
            writePreview(myJob.output(), myPreview, caption);
        }
        myWriteSeconds = seconds(t2);
        flushWarnings(myWarnings);
        if (myVolumes.empty()) warn(myOp.getName() + " produced no volumes; " + myOut + " holds no grids");
        warnIfOutputEmpty(myOp.getName(), myVolumes, myOut);
        if (!myVolumes.empty()) checkCoverage(myScale, myBox, myOp.getName(), myVolumes[0].active, myOut, myWarnings);
        flushWarnings(myWarnings);
        if (std::string w = nonFiniteWarning(myOp.getName(), myVolumes, myOut); !w.empty()) warn(w);
    }

    const CookEstimate &estimate() const { return myEstimate; }

    void report() const
    {
        if (myOptions.verbose) note(summaryLine());
        if (myOptions.stats) std::cout << statsLine().dump() << std::endl;
    }

private:
    bool sequence() const { return !myOptions.frames.empty(); }
    std::string label() const
    {
        return myOp.getName() + (sequence() ? " frame " + std::to_string(myFrame) + myRangePlace : "");
    }

    // Geometry (with its non-finite points named) and the camera.
    void readInputs()
    {
        const CookOptions &o = myOptions;
        if (!o.input.empty())
        {
            readPoints(expandFrame(o.input, myFrame), myJob.input(0), o.bbox.empty());
            if (o.trianglesToQuads) pairTriangles(myJob.input(0));
        }
        if (!o.bbox.empty()) readPoints(expandFrame(o.bbox, myFrame), myJob.input(1), true);
        if (!o.camera.empty())
        {
            std::string camPath = expandFrame(o.camera, myFrame);
            myCamera = makeCamera(parseCameraJson(readFileBytes(camPath, "camera"), camPath, myWarnings));
        }
    }

    void pairTriangles(GU_Detail &gdp)
    {
        GU_Detail quads;
        const TrianglesToQuadsResult r = trianglesToQuads(gdp, quads);
        gdp.copyFrom(quads);
        if (myOptions.verbose)
            note("--triangles-to-quads: " + std::to_string(r.pairs) + " quads of two triangles, " + std::to_string(r.degenerate) +
                 " triangles as degenerate quads");
    }

    void readPoints(const std::string &path, GU_Detail &gdp, bool setsBox)
    {
        readGeometryFile(path, gdp, myWarnings);
        checkPositions(gdp, path, myWarnings);
        if (setsBox && myJob.node().hasParm("divs")) checkBoundingBox(gdp, path);
    }

    // An unreadable input is an error unless --allow-empty; a cook the
    // machine cannot finish is refused unless --force.
    void checkEstimate()
    {
        if (!myEstimate.problem.empty())
        {
            if (!myOptions.allowEmpty) throw Error(myEstimate.problem);
            warn(myEstimate.problem + "; cooking empty volumes (--allow-empty)");
        }
        if (myOptions.force) return;
        std::string why = refusal(myEstimate, availableMemoryBytes());
        if (!why.empty()) throw Error(why);
        if (std::string longCook = longCookWarning(myEstimate); !longCook.empty()) warn(longCook);
    }

    // An operator that reports a failure to read its input as a node warning.
    void checkInputFailure()
    {
        for (const std::string &failure : inputFailures(myOp, myJob.node(), myEstimate))
        {
            if (!myOptions.allowEmpty) throw Error(failure);
            myWarnings.push_back(failure + "; written empty (--allow-empty)");
        }
    }

    std::string interruptMessage() const
    {
        if (!myEstimate.stopsEarly)
            return myOp.getName() + " cannot stop early; the cook runs to the end \u2014 press Ctrl-C again to abort";
        return std::string("interrupted; stopping the cook (again to abort without writing)") +
               (sequence() ? "; later frames do not start" : "");
    }

    ProgressLine::Work progressWork() const
    {
        ProgressLine::Work w;
        w.polls = myEstimate.polls;
        w.stoppingNote = myEstimate.stopsEarly ? "stopping" : myOp.getName() + " cannot stop early; Ctrl-C again to abort";
        return w;
    }

    std::string summaryLine() const
    {
        uint64_t active = 0;
        for (auto &v : myVolumes) active += v.active;
        return "wrote " + myOut + ": " + std::to_string(myVolumes.size()) + " volumes, " + std::to_string(active) +
               " active voxels (read " + std::to_string(myReadSeconds) + "s, cook " + std::to_string(myCookSeconds) +
               "s, write " + std::to_string(myWriteSeconds) + "s)" + (myInterrupted ? ", partial" : "");
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
        line["interrupted"] = SignalGuard::interrupted();
        line["partial"] = myInterrupted;
        nlohmann::json vols = nlohmann::json::array();
        for (const VolumeSummary &v : myVolumes)
            vols.push_back({{"name", v.name}, {"resolution", {v.res[0], v.res[1], v.res[2]}}, {"voxels", v.voxels},
                            {"active", v.active}, {"non_finite", v.nonFinite.count}});
        line["volumes"] = vols;
        line["peak_memory_bytes"] = uint64_t(usage.ru_maxrss) * 1024;
        return line;
    }

    nlohmann::json estimateJson(double memory) const
    {
        const CookEstimate &e = myEstimate;
        nlohmann::json line = {{"operator", e.op},          {"cost_model", e.modelled},    {"grid", e.grid},
                               {"volumes", e.volumes},      {"voxels", e.voxels},          {"memory_bytes", e.fullBytes},
                               {"empty_bytes", e.indexBytes}, {"available_bytes", memory}, {"least_seconds", e.leastSeconds},
                               {"most_seconds", e.mostSeconds}, {"polls", e.polls},        {"stops_early", e.stopsEarly},
                               {"refusal", refusal(e, memory)}};
        if (sequence()) line["frame"] = myFrame;
        return line;
    }

    OP_Operator &myOp;
    const CookOptions &myOptions;
    const std::vector<ParmSetting> &mySettings;
    int myFrame;
    OperatorCook myJob;
    std::string myOut, myPreview, myRangePlace;
    SlabPart mySlab;
    std::unique_ptr<OBJ_Camera> myCamera;
    VolumeBox myBox;
    ScaleCheck myScale;
    std::vector<std::string> myWarnings;
    CookEstimate myEstimate;
    std::vector<VolumeSummary> myVolumes;
    bool myInterrupted = false;
    double myReadSeconds = 0, myCookSeconds = 0, myWriteSeconds = 0;
};

// With --skip-existing: true (after saying so) when the frame's output is
// already a complete file of this cook. An output that is not (cut short,
// damaged, partial, of another slab) is cooked again, with a warning.
bool skipCompleteFrame(const CookOptions &o, int frame)
{
    std::string out = expandFrame(o.output, frame);
    std::string why;
    if (!isCompleteVdb(out, o.slab.empty() ? "" : parseSlab(o.slab).text(), &why))
    {
        if (access(out.c_str(), F_OK) == 0) warn(why + "; cooking frame " + std::to_string(frame) + " again");
        return false;
    }
    note("skipping frame " + std::to_string(frame) + ": " + out + " is complete");
    if (o.stats)
    {
        nlohmann::json line{{"operator", o.op}, {"frame", frame}, {"output", out}, {"skipped", true}};
        if (!o.slab.empty()) line["slab"] = o.slab;
        std::cout << line.dump() << std::endl;
    }
    return true;
}

// One frame from reading to report; throws Error on failure.
void cookFrame(OP_Operator &op, const CookOptions &o, const std::vector<ParmSetting> &settings, int frame,
               const std::string &place)
{
    FrameCook job(op, o, settings, frame, place);
    job.prepare();
    if (o.estimateOnly) return job.printEstimate();
    // A signal while the inputs were read stops before the cook starts.
    if (SignalGuard::interrupted()) throw Error("interrupted before frame " + std::to_string(frame) + " was cooked; nothing written for it");
    job.cook();
    try
    {
        job.write();
    }
    catch (const ResampleInterrupted &e)
    {
        // Not a failure of the frame: the run ends as an interrupted one
        // (128 + the signal), with this line saying what was lost.
        std::fprintf(stderr, "sopcook: error: %s\n", e.what());
        return;
    }
    job.report();
}

// With --keep-going: the frame's failure as one error line, and the frame
// kept for the final list.
void reportFailedFrame(int frame, const std::string &why, std::vector<int> &failed)
{
    std::fprintf(stderr, "sopcook: error: frame %d: %s\n", frame, why.c_str());
    failed.push_back(frame);
}

std::string frameList(const std::vector<int> &frames)
{
    std::string list;
    for (int f : frames) list += (list.empty() ? "" : ", ") + std::to_string(f);
    return list;
}
} // namespace

CookEstimate estimateFrame(const PluginRegistry &plugins, const CookOptions &options, int frame)
{
    CookOptions o = options;
    o.estimateOnly = true;
    OP_Operator &op = plugins.require(o.op);
    const std::vector<ParmSetting> settings = parseParameters(op, o.settings);
    FrameCook job(op, o, settings, frame);
    job.prepare();
    return job.estimate();
}

int runCook(const PluginRegistry &plugins, const CookOptions &o)
{
    OP_Operator &op = plugins.require(o.op);
    std::vector<int> frames = o.frames.empty() ? std::vector<int>{1} : parseFrames(o.frames);
    validateOptions(op, o, frames);
    // Check the parameters once, before anything is read or cooked.
    const std::vector<ParmSetting> settings = parseParameters(op, o.settings);
    for (const std::string &w : parameterAdjustments(settings)) warn(w);
    if (o.threads > 0) UT_ThreadedAlgorithm::setDefaultThreadCount(o.threads);
    SlabScope slab(o.slab.empty() ? SlabPart() : parseSlab(o.slab));

    SignalGuard signals;
    std::vector<int> failed;
    for (size_t i = 0; i < frames.size(); ++i)
    {
        if (SignalGuard::interrupted()) break; // no later frame starts
        const int frame = frames[i];
        if (o.skipExisting && !o.estimateOnly && skipCompleteFrame(o, frame)) continue;
        const std::string place = " (" + std::to_string(i + 1) + " of " + std::to_string(frames.size()) + ")";
        if (!o.keepGoing || frames.size() == 1)
        {
            cookFrame(op, o, settings, frame, place);
            continue;
        }
        try
        {
            cookFrame(op, o, settings, frame, place);
        }
        catch (const Error &e)
        {
            reportFailedFrame(frame, e.what(), failed);
        }
        catch (const std::bad_alloc &)
        {
            reportFailedFrame(frame, "out of memory", failed);
        }
    }
    if (!failed.empty())
        std::fprintf(stderr, "sopcook: error: %zu of %zu frames failed: %s\n", failed.size(), frames.size(),
                     frameList(failed).c_str());
    if (SignalGuard::interrupted()) return 128 + SignalGuard::firstSignal();
    return failed.empty() ? 0 : 1;
}
} // namespace sopcook
