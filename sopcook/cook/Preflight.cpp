// SPDX-License-Identifier: Apache-2.0
#include "cook/Preflight.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Messages.h"
#include "vdb/VdbWriter.h"

namespace sopcook
{
namespace
{
std::string folderOf(const std::string &path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// The process id of a "NAME.partial-PID" file of output, or 0 when name is
// not one.
pid_t partialOwner(const std::string &name, const std::string &outputName)
{
    const std::string prefix = temporaryPrefix(outputName);
    if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size()) return 0;
    const std::string digits = name.substr(prefix.size());
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) return 0;
    return pid_t(std::atol(digits.c_str()));
}

bool processGone(pid_t pid) { return kill(pid, 0) != 0 && errno == ESRCH; }

std::string number(float v)
{
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%g", double(v));
    return buf;
}

std::string position(const UT_Vector3 &p) { return "(" + number(p.x()) + ", " + number(p.y()) + ", " + number(p.z()) + ")"; }

bool finite(const UT_Vector3 &p) { return std::isfinite(p.x()) && std::isfinite(p.y()) && std::isfinite(p.z()); }
} // namespace

void removeStalePartials(const std::string &written, std::vector<std::string> &warnings)
{
    // Temporary files lie beside the file a write replaces, through links.
    std::string output = written;
    try
    {
        output = writeTarget(written);
    }
    catch (const Error &)
    {
        return; // a loop of links: the write itself reports it
    }
    const std::string folder = folderOf(output);
    const std::string name = output.substr(output.rfind('/') == std::string::npos ? 0 : output.rfind('/') + 1);
    DIR *dir = opendir(folder.c_str());
    if (!dir) return;
    while (dirent *e = readdir(dir))
    {
        pid_t pid = partialOwner(e->d_name, name);
        if (pid <= 0 || pid == getpid() || !processGone(pid)) continue;
        std::string stale = (folder == "." && output.find('/') == std::string::npos ? "" : folder + "/") + e->d_name;
        if (unlink(stale.c_str()) == 0)
            warnings.push_back("removed " + stale + ", a temporary file left by process " + std::to_string(pid) +
                               " that ended before finishing its write");
    }
    closedir(dir);
}

void checkPositions(const GU_Detail &gdp, const std::string &file, std::vector<std::string> &warnings)
{
    GA_Size bad = 0, first = -1;
    for (GA_Offset pt = 0; pt < GA_Offset(gdp.getNumPoints()); ++pt)
        if (!finite(gdp.getPos3(pt)) && bad++ == 0) first = pt;
    if (bad == 0) return;
    std::string more = bad > 1 ? " and " + std::to_string(bad - 1) + " more point" + (bad > 2 ? "s" : "") : "";
    warnings.push_back(file + ": point " + std::to_string(first) + " has a non-finite position " +
                       position(gdp.getPos3(first)) + more +
                       "; left out of the bounding box, such points write nothing");
}

void checkBoundingBox(const GU_Detail &gdp, const std::string &file)
{
    UT_BoundingBox box;
    if (!gdp.getBBox(&box)) return;
    for (int a = 0; a < 3; ++a)
        if (!std::isfinite(box.getMax(a) - box.getMin(a)) || !std::isfinite((box.getMin(a) + box.getMax(a)) * 0.5f))
            throw Error(file + ": the points span " + number(box.getMin(a)) + " to " + number(box.getMax(a)) + " on " +
                        "xyz"[a] + ", too far apart for a volume's bounding box (single precision)");
}
} // namespace sopcook
