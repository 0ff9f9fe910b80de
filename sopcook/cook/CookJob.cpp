#include "cook/CookJob.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>

#include <nlohmann/json.hpp>

#include "io/CameraFile.h"
#include "cook/CookEstimate.h"
#include "io/GeometryFile.h"
#include "cook/Interrupts.h"
#include "Messages.h"
#include "cook/ParmAssign.h"
#include "preview/Preview.h"
#include "UT/UT_ThreadedAlgorithm.h"

namespace sopcook
{
OperatorCook::OperatorCook(OP_Operator &op) : myOp(op)
{
    std::string name = op.getName() + "1";
    OP_Node *node = op.constructNode(nullptr, name.c_str());
    myNode.reset(dynamic_cast<SOP_Node *>(node));
    if (!myNode)
    {
        delete node;
        throw Error(op.getName() + ": the plug-in did not construct a surface-operator node");
    }
}

OperatorCook::~OperatorCook() = default;

GU_Detail &OperatorCook::input(unsigned idx)
{
    if (myInputs.size() <= idx) myInputs.resize(idx + 1);
    if (!myInputs[idx])
    {
        myInputs[idx].reset(new SOP_GeometrySource(idx == 0 ? "input" : "bbox"));
        myNode->setInput(idx, myInputs[idx].get());
    }
    return myInputs[idx]->source();
}

void OperatorCook::cook(fpreal time, std::vector<std::string> &warnings)
{
    OP_Context context(time);
    OP_ERROR result;
    try
    {
        result = myNode->cook(context);
    }
    catch (const std::bad_alloc &)
    {
        throw Error(myOp.getName() + ": cook failed: out of memory");
    }
    catch (const std::exception &e)
    {
        throw Error(myOp.getName() + ": cook failed: " + e.what());
    }
    catch (...)
    {
        throw Error(myOp.getName() + ": cook failed with an unknown exception");
    }
    std::string firstError;
    for (const OP_Node::Message &m : myNode->messages())
    {
        if (m.severity >= UT_ERROR_ERROR && firstError.empty()) firstError = m.text;
        else if (m.severity >= UT_ERROR_WARNING) warnings.push_back(myOp.getName() + ": " + m.text);
    }
    if (result >= UT_ERROR_ERROR)
        throw Error(myOp.getName() + ": cook failed" + (firstError.empty() ? "" : ": " + firstError));
}

std::string expandFrame(const std::string &pattern, int frame)
{
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i)
    {
        if (pattern[i] == '$' && i + 1 < pattern.size() && pattern[i + 1] == 'F')
        {
            int width = 0;
            size_t j = i + 2;
            if (j < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[j]))) width = pattern[j++] - '0';
            char buf[32];
            std::snprintf(buf, sizeof(buf), "%0*d", width, frame);
            out += buf;
            i = j - 1;
            continue;
        }
        out += pattern[i];
    }
    return out;
}

std::vector<int> parseFrames(const std::string &range)
{
    auto bad = [&] { return Error("--frames " + range + ": expected A-B (such as 1-24) or a single frame"); };
    size_t dash = range.find('-', 1); // a leading '-' is a sign
    auto parse = [&](const std::string &s) {
        char *end = nullptr;
        long v = std::strtol(s.c_str(), &end, 10);
        if (s.empty() || !end || *end || v < -1000000 || v > 1000000) throw bad();
        return int(v);
    };
    int a = parse(dash == std::string::npos ? range : range.substr(0, dash));
    int b = dash == std::string::npos ? a : parse(range.substr(dash + 1));
    if (b < a) throw Error("--frames " + range + ": the last frame comes before the first");
    std::vector<int> frames;
    for (int f = a; f <= b; ++f) frames.push_back(f);
    return frames;
}

fpreal frameTime(int frame) { return fpreal(frame - 1) / 24.0; }

StdoutToStderr::StdoutToStderr(bool active)
{
    if (!active) return;
    std::fflush(stdout);
    std::cout.flush();
    mySaved = dup(1);
    dup2(2, 1);
}

StdoutToStderr::~StdoutToStderr()
{
    if (mySaved < 0) return;
    std::fflush(stdout);
    std::cout.flush();
    dup2(mySaved, 1);
    close(mySaved);
}

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
} // namespace

int runCook(const PluginRegistry &plugins, const CookOptions &o)
{
    OP_Operator &op = plugins.require(o.op);
    if (o.output.empty()) throw Error("cook: no output file (-o OUT.vdb)");
    if (op.maxInputs() == 0 && (!o.input.empty() || !o.bbox.empty()))
        throw Error(op.getName() + " takes no geometry input; drop -i and -b");
    if (op.maxInputs() < 2 && !o.bbox.empty()) throw Error(op.getName() + " has no bounding-box input; drop -b");
    if (o.threads < 0) throw Error("--threads " + std::to_string(o.threads) + ": expected 1 or more");

    std::vector<int> frames = o.frames.empty() ? std::vector<int>{1} : parseFrames(o.frames);
    if (frames.size() > 1 && expandFrame(o.output, frames[0]) == expandFrame(o.output, frames[1]))
        throw Error("-o " + o.output + ": put $F or $F4 in the output name to cook several frames");
    if (!o.preview.empty() && frames.size() > 1 && expandFrame(o.preview, frames[0]) == expandFrame(o.preview, frames[1]))
        throw Error("--preview " + o.preview + ": put $F or $F4 in the preview name to cook several frames");

    {
        // Check the parameters once, before anything is read or cooked.
        OperatorCook probe(op);
        assignParameters(probe.node(), op, o.settings);
    }
    if (o.threads > 0) UT_ThreadedAlgorithm::setDefaultThreadCount(o.threads);

    std::vector<std::string> warnings;
    for (int frame : frames)
    {
        const bool sequence = !o.frames.empty();
        std::string out = expandFrame(o.output, frame);
        std::string preview = o.preview.empty() ? "" : expandFrame(o.preview, frame);
        checkWritable(out);

        auto t0 = std::chrono::steady_clock::now();
        OperatorCook job(op);
        assignParameters(job.node(), op, o.settings);
        if (!o.input.empty()) readGeometryFile(expandFrame(o.input, frame), job.input(0), warnings);
        if (!o.bbox.empty()) readGeometryFile(expandFrame(o.bbox, frame), job.input(1), warnings);
        std::unique_ptr<OBJ_Camera> camera;
        if (!o.camera.empty())
        {
            std::string camPath = expandFrame(o.camera, frame);
            camera = makeCamera(parseCameraJson(readFileBytes(camPath, "camera"), camPath, warnings));
        }
        flushWarnings(warnings);
        if (!o.force)
        {
            CookEstimate estimate = estimateCook(op, job.node(), frameTime(frame), o.input.empty() ? nullptr : &job.input(0));
            std::string why = refusal(estimate, availableMemoryBytes());
            if (!why.empty()) throw Error(why);
        }
        double readSeconds = seconds(t0);

        auto t1 = std::chrono::steady_clock::now();
        bool interrupted = false;
        {
            SignalGuard signals;
            std::string label = op.getName() + (sequence ? " frame " + std::to_string(frame) : "");
            ProgressLine progress(label, o.verbose || isatty(2));
            StdoutToStderr redirect(o.stats);
            job.cook(frameTime(frame), warnings);
            interrupted = SignalGuard::interrupted();
        }
        double cookSeconds = seconds(t1);
        flushWarnings(warnings);
        if (interrupted) warn("interrupted: writing the partial result of " + op.getName() + " to " + out);

        auto t2 = std::chrono::steady_clock::now();
        std::vector<VolumeSummary> volumes;
        {
            // A second Ctrl-C while writing removes the temporary file and exits.
            SignalGuard signals;
            volumes = writeVolumesVdb(job.output(), out, o.vectors, warnings);
            if (!preview.empty())
            {
                std::string caption = op.getName();
                if (!volumes.empty()) caption += " " + resolution(volumes[0].res);
                writePreview(job.output(), preview, caption);
            }
        }
        double writeSeconds = seconds(t2);
        flushWarnings(warnings);
        if (volumes.empty()) warn(op.getName() + " produced no volumes; " + out + " holds no grids");

        if (o.verbose)
        {
            uint64_t active = 0;
            for (auto &v : volumes) active += v.active;
            note("wrote " + out + ": " + std::to_string(volumes.size()) + " volumes, " + std::to_string(active) +
                 " active voxels (read " + std::to_string(readSeconds) + "s, cook " + std::to_string(cookSeconds) +
                 "s, write " + std::to_string(writeSeconds) + "s)");
        }
        if (o.stats)
        {
            struct rusage usage;
            getrusage(RUSAGE_SELF, &usage);
            nlohmann::json line;
            line["operator"] = op.getName();
            if (sequence) line["frame"] = frame;
            line["output"] = out;
            line["read_seconds"] = readSeconds;
            line["cook_seconds"] = cookSeconds;
            line["write_seconds"] = writeSeconds;
            line["threads"] = UT_ThreadedAlgorithm::getDefaultThreadCount();
            line["interrupted"] = interrupted;
            nlohmann::json vols = nlohmann::json::array();
            for (const VolumeSummary &v : volumes)
                vols.push_back({{"name", v.name}, {"resolution", {v.res[0], v.res[1], v.res[2]}}, {"voxels", v.voxels}, {"active", v.active}});
            line["volumes"] = vols;
            line["peak_memory_bytes"] = uint64_t(usage.ru_maxrss) * 1024;
            std::cout << line.dump() << std::endl;
        }
        if (interrupted) return 130;
    }
    return 0;
}
} // namespace sopcook
