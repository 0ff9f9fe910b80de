// SPDX-License-Identifier: Apache-2.0
#pragma once
// How much memory this process can still have, for the checks that refuse
// work before it allocates: the cook estimate and the geometry readers.

namespace sopcook
{
// The memory this process can have: physical memory, or less under an
// address-space limit, less what the process has mapped already.
double availableMemoryBytes();
} // namespace sopcook
