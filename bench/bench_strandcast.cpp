// SPDX-License-Identifier: Apache-2.0
// Curve cooks: 1,000 curves of 10 segments (random walks of 3-voxel steps)
// with radii of 1 to 4 voxels in a 256^3 grid of unit voxels, through
// strandcast and through strandcastStraightMT with one and with two worker
// threads, noise off and on. For the ratio against the plain rule (every
// voxel against every curve, with a heap-allocating segment search per
// visit), the scene is scaled down to 100 curves in a 32^3 grid, where that
// loop takes about a second; the same scene is cooked by strandcast.
// items_per_second counts curves; for the nearest-segment search alone
// (BM_nearestSegment), voxel visits, against the plain search that projects
// P on every segment.
#include <benchmark/benchmark.h>
#include <random>
#include "GEO/GEO_PrimPoly.h"
#include "TestHost.h"
#include "UT/UT_ThreadedAlgorithm.h"
#include "../tests/strandcast_reference.h"
#include "../curves/CurveCast.h"

using namespace testhost;

namespace
{
constexpr int kCurves = 1000;
constexpr int kSegments = 10;
constexpr int kGrid = 256;
constexpr int kSmallCurves = 100;
constexpr int kSmallGrid = 32;

// Random walks through a grid of unit voxels over [0, grid]^3.
void curveScene(Cook &c, int grid, int curves)
{
    GU_Detail &in = c.input(0);
    std::mt19937 rng(2024);
    std::uniform_real_distribution<float> start(8.0f, float(grid) - 8.0f), step(-3.0f, 3.0f), radius(1.0f, 4.0f);
    for (int j = 0; j < curves; ++j)
    {
        UT_Vector3 p(start(rng), start(rng), start(rng));
        std::vector<GA_Offset> pts;
        for (int i = 0; i <= kSegments; ++i)
        {
            GA_Offset pt = addPoint(in, p);
            setPointAttrib(in, pt, "density", {1});
            setPointAttrib(in, pt, "pscale", {radius(rng)});
            setPointAttrib(in, pt, "N", {0, 1, 0});
            setPointAttrib(in, pt, "up", {0, 0, 1});
            setPointAttrib(in, pt, "uv", {float(i) * 0.3f, float(j) * 0.1f, 0});
            setPointAttrib(in, pt, "Cd", {0.8f, 0.7f, 0.6f});
            pts.push_back(pt);
            p += UT_Vector3(step(rng), step(rng), step(rng));
        }
        GEO_PrimPoly::build(&in, pts, false);
    }
    GU_Detail &box = c.input(1);
    addPoint(box, UT_Vector3(0, 0, 0));
    addPoint(box, UT_Vector3(float(grid), float(grid), float(grid)));
    c.set3("divs", grid, grid, grid);
    c.set("docolor", 1);
}

// Cooks of `op` on the full scene; state.range(0) switches noise, `threads`
// sets the workers (0 keeps the default).
void cookCurves(benchmark::State &state, const char *op, int threads)
{
    const int oldThreads = UT_ThreadedAlgorithm::getDefaultThreadCount();
    if (threads > 0) UT_ThreadedAlgorithm::setDefaultThreadCount(threads);
    Cook c(op);
    curveScene(c, kGrid, kCurves);
    c.set("donoise", int(state.range(0)));
    for (auto _ : state) c.cook();
    state.SetItemsProcessed(state.iterations() * int64_t(kCurves));
    UT_ThreadedAlgorithm::setDefaultThreadCount(oldThreads);
}
} // namespace

static void BM_strandcast(benchmark::State &state) { cookCurves(state, "strandcast", 0); }
static void BM_strandcastStraightMT_1thread(benchmark::State &state) { cookCurves(state, "strandcastStraightMT", 1); }
static void BM_strandcastStraightMT_2threads(benchmark::State &state) { cookCurves(state, "strandcastStraightMT", 2); }

// The scaled-down scene: strandcast's cook, and the plain rule on its grid.
static void BM_strandcast_small(benchmark::State &state)
{
    Cook c("strandcast");
    curveScene(c, kSmallGrid, kSmallCurves);
    for (auto _ : state) c.cook();
    state.SetItemsProcessed(state.iterations() * int64_t(kSmallCurves));
}

static void BM_allVoxelsRule_small(benchmark::State &state)
{
    Cook c("strandcast");
    curveScene(c, kSmallGrid, kSmallCurves);
    c.cook();
    strandref::Settings s;
    s.doColor = 1;
    for (auto _ : state)
        benchmark::DoNotOptimize(strandref::cast(c.input(0), findVolume(c.output(), "density"), s));
    state.SetItemsProcessed(state.iterations() * int64_t(kSmallCurves));
}

namespace
{
// The voxel centres strandcast visits for each curve of the full scene.
struct Visits
{
    std::vector<curvecast::CurveSamples> curves;
    std::vector<std::vector<UT_Vector3>> centres;
    int64_t count = 0;
};

const Visits &sceneVisits()
{
    static const Visits visits = [] {
        Visits v;
        Cook c("strandcast");
        curveScene(c, kGrid, kCurves);
        c.cook();
        const GU_PrimVolume *vol = findVolume(c.output(), "density");
        curvecast::VoxelCentres centres(vol);
        GU_Detail &in = c.input(0);
        curvecast::CurveAttribs attribs = curvecast::findCurveAttribs(&in, "density", "pscale", "N", "up", "uv", nullptr);
        for (GA_Size j = 0; j < in.getNumPrimitives(); ++j)
        {
            curvecast::CurveSamples curve;
            curve.read(in.getGEOPrimitive(j), attribs, false, false);
            curvecast::CurveReach reach = centres.reach(curve);
            std::vector<UT_Vector3> ps;
            for (int z = reach.bounds.lo[2]; z < reach.bounds.hi[2]; ++z)
                for (int y = reach.bounds.lo[1]; y < reach.bounds.hi[1]; ++y)
                {
                    int begin, end;
                    reach.row(y, z, begin, end);
                    for (int x = begin; x < end; ++x)
                    {
                        UT_Vector3 P;
                        vol->indexToPos(x, y, z, P);
                        ps.push_back(P);
                    }
                }
            v.count += int64_t(ps.size());
            v.curves.push_back(std::move(curve));
            v.centres.push_back(std::move(ps));
        }
        return v;
    }();
    return visits;
}

// The search before segments were rejected by their boxes: every segment
// projected, the first strictly nearest kept.
bool plainNearestSegment(const curvecast::CurveSamples &curve, const UT_Vector3 &P, curvecast::SegmentFoot &foot, int)
{
    foot.k = strandref::nearestByEverySegment(curve.pos, P, foot.Q, foot.d);
    if (foot.k < 0) return false;
    foot.L = dist3D(curve.pos[foot.k], curve.pos[foot.k + 1]);
    foot.along = dist3D(curve.pos[foot.k], foot.Q);
    return true;
}

// Every visit searched in the operators' order; with `hinted`, each search
// is told the previous visit's winner, as the operators' row loops do.
template <bool (*Search)(const curvecast::CurveSamples &, const UT_Vector3 &, curvecast::SegmentFoot &, int)>
void searchVisits(benchmark::State &state, bool hinted)
{
    const Visits &v = sceneVisits();
    for (auto _ : state)
        for (size_t j = 0; j < v.curves.size(); ++j)
        {
            int hint = -1;
            for (const UT_Vector3 &P : v.centres[j])
            {
                curvecast::SegmentFoot foot;
                benchmark::DoNotOptimize(Search(v.curves[j], P, foot, hint));
                benchmark::DoNotOptimize(foot.d);
                if (hinted && foot.k >= 0) hint = foot.k;
            }
        }
    state.SetItemsProcessed(state.iterations() * v.count);
    state.counters["ns_per_visit"] = benchmark::Counter(double(v.count) * double(state.iterations()) * 1e-9,
                                                        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
} // namespace

static void BM_nearestSegment_plain(benchmark::State &state) { searchVisits<plainNearestSegment>(state, false); }
static void BM_nearestSegment(benchmark::State &state) { searchVisits<curvecast::nearestSegment>(state, false); }
static void BM_nearestSegment_hinted(benchmark::State &state) { searchVisits<curvecast::nearestSegment>(state, true); }

BENCHMARK(BM_strandcast)->ArgName("noise")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_strandcastStraightMT_1thread)->ArgName("noise")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_strandcastStraightMT_2threads)->ArgName("noise")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_strandcast_small)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_allVoxelsRule_small)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_nearestSegment_plain)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_nearestSegment)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_nearestSegment_hinted)->Unit(benchmark::kMillisecond)->MinTime(1.0);
