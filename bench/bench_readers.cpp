// SPDX-License-Identifier: Apache-2.0
// Reading a particle cache with P, v, pscale and Cd: binary JSON geometry
// (.bgeo, paged uniform arrays as hosts write them) against the same cache as
// ASCII .geo. Files are generated in memory once and read from memory, so the
// figures are the readers' own (no disk).
//   build/bin/bench_readers                 10 million points
//   build/bin/bench_readers --points=200000 a quick run
// Counters: points/s, MB of decoded attributes, and the most memory a read
// took beyond the file's bytes already in memory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "BinaryJsonWriter.h"
#include "io/GeometryFile.h"

namespace
{
int64_t thePoints = 10000000;
const char *theNames[] = {"P", "v", "pscale", "Cd"};
const int theSizes[] = {3, 3, 1, 3};

float value(int64_t pt, int attrib, int c)
{
    // Deterministic, varied, with a few digits like a simulation writes.
    uint32_t h = uint32_t(pt) * 2654435761u ^ uint32_t(attrib * 3 + c) * 40503u;
    return float(h % 2000003) * 1e-5f - 10.0f;
}


std::string makeBinary()
{
    testing_bgeo::Writer w;
    w.beginArray();
    w.string("fileversion"), w.string("19.5.569"), w.string("hasindex"), w.boolean(false);
    w.string("pointcount"), w.integer(thePoints), w.string("vertexcount"), w.integer(0);
    w.string("primitivecount"), w.integer(0);
    w.string("attributes"), w.beginArray(), w.string("pointattributes"), w.beginArray();
    std::vector<float> raw;
    for (int a = 0; a < 4; ++a)
    {
        w.beginArray();
        w.beginArray(), w.string("scope"), w.string("public"), w.string("type"), w.string("numeric");
        w.string("name"), w.string(theNames[a]), w.endArray();
        w.beginArray(), w.string("size"), w.integer(theSizes[a]), w.string("storage"), w.string("fpreal32");
        w.string("values"), w.beginArray(), w.string("size"), w.integer(theSizes[a]), w.string("storage"), w.string("fpreal32");
        w.string("pagesize"), w.integer(1024), w.string("rawpagedata");
        raw.resize(size_t(thePoints) * size_t(theSizes[a]));
        for (int64_t pt = 0; pt < thePoints; ++pt)
            for (int c = 0; c < theSizes[a]; ++c) raw[size_t(pt) * size_t(theSizes[a]) + size_t(c)] = value(pt, a, c);
        w.uniform(0x19, raw.data(), raw.size());
        w.endArray(), w.endArray(), w.endArray();
    }
    w.endArray(), w.endArray(), w.endArray();
    return w.bytes();
}

std::string makeAscii()
{
    std::string out = "[\"fileversion\",\"19.5.569\",\"hasindex\",false,\"pointcount\"," + std::to_string(thePoints) +
                      ",\"vertexcount\",0,\"primitivecount\",0,\n\"attributes\",[\"pointattributes\",[\n";
    char buf[64];
    for (int a = 0; a < 4; ++a)
    {
        const int k = theSizes[a];
        out += std::string(a ? ",\n" : "") + "[[\"scope\",\"public\",\"type\",\"numeric\",\"name\",\"" + theNames[a] +
               "\"],[\"size\"," + std::to_string(k) + ",\"storage\",\"fpreal32\",\"values\",[\"size\"," + std::to_string(k) +
               ",\"storage\",\"fpreal32\"," + (k == 1 ? "\"arrays\",[[" : "\"tuples\",[");
        for (int64_t pt = 0; pt < thePoints; ++pt)
        {
            if (pt) out += ',';
            if (k > 1) out += '[';
            for (int c = 0; c < k; ++c)
            {
                std::snprintf(buf, sizeof buf, c ? ",%.9g" : "%.9g", double(value(pt, a, c)));
                out += buf;
            }
            if (k > 1) out += ']';
        }
        out += k == 1 ? "]]]]]" : "]]]]";
    }
    out += "\n]]]\n";
    return out;
}

// Resident and peak resident MB from /proc (Linux); writing 5 to clear_refs
// restarts the peak, so a read's own peak is measured apart from generating
// the file.
double statusMB(const char *key)
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, std::strlen(key), key) == 0) return std::atof(line.c_str() + std::strlen(key)) / 1024.0;
    return 0;
}
void restartPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

template <class Fill> void measure(benchmark::State &state, size_t fileBytes, const Fill &fill)
{
    double extra = 0;
    for (auto _ : state)
    {
        const double before = statusMB("VmRSS:");
        restartPeak();
        GU_Detail gdp;
        fill(gdp);
        benchmark::DoNotOptimize(gdp.getPos3(GA_Offset(thePoints - 1)));
        extra = std::max(extra, statusMB("VmHWM:") - before);
    }
    state.counters["points/s"] = benchmark::Counter(double(thePoints) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["file_MB"] = double(fileBytes) / 1e6;
    state.counters["attribs_MB"] = double(thePoints) * 10 * 4 / 1e6;
    state.counters["read_peak_MB"] = extra; // above what was resident before the read (the file's bytes)
}

void read(benchmark::State &state, const std::string &bytes, const char *label)
{
    measure(state, bytes.size(), [&](GU_Detail &gdp) {
        std::vector<std::string> warnings;
        sopcook::readGeometryBytes(bytes, label, gdp, warnings);
    });
}

// The floor of any reader: the detail's points and the four attributes,
// allocated and left zero.
void BM_detailAlone(benchmark::State &state)
{
    measure(state, 0, [&](GU_Detail &gdp) {
        gdp.appendPointBlock(thePoints);
        for (int a = 1; a < 4; ++a) gdp.addAttribute(GA_ATTRIB_POINT, theNames[a], GA_STORECLASS_FLOAT, theSizes[a]);
    });
}

void BM_readBgeo(benchmark::State &state)
{
    static const std::string bytes = makeBinary();
    read(state, bytes, "cache.bgeo");
}

void BM_readAsciiGeo(benchmark::State &state)
{
    static const std::string bytes = makeAscii();
    read(state, bytes, "cache.geo");
}
} // namespace

BENCHMARK(BM_detailAlone)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_readBgeo)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_readAsciiGeo)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char **argv)
{
    std::vector<char *> rest;
    for (int i = 0; i < argc; ++i)
        if (std::strncmp(argv[i], "--points=", 9) == 0)
            thePoints = std::max<int64_t>(1, std::atoll(argv[i] + 9));
        else
            rest.push_back(argv[i]);
    int n = int(rest.size());
    benchmark::Initialize(&n, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
