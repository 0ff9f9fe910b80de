// SPDX-License-Identifier: Apache-2.0
// Binary geometry on arbitrary bytes, through the format sniffing: binary
// JSON, gzip, the Blosc container and the classic formats. It either fills
// the detail or throws sopcook::Error; anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "io/GeometryFile.h"
#include "Messages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string bytes(reinterpret_cast<const char *>(data), size);
    GU_Detail gdp;
    std::vector<std::string> warnings;
    try
    {
        sopcook::readGeometryBytes(bytes, "fuzz.bgeo", gdp, warnings);
    }
    catch (const sopcook::Error &)
    {
    }
    return 0;
}
