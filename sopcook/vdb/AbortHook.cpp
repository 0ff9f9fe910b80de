// SPDX-License-Identifier: Apache-2.0
#include "vdb/AbortHook.h"

#include <atomic>

namespace sopcook
{
namespace
{
std::atomic<AbortHandler> theHandler{nullptr};
}

void setAbortHandler(AbortHandler handler) { theHandler.store(handler); }

void removeOnAbort(const std::string &path)
{
    if (AbortHandler h = theHandler.load()) h(path);
}
} // namespace sopcook
