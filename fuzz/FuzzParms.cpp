// SPDX-License-Identifier: Apache-2.0
// -s NAME=VALUE settings (one per line of the input) against a small
// operator with every kind of parameter: they are set or sopcook::Error
// says why not; nothing else may happen.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzTargetOperator.h"
#include "Messages.h"
#include "cook/ParmAssign.h"


extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using fuzztarget::SOP_FuzzTarget;
    OP_Operator &op = fuzztarget::theOperator();
    std::vector<std::string> settings;
    std::string text(reinterpret_cast<const char *>(data), size);
    for (size_t start = 0; start <= text.size();)
    {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        settings.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    SOP_FuzzTarget node(nullptr, "fuzz1", &op);
    try
    {
        sopcook::assignParameters(node, op, settings);
    }
    catch (const sopcook::Error &)
    {
    }
    return 0;
}
