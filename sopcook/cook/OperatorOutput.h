// SPDX-License-Identifier: Apache-2.0
#pragma once
// What operators print to standard output during a cook, captured through a
// pipe so that sopcook's stdout stays clean (tables, --stats lines).
//
// Warnings and errors among them are shown on stderr when the capture ends,
// lines of the same shape (digits replaced by N) once with their count: a triangle mesh through a quad operator
// gives one "WARNING: Skipping non quad primitive no. N" x 16,301 line, not
// 16,301 lines. Verbose shows every line as it comes, chatter included (a
// line each slab of the cook prints alike, once); a log file receives every
// line verbatim.
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>
#include "cook/Diagnostics.h"
#include "cook/DoorWording.h"

namespace sopcook
{
// Counts lines by shape, in the order the shapes first appeared.
class LineFolder
{
public:
    void add(const std::string &line);
    // One entry per shape: the line itself when it came once, else the shape
    // quoted with its count. copies: nodes of one cook that each printed
    // (its slabs): a shape every one of them printed alike counts once.
    std::vector<std::string> summary(int copies = 1) const;

    static std::string shapeOf(const std::string &line);

private:
    struct Shape
    {
        std::string first;
        long long count = 0;
    };
    std::map<std::string, size_t> myIndex;
    std::vector<Shape> myShapes;
    long long myOthers = 0; // lines past the shape limit
};

// Where a capture reports and how it words its hints: the folded lines as
// Output, each a whole message, and (verbose) every line as Printed, from the
// reading thread. Without diagnostics, stderr as the command line shows it.
struct OutputSink
{
    Diagnostics *diagnostics = nullptr;
    std::string everyLineHint = commandLineWording().everyLine;
    std::string pairingOption = commandLineWording().pairing; // what pairs triangles at this door
};

class OperatorOutput
{
public:
    // label names the cook in messages ("OPERATOR frame 3"); logPath empty:
    // no log. The first capture of a process truncates the log, later ones
    // append.
    OperatorOutput(const std::string &label, bool verbose, const std::string &logPath, OutputSink sink = {});
    ~OperatorOutput(); // restores stdout, then reports the folded lines
    OperatorOutput(const OperatorOutput &) = delete;
    // Whether the input's triangles were paired into quads: what the warning
    // for skipped non-quads suggests.
    void setTrianglesToQuads(bool on) { myTrianglesToQuads = on; }
    // The cook runs as this many nodes (slabs) printing the same lines:
    // their lines are reported as one cook's. Set before the cook prints.
    void setCopies(int copies) { myCopies = copies > 1 ? copies : 1; }
    OperatorOutput &operator=(const OperatorOutput &) = delete;

private:
    void start();
    void readLoop();
    void takeLine(const std::string &line);
    void stop();
    std::string nonQuadHint(const std::string &line) const;

    std::string myLabel;
    bool myVerbose;
    bool myTrianglesToQuads = false;
    std::atomic<int> myCopies{1};
    std::map<std::string, long long> myShown; // verbose lines seen, by text (reading thread)
    FILE *myLog = nullptr;
    int mySaved = -1, myRead = -1;
    std::thread myReader;
    std::mutex myMutex;
    LineFolder myFolder;
    OutputSink mySink;
};
} // namespace sopcook
