// SPDX-License-Identifier: Apache-2.0
#include "cook/OperatorOutput.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <set>
#include <utility>

#include "Messages.h"

namespace sopcook
{
namespace
{
const size_t maxShapes = 200;     // distinct shapes kept; more are only counted
const size_t maxLineBytes = 4096; // longer lines are cut

std::string withThousands(long long n)
{
    std::string digits = std::to_string(n), out;
    for (size_t i = 0; i < digits.size(); ++i)
    {
        if (i && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

// Warnings and errors are shown without -v; chatter ("primcount = 5") is not.
bool looksLikeProblem(const std::string &line)
{
    std::string lower;
    for (char c : line) lower += char(std::tolower((unsigned char)c));
    return lower.find("warning") != std::string::npos || lower.find("error") != std::string::npos ||
           lower.find("fail") != std::string::npos;
}

FILE *openLog(const std::string &path)
{
    if (path.empty()) return nullptr;
    static std::set<std::string> opened; // truncated once per process
    bool first = opened.insert(path).second;
    FILE *f = std::fopen(path.c_str(), first ? "w" : "a");
    if (!f) throw Error("--log " + path + ": " + std::strerror(errno));
    return f;
}
} // namespace

std::string LineFolder::shapeOf(const std::string &line)
{
    std::string shape;
    for (size_t i = 0; i < line.size(); ++i)
    {
        if (!std::isdigit((unsigned char)line[i]))
            shape += line[i];
        else if (i == 0 || !std::isdigit((unsigned char)line[i - 1]))
            shape += 'N';
    }
    return shape;
}

void LineFolder::add(const std::string &line)
{
    std::string shape = shapeOf(line);
    auto it = myIndex.find(shape);
    if (it != myIndex.end())
    {
        ++myShapes[it->second].count;
        return;
    }
    if (myShapes.size() >= maxShapes)
    {
        ++myOthers;
        return;
    }
    myIndex.emplace(shape, myShapes.size());
    myShapes.push_back({line, 1});
}

std::vector<std::string> LineFolder::summary(int copies) const
{
    std::vector<std::string> out;
    for (const Shape &s : myShapes)
    {
        // A count that is not a multiple of the copies came from slabs that
        // printed differently: the total, said to be one.
        const bool alike = copies <= 1 || s.count % copies == 0;
        const long long count = alike ? s.count / std::max(copies, 1) : s.count;
        const std::string over = alike ? "" : " over " + std::to_string(copies) + " slabs";
        out.push_back(count == 1 ? "\"" + s.first + "\"" : "\"" + shapeOf(s.first) + "\" x " + withThousands(count) + over);
    }
    if (myOthers > 0) out.push_back("and " + withThousands(myOthers) + " more lines");
    return out;
}

// The quad operators skip every other primitive, one line each: after the
// folded line, what to do about it.
std::string OperatorOutput::nonQuadHint(const std::string &line) const
{
    if (line.find("non quad primitive") == std::string::npos) return "";
    const std::string &option = mySink.pairingOption;
    if (myTrianglesToQuads) return "; these are polygons of 5 or more sides or curves (" + option + " converts triangles only)";
    return "; for a triangle mesh, " + option + " pairs its triangles into quads before the cook";
}

OperatorOutput::OperatorOutput(const std::string &label, bool verbose, const std::string &logPath, OutputSink sink)
    : myLabel(label), myVerbose(verbose), myLog(openLog(logPath)), mySink(std::move(sink))
{
    if (myLog) std::fprintf(myLog, "# %s\n", label.c_str());
    start();
}

OperatorOutput::~OperatorOutput()
{
    stop();
    if (myLog) std::fclose(myLog);
    std::vector<std::string> lines = myFolder.summary(myCopies);
    if (lines.empty()) return;
    std::string hint = myVerbose ? "" : (myLog ? " (all of it in the log)" : mySink.everyLineHint);
    for (const std::string &l : lines)
    {
        std::string message = myLabel + " printed " + l + nonQuadHint(l) + (l == lines.back() ? hint : "");
        if (mySink.diagnostics) mySink.diagnostics->report({DiagnosticKind::Output, message});
        else note(message);
    }
}

void OperatorOutput::start()
{
    std::fflush(stdout);
    std::cout.flush();
    // With stdout closed the pipe could take descriptor 1 itself: leave it be.
    if (fcntl(1, F_GETFD) < 0) return;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return; // operators then print to stdout as they would
    mySaved = fcntl(1, F_DUPFD_CLOEXEC, 3);
    if (mySaved < 0 || dup2(fds[1], 1) < 0)
    {
        close(fds[0]);
        close(fds[1]);
        if (mySaved >= 0) close(mySaved);
        mySaved = -1;
        return;
    }
    close(fds[1]); // fd 1 is now the only write end: restoring it ends the reader
    myRead = fds[0];
    myReader = std::thread([this] { readLoop(); });
}

void OperatorOutput::stop()
{
    if (mySaved < 0) return;
    std::fflush(stdout);
    std::cout.flush();
    dup2(mySaved, 1);
    close(mySaved);
    myReader.join();
    close(myRead);
}

void OperatorOutput::readLoop()
{
    std::string line;
    char buf[8192];
    while (true)
    {
        ssize_t n = read(myRead, buf, sizeof(buf));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i)
        {
            if (buf[i] == '\n')
            {
                takeLine(line);
                line.clear();
            }
            else if (line.size() < maxLineBytes)
                line += buf[i];
        }
    }
    if (!line.empty()) takeLine(line);
}

void OperatorOutput::takeLine(const std::string &line)
{
    if (myLog) std::fprintf(myLog, "%s\n", line.c_str());
    if (line.empty()) return;
    if (myVerbose)
    {
        // N slabs print each of the cook's lines N times: shown once for N.
        const int copies = myCopies;
        if (copies > 1 && myShown[line]++ % copies != 0) return;
        if (!mySink.diagnostics) return printRaw(line);
        std::lock_guard<std::mutex> lock(myMutex);
        mySink.diagnostics->report({DiagnosticKind::Printed, line});
        return;
    }
    if (!looksLikeProblem(line)) return;
    std::lock_guard<std::mutex> lock(myMutex);
    myFolder.add(line);
}
} // namespace sopcook
