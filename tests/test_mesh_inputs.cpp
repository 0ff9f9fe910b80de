// SPDX-License-Identifier: Apache-2.0
// Meshes, curves and point clouds from other programs: OBJ the way Blender
// writes it (quads, curves as chains of loose edges, vertex clouds), STL and
// glTF through the mesh library, every file written here by hand; damaged
// files give one line naming file and place.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "GEO/GEO_PrimPoly.h"
#include "Messages.h"
#include "ReaderTesting.h"
#include "SopcookRun.h"
#include "VdbCompare.h"
#include "io/GeometryFile.h"

namespace
{
using namespace sopcooktest;
using sopcook::Error;
using namespace readertesting;

std::string read(const std::string &bytes, const std::string &label, std::vector<std::string> *warnings = nullptr)
{
    return readBytes(bytes, label, warnings, meshText);
}

std::string readError(const std::string &bytes, const std::string &label)
{
    return errorOf([&] { read(bytes, label); });
}

bool havePlugin(const std::string &name) { return exists(std::string(SOPCOOK_PLUGIN_DIR) + "/" + name + ".so"); }

// Cooks an operator on a file; the error output when it fails.
std::string cook(const std::string &op, const std::string &input, const std::string &out, const std::string &more)
{
    CliRun r = runSopcook("cook " + op + " -i '" + input + "' -o '" + out + "' " + more);
    return r.status == 0 ? "" : "exit " + std::to_string(r.status) + ": " + r.err;
}

std::string base64(const std::string &bytes)
{
    static const char *digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3)
    {
        uint32_t n = uint32_t(uint8_t(bytes[i])) << 16;
        if (i + 1 < bytes.size()) n |= uint32_t(uint8_t(bytes[i + 1])) << 8;
        if (i + 2 < bytes.size()) n |= uint8_t(bytes[i + 2]);
        out += digits[(n >> 18) & 63];
        out += digits[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? digits[(n >> 6) & 63] : '=';
        out += i + 2 < bytes.size() ? digits[n & 63] : '=';
    }
    return out;
}

template <class T> void append(std::string &out, std::initializer_list<T> values)
{
    for (T v : values) out.append(reinterpret_cast<const char *>(&v), sizeof v);
}

// A unit quad in z = 0 as two triangles, moved by its node to z = 5, with
// normals and texture coordinates: the buffer, then the JSON naming bufferUri
// (empty: the buffer of a .glb).
std::string gltfBuffer()
{
    std::string b;
    append<float>(b, {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0});        // POSITION, 48 bytes
    append<float>(b, {0, 0, 1, 0, 0, 1, 0, 0, 1, 0, 0, 1});        // NORMAL, 48 bytes
    append<float>(b, {0, 0, 1, 0, 1, 1, 0, 1});                    // TEXCOORD_0, 32 bytes
    append<uint16_t>(b, {0, 1, 2, 0, 2, 3});                       // indices, 12 bytes
    return b;
}

std::string gltfJson(const std::string &bufferUri)
{
    const std::string uri = bufferUri.empty() ? "" : R"("uri":")" + bufferUri + R"(",)";
    return R"({"asset":{"version":"2.0","generator":"hand"},"scene":0,"scenes":[{"nodes":[0]}],
      "nodes":[{"mesh":0,"translation":[0,0,5]}],
      "meshes":[{"primitives":[{"attributes":{"POSITION":0,"NORMAL":1,"TEXCOORD_0":2},"indices":3,"mode":4}]}],
      "buffers":[{)" + uri + R"("byteLength":140}],
      "bufferViews":[{"buffer":0,"byteOffset":0,"byteLength":48},{"buffer":0,"byteOffset":48,"byteLength":48},
                     {"buffer":0,"byteOffset":96,"byteLength":32},{"buffer":0,"byteOffset":128,"byteLength":12}],
      "accessors":[{"bufferView":0,"componentType":5126,"count":4,"type":"VEC3","min":[0,0,0],"max":[1,1,0]},
                   {"bufferView":1,"componentType":5126,"count":4,"type":"VEC3"},
                   {"bufferView":2,"componentType":5126,"count":4,"type":"VEC2"},
                   {"bufferView":3,"componentType":5123,"count":6,"type":"SCALAR"}]})";
}

std::string glb(std::string json, std::string bin)
{
    while (json.size() % 4) json += ' ';
    while (bin.size() % 4) bin += '\0';
    std::string out = "glTF";
    append<uint32_t>(out, {2, uint32_t(12 + 8 + json.size() + 8 + bin.size())});
    append<uint32_t>(out, {uint32_t(json.size()), 0x4e4f534a}); // "JSON"
    out += json;
    append<uint32_t>(out, {uint32_t(bin.size()), 0x004e4942}); // "BIN\0"
    return out + bin;
}

const char *quadsObj = R"(# Blender 3.4.1
# www.blender.org
mtllib quads.mtl
o Plane
v 0.000000 0.000000 0.000000
v 1.000000 0.000000 0.000000
v 1.000000 1.000000 0.000000
v 0.000000 1.000000 0.000000
v 2.000000 0.000000 0.000000
v 2.000000 1.000000 0.000000
vn -0.0000 -0.0000 1.0000
vt 0.000000 0.000000
vt 1.000000 0.000000
vt 1.000000 1.000000
vt 0.000000 1.000000
s 0
usemtl Material
f 1/1/1 2/2/1 3/3/1 4/4/1
f -5//-1 -2//-1 -1//-1 -4//-1
)";
} // namespace

// ------------------------------------------------------- OBJ

TEST(ObjFiles, FacesWithEveryCornerFormAndNegativeIndices)
{
    std::vector<std::string> warnings;
    EXPECT_EQ(read(quadsObj, "quads.obj", &warnings), "points 6 prims 2\n"
                                                       "P: 0 0 0 1 0 0 1 1 0 0 1 0 2 0 0 2 1 0\n"
                                                       "N: 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1 0 0 1\n"
                                                       "uv: 0 0 0 1 0 0 1 1 0 0 1 0 0 0 0 0 0 0\n"
                                                       "closed 0 1 2 3\nclosed 1 4 5 2\n");
    EXPECT_TRUE(warnings.empty()) << ::testing::PrintToString(warnings);
    // Vertex colours, a w, 1-component texture coordinates and line continuation.
    EXPECT_EQ(read("v 0 0 0 1 0.5 0\nv 1 0 0 1\nv 0 1 0 \\\n 0 0 1\nvt 0.25\nf 1/1 2/1 3/1\n", "c.obj"),
              "points 3 prims 1\nP: 0 0 0 1 0 0 0 1 0\nCd: 1 0.5 0 0 0 0 0 0 1\nuv: 0.25 0 0 0.25 0 0 0.25 0 0\nclosed 0 1 2\n");
}

TEST(ObjFiles, LineChainsBecomeOnePolylineAndUnusedVerticesStayPoints)
{
    // Blender writes a curve converted to a mesh edge by edge; a second
    // object's chain does not join the first even where the vertices meet.
    const std::string obj = "o Curve\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 2 1 0.5\nv 9 9 9\n"
                            "l 1 2\nl 2 3\nl 3 4\no Other\nl 4 1\nl 1 3\nl 5 1\np 5\nl 1 2 3\n";
    EXPECT_EQ(read(obj, "curve.obj"), "points 5 prims 4\nP: 0 0 0 1 0 0 1 1 0 2 1 0.5 9 9 9\n"
                                      "open 0 1 2 3\nopen 3 0 2\nopen 4 0\nopen 0 1 2\n");
    // A cloud: vertices alone, or named by a point statement, are points.
    EXPECT_EQ(read("# cloud\nv 0 0 0\nv 1 2 3\nv -1 -2 -3\np 1 -1\n", "cloud.obj"), "points 3 prims 0\nP: 0 0 0 1 2 3 -1 -2 -3\n");
    // A scene with nothing in it, as an exporter writes it.
    EXPECT_EQ(read("# Blender 3.4.1\n# www.blender.org\n", "empty.obj"), "points 0 prims 0\nP:\n");
}

TEST(ObjFiles, DamageIsNamedByLine)
{
    EXPECT_EQ(readError("v 0 0 0\nv 1 x 0\n", "bad.obj"), "bad.obj: line 2: 'v': expected a number, found 'x'");
    EXPECT_EQ(readError("v 0 0\n", "bad.obj"), "bad.obj: line 1: 'v' takes 3 numbers (x y z), 4 (x y z w) or 6 (x y z r g b), found 2 value(s)");
    EXPECT_EQ(readError("v 0 0 0\nv 1 0 0\nv 0 1 0\n\nf 1 2 4\n", "bad.obj"), "bad.obj: line 5: vertex index 4 out of range (the file has 3 'v')");
    EXPECT_EQ(readError("v 0 0 0\nf 1 0 1\n", "bad.obj"), "bad.obj: line 2: 'f': vertex index 0 (indices count from 1, or back from -1)");
    EXPECT_EQ(readError("v 0 0 0\nl -1 -2\n", "bad.obj"), "bad.obj: line 2: 'l': vertex index -2 reaches before the first vertex (1 so far)");
    EXPECT_EQ(readError("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1/1 2/1 3/1\n", "bad.obj"),
              "bad.obj: line 4: texture coordinate index 1 out of range (the file has 0 'vt')");
    EXPECT_EQ(readError("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1/a 2 3\n", "bad.obj"), "bad.obj: line 4: 'f': expected a texture coordinate index, found 'a'");
    // Free-form geometry and unknown statements are skipped with a count.
    std::vector<std::string> warnings;
    read("v 0 0 0\ncstype bspline\ncurv 0 1 1\nfoo 1\nfoo 2\nf 1 1\n", "odd.obj", &warnings);
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "odd.obj: skipping 1 face(s) of fewer than 3 vertices",
                            "odd.obj: skipping 1 free-form curve and surface statement(s) ('cstype'): only polygons, lines and points are read",
                            "odd.obj: skipping 1 free-form curve and surface statement(s) ('curv'): only polygons, lines and points are read",
                            "odd.obj: skipping 2 line(s) of unknown statement 'foo'"}));
}

TEST(ObjFiles, CookLikeTheSameGeometryInHostFiles)
{
    if (!havePlugin("strandcast") || !havePlugin("skinweave")) GTEST_SKIP() << "plug-ins not built";
    openvdb::initialize();
    TempDir tmp;
    // The chain of segments and one open polygon through the same points.
    writeText(tmp / "chain.obj", "o Curve\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 2 1 0.5\nl 1 2\nl 2 3\nl 3 4\n");
    writeText(tmp / "chain.geo", R"(["pointcount",4,"vertexcount",4,"primitivecount",1,
      "topology",["pointref",["indices",[0,1,2,3]]],
      "attributes",["pointattributes",[[["scope","public","type","numeric","name","P"],
        ["size",3,"storage","fpreal32","values",["size",3,"storage","fpreal32","tuples",[[0,0,0],[1,0,0],[1,1,0],[2,1,0.5]]]]]]],
      "primitives",[[["type","Poly"],["vertex",[0,1,2,3],"closed",false]]]])");
    const std::string curveArgs = "-a pscale=0.3 -a density=1 -s divs=24,24,16 -s extendbounds=0.5,0.5,0.5";
    ASSERT_EQ(cook("strandcast", tmp / "chain.obj", tmp / "obj.vdb", curveArgs), "");
    ASSERT_EQ(cook("strandcast", tmp / "chain.geo", tmp / "geo.vdb", curveArgs), "");
    EXPECT_EQ(vdbcompare::compareFiles(tmp / "obj.vdb", tmp / "geo.vdb"), "");
    EXPECT_GT(floatGrid(readGrids(tmp / "obj.vdb"), "density")->activeVoxelCount(), 100u);

    // Quads against the same quads in a PLY.
    writeText(tmp / "quads.obj", quadsObj);
    writeText(tmp / "quads.ply", "ply\nformat ascii 1.0\nelement vertex 6\nproperty float x\nproperty float y\nproperty float z\n"
                                 "element face 2\nproperty list uchar int vertex_indices\nend_header\n"
                                 "0 0 0\n1 0 0\n1 1 0\n0 1 0\n2 0 0\n2 1 0\n4 0 1 2 3\n4 1 4 5 2\n");
    const std::string quadArgs = "-a pscale=0.2 -a density=1 -s divs=24,16,8";
    ASSERT_EQ(cook("skinweave", tmp / "quads.obj", tmp / "qobj.vdb", quadArgs + " --attrib-override N=0,0,1 --attrib-override uv=0,0,0"), "");
    ASSERT_EQ(cook("skinweave", tmp / "quads.ply", tmp / "qply.vdb", quadArgs + " -a N=0,0,1 -a uv=0,0,0"), "");
    EXPECT_EQ(vdbcompare::compareFiles(tmp / "qobj.vdb", tmp / "qply.vdb"), "");
    EXPECT_GT(floatGrid(readGrids(tmp / "qobj.vdb"), "density")->activeVoxelCount(), 100u);
}

// ------------------------------------------------------- STL, glTF, FBX

TEST(LibraryMeshes, StlAsciiAndBinaryShareTheirCorners)
{
    const char *ascii = "solid hand\n facet normal 0 0 1\n  outer loop\n   vertex 0 0 0\n   vertex 1 0 0\n   vertex 1 1 0\n  endloop\n endfacet\n"
                        " facet normal 0 0 1\n  outer loop\n   vertex 0 0 0\n   vertex 1 1 0\n   vertex 0 1 0\n  endloop\n endfacet\nendsolid hand\n";
    std::string binary = "solid but binary" + std::string(64, ' ');
    append<uint32_t>(binary, {2});
    for (auto tri : {std::initializer_list<float>{0, 0, 1, 0, 0, 0, 1, 0, 0, 1, 1, 0}, std::initializer_list<float>{0, 0, 1, 0, 0, 0, 1, 1, 0, 0, 1, 0}})
        append<float>(binary, tri), append<uint16_t>(binary, {0});
    const std::string a = read(ascii, "hand.stl"), b = read(binary, "hand.dat");
    EXPECT_EQ(a, b);
    EXPECT_NE(a.find("points 4 prims 2\n"), std::string::npos) << a;
    EXPECT_NE(a.find("closed"), std::string::npos) << a;
    // Cut short or damaged: one line naming the file.
    EXPECT_EQ(readError(binary.substr(0, binary.size() - 10), "cut.stl"), "cut.stl: binary STL of 2 triangles needs 184 bytes, the file has 174 (cut short?)");
    std::string e = readError(binary.substr(0, 90), "cut.stl");
    EXPECT_EQ(e, "cut.stl: binary STL of 2 triangles needs 184 bytes, the file has 90 (cut short?)");
    // No triangles at all: an empty input, as in every other format.
    EXPECT_EQ(read("solid empty\nendsolid empty\n", "empty.stl"), "points 0 prims 0\nP:\n");
    EXPECT_EQ(read(binary.substr(0, 80) + std::string(4, '\0'), "empty.stl"), "points 0 prims 0\nP:\n");
    e = readError("solid x\n facet normal 0 0 1\n  outer loop\n   vertex 0 zz 0\n", "bad.stl");
    EXPECT_EQ(e.find('\n'), std::string::npos) << e;
    EXPECT_EQ(e.rfind("bad.stl: ", 0), 0u) << e;
}

TEST(LibraryMeshes, GltfEmbeddedBinaryAndSeparateBuffers)
{
    const std::string expected = "points 4 prims 2\nP: 0 0 5 1 0 5 1 1 5 0 1 5\nN: 0 0 1 0 0 1 0 0 1 0 0 1\n";
    const std::string embedded = read(gltfJson("data:application/octet-stream;base64," + base64(gltfBuffer())), "quad.gltf");
    EXPECT_EQ(embedded.substr(0, expected.size()), expected) << embedded;
    EXPECT_NE(embedded.find("uv: "), std::string::npos) << embedded;
    EXPECT_NE(embedded.find("closed 0 1 2\nclosed 0 2 3\n"), std::string::npos) << embedded;
    EXPECT_EQ(read(glb(gltfJson(""), gltfBuffer()), "quad.glb"), embedded);
    // A .gltf beside its .bin, under a name that says neither.
    TempDir tmp;
    writeText(tmp / "quad.bin", gltfBuffer());
    writeText(tmp / "quad.data", gltfJson("quad.bin"));
    GU_Detail gdp;
    std::vector<std::string> warnings;
    sopcook::readGeometryFile(tmp / "quad.data", gdp, warnings);
    EXPECT_EQ(describe(gdp, meshText), embedded);

    // Damage: one line naming the file, never a crash.
    for (const std::string &bad : {gltfJson("missing.bin"), gltfJson("data:application/octet-stream;base64,AAAA"),
                                   std::string(R"({"asset":{"version":"2.0"},"meshes":[{"primitives":[{"attributes":{"POSITION":7}}]}]})"),
                                   glb(gltfJson(""), gltfBuffer()).substr(0, 200), std::string(R"({"asset":{"version":"2.0"}, "nodes":[)")})
    {
        std::string e = readError(bad, tmp / "bad.gltf");
        EXPECT_EQ(e.rfind(tmp / "bad.gltf: ", 0), 0u) << e;
        EXPECT_EQ(e.find('\n'), std::string::npos) << e;
    }
    EXPECT_EQ(readError(R"({"asset":{"version":"2.0"}, "nodes":[)", "cut.gltf"),
              "cut.gltf: not valid glTF JSON: parse error at line 1, column 38: syntax error while parsing value - unexpected end of input; expected '[', '{', or a literal");
    std::string e = readError(std::string("Kaydara FBX Binary  \0\x1a\0", 23) + std::string(40, '\xff'), "broken.fbx");
    EXPECT_EQ(e.rfind("broken.fbx: cannot read the FBX file: ", 0), 0u) << e;
}

TEST(LibraryMeshes, StlCooksThroughTheCommandLine)
{
    if (!havePlugin("billowfold")) GTEST_SKIP() << "billowfold not built";
    TempDir tmp;
    writeText(tmp / "tri.stl", "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\nendloop\nendfacet\nendsolid t\n");
    ASSERT_EQ(cook("billowfold", tmp / "tri.stl", tmp / "t.vdb", "-a density=1 -a pscale=0.3 -s divs=16,16,16"), "");
    EXPECT_GT(floatGrid(readGrids(tmp / "t.vdb"), "density")->activeVoxelCount(), 10u);
}

// ------------------------------------------- Blender's own exports, X3D

namespace
{
// The positions of a detail's points, rounded, sorted, as text: the same
// mesh read from formats that number its points differently.
std::string positions(const GU_Detail &gdp)
{
    std::vector<std::string> out;
    for (GA_Offset p = 0; p < gdp.getNumPoints(); ++p)
    {
        UT_Vector3 P = gdp.getPos3(p);
        char buf[64];
        auto r = [](float v) { double x = std::round(v * 1000) / 1000; return x == 0 ? 0.0 : x; };
        std::snprintf(buf, sizeof buf, "(%g %g %g)", r(P.x()), r(P.y()), r(P.z()));
        out.push_back(buf);
    }
    std::sort(out.begin(), out.end());
    std::string s;
    for (const std::string &p : out) s += p;
    return s;
}

// Vertex counts of the primitives: "9 x 4" for nine quads.
std::string polygonSizes(const GU_Detail &gdp)
{
    std::map<int, int> sizes;
    for (GA_Offset p = 0; p < gdp.getNumPrimitives(); ++p) ++sizes[gdp.getPrimitive(p)->getVertexCount()];
    std::string s;
    for (auto [n, count] : sizes) s += (s.empty() ? "" : ", ") + std::to_string(count) + " x " + std::to_string(n);
    return s;
}

void readFile(const std::string &path, GU_Detail &gdp)
{
    std::vector<std::string> warnings;
    sopcook::readGeometryFile(path, gdp, warnings);
}

const std::string blenderData = std::string(SUITE_TEST_DATA) + "/blender/";
} // namespace

// Blender 3.4 exported one 3 x 3 grid of quads at z = 1 (export_grid.py):
// FBX and glTF as Blender writes them (y up), STL (triangles, z up) and X3D.
TEST(BlenderExports, EveryFormatGivesTheGridItsExporterWrote)
{
    GU_Detail fbx, glb, x3d, stl;
    readFile(blenderData + "grid.fbx", fbx);
    readFile(blenderData + "grid.glb", glb);
    readFile(blenderData + "grid.x3d", x3d);
    readFile(blenderData + "grid.stl", stl);
    for (const GU_Detail *g : {&fbx, &glb, &x3d, &stl}) EXPECT_EQ(g->getNumPoints(), 16);
    EXPECT_EQ(polygonSizes(fbx), "9 x 4");
    EXPECT_EQ(polygonSizes(x3d), "9 x 4");
    EXPECT_EQ(polygonSizes(glb), "18 x 3"); // glTF holds triangles only
    EXPECT_EQ(polygonSizes(stl), "18 x 3");
    EXPECT_EQ(positions(fbx), positions(glb));
    EXPECT_EQ(positions(x3d), positions(glb));
    // Every corner of the y-up files at height 1; STL keeps Blender's z up.
    for (GA_Offset p = 0; p < 16; ++p)
    {
        EXPECT_NEAR(glb.getPos3(p).y(), 1.0f, 1e-5f);
        EXPECT_NEAR(stl.getPos3(p).z(), 1.0f, 1e-5f);
    }
    // Normals and uv come with the faces (the STL has neither).
    for (const GU_Detail *g : {&fbx, &glb, &x3d})
        EXPECT_TRUE(g->findFloatTuple(GA_ATTRIB_POINT, "uv", 2).isValid());
    EXPECT_TRUE(fbx.findFloatTuple(GA_ATTRIB_POINT, "N", 3).isValid());
    EXPECT_FALSE(stl.findFloatTuple(GA_ATTRIB_POINT, "uv", 2).isValid());
}

TEST(BlenderExports, FbxQuadsCookThroughSkinweave)
{
    if (!havePlugin("skinweave")) GTEST_SKIP() << "skinweave not built";
    TempDir tmp;
    ASSERT_EQ(cook("skinweave", blenderData + "grid.fbx", tmp / "fbx.vdb",
                   "-a density=1 -a pscale=0.1 -s divs=24,8,24 -s extendbounds=0.2,0.2,0.2"),
              "");
    EXPECT_GT(floatGrid(readGrids(tmp / "fbx.vdb"), "density")->activeVoxelCount(), 100u);
}

// X3D by hand: face sets, point sets and line sets, found by content under any name.
TEST(X3dFiles, ShapesBecomePolygonsPointsAndCurves)
{
    const std::string shapes = R"(<?xml version="1.0" encoding="UTF-8"?>
<X3D version="3.0"><Scene>
 <Transform translation="0 0 5"><Shape><IndexedFaceSet coordIndex="0 1 2 3 -1">
  <Coordinate point="0 0 0 1 0 0 1 1 0 0 1 0"/></IndexedFaceSet></Shape></Transform>
 <Shape><PointSet><Coordinate point="7 7 7 8 8 8"/></PointSet></Shape>
 <Shape><IndexedLineSet coordIndex="0 1 -1 1 2 -1"><Coordinate point="0 0 9 1 0 9 2 1 9"/></IndexedLineSet></Shape>
</Scene></X3D>
)";
    std::vector<std::string> warnings;
    GU_Detail gdp;
    sopcook::readGeometryBytes(shapes, "shapes.xml", gdp, warnings);
    EXPECT_EQ(positions(gdp), "(0 0 5)(0 0 9)(0 1 5)(1 0 5)(1 0 9)(1 1 5)(2 1 9)(7 7 7)(8 8 8)");
    // The quad closed; the two segments sharing a point joined into one open polyline.
    ASSERT_EQ(gdp.getNumPrimitives(), 2);
    for (GA_Offset p = 0; p < 2; ++p)
    {
        auto *poly = dynamic_cast<const GEO_PrimPoly *>(gdp.getPrimitive(p));
        ASSERT_NE(poly, nullptr);
        EXPECT_EQ(poly->getVertexCount(), poly->isClosed() ? 4 : 3);
        EXPECT_EQ(gdp.getPos3(poly->getPointOffset(0)).z(), poly->isClosed() ? 5.0f : 9.0f);
    }
    EXPECT_TRUE(warnings.empty());

    // The classic encoding is refused in one sentence; damage names the file.
    EXPECT_EQ(readError("#X3D V3.0 utf8\nPROFILE Immersive\nShape {}\n", "c.x3dv"),
              "c.x3dv: unknown geometry format: looks like X3D or VRML in the classic encoding, which is not read: "
              "export X3D as XML (.x3d) (input geometry is host .geo/.bgeo (plain, .gz or .sc), classic geometry, "
              "PLY, OBJ, STL, glTF, FBX or X3D)");
    std::string e = readError(shapes.substr(0, 150), "cut.x3d");
    EXPECT_EQ(e.rfind("cut.x3d: ", 0), 0u) << e;
}
