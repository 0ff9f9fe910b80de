// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <atomic>
#include <thread>
#include "UT_Visibility.h"

// A lock for short critical sections (the threaded operators take it around
// single voxel updates): it spins briefly, then yields, instead of sleeping
// in the kernel on every collision.
class UT_API UT_Lock
{
public:
    void lock()
    {
        for (int spins = 0; myLocked.exchange(true, std::memory_order_acquire);)
            while (myLocked.load(std::memory_order_relaxed))
            {
                if (++spins < 64)
                    pause();
                else
                    std::this_thread::yield();
            }
    }
    void unlock() { myLocked.store(false, std::memory_order_release); }
    bool tryLock() { return !myLocked.load(std::memory_order_relaxed) && !myLocked.exchange(true, std::memory_order_acquire); }

private:
    static void pause()
    {
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    std::atomic<bool> myLocked{false};
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
