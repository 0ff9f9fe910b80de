// SPDX-License-Identifier: Apache-2.0
// Writing a big cook to a VDB file: billowfold with colour (density and
// Cd.x/y/z, four float grids) from 10,000 balls in a 512^3 grid
// (SUITE_BENCH_VDB_RES overrides the resolution). BM_cook is the cook the
// write follows. BM_writeBefore is the write as it was: every non-zero voxel
// set through one OpenVDB accessor on one thread, the file written by
// OpenVDB on one thread with blosc, then flushed to the disk. BM_write is
// sopcook's writer with each compression; file_MB is the file's size.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "TestHost.h"
#include "vdb/VdbWriter.h"
#include "vdb/VolumeGrids.h"

using namespace testhost;

namespace
{
int resolution()
{
    const char *env = std::getenv("SUITE_BENCH_VDB_RES");
    return env ? std::atoi(env) : 512;
}

std::string outputPath(const char *name) { return (std::filesystem::temp_directory_path() / name).string(); }

double fileMegabytes(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? double(st.st_size) / 1e6 : 0.0;
}

// 10,000 balls of radius 2 to 6 in a box of 256 units, kept clear of its faces.
void cloudScene(Cook &c, int res)
{
    uint32_t s = 12345;
    auto next = [&s] {
        s = s * 1664525u + 1013904223u;
        return float(s >> 8) / float(1 << 24);
    };
    GU_Detail &in = c.input(0);
    for (int i = 0; i < 10000; ++i)
    {
        float x = 8 + next() * 240, y = 8 + next() * 240, z = 8 + next() * 240, r = 2 + next() * 4;
        GA_Offset pt = addPoint(in, UT_Vector3(x, y, z));
        setPointAttrib(in, pt, "density", {1});
        setPointAttrib(in, pt, "pscale", {r});
        setPointAttrib(in, pt, "Cd", {0.8f, 0.7f, 0.6f});
    }
    addPoint(c.input(1), UT_Vector3(0, 0, 0));
    addPoint(c.input(1), UT_Vector3(256, 256, 256));
    c.set3("divs", res, res, res);
}

// Cooks with billowfold's per-cook line kept off the report.
void quietCook(Cook &c)
{
    std::fflush(stdout);
    int saved = dup(1), devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1);
    c.cook();
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(devnull);
}

Cook &cookedScene()
{
    static std::unique_ptr<Cook> cook = [] {
        auto c = std::make_unique<Cook>("billowfold");
        cloudScene(*c, resolution());
        quietCook(*c);
        return c;
    }();
    return *cook;
}

// The conversion as it was: every non-zero voxel of every allocated tile set
// through one accessor.
openvdb::FloatGrid::Ptr voxelByVoxelGrid(const GEO_PrimVolume &vol, const std::string &name)
{
    openvdb::FloatGrid::Ptr grid = openvdb::FloatGrid::create(0.0f);
    grid->setName(name);
    grid->setGridClass(openvdb::GRID_FOG_VOLUME);
    int n[3];
    vol.getRes(n[0], n[1], n[2]);
    grid->insertMeta("resolution", openvdb::Vec3IMetadata(openvdb::Vec3i(n[0], n[1], n[2])));
    grid->setTransform(sopcook::volumeTransform(vol));
    const UT_VoxelArrayF &voxels = *vol.getVoxels();
    const int T = UT_VoxelArrayF::TILESIZE;
    auto acc = grid->getAccessor();
    for (int tz = 0; tz < voxels.getTileRes(2); ++tz)
        for (int ty = 0; ty < voxels.getTileRes(1); ++ty)
            for (int tx = 0; tx < voxels.getTileRes(0); ++tx)
            {
                const float *tile = voxels.tileData(tx, ty, tz);
                if (!tile) continue;
                for (int z = tz * T; z < std::min(tz * T + T, n[2]); ++z)
                    for (int y = ty * T; y < std::min(ty * T + T, n[1]); ++y)
                        for (int x = tx * T; x < std::min(tx * T + T, n[0]); ++x)
                        {
                            float v = tile[voxels.voxelOffset(x, y, z)];
                            if (v != 0.0f) acc.setValue(openvdb::Coord(x, y, z), v);
                        }
            }
    return grid;
}

void flushToDisk(const std::string &path)
{
    int fd = open(path.c_str(), O_RDONLY);
    if (fd >= 0)
    {
        fsync(fd);
        close(fd);
    }
}
} // namespace

static void BM_cook(benchmark::State &state)
{
    Cook c("billowfold");
    cloudScene(c, resolution());
    for (auto _ : state) quietCook(c);
}

static void BM_writeBefore(benchmark::State &state)
{
    sopcook::initializeVdb();
    const GU_Detail &gdp = cookedScene().output();
    const std::string path = outputPath("bench_vdb_write_before.vdb");
    for (auto _ : state)
    {
        openvdb::GridPtrVec grids;
        for (GA_Offset p = 0; p < gdp.getNumPrimitives(); ++p)
            if (auto *vol = dynamic_cast<const GEO_PrimVolume *>(gdp.getPrimitive(p)))
                grids.push_back(voxelByVoxelGrid(*vol, "volume" + std::to_string(p)));
        openvdb::io::File(path).write(grids);
        flushToDisk(path);
    }
    state.counters["file_MB"] = fileMegabytes(path);
    std::remove(path.c_str());
}

static void BM_write(benchmark::State &state)
{
    const auto compression = sopcook::VdbCompression(state.range(0));
    state.SetLabel(sopcook::compressionName(compression));
    const GU_Detail &gdp = cookedScene().output();
    const std::string path = outputPath("bench_vdb_write.vdb");
    std::vector<std::string> warnings;
    for (auto _ : state) sopcook::writeVolumesVdb(gdp, path, sopcook::VectorGrids::None, warnings, {}, {}, compression);
    state.counters["file_MB"] = fileMegabytes(path);
    std::remove(path.c_str());
}

// The conversion alone: host tiles to VDB grids, counts included.
static void BM_convert(benchmark::State &state)
{
    const GU_Detail &gdp = cookedScene().output();
    std::vector<sopcook::VolumeSummary> summaries;
    std::vector<std::string> warnings;
    for (auto _ : state)
    {
        summaries.clear();
        openvdb::GridPtrVec grids = sopcook::volumesToGrids(gdp, sopcook::VectorGrids::None, summaries, warnings);
        benchmark::DoNotOptimize(grids.data());
    }
    double tileBytes = 0, active = 0;
    for (GA_Offset p = 0; p < gdp.getNumPrimitives(); ++p)
        if (auto *vol = dynamic_cast<const GEO_PrimVolume *>(gdp.getPrimitive(p))) tileBytes += double(vol->getVoxels()->memoryUsage());
    for (const auto &s : summaries) active += double(s.active);
    state.counters["tile_MB"] = tileBytes / 1e6;
    state.counters["active_M"] = active / 1e6;
}

BENCHMARK(BM_cook)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_convert)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_writeBefore)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_write)
    ->ArgName("compression")
    ->Arg(int(sopcook::VdbCompression::None))
    ->Arg(int(sopcook::VdbCompression::Blosc))
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(3);
// Zip runs once: OpenVDB sizes every leaf with zip before writing it (and
// stores fog volumes unzipped), which takes minutes at 512^3.
BENCHMARK(BM_write)
    ->ArgName("compression")
    ->Arg(int(sopcook::VdbCompression::Zip))
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);
