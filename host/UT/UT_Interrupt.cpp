// SPDX-License-Identifier: Apache-2.0
#include "UT_Interrupt.h"

int UT_Interrupt::opInterrupt(int percent)
{
    // Each thread counts its own polls and adds them to the shared count
    // 1024 at a time: slabs cooking at once poll hundreds of thousands of
    // times a cook, and one counter written by all of them would pass its
    // cache line from core to core on every poll.
    thread_local long long ownPolls = 0;
    if (percent >= 0) myPercent.store(percent, std::memory_order_relaxed);
    if ((++ownPolls & 1023) == 0)
    {
        const long long polls = myPolls.fetch_add(1024, std::memory_order_relaxed) + 1024;
        if (myCallback) myCallback(polls, myPercent.load(std::memory_order_relaxed));
    }
    return myInterrupted.load(std::memory_order_relaxed) ? 1 : 0;
}

int UT_Interrupt::opStart(const char *) { return 1; }
void UT_Interrupt::opEnd() {}

UT_Interrupt *UTgetInterrupt()
{
    static UT_Interrupt theInterrupt;
    return &theInterrupt;
}
