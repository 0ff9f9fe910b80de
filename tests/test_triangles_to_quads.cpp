// SPDX-License-Identifier: Apache-2.0
// Triangle meshes turned into quads for the quad operators: which triangles
// pair, what the rest become, what is kept, and the option end to end.
#include <gtest/gtest.h>

#include "GEO/GEO_PrimPoly.h"
#include "SopcookRun.h"
#include "cook/TrianglesToQuads.h"

namespace
{
using namespace sopcooktest;

GA_Offset point(GU_Detail &gdp, float x, float y, float z)
{
    GA_Offset p = gdp.appendPoint();
    gdp.setPos3(p, UT_Vector3(x, y, z));
    return p;
}

std::string prims(const GU_Detail &gdp)
{
    std::string out;
    for (GA_Offset p = 0; p < gdp.getNumPrimitives(); ++p)
    {
        const GA_Primitive *prim = gdp.getPrimitive(p);
        auto *poly = dynamic_cast<const GEO_PrimPoly *>(prim);
        out += poly && poly->isClosed() ? "closed" : "open";
        for (int v = 0; v < prim->getVertexCount(); ++v) out += " " + std::to_string(prim->getPointOffset(v));
        out += "\n";
    }
    return out;
}

// An n x n grid of unit squares in z = 0, each split along its diagonal.
void triangleGrid(GU_Detail &gdp, int n)
{
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) point(gdp, float(i), float(j), 0);
    auto at = [n](int i, int j) { return GA_Offset(j * (n + 1) + i); };
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
        {
            GEO_PrimPoly::build(&gdp, {at(i, j), at(i + 1, j), at(i + 1, j + 1)}, true);
            GEO_PrimPoly::build(&gdp, {at(i, j), at(i + 1, j + 1), at(i, j + 1)}, true);
        }
}
} // namespace

TEST(TrianglesToQuads, NeighboursPairAndTheRestRepeatTheirLastPoint)
{
    GU_Detail in;
    // 0-3: a flat square as two triangles; 4-6: a lone triangle; 7-9 with 4:
    // a triangle folded 90 degrees against the lone one's edge 4-5.
    point(in, 0, 0, 0), point(in, 1, 0, 0), point(in, 1, 1, 0), point(in, 0, 1, 0);
    point(in, 5, 0, 0), point(in, 6, 0, 0), point(in, 5, 1, 0);
    point(in, 5.5f, 0, -1), point(in, 9, 9, 9), point(in, 8, 8, 8);
    GA_Attribute *id = in.addAttribute(GA_ATTRIB_PRIMITIVE, "id", GA_STORECLASS_FLOAT, 1);
    GEO_PrimPoly::build(&in, {0, 1, 2}, true);
    GEO_PrimPoly::build(&in, {8, 9}, false);           // a curve: kept as it is
    GEO_PrimPoly::build(&in, {4, 5, 6}, true);         // lone
    GEO_PrimPoly::build(&in, {0, 2, 3}, true);         // pairs with the first
    GEO_PrimPoly::build(&in, {5, 4, 7}, true);         // folded: pairs with nothing
    GEO_PrimPoly::build(&in, {0, 1, 2, 3}, true);      // a quad already
    for (GA_Offset p = 0; p < 6; ++p) id->setF(p, 0, float(10 + p));

    GU_Detail out;
    const sopcook::TrianglesToQuadsResult r = sopcook::trianglesToQuads(in, out);
    EXPECT_EQ(r.pairs, 1);
    EXPECT_EQ(r.degenerate, 2);
    EXPECT_EQ(prims(out), "closed 1 2 3 0\nopen 8 9\nclosed 4 5 6 6\nclosed 5 4 7 7\nclosed 0 1 2 3\n");
    EXPECT_EQ(out.getNumPoints(), in.getNumPoints());
    const GA_Attribute *outId = out.findAttribute(GA_ATTRIB_PRIMITIVE, "id");
    ASSERT_NE(outId, nullptr);
    std::vector<float> ids;
    for (GA_Offset p = 0; p < out.getNumPrimitives(); ++p) ids.push_back(outId->getF(p, 0));
    EXPECT_EQ(ids, (std::vector<float>{10, 11, 12, 14, 15})); // each where its first triangle was
    EXPECT_EQ(prims(in).substr(0, 13), "closed 0 1 2\n") << "the input is left alone";
    EXPECT_EQ(in.getNumPrimitives(), 6);

    // A dart (a concave quad) does not pair, nor does a face doubled back on
    // another (the same corners wound the other way).
    GU_Detail dart, dartOut;
    point(dart, 0, 0, 0), point(dart, 2, 1, 0), point(dart, 0, 2, 0), point(dart, 0.5f, 1, 0);
    GEO_PrimPoly::build(&dart, {0, 1, 3}, true);
    GEO_PrimPoly::build(&dart, {3, 1, 2}, true);
    GEO_PrimPoly::build(&dart, {0, 1, 2}, true);
    GEO_PrimPoly::build(&dart, {0, 2, 1}, true);
    EXPECT_EQ(sopcook::trianglesToQuads(dart, dartOut).pairs, 0);
}

TEST(TrianglesToQuads, ASplitGridBecomesItsSquaresAgain)
{
    GU_Detail in, out;
    triangleGrid(in, 6);
    const sopcook::TrianglesToQuadsResult r = sopcook::trianglesToQuads(in, out);
    EXPECT_EQ(r.pairs, 36);
    EXPECT_EQ(r.degenerate, 0);
    ASSERT_EQ(out.getNumPrimitives(), 36);
    // Each quad is one unit square: its corners span exactly 1 x 1.
    for (GA_Offset p = 0; p < out.getNumPrimitives(); ++p)
    {
        const GA_Primitive *q = out.getPrimitive(p);
        ASSERT_EQ(q->getVertexCount(), 4);
        UT_Vector3 lo = out.getPos3(q->getPointOffset(0)), hi = lo;
        for (int v = 1; v < 4; ++v)
        {
            UT_Vector3 x = out.getPos3(q->getPointOffset(v));
            for (int c = 0; c < 3; ++c) lo[c] = std::min(lo[c], x[c]), hi[c] = std::max(hi[c], x[c]);
        }
        const UT_Vector3 size = hi - lo;
        EXPECT_TRUE(size == UT_Vector3(1, 1, 0)) << "quad " << p << ": " << size[0] << " x " << size[1] << " x " << size[2];
    }
}

TEST(TrianglesToQuads, SkinweaveCooksATriangleMeshWithTheOption)
{
    if (!exists(std::string(SOPCOOK_PLUGIN_DIR) + "/skinweave.so")) GTEST_SKIP() << "skinweave not built";
    TempDir tmp;
    std::string obj = "# triangles\n";
    for (int j = 0; j <= 4; ++j)
        for (int i = 0; i <= 4; ++i) obj += "v " + std::to_string(i) + " " + std::to_string(j) + " 0\n";
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
        {
            const int a = j * 5 + i + 1;
            obj += "f " + std::to_string(a) + " " + std::to_string(a + 1) + " " + std::to_string(a + 6) + "\n";
            obj += "f " + std::to_string(a) + " " + std::to_string(a + 6) + " " + std::to_string(a + 5) + "\n";
        }
    writeText(tmp / "tris.obj", obj);
    const std::string args = "cook skinweave -i '" + tmp / "tris.obj" + "' -a density=1 -a pscale=0.3 -s divs=24,24,8 -o '";
    CliRun off = runSopcook(args + tmp / "off.vdb" + "'");
    ASSERT_EQ(off.status, 0) << off.err;
    EXPECT_NE(off.err.find("\"WARNING: Skipping non quad primitive no. N\" x 32; for a triangle mesh, --triangles-to-quads pairs"),
              std::string::npos) << off.err;
    EXPECT_EQ(floatGrid(readGrids(tmp / "off.vdb"), "density")->activeVoxelCount(), 0u);

    CliRun on = runSopcook(args + tmp / "on.vdb" + "' --triangles-to-quads -v");
    ASSERT_EQ(on.status, 0) << on.err;
    EXPECT_NE(on.err.find("--triangles-to-quads: 16 quads of two triangles, 0 triangles as degenerate quads"), std::string::npos) << on.err;
    EXPECT_EQ(on.err.find("non quad"), std::string::npos) << on.err;
    EXPECT_GT(floatGrid(readGrids(tmp / "on.vdb"), "density")->activeVoxelCount(), 100u);
}
