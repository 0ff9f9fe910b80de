// SPDX-License-Identifier: Apache-2.0
// The .geo reader on arbitrary bytes: it either fills the detail or throws
// sopcook::Error; anything else (a crash, another exception, a hang, a huge
// allocation) is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "io/GeometryFile.h"
#include "Messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string text(reinterpret_cast<const char *>(data), size);
    GU_Detail gdp;
    std::vector<std::string> warnings;
    try
    {
        sopcook::readGeoJson(text, "fuzz.geo", gdp, warnings);
    }
    catch (const sopcook::Error &)
    {
    }
    return 0;
}
