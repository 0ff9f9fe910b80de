// SPDX-License-Identifier: Apache-2.0
#include "UT_Interrupt.h"

int UT_Interrupt::opInterrupt(int percent)
{
    long long polls = myPolls.fetch_add(1, std::memory_order_relaxed) + 1;
    if (percent >= 0) myPercent.store(percent, std::memory_order_relaxed);
    if (myCallback && (polls & 1023) == 0) myCallback(polls, myPercent.load(std::memory_order_relaxed));
    return myInterrupted.load(std::memory_order_relaxed) ? 1 : 0;
}

int UT_Interrupt::opStart(const char *) { return 1; }
void UT_Interrupt::opEnd() {}

UT_Interrupt *UTgetInterrupt()
{
    static UT_Interrupt theInterrupt;
    return &theInterrupt;
}
