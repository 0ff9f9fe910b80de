// SPDX-License-Identifier: Apache-2.0
#include "io/MeshDetail.h"

#include "GEO/GEO_PrimPoly.h"

namespace sopcook
{
GA_Offset MeshDetail::addPoints(GA_Size n) { return n > 0 ? myGdp.appendPointBlock(n) : GA_Offset(myGdp.getNumPoints()); }

void MeshDetail::set(GA_Attribute *&attr, const char *name, GA_Offset pt, const float v[3])
{
    if (!attr) attr = myGdp.addAttribute(GA_ATTRIB_POINT, name, GA_STORECLASS_FLOAT, 3);
    float *dst = attr->floatData() + 3 * size_t(pt);
    dst[0] = v[0], dst[1] = v[1], dst[2] = v[2];
}

void MeshDetail::polygon(const std::vector<GA_Offset> &pts)
{
    endChain();
    GEO_PrimPoly::build(&myGdp, pts, true);
}

void MeshDetail::curve(const std::vector<GA_Offset> &pts)
{
    if (pts.size() == 2)
    {
        if (!myChain.empty() && myChain.back() == pts[0])
            myChain.push_back(pts[1]);
        else
        {
            endChain();
            myChain = pts;
        }
        return;
    }
    endChain();
    GEO_PrimPoly::build(&myGdp, pts, false);
}

void MeshDetail::endChain()
{
    if (myChain.empty()) return;
    GEO_PrimPoly::build(&myGdp, myChain, false);
    myChain.clear();
}
} // namespace sopcook
