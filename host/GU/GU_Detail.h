// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "GEO/GEO_Detail.h"

class UT_API GU_Detail : public GEO_Detail
{
public:
    GU_Detail() = default;
    // Copies src (volume voxels shared copy-on-write).
    void duplicate(const GU_Detail &src) { copyFrom(src); }
};
