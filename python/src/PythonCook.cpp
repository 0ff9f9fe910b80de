// SPDX-License-Identifier: Apache-2.0
#include "PythonCook.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "NumpyInput.h"
#include "Messages.h"
#include "io/CameraFile.h"
#include "cook/CookEstimate.h"
#include "cook/OperatorCook.h"
#include "cook/ParmAssign.h"
#include "io/GeometryFile.h"
#include "UT/UT_Interrupt.h"
#include "UT/UT_ThreadedAlgorithm.h"

namespace py = pybind11;

namespace sopcook::python
{
namespace
{
bool isPath(const py::object &o)
{
    return py::isinstance<py::str>(o) || py::hasattr(o, "__fspath__");
}

std::string pathOf(const py::object &o) { return py::str(py::module_::import("os").attr("fspath")(o)).cast<std::string>(); }

std::string componentText(const py::handle &v)
{
    if (py::isinstance<py::bool_>(v)) return v.cast<bool>() ? "on" : "off";
    return py::str(v).cast<std::string>();
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
    if (isPath(r.points))
    {
        if (!r.primitives.is_none()) throw Error("primitives: not allowed with a geometry file (the file holds them)");
        readGeometryFile(pathOf(r.points), job.input(0), warnings);
    }
    else if (!r.points.is_none())
    {
        if (!py::isinstance<py::dict>(r.points)) throw Error("points: expected a dict of numpy arrays or a geometry file path");
        addPoints(job.input(0), r.points.cast<py::dict>(), "points");
        if (!r.primitives.is_none())
        {
            if (!py::isinstance<py::dict>(r.primitives))
                throw Error("primitives: expected a dict with 'offsets', 'indices' and 'closed'");
            addPrimitives(job.input(0), r.primitives.cast<py::dict>());
        }
    }
    if (isPath(r.bbox))
        readGeometryFile(pathOf(r.bbox), job.input(1), warnings);
    else if (py::isinstance<py::dict>(r.bbox))
        addPoints(job.input(1), r.bbox.cast<py::dict>(), "bbox");
    else if (!r.bbox.is_none())
        addPoints(job.input(1), py::dict(py::arg("P") = r.bbox), "bbox");
}

// A camera file path, or a dict with the camera file's keys.
std::unique_ptr<OBJ_Camera> cameraOf(const py::object &camera, std::vector<std::string> &warnings)
{
    if (camera.is_none()) return nullptr;
    if (isPath(camera))
    {
        std::string path = pathOf(camera);
        return makeCamera(parseCameraJson(readFileBytes(path, "camera"), path, warnings));
    }
    if (!py::isinstance<py::dict>(camera)) throw Error("camera: expected a dict (as a camera file holds) or a camera file path");
    py::object tolist = py::module_::import("numpy").attr("asarray");
    py::dict plain;
    for (auto item : camera.cast<py::dict>())
        plain[item.first] = py::isinstance<py::str>(item.second) ? py::reinterpret_borrow<py::object>(item.second)
                                                                  : tolist(item.second).attr("tolist")();
    std::string text = py::module_::import("json").attr("dumps")(plain).cast<std::string>();
    return makeCamera(parseCameraJson(text, "camera", warnings));
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

// The host's interrupt and thread count are process-wide: one cook at a time.
std::mutex theCookLock;
} // namespace

std::vector<std::string> settingsOf(const py::object &params)
{
    std::vector<std::string> settings;
    if (params.is_none()) return settings;
    if (!py::isinstance<py::dict>(params)) throw Error("params: expected a dict {name: value}");
    for (auto item : params.cast<py::dict>())
    {
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
    CookResult result;
    result.op = op.getName();
    OperatorCook job(op);
    assignParameters(job.node(), op, settingsOf(r.params));
    readInputs(job, r, result.warnings);
    std::unique_ptr<OBJ_Camera> camera = cameraOf(r.camera, result.warnings);
    if (!r.force)
    {
        CookEstimate estimate = estimateCook(op, job.node(), r.time, r.points.is_none() ? nullptr : &job.input(0));
        std::string why = refusal(estimate, availableMemoryBytes());
        const std::string hint = "use --force to cook anyway";
        if (size_t at = why.find(hint); at != std::string::npos) why.replace(at, hint.size(), "pass force=True to cook anyway");
        if (!why.empty()) throw Error(why);
    }

    std::unique_lock<std::mutex> lock(theCookLock, std::defer_lock);
    {
        py::gil_scoped_release release;
        lock.lock();
    }
    ThreadCount threads(r.threads);
    try
    {
        result.interrupted = cookWatchingSignals(job, r.time, result.warnings);
    }
    catch (const Error &e)
    {
        throw CookFailure(e.what());
    }
    auto out = std::make_shared<GU_Detail>();
    out->duplicate(job.output());
    result.detail = out;
    if (result.interrupted) result.warnings.push_back("interrupted: the result of " + result.op + " is partial");
    return result;
}
} // namespace sopcook::python
