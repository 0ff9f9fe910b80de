// SPDX-License-Identifier: Apache-2.0
#pragma once
// Small scenes for every operator, each spanning several z-slabs, and their
// volumes read back bit for bit: what the slab tests cook whole, as slabs
// and as slabs joined in memory. Grids have odd sizes, so the last slab is
// thinner than a tile, and 16 slabs outnumber the tiles.
#include <gtest/gtest.h>
#include <functional>
#include <ostream>
#include <map>
#include <string>
#include <vector>
#include "OBJ/OBJ_Camera.h"
#include "OP/OP_Director.h"
#include "TestHost.h"
#include "UT/UT_ThreadedAlgorithm.h"

namespace slabscenes
{
using testhost::Cook;

// Deterministic values in [0, 1) from an index.
inline float hash01(int i, int salt)
{
    unsigned h = unsigned(i) * 2654435761u ^ unsigned(salt) * 40503u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return float(h & 0xffffff) / float(0x1000000);
}

// A camera at path /obj/cam1 looking down -z from above the box.
struct Camera
{
    OBJ_Camera cam{"cam1"};
    Camera()
    {
        cam.setFloat("res", 0, 640);
        cam.setFloat("res", 1, 480);
        cam.setFloat("focal", 0, 50);
        cam.setFloat("aperture", 0, 41);
        cam.setFloat("near", 0, 0.5f);
        cam.setFloat("far", 0, 2.5f);
        UT_DMatrix4 world;
        world.identity();
        world.translate(0.5, 0.5, 1.8);
        cam.setWorldTransform(world);
        OPgetDirector()->registerNode("/obj/cam1", &cam);
    }
    ~Camera() { OPgetDirector()->unregisterNode(&cam); }
};

struct Scene
{
    const char *name;
    const char *op;
    std::function<void(Cook &)> build;
    int threads = 1;
    bool densityOnly = false; // twins with several threads: only density is order-free
    bool camera = false;
};

inline void PrintTo(const Scene &s, std::ostream *os) { *os << s.name; }

// Every scene, twins at several thread counts among them.
const std::vector<Scene> &everyScene();
// The name of a scene as a test name.
inline std::string sceneName(const ::testing::TestParamInfo<Scene> &info) { return info.param.name; }

// Every volume's voxel bits by name, and its resolution.
struct Grids
{
    std::map<std::string, std::vector<uint32_t>> bits;
    std::map<std::string, int> zres;
    int xy = 0; // voxels per z layer (the same for every volume)
};

// Sets the thread count for one cook.
struct ThreadScope
{
    int savedThreads = UT_ThreadedAlgorithm::getDefaultThreadCount();
    explicit ThreadScope(int threads) { UT_ThreadedAlgorithm::setDefaultThreadCount(threads); }
    ~ThreadScope() { UT_ThreadedAlgorithm::setDefaultThreadCount(savedThreads); }
};

// The volumes of a cooked detail (only density for densityOnly).
Grids gridsOf(const GU_Detail &gdp, bool densityOnly);
} // namespace slabscenes
