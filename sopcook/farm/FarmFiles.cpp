// SPDX-License-Identifier: Apache-2.0
#include "farm/FarmFiles.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>

#include "Messages.h"
#include "vdb/VdbWriter.h"

namespace sopcook
{
std::string absolutePath(const std::string &path)
{
    if (!path.empty() && path[0] == '/') return path;
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof(cwd))) throw Error(std::string("cannot read the working folder: ") + std::strerror(errno));
    std::string p = path;
    while (p.rfind("./", 0) == 0) p = p.substr(2);
    return p.empty() || p == "." ? std::string(cwd) : std::string(cwd) + "/" + p;
}

std::string parentDir(const std::string &path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? (slash == 0 ? "" : ".") : path.substr(0, slash);
}

void makeDirs(const std::string &path)
{
    for (size_t i = 1; i <= path.size(); ++i)
    {
        if (i < path.size() && path[i] != '/') continue;
        std::string part = path.substr(0, i);
        struct stat st;
        if (stat(part.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) continue;
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            throw Error("cannot create folder " + part + ": " + std::strerror(errno));
    }
}

void writeTextFile(const std::string &path, const std::string &text, bool executable)
{
    std::string temp = temporaryPath(path);
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out)
        {
            int err = errno;
            std::remove(temp.c_str());
            throw Error("cannot write " + path + ": " + std::strerror(err ? err : EIO));
        }
    }
    if (executable) chmod(temp.c_str(), 0755);
    if (std::rename(temp.c_str(), path.c_str()) != 0)
    {
        int err = errno;
        std::remove(temp.c_str());
        throw Error("cannot write " + path + ": " + std::strerror(err));
    }
}

std::string shellQuote(const std::string &s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string findOnPath(const std::string &program)
{
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();)
    {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string candidate = (end > start ? dirs.substr(start, end - start) : ".") + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return "";
}

namespace
{
std::string readAll(int fd)
{
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) text.append(buf, size_t(n));
    close(fd);
    return text;
}
} // namespace

ProgramResult runProgram(const std::vector<std::string> &argv)
{
    ProgramResult r;
    int out[2], err[2];
    if (pipe(out) != 0) return r;
    if (pipe(err) != 0)
    {
        close(out[0]);
        close(out[1]);
        return r;
    }
    pid_t pid = fork();
    if (pid == 0)
    {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]), close(out[1]), close(err[0]), close(err[1]);
        std::vector<char *> args;
        for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    // Small outputs (sbatch prints a line): reading one pipe after the other
    // cannot fill the other's buffer.
    r.out = readAll(out[0]);
    r.err = readAll(err[0]);
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) < 0) return r;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}
} // namespace sopcook
