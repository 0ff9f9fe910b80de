// SPDX-License-Identifier: Apache-2.0
#include "cook/CookPipeline.h"

#include "Messages.h"
#include "cook/OperatorOutput.h"
#include "cook/Preflight.h"
#include "cook/ResultChecks.h"
#include "cook/SlabCook.h"
#include "cook/SlabPart.h"
#include "cook/TrianglesToQuads.h"
#include "io/CameraFile.h"
#include "io/GeometryFile.h"
#include "preview/Preview.h"

namespace sopcook
{
namespace
{
Diagnostics &required(Diagnostics *d)
{
    if (!d) throw Error("a cook request needs diagnostics");
    return *d;
}

std::string resolution(const int res[3])
{
    return std::to_string(res[0]) + "x" + std::to_string(res[1]) + "x" + std::to_string(res[2]);
}
} // namespace

CookPipeline::CookPipeline(const CookRequest &request)
    : myRequest(request), myDiagnostics(required(request.diagnostics)), myWording(*request.wording),
      myThreads(request.threads), myJob(*request.op)
{
    if (request.slab.active()) myJob.setSlab({request.slab.index, request.slab.count});
}

CookPipeline::~CookPipeline() = default;

std::string CookPipeline::label() const { return myRequest.label.empty() ? myRequest.op->getName() : myRequest.label; }

void CookPipeline::report(std::vector<std::string> &warnings)
{
    for (const std::string &w : warnings) myDiagnostics.warning(w);
    warnings.clear();
}

void CookPipeline::read()
{
    const CookRequest &r = myRequest;
    std::vector<std::string> warnings;
    if (!r.output.path.empty())
    {
        removeStalePartials(r.output.path, warnings);
        checkWritable(r.output.path);
    }
    applyParameters(myJob.node(), r.parameters);
    if (r.input.given())
    {
        readInput(r.input, 0, !r.bbox.given(), warnings);
        if (r.trianglesToQuads)
        {
            GU_Detail quads;
            const TrianglesToQuadsResult pairs = trianglesToQuads(myJob.input(0), quads);
            myJob.input(0).copyFrom(quads);
            myDiagnostics.note(myWording.pairing + ": " + std::to_string(pairs.pairs) + " quads of two triangles, " +
                               std::to_string(pairs.degenerate) + " triangles as degenerate quads");
        }
    }
    if (r.bbox.given()) readInput(r.bbox, 1, true, warnings);
    if (r.camera.given())
    {
        const bool inFile = !r.camera.path.empty();
        const std::string text = inFile ? readFileBytes(r.camera.path, "camera") : r.camera.json;
        myCamera = makeCamera(parseCameraJson(text, inFile ? r.camera.path : r.camera.label, warnings));
    }
    myBox = plannedBox(myJob.node(), r.time, input0(), r.input.name(), r.bbox.given() ? &myJob.input(1) : nullptr,
                       r.bbox.name());
    checkPlacement(myJob.node(), r.time, myBox, myCamera.get(), warnings);
    report(warnings);
}

// Geometry (with its non-finite points named); points too far apart for a
// bounding box are refused where they set the volume's box.
void CookPipeline::readInput(const CookInput &input, unsigned index, bool setsBox, std::vector<std::string> &warnings)
{
    GU_Detail &gdp = myJob.input(index);
    if (input.build) input.build(gdp);
    else readGeometryFile(input.path, gdp, warnings);
    checkPositions(gdp, input.name(), warnings);
    if (setsBox && myJob.node().hasParm("divs")) checkBoundingBox(gdp, input.name());
}

void CookPipeline::checkInput()
{
    const CookRequest &r = myRequest;
    std::vector<std::string> warnings, notes;
    GU_Detail *input = input0();
    if (input) applyAttributeDefaults(*input, r.attributes, warnings, notes);
    checkInputAttributes(myJob, input, r.time, warnings, notes, myWording);
    // Each line once per command, however many frames repeat it.
    for (const std::string &w : warnings) myDiagnostics.warning(w, true);
    for (const std::string &n : notes) myDiagnostics.note(n, true);
    warnings.clear();
    myScale = checkScale(myJob.node(), r.time, myBox, input, warnings, myWording);
    report(warnings);
}

const CookEstimate &CookPipeline::estimate()
{
    myEstimate = estimateCook(*myRequest.op, myJob.node(), myRequest.time, input0(), &myBox);
    if (myRequest.slab.active()) myEstimate = slabEstimate(myEstimate, myRequest.slab.count);
    return myEstimate;
}

void CookPipeline::checkEstimate()
{
    if (!myEstimate.problem.empty())
    {
        if (!myRequest.allowEmpty) throw Error(myEstimate.problem);
        myDiagnostics.warning(myEstimate.problem + "; cooking empty volumes (" + myWording.allowEmpty + ")");
    }
    if (myRequest.force) return;
    std::string why = refusal(myEstimate, availableMemoryBytes(), myWording);
    if (!why.empty()) throw Error(why);
    if (std::string longCook = longCookWarning(myEstimate, myWording); !longCook.empty()) myDiagnostics.warning(longCook);
}

void CookPipeline::cook(CookWatch &watch)
{
    std::vector<std::string> warnings;
    {
        OutputSink sink;
        sink.diagnostics = &myDiagnostics;
        sink.everyLineHint = myWording.everyLine;
        sink.pairingOption = myWording.pairing;
        // On several threads the frame cooks as as many slabs at once.
        const SlabPlan plan = planSlabs(UT_ThreadedAlgorithm::getDefaultThreadCount(), myEstimate.zTiles);
        OperatorOutput output(label(), myRequest.verbose, myRequest.log, sink);
        output.setTrianglesToQuads(myRequest.trianglesToQuads);
        output.setCopies(plan.slabs);
        watch.slabs = plan.slabs;
        myStopped = watch.run([&] { cookInSlabs(myJob, myRequest.time, plan, warnings); });
    }
    myNodeWarnings = std::move(warnings);
}

void CookPipeline::checkCook()
{
    for (const std::string &failure : inputFailures(*myRequest.op, myJob.node(), myEstimate))
    {
        if (!myRequest.allowEmpty) throw Error(failure);
        myNodeWarnings.push_back(failure + "; written empty (" + myWording.allowEmpty + ")");
    }
    report(myNodeWarnings);
}

std::shared_ptr<const GU_Detail> CookPipeline::convert()
{
    auto out = std::make_shared<GU_Detail>();
    out->duplicate(myJob.output());
    myVolumes = summarizeVolumes(*out);
    return out;
}

void CookPipeline::write(const FileMetadata &metadata, ResampleMonitor *monitor)
{
    const CookOutput &o = myRequest.output;
    ResampleOptions resample = o.resample;
    resample.monitor = monitor;
    // Refused when its grids would not fit, unless forced.
    if (!myRequest.force) resample.memoryBytes = availableMemoryBytes();
    std::vector<std::string> warnings;
    myVolumes = writeVolumesVdb(myJob.output(), o.path, o.vectors, warnings, metadata, resample, o.compression);
    if (!o.preview.empty()) writePreview(o.preview);
    report(warnings);
}

void CookPipeline::writePreview(const std::string &path)
{
    std::string caption = myRequest.op->getName();
    if (!myVolumes.empty()) caption += " " + resolution(myVolumes[0].res);
    sopcook::writePreview(myJob.output(), path, caption);
}

void CookPipeline::checkResult()
{
    const std::string op = myRequest.op->getName(), &out = myRequest.output.path;
    // Volumes in memory are "the result" where a file would be named.
    const std::string where = out.empty() ? "the result" : out;
    if (myVolumes.empty()) myDiagnostics.warning(op + " produced no volumes" + (out.empty() ? "" : "; " + out + " holds no grids"));
    if (std::string w = emptyOutputWarning(op, myVolumes, out); !w.empty()) myDiagnostics.warning(w);
    std::vector<std::string> warnings;
    if (!myVolumes.empty()) checkCoverage(myScale, myBox, op, myVolumes[0].active, where, warnings);
    report(warnings);
    if (std::string w = nonFiniteWarning(op, myVolumes, where); !w.empty()) myDiagnostics.warning(w);
}

void reportParameterAdjustments(const std::vector<ParmSetting> &settings, Diagnostics &diagnostics,
                                const DoorWording &wording)
{
    for (const std::string &w : parameterAdjustments(settings, wording)) diagnostics.warning(w);
}
} // namespace sopcook
