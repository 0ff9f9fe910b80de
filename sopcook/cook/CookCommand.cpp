// SPDX-License-Identifier: Apache-2.0
#include "cook/CookCommand.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include <nlohmann/json.hpp>

#include "cook/CookPipeline.h"
#include "cook/Frames.h"
#include "cook/InputAttributes.h"
#include "cook/Interrupts.h"
#include "cook/ParmAssign.h"
#include "cook/ResampleWatch.h"
#include "cook/UserPaths.h"
#include "cook/SlabMetadata.h"
#include "cook/SlabPart.h"
#include "vdb/VdbComplete.h"
#include "Messages.h"
#include "UT/UT_ThreadedAlgorithm.h"

namespace sopcook
{
namespace
{
double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
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

// A frame's cook as the command line watches it: what the first signal
// says, and the progress line.
class FrameWatch : public CookWatch
{
public:
    FrameWatch(const std::string &label, bool show, const CookEstimate &estimate, bool sequence)
        : myLabel(label), myShow(show), myEstimate(estimate), mySequence(sequence)
    {
    }

    bool run(const std::function<void()> &cook) override
    {
        setInterruptMessage(interruptMessage());
        {
            ProgressLine progress(myLabel, myShow, work());
            cook();
        }
        setInterruptMessage("interrupted; stopping after this frame (again to abort without writing)");
        return SignalGuard::interrupted();
    }

private:
    std::string interruptMessage() const
    {
        if (!myEstimate.stopsEarly)
            return myEstimate.op + " cannot stop early; the cook runs to the end \u2014 press Ctrl-C again to abort";
        return std::string("interrupted; stopping the cook (again to abort without writing)") +
               (mySequence ? "; later frames do not start" : "");
    }

    ProgressLine::Work work() const
    {
        ProgressLine::Work w;
        w.polls = myEstimate.polls * slabs; // each slab polls at most what the whole cook polls
        w.stoppingNote = myEstimate.stopsEarly ? "stopping" : myEstimate.op + " cannot stop early; Ctrl-C again to abort";
        return w;
    }

    std::string myLabel;
    bool myShow;
    const CookEstimate &myEstimate;
    bool mySequence;
};

// The request of one frame: paths with the frame number put in.
CookRequest frameRequest(OP_Operator &op, const CookOptions &o, const std::vector<ParmSetting> &settings, int frame,
                         const std::string &label, Diagnostics &diagnostics)
{
    CookRequest r;
    r.op = &op;
    if (!o.input.empty()) r.input.path = expandFrame(o.input, frame);
    if (!o.bbox.empty()) r.bbox.path = expandFrame(o.bbox, frame);
    if (!o.camera.empty()) r.camera.path = expandFrame(o.camera, frame);
    r.parameters = settings;
    r.attributes = parseAttributeDefaults(o.attribs, o.attribOverrides);
    r.slab = o.slab.empty() ? SlabPart() : parseSlab(o.slab);
    r.time = frameTime(frame);
    r.threads = o.threads;
    r.force = o.force;
    r.allowEmpty = o.allowEmpty;
    r.trianglesToQuads = o.trianglesToQuads;
    r.verbose = o.verbose;
    r.log = o.log;
    r.label = label;
    if (!o.estimateOnly)
    {
        r.output.path = expandFrame(o.output, frame);
        if (!o.preview.empty()) r.output.preview = expandFrame(o.preview, frame);
    }
    r.output.vectors = o.vectors;
    r.output.resample = o.resample;
    r.output.compression = o.compression;
    r.diagnostics = &diagnostics;
    return r;
}

// One frame of the command, step by step; each step times itself.
class FrameCook
{
public:
    // place: " (2 of 4)" within a range, else empty.
    FrameCook(OP_Operator &op, const CookOptions &o, const std::vector<ParmSetting> &settings, int frame,
              Diagnostics &diagnostics, const std::string &place = "")
        : myOptions(o), myFrame(frame),
          myRequest(frameRequest(op, o, settings, frame,
                                 op.getName() + (o.frames.empty() ? "" : " frame " + std::to_string(frame) + place),
                                 diagnostics)),
          myCook(myRequest)
    {
    }

    // Inputs, camera and parameters, checked; the estimate of the cook, which
    // refuses a cook that cannot finish.
    void prepare()
    {
        auto t0 = std::chrono::steady_clock::now();
        myCook.read();
        myCook.checkInput();
        myEstimate = myCook.estimate();
        if (myOptions.estimateOnly) return;
        myCook.checkEstimate();
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
        FrameWatch watch(myCook.label(), myOptions.verbose || isatty(2), myEstimate, sequence());
        myCook.cook(watch);
        myCookSeconds = seconds(t1);
        myCook.checkCook();
        if (myCook.interrupted())
            warn("interrupted: writing the partial result of " + myEstimate.op + " to " + myRequest.output.path);
    }

    void write()
    {
        auto t2 = std::chrono::steady_clock::now();
        FileMetadata metadata = slabMetadata(myOptions, myRequest.slab, myFrame, myCook.job().node());
        if (myCook.interrupted()) metadata[partialKey] = "interrupted by " + signalName(SignalGuard::firstSignal());
        // The resample shows progress and stops on a signal as the cook does.
        ResampleWatch watch(myCook.label(), myOptions.verbose || isatty(2));
        try
        {
            myCook.write(metadata, &watch);
        }
        catch (const ResampleInterrupted &e)
        {
            throw ResampleInterrupted(std::string(e.what()) + " on " + signalName(SignalGuard::firstSignal()) +
                                      "; nothing written to " + myRequest.output.path);
        }
        myWriteSeconds = seconds(t2);
        myCook.checkResult();
    }

    const CookEstimate &estimate() const { return myEstimate; }

    void report() const
    {
        if (myOptions.verbose) note(summaryLine());
        if (myOptions.stats) std::cout << statsLine().dump() << std::endl;
    }

private:
    bool sequence() const { return !myOptions.frames.empty(); }

    std::string summaryLine() const
    {
        uint64_t active = 0;
        for (auto &v : myCook.volumes()) active += v.active;
        return "wrote " + myRequest.output.path + ": " + std::to_string(myCook.volumes().size()) + " volumes, " +
               std::to_string(active) + " active voxels (read " + std::to_string(myReadSeconds) + "s, cook " +
               std::to_string(myCookSeconds) + "s, write " + std::to_string(myWriteSeconds) + "s)" +
               (myCook.interrupted() ? ", partial" : "");
    }

    nlohmann::json statsLine() const
    {
        struct rusage usage;
        getrusage(RUSAGE_SELF, &usage);
        nlohmann::json line;
        line["operator"] = myEstimate.op;
        if (sequence()) line["frame"] = myFrame;
        if (myRequest.slab.active()) line["slab"] = myRequest.slab.text();
        line["output"] = myRequest.output.path;
        line["read_seconds"] = myReadSeconds;
        line["cook_seconds"] = myCookSeconds;
        line["write_seconds"] = myWriteSeconds;
        line["threads"] = UT_ThreadedAlgorithm::getDefaultThreadCount();
        line["interrupted"] = SignalGuard::interrupted();
        line["partial"] = myCook.interrupted();
        nlohmann::json vols = nlohmann::json::array();
        for (const VolumeSummary &v : myCook.volumes())
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

    const CookOptions &myOptions;
    int myFrame;
    CookRequest myRequest;
    CookPipeline myCook;
    CookEstimate myEstimate;
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
               const std::string &place, Diagnostics &diagnostics)
{
    FrameCook job(op, o, settings, frame, diagnostics, place);
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
        diagnostics.report({DiagnosticKind::Error, e.what()});
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
    StderrDiagnostics diagnostics(o.verbose);
    FrameCook job(op, o, settings, frame, diagnostics);
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
    StderrDiagnostics diagnostics(o.verbose);
    reportParameterAdjustments(settings, diagnostics, commandLineWording());

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
            cookFrame(op, o, settings, frame, place, diagnostics);
            continue;
        }
        try
        {
            cookFrame(op, o, settings, frame, place, diagnostics);
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
