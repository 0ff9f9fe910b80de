// SPDX-License-Identifier: Apache-2.0
#pragma once
// Where the steps of a cook report what they have to say, each line with its
// kind, so each door shows them its own way: the command line prints them on
// stderr as they come, the Python module raises warnings as UserWarning and
// keeps them in the result.
#include <set>
#include <string>

namespace sopcook
{
enum class DiagnosticKind
{
    Warning, // something the user should act on; the cook goes on
    Note,    // detail shown on request (-v)
    Output,  // what the operator printed, folded into one message per shape of line
    Printed, // one line the operator printed, verbatim (verbose); may come from another thread
    Error    // a failure reported without stopping the door (a frame of a range, a stopped resample)
};

struct Diagnostic
{
    DiagnosticKind kind = DiagnosticKind::Warning;
    std::string text;
    // Said once per command however many frames repeat it (what the input lacks).
    bool oncePerCommand = false;
};

class Diagnostics
{
public:
    virtual ~Diagnostics() = default;
    virtual void report(const Diagnostic &d) = 0;

    void warning(const std::string &text, bool oncePerCommand = false)
    {
        report({DiagnosticKind::Warning, text, oncePerCommand});
    }
    void note(const std::string &text, bool oncePerCommand = false) { report({DiagnosticKind::Note, text, oncePerCommand}); }
};

// The command line's way: "sopcook: warning: ..." on stderr, notes only when
// verbose, lines marked once per command said once.
class StderrDiagnostics : public Diagnostics
{
public:
    explicit StderrDiagnostics(bool verbose) : myVerbose(verbose) {}
    void report(const Diagnostic &d) override;

private:
    bool myVerbose;
    std::set<std::string> mySaid;
};
} // namespace sopcook
