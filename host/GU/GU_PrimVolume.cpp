// SPDX-License-Identifier: Apache-2.0
#include "GU_PrimVolume.h"
#include "GU_Detail.h"

GA_Primitive *GU_PrimVolume::clone(GA_Detail *detail) const
{
    auto *v = new GU_PrimVolume(detail);
    copyVolumeInto(*v);
    return v;
}

GU_PrimVolume *GU_PrimVolume::build(GU_Detail *gdp)
{
    GA_Offset pt = gdp->appendPoint();
    gdp->setPos3(pt, UT_Vector3(0, 0, 0));
    auto *vol = new GU_PrimVolume(gdp);
    vol->appendVertex(pt);
    vol->setTransform(UT_Matrix3());
    gdp->appendPrimitive(vol);
    return vol;
}
