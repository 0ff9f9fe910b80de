#pragma once
// Ctrl-C handling and the live progress line of a cook.
//
// The first SIGINT or SIGTERM raises the host's interrupt: the operator stops
// as it allows and the partial result is written with a warning. A second one
// ends the process at once, removing any half-written output first.
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
};

// The file a second signal deletes before the process ends (empty: none).
void setRemoveOnAbort(const std::string &path);

// On a terminal (or when forced), a line on stderr updated a few times a
// second: the operator, elapsed time and the interrupt polls it made.
class ProgressLine
{
public:
    ProgressLine(const std::string &label, bool enabled);
    ~ProgressLine();
    ProgressLine(const ProgressLine &) = delete;
    ProgressLine &operator=(const ProgressLine &) = delete;

private:
    void run();

    std::string myLabel;
    std::atomic<bool> myStop{false};
    std::thread myThread;
};
} // namespace sopcook
