// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <atomic>
#include <functional>
#include "UT_Visibility.h"

// The host's interrupt: operators poll it; the host raises it (Ctrl-C).
class UT_API UT_Interrupt
{
public:
    // Non-zero once the user asked to stop. Each poll also counts as
    // progress: pollCount() and the callback see them 1024 at a time.
    int opInterrupt(int percent = -1);
    int opStart(const char *name = nullptr);
    void opEnd();

    void requestInterrupt() { myInterrupted.store(true); }
    void clearInterrupt() { myInterrupted.store(false); myPolls.store(0); }
    bool isInterrupted() const { return myInterrupted.load(); }
    long long pollCount() const { return myPolls.load(); }
    int lastPercent() const { return myPercent.load(); }

    // Called (rarely, from the polling thread) so a host can show progress.
    void setProgressCallback(std::function<void(long long polls, int percent)> cb) { myCallback = std::move(cb); }

private:
    std::atomic<bool> myInterrupted{false};
    std::atomic<long long> myPolls{0};
    std::atomic<int> myPercent{-1};
    std::function<void(long long, int)> myCallback;
};

UT_API UT_Interrupt *UTgetInterrupt();
