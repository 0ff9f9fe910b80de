// SPDX-License-Identifier: Apache-2.0
// sopcook: the command-line host for the volume operators. Loads the
// plug-ins found next to it (or on SOPCOOK_DSO_PATH), cooks them on geometry
// files and writes OpenVDB files.
#include <csignal>
#include <cstdio>
#include <new>
#include <string>

#include "Messages.h"
#include "cli/CommandLine.h"

using namespace sopcook;

namespace
{
// An error as one line of text: messages can quote bytes of a damaged file,
// so control characters and bytes that are not UTF-8 are escaped (\xNN),
// and the line is cut at a length no message needs.
std::string errorLine(const std::string &what)
{
    const size_t longest = 2000;
    std::string line;
    for (size_t i = 0; i < what.size() && line.size() < longest;)
    {
        const unsigned char c = static_cast<unsigned char>(what[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xe ? 3 : (c >> 3) == 0x1e ? 4 : 0;
        for (size_t k = 1; k < n; ++k)
            if (i + k >= what.size() || (static_cast<unsigned char>(what[i + k]) >> 6) != 0x2) n = 0;
        if (n == 0 || c < 0x20 || c == 0x7f)
        {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02x", c);
            line += hex;
            ++i;
            continue;
        }
        line.append(what, i, n);
        i += n;
    }
    if (line.size() >= longest) line += "...";
    return line;
}
} // namespace

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
        std::fprintf(stderr, "sopcook: error: %s\n", errorLine(e.what()).c_str());
    }
    return 1;
}
