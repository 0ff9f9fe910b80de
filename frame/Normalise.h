// SPDX-License-Identifier: Apache-2.0
#pragma once
// Normalising the frame vectors that shape noise, as the operators need it.
#include <cfloat>
#include <cmath>
#include "UT/UT_Vector3.h"

// Scales v to unit length in place (multiplying by 1 / length); vectors too
// short to scale safely (zero included) and unit ones are left as they are.
inline void normaliseInPlace(UT_Vector3 &v)
{
    float len2 = v.x() * v.x() + v.y() * v.y() + v.z() * v.z();
    if (len2 > FLT_MIN && len2 != 1.0f) v *= 1.0f / std::sqrt(len2);
}
