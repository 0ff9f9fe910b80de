#pragma once
#include <mutex>
#include "UT_Visibility.h"

class UT_API UT_Lock
{
public:
    void lock() { myMutex.lock(); }
    void unlock() { myMutex.unlock(); }
    bool tryLock() { return myMutex.try_lock(); }

private:
    std::mutex myMutex;
};

class UT_AutoLock
{
public:
    explicit UT_AutoLock(UT_Lock &lock) : myLock(lock) { myLock.lock(); }
    ~UT_AutoLock() { myLock.unlock(); }
    UT_AutoLock(const UT_AutoLock &) = delete;
    UT_AutoLock &operator=(const UT_AutoLock &) = delete;

private:
    UT_Lock &myLock;
};
