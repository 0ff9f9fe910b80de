// SPDX-License-Identifier: Apache-2.0
// A whole cook on arbitrary bytes: the first byte picks the operator, the
// second the frame (time = byte / 24); the rest is the input, read as the
// geometry readers recognise it (.geo, .bgeo, PLY, ...) or, for the image
// stack, as its image file. The input is checked, estimated, cooked at 10^3
// voxels and converted to grids.
// Every step either succeeds or throws sopcook::Error; anything else (a
// crash, undefined behaviour, another exception such as std::bad_alloc, a
// hang) is a finding: an exception other than Error is printed and aborts,
// so the fuzzer keeps the input. The plug-ins are loaded from the fuzzer's
// own folder (build/bin).
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <cstdint>
#include <fstream>
#include <string>
#include <typeinfo>
#include <vector>

#include "cook/CookEstimate.h"
#include "cook/OperatorCook.h"
#include "cook/ParmAssign.h"
#include "cook/PluginRegistry.h"
#include "cook/Preflight.h"
#include "io/GeometryFile.h"
#include "Messages.h"
#include "vdb/VolumeGrids.h"

namespace
{
// Cooks too big for a fuzzing iteration are skipped, not findings.
constexpr double memoryCap = 256.0 * 1024 * 1024;
constexpr double secondsCap = 0.5;

const sopcook::PluginRegistry &plugins()
{
    static sopcook::PluginRegistry registry;
    return registry;
}

std::string gifPath()
{
    static const std::string path = "/tmp/fuzz-cook-" + std::to_string(getpid()) + ".gif";
    return path;
}

void readInput(const std::string &bytes, sopcook::OperatorCook &job, std::vector<std::string> &warnings)
{
    if (job.op().getName() == "slabreel")
    {
        std::ofstream(gifPath(), std::ios::binary | std::ios::trunc) << bytes;
        sopcook::assignParameters(job.node(), job.op(), {"giffile=" + gifPath()});
        return;
    }
    if (job.op().maxInputs() == 0) return;
    sopcook::assignParameters(job.node(), job.op(), {"divs=10,10,10"});
    GU_Detail &gdp = job.input(0);
    sopcook::readGeometryBytes(bytes, "fuzz", gdp, warnings);
    sopcook::checkPositions(gdp, "fuzz", warnings);
    sopcook::checkBoundingBox(gdp, "fuzz");
}

void cookOnce(OP_Operator &op, fpreal time, const std::string &bytes)
{
    std::vector<std::string> warnings;
    sopcook::OperatorCook job(op);
    readInput(bytes, job, warnings);
    sopcook::CookEstimate e = sopcook::estimateCook(op, job.node(), time, op.maxInputs() ? &job.input(0) : nullptr);
    if (!e.problem.empty() || e.fullBytes > memoryCap || e.mostSeconds > secondsCap) return;
    job.cook(time, warnings);
    std::vector<sopcook::VolumeSummary> summaries;
    sopcook::volumesToGrids(job.output(), sopcook::VectorGrids::Also, summaries, warnings);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> names = plugins().names();
    if (size < 2 || names.empty()) return 0;
    OP_Operator &op = plugins().require(names[data[0] % names.size()]);
    try
    {
        cookOnce(op, fpreal(data[1]) / 24, std::string(reinterpret_cast<const char *>(data) + 2, size - 2));
    }
    catch (const sopcook::Error &)
    {
    }
    catch (const std::exception &e)
    {
        std::fprintf(stderr, "fuzz_cook: %s escaped the cook: %s\n", typeid(e).name(), e.what());
        std::abort();
    }
    catch (...)
    {
        std::fprintf(stderr, "fuzz_cook: an exception of unknown type escaped the cook\n");
        std::abort();
    }
    return 0;
}
