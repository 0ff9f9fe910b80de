// SPDX-License-Identifier: Apache-2.0
// The `sopcook` Python module: the operators sopcook cooks, from numpy arrays.
//
//   import sopcook, numpy as np
//   vols = sopcook.cook("billowfold", points={"P": np.zeros((1, 3), np.float32)})
//   vols[0].array()            # (nx, ny, nz) float32
//   vols.write_vdb("out.vdb")  # as `sopcook cook -o out.vdb`
#include <dlfcn.h>

#include <memory>
#include <mutex>

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "Arguments.h"
#include "Messages.h"
#include "PythonCook.h"
#include "VolumeView.h"
#include "cook/CookEstimate.h"
#include "cook/OperatorCook.h"
#include "cook/ParmAssign.h"
#include "cook/Preflight.h"
#include "vdb/VdbWriter.h"
#include "vdb/VolumeGrids.h"
#include "OperatorTraits.h"
#include "UT/UT_DSO.h"

namespace py = pybind11;
using namespace sopcook;
using namespace sopcook::python;

namespace
{
// sopcook.ArgumentError, made when the module is.
PyObject *theArgumentError = nullptr;

// Plug-ins resolve the host's symbols globally, as they would against an
// executable; Python loaded libhost.so (with this module) privately.
void shareHostSymbols()
{
    Dl_info info;
    if (dladdr(reinterpret_cast<void *>(&UT_DSO::findPlugins), &info) && info.dli_fname)
        dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_GLOBAL);
}

// Loaded on first use: SOPCOOK_DSO_PATH, or the folder of libhost.so.
const PluginRegistry &plugins()
{
    static std::unique_ptr<PluginRegistry> registry;
    if (!registry)
    {
        shareHostSymbols();
        registry = std::make_unique<PluginRegistry>(PluginRegistry::searchPath(PluginRegistry::hostLibraryFolder()));
        initializeVdb();
        for (const std::string &p : registry->problems()) warnUser(p);
        if (registry->names().empty())
        {
            std::string where;
            for (const std::string &f : registry->folders()) where += (where.empty() ? "" : ":") + f;
            std::string message = "no operator plug-ins found in " + where + " (set SOPCOOK_DSO_PATH to the folder that holds them)";
            warnUser(message);
        }
    }
    return *registry;
}

py::object defaultValue(const PRM_Template &p)
{
    int n = p.getVectorSize() > 0 ? p.getVectorSize() : 1;
    py::list values;
    for (int i = 0; i < n; ++i)
    {
        if (p.isStringType())
            values.append(py::str(p.getDefaultString(i) ? p.getDefaultString(i) : ""));
        else if (p.getType() == PRM_TOGGLE)
            values.append(py::bool_(p.getDefaultFloat(i) != 0));
        else if (p.getType() == PRM_INT)
            values.append(py::int_(int64_t(p.getDefaultFloat(i))));
        else
            values.append(py::float_(p.getDefaultFloat(i)));
    }
    return n == 1 ? py::object(values[0]) : py::object(py::tuple(values));
}

py::list parameters(const std::string &name)
{
    OP_Operator &op = plugins().require(name);
    py::list out;
    for (const PRM_Template *p : valueParameters(op))
    {
        py::dict d;
        d["name"] = p->getToken();
        d["label"] = p->getLabel() ? p->getLabel() : "";
        d["type"] = p->getTypeName();
        d["size"] = p->getVectorSize() > 0 ? p->getVectorSize() : 1;
        d["default"] = defaultValue(*p);
        d["default_text"] = defaultText(*p);
        out.append(d);
    }
    return out;
}

py::dict describe(const std::string &name)
{
    OP_Operator &op = plugins().require(name);
    py::list inputs;
    for (unsigned i = 0; i < op.maxInputs(); ++i) inputs.append(op.getInputLabel(i));
    py::dict d;
    d["name"] = op.getName();
    d["label"] = op.getEnglish();
    d["inputs"] = inputs;
    // What the first input holds for it: "points", "quads", "curves",
    // "image" (a file parameter, no geometry) or "none".
    const traits::OperatorTraits t = traits::traitsOf(op);
    d["input"] = traits::inputKindName(t.input);
    d["image_parm"] = t.image.fileParm;
    return d;
}

VectorGrids vectorGrids(const py::object &v)
{
    if (py::isinstance<py::str>(v))
    {
        std::string s = v.cast<std::string>();
        if (s == "also") return VectorGrids::Also;
        if (s == "only") return VectorGrids::Only;
        if (s == "none") return VectorGrids::None;
        throw Error("vector_grids='" + s + "': expected False, True ('also') or 'only'");
    }
    if (!isBool(v)) throw ArgumentError("vector_grids: expected True, False, 'also' or 'only', got " + typeName(v));
    return boolArgument(v, "vector_grids") ? VectorGrids::Also : VectorGrids::None;
}

// The cooked volumes: a sequence of Volume with the cook's warnings and
// whether it was interrupted.
struct Result
{
    CookResult cook;
    std::vector<VolumeView> volumes;
};

// Writing goes through OUT.partial-PID and one remove-on-abort path, both per
// process: one write at a time.
std::mutex theWriteLock;

// Writes as `sopcook cook -o path` does, an interrupted cook's grids marked
// partial (sopcook_partial) so that `info`, `--skip-existing` and `merge` see it.
void writeVdb(const GU_Detail &gdp, const py::object &pathArg, const py::object &vectors, const py::object &uniformArg,
              const std::string &partialMark)
{
    std::string path = pathArgument(pathArg, "path");
    if (!hasVdbExtension(path)) throw Error("write_vdb: " + path + ": the output is an OpenVDB file; name it NAME.vdb");
    VectorGrids v = vectorGrids(vectors);
    bool uniform = boolArgument(uniformArg, "uniform");
    FileMetadata metadata;
    if (!partialMark.empty()) metadata[partialKey] = partialMark;
    std::vector<std::string> warnings;
    {
        py::gil_scoped_release release;
        std::lock_guard<std::mutex> lock(theWriteLock);
        removeStalePartials(path, warnings);
        checkWritable(path);
        // uniform: every grid on one linear transform with cubic voxels, as
        // `sopcook cook --resample uniform` writes them.
        ResampleOptions resample;
        resample.uniform = uniform;
        resample.memoryBytes = availableMemoryBytes(); // refused, with a size that fits, beyond it
        resample.wording = {"write_vdb(uniform=True)", "write_vdb(uniform=True)", "",
                            "write the grids as they are (uniform=False), or cook fewer divs"};
        writeVolumesVdb(gdp, path, v, warnings, metadata, resample);
    }
    for (const std::string &w : warnings) warnUser(w);
}

// One volume on its own, as a detail holding only it (voxels shared).
std::shared_ptr<GU_Detail> alone(const VolumeView &v)
{
    auto gdp = std::make_shared<GU_Detail>();
    gdp->copyFrom(*v.detail);
    std::vector<GA_Primitive *> others;
    for (GA_Offset p = 0; p < gdp->getNumPrimitives(); ++p)
        if (p != v.prim) others.push_back(gdp->getPrimitive(p));
    for (GA_Primitive *p : others) gdp->destroyPrimitive(*p);
    return gdp;
}

// Each argument checked for its type here, so a wrong one is named.
Result cookFromPython(const py::object &op, py::object points, py::object primitives, py::object bbox, py::object params,
                      py::object camera, const py::object &threads, const py::object &time, const py::object &force,
                      const py::object &verbose, const py::object &trianglesToQuads)
{
    CookCall r{stringArgument(op, "op"),
                  points,
                  primitives,
                  bbox,
                  params,
                  camera,
                  threads.is_none() ? 0 : intArgument(threads, "threads"),
                  numberArgument(time, "time"),
                  boolArgument(force, "force"),
                  boolArgument(verbose, "verbose"),
                  boolArgument(trianglesToQuads, "triangles_to_quads")};
    Result result;
    result.cook = cook(plugins(), r);
    result.volumes = volumesOf(result.cook.detail, result.cook.partialMark);
    const std::vector<std::string> &said = result.cook.warnings;
    for (size_t i = result.cook.raised; i < said.size(); ++i) warnUser(said[i]);
    return result;
}

void bindVolume(py::module_ &m)
{
    py::class_<VolumeView>(m, "Volume")
        .def_readonly("name", &VolumeView::name)
        .def_readonly("active", &VolumeView::active, "Voxels holding a non-zero value.")
        .def_property_readonly("resolution", [](const VolumeView &v) { auto r = v.resolution(); return py::make_tuple(r[0], r[1], r[2]); })
        .def_property_readonly("transform", &VolumeView::transform,
                               "4x4 index-to-world matrix (column vectors, voxel centres); untapered for a frustum.")
        .def_property_readonly("frustum", &VolumeView::frustum)
        .def_property_readonly("taper", [](const VolumeView &v) { auto t = v.taper(); return py::make_tuple(t[0], t[1]); })
        .def(
            "index_to_world",
            [](const VolumeView &v, int i, int j, int k) {
                auto p = v.indexToWorld(i, j, k);
                return py::make_tuple(p[0], p[1], p[2]);
            },
            py::arg("i"), py::arg("j"), py::arg("k"), "World position of voxel (i, j, k)'s centre, taper included.")
        .def("array", &VolumeView::array, "The voxels, (nx, ny, nz) float32.")
        .def(
            "write_vdb",
            [](const VolumeView &v, const py::object &path, const py::object &vectors, const py::object &uniform) {
                writeVdb(*alone(v), path, vectors, uniform, v.partialMark);
            },
            py::arg("path"), py::arg("vector_grids") = false, py::arg("uniform") = false)
        .def("__repr__", [](const VolumeView &v) {
            auto r = v.resolution();
            return "<sopcook.Volume '" + v.name + "' " + std::to_string(r[0]) + "x" + std::to_string(r[1]) + "x" +
                   std::to_string(r[2]) + (v.frustum() ? " frustum" : "") + ">";
        });
}

void bindResult(py::module_ &m)
{
    py::class_<Result>(m, "CookResult")
        .def("__len__", [](const Result &r) { return r.volumes.size(); })
        .def("__getitem__",
             [](const Result &r, py::ssize_t i) {
                 py::ssize_t n = py::ssize_t(r.volumes.size());
                 if (i < 0) i += n;
                 if (i < 0 || i >= n) throw py::index_error("volume index out of range");
                 return r.volumes[size_t(i)];
             })
        .def("__iter__", [](const Result &r) { return py::make_iterator(r.volumes.begin(), r.volumes.end()); },
             py::keep_alive<0, 1>())
        .def_property_readonly("operator", [](const Result &r) { return r.cook.op; })
        .def_property_readonly("interrupted", [](const Result &r) { return r.cook.interrupted; },
                               "True when KeyboardInterrupt stopped the cook: the volumes are partial.")
        .def_property_readonly("warnings", [](const Result &r) { return r.cook.warnings; })
        .def(
            "write_vdb",
            [](const Result &r, const py::object &path, const py::object &vectors, const py::object &uniform) {
                writeVdb(*r.cook.detail, path, vectors, uniform, r.cook.partialMark);
            },
            py::arg("path"), py::arg("vector_grids") = false, py::arg("uniform") = false,
            "Writes every volume as `sopcook cook` does; vector_grids=True adds a vec3 grid per x/y/z triple, "
            "'only' keeps just those; uniform=True resamples every grid onto one linear grid of cubic voxels (as --resample uniform).")
        .def("__repr__", [](const Result &r) {
            return "<sopcook.CookResult " + r.cook.op + ": " + std::to_string(r.volumes.size()) + " volumes" +
                   (r.cook.interrupted ? ", interrupted" : "") + ">";
        });
}
} // namespace

PYBIND11_MODULE(sopcook, m)
{
    m.doc() = "The volume operators of sopcook, cooked from numpy arrays or geometry files.";
    // An argument of the wrong type: a TypeError, and a ValueError like every
    // other refusal of bad input.
    py::object builtins = py::module_::import("builtins");
    py::object argumentError = builtins.attr("type")(
        "ArgumentError", py::make_tuple(builtins.attr("TypeError"), builtins.attr("ValueError")),
        py::dict(py::arg("__module__") = "sopcook",
                 py::arg("__doc__") = "An argument of the wrong type (also a TypeError and a ValueError)."));
    m.attr("ArgumentError") = argumentError;
    theArgumentError = argumentError.release().ptr(); // held for the life of the process
    py::register_exception_translator([](std::exception_ptr p) {
        try
        {
            if (p) std::rethrow_exception(p);
        }
        catch (const ArgumentError &e)
        {
            PyErr_SetString(theArgumentError, e.what());
        }
        catch (const CookFailure &e)
        {
            PyErr_SetString(PyExc_RuntimeError, e.what());
        }
        catch (const Error &e)
        {
            PyErr_SetString(PyExc_ValueError, e.what());
        }
    });

    m.def("operators", [] { return plugins().names(); }, "The operators found (SOPCOOK_DSO_PATH, or beside libhost.so).");
    m.def("plugin_problems", [] { return plugins().problems(); }, "Plug-ins that were found but failed to load.");
    m.def("parameters", &parameters, py::arg("op"),
          "The operator's parameters as `sopcook params` lists them: dicts with name, label, type, size, default.");
    m.def("describe", &describe, py::arg("op"), "The operator's name, label, input labels, input kind and image-file parameter.");

    bindVolume(m);
    bindResult(m);

    m.def("cook", &cookFromPython, py::arg("op"), py::arg("points") = py::none(), py::arg("primitives") = py::none(),
          py::arg("bbox") = py::none(), py::arg("params") = py::none(), py::arg("camera") = py::none(),
          py::arg("threads") = py::none(), py::arg("time") = 0.0, py::arg("force") = false,
          py::arg("verbose") = false, py::arg("triangles_to_quads") = false,
          "Cooks op and returns its volumes in primitive order. points: a dict of numpy arrays ('P' (N, 3) and any "
          "point attributes) or a geometry file path; primitives: {'offsets', 'indices', 'closed'}; bbox: positions, "
          "a dict or a file; params: {name: value}; camera: a dict as a camera file holds, or its path. Releases the "
          "GIL; KeyboardInterrupt stops the cook and returns a partial result (.interrupted). What the operators print is "
          "folded into .warnings (verbose=True prints every line to sys.stdout instead); triangles_to_quads=True pairs "
          "a triangle mesh's triangles into quads for the quad operators.");
}
