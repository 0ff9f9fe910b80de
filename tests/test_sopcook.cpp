// SPDX-License-Identifier: Apache-2.0
// sopcook: camera files and parameter settings called directly, the VDB
// transforms checked against the host's voxel placement, and the built binary
// run end to end with its files read back by OpenVDB.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include <nlohmann/json.hpp>
#include <openvdb/openvdb.h>

#include "io/CameraFile.h"
#include "cook/CookCommand.h"
#include "cook/Frames.h"
#include "cook/OperatorCook.h"
#include "io/GeometryFile.h"
#include "Messages.h"
#include "cook/ParmAssign.h"
#include "SopcookRun.h"
#include "TestHost.h"
#include "vdb/LeafBuffers.h"
#include "vdb/VolumeGrids.h"

namespace
{
using sopcook::Error;

const std::string dataDir = SOPCOOK_TEST_DATA;

using sopcooktest::CliRun;
using sopcooktest::exists;
using sopcooktest::floatGrid;
using sopcooktest::readGrids;
using sopcooktest::runSopcook;
using sopcooktest::TempDir;
using sopcooktest::writeText;

std::string firstLine(const std::string &s) { return s.substr(0, s.find('\n')); }
} // namespace

// ---------------------------------------------------------------- camera and parameters

TEST(SopcookCamera, FileBecomesAFindableCameraNode)
{
    std::vector<std::string> warnings;
    sopcook::CameraSettings camera = sopcook::parseCameraJson(sopcook::readFileBytes(dataDir + "/camera.json"), "camera.json", warnings);
    EXPECT_TRUE(warnings.empty());
    auto cam = sopcook::makeCamera(camera);
    OP_Node *found = OPgetDirector()->findNode("/obj/cam1");
    ASSERT_EQ(found, cam.get());
    EXPECT_EQ(found->evalFloat("res", 1, 0), 500);
    EXPECT_EQ(found->evalFloat("focal", 0, 0), 50);
    EXPECT_EQ(found->evalFloat("far", 0, 0), 11);
    cam.reset();
    EXPECT_EQ(OPgetDirector()->findNode("/obj/cam1"), nullptr);

    // translate + rotate: 90 degrees about y carries +x to -z, then the move.
    camera = sopcook::parseCameraJson(R"({"translate": [1, 2, 3], "rotate": [0, 90, 0], "near": 1, "far": 5})", "c", warnings);
    UT_Vector3D p = UT_Vector3D(1, 0, 0) * camera.world;
    EXPECT_NEAR(p.x(), 1, 1e-12);
    EXPECT_NEAR(p.y(), 2, 1e-12);
    EXPECT_NEAR(p.z(), 2, 1e-12);

    const std::pair<const char *, const char *> bad[] = {
        {R"({"focal": 0})", "\"focal\": expected a number above 0"},
        {R"({"near": 5, "far": 2})", "must be beyond \"near\""},
        {R"({"transform": [1, 2, 3]})", "expected an array of 16 numbers"},
        {R"({"res": [640]})", "\"res\": expected an array of 2 numbers"},
        {R"({"path": "cam1"})", "absolute node path"},
        {R"({"transform": [1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,0,1], "rotate": [0, 0, 0]})", "not both"},
    };
    for (auto &b : bad)
    {
        try
        {
            sopcook::parseCameraJson(b.first, "cam.json", warnings);
            ADD_FAILURE() << "no error for " << b.first;
        }
        catch (const Error &e)
        {
            EXPECT_NE(std::string(e.what()).find(b.second), std::string::npos) << e.what();
        }
    }
}

TEST(SopcookParms, AssignmentsAreCheckedBeforeAnyIsSet)
{
    OP_Operator *op = testhost::op("plumeweave");
    if (!op) GTEST_SKIP() << "plumeweave plug-in not built";
    testhost::Cook cook("plumeweave");
    OP_Node &node = cook.node();
    sopcook::assignParameters(node, *op, {"divs=64,32,16", "feather=on", "noiseamp=0.25", "colorattrib=my,colour"});
    EXPECT_EQ(node.evalInt("divs", 2, 0), 16);
    EXPECT_EQ(node.evalInt("feather", 0, 0), 1);
    EXPECT_EQ(node.evalFloat("noiseamp", 0, 0), 0.25);
    UT_String s;
    node.evalStringT(s, "colorattrib", 0, 0, 0);
    EXPECT_EQ(std::string(s.c_str()), "my,colour");

    const std::pair<std::vector<std::string>, const char *> bad[] = {
        {{"noiseamp=1", "bogus=1"}, "has no parameter 'bogus'; valid: divs, extendbounds, childrencount"},
        {{"divs=1,2"}, "'divs' takes 3 comma-separated values (int), got 2"},
        {{"noiseamp=loud"}, "'loud' is not a number"},
        {{"childrencount=2.5"}, "not a whole number"},
        {{"feather=maybe"}, "takes 0/1 or on/off"},
        {{"noiseamp"}, "expected NAME=VALUE"},
    };
    for (auto &b : bad)
    {
        try
        {
            sopcook::assignParameters(node, *op, b.first);
            ADD_FAILURE() << "no error for " << b.first.back();
        }
        catch (const Error &e)
        {
            EXPECT_NE(std::string(e.what()).find(b.second), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(node.evalFloat("noiseamp", 0, 0), 0.25); // the failed list set nothing
}

// ---------------------------------------------------------------- VDB grids

namespace
{
// A volume laid out like the operators' boxes, with optional taper.
GU_PrimVolume *makeVolume(GU_Detail &gdp, int nx, int ny, int nz, const UT_Matrix4 &xform, float taper)
{
    GU_PrimVolume *vol = GU_PrimVolume::build(&gdp);
    vol->getVoxelWriteHandle()->size(nx, ny, nz);
    vol->setTransform4(xform);
    vol->setTaperX(taper);
    vol->setTaperY(taper);
    return vol;
}

void expectIndexMapsToVoxelCentre(const GEO_PrimVolume &vol, const openvdb::math::Transform &xf, int i, int j, int k)
{
    UT_Vector3 host;
    vol.indexToPos(i, j, k, host);
    openvdb::Vec3d p = xf.indexToWorld(openvdb::Vec3d(i, j, k));
    double scale = 1e-5 * (1 + std::fabs(host.x()) + std::fabs(host.y()) + std::fabs(host.z()));
    EXPECT_NEAR(p.x(), host.x(), scale) << i << " " << j << " " << k;
    EXPECT_NEAR(p.y(), host.y(), scale) << i << " " << j << " " << k;
    EXPECT_NEAR(p.z(), host.z(), scale) << i << " " << j << " " << k;
    openvdb::Vec3d back = xf.worldToIndex(p);
    EXPECT_NEAR(back.x(), i, 1e-6);
    EXPECT_NEAR(back.y(), j, 1e-6);
    EXPECT_NEAR(back.z(), k, 1e-6);
}
} // namespace

TEST(SopcookVdb, AffineAndFrustumTransformsHitEveryVoxelCentre)
{
    GU_Detail gdp;
    UT_Matrix4 box(1.0f);
    box(0, 0) = 2.0f;
    box(1, 1) = 0.5f;
    box(2, 2) = 3.0f;
    box(3, 0) = 1.0f;
    box(3, 1) = -2.0f;
    box(3, 2) = 0.5f;
    GU_PrimVolume *plain = makeVolume(gdp, 10, 6, 4, box, 1.0f);

    // A camera frustum: rotated and moved, taper far / near, as skinweave lays it.
    UT_DMatrix4 frustum(1.0);
    frustum(0, 0) = 0.4;
    frustum(1, 1) = 0.2;
    frustum(2, 2) = 5;
    frustum(3, 2) = -6;
    double t[3] = {1, 2, 3}, r[3] = {10, 30, -20};
    frustum = frustum * sopcook::cameraMatrix(t, r);
    GU_PrimVolume *tapered = GU_PrimVolume::build(&gdp);
    tapered->getVoxelWriteHandle()->size(16, 8, 12);
    tapered->setTransform4(frustum);
    tapered->setTaperX(11);
    tapered->setTaperY(11);

    for (GEO_PrimVolume *vol : {static_cast<GEO_PrimVolume *>(plain), static_cast<GEO_PrimVolume *>(tapered)})
    {
        int n[3];
        vol->getRes(n[0], n[1], n[2]);
        openvdb::math::Transform::Ptr xf = sopcook::volumeTransform(*vol);
        EXPECT_EQ(xf->isLinear(), vol == plain);
        for (int corner = 0; corner < 8; ++corner)
            expectIndexMapsToVoxelCentre(*vol, *xf, corner & 1 ? n[0] - 1 : 0, corner & 2 ? n[1] - 1 : 0, corner & 4 ? n[2] - 1 : 0);
        expectIndexMapsToVoxelCentre(*vol, *xf, n[0] / 2, n[1] / 2, n[2] / 2);
    }
}

TEST(SopcookVdb, GridHoldsEveryNonZeroVoxelWithNameAndMetadata)
{
    GU_Detail gdp;
    GU_PrimVolume *vol = makeVolume(gdp, 40, 20, 3, UT_Matrix4(1.0f), 1.0f);
    UT_VoxelArrayWriteHandleF h = vol->getVoxelWriteHandle();
    h->setValue(0, 0, 0, 1.5f);
    h->setValue(39, 19, 2, -2.0f); // an edge tile
    h->setValue(17, 3, 1, 0.25f);
    h->setValue(18, 3, 1, 0.0f);
    uint64_t active = 0;
    openvdb::FloatGrid::Ptr grid = sopcook::volumeToGrid(*vol, "density", "/obj/test:0", &active);
    EXPECT_EQ(active, 3u);
    EXPECT_EQ(grid->activeVoxelCount(), 3u);
    EXPECT_EQ(grid->getName(), "density");
    EXPECT_EQ(grid->getGridClass(), openvdb::GRID_FOG_VOLUME);
    EXPECT_EQ(grid->background(), 0.0f);
    EXPECT_EQ(grid->tree().getValue(openvdb::Coord(39, 19, 2)), -2.0f);
    EXPECT_EQ(grid->metaValue<std::string>("dopobject"), "/obj/test:0");
    EXPECT_EQ(grid->metaValue<openvdb::Vec3i>("resolution"), openvdb::Vec3i(40, 20, 3));
}

namespace
{
// The conversion in its plainest form: every non-zero voxel set through one
// accessor.
template <typename GridT, typename F>
typename GridT::Ptr voxelByVoxel(int nx, int ny, int nz, F value)
{
    auto grid = GridT::create();
    auto acc = grid->getAccessor();
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x)
            {
                auto v = value(x, y, z);
                if (v != openvdb::zeroVal<decltype(v)>()) acc.setValue(openvdb::Coord(x, y, z), v);
            }
    return grid;
}

// Same leaves, same active masks, same value bits, inactive ones included.
template <typename TreeT>
void expectSameTrees(const TreeT &got, const TreeT &want)
{
    ASSERT_TRUE(got.hasSameTopology(want));
    ASSERT_EQ(got.leafCount(), want.leafCount());
    for (auto it = want.cbeginLeaf(); it; ++it)
    {
        const auto *leaf = got.probeConstLeaf(it->origin());
        ASSERT_TRUE(leaf);
        ASSERT_TRUE(leaf->getValueMask() == it->getValueMask());
        ASSERT_EQ(std::memcmp(leaf->buffer().data(), it->buffer().data(), sizeof(*leaf->buffer().data()) * leaf->SIZE), 0)
            << it->origin();
    }
}

// Sparse values over a volume whose far tiles are cut by its edges, with
// negative zeros, numbers that are not finite and untouched tiles.
float scatteredValue(int x, int y, int z)
{
    unsigned h = unsigned(x) * 73856093u ^ unsigned(y) * 19349663u ^ unsigned(z) * 83492791u;
    if (z >= 20 && z < 36) return 0.0f; // a slab of blank tiles
    switch (h % 11)
    {
    case 0: return -0.0f;
    case 1: return float(h % 1000) / 7.0f - 50.0f;
    case 2: return h % 97 == 0 ? std::numeric_limits<float>::quiet_NaN() : 0.5f;
    case 3: return h % 89 == 0 ? -std::numeric_limits<float>::infinity() : 0.0f;
    default: return 0.0f;
    }
}
} // namespace

TEST(SopcookVdb, TreesBuiltFromTilesMatchTheVoxelByVoxelConversion)
{
    const int nx = 37, ny = 21, nz = 50;
    GU_Detail gdp;
    GA_RWAttributeRef names = gdp.addStringTuple(GA_ATTRIB_PRIMITIVE, "name", 1);
    const char *axes[] = {"Cd.x", "Cd.y", "Cd.z"};
    for (int a = 0; a < 3; ++a)
    {
        GU_PrimVolume *vol = makeVolume(gdp, nx, ny, nz, UT_Matrix4(1.0f), 1.0f);
        names.getAttribute()->setS(vol->getMapOffset(), 0, axes[a]);
        UT_VoxelArrayWriteHandleF h = vol->getVoxelWriteHandle();
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y)
                for (int x = 0; x < nx; ++x)
                    if (a == 0 || (x + a) % 3 == 0) h->setValue(x, y, z, scatteredValue(x + a, y, z));
    }
    std::vector<sopcook::VolumeSummary> summaries;
    std::vector<std::string> warnings;
    openvdb::GridPtrVec grids = sopcook::volumesToGrids(gdp, sopcook::VectorGrids::Also, summaries, warnings);
    ASSERT_EQ(grids.size(), 4u);
    const GEO_PrimVolume *vols[3];
    for (int a = 0; a < 3; ++a) vols[a] = static_cast<const GEO_PrimVolume *>(gdp.getPrimitive(a));
    for (int a = 0; a < 3; ++a)
    {
        auto want = voxelByVoxel<openvdb::FloatGrid>(nx, ny, nz, [&](int x, int y, int z) {
            return float(vols[a]->getValueAtIndex(x, y, z));
        });
        SCOPED_TRACE(axes[a]);
        expectSameTrees(openvdb::GridBase::grid<openvdb::FloatGrid>(grids[a])->tree(), want->tree());
        EXPECT_EQ(summaries[a].active, want->activeVoxelCount());
        // Voxels not finite: how many, and the first in tile order (rows of
        // tiles, then (z, y, x) inside a tile).
        sopcook::NonFinite expected;
        const int T = UT_VoxelArrayF::TILESIZE;
        for (int tz = 0; tz < nz; tz += T)
            for (int ty = 0; ty < ny; ty += T)
                for (int tx = 0; tx < nx; tx += T)
                    for (int z = tz; z < std::min(tz + T, nz); ++z)
                        for (int y = ty; y < std::min(ty + T, ny); ++y)
                            for (int x = tx; x < std::min(tx + T, nx); ++x)
                                if (!std::isfinite(vols[a]->getValueAtIndex(x, y, z))) expected.add(x, y, z);
        ASSERT_GT(expected.count, 0u);
        EXPECT_EQ(summaries[a].nonFinite.count, expected.count);
        EXPECT_EQ(std::vector<int>(summaries[a].nonFinite.first, summaries[a].nonFinite.first + 3),
                  std::vector<int>(expected.first, expected.first + 3));
    }
    auto want = voxelByVoxel<openvdb::Vec3SGrid>(nx, ny, nz, [&](int x, int y, int z) {
        return openvdb::Vec3s(vols[0]->getValueAtIndex(x, y, z), vols[1]->getValueAtIndex(x, y, z),
                              vols[2]->getValueAtIndex(x, y, z));
    });
    expectSameTrees(openvdb::GridBase::grid<openvdb::Vec3SGrid>(grids[3])->tree(), want->tree());
}

TEST(SopcookVdb, FilesHoldOpenVdbsOwnBytesInEveryCompression)
{
    // Many leaves, some partly active, some of constant or special values.
    const int n = 96;
    GU_Detail gdp;
    GU_PrimVolume *vol = makeVolume(gdp, n, n, n, UT_Matrix4(1.0f), 1.0f);
    UT_VoxelArrayWriteHandleF h = vol->getVoxelWriteHandle();
    for (int z = 0; z < n; ++z)
        for (int y = 0; y < n; ++y)
            for (int x = 0; x < n; ++x) h->setValue(x, y, z, scatteredValue(x, y, z));
    std::vector<sopcook::VolumeSummary> summaries;
    std::vector<std::string> warnings;
    openvdb::GridPtrVec grids = sopcook::volumesToGrids(gdp, sopcook::VectorGrids::None, summaries, warnings);

    TempDir tmp;
    auto bytes = [](const std::string &path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        std::string b = ss.str();
        // The header's 36-character UUID differs from file to file.
        if (b.size() > 57) std::fill(b.begin() + 21, b.begin() + 57, '-');
        return b;
    };
    const std::pair<sopcook::VdbCompression, uint32_t> codecs[] = {
        {sopcook::VdbCompression::None, openvdb::io::COMPRESS_ACTIVE_MASK},
        {sopcook::VdbCompression::Zip, openvdb::io::COMPRESS_ACTIVE_MASK | openvdb::io::COMPRESS_ZIP},
        {sopcook::VdbCompression::Blosc, openvdb::io::COMPRESS_ACTIVE_MASK | openvdb::io::COMPRESS_BLOSC}};
    for (const auto &[codec, flags] : codecs)
    {
        SCOPED_TRACE(sopcook::compressionName(codec));
        sopcook::writeGridsVdb(grids, tmp / "ours.vdb", codec);
        openvdb::GridPtrVec plain;
        for (const auto &g : grids) plain.push_back(g->deepCopyGrid()); // a plain grid, written by OpenVDB alone
        openvdb::io::File file(tmp / "plain.vdb");
        file.setCompression(flags);
        file.write(plain);
        EXPECT_EQ(bytes(tmp / "ours.vdb"), bytes(tmp / "plain.vdb"));
        EXPECT_FALSE(exists(sopcook::temporaryPath(tmp / "ours.vdb")));
    }
    EXPECT_THROW(sopcook::parseCompression("gzip"), sopcook::Error);
}

// Leaves serialised in chunks on several threads come out as the tree's own
// writer puts them, in every compression, whatever the chunk size.
TEST(SopcookVdb, LeavesWrittenInParallelAreTheTreesOwnBytes)
{
    const int n = 40;
    GU_Detail gdp;
    GA_RWAttributeRef names = gdp.addStringTuple(GA_ATTRIB_PRIMITIVE, "name", 1);
    const char *axes[] = {"vel.x", "vel.y", "vel.z"};
    for (int a = 0; a < 3; ++a)
    {
        GU_PrimVolume *vol = makeVolume(gdp, n, n, n, UT_Matrix4(1.0f), 1.0f);
        names.getAttribute()->setS(vol->getMapOffset(), 0, axes[a]);
        UT_VoxelArrayWriteHandleF h = vol->getVoxelWriteHandle();
        for (int z = 0; z < n; ++z)
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x) h->setValue(x, y, z, scatteredValue(x + 5 * a, y, z));
    }
    std::vector<sopcook::VolumeSummary> summaries;
    std::vector<std::string> warnings;
    openvdb::GridPtrVec grids = sopcook::volumesToGrids(gdp, sopcook::VectorGrids::Also, summaries, warnings);
    auto floats = openvdb::GridBase::grid<openvdb::FloatGrid>(grids[0]);
    auto vectors = openvdb::GridBase::grid<openvdb::Vec3SGrid>(grids[3]);
    ASSERT_TRUE(floats && vectors);
    ASSERT_GT(floats->tree().leafCount(), 50u);
    const float floatBackground = 0;
    const openvdb::Vec3s vectorBackground(0);
    auto bytes = [](uint32_t flags, const void *background, auto write) {
        std::ostringstream os;
        openvdb::io::setDataCompression(os, flags);
        openvdb::io::setGridBackgroundValuePtr(os, background);
        write(os);
        return os.str();
    };
    for (uint32_t flags : {uint32_t(openvdb::io::COMPRESS_ACTIVE_MASK), uint32_t(openvdb::io::COMPRESS_ACTIVE_MASK | openvdb::io::COMPRESS_ZIP),
                           uint32_t(openvdb::io::COMPRESS_ACTIVE_MASK | openvdb::io::COMPRESS_BLOSC)})
    {
        const std::string floatBytes = bytes(flags, &floatBackground, [&](std::ostream &os) { floats->tree().writeBuffers(os); });
        const std::string vectorBytes = bytes(flags, &vectorBackground, [&](std::ostream &os) { vectors->tree().writeBuffers(os); });
        for (size_t chunk : {size_t(1), size_t(7), size_t(100000)})
        {
            SCOPED_TRACE("compression " + std::to_string(flags) + ", chunk " + std::to_string(chunk));
            EXPECT_EQ(bytes(flags, &floatBackground, [&](std::ostream &os) {
                          sopcook::writeLeafBuffersParallel(floats->tree(), os, false, chunk);
                      }),
                      floatBytes);
            EXPECT_EQ(bytes(flags, &vectorBackground, [&](std::ostream &os) {
                          sopcook::writeLeafBuffersParallel(vectors->tree(), os, false, chunk);
                      }),
                      vectorBytes);
        }
    }
}

// ---------------------------------------------------------------- the binary, end to end

namespace
{
bool havePlugin(const char *name) { return testhost::op(name) != nullptr; }
} // namespace

TEST(SopcookCli, CookWritesTheSameVolumesAsTheHostAndReportsStats)
{
    if (!havePlugin("plumeweave")) GTEST_SKIP() << "plumeweave plug-in not built";
    TempDir tmp;
    CliRun r = runSopcook("cook plumeweave -i '" + dataDir + "/points.geo' -s divs=12,10,8 -s childrencount=5 -s noiseamp=0.3 -j 2 --stats -o '" +
                    (tmp / "out.vdb") + "' --preview '" + (tmp / "out.png") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(exists(tmp / "out.png"));
    nlohmann::json stats = nlohmann::json::parse(firstLine(r.out));
    EXPECT_EQ(stats["operator"], "plumeweave");
    EXPECT_EQ(stats["volumes"][0]["name"], "density");
    EXPECT_EQ(stats["volumes"][0]["voxels"], 12 * 10 * 8);
    EXPECT_GT(stats["peak_memory_bytes"].get<double>(), 0);

    // The same cook in this process, from the same file.
    testhost::Cook host("plumeweave");
    std::vector<std::string> warnings;
    sopcook::readGeometryFile(dataDir + "/points.geo", host.input(0), warnings);
    host.set3("divs", 12, 10, 8);
    host.set("childrencount", 5);
    host.set("noiseamp", 0.3);
    host.cook();
    openvdb::GridPtrVec grids = readGrids(tmp / "out.vdb");
    std::vector<std::string> names = testhost::volumeNames(host.output());
    ASSERT_EQ(grids.size(), names.size());
    EXPECT_EQ(stats["volumes"][0]["active"], testhost::nonZeroCount(testhost::findVolume(host.output(), "density")));
    for (const std::string &name : names)
    {
        openvdb::FloatGrid::Ptr grid = floatGrid(grids, name);
        ASSERT_TRUE(grid) << name;
        GU_PrimVolume *vol = testhost::findVolume(host.output(), name.c_str());
        EXPECT_EQ(grid->metaValue<std::string>("dopobject"), "/obj/plumeweave:0");
        EXPECT_EQ(grid->metaValue<openvdb::Vec3i>("resolution"), openvdb::Vec3i(12, 10, 8));
        EXPECT_EQ(int64_t(grid->activeVoxelCount()), testhost::nonZeroCount(vol));
        for (int k = 0; k < 8; ++k)
            for (int j = 0; j < 10; ++j)
                for (int i = 0; i < 12; ++i)
                    ASSERT_EQ(grid->tree().getValue(openvdb::Coord(i, j, k)), float(vol->getValueAtIndex(i, j, k)));
        expectIndexMapsToVoxelCentre(*vol, grid->transform(), 11, 9, 7);
    }

    CliRun info = runSopcook("info '" + (tmp / "out.vdb") + "'");
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("density"), std::string::npos);
    EXPECT_NE(info.out.find("12x10x8"), std::string::npos);
}

TEST(SopcookCli, FramesVectorGridsAndPlyInput)
{
    if (!havePlugin("plumeweave")) GTEST_SKIP() << "plumeweave plug-in not built";
    TempDir tmp;
    CliRun r = runSopcook("cook plumeweave -i '" + dataDir + "/quad_binary.ply' --frames 3-4 --vector-grids -o '" + (tmp / "f.$F4.vdb") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_TRUE(exists(tmp / "f.0003.vdb"));
    ASSERT_TRUE(exists(tmp / "f.0004.vdb"));
    openvdb::GridPtrVec grids = readGrids(tmp / "f.0004.vdb");
    ASSERT_EQ(grids.size(), 5u); // density, Cd.x/y/z and the Cd vector grid
    bool vector = false;
    for (auto &g : grids)
        if (g->getName() == "Cd")
        {
            vector = true;
            EXPECT_TRUE(openvdb::GridBase::grid<openvdb::Vec3SGrid>(g));
        }
    EXPECT_TRUE(vector);

    r = runSopcook("cook plumeweave -i '" + dataDir + "/quad_ascii.ply' --vector-grids=only -o '" + (tmp / "only.vdb") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readGrids(tmp / "only.vdb").size(), 2u);
}

TEST(SopcookCli, BinaryCacheCooksLikeItsAsciiTwin)
{
    if (!havePlugin("billowfold")) GTEST_SKIP() << "billowfold plug-in not built";
    TempDir tmp;
    std::string info[2];
    const char *inputs[] = {"points.geo", "points.bgeo.gz"};
    for (int i = 0; i < 2; ++i)
    {
        std::string out = tmp / ("c" + std::to_string(i) + ".vdb");
        CliRun r = runSopcook("cook billowfold -i '" + dataDir + "/" + inputs[i] + "' -o '" + out + "'");
        ASSERT_EQ(r.status, 0) << r.err;
        info[i] = runSopcook("info '" + out + "'").out;
        info[i] = info[i].substr(info[i].find('\n')); // past the line naming the file
    }
    EXPECT_EQ(info[0], info[1]);
}

TEST(SopcookCli, ErrorsAreOneLineAndWriteNothing)
{
    TempDir tmp;
    std::string out = tmp / "out.vdb";
    std::string bad = tmp / "bad.geo";
    std::string xyz = tmp / "points.xyz";
    writeText(xyz, "0 0 0\n1 1 1\n");
    writeText(bad, "[\"pointcount\", 1, \"attributes\", [\"pointattributes\", [[[\"name\", \"P\"], [\"size\", 3, \"values\", [\"size\", 3, \"tuples\", [[0, \"x\", 0]]]]]]]]");
    struct Case
    {
        std::string args, expected;
        bool needsPlugin;
    };
    const Case cases[] = {
        {"cook nosuchop -o '" + out + "'", "unknown operator 'nosuchop'", false},
        {"cook plumeweave -i '" + tmp / "missing.geo" + "' -o '" + out + "'", "missing.geo: No such file or directory", true},
        {"cook plumeweave -i '" + bad + "' -o '" + out + "'", "bad.geo: attributes/pointattributes[0]/P/values/tuples[0][1]: expected a number", true},
        {"cook plumeweave -s bogus=1 -o '" + out + "'", "has no parameter 'bogus'; valid: divs", true},
        {"cook plumeweave -s divs=4,4 -o '" + out + "'", "takes 3 comma-separated values", true},
        {"cook plumeweave -o '" + tmp / "no/such/dir/out.vdb" + "'", "cannot write", true},
        {"cook plumeweave --frames 1-3 -o '" + out + "'", "put $F or $F4 in the output name", true},
        {"cook plumeweave -i '" + dataDir + "/points.geo' --camera '" + tmp / "nocam.json" + "' -o '" + out + "'", "camera file", true},
        {"cook plumeweave -i '" + dataDir + "/camera.json' -o '" + out + "'", "camera.json: not host JSON geometry", true},
        {"cook plumeweave -i '" + xyz + "' -o '" + out + "'", "points.xyz: unknown geometry format: text starting '0 0 0'", true},
        {"cook plumeweave --vector-grids=sometimes -o '" + out + "'", "--vector-grids", true},
        {"cook plumeweave --compression gzip -o '" + out + "'", "--compression: expected none, zip or blosc, not 'gzip'", true},
        {"cook plumeweave", "--output is required", false},
        {"info '" + bad + "'", "not a readable VDB file", false},
    };
    for (const Case &c : cases)
    {
        if (c.needsPlugin && !havePlugin("plumeweave")) continue;
        CliRun r = runSopcook(c.args);
        EXPECT_NE(r.status, 0) << c.args;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << r.err;
        EXPECT_FALSE(exists(out)) << c.args;
    }
    // No temporary files were left behind either.
    EXPECT_EQ(std::system(("test $(ls -A '" + tmp.path() + "' | wc -l) -eq 2").c_str()), 0);
}

TEST(SopcookCli, PluginPathOverrideListAndParams)
{
    TempDir empty;
    CliRun r = runSopcook("list", "SOPCOOK_DSO_PATH='" + empty.path() + "'");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("no operator plug-ins found in " + empty.path()), std::string::npos) << r.err;

    if (!havePlugin("plumeweave")) return;
    r = runSopcook("list");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("Plumeweave"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("plumeweave.so"), std::string::npos);
    r = runSopcook("params plumeweave");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("divs"), std::string::npos);
    EXPECT_NE(r.out.find("10, 10, 10"), std::string::npos);
}

TEST(SopcookCli, SlabreelTakesNoGeometryAndTheCameraReachesSkinweave)
{
    TempDir tmp;
    if (havePlugin("slabreel"))
    {
        CliRun r = runSopcook("cook slabreel -i '" + dataDir + "/points.geo' -o '" + (tmp / "s.vdb") + "'");
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("slabreel takes no geometry input"), std::string::npos) << r.err;
        EXPECT_FALSE(exists(tmp / "s.vdb"));
    }
    if (!havePlugin("skinweave")) GTEST_SKIP() << "skinweave plug-in not built";
    CliRun r = runSopcook("cook skinweave -i '" + dataDir + "/quad_ascii.ply' -s usecamfrustum=1 -s divs=8,8,8 --camera '" + dataDir +
                    "/camera.json' -o '" + (tmp / "cam.vdb") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    openvdb::FloatGrid::Ptr density = floatGrid(readGrids(tmp / "cam.vdb"), "density");
    ASSERT_TRUE(density);
    EXPECT_FALSE(density->transform().isLinear());
    // The frustum's centre lies on the camera axis at depth (near + far) / 2.
    openvdb::Vec3d centre = density->transform().indexToWorld(openvdb::Vec3d(3.5, 3.5, 3.5));
    EXPECT_NEAR(centre.x(), 0, 1e-5);
    EXPECT_NEAR(centre.y(), 0, 1e-5);
    EXPECT_NEAR(centre.z(), -6, 1e-5);
}

TEST(SopcookVdb, VectorGridsJoinCompleteTriplesOnly)
{
    GU_Detail gdp;
    GA_RWAttributeRef names = gdp.addStringTuple(GA_ATTRIB_PRIMITIVE, "name", 1);
    auto add = [&](const char *name, int nx, float value) {
        GU_PrimVolume *vol = makeVolume(gdp, nx, 4, 4, UT_Matrix4(1.0f), 1.0f);
        names.getAttribute()->setS(vol->getMapOffset(), 0, name);
        if (value != 0) vol->getVoxelWriteHandle()->setValue(1, 2, 3, value);
        return vol;
    };
    add("density", 4, 1.0f);
    add("vel.x", 4, 0.5f);
    add("vel.y", 4, 0.0f);
    add("vel.z", 4, -2.0f);
    add("Cd.x", 4, 1.0f);
    add("Cd.y", 8, 1.0f); // another resolution: no Cd vector grid
    add("Cd.z", 4, 1.0f);
    add("up.x", 4, 1.0f); // incomplete
    std::vector<sopcook::VolumeSummary> summaries;
    std::vector<std::string> warnings;
    openvdb::GridPtrVec also = sopcook::volumesToGrids(gdp, sopcook::VectorGrids::Also, summaries, warnings);
    ASSERT_EQ(also.size(), 9u);
    EXPECT_EQ(also.back()->getName(), "vel");
    auto vel = openvdb::GridBase::grid<openvdb::Vec3SGrid>(also.back());
    ASSERT_TRUE(vel);
    EXPECT_EQ(vel->getVectorType(), openvdb::VEC_CONTRAVARIANT_RELATIVE);
    EXPECT_EQ(vel->tree().getValue(openvdb::Coord(1, 2, 3)), openvdb::Vec3s(0.5f, 0.0f, -2.0f));
    EXPECT_EQ(vel->activeVoxelCount(), 1u);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("'Cd' volumes differ"), std::string::npos);

    summaries.clear();
    openvdb::GridPtrVec only = sopcook::volumesToGrids(gdp, sopcook::VectorGrids::Only, summaries, warnings);
    std::vector<std::string> onlyNames;
    for (auto &g : only) onlyNames.push_back(g->getName());
    EXPECT_EQ(onlyNames, (std::vector<std::string>{"density", "vel", "Cd.x", "Cd.y", "Cd.z", "up.x"}));
    ASSERT_EQ(summaries.size(), 8u); // every volume is still reported
    EXPECT_EQ(summaries[3].name, "vel.z");
    EXPECT_EQ(summaries[3].active, 1u);
}

TEST(SopcookVdb, UnrepresentableLayoutsAreWrittenWithARemark)
{
    GU_Detail gdp;
    UT_Matrix4 flat(1.0f);
    flat(2, 2) = 0.0f; // a box from points in one plane
    GU_PrimVolume *vol = makeVolume(gdp, 4, 4, 4, flat, 1.0f);
    std::string note;
    openvdb::math::Transform::Ptr xf = sopcook::volumeTransform(*vol, &note);
    EXPECT_NE(note.find("flat on one axis"), std::string::npos);
    expectIndexMapsToVoxelCentre(*vol, *xf, 3, 0, 2);

    GU_PrimVolume *skew = makeVolume(gdp, 4, 4, 4, UT_Matrix4(1.0f), 1.0f);
    skew->setTaperX(2);
    skew->setTaperY(3);
    note.clear();
    xf = sopcook::volumeTransform(*skew, &note);
    EXPECT_TRUE(xf->isLinear());
    EXPECT_NE(note.find("tapers differ"), std::string::npos);
}

TEST(SopcookCli, FrameNamesAndRanges)
{
    EXPECT_EQ(sopcook::expandFrame("cloud.$F4.vdb", 7), "cloud.0007.vdb");
    EXPECT_EQ(sopcook::expandFrame("a$F/b$F2", 12), "a12/b12");
    EXPECT_EQ(sopcook::expandFrame("plain.vdb", 3), "plain.vdb");
    EXPECT_EQ(sopcook::parseFrames("3-5"), (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(sopcook::parseFrames("-2--1"), (std::vector<int>{-2, -1}));
    EXPECT_EQ(sopcook::parseFrames("9"), std::vector<int>{9});
    EXPECT_THROW(sopcook::parseFrames("5-3"), Error);
    EXPECT_THROW(sopcook::parseFrames("1-x"), Error);
    EXPECT_EQ(sopcook::frameTime(1), 0.0);
    EXPECT_EQ(sopcook::frameTime(25), 1.0);
}

TEST(SopcookCli, DemoCooksEveryInstalledOperator)
{
    if (!havePlugin("plumeweave")) GTEST_SKIP() << "no plug-ins built";
    TempDir tmp;
    CliRun r = runSopcook("demo '" + (tmp / "demo") + "'");
    ASSERT_EQ(r.status, 0) << r.err;
    for (auto &op : testhost::table().operators())
    {
        EXPECT_NE(r.out.find(op->getName() + " "), std::string::npos) << r.out;
        EXPECT_TRUE(exists(tmp / ("demo/" + op->getName() + ".vdb"))) << op->getName();
        EXPECT_TRUE(exists(tmp / ("demo/" + op->getName() + ".png"))) << op->getName();
    }
    EXPECT_TRUE(exists(tmp / "demo/demo.png"));
    EXPECT_EQ(r.out.find("FAILED"), std::string::npos) << r.out;
}
