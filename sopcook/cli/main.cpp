// SPDX-License-Identifier: Apache-2.0
// sopcook: the command-line host for the volume operators. Loads the
// plug-ins found next to it (or on SOPCOOK_DSO_PATH), cooks them on geometry
// files and writes OpenVDB files.
#include <csignal>
#include <cstdio>
#include <new>

#include "Messages.h"
#include "cli/CommandLine.h"

using namespace sopcook;

int main(int argc, char **argv)
{
    // Past a file-size limit writes then fail with EFBIG, reported like a
    // full disk, instead of the signal ending the process mid-write.
    std::signal(SIGXFSZ, SIG_IGN);
    CommandLine commandLine;
    int status = commandLine.parse(argc, argv);
    if (status >= 0) return status;
    try
    {
        return commandLine.run();
    }
    catch (const std::bad_alloc &)
    {
        std::fprintf(stderr, "sopcook: error: out of memory\n");
    }
    catch (const std::exception &e)
    {
        std::fprintf(stderr, "sopcook: error: %s\n", e.what());
    }
    return 1;
}
