// SPDX-License-Identifier: Apache-2.0
// Geometry readers: binary JSON geometry against its ASCII twin, compressed
// containers, layouts newer hosts write, skipped primitive types, classic
// formats, the host geometry and PLY files under data/ and damaged input.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include <blosc.h>
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

// The host's seekable container: Blosc chunks of chunkSize bytes and the index.
std::string bloscContainer(const std::string &payload, size_t chunkSize)
{
    auto bigEndian = [](uint64_t v) {
        std::string s(8, '\0');
        for (int i = 7; i >= 0; --i, v >>= 8) s[size_t(i)] = char(v & 0xff);
        return s;
    };
    std::string out = std::string("scf1") + std::string(8, '\0');
    std::vector<uint64_t> offsets;
    for (size_t at = 0; at < payload.size(); at += chunkSize)
    {
        size_t n = std::min(chunkSize, payload.size() - at);
        std::string chunk(n + BLOSC_MAX_OVERHEAD, '\0');
        int c = blosc_compress_ctx(9, 1, 4, n, payload.data() + at, &chunk[0], chunk.size(), "lz4", 0, 1);
        if (at > 0) offsets.push_back(out.size() - 12);
        out += chunk.substr(0, size_t(c));
    }
    std::string index;
    for (uint64_t o : offsets) index += bigEndian(o);
    index += bigEndian(chunkSize) + bigEndian(payload.size() - offsets.size() * chunkSize);
    return out + index + bigEndian(index.size()) + "1fcs";
}

std::vector<std::pair<std::string, testing_bgeo::Options>> encodings()
{
    testing_bgeo::Options tokens, big, exotic, wide;
    tokens.uniform = false;
    tokens.stringTable = false;
    big.bigEndian = true;
    exotic.exotic = true;
    exotic.uniform = false;
    wide.wideLengths = true;
    return {{"uniform arrays, string table", {}}, {"one token per value, inline strings", tokens},
            {"big-endian", big}, {"uint8/uint16/real16/bool-byte tokens", exotic}, {"8-byte lengths", wide}};
}

// A paged cache the way hosts write binary files: several pages, packing with
// a constant group, short primitive-run names and a seek index.
const char *pagedScene = R"([
  "fileversion","19.5.569","hasindex",true,"pointcount",5,"vertexcount",5,"primitivecount",2,
  "info",{"software":"test"},
  "topology",["pointref",["indices",[0,1,2,3,4]]],
  "attributes",["pointattributes",[
    [["scope","public","type","numeric","name","P"],
     ["size",3,"storage","fpreal32","values",["size",4,"storage","fpreal32","pagesize",2,"packing",[3,1],
       "constantpageflags",[[false,false,true],[true,true,true]],
       "rawpagedata",[0,0,0, 1,0,0, 1, 0,1,0, 0,0,1, 1, 5,6,7, 1]]]],
    [["scope","public","type","string","name","name"],
     ["size",1,"storage","int32","strings",["a","b"],"indices",["size",1,"storage","int32","pagesize",2,
       "constantpageflags",[[true,false,false]],"rawpagedata",[1, 0,1, -1]]]]],
   "primitiveattributes",[[["scope","public","type","numeric","name","id"],
     ["size",1,"storage","int32","values",["size",1,"storage","int32","arrays",[[7,8]]]]]]],
  "primitives",[[["type","p_r"],["s_v",0,"n_p",1,"n_v",[3]]],[["type","c_r"],["s_v",3,"n_p",1,"r_v",[2,1]]]],
  "index",["integerentries",{},"stringentries",{},"integerkeyentires",{},"stringkeyentries",{}],
  "indexposition",102])";
} // namespace

// ------------------------------------------------------- binary twins

TEST(BinaryGeometry, EveryEncodingReadsLikeItsAsciiTwin)
{
    std::vector<std::pair<std::string, std::string>> scenes = {{"paged.geo", pagedScene}};
    for (const char *f : {"points.geo", "curves_run.geo"}) scenes.emplace_back(f, fileText(dataDir + "/" + f));
    for (auto &scene : scenes)
    {
        std::vector<std::string> asciiWarnings;
        const std::string expected = readBytes(scene.second, scene.first, &asciiWarnings);
        for (auto &enc : encodings())
        {
            std::string bytes = testing_bgeo::encode(json::parse(scene.second), enc.second);
            std::vector<std::string> warnings;
            EXPECT_EQ(readBytes(bytes, scene.first, &warnings), expected) << scene.first << ", " << enc.first;
            EXPECT_EQ(warnings, asciiWarnings) << scene.first << ", " << enc.first;
            EXPECT_EQ(readBytes(gzip(bytes), scene.first + ".gz"), expected) << "gzipped " << enc.first;
        }
        std::string bytes = testing_bgeo::encode(json::parse(scene.second));
        EXPECT_EQ(readBytes(bloscContainer(bytes, 64), scene.first + ".sc"), expected) << scene.first << " in 64-byte chunks";
        EXPECT_EQ(readBytes(bloscContainer(bytes, 1 << 20), scene.first + ".sc"), expected) << scene.first << " in one chunk";
        EXPECT_EQ(readBytes(gzip(scene.second), scene.first + ".gz"), expected) << "gzipped ASCII";
    }
    EXPECT_NE(readBytes(pagedScene, "paged.geo").find("point P[3]: 0 0 0 1 0 0 0 1 0 0 0 1 5 6 7"), std::string::npos)
        << readBytes(pagedScene, "paged.geo");
    EXPECT_NE(readBytes(pagedScene, "paged.geo").find("point name[1]: 'b' 'b' 'a' 'b' ''"), std::string::npos);
}

TEST(BinaryGeometry, FormatIsToldByContentNotName)
{
    const std::string ascii = fileText(dataDir + "/points.geo");
    const std::string expected = readBytes(ascii, "points.geo");
    const std::string dir = ::testing::TempDir();
    auto roundTrip = [&](const std::string &name, const std::string &bytes) {
        std::ofstream(dir + name, std::ios::binary) << bytes;
        GU_Detail gdp;
        std::vector<std::string> warnings;
        sopcook::readGeometryFile(dir + name, gdp, warnings);
        return describe(gdp);
    };
    const std::string binary = testing_bgeo::encode(json::parse(ascii));
    EXPECT_EQ(roundTrip("binary_named.geo", binary), expected);
    EXPECT_EQ(roundTrip("ascii_named.bgeo", ascii), expected);
    EXPECT_EQ(roundTrip("plain_named.bgeo.gz", binary), expected);
    EXPECT_EQ(roundTrip("gzip_named.bgeo", gzip(binary)), expected);
    EXPECT_EQ(roundTrip("cache.bgeo.sc", bloscContainer(binary, 100)), expected);
}

// ------------------------------------------------------- damaged input

TEST(BinaryGeometry, EveryTruncationFailsWithOneMessage)
{
    const std::string bytes = testing_bgeo::encode(json::parse(pagedScene));
    for (size_t n = 0; n < bytes.size(); ++n)
    {
        GU_Detail gdp;
        std::vector<std::string> warnings;
        EXPECT_THROW(sopcook::readGeometryBytes(bytes.substr(0, n), "cut.bgeo", gdp, warnings), Error) << n << " bytes";
    }
    const std::string packed = gzip(bytes), sc = bloscContainer(bytes, 128);
    for (const std::string *whole : {&packed, &sc})
        for (size_t n = 0; n < whole->size(); ++n)
        {
            GU_Detail gdp;
            std::vector<std::string> warnings;
            EXPECT_THROW(sopcook::readGeometryBytes(whole->substr(0, n), "cut.bgeo.gz", gdp, warnings), Error) << n << " bytes";
        }
}

TEST(BinaryGeometry, DamageIsNamedByByteOffsetAndPlace)
{
    const std::string magic = std::string("\x7f") + "NSJb";
    auto error = [&](const std::string &body) {
        return errorOf([&] {
            GU_Detail gdp;
            std::vector<std::string> warnings;
            sopcook::readGeometryBytes(magic + body, "bad.bgeo", gdp, warnings);
        });
    };
    // ["pointcount", <bad>]
    const std::string prefix = std::string("\x5b\x27\x0a") + "pointcount";
    EXPECT_EQ(error(prefix + "\x99"), "bad.bgeo: byte 18: pointcount: unknown token 0x99");
    EXPECT_EQ(error(prefix + "\x26\x05"), "bad.bgeo: byte 19: pointcount: reference to undefined string id 5");
    EXPECT_EQ(error(prefix + std::string("\x40\x19\xf4\xff\xff\xff\x0f", 7)),
              "bad.bgeo: byte 18: pointcount: uniform array of 268435455 elements runs past the end");
    EXPECT_EQ(error(prefix + "\x27\xf3"), "bad.bgeo: byte 19: pointcount: reserved length byte 0xf3 in a string");
    EXPECT_NE(error(std::string(100000, '\x5b')).find("nested deeper than 256 levels"), std::string::npos);
    EXPECT_NE(error(prefix + "\x11\x05\x5d\x5d").find("after the document"), std::string::npos);
    EXPECT_EQ(error(std::string("\x5b\x27\x0a") + "pointcount" + "\x14" + std::string("\xff\xff\xff\xff\xff\xff\xff\x7f", 8) + "\x5d"),
              "bad.bgeo: pointcount: count 9223372036854775807 out of range");
    // A schema error deep in the document names its path.
    std::string text = fileText(dataDir + "/points.geo");
    text.replace(text.find("[[1, 0.5, 2, 1, 0.25]]"), 22, "[[1, 2]]");
    json doc = json::parse(text);
    std::string e = errorOf([&] { readBytes(testing_bgeo::encode(doc), "short.bgeo"); });
    EXPECT_NE(e.find("attributes/pointattributes[1]/density/values/arrays[0]: expected 5 values, found 2"), std::string::npos) << e;
}

// ------------------------------------------------------- layouts and types

TEST(GeometryLayouts, UnreadPrimitiveTypesAreSkippedAndCounted)
{
    // A tetrahedral mesh block, a packed primitive, a run of spheres and a
    // run of polygons: only the polygons are built, each other type is named
    // once with its count, and primitive attributes stay aligned.
    const char *text = R"(["pointcount",4,"vertexcount",12,"primitivecount",7,
      "topology",["pointref",["indices",[0,1,2,3, 0,1,2, 3, 0,1,2,3]]],
      "attributes",["primitiveattributes",[[["scope","public","type","numeric","name","id"],
        ["size",1,"values",["size",1,"arrays",[[1,2,3,4,5,6,7]]]]]]],
      "primitives",[
        [["type","Tetrahedron_run"],["startvertex",0,"nprimitives",2]],
        [["type","PackedGeometry"],["parameters",["pivot",[0,0,0]]]],
        [["type","run","runtype","Sphere","varyingfields",["vertex"],"uniformfields",{"transform":[1,0,0,0,1,0,0,0,1]}],[[[3]],[[2]]]],
        [["type","run","runtype","Poly","varyingfields",["vertex"],"uniformfields",{"closed":true}],[[[0,1,2]]]],
        [["type","Tet"],["vertex",[0,1,2,3]]]]])";
    std::vector<std::string> warnings;
    for (const std::string &bytes : {std::string(text), testing_bgeo::encode(json::parse(text))})
    {
        warnings.clear();
        std::string d = readBytes(bytes, "tets.geo", &warnings);
        EXPECT_NE(d.find("Poly closed 0 1 2"), std::string::npos) << d;
        EXPECT_NE(d.find("prim id[1]: 6\n"), std::string::npos) << d;
        ASSERT_EQ(warnings.size(), 5u) << ::testing::PrintToString(warnings); // and: no P
        EXPECT_EQ(warnings[0], "tets.geo: skipping 1 primitive(s) of unsupported type 'PackedGeometry'");
        EXPECT_EQ(warnings[1], "tets.geo: skipping 2 primitive(s) of unsupported type 'Sphere'");
        EXPECT_EQ(warnings[2], "tets.geo: skipping 1 primitive(s) of unsupported type 'Tet'");
        EXPECT_EQ(warnings[3], "tets.geo: skipping 2 primitive(s) of unsupported type 'Tetrahedron_run'");
    }
    std::string e = errorOf([&] { readBytes(R"(["pointcount",0,"primitivecount",3,"primitives",[[["type","Tetrahedron_run"],["nprimitives",1000000000]]]])", "t.geo"); });
    EXPECT_EQ(e, "t.geo: primitives[0][1]/nprimitives: count 1000000000 out of range");
}

TEST(GeometryLayouts, DuplicateAttributeNamesKeepTheFirst)
{
    const char *text = R"(["pointcount",2,"attributes",["pointattributes",[
      [["name","P"],["size",3,"values",["size",3,"tuples",[[1,2,3],[4,5,6]]]]],
      [["name","pscale"],["size",1,"values",["size",1,"arrays",[[0.5,0.5]]]]],
      [["name","P"],["size",3,"values",["size",3,"tuples",[[9,9,9],[9,9,9]]]]],
      [["name","pscale"],["size",1,"values",["size",1,"arrays",[[7,7]]]]]]]])";
    std::vector<std::string> warnings;
    std::string d = readBytes(text, "dup.geo", &warnings);
    EXPECT_NE(d.find("P[3]: 1 2 3 4 5 6"), std::string::npos) << d;
    EXPECT_NE(d.find("pscale[1]: 0.5 0.5"), std::string::npos) << d;
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings[0], "dup.geo: attributes/pointattributes: attribute 'P' appears 2 times; using the first");
}

// ------------------------------------------------------- classic formats

TEST(ClassicGeometry, AsciiPointsAttributesAndPolygons)
{
    const char *text = "PGEOMETRY V5\nNPoints 4 NPrims 3\nNPointGroups 0 NPrimGroups 0\n"
                       "NPointAttrib 2 NVertexAttrib 0 NPrimAttrib 0 NAttrib 0\nPointAttrib\n"
                       "Cd 3 float 1 1 1\nname 1 index 2 left right\n"
                       "0 0 0 1 (1 0 0 1)\n1 0 0 1 (0 1 0 0)\n1 1 0 1 (0 0 1 1)\n0 1 0 1 (0.5 0.5 0.5 0)\n"
                       "Run 2 Poly\n 3 < 0 1 2\n 2 : 2 3\nSphere 1 0 1 0 0 0 1 0 0 0 1\nbeginExtra\nendExtra\n";
    std::vector<std::string> warnings;
    std::string d = readBytes(text, "old.geo", &warnings);
    EXPECT_NE(d.find("point P[3]: 0 0 0 1 0 0 1 1 0 0 1 0"), std::string::npos) << d;
    EXPECT_NE(d.find("point Cd[3]: 1 0 0 0 1 0 0 0 1 0.5 0.5 0.5"), std::string::npos) << d;
    EXPECT_NE(d.find("point name[1]: 'right' 'left' 'right' 'left'"), std::string::npos) << d;
    EXPECT_NE(d.find("Poly closed 0 1 2\nPoly open 2 3\n"), std::string::npos) << d;
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("skipping 1 primitive(s) from the first of type 'Sphere'"), std::string::npos);
    std::string e = errorOf([&] { readBytes("PGEOMETRY V5\nNPoints 2 NPrims 0\n", "old.geo"); });
    EXPECT_EQ(e, "old.geo: token 6: classic ASCII geometry (PGEOMETRY): file ends early");
}

TEST(ClassicGeometry, BinaryPointsAndAttributes)
{
    std::string b = "BgeoV";
    auto i32 = [&](int32_t v) { for (int s = 24; s >= 0; s -= 8) b.push_back(char((uint32_t(v) >> s) & 0xff)); };
    auto u16 = [&](int v) { b.push_back(char(v >> 8)), b.push_back(char(v & 0xff)); };
    auto f32 = [&](float f) { uint32_t u; std::memcpy(&u, &f, 4); i32(int32_t(u)); };
    auto str = [&](const std::string &s) { u16(int(s.size())), b += s; };
    i32(5);
    for (int32_t c : {2, 0, 0, 0, 2, 0, 0, 0}) i32(c);
    str("v"), u16(3), i32(5), f32(0), f32(0), f32(0);
    str("kind"), u16(1), i32(4), i32(2), str("dust"), str("spark");
    for (int p = 0; p < 2; ++p)
    {
        f32(float(p)), f32(2), f32(3), f32(1);
        f32(0.5f), f32(-1), f32(float(p));
        i32(1 - p);
    }
    b += std::string("\x00\xff", 2);
    const std::string expected = "points 2 prims 0\npoint P[3]: 0 2 3 1 2 3\npoint v[3]: 0.5 -1 0 0.5 -1 1\npoint kind[1]: 'spark' 'dust'\n";
    EXPECT_EQ(readBytes(b, "old.bgeo"), expected);
    EXPECT_EQ(readBytes(gzip(b), "old.bgeo"), expected);
    for (size_t n = 0; n < b.size() - 2; ++n)
        EXPECT_THROW(readBytes(b.substr(0, n), "old.bgeo"), Error) << n;
}

namespace
{
void readGeo(const std::string &file, GU_Detail &gdp, std::vector<std::string> &warnings)
{
    sopcook::readGeometryFile(dataDir + "/" + file, gdp, warnings);
}

std::vector<float> pointTuple(const GU_Detail &gdp, const char *name, GA_Offset pt)
{
    GA_Attribute *a = gdp.findAttribute(GA_ATTRIB_POINT, name);
    std::vector<float> v;
    if (!a) return v;
    for (int c = 0; c < a->getTupleSize(); ++c) v.push_back(a->getF(pt, c));
    return v;
}
} // namespace

// ---------------------------------------------------------------- host geometry and PLY files read from data/

TEST(SopcookGeo, ReadsTuplesArraysPagedDataAndParticles)
{
    std::vector<std::string> warnings;
    GU_Detail gdp;
    readGeo("points.geo", gdp, warnings);
    EXPECT_TRUE(warnings.empty()) << warnings[0];
    ASSERT_EQ(gdp.getNumPoints(), 5);
    EXPECT_EQ(gdp.getPos3(4).x(), 1.0f);
    EXPECT_EQ(gdp.getPos3(3).z(), 1.0f);
    EXPECT_EQ(pointTuple(gdp, "density", 2), std::vector<float>{2.0f});
    EXPECT_EQ(pointTuple(gdp, "pscale", 4), std::vector<float>{0.1f});
    EXPECT_EQ(pointTuple(gdp, "id", 3), std::vector<float>{13.0f});
    // Paged data with packing [1, 2] and constant pages in both groups.
    std::vector<std::vector<float>> cd = {{0.1f, 0.5f, 0.5f}, {0.2f, 0.5f, 0.5f}, {0.3f, 0.6f, 0.6f}, {0.3f, 0.7f, 0.7f}, {0.9f, 0.8f, 0.8f}};
    for (int pt = 0; pt < 5; ++pt) EXPECT_EQ(pointTuple(gdp, "Cd", pt), cd[size_t(pt)]) << "point " << pt;
    ASSERT_EQ(gdp.getNumPrimitives(), 1);
    EXPECT_STREQ(gdp.getPrimitive(0)->getTypeName(), "Part");
    EXPECT_EQ(gdp.getPrimitive(0)->getVertexCount(), 5);
    GA_Attribute *varmap = gdp.findAttribute(GA_ATTRIB_GLOBAL, "varmap");
    ASSERT_TRUE(varmap);
    EXPECT_EQ(varmap->getS(0), "pscale -> PSCALE");
}

TEST(SopcookGeo, RunEncodedCurvesVertexAttributesAndSkippedTypes)
{
    std::vector<std::string> warnings;
    GU_Detail gdp;
    readGeo("curves_run.geo", gdp, warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].find("unsupported type 'Sphere'"), std::string::npos) << warnings[0];
    ASSERT_EQ(gdp.getNumPrimitives(), 2);
    for (int p = 0; p < 2; ++p)
    {
        auto *poly = dynamic_cast<GEO_PrimPoly *>(gdp.getPrimitive(p));
        ASSERT_TRUE(poly);
        EXPECT_FALSE(poly->isClosed());
        ASSERT_EQ(poly->getVertexCount(), 3);
        EXPECT_EQ(poly->getPointOffset(2), 3 * p + 2);
    }
    EXPECT_EQ(pointTuple(gdp, "uv", 4), (std::vector<float>{0.5f, 1.0f, 0.0f})); // promoted from the vertex
    EXPECT_EQ(pointTuple(gdp, "pscale", 5), std::vector<float>{0.25f});       // one constant page
    GA_Attribute *name = gdp.findAttribute(GA_ATTRIB_PRIMITIVE, "name");
    ASSERT_TRUE(name);
    EXPECT_EQ(name->getS(0), "left");
    EXPECT_EQ(name->getS(1), "right");
    EXPECT_EQ(gdp.getPos3(5).x(), 2.0f);
    EXPECT_EQ(gdp.getPos3(5).y(), 1.0f);
}

TEST(SopcookGeo, PolygonRunsStandForManyPrimitives)
{
    // Two quads (sizes listed), then two 2-point curves (run-length sizes);
    // the primitive attribute lines up with the expanded primitives.
    const char *text = R"([
      "pointcount", 4, "vertexcount", 12, "primitivecount", 4,
      "topology", ["pointref", ["indices", [0,1,2,3, 3,2,1,0, 0,1, 2,3]]],
      "attributes", ["primitiveattributes", [[["scope","public","type","numeric","name","id"],
        ["size",1,"storage","int32","values",["size",1,"storage","int32","arrays",[[5,6,7,8]]]]]]],
      "primitives", [
        [["type","Polygon_run"], ["startvertex",0,"nprimitives",2,"nvertices",[4,4]]],
        [["type","PolygonCurve_run"], ["startvertex",8,"nprimitives",2,"nvertices_rle",[2,2]]]]])";
    GU_Detail gdp;
    std::vector<std::string> warnings;
    sopcook::readGeoJson(text, "runs.geo", gdp, warnings);
    for (const std::string &w : warnings) EXPECT_EQ(w.find("skipping"), std::string::npos) << w;
    ASSERT_EQ(gdp.getNumPrimitives(), 4);
    for (int p = 0; p < 4; ++p)
    {
        auto *poly = dynamic_cast<GEO_PrimPoly *>(gdp.getPrimitive(p));
        ASSERT_TRUE(poly);
        EXPECT_EQ(poly->isClosed(), p < 2);
        EXPECT_EQ(poly->getVertexCount(), p < 2 ? 4 : 2);
        EXPECT_EQ(gdp.findAttribute(GA_ATTRIB_PRIMITIVE, "id")->getF(p), float(5 + p));
    }
    EXPECT_EQ(gdp.getPrimitive(1)->getPointOffset(0), 3);
    EXPECT_EQ(gdp.getPrimitive(3)->getPointOffset(1), 3);

    GU_Detail bad;
    EXPECT_THROW(sopcook::readGeoJson(R"(["pointcount",2,"vertexcount",2,"topology",["pointref",["indices",[0,1]]],
      "primitives",[[["type","Polygon_run"],["startvertex",1,"nprimitives",1,"nvertices",[2]]]]])", "runs.geo", bad, warnings),
                 Error);
}

TEST(SopcookGeo, MalformedFilesNameThePlaceAndWhatWasExpected)
{
    struct Case
    {
        const char *text, *expected;
    };
    const Case cases[] = {
        {"[\"pointcount\", 2, \"vertexcount\", 1, \"topology\", [\"pointref\", [\"indices\", [5]]]]",
         "topology/pointref/indices[0]: point 5 out of range (pointcount 2)"},
        {"[\"pointcount\", 1,", "not valid JSON geometry"},
        {"[\"pointcount\", -3]", "pointcount: count -3 out of range"},
        {"[\"pointcount\", 2, \"attributes\", [\"pointattributes\", [[[\"name\", \"P\", \"type\", \"numeric\"],"
         " [\"size\", 3, \"values\", [\"size\", 3, \"tuples\", [[0, 0, 0]]]]]]]]",
         "attributes/pointattributes[0]/P/values/tuples: expected 2 tuples, found 1"},
        {"[\"pointcount\", 3, \"attributes\", [\"pointattributes\", [[[\"name\", \"d\"],"
         " [\"size\", 1, \"values\", [\"pagesize\", 2, \"rawpagedata\", [1, 2]]]]]]]",
         "rawpagedata: too few values"},
        {"[\"pointcount\", 1, \"vertexcount\", 1, \"topology\", [\"pointref\", [\"indices\", [0]]], \"primitivecount\", 1,"
         " \"primitives\", [[[\"type\", \"Poly\"], [\"vertex\", [3], \"closed\", true]]]]",
         "primitives[0]/vertex[0]: vertex 3 out of range (vertexcount 1)"},
        {"{\"pointcount\": \"many\"}", "pointcount: expected a whole number"},
        {"{\"points\": []}", "not host JSON geometry"},
        {"42", "expected a map"},
    };
    for (const Case &c : cases)
    {
        GU_Detail gdp;
        std::vector<std::string> warnings;
        try
        {
            sopcook::readGeoJson(c.text, "bad.geo", gdp, warnings);
            ADD_FAILURE() << "no error for " << c.text;
        }
        catch (const Error &e)
        {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
            EXPECT_EQ(std::string(e.what()).rfind("bad.geo: ", 0), 0u) << e.what();
        }
    }
}

TEST(SopcookPly, AsciiAndBinaryGiveTheSameGeometry)
{
    std::vector<std::string> warnings;
    GU_Detail a;
    readGeo("quad_ascii.ply", a, warnings);
    GU_Detail b;
    readGeo("quad_binary.ply", b, warnings);
    for (const GU_Detail *gdp : {&a, &b})
    {
        ASSERT_EQ(gdp->getNumPoints(), 4);
        EXPECT_EQ(gdp->getPos3(2).x(), 1.0f);
        EXPECT_EQ(gdp->getPos3(2).y(), 1.0f);
        EXPECT_EQ(pointTuple(*gdp, "N", 1), (std::vector<float>{0, 0, 1}));
        EXPECT_EQ(pointTuple(*gdp, "Cd", 0), (std::vector<float>{1, 0, 0}));
        EXPECT_EQ(pointTuple(*gdp, "Cd", 3), (std::vector<float>{1, 1, 1}));
        EXPECT_EQ(pointTuple(*gdp, "uv", 2), (std::vector<float>{1, 1, 0}));
        EXPECT_EQ(pointTuple(*gdp, "density", 1), std::vector<float>{0.5f});
        EXPECT_FALSE(gdp->findAttribute(GA_ATTRIB_POINT, "uv_0"));
        ASSERT_EQ(gdp->getNumPrimitives(), 1);
        auto *quad = dynamic_cast<GEO_PrimPoly *>(gdp->getPrimitive(0));
        ASSERT_TRUE(quad);
        EXPECT_TRUE(quad->isClosed());
        EXPECT_EQ(quad->getVertexCount(), 4);
    }
    // The edge element is skipped, once per file.
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("skipping element 'edge'"), std::string::npos);
}

TEST(SopcookPly, DamagedFilesFailWithoutReadingPastTheEnd)
{
    std::string good = sopcook::readFileBytes(dataDir + "/quad_binary.ply");
    std::string header = good.substr(0, good.find("end_header\n") + 11);
    struct Case
    {
        std::string bytes;
        const char *expected;
    };
    std::string huge = header;
    huge.replace(huge.find("element vertex 4"), 16, "element vertex 400000000000");
    std::string badIndex = sopcook::readFileBytes(dataDir + "/quad_ascii.ply");
    badIndex.replace(badIndex.find("4 0 1 2 3"), 9, "4 0 1 2 9");
    const Case cases[] = {
        {good.substr(0, good.size() - 20), "file ends inside"},
        {huge, "more than the file holds"},
        {badIndex, "vertex index 9 out of range (4 vertices)"},
        {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n", "no 'end_header'"},
        {"plx\n", "not a PLY file"},
        {"ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nend_header\nabc\n", "expected a number for vertex 0 x, found 'abc'"},
    };
    for (const Case &c : cases)
    {
        GU_Detail gdp;
        std::vector<std::string> warnings;
        try
        {
            sopcook::readPly(c.bytes, "bad.ply", gdp, warnings);
            ADD_FAILURE() << "no error for case " << c.expected;
        }
        catch (const Error &e)
        {
            EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos) << e.what();
        }
    }

    // Not damaged: an ASCII file may end without a newline after its last value.
    GU_Detail cloud;
    std::vector<std::string> warnings;
    sopcook::readPly("ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty float y\nproperty float z\n"
                     "end_header\n0 0 0\n1 2 3",
                     "cloud.ply", cloud, warnings);
    ASSERT_EQ(cloud.getNumPoints(), 2);
    EXPECT_EQ(cloud.getPos3(1).z(), 3.0f);
}
