// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "UT/UT_Types.h"

class OP_Context
{
public:
    explicit OP_Context(fpreal time = 0, int thread = 0) : myTime(time), myThread(thread) {}
    fpreal getTime() const { return myTime; }
    void setTime(fpreal t) { myTime = t; }
    int getThread() const { return myThread; }

private:
    fpreal myTime;
    int myThread;
};
