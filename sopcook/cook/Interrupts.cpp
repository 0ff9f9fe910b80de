#include "cook/Interrupts.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "Messages.h"
#include "UT/UT_Interrupt.h"

namespace sopcook
{
namespace
{
std::atomic<int> theSignals{0};
// Fixed storage: the handler may only touch async-signal-safe state.
char theAbortPath[4096] = {0};
std::atomic<bool> theHaveAbortPath{false};
struct sigaction theOldInt, theOldTerm;

void onSignal(int sig)
{
    if (theSignals.fetch_add(1) == 0)
    {
        UTgetInterrupt()->requestInterrupt();
        const char msg[] = "\nsopcook: interrupted; stopping the cook (again to abort without writing)\n";
        ssize_t ignored = write(2, msg, sizeof(msg) - 1);
        (void)ignored;
        return;
    }
    if (theHaveAbortPath.load()) unlink(theAbortPath);
    const char msg[] = "\nsopcook: aborted; nothing written\n";
    ssize_t ignored = write(2, msg, sizeof(msg) - 1);
    (void)ignored;
    _exit(128 + sig);
}
} // namespace

SignalGuard::SignalGuard()
{
    theSignals.store(0);
    UTgetInterrupt()->clearInterrupt();
    struct sigaction sa;
    std::memset(&sa, 0, sizeof(sa));
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, &theOldInt);
    sigaction(SIGTERM, &sa, &theOldTerm);
}

SignalGuard::~SignalGuard()
{
    sigaction(SIGINT, &theOldInt, nullptr);
    sigaction(SIGTERM, &theOldTerm, nullptr);
}

bool SignalGuard::interrupted() { return theSignals.load() > 0; }

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
} // namespace

ProgressLine::ProgressLine(const std::string &label, bool enabled) : myLabel(label)
{
    thePolls.store(0);
    thePercent.store(-1);
    if (!enabled) return;
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
    setProgressLineActive(false);
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
}

void ProgressLine::run()
{
    auto start = std::chrono::steady_clock::now();
    bool shown = false;
    while (!myStop.load())
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (seconds < 0.5) continue; // quick cooks print nothing
        // The callback reports every 1024th poll; slow operators poll less.
        long long polls = std::max(thePolls.load(), UTgetInterrupt()->pollCount());
        int percent = thePercent.load();
        char line[256];
        if (percent >= 0)
            std::snprintf(line, sizeof(line), "\r\033[K%s  %6.1fs  %d%%", myLabel.c_str(), seconds, percent);
        else if (polls > 0)
            std::snprintf(line, sizeof(line), "\r\033[K%s  %6.1fs  %lld steps", myLabel.c_str(), seconds, polls);
        else
            std::snprintf(line, sizeof(line), "\r\033[K%s  %6.1fs", myLabel.c_str(), seconds);
        if (SignalGuard::interrupted()) std::strncat(line, "  (stopping)", sizeof(line) - std::strlen(line) - 1);
        std::fputs(line, stderr);
        std::fflush(stderr);
        if (!shown) setProgressLineActive(shown = true);
    }
}
} // namespace sopcook
