#include "Messages.h"
#include <atomic>
#include <cstdio>

namespace sopcook
{
static std::atomic<bool> theProgressLine{false};

void setProgressLineActive(bool active) { theProgressLine.store(active); }

static void emit(const char *kind, const std::string &message)
{
    if (theProgressLine.load()) std::fputs("\r\033[K", stderr);
    std::fprintf(stderr, "sopcook: %s%s\n", kind, message.c_str());
    std::fflush(stderr);
}

void warn(const std::string &message) { emit("warning: ", message); }
void note(const std::string &message) { emit("", message); }
} // namespace sopcook
