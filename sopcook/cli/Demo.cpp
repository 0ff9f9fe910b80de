// SPDX-License-Identifier: Apache-2.0
#include "cli/Demo.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>

#include "cook/CookPipeline.h"
#include "cli/DemoScenes.h"
#include "cook/Interrupts.h"
#include "Messages.h"
#include "OperatorTraits.h"
#include "preview/Preview.h"

namespace sopcook
{
namespace
{
const char *sceneName(Scene s)
{
    switch (s)
    {
    case Scene::Points: return "points";
    case Scene::Quads: return "quads";
    case Scene::Curves: return "curves";
    default: return "gif";
    }
}

void makeDirectory(const std::string &dir)
{
    std::string path;
    size_t start = 0;
    while (start <= dir.size())
    {
        size_t slash = dir.find('/', start);
        if (slash == std::string::npos) slash = dir.size();
        path = dir.substr(0, slash);
        if (!path.empty() && mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
            throw Error("cannot create " + path + ": " + std::strerror(errno));
        start = slash + 1;
    }
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) throw Error("cannot create " + dir + ": not a directory");
}
} // namespace

namespace
{
// The operator's recipe, or the scene its input kind asks for.
DemoRecipe recipeFor(const OP_Operator &op)
{
    auto it = recipes().find(op.getName());
    if (it != recipes().end()) return it->second;
    switch (traits::traitsOf(op).input)
    {
    case traits::InputKind::Quads: return {Scene::Quads, {}};
    case traits::InputKind::Curves: return {Scene::Curves, {}};
    case traits::InputKind::Image:
    case traits::InputKind::None: return {Scene::Gif, {}};
    default: return {Scene::Points, {}};
    }
}

void checkInstalled(const PluginRegistry &plugins)
{
    if (plugins.table().operators().empty())
    {
        std::string where;
        for (const std::string &f : plugins.folders()) where += (where.empty() ? "" : ":") + f;
        throw Error("demo: no operator plug-ins found in " + where + " (build them, or set SOPCOOK_DSO_PATH)");
    }
    for (const std::string &p : plugins.problems()) warn(p);
}

// The GIF the image operators read, written only when one is installed.
void writeGifIfNeeded(const PluginRegistry &plugins, const std::string &gif)
{
    for (auto &op : plugins.table().operators())
        if (recipeFor(*op).scene == Scene::Gif)
        {
            writeDemoGif(gif);
            return;
        }
}

// The recipe's settings (those the operator has) and, for an image
// operator, the demo's GIF.
std::vector<ParmSetting> recipeSettings(const OP_Operator &op, const DemoRecipe &recipe, const std::string &gif)
{
    std::vector<ParmSetting> out;
    auto find = [&](const std::string &name) -> const PRM_Template * {
        for (const PRM_Template *p : valueParameters(op))
            if (name == p->getToken()) return p;
        return nullptr;
    };
    for (auto &s : recipe.settings)
        if (const PRM_Template *p = find(s.first)) out.push_back({p, s.second, {}});
    if (recipe.scene == Scene::Gif)
        if (const PRM_Template *p = find(traits::traitsOf(op).image.fileParm)) out.push_back({p, {}, {gif}});
    return out;
}

std::function<void(GU_Detail &)> sceneBuilder(Scene scene)
{
    switch (scene)
    {
    case Scene::Points: return buildPointCloud;
    case Scene::Quads: return buildQuadGrid;
    case Scene::Curves: return buildCurves;
    default: return nullptr;
    }
}

// The demo's cooks stop on Ctrl-C, which ends the demo.
class DemoWatch : public CookWatch
{
public:
    bool run(const std::function<void()> &cook) override
    {
        SignalGuard signals;
        cook();
        return SignalGuard::interrupted();
    }
};

// Warnings kept for after the operator's row; the rest shown as they come.
class DemoDiagnostics : public StderrDiagnostics
{
public:
    explicit DemoDiagnostics(std::vector<std::string> &warnings) : StderrDiagnostics(false), myWarnings(warnings) {}
    void report(const Diagnostic &d) override
    {
        if (d.kind == DiagnosticKind::Warning) myWarnings.push_back(d.text);
        else StderrDiagnostics::report(d);
    }

private:
    std::vector<std::string> &myWarnings;
};

// One row of the demo's table.
struct DemoRow
{
    std::vector<VolumeSummary> volumes;
    double seconds = 0;
    bool interrupted = false;
};

void printRow(const std::string &op, Scene scene, const DemoRow *row)
{
    if (!row)
    {
        std::printf("%-30s %-7s %8s  %-10s %14s %9s\n", op.c_str(), sceneName(scene), "-", "-", "-", "FAILED");
        std::fflush(stdout);
        return;
    }
    std::string res = "-";
    uint64_t active = 0;
    for (auto &v : row->volumes) active += v.active;
    if (!row->volumes.empty())
        res = std::to_string(row->volumes[0].res[0]) + "x" + std::to_string(row->volumes[0].res[1]) + "x" +
              std::to_string(row->volumes[0].res[2]);
    std::printf("%-30s %-7s %8zu  %-10s %14llu %8.2fs\n", op.c_str(), sceneName(scene), row->volumes.size(), res.c_str(),
                static_cast<unsigned long long>(active), row->seconds);
    std::fflush(stdout);
}

// Cooks op on its scene and writes DIR/OP.vdb and, when it made volumes, DIR/OP.png.
DemoRow cookOne(OP_Operator &op, const DemoRecipe &recipe, const std::string &dir, std::vector<std::string> &warnings)
{
    DemoDiagnostics diagnostics(warnings);
    CookRequest request;
    request.op = &op;
    request.parameters = recipeSettings(op, recipe, dir + "/demo.gif");
    if (op.maxInputs() > 0) request.input.build = sceneBuilder(recipe.scene);
    request.input.label = std::string("the ") + sceneName(recipe.scene) + " scene";
    request.output.path = dir + "/" + op.getName() + ".vdb";
    request.diagnostics = &diagnostics;
    CookPipeline cook(request);
    cook.read();
    cook.checkInput();
    cook.estimate();
    cook.checkEstimate();
    DemoRow row;
    auto start = std::chrono::steady_clock::now();
    DemoWatch watch;
    cook.cook(watch);
    row.interrupted = cook.stopped();
    row.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cook.checkCook();
    cook.write({}, nullptr);
    row.volumes = cook.volumes();
    if (!row.volumes.empty()) cook.writePreview(dir + "/" + op.getName() + ".png");
    cook.checkResult();
    return row;
}

void printMissing(const PluginRegistry &plugins)
{
    std::string list;
    for (auto &r : recipes())
        if (!plugins.find(r.first)) list += (list.empty() ? "" : ", ") + r.first;
    if (!list.empty()) std::printf("not installed: %s\n", list.c_str());
}
} // namespace

int runDemo(const PluginRegistry &plugins, const std::string &dir)
{
    checkInstalled(plugins);
    makeDirectory(dir);
    writeGifIfNeeded(plugins, dir + "/demo.gif");
    std::printf("%-30s %-7s %8s  %-10s %14s %9s\n", "operator", "scene", "volumes", "resolution", "active voxels", "time");
    int failures = 0;
    std::vector<std::string> previews;
    for (auto &op : plugins.table().operators())
    {
        DemoRecipe recipe = recipeFor(*op);
        std::vector<std::string> warnings;
        try
        {
            DemoRow row = cookOne(*op, recipe, dir, warnings);
            if (!row.volumes.empty()) previews.push_back(dir + "/" + op->getName() + ".png");
            for (const std::string &w : warnings) warn(w);
            printRow(op->getName(), recipe.scene, &row);
            if (row.interrupted)
            {
                warn("interrupted: the demo stops here");
                return 130;
            }
        }
        catch (const Error &e)
        {
            for (const std::string &w : warnings) warn(w);
            printRow(op->getName(), recipe.scene, nullptr);
            warn(e.what());
            ++failures;
        }
    }
    printMissing(plugins);
    writeContactSheet(previews, dir + "/demo.png");
    std::printf("wrote %s/OPERATOR.vdb and .png, and all previews in %s/demo.png\n", dir.c_str(), dir.c_str());
    if (failures) throw Error(std::to_string(failures) + " operator(s) failed to cook");
    return 0;
}
} // namespace sopcook
