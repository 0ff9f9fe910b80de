// SPDX-License-Identifier: Apache-2.0
// Every operator cooked whole and as N z-slabs in this process. A slab cook
// skips the rows, z ranges and whole points, children, curves and quads that
// miss its slab; joined along z, its voxels must equal the whole cook's bit
// for bit, and it must write nothing outside its slab (scenes: SlabScenes.h).
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>
#include "GXNoise.h"
#include "SlabReach.h"
#include "SlabScenes.h"
#include "UT/UT_VoxelSlab.h"

using namespace testhost;
using namespace slabscenes;

namespace
{
Grids cook(const Scene &s, const UT_VoxelSlab &slab)
{
    std::unique_ptr<Camera> camera(s.camera ? new Camera : nullptr);
    Cook c(s.op);
    s.build(c);
    c.setSlab(slab);
    ThreadScope scope(s.threads);
    testing::internal::CaptureStdout();
    OP_ERROR e = c.cook();
    testing::internal::GetCapturedStdout();
    EXPECT_LT(e, UT_ERROR_ERROR);
    return gridsOf(c.output(), s.densityOnly);
}

class SlabClip : public ::testing::TestWithParam<Scene>
{
};

TEST_P(SlabClip, JoinedSlabsAreTheWholeCookBitForBit)
{
    const Scene &s = GetParam();
    const Grids whole = cook(s, UT_VoxelSlab());
    ASSERT_FALSE(whole.bits.empty());
    for (int count : {3, 4, 16})
    {
        Grids joined = whole;
        for (auto &[name, bits] : joined.bits) std::fill(bits.begin(), bits.end(), 0u);
        // Slabs that hold a voxel the whole cook wrote: the scene must span
        // several, or the test proves little.
        int slabsWithDensity = 0;
        for (int index = 0; index < count; ++index)
        {
            const UT_VoxelSlab slab{index, count};
            const Grids part = cook(s, slab);
            ASSERT_EQ(part.bits.size(), whole.bits.size());
            bool anyDensity = false;
            for (const auto &[name, bits] : part.bits)
            {
                int kmin, kmax;
                slab.range(part.zres.at(name), 16, kmin, kmax);
                const size_t from = size_t(kmin) * part.xy, to = size_t(kmax) * part.xy;
                size_t outside = 0;
                for (size_t v = 0; v < bits.size(); ++v)
                {
                    if (v >= from && v < to)
                        joined.bits[name][v] = bits[v];
                    else if (bits[v] != 0)
                        ++outside;
                }
                EXPECT_EQ(outside, 0u) << name << ": slab " << index << "/" << count << " wrote outside z " << kmin
                                       << "-" << kmax;
                if (name == "density")
                    for (size_t v = from; v < to; ++v) anyDensity = anyDensity || whole.bits.at(name)[v] != 0;
            }
            slabsWithDensity += anyDensity;
        }
        EXPECT_GE(slabsWithDensity, 2) << count << " slabs";
        for (const auto &[name, bits] : whole.bits)
        {
            const std::vector<uint32_t> &got = joined.bits.at(name);
            size_t first = 0;
            while (first < bits.size() && bits[first] == got[first]) ++first;
            EXPECT_EQ(first, bits.size()) << name << " from " << count << " slabs: voxel " << first % whole.xy
                                          << " of layer " << first / whole.xy << " differs";
        }
    }
}


INSTANTIATE_TEST_SUITE_P(EveryOperator, SlabClip, ::testing::ValuesIn(everyScene()), sceneName);
} // namespace

namespace
{
// The bound whole wisps and quads are skipped by: no lookup exceeds it, and
// it is not so loose that it proves little.
TEST(SlabReach, NoiseBoundHoldsForEveryLookupAndIsNotVacuous)
{
    perlinNoise.init_noise();
    struct Settings
    {
        int octaves;
        float roughness;
    } settings[] = {{0, 0.5f}, {1, 0.5f}, {3, -0.8f}, {6, 1.0f}};
    for (const Settings &k : settings)
    {
        const double bound = fractalNoiseBound(k.octaves, k.roughness);
        double largest = 0;
        for (int i = 0; i < 40000; ++i)
        {
            const UT_Vector3 q(40 * hash01(i, 1) - 20, 40 * hash01(i, 2) - 20, 40 * hash01(i, 3) - 20);
            largest = std::max(largest, std::fabs(fractalNoise(q, k.octaves, k.roughness)));
            const UT_Vector3D a = axisFractalNoise(q, k.octaves, k.roughness);
            for (int c = 0; c < 3; ++c) largest = std::max(largest, std::fabs(a[c]));
        }
        EXPECT_LE(largest, bound) << k.octaves << " octaves";
        EXPECT_GT(largest, 0.25 * bound) << k.octaves << " octaves";
    }
    EXPECT_EQ(fractalNoiseBound(2, NAN), INFINITY);
}

// What is proven to miss a slab, and when nothing is claimed.
TEST(SlabReach, WorldZMissesOnlyWhatCannotReachTheSlab)
{
    GU_Detail gdp;
    GU_PrimVolume *vol = GU_PrimVolume::build(&gdp);
    UT_Matrix4 box(0.0f); // the box [0, 64]^3: voxels of 1
    box(0, 0) = box(1, 1) = box(2, 2) = 32;
    box(3, 0) = box(3, 1) = box(3, 2) = 32;
    box(3, 3) = 1;
    vol->setTransform4(box);
    UT_VoxelArrayWriteHandleF h = vol->getVoxelWriteHandle();
    h->setSlab({1, 4}); // z 16-32
    h->size(64, 64, 64);
    const SlabRange slab(h);
    ASSERT_EQ(slab.lo, 16);
    ASSERT_EQ(slab.hi, 32);
    EXPECT_TRUE(slabMissesWorldZ(vol, slab, 2, 10, 2));   // voxels 2-12 at most
    EXPECT_FALSE(slabMissesWorldZ(vol, slab, 2, 10, 6)); // reaches 16
    EXPECT_TRUE(slabMissesWorldZ(vol, slab, 36, 50, 2));
    EXPECT_FALSE(slabMissesWorldZ(vol, slab, 33, 50, 2));
    EXPECT_FALSE(slabMissesWorldZ(vol, slab, 20, 21, 0));
    // Below the grid: a splat clamped to the grid lands in voxel 0, far from
    // the slab; one that reaches up from there could touch it.
    EXPECT_TRUE(slabMissesWorldZ(vol, slab, -90, -80, 3));
    EXPECT_FALSE(slabMissesWorldZ(vol, slab, -90, -80, 20));
    // Nothing claimed for values that are not finite, or a tapered volume.
    EXPECT_FALSE(slabMissesWorldZ(vol, slab, 2, INFINITY, 0));
    EXPECT_FALSE(slabMissesWorldZ(vol, slab, NAN, 10, 0));
    EXPECT_FALSE(slabMissesWorldZ(vol, slab, 2, 10, NAN));
    vol->setTaperX(0.5);
    EXPECT_FALSE(slabMissesWorldZ(vol, slab, 2, 10, 2));
    vol->setTaperX(1);
    // A whole array is never missed; an empty slab always is.
    h->setSlab({0, 1});
    h->size(64, 64, 64);
    EXPECT_FALSE(slabMissesWorldZ(vol, SlabRange(h), 2, 10, 2));
    h->setSlab({0, 8}); // 4 tiles among 8 slabs: slab 0 is empty
    h->size(64, 64, 64);
    EXPECT_TRUE(slabMissesWorldZ(vol, SlabRange(h), 0, 64, 64));
}
} // namespace
