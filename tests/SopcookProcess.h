// SPDX-License-Identifier: Apache-2.0
#pragma once
// sopcook run as a child process the way a shell or a farm runs it: a
// scratch folder, the process with a limit set before exec, its stderr kept
// in a file, and its exit status.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "SopcookRun.h"

// Set when built with a sanitizer, whose address-space reservations make
// memory-limit tests meaningless.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define SOPCOOK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define SOPCOOK_SANITIZED 1
#endif
#endif

namespace sopcookprocess
{
const std::string dataDir = SOPCOOK_TEST_DATA;

using sopcooktest::readText;
using sopcooktest::TempDir;

// One sopcook process; stdout is dropped, stderr kept in a file.
// A process the test did not wait for (a failed assertion returned early) is
// killed and reaped when the Process goes, so no cook outlives its test.
struct Process
{
    pid_t pid = -1;
    std::string errPath;
    bool reaped = false;

    Process() = default;
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;
    Process(Process &&o) noexcept : pid(o.pid), errPath(std::move(o.errPath)), reaped(o.reaped) { o.pid = -1; }
    Process &operator=(Process &&o) noexcept
    {
        end();
        pid = o.pid;
        errPath = std::move(o.errPath);
        reaped = o.reaped;
        o.pid = -1;
        return *this;
    }
    ~Process() { end(); }
    // Kills and reaps the child unless it was waited for.
    void end()
    {
        if (pid <= 0 || reaped) return;
        ::kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        reaped = true;
    }

    std::string err() const { return readText(errPath); }
    int wait()
    {
        int status = 0;
        waitpid(pid, &status, 0);
        reaped = true;
        return status;
    }
    // Waits until stderr contains text; false after timeout.
    bool waitForText(const std::string &text, double timeout = 10.0) const
    {
        auto start = std::chrono::steady_clock::now();
        while (err().find(text) == std::string::npos)
        {
            if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > timeout) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
};

// Starts sopcook with args; limit (RLIMIT_*, bytes) is set in the child
// before exec when given; ignored (a signal) is ignored from the start, as in
// a shell script's background job.
inline Process start(const std::vector<std::string> &args, const std::string &errPath, int limit = -1, rlim_t bytes = 0,
                     int ignored = 0)
{
    Process p;
    p.errPath = errPath;
    p.pid = fork();
    if (p.pid == 0)
    {
        int devnull = open("/dev/null", O_WRONLY);
        int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(devnull, 1);
        dup2(err, 2);
        if (ignored) signal(ignored, SIG_IGN);
        if (limit >= 0)
        {
            struct rlimit r = {bytes, bytes};
            setrlimit(limit, &r);
        }
        std::vector<char *> argv = {const_cast<char *>(SOPCOOK_BINARY)};
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(SOPCOOK_BINARY, argv.data());
        _exit(127);
    }
    return p;
}

inline int exitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status); }

inline size_t lineCount(const std::string &text) { return std::count(text.begin(), text.end(), '\n'); }

} // namespace sopcookprocess
