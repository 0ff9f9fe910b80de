// SPDX-License-Identifier: Apache-2.0
#include "cli/CookArgs.h"

#include <algorithm>
#include <cstdlib>

#include "Messages.h"

namespace sopcook
{
void addCookArguments(CLI::App &cook, CookArgs &args)
{
    CookOptions &o = args.options;
    auto keep = [&](CLI::Option *opt) {
        args.definitions.push_back(opt);
        return opt;
    };
    auto file = [&](CLI::Option *opt) {
        args.fileOptions.push_back(opt);
        return keep(opt);
    };
    keep(cook.add_option("OPERATOR", o.op, "Operator name (see `sopcook list`)")->required());
    file(cook.add_option("-i,--input", o.input, "Input geometry (.geo/.bgeo[.gz/.sc], .ply, .obj, .stl, .gltf/.glb, .fbx or .x3d, told by content); $F/$F4 expand to the frame"));
    file(cook.add_option("-b,--bbox", o.bbox, "Geometry whose bounding box sets the volume bounds (input 2)"));
    keep(cook.add_option("-s,--set", o.settings, "Set a parameter: NAME=VALUE, components comma-separated (repeatable)")
             ->allow_extra_args(false));
    keep(cook.add_option("-a,--attrib", o.attribs, "Give input points the attribute NAME=VALUE where the file lacks it (repeatable)")
             ->allow_extra_args(false));
    keep(cook.add_option("--attrib-override", o.attribOverrides, "Set the point attribute NAME=VALUE on every point, replacing the file's")
             ->allow_extra_args(false));
    file(cook.add_option("--camera", o.camera, "Camera file (JSON) creating the camera node an operator may look up"));
    keep(cook.add_option("-j,--threads", o.threads, "Threads of the cook: the frame cooks as that many z-slabs at once, joined in memory (0, the default: all hardware threads)"));
    file(cook.add_option("-o,--output", o.output, "Output .vdb file; $F/$F4 expand to the frame (not with --estimate)"));
    file(cook.add_option("--preview", o.preview, "Also write a PNG preview image"));
    keep(cook.add_option("--frames", o.frames, "Cook frames A-B, one after another (time = (frame - 1) / 24)"));
    keep(cook.add_flag("--stats", o.stats, "Print one JSON line of timings, voxel counts and peak memory per cook"));
    keep(cook.add_flag("-v,--verbose", o.verbose, "Progress line even when not on a terminal, notes, every line operators print"));
    file(cook.add_option("--log", o.log, "Write every line the operators print to FILE"));
    keep(cook.add_flag("--force", o.force, "Cook even when the estimate says the machine cannot (memory, work)"));
    keep(cook.add_flag("--keep-going", o.keepGoing, "Cook the other frames of a range after one fails (exit 1, listing them)"));
    keep(cook.add_flag("--estimate", o.estimateOnly, "Print the estimate (memory, time) of each frame and cook nothing"));
    keep(cook.add_flag("--allow-empty", o.allowEmpty, "An image the operator cannot read cooks empty volumes (a warning)"));
    keep(cook.add_flag("--triangles-to-quads", o.trianglesToQuads,
                       "Pair the input's neighbouring triangles into quads (the rest: degenerate quads) for the quad operators"));
    keep(cook.add_option("--slab", o.slab, "Keep only z-slab I (from 0) of N of every volume; join the slabs with `sopcook merge`"));
    keep(cook.add_flag("--skip-existing", o.skipExisting, "Leave frames whose output file is already complete"));
    args.vectorOption = keep(cook.add_option("--vector-grids", args.vectorGrids,
                                             "Also write x/y/z triples (Cd, vel) as vec3 grids; =only drops their float grids")
                                 ->expected(0, 1));
    args.resampleOption = keep(cook.add_option("--resample", args.resample,
                                               "uniform[=VOXELSIZE]: every grid on one linear transform with cubic voxels, for viewers"));
    keep(cook.add_option("--compression", args.compression, "How the VDB stores values: none, zip or blosc")
             ->capture_default_str());
}

std::vector<std::string> cookCommandWords(const CookArgs &args, const std::vector<std::string> &leaveOut,
                                          const std::function<std::string(const std::string &)> &fileWord)
{
    std::vector<std::string> positional, named;
    for (const CLI::Option *opt : args.definitions)
    {
        if (opt->count() == 0) continue;
        const bool isFile = std::find(args.fileOptions.begin(), args.fileOptions.end(), opt) != args.fileOptions.end();
        auto value = [&](const std::string &v) { return isFile && !v.empty() ? fileWord(v) : v; };
        if (opt->get_positional())
        {
            for (const std::string &v : opt->results()) positional.push_back(value(v));
            continue;
        }
        const std::string name = "--" + opt->get_lnames().front();
        if (std::find(leaveOut.begin(), leaveOut.end(), name) != leaveOut.end()) continue;
        // NAME=VALUE in one word: a value that starts with '-' stays a value.
        if (opt->results().empty()) named.push_back(name);
        for (const std::string &v : opt->results())
            named.push_back(opt->get_expected_max() == 0 && v == "true" ? name : name + "=" + value(v));
    }
    positional.insert(positional.end(), named.begin(), named.end());
    return positional;
}

namespace
{
ResampleOptions parseResample(const std::string &text)
{
    ResampleOptions r;
    r.uniform = true;
    if (text == "uniform") return r;
    const std::string prefix = "uniform=";
    char *end = nullptr;
    if (text.compare(0, prefix.size(), prefix) == 0)
    {
        std::string size = text.substr(prefix.size());
        r.voxelSize = std::strtod(size.c_str(), &end);
        if (!size.empty() && *end == '\0' && r.voxelSize > 0 && r.voxelSize < 1e30) return r;
    }
    throw Error("--resample " + text + ": expected uniform or uniform=VOXELSIZE (a length above 0)");
}
} // namespace

void CookArgs::finish()
{
    if (resampleOption && resampleOption->count() > 0) options.resample = parseResample(resample);
    try
    {
        options.compression = parseCompression(compression);
    }
    catch (const Error &e)
    {
        throw Error("--compression: " + std::string(e.what()));
    }
    if (!vectorOption || vectorOption->count() == 0) return;
    if (vectorGrids.empty() || vectorGrids == "also" || vectorGrids == "on")
        options.vectors = VectorGrids::Also;
    else if (vectorGrids == "only")
        options.vectors = VectorGrids::Only;
    else
        throw Error("--vector-grids: expected no value, =also or =only, not '" + vectorGrids + "'");
}
} // namespace sopcook
