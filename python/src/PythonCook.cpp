// SPDX-License-Identifier: Apache-2.0
#include "PythonCook.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "Arguments.h"
#include "NumpyInput.h"
#include "Messages.h"
#include "cook/CookPipeline.h"
#include "UT/UT_Interrupt.h"

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

// A parameter's value as text components, as the command line takes them.
std::string valueText(const py::handle &v)
{
    std::string value;
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
    return value;
}

// {name: value}, parsed against the operator's parameters; a message shows
// the value as Python writes it.
std::vector<ParmSetting> parametersOf(const OP_Operator &op, const py::object &params)
{
    if (params.is_none()) return {};
    if (!py::isinstance<py::dict>(params)) throw ArgumentError("params: expected a dict {name: value}, got " + typeName(params));
    std::vector<ParmText> given;
    for (auto item : params.cast<py::dict>())
    {
        if (!py::isinstance<py::str>(item.first))
            throw ArgumentError("params: parameter names must be str, got " + typeName(item.first));
        given.push_back({item.first.cast<std::string>(), valueText(item.second), py::repr(item.second).cast<std::string>()});
    }
    return parseParameters(op, given, pythonWording());
}

// Refuses what the operator cannot take, before anything is read.
void checkCall(const OP_Operator &op, const CookCall &c)
{
    bool geometry = !c.points.is_none() || !c.primitives.is_none();
    if (op.maxInputs() == 0 && (geometry || !c.bbox.is_none()))
        throw Error(op.getName() + " takes no geometry input; pass no points, primitives or bbox");
    if (op.maxInputs() < 2 && !c.bbox.is_none()) throw Error(op.getName() + " has no bounding-box input; pass no bbox");
    if (!c.primitives.is_none() && c.points.is_none()) throw Error("primitives need points (their 'P' positions)");
    if (!c.primitives.is_none() && !py::isinstance<py::dict>(c.primitives) && !isPath(c.points))
        throw ArgumentError("primitives: expected a dict with 'offsets', 'indices' and 'closed', got " + typeName(c.primitives));
    if (isPath(c.points) && !c.primitives.is_none())
        throw Error("primitives: not allowed with a geometry file (the file holds them)");
    if (!c.points.is_none() && !isPath(c.points) && !py::isinstance<py::dict>(c.points))
        throw ArgumentError("points: expected a dict of numpy arrays or a geometry file path, got " + typeName(c.points));
}

// Points: a file, or a dict of arrays (with primitives) made in memory.
CookInput pointsInput(const CookCall &c)
{
    CookInput in;
    if (c.points.is_none()) return in;
    if (isPath(c.points))
    {
        in.path = pathArgument(c.points, "points");
        return in;
    }
    in.label = "points";
    in.build = [points = c.points, primitives = c.primitives](GU_Detail &gdp) {
        addPoints(gdp, points.cast<py::dict>(), "points");
        if (!primitives.is_none()) addPrimitives(gdp, primitives.cast<py::dict>());
    };
    return in;
}

// The bounding box: a file, a dict of arrays or positions alone.
CookInput bboxInput(const py::object &bbox)
{
    CookInput in;
    if (bbox.is_none()) return in;
    if (isPath(bbox))
    {
        in.path = pathArgument(bbox, "bbox");
        return in;
    }
    in.label = "bbox";
    in.build = [bbox](GU_Detail &gdp) {
        if (py::isinstance<py::dict>(bbox)) addPoints(gdp, bbox.cast<py::dict>(), "bbox");
        else addPoints(gdp, py::dict(py::arg("P") = bbox), "bbox");
    };
    return in;
}

// A camera file path, or a dict with the camera file's keys.
CameraInput cameraInput(const py::object &camera)
{
    CameraInput in;
    if (camera.is_none()) return in;
    if (isPath(camera))
    {
        in.path = pathArgument(camera, "camera");
        return in;
    }
    if (!py::isinstance<py::dict>(camera))
        throw ArgumentError("camera: expected a dict (as a camera file holds) or a camera file path, got " + typeName(camera));
    // Checked value by value first: JSON has no NaN, and a message names the key.
    in.json = jsonOf(camera, "camera").dump();
    in.label = "camera";
    return in;
}

// Warnings and the operators' folded lines become the result's warnings;
// the lines a verbose cook printed are kept for sys.stdout; notes (what -v
// adds on the command line) are not warnings here.
class PythonDiagnostics : public Diagnostics
{
public:
    void report(const Diagnostic &d) override
    {
        std::lock_guard<std::mutex> lock(myMutex);
        if (d.kind == DiagnosticKind::Printed) myPrinted.push_back(d.text);
        else if (d.kind != DiagnosticKind::Note) warnings.push_back(d.text);
    }

    // Raises the warnings not raised yet (the GIL held).
    void raiseNew()
    {
        for (; raised < warnings.size(); ++raised) warnUser(warnings[raised]);
    }

    // Lines an operator printed, written to sys.stdout as it would have seen them.
    void printToPython()
    {
        if (myPrinted.empty()) return;
        py::object out = py::module_::import("sys").attr("stdout");
        for (const std::string &line : myPrinted) out.attr("write")(line + "\n");
        out.attr("flush")();
        myPrinted.clear();
    }

    std::vector<std::string> warnings;
    size_t raised = 0;

private:
    std::mutex myMutex;
    std::vector<std::string> myPrinted;
};

// Cooks on a worker thread; this thread drops the GIL and checks Python's
// signals a few times a second. The first KeyboardInterrupt raises the host's
// interrupt (the operator stops where it can, the result is partial); a
// second, or any other exception from a signal handler, is raised again once
// the cook has stopped.
class PythonWatch : public CookWatch
{
public:
    bool run(const std::function<void()> &cook) override;
};

bool PythonWatch::run(const std::function<void()> &cook)
{
    // Python's buffered text goes out now, not into the operators' capture.
    py::module_::import("sys").attr("stdout").attr("flush")();
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::exception_ptr failure;
    UTgetInterrupt()->clearInterrupt();
    std::thread worker([&] {
        try
        {
            cook();
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

void warnUser(const std::string &message)
{
    if (PyErr_WarnEx(PyExc_UserWarning, message.c_str(), 1) < 0) throw py::error_already_set();
}

const DoorWording &pythonWording()
{
    static const DoorWording w{
        [](const std::string &n, const std::string &v) { return "params[\"" + n + "\"] = " + v; },
        [](const std::string &n, const std::string &v) { return "points[\"" + n + "\"] (" + v + " per point)"; },
        [](const std::string &, const std::string &) { return std::string(); },
        "no points given (points=...)",
        "pass force=True to cook anyway",
        "KeyboardInterrupt stops it and keeps a partial result",
        " cannot stop early: it runs to the end, KeyboardInterrupt or not",
        " (cook(..., verbose=True) shows every line)",
        "triangles_to_quads=True",
        "cooking empty volumes is not offered here"};
    return w;
}

CookResult cook(const PluginRegistry &plugins, const CookCall &c)
{
    OP_Operator &op = plugins.require(c.op);
    if (c.threads < 0) throw Error("threads=" + std::to_string(c.threads) + ": expected 1 or more");
    PythonDiagnostics diagnostics;
    CookRequest r;
    r.op = &op;
    r.parameters = parametersOf(op, c.params);
    checkCall(op, c);
    r.input = pointsInput(c);
    r.bbox = bboxInput(c.bbox);
    r.camera = cameraInput(c.camera);
    r.time = c.time;
    r.threads = c.threads;
    r.force = c.force;
    r.verbose = c.verbose;
    r.trianglesToQuads = c.trianglesToQuads;
    r.wording = &pythonWording();
    r.diagnostics = &diagnostics;
    reportParameterAdjustments(r.parameters, diagnostics, pythonWording());

    // Taken before any node exists and released after the last is destroyed
    // (locals go in reverse order), so no other cook sees this one's camera.
    std::unique_lock<std::timed_mutex> lock = lockCooks();
    CookResult result;
    result.op = op.getName();
    CookPipeline pipeline(r);
    pipeline.read();
    pipeline.checkInput();
    pipeline.estimate();
    pipeline.checkEstimate();
    // What the cook is warned of is said before it starts.
    diagnostics.raiseNew();
    PythonWatch watch;
    try
    {
        pipeline.cook(watch);
    }
    catch (const Error &e)
    {
        diagnostics.printToPython();
        throw CookFailure(e.what());
    }
    diagnostics.printToPython();
    pipeline.checkCook();
    result.detail = pipeline.convert();
    pipeline.checkResult();
    if (pipeline.interrupted())
    {
        result.interrupted = true;
        result.partialMark = "interrupted by KeyboardInterrupt";
        diagnostics.warning("interrupted: the result of " + result.op + " is partial");
    }
    else if (pipeline.stopped())
        diagnostics.warning("interrupted, but " + result.op + " cannot stop early: it ran to the end and the result is complete");
    result.warnings = diagnostics.warnings;
    result.raised = diagnostics.raised;
    return result;
}
} // namespace sopcook::python
