// SPDX-License-Identifier: Apache-2.0
#pragma once
// Ctrl-C and SIGTERM handling and the live progress line of a cook.
//
// The first SIGINT or SIGTERM raises the host's interrupt: the operator stops
// as it allows, the frame's (partial) result is written with a warning, and
// no later frame of a range starts. A second one ends the process at once,
// removing any half-written output first. A signal that was ignored when the
// guard was installed (a background job of a shell script) stays ignored.
#include <atomic>
#include <string>
#include <thread>

namespace sopcook
{
class SignalGuard
{
public:
    SignalGuard();  // installs the handlers and clears the interrupt
    ~SignalGuard(); // restores the previous handlers
    SignalGuard(const SignalGuard &) = delete;
    SignalGuard &operator=(const SignalGuard &) = delete;

    static bool interrupted();
    // The first signal received (SIGINT or SIGTERM), 0 when none.
    static int firstSignal();
};

// What the first signal prints while the current step runs (one line,
// without the "sopcook: " prefix); set before a cook, so the handler only
// writes stored text.
void setInterruptMessage(const std::string &message);

// The file a second signal deletes before the process ends (empty: none);
// while a guard is alive, the VDB writer sets it through its abort hook.
void setRemoveOnAbort(const std::string &path);

// On a terminal (or when forced), a line on stderr updated a few times a
// second: the operator, elapsed time and the interrupt polls it made; with
// the polls a whole cook makes known ahead, a percentage and the time left.
class ProgressLine
{
public:
    struct Work
    {
        double polls = 0;          // polls of the whole cook; 0: not known ahead
        std::string stoppingNote;  // shown once interrupted ("stopping", or why it cannot)
    };

    ProgressLine(const std::string &label, bool enabled, const Work &work);
    ~ProgressLine();
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

private:
    void run();
    std::string status(double seconds) const;

    std::string myLabel;
    Work myWork;
    bool myTerminal = false; // redraw one line in place; else a plain line now and then
    long long myFirstPoll = 0;
    std::atomic<bool> myStop{false};
    std::thread myThread;
};
} // namespace sopcook
