// SPDX-License-Identifier: Apache-2.0
#pragma once
// Triangle meshes for the operators that read quads only: neighbouring
// triangles that together form a convex, nearly flat quad become that quad;
// every other triangle becomes a degenerate quad that repeats its last point.
// Other primitives, points and all attributes are kept; primitive order is
// kept, a pair taking the place of its first triangle. A plain detail-in,
// detail-out step, so every front end can run it before a cook.
#include <cstdint>

#include "GU/GU_Detail.h"

namespace sopcook
{
struct TrianglesToQuadsSettings
{
    // Largest angle between the two triangles' normals for a pair to count
    // as flat enough to be one quad.
    double maxFoldDegrees = 30.0;
};

struct TrianglesToQuadsResult
{
    int64_t pairs = 0;      // quads made of two triangles
    int64_t degenerate = 0; // triangles that found no partner
};

// Writes in with its triangles turned into quads to out (out is replaced).
TrianglesToQuadsResult trianglesToQuads(const GU_Detail &in, GU_Detail &out, const TrianglesToQuadsSettings &settings = {});
} // namespace sopcook
