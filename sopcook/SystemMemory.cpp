// SPDX-License-Identifier: Apache-2.0
#include "SystemMemory.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace sopcook
{
// Under an address-space limit, what the process has mapped already
// (libraries, thread stacks, allocator arenas: often a hundred megabytes or
// more) counts against the limit too.
double availableMemoryBytes()
{
    const double pageBytes = double(sysconf(_SC_PAGE_SIZE));
    double bytes = double(sysconf(_SC_PHYS_PAGES)) * pageBytes;
    struct rlimit lim;
    if (getrlimit(RLIMIT_AS, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY)
    {
        double mapped = 0;
        if (FILE *statm = std::fopen("/proc/self/statm", "r"))
        {
            unsigned long long pages = 0;
            if (std::fscanf(statm, "%llu", &pages) == 1) mapped = double(pages) * pageBytes;
            std::fclose(statm);
        }
        bytes = std::min(bytes, std::max(0.0, double(lim.rlim_cur) - mapped));
    }
    return bytes;
}
} // namespace sopcook
