// SPDX-License-Identifier: Apache-2.0
// Size bombs and reader strictness: small files that claim gigabytes (gzip of
// padding, one constant page for 50 million points, a long string repeated by
// its index, a Blosc chunk claiming 2 GB) are refused before the memory is
// taken, with one line naming the file and what it claims, under an address-
// space limit and with a bounded peak; values the readers used to let through
// (fractional or negative string indices, classic files with bytes after their
// end) are refused with their place; every error line stays short.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include <blosc.h>
#include <zlib.h>

#include "BinaryJsonWriter.h"
#include "Messages.h"
#include "SopcookProcess.h"
#include "io/Compressed.h"
#include "io/GeometryFile.h"

using namespace sopcookprocess;
using json = nlohmann::json;
using sopcooktest::writeText;

namespace
{
// ------------------------------------------------------------ generators

// gzip of the pieces in order, one stream; repeat copies of the last piece
// (run-length matching keeps a few hundred megabytes of padding fast).
std::string gzipOf(const std::vector<std::string> &pieces, size_t repeatLast = 1)
{
    z_stream zs{};
    deflateInit2(&zs, 1, Z_DEFLATED, 15 + 16, 8, Z_RLE);
    std::string out;
    char buf[1 << 16];
    auto feed = [&](const std::string &piece, int flush) {
        zs.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(piece.data()));
        zs.avail_in = uInt(piece.size());
        do
        {
            zs.next_out = reinterpret_cast<Bytef *>(buf);
            zs.avail_out = sizeof buf;
            deflate(&zs, flush);
            out.append(buf, sizeof buf - zs.avail_out);
        } while (zs.avail_out == 0);
    };
    for (size_t i = 0; i + 1 < pieces.size(); ++i) feed(pieces[i], Z_NO_FLUSH);
    for (size_t r = 0; r < repeatLast; ++r) feed(pieces.back(), r + 1 == repeatLast ? Z_FINISH : Z_NO_FLUSH);
    deflateEnd(&zs);
    return out;
}

std::string bigEndian64(uint64_t v)
{
    std::string s(8, '\0');
    for (int i = 7; i >= 0; --i, v >>= 8) s[size_t(i)] = char(v & 0xff);
    return s;
}

// A .bgeo.sc of one Blosc chunk of payload whose header then claims
// claimedBytes uncompressed.
std::string bloscClaiming(const std::string &payload, uint32_t claimedBytes)
{
    std::string chunk(payload.size() + BLOSC_MAX_OVERHEAD, '\0');
    int c = blosc_compress_ctx(9, 1, 4, payload.size(), payload.data(), &chunk[0], chunk.size(), "lz4", 0, 1);
    chunk.resize(size_t(c));
    for (int i = 0; i < 4; ++i) chunk[size_t(4 + i)] = char((claimedBytes >> (8 * i)) & 0xff);
    std::string index = bigEndian64(1 << 20) + bigEndian64(claimedBytes);
    return std::string("scf1") + std::string(8, '\0') + chunk + index + bigEndian64(index.size()) + "1fcs";
}

// A point attribute of pointcount elements in one constant page.
json constantPage(const std::string &name, int64_t points, const json &tuple)
{
    return json::array({json::array({"scope", "public", "type", "numeric", "name", name}),
                        json::array({"size", tuple.size(), "values",
                                     json::array({"size", tuple.size(), "storage", "fpreal32", "pagesize", points,
                                                  "constantpageflags", json::array({json::array({true})}), "rawpagedata", tuple})})});
}

// Binary JSON claiming points points with P, Cd and pscale (7 floats) in one
// constant page each; padding (an info string) makes the document as large
// as the count needs.
std::string constantPageBomb(int64_t points, size_t padding)
{
    json doc = json::array({"pointcount", points, "info", json::object({{"padding", std::string(padding, 'x')}}),
                            "attributes",
                            json::array({"pointattributes",
                                         json::array({constantPage("P", points, {0.5, 0.5, 0.5}),
                                                      constantPage("Cd", points, {1, 1, 1}), constantPage("pscale", points, {1})})})});
    return testing_bgeo::encode(doc);
}

// Binary JSON of points points whose string attribute repeats one string of
// stringBytes through a constant page of indices.
std::string stringBomb(int64_t points, size_t stringBytes)
{
    json name = json::array({json::array({"scope", "public", "type", "string", "name", "name"}),
                             json::array({"size", 1, "storage", "int32", "strings", json::array({std::string(stringBytes, 's')}),
                                          "indices", json::array({"size", 1, "storage", "int32", "pagesize", points,
                                                                  "constantpageflags", json::array({json::array({true})}),
                                                                  "rawpagedata", json::array({0})})})});
    json doc = json::array({"pointcount", points, "attributes",
                            json::array({"pointattributes", json::array({constantPage("P", points, {0.5, 0.5, 0.5}), name})})});
    return testing_bgeo::encode(doc);
}

const char *onePoint = R"(["pointcount",1,"attributes",["pointattributes",[[["name","P"],["size",3,"values",["size",3,"tuples",[[0,0,0]]]]]]]])";

// ------------------------------------------------------------ running sopcook

struct Bounded
{
    int status;         // exit code, or -signal
    std::string err;
    double peakBytes;   // the child's peak resident memory
};

// sopcook cooking input under a 512 MB address-space limit (in sanitized
// builds, which reserve more address space than that, under the sanitizer's
// own resident-memory limit instead), with its peak resident memory.
Bounded cookUnderLimit(const TempDir &dir, const std::string &input)
{
    std::string errPath = dir / "err.txt";
    pid_t pid = fork();
    if (pid == 0)
    {
        int devnull = open("/dev/null", O_WRONLY);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(devnull, 1);
        dup2(err, 2);
#ifdef SOPCOOK_SANITIZED
        setenv("ASAN_OPTIONS", "hard_rss_limit_mb=1536", 1);
        setenv("TSAN_OPTIONS", "hard_rss_limit_mb=1536", 1);
#else
        const rlim_t limit = rlim_t(512) << 20;
        struct rlimit r = {limit, limit};
        setrlimit(RLIMIT_AS, &r);
#endif
        execl(SOPCOOK_BINARY, SOPCOOK_BINARY, "cook", "plumeweave", "-i", input.c_str(), "-o", (dir / "out.vdb").c_str(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    int status = 0;
    struct rusage usage{};
    wait4(pid, &status, 0, &usage);
    Bounded b{exitCode(status), readText(errPath), double(usage.ru_maxrss) * 1024};
    unlink(errPath.c_str());
    return b;
}

// The refusal every bomb must end in: exit 1, one line naming the file and
// holding claim, no output, and (unsanitized) a peak well under the gigabytes
// the file claims.
void expectRefused(const TempDir &dir, const std::string &name, const std::string &bytes, const std::string &claim)
{
    const std::string path = dir / name;
    writeText(path, bytes);
    Bounded b = cookUnderLimit(dir, path);
    EXPECT_EQ(b.status, 1) << name << ": " << b.err;
    EXPECT_EQ(b.err.rfind("sopcook: error: " + path + ": ", 0), 0u) << b.err;
    EXPECT_NE(b.err.find(claim), std::string::npos) << name << ": " << b.err;
    EXPECT_EQ(lineCount(b.err), 1u) << b.err;
    EXPECT_LT(b.err.size(), 600u) << b.err;
    EXPECT_FALSE(sopcooktest::exists(dir / "out.vdb")) << name;
#ifndef SOPCOOK_SANITIZED
    EXPECT_LT(b.peakBytes, 192.0 * (1 << 20)) << name << " peaked at " << b.peakBytes / (1 << 20) << " MB";
#endif
    unlink(path.c_str());
}

std::string readError(const std::string &bytes, const std::string &label, const sopcook::ReadLimits *limits = nullptr)
{
    GU_Detail gdp;
    std::vector<std::string> warnings;
    try
    {
        if (limits) sopcook::readGeoJson(bytes, label, gdp, warnings, *limits);
        else sopcook::readGeometryBytes(bytes, label, gdp, warnings);
    }
    catch (const sopcook::Error &e)
    {
        return e.what();
    }
    return "";
}
} // namespace

// ------------------------------------------------------------ size bombs

TEST(SizeBombs, CompressedPayloadsExpandOnlySoFar)
{
    TempDir dir;
    // 256 MB of spaces after a one-point document, in about 250 KB of gzip.
    std::string padding = gzipOf({onePoint, std::string(1 << 20, ' ')}, 256);
    ASSERT_LT(padding.size(), 2u << 20);
    expectRefused(dir, "padding.geo.gz", padding, "gzip data expands past");

    // 312 bytes of .bgeo.sc whose one chunk claims 2 GB.
    std::string sc = bloscClaiming(std::string(256, '\0'), uint32_t(BLOSC_MAX_BUFFERSIZE));
    ASSERT_LT(sc.size(), 400u);
    expectRefused(dir, "chunk.bgeo.sc", sc, "byte 12: compressed container: with a chunk of 2,147,483,631 bytes, the payload expands past");

    // The same file read whole: the one point cooks.
    writeText(dir / "small.geo.gz", gzipOf({onePoint, std::string(1000, ' ')}));
    Bounded ok = cookUnderLimit(dir, dir / "small.geo.gz");
    EXPECT_EQ(ok.status, 0) << ok.err;
}

TEST(SizeBombs, ElementsAreBoundByTheFileAndMemory)
{
    TempDir dir;
    // One constant page for 50 million points: about 1 KB of gzip.
    const std::string bomb = constantPageBomb(50000000, 800000);
    const std::string gz = gzipOf({bomb});
    ASSERT_LT(gz.size(), 8000u);
    expectRefused(dir, "cache.bgeo.gz", gz, "claims 50,000,000 points x 7 floats (");

    // A string of 1 MB that 1000 points repeat through one index page.
    const std::string strings = gzipOf({stringBomb(1000, 1 << 20)});
    ASSERT_LT(strings.size(), 8000u);
    expectRefused(dir, "names.bgeo.gz", strings, "attributes/pointattributes[1]/name: 1,000 string values of up to 1,048,576 bytes take 1000.0 MB, more than the 64.0 MB a file of");

#ifdef SOPCOOK_SANITIZED
    GTEST_SKIP() << "the memory check needs the address-space limit, which sanitizers do not take";
#endif
    // Uncompressed, the file is large enough for its count: the memory the
    // points take is what refuses it.
    expectRefused(dir, "cache.bgeo", bomb, "claims 50,000,000 points x 7 floats, which take 3.");
}

// A document the JSON parser would take many times its size for is refused
// by its count of values; a file larger than the memory is an error naming it.
TEST(SizeBombs, DocumentsAndFilesBeyondMemoryNameTheFile)
{
#ifdef SOPCOOK_SANITIZED
    GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#endif
    TempDir dir;
    // 24 million zeros (48 MB) in a list the reader ignores, in well under
    // 1 MB of gzip: within the expansion limit, but 768 MB to parse.
    std::string zeros;
    for (int i = 0; i < (1 << 20); ++i) zeros += ",0";
    const std::string head = std::string("[\"info\",{\"pad\":[0"), tail = std::string("]},") + (onePoint + 1);
    expectRefused(dir, "zeros.geo.gz", gzipOf({head, zeros}, 24) + gzipOf({tail}), "its 25,165,852 JSON values take about 768.0 MB to parse");

    // A sparse file of 1 GB: reading it would take more than the limit.
    const std::string huge = dir / "huge.geo";
    writeText(huge, "");
    ASSERT_EQ(truncate(huge.c_str(), off_t(1) << 30), 0);
    Bounded b = cookUnderLimit(dir, huge);
    EXPECT_EQ(b.status, 1) << b.err;
    EXPECT_EQ(b.err, "sopcook: error: input file " + huge + ": out of memory reading its 1.0 GB\n");
}

// The limits themselves, in process, at sizes a test can reach: a small
// memory makes ordinary counts and payloads too large.
TEST(SizeBombs, LimitsFollowTheMemoryAvailable)
{
    const sopcook::ReadLimits small{1000, 1 << 20}; // a 1000-byte file, 1 MB of memory
    EXPECT_EQ(small.expansionBytes(), 512 * 1024);
    std::string half;
    try
    {
        sopcook::gunzip(gzipOf({std::string(600 * 1024, 'x')}), "x.geo.gz", small);
    }
    catch (const sopcook::Error &e)
    {
        half = e.what();
    }
    EXPECT_EQ(half.rfind("x.geo.gz: its gzip data expands past 512.0 KB (half the 1.0 MB of memory available)", 0), 0u) << half;
    EXPECT_EQ(sopcook::gunzip(gzipOf({std::string(500 * 1024, 'x')}), "x.geo.gz", small).size(), 500u * 1024);

    // 100,000 points of P and pscale: 100,000 x (48 + 16) bytes, over 1 MB.
    std::string doc = testing_bgeo::encode(json::array(
        {"pointcount", 100000, "info", json::object({{"padding", std::string(2000, 'x')}}), "attributes",
         json::array({"pointattributes", json::array({constantPage("P", 100000, {0, 0, 0}), constantPage("pscale", 100000, {1})})})}));
    const sopcook::ReadLimits roomy{double(doc.size()), 1e9}, tight{double(doc.size()), 1 << 20};
    EXPECT_EQ(readError(doc, "p.bgeo", &roomy), "");
    EXPECT_EQ(readError(doc, "p.bgeo", &tight),
              "p.bgeo: claims 100,000 points x 4 floats, which take 6.1 MB to read, more than the 1.0 MB of memory available");
    // The same document said to come from a 50-byte file: more elements than
    // 1024 a byte.
    const sopcook::ReadLimits tiny{50, 1e9};
    EXPECT_NE(readError(doc, "p.bgeo.gz", &tiny).find("p.bgeo.gz: claims 100,000 points x 4 floats (6.1 MB to read) in a file of 50 bytes"),
              std::string::npos)
        << readError(doc, "p.bgeo.gz", &tiny);
}

// ------------------------------------------------------------ strictness

TEST(ReaderStrictness, StringIndicesAreWholeAndInRange)
{
    auto geo = [](const std::string &indices) {
        return R"(["pointcount",2,"attributes",["pointattributes",[[["name","P"],["size",3,"values",["size",3,"tuples",[[0,0,0],[1,1,1]]]]],
          [["type","string","name","kind"],["size",1,"strings",["a","b"],"indices",["size",1,"arrays",[)" + indices + "]]]]]]]";
    };
    EXPECT_EQ(readError(geo("[1,-1]"), "s.geo"), "");
    EXPECT_EQ(readError(geo("[0.5,1]"), "s.geo"),
              "s.geo: attributes/pointattributes[1]/kind/indices: string index 0.5 of value 0 is not a whole number");
    EXPECT_EQ(readError(geo("[0,-5]"), "s.geo"),
              "s.geo: attributes/pointattributes[1]/kind/indices: string index -5 of value 1 out of range (-1 for none, 0 to 1)");
    EXPECT_EQ(readError(geo("[2,0]"), "s.geo"),
              "s.geo: attributes/pointattributes[1]/kind/indices: string index 2 of value 0 out of range (-1 for none, 0 to 1)");
    // The same through binary JSON's typed arrays.
    EXPECT_NE(readError(testing_bgeo::encode(json::parse(geo("[0,-5]"))), "s.bgeo").find("string index -5 of value 1 out of range"),
              std::string::npos);
}

TEST(ReaderStrictness, ClassicBinaryEndsWhereItsCountsSay)
{
    // Two points with a string attribute, as BgeoV version 5.
    auto file = [](int32_t version, int32_t index, const std::string &tail) {
        std::string b = "BgeoV";
        auto i32 = [&](int32_t v) { for (int s = 24; s >= 0; s -= 8) b.push_back(char((uint32_t(v) >> s) & 0xff)); };
        auto str = [&](const std::string &s) { b.push_back(char(s.size() >> 8)), b.push_back(char(s.size() & 0xff)), b += s; };
        i32(version);
        for (int32_t c : {2, 0, 0, 0, 1, 0, 0, 0}) i32(c);
        str("kind"), b += std::string("\x00\x01", 2), i32(4), i32(2), str("dust"), str("spark");
        for (int p = 0; p < 2; ++p)
        {
            for (int c = 0; c < 4; ++c) i32(0x3f800000);
            i32(p == 1 ? index : 0);
        }
        return b + tail;
    };
    const std::string end("\x00\xff", 2);
    EXPECT_EQ(readError(file(5, 1, end), "old.bgeo"), "");
    EXPECT_EQ(readError(file(5, -1, ""), "old.bgeo"), "");
    const size_t points = file(5, 0, "").size();
    EXPECT_EQ(readError(file(5, 1, end + "junk"), "old.bgeo"),
              "old.bgeo: byte " + std::to_string(points) + ": classic binary geometry (BgeoV): 6 byte(s) after the points, where the file should end (with 00 ff)");
    EXPECT_EQ(readError(file(5, 1, "x"), "old.bgeo"),
              "old.bgeo: byte " + std::to_string(points) + ": classic binary geometry (BgeoV): 1 byte(s) after the points, where the file should end (with 00 ff)");
    EXPECT_EQ(readError(file(4, 1, end), "old.bgeo"), "old.bgeo: byte 5: classic binary geometry (BgeoV): version 4 is not read (only version 5 is)");
    EXPECT_EQ(readError(file(5, 2, end), "old.bgeo"),
              "old.bgeo: byte " + std::to_string(points - 4) +
                  ": classic binary geometry (BgeoV): attribute 'kind': string index 2 out of range (-1 for none, 0 to 1)");
    EXPECT_NE(readError(file(5, -2, end), "old.bgeo").find("string index -2 out of range"), std::string::npos);
}

TEST(ReaderStrictness, ErrorLinesStayShort)
{
    // A 300-digit count.
    std::string digits = "1" + std::string(300, '0');
    std::string e = readError("[\"pointcount\"," + digits + "]", "n.geo");
    EXPECT_EQ(e, "n.geo: pointcount: count 1e+300 out of range");
    e = readError("ply\nformat ascii 1.0\nelement vertex " + digits + "\nproperty float x\nend_header\n", "n.ply");
    EXPECT_EQ(e.rfind("n.ply: line 3: bad element count '1000", 0), 0u) << e;
    EXPECT_NE(e.find("0...0"), std::string::npos) << e;
    EXPECT_LT(e.size(), 120u) << e;

    // 256 nested lists with damage at the bottom: the place is cut.
    std::string deep = "\x7fNSJb";
    deep += '[';
    deep += char(0x27), deep += char(10), deep += "primitives";
    for (int i = 0; i < 255; ++i) deep += '[';
    deep += char(0xee);
    e = readError(deep, "d.bgeo");
    EXPECT_NE(e.find("unknown token 0xee"), std::string::npos) << e;
    EXPECT_NE(e.find("..."), std::string::npos) << e;
    EXPECT_LT(e.size(), 300u) << e;

    // A name of 100,000 bytes with control characters in a warning and an
    // error: one short line each.
    std::string name = std::string(50000, 'n') + "\\n\\t" + std::string(50000, 'm'); // JSON escapes
    GU_Detail gdp;
    std::vector<std::string> warnings;
    sopcook::readGeometryBytes(R"(["pointcount",0,")" + name + R"(",1])", "w.geo", gdp, warnings);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_LT(warnings[0].size(), 500u);
    EXPECT_EQ(warnings[0].find('\n'), std::string::npos);
    e = readError(R"(["pointcount",1,"attributes",["pointattributes",[[["name",")" + name + R"("],["size",3,"values",["size",3,"tuples",[[0,0]]]]]]]])", "a.geo");
    EXPECT_NE(e.find("expected 3 components, found 2"), std::string::npos) << e.substr(0, 300);
    EXPECT_LT(e.size(), 600u);
    EXPECT_EQ(e.find('\n'), std::string::npos);
}
