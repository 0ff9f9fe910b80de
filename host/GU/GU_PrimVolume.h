// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "GEO/GEO_PrimVolume.h"

class GU_Detail;

class UT_API GU_PrimVolume : public GEO_PrimVolume
{
public:
    using GEO_PrimVolume::GEO_PrimVolume;
    GA_Primitive *clone(GA_Detail *detail) const override;

    // Adds a point at the origin and a volume anchored to it: identity
    // transform, no taper, one voxel of 0.
    static GU_PrimVolume *build(GU_Detail *gdp);
};
