// SPDX-License-Identifier: Apache-2.0
#pragma once
// The threaded operators carry the grid's division counts and size in single
// precision and clamp them as such, before the shared set-up sees them.

// Sizes below 0 become 0 and division counts below 2 become 2, in place;
// divs and wideSize receive the clamped grid for the set-up.
inline void clampSingleGrid(float divisions[3], float size[3], unsigned divs[3], double wideSize[3])
{
    for (int a = 0; a < 3; ++a)
    {
        if (size[a] < 0.0f) size[a] = 0.0f;
        if (divisions[a] < 2.0f) divisions[a] = 2.0f;
        divs[a] = unsigned(divisions[a]);
        wideSize[a] = size[a];
    }
}
