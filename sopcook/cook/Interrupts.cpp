// SPDX-License-Identifier: Apache-2.0
#include "cook/Interrupts.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Messages.h"
#include "UT/UT_Interrupt.h"
#include "vdb/AbortHook.h"

namespace sopcook
{
namespace
{
std::atomic<int> theSignals{0};
std::atomic<int> theFirstSignal{0};
// Fixed storage: the handler may only touch async-signal-safe state.
char theAbortPath[4096] = {0};
std::atomic<bool> theHaveAbortPath{false};
char theMessage[512] = {0};
std::atomic<size_t> theMessageLength{0};
struct sigaction theOldInt, theOldTerm;
bool theInstalledInt = false, theInstalledTerm = false;

void say(const char *text, size_t length)
{
    ssize_t ignored = write(2, text, length);
    (void)ignored;
}

void onSignal(int sig)
{
    if (theSignals.fetch_add(1) == 0)
    {
        theFirstSignal.store(sig);
        UTgetInterrupt()->requestInterrupt();
        say(theMessage, theMessageLength.load());
        return;
    }
    if (theHaveAbortPath.load()) unlink(theAbortPath);
    const char msg[] = "\nsopcook: aborted; nothing written\n";
    say(msg, sizeof(msg) - 1);
    _exit(128 + sig);
}

// Installs the handler for sig unless sig was ignored; true when installed.
bool install(int sig, struct sigaction &old)
{
    sigaction(sig, nullptr, &old);
    if (old.sa_handler == SIG_IGN) return false;
    struct sigaction sa;
    std::memset(&sa, 0, sizeof(sa));
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(sig, &sa, nullptr);
    return true;
}
} // namespace

SignalGuard::SignalGuard()
{
    theSignals.store(0);
    theFirstSignal.store(0);
    UTgetInterrupt()->clearInterrupt();
    setInterruptMessage("interrupted; stopping the cook (again to abort without writing)");
    theInstalledInt = install(SIGINT, theOldInt);
    theInstalledTerm = install(SIGTERM, theOldTerm);
    // The files being written are the ones a second signal removes.
    setAbortHandler(&setRemoveOnAbort);
}

SignalGuard::~SignalGuard()
{
    setAbortHandler(nullptr);
    setRemoveOnAbort("");
    if (theInstalledInt) sigaction(SIGINT, &theOldInt, nullptr);
    if (theInstalledTerm) sigaction(SIGTERM, &theOldTerm, nullptr);
}

bool SignalGuard::interrupted() { return theSignals.load() > 0; }
int SignalGuard::firstSignal() { return theFirstSignal.load(); }

void setInterruptMessage(const std::string &message)
{
    std::string line = "\nsopcook: " + message + "\n";
    theMessageLength.store(0);
    size_t n = std::min(line.size(), sizeof(theMessage));
    std::memcpy(theMessage, line.data(), n);
    theMessageLength.store(n);
}

void setRemoveOnAbort(const std::string &path)
{
    theHaveAbortPath.store(false);
    if (path.empty() || path.size() >= sizeof(theAbortPath)) return;
    std::memcpy(theAbortPath, path.c_str(), path.size() + 1);
    theHaveAbortPath.store(true);
}

namespace
{
std::atomic<long long> thePolls{0};
std::atomic<int> thePercent{-1};

std::string clock(double s)
{
    char buf[32];
    if (s < 60) std::snprintf(buf, sizeof(buf), "%.0fs", s);
    else if (s < 3600) std::snprintf(buf, sizeof(buf), "%dm%02ds", int(s) / 60, int(s) % 60);
    else std::snprintf(buf, sizeof(buf), "%dh%02dm", int(s) / 3600, int(s) % 3600 / 60);
    return buf;
}
} // namespace

ProgressLine::ProgressLine(const std::string &label, bool enabled, const Work &work) : myLabel(label), myWork(work)
{
    myFirstPoll = UTgetInterrupt()->pollCount();
    thePolls.store(0);
    thePercent.store(-1);
    if (!enabled) return;
    myTerminal = isatty(2);
    UTgetInterrupt()->setProgressCallback([](long long polls, int percent) {
        thePolls.store(polls, std::memory_order_relaxed);
        thePercent.store(percent, std::memory_order_relaxed);
    });
    myThread = std::thread([this] { run(); });
}

ProgressLine::~ProgressLine()
{
    if (!myThread.joinable()) return;
    myStop.store(true);
    myThread.join();
    UTgetInterrupt()->setProgressCallback(nullptr);
    if (!myTerminal) return;
    setProgressLineActive(false);
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

// "12.3s  45%  1m10s left", "12.3s  800 steps" or "12.3s".
std::string ProgressLine::status(double seconds) const
{
    // The callback reports every 1024th poll; slow operators poll less.
    long long polls = std::max(thePolls.load(), UTgetInterrupt()->pollCount()) - myFirstPoll;
    int percent = thePercent.load();
    double done = myWork.polls > 0 ? std::min(double(polls) / myWork.polls, 1.0) : percent >= 0 ? percent / 100.0 : -1;
    char line[160];
    if (done > 0 && done < 1)
        std::snprintf(line, sizeof(line), "%6.1fs  %5.1f%%  %s left", seconds, std::floor(done * 1000) / 10,
                      clock(seconds * (1 - done) / done).c_str());
    else if (done >= 0)
        std::snprintf(line, sizeof(line), "%6.1fs  %3d%%", seconds, int(done * 100));
    else if (polls > 0)
        std::snprintf(line, sizeof(line), "%6.1fs  %lld steps", seconds, polls);
    else
        std::snprintf(line, sizeof(line), "%6.1fs", seconds);
    return line;
}

void ProgressLine::run()
{
    auto start = std::chrono::steady_clock::now();
    bool shown = false;
    // Into a pipe or a log: whole lines without cursor codes, the first at
    // half a second, then every 5 seconds and once when a signal arrives.
    double nextPlainLine = 0.5;
    bool toldInterrupted = false;
    while (!myStop.load())
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds < 0.5) continue; // quick cooks print nothing
        const bool interrupted = SignalGuard::interrupted();
        std::string text = myLabel + "  " + status(seconds);
        if (interrupted) text += "  (" + myWork.stoppingNote + ")";
        if (!myTerminal)
        {
            if (seconds < nextPlainLine && interrupted == toldInterrupted) continue;
            nextPlainLine = std::max(nextPlainLine, seconds) + 5;
            toldInterrupted = interrupted;
            printRaw(text);
            continue;
        }
        std::string line = "\r\033[K" + text;
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        if (!shown) setProgressLineActive(shown = true);
    }
}
} // namespace sopcook
