// SPDX-License-Identifier: Apache-2.0
#include "PythonCook.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "Arguments.h"
#include "NumpyInput.h"
#include "Messages.h"
#include "io/CameraFile.h"
#include "cook/CookEstimate.h"
#include "cook/InputAttributes.h"
#include "cook/OperatorCook.h"
#include "cook/OperatorOutput.h"
#include "cook/ResultChecks.h"
#include "cook/ScaleCheck.h"
#include "cook/TrianglesToQuads.h"
#include "cook/ParmAssign.h"
#include "cook/Preflight.h"
#include "cook/VolumeBox.h"
#include "io/GeometryFile.h"
#include "UT/UT_Interrupt.h"
#include "UT/UT_ThreadedAlgorithm.h"

namespace py = pybind11;

namespace sopcook::python
{
namespace
{
std::string componentText(const py::handle &v)
{
    if (py::isinstance<py::bool_>(v)) return v.cast<bool>() ? "on" : "off";
    return py::str(v).cast<std::string>();
}

// Geometry read into gdp, checked as `sopcook cook` checks its -i and -b
// files: points with a non-finite position are named in a warning, and points
// too far apart for a bounding box are refused where they set the volume's box.
void checkPoints(OperatorCook &job, const GU_Detail &gdp, const std::string &label, bool setsBox,
                 std::vector<std::string> &warnings)
{
    checkPositions(gdp, label, warnings);
    if (setsBox && job.node().hasParm("divs")) checkBoundingBox(gdp, label);
}

// Points (dict or file), primitives, bounding box (dict, positions or file).
void readInputs(OperatorCook &job, const CookRequest &r, std::vector<std::string> &warnings)
{
    const OP_Operator &op = job.op();
    bool geometry = !r.points.is_none() || !r.primitives.is_none();
    if (op.maxInputs() == 0 && (geometry || !r.bbox.is_none()))
        throw Error(op.getName() + " takes no geometry input; pass no points, primitives or bbox");
    if (op.maxInputs() < 2 && !r.bbox.is_none()) throw Error(op.getName() + " has no bounding-box input; pass no bbox");
    if (!r.primitives.is_none() && r.points.is_none()) throw Error("primitives need points (their 'P' positions)");
    if (!r.primitives.is_none() && !py::isinstance<py::dict>(r.primitives) && !isPath(r.points))
        throw ArgumentError("primitives: expected a dict with 'offsets', 'indices' and 'closed', got " + typeName(r.primitives));
    std::string pointsLabel = "points";
    if (isPath(r.points))
    {
        if (!r.primitives.is_none()) throw Error("primitives: not allowed with a geometry file (the file holds them)");
        pointsLabel = pathArgument(r.points, "points");
        readGeometryFile(pointsLabel, job.input(0), warnings);
    }
    else if (!r.points.is_none())
    {
        if (!py::isinstance<py::dict>(r.points))
            throw ArgumentError("points: expected a dict of numpy arrays or a geometry file path, got " + typeName(r.points));
        addPoints(job.input(0), r.points.cast<py::dict>(), "points");
        if (!r.primitives.is_none()) addPrimitives(job.input(0), r.primitives.cast<py::dict>());
    }
    if (r.trianglesToQuads && !r.points.is_none())
    {
        GU_Detail quads;
        trianglesToQuads(job.input(0), quads);
        job.input(0).copyFrom(quads);
    }
    if (!r.points.is_none()) checkPoints(job, job.input(0), pointsLabel, r.bbox.is_none(), warnings);
    if (r.bbox.is_none()) return;
    std::string bboxLabel = "bbox";
    if (isPath(r.bbox))
    {
        bboxLabel = pathArgument(r.bbox, "bbox");
        readGeometryFile(bboxLabel, job.input(1), warnings);
    }
    else if (py::isinstance<py::dict>(r.bbox))
        addPoints(job.input(1), r.bbox.cast<py::dict>(), "bbox");
    else
        addPoints(job.input(1), py::dict(py::arg("P") = r.bbox), "bbox");
    checkPoints(job, job.input(1), bboxLabel, true, warnings);
}

// A camera file path, or a dict with the camera file's keys.
std::unique_ptr<OBJ_Camera> cameraOf(const py::object &camera, std::vector<std::string> &warnings)
{
    if (camera.is_none()) return nullptr;
    if (isPath(camera))
    {
        std::string path = pathArgument(camera, "camera");
        return makeCamera(parseCameraJson(readFileBytes(path, "camera"), path, warnings));
    }
    if (!py::isinstance<py::dict>(camera))
        throw ArgumentError("camera: expected a dict (as a camera file holds) or a camera file path, got " + typeName(camera));
    // Checked value by value first: JSON has no NaN, and a message names the key.
    return makeCamera(parseCameraJson(jsonOf(camera, "camera").dump(), "camera", warnings));
}

// Cooks on a worker thread; this thread drops the GIL and checks Python's
// signals a few times a second. The first KeyboardInterrupt raises the host's
// interrupt (the operator stops where it can, the result is partial); a
// second, or any other exception from a signal handler, is raised again once
// the cook has stopped.
bool cookWatchingSignals(OperatorCook &job, fpreal time, std::vector<std::string> &warnings)
{
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::exception_ptr failure;
    UTgetInterrupt()->clearInterrupt();
    std::thread worker([&] {
        try
        {
            job.cook(time, warnings);
        }
        catch (...)
        {
            failure = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(m);
        done = true;
        cv.notify_all();
    });

    int interrupts = 0;
    py::tuple pending;
    {
        py::gil_scoped_release release;
        std::unique_lock<std::mutex> lock(m);
        while (!cv.wait_for(lock, std::chrono::milliseconds(50), [&] { return done; }))
        {
            lock.unlock();
            {
                py::gil_scoped_acquire acquire;
                if (PyErr_CheckSignals() != 0)
                {
                    py::error_already_set e;
                    UTgetInterrupt()->requestInterrupt();
                    if (!e.matches(PyExc_KeyboardInterrupt) || ++interrupts > 1) pending = py::make_tuple(e.type(), e.value());
                }
            }
            lock.lock();
        }
    }
    worker.join();
    if (pending.size() == 2)
    {
        PyErr_SetObject(pending[size_t(0)].ptr(), pending[size_t(1)].ptr());
        throw py::error_already_set();
    }
    if (failure) std::rethrow_exception(failure);
    return interrupts > 0;
}

// The options the shared checks suggest, as cook()'s arguments.
// The estimate's refusal of a cook the machine cannot finish, worded for Python.
void refuseWhatCannotFinish(const CookEstimate &estimate)
{
    std::string why = refusal(estimate, availableMemoryBytes());
    const std::string hint = "use --force to cook anyway";
    if (size_t at = why.find(hint); at != std::string::npos) why.replace(at, hint.size(), "pass force=True to cook anyway");
    if (!why.empty()) throw Error(why);
}

const DoorWording &pythonWording()
{
    static const DoorWording w{
        [](const std::string &n, const std::string &v) { return "params[\"" + n + "\"] = " + v; },
        [](const std::string &n, const std::string &v) { return "points[\"" + n + "\"] (" + v + " per point)"; },
        [](const std::string &, const std::string &) { return std::string(); }, "no points given (points=...)"};
    return w;
}

// How this door names what pairs triangles and what shows every printed line.
OutputSink outputSink(std::vector<std::string> &folded, std::vector<std::string> &verbatim)
{
    OutputSink sink;
    sink.folded = &folded;
    sink.verbatim = &verbatim;
    sink.everyLineHint = " (cook(..., verbose=True) shows every line)";
    sink.pairingOption = "triangles_to_quads=True";
    return sink;
}

// Lines an operator printed, written to sys.stdout as it would have seen them.
void printToPython(const std::vector<std::string> &lines)
{
    if (lines.empty()) return;
    py::object out = py::module_::import("sys").attr("stdout");
    for (const std::string &line : lines) out.attr("write")(line + "\n");
    out.attr("flush")();
}

// The host's thread count for the life of one cook.
class ThreadCount
{
public:
    explicit ThreadCount(int n) : mySaved(UT_ThreadedAlgorithm::getDefaultThreadCount())
    {
        if (n > 0) UT_ThreadedAlgorithm::setDefaultThreadCount(n);
    }
    ~ThreadCount() { UT_ThreadedAlgorithm::setDefaultThreadCount(mySaved); }

private:
    int mySaved;
};

// The host's interrupt, its thread count and its node table (where an operator
// finds the camera by path) are process-wide: one cook at a time, from making
// its nodes to destroying them.
std::timed_mutex theCookLock;

// The lock, waited for without the GIL, so other threads run and Ctrl-C
// raises KeyboardInterrupt while another thread's cook holds it.
std::unique_lock<std::timed_mutex> lockCooks()
{
    std::unique_lock<std::timed_mutex> lock(theCookLock, std::defer_lock);
    while (true)
    {
        bool locked;
        {
            py::gil_scoped_release release;
            locked = lock.try_lock_for(std::chrono::milliseconds(50));
        }
        if (locked) return lock;
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
}
} // namespace

std::vector<std::string> settingsOf(const py::object &params)
{
    std::vector<std::string> settings;
    if (params.is_none()) return settings;
    if (!py::isinstance<py::dict>(params)) throw ArgumentError("params: expected a dict {name: value}, got " + typeName(params));
    for (auto item : params.cast<py::dict>())
    {
        if (!py::isinstance<py::str>(item.first))
            throw ArgumentError("params: parameter names must be str, got " + typeName(item.first));
        std::string value;
        py::handle v = item.second;
        if (!py::isinstance<py::str>(v) && py::isinstance<py::sequence>(v))
            for (auto c : v.cast<py::sequence>()) value += (value.empty() ? "" : ",") + componentText(c);
        else if (py::hasattr(v, "tolist") && !py::isinstance<py::str>(v))
        {
            py::object list = v.attr("tolist")();
            if (py::isinstance<py::list>(list))
                for (auto c : list.cast<py::list>()) value += (value.empty() ? "" : ",") + componentText(c);
            else
                value = componentText(list);
        }
        else
            value = componentText(v);
        settings.push_back(py::str(item.first).cast<std::string>() + "=" + value);
    }
    return settings;
}

CookResult cook(const PluginRegistry &plugins, const CookRequest &r)
{
    OP_Operator &op = plugins.require(r.op);
    if (r.threads < 0) throw Error("threads=" + std::to_string(r.threads) + ": expected 1 or more");
    // Taken before any node exists and released after the last is destroyed
    // (locals go in reverse order), so no other cook sees this one's camera.
    std::unique_lock<std::timed_mutex> lock = lockCooks();
    CookResult result;
    result.op = op.getName();
    OperatorCook job(op);
    assignParameters(job.node(), op, settingsOf(r.params));
    readInputs(job, r, result.warnings);
    std::unique_ptr<OBJ_Camera> camera = cameraOf(r.camera, result.warnings);
    const GU_Detail *points = r.points.is_none() ? nullptr : &job.input(0);
    const VolumeBox box = plannedBox(job.node(), r.time, points, "points", r.bbox.is_none() ? nullptr : &job.input(1), "bbox");
    checkPlacement(job.node(), r.time, box, camera.get(), result.warnings);
    std::vector<std::string> notes; // what -v adds on the command line; not warnings here either
    checkInputAttributes(job, points, r.time, result.warnings, notes, pythonWording());
    const ScaleCheck scale = checkScale(job.node(), r.time, box, points, result.warnings, pythonWording());
    CookEstimate estimate = estimateCook(op, job.node(), r.time, points, &box);
    if (!estimate.problem.empty()) throw Error(estimate.problem);
    if (!r.force) refuseWhatCannotFinish(estimate);

    ThreadCount threads(r.threads);
    bool stopped = false;
    std::vector<std::string> folded, verbatim;
    // Python's buffered text goes out now, not into the operators' capture.
    py::module_::import("sys").attr("stdout").attr("flush")();
    try
    {
        OperatorOutput output(result.op, r.verbose, "", outputSink(folded, verbatim));
        output.setTrianglesToQuads(r.trianglesToQuads);
        stopped = cookWatchingSignals(job, r.time, result.warnings);
    }
    catch (const Error &e)
    {
        printToPython(verbatim);
        throw CookFailure(e.what());
    }
    printToPython(verbatim);
    result.warnings.insert(result.warnings.end(), folded.begin(), folded.end());
    // The command line refuses these unless --allow-empty; Python has no such option.
    for (const std::string &failure : inputFailures(op, job.node(), estimate)) throw Error(failure);
    auto out = std::make_shared<GU_Detail>();
    out->duplicate(job.output());
    result.detail = out;
    const std::vector<VolumeSummary> volumes = summarizeVolumes(*out);
    if (std::string w = emptyOutputWarning(result.op, volumes, ""); !w.empty()) result.warnings.push_back(w);
    if (!volumes.empty()) checkCoverage(scale, box, result.op, volumes[0].active, "the result", result.warnings);
    if (std::string w = nonFiniteWarning(result.op, volumes, "the result"); !w.empty()) result.warnings.push_back(w);
    // An operator that never stops early has made its whole result.
    result.interrupted = stopped && estimate.stopsEarly;
    if (result.interrupted)
    {
        result.partialMark = "interrupted by KeyboardInterrupt";
        result.warnings.push_back("interrupted: the result of " + result.op + " is partial");
    }
    else if (stopped)
        result.warnings.push_back("interrupted, but " + result.op + " cannot stop early: it ran to the end and the result is complete");
    return result;
}
} // namespace sopcook::python
