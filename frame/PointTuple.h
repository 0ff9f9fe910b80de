// SPDX-License-Identifier: Apache-2.0
#pragma once
// Reading a point attribute's float components, as every operator reads its
// per-point values.
#include "GA/GA_Attribute.h"

// Reads count components of ref at pt; zeros when the read fails.
inline void readPointTuple(const GA_RWAttributeRef &ref, GA_Offset pt, float *out, int count)
{
    const GA_AIFTuple *tuple = ref.getAIFTuple();
    if (!tuple || !tuple->get(ref.getAttribute(), pt, out, count, 0))
        for (int c = 0; c < count; ++c) out[c] = 0.0f;
}
