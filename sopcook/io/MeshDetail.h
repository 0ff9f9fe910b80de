// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the mesh formats (OBJ, STL, glTF, FBX, X3D) have in common on their way
// into a detail: points with optional N, uv and Cd, closed polygons, and open
// curves, where runs of 2-point segments that continue one another are joined
// into one polyline, the way mesh programs store a curve as loose edges.
#include <vector>

#include "GU/GU_Detail.h"

namespace sopcook
{
class MeshDetail
{
public:
    explicit MeshDetail(GU_Detail &gdp) : myGdp(gdp) {}

    // Appends n points; returns the first. Their attributes are set below.
    GA_Offset addPoints(GA_Size n);
    void setPosition(GA_Offset pt, const float p[3]) { myGdp.setPos3(pt, UT_Vector3(p[0], p[1], p[2])); }
    // N, uv and Cd are created on first use (3 components each).
    void setNormal(GA_Offset pt, const float n[3]) { set(myN, "N", pt, n); }
    void setUv(GA_Offset pt, const float uv[3]) { set(myUv, "uv", pt, uv); }
    void setColor(GA_Offset pt, const float cd[3]) { set(myCd, "Cd", pt, cd); }

    void polygon(const std::vector<GA_Offset> &pts);
    // An open curve; a 2-point segment that starts where the previous one
    // ended extends it instead.
    void curve(const std::vector<GA_Offset> &pts);
    // Ends the curve being joined (a new object, a face or a point statement
    // in between): the next segment starts a new one. Call it once at the end.
    void endChain();

private:
    void set(GA_Attribute *&attr, const char *name, GA_Offset pt, const float v[3]);

    GU_Detail &myGdp;
    GA_Attribute *myN = nullptr, *myUv = nullptr, *myCd = nullptr;
    std::vector<GA_Offset> myChain; // the segments joined so far
};
} // namespace sopcook
