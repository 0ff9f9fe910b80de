// SPDX-License-Identifier: Apache-2.0
// Input files as caches and other programs leave them: empty caches in every
// layout and format (a simulation's first frames), and files whose name does
// not say what they hold.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include <zlib.h>

#include "BinaryJsonWriter.h"
#include "GEO/GEO_PrimPoly.h"
#include "Messages.h"
#include "ReaderTesting.h"
#include "io/GeometryFile.h"

namespace
{
using json = nlohmann::json;
using sopcook::Error;
using namespace readertesting;
const std::string dataDir = SUITE_TEST_DATA;

std::string readFile(const std::string &path)
{
    GU_Detail gdp;
    std::vector<std::string> warnings;
    sopcook::readGeometryFile(path, gdp, warnings);
    return describe(gdp);
}

std::vector<std::pair<std::string, testing_bgeo::Options>> binaryEncodings()
{
    testing_bgeo::Options tokens, big;
    tokens.uniform = false;
    tokens.stringTable = false;
    big.bigEndian = true;
    return {{"uniform arrays", {}}, {"one token per value", tokens}, {"big-endian", big}};
}

// A zero-point cache as the host writes it: P homogeneous (4 components) as
// empty "tuples", and every other layout an empty attribute can take.
const char *emptyHostCache = R"([
  "fileversion","16.5.496","hasindex",false,"pointcount",0,"vertexcount",0,"primitivecount",0,
  "info",["software","host 16.5","bounds",[0,0,0,0,0,0]],
  "topology",["pointref",["indices",[]]],
  "attributes",[
   "pointattributes",[
    [["scope","public","type","numeric","name","P","options",{"type":{"type":"string","value":"hpoint"}}],
     ["size",4,"storage","fpreal32","defaults",["size",4,"storage","fpreal64","values",[0,0,0,1]],
      "values",["size",4,"storage","fpreal32","tuples",[]]]],
    [["scope","public","type","numeric","name","Cd"],["size",3,"storage","fpreal32","values",["size",3,"storage","fpreal32","arrays",[]]]],
    [["scope","public","type","numeric","name","v"],["size",3,"storage","fpreal32","values",["size",3,"storage","fpreal32","arrays",[[],[],[]]]]],
    [["scope","public","type","numeric","name","pscale"],["size",1,"storage","fpreal32","values",["size",1,"storage","fpreal32","arrays",[[]]]]],
    [["scope","public","type","numeric","name","id"],["size",1,"storage","int32","values",["size",1,"storage","int32","tuples",[]]]],
    [["scope","public","type","numeric","name","rest"],["size",3,"storage","fpreal32","values",["size",4,"storage","fpreal32","pagesize",1024,
      "packing",[3,1],"constantpageflags",[[],[]],"rawpagedata",[]]]],
    [["scope","public","type","numeric","name","age"],["size",1,"storage","fpreal32","values",["size",1,"storage","fpreal32","pagesize",1024,
      "constantpageflags",[],"rawpagedata",[]]]],
    [["scope","public","type","string","name","name"],["size",1,"storage","int32","strings",[],"indices",["size",1,"storage","int32","arrays",[[]]]]],
    [["scope","public","type","string","name","kind"],["size",1,"storage","int32","strings",[],"indices",["size",1,"storage","int32","pagesize",1024,"rawpagedata",[]]]]],
   "vertexattributes",[
    [["scope","public","type","numeric","name","N"],["size",3,"storage","fpreal32","values",["size",3,"storage","fpreal32","tuples",[]]]]],
   "primitiveattributes",[
    [["scope","public","type","numeric","name","primid"],["size",1,"storage","int32","values",["size",1,"storage","int32","arrays",[[]]]]],
    [["scope","public","type","string","name","path"],["size",1,"storage","int32","strings",[],"indices",["size",1,"storage","int32","tuples",[]]]]],
   "globalattributes",[
    [["scope","public","type","numeric","name","frame"],["size",1,"storage","fpreal32","values",["size",1,"storage","fpreal32","arrays",[[1]]]]]]],
  "primitives",[]])";

// The same empty cache with its primitive lists written as empty runs.
const char *emptyRuns = R"(["pointcount",0,"vertexcount",0,"primitivecount",0,
  "topology",["pointref",["indices",[]]],
  "primitives",[[["type","p_r"],["s_v",0,"n_p",0,"r_v",[]]],
                [["type","PolygonCurve_run"],["startvertex",0,"nprimitives",0,"nvertices",[]]],
                [["type","run","runtype","Poly","varyingfields",["vertex"],"uniformfields",{"closed":true}],[]]]])";

const std::string emptyExpected = "points 0 prims 0\n"
                                  "point P[3]:\npoint Cd[3]:\npoint v[3]:\npoint pscale[1]:\npoint id[1]:\npoint rest[4]:\n"
                                  "point age[1]:\npoint name[1]:\npoint kind[1]:\npoint N[3]:\n"
                                  "prim primid[1]:\nprim path[1]:\n"
                                  "global frame[1]: 1\n";

std::string classicBinary(int points)
{
    std::string b = "BgeoV";
    auto i32 = [&](int32_t v) { for (int s = 24; s >= 0; s -= 8) b.push_back(char((uint32_t(v) >> s) & 0xff)); };
    auto f32 = [&](float f) { uint32_t u; std::memcpy(&u, &f, 4); i32(int32_t(u)); };
    i32(5);
    for (int32_t c : {points, 0, 0, 0, 1, 0, 0, 0}) i32(c);
    b += std::string("\x00\x06pscale\x00\x01", 10), i32(0), f32(1);
    for (int p = 0; p < points; ++p) f32(float(p)), f32(0), f32(0), f32(1), f32(0.5f);
    return b + std::string("\x00\xff", 2);
}

std::string plyHeader(const std::string &format, int vertices, int faces)
{
    return "ply\nformat " + format + " 1.0\nelement vertex " + std::to_string(vertices) +
           "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n"
           "element face " + std::to_string(faces) + "\nproperty list uchar int vertex_indices\nend_header\n";
}
} // namespace

// ------------------------------------------------------- empty caches

TEST(EmptyCaches, JsonGeometryInEveryLayoutAndEncodingReadsAsNothing)
{
    std::vector<std::string> asciiWarnings;
    EXPECT_EQ(readBytes(emptyHostCache, "empty.geo", &asciiWarnings), emptyExpected);
    EXPECT_EQ(asciiWarnings, std::vector<std::string>{});
    EXPECT_EQ(readBytes(gzip(emptyHostCache), "empty.geo.gz"), emptyExpected);
    EXPECT_EQ(readBytes(emptyRuns, "runs.geo"), "points 0 prims 0\npoint P[3]:\n");
    for (auto &enc : binaryEncodings())
    {
        const std::string bytes = testing_bgeo::encode(json::parse(emptyHostCache), enc.second);
        std::vector<std::string> warnings;
        EXPECT_EQ(readBytes(bytes, "empty.bgeo", &warnings), emptyExpected) << enc.first;
        EXPECT_EQ(warnings, asciiWarnings) << enc.first;
        EXPECT_EQ(readBytes(gzip(bytes), "empty.bgeo.gz"), emptyExpected) << enc.first;
        EXPECT_EQ(readBytes(testing_bgeo::encode(json::parse(emptyRuns), enc.second), "runs.bgeo"), "points 0 prims 0\npoint P[3]:\n") << enc.first;
    }
    // No topology, attributes or primitives at all: a bare count.
    EXPECT_EQ(readBytes(R"(["pointcount",0])", "bare.geo"), "points 0 prims 0\npoint P[3]:\n");
    EXPECT_EQ(readBytes(R"({"pointcount":0,"vertexcount":0,"primitivecount":0,"primitives":[]})", "object.json"), "points 0 prims 0\npoint P[3]:\n");
}

TEST(EmptyCaches, EmptyListsStillHaveToAgreeWithTheCounts)
{
    // An empty list where elements are due is damage, not an empty cache.
    std::string e = errorOf([] {
        readBytes(R"(["pointcount",2,"attributes",["pointattributes",[[["name","P"],["size",3,"values",["size",3,"tuples",[]]]]]]])", "short.geo");
    });
    EXPECT_EQ(e, "short.geo: attributes/pointattributes[0]/P/values/tuples: expected 2 tuples, found 0");
    e = errorOf([] {
        readBytes(R"(["pointcount",2,"attributes",["pointattributes",[[["name","Cd"],["size",3,"values",["size",3,"arrays",[]]]]]]])", "short.geo");
    });
    EXPECT_EQ(e, "short.geo: attributes/pointattributes[0]/Cd/values/arrays: expected 3 component arrays, found 0");
    e = errorOf([] { readBytes(R"(["pointcount",0,"vertexcount",3,"topology",["pointref",["indices",[]]]])", "short.geo"); });
    EXPECT_EQ(e, "short.geo: topology/pointref/indices: expected 3 vertices (vertexcount), found 0");
    e = errorOf([] { readBytes(R"(["pointcount",0,"primitivecount",1,"primitives",[]])", "short.geo"); });
    EXPECT_EQ(e, "short.geo: primitives: expected 1 primitives (primitivecount), found 0");
    // Empty component lists cannot hide values in the others.
    e = errorOf([] {
        readBytes(R"(["pointcount",0,"attributes",["pointattributes",[[["name","Cd"],["size",3,"values",["size",3,"arrays",[[],[1],[]]]]]]]])", "odd.geo");
    });
    EXPECT_EQ(e, "odd.geo: attributes/pointattributes[0]/Cd/values/arrays[1]: expected 0 values, found 1");
}

TEST(EmptyCaches, ClassicAndPlyFilesWithNoElements)
{
    const char *classic = "PGEOMETRY V5\nNPoints 0 NPrims 0\nNPointGroups 0 NPrimGroups 0\n"
                          "NPointAttrib 1 NVertexAttrib 0 NPrimAttrib 0 NAttrib 0\nPointAttrib\nCd 3 float 1 1 1\n"
                          "beginExtra\nendExtra\n";
    EXPECT_EQ(readBytes(classic, "empty.hclassic"), "points 0 prims 0\npoint P[3]:\npoint Cd[3]:\n");
    EXPECT_EQ(readBytes(classicBinary(0), "empty.bhclassic"), "points 0 prims 0\npoint P[3]:\npoint pscale[1]:\n");
    EXPECT_EQ(readBytes(gzip(classicBinary(0)), "empty.bgeo"), "points 0 prims 0\npoint P[3]:\npoint pscale[1]:\n");
    for (const char *format : {"ascii", "binary_little_endian", "binary_big_endian"})
        EXPECT_EQ(readBytes(plyHeader(format, 0, 0), "empty.ply"), "points 0 prims 0\npoint P[3]:\npoint Cd[3]:\n") << format;
}
// ------------------------------------------------------- names that lie

TEST(FormatDetection, EveryFormatIsReadWhateverItsName)
{
    const std::string dir = ::testing::TempDir();
    auto write = [&](const std::string &name, const std::string &bytes) {
        std::ofstream(dir + name, std::ios::binary) << bytes;
        return dir + name;
    };
    const std::string ascii = fileText(dataDir + "/points.geo");
    const std::string expected = readBytes(ascii, "points.geo");
    const std::string binary = testing_bgeo::encode(json::parse(ascii));
    EXPECT_EQ(readFile(write("cache.txt", ascii)), expected);
    EXPECT_EQ(readFile(write("cache.dat", binary)), expected);
    EXPECT_EQ(readFile(write("cache", gzip(binary))), expected);
    EXPECT_EQ(readFile(write("cache.bgeo.sc.bak", gzip(ascii))), expected);

    std::string ply = plyHeader("ascii", 3, 1) + "0 0 0 255 0 0\n1 0 0 0 255 0\n0 1 0 0 0 255\n3 0 1 2\n";
    const std::string plyExpected = readBytes(ply, "tri.ply");
    EXPECT_NE(plyExpected.find("closed 0 1 2"), std::string::npos) << plyExpected;
    EXPECT_EQ(readFile(write("scan.dat", ply)), plyExpected);
    EXPECT_EQ(readFile(write("scan.PLY.old", ply)), plyExpected);
    EXPECT_EQ(readFile(write("particles.txt", classicBinary(2))), readBytes(classicBinary(2), "p.bhclassic"));
    const std::string obj = "# exported\n\nmtllib a.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
    EXPECT_EQ(readFile(write("mesh.txt", obj)), readBytes(obj, "mesh.obj"));
    EXPECT_NE(readBytes(obj, "mesh.obj").find("closed 0 1 2"), std::string::npos);
    // A lone smoothing flag or a cut-off container magic is not an OBJ.
    EXPECT_NE(errorOf([&] { readFile(write("s.obj", "s\n")); }).find("unknown geometry format: text starting 's'"), std::string::npos);
}

TEST(FormatDetection, UnknownContentIsNamedByWhatItLooksLike)
{
    const std::string dir = ::testing::TempDir();
    auto errorFor = [&](const std::string &name, const std::string &bytes) {
        std::ofstream(dir + name, std::ios::binary) << bytes;
        std::string e = errorOf([&] { readFile(dir + name); });
        return e.substr(0, e.find(" (input geometry is"));
    };
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + std::string(20, '\0');
    EXPECT_EQ(errorFor("pic.geo", png), dir + "pic.geo: unknown geometry format: looks like a PNG image");
    EXPECT_EQ(errorFor("notes.bgeo", "hello world, this is not geometry\n"),
              dir + "notes.bgeo: unknown geometry format: text starting 'hello world, this is not geometry'");
    EXPECT_EQ(errorFor("blob.ply", std::string("\x01\x02\x03\xfe\xff\x00\x10", 7)), dir + "blob.ply: unknown geometry format: binary data");
    EXPECT_EQ(errorFor("nothing.geo", ""), dir + "nothing.geo: unknown geometry format: the file is empty");
    EXPECT_EQ(errorFor("anim.obj", "GIF89a" + std::string(10, '\0')), dir + "anim.obj: unknown geometry format: looks like a GIF image");
    EXPECT_EQ(errorFor("volume.geo", std::string(" BDV") + std::string(20, '\0')),
              dir + "volume.geo: unknown geometry format: looks like an OpenVDB volume (a .vdb output, not input geometry)");
    // Other JSON is not geometry, whatever it is named.
    EXPECT_EQ(errorFor("camera.geo", R"({"focal": 50})"), dir + "camera.geo: not host JSON geometry (no \"pointcount\" key)");
}
