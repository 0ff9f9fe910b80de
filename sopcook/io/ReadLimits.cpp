// SPDX-License-Identifier: Apache-2.0
#include "io/ReadLimits.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "SystemMemory.h"

namespace sopcook
{
ReadLimits ReadLimits::forFile(double fileBytes) { return {fileBytes, availableMemoryBytes()}; }

double ReadLimits::memoryNow() const { return std::min(memoryBytes, availableMemoryBytes()); }

double ReadLimits::expansionBytes() const
{
    return std::min(std::max(expansionFloor, expansionRatio * fileBytes), memoryBytes / 2);
}

std::string ReadLimits::expansionRefusal(const std::string &what) const
{
    const std::string past = what + " expands past " + byteText(expansionBytes());
    if (memoryBytes / 2 < std::max(expansionFloor, expansionRatio * fileBytes))
        return past + " (half the " + byteText(memoryBytes) + " of memory available); the document would not fit in memory";
    return past + " (" + countText(expansionRatio) + " times the file's " + byteText(fileBytes) + ", at least " +
           byteText(expansionFloor) + "); geometry compresses far less, so this is padding or a damaged file";
}

int64_t ReadLimits::maxElements() const
{
    const double n = (fileBytes + 1) * elementsPerByte;
    return n >= 9e18 ? int64_t(9e18) : int64_t(n);
}

std::string countText(double n)
{
    if (!(std::fabs(n) < 1e18))
    {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.3g", n);
        return buf;
    }
    std::string digits = std::to_string(int64_t(std::fabs(n)));
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i)
    {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return n < 0 ? "-" + out : out;
}

std::string byteText(double bytes)
{
    const char *units[] = {"bytes", "KB", "MB", "GB", "TB", "PB", "EB"};
    int u = 0;
    while (bytes >= 1024.0 && u < 6)
    {
        bytes /= 1024.0;
        ++u;
    }
    char buf[48];
    if (u == 0) std::snprintf(buf, sizeof buf, "%.0f %s", bytes, units[u]);
    else std::snprintf(buf, sizeof buf, "%.1f %s", bytes, units[u]);
    return buf;
}
} // namespace sopcook
