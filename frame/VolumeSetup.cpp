// SPDX-License-Identifier: Apache-2.0
#include "VolumeSetup.h"

void clampGrid(unsigned divs[3], double size[3])
{
    for (int a = 0; a < 3; ++a)
    {
        if (size[a] < 0) size[a] = 0;
        if (divs[a] < 2) divs[a] = 2;
    }
}

UT_Matrix4 boxTransform(const double size[3], const double centre[3], const float extension[3], bool boundsFromPoints)
{
    double h[3];
    for (int a = 0; a < 3; ++a)
    {
        h[a] = 0.5 * size[a];
        if (boundsFromPoints) h[a] += extension[a];
    }
    UT_Matrix4 m(0.0f);
    m(0, 0) = float(h[0]);
    m(1, 1) = float(h[1]);
    m(2, 2) = float(h[2]);
    m(3, 0) = float(centre[0]);
    m(3, 1) = float(centre[1]);
    m(3, 2) = float(centre[2]);
    m(3, 3) = 1.0f;
    return m;
}

VolumeSet createNamedVolumes(GU_Detail *gdp, const char *dopobject, const std::vector<const char *> &names)
{
    gdp->addStringTuple(GA_ATTRIB_PRIMITIVE, "name", 1);
    gdp->addVariableName("name", "name");
    gdp->addStringTuple(GA_ATTRIB_PRIMITIVE, "dopobject", 1);
    gdp->addVariableName("dopobject", "DOPOBJECT");
    GA_ElementGroup *smoke = gdp->getElementGroupTable(GA_ATTRIB_PRIMITIVE).newGroup("smoke", false);

    VolumeSet set;
    for (const char *name : names)
    {
        GU_PrimVolume *vol = GU_PrimVolume::build(gdp);
        // Handles are taken after every volume exists: building a primitive
        // grows the attribute arrays the handles write to.
        GEO_AttributeHandle dopHandle = gdp->getPrimAttribute("dopobject");
        GEO_AttributeHandle nameHandle = gdp->getPrimAttribute("name");
        nameHandle.setElement(vol);
        nameHandle.setString(name);
        dopHandle.setElement(vol);
        dopHandle.setString(dopobject);
        smoke->add(vol);
        set.volumes.push_back(vol);
        set.handles.push_back(vol->getVoxelWriteHandle());
    }
    return set;
}

void shapeVolumes(VolumeSet &set, const UT_Matrix4 &xform, int xres, int yres, int zres)
{
    for (size_t i = 0; i < set.size(); ++i)
    {
        set.volumes[i]->setTransform4(xform);
        set.handles[i]->size(xres, yres, zres);
    }
}

VolumeSet setupVolumes(GU_Detail *gdp, unsigned divs[3], double size[3], const double centre[3],
                       const float extension[3], bool boundsFromPoints, const char *dopobject,
                       const std::vector<const char *> &names)
{
    clampGrid(divs, size);
    UT_Matrix4 xform = boxTransform(size, centre, extension, boundsFromPoints);
    VolumeSet set = createNamedVolumes(gdp, dopobject, names);
    shapeVolumes(set, xform, int(divs[0]), int(divs[1]), int(divs[2]));
    return set;
}
