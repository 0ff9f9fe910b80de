// SPDX-License-Identifier: Apache-2.0
#pragma once
// The temporary file a write has open, told to whoever ends the process on a
// hard abort (the cook's signal handling installs itself), so that no
// half-written file stays behind. The vdb layer only tells; with no handler
// installed nothing happens.
#include <string>

namespace sopcook
{
// Takes the path to remove on abort; an empty path: none.
using AbortHandler = void (*)(const std::string &path);

// Installs handler (null: none) in place of the one before.
void setAbortHandler(AbortHandler handler);

// Tells the installed handler, if any, which file an abort removes.
void removeOnAbort(const std::string &path);
} // namespace sopcook
