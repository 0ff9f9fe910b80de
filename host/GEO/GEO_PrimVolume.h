#pragma once
#include <memory>
#include "GEO_Primitive.h"
#include "UT/UT_Matrix3.h"
#include "UT/UT_Matrix4.h"
#include "UT/UT_VoxelArray.h"

// A voxel volume anchored to one point.
//
// The canonical cube [-1, 1]^3 is covered by the voxels; position
// p = c * X + C, where X is the 3x3 transform and C the anchor point's
// position. With taper, canonical x and y shrink by the taper factor towards
// the z = -1 face (see indexToPos).
class UT_API GEO_PrimVolume : public GEO_Primitive
{
public:
    explicit GEO_PrimVolume(GA_Detail *detail);
    int getTypeId() const override { return GA_PRIMVOLUME; }
    const char *getTypeName() const override { return "Volume"; }
    GA_Primitive *clone(GA_Detail *detail) const override;

    void setTransform(const UT_Matrix3 &xform);
    const UT_Matrix3 &getTransform() const { return myXform; }
    // X from the upper-left 3x3; the anchor point moves to the last row.
    void setTransform4(const UT_Matrix4 &m);
    void setTransform4(const UT_DMatrix4 &m);
    UT_Matrix4 getTransform4() const;
    UT_Vector3 getCenter() const;

    void setTaperX(fpreal t) { myTaperX = float(t); }
    void setTaperY(fpreal t) { myTaperY = float(t); }
    fpreal getTaperX() const { return myTaperX; }
    fpreal getTaperY() const { return myTaperY; }
    bool isTapered() const { return myTaperX != 1.0f || myTaperY != 1.0f; }

    void getRes(int &rx, int &ry, int &rz) const;
    // World position of voxel (x, y, z)'s centre; false when out of range
    // (the position is computed all the same).
    bool indexToPos(int x, int y, int z, UT_Vector3 &pos) const;
    // Voxel containing pos, unclamped; false when outside the grid.
    bool posToIndex(UT_Vector3 pos, int &x, int &y, int &z) const;
    fpreal getValueAtIndex(int x, int y, int z) const { return myVoxels->getValue(x, y, z); }

    // Makes the voxels this volume's own (copy on write) and hands them out.
    UT_VoxelArrayWriteHandleF getVoxelWriteHandle();
    const UT_VoxelArrayF *getVoxels() const { return myVoxels.get(); }

protected:
    void copyVolumeInto(GEO_PrimVolume &to) const;

private:
    UT_Matrix3 myXform;
    UT_Matrix3 myInverse;
    bool mySingular = false;
    float myTaperX = 1.0f, myTaperY = 1.0f;
    std::shared_ptr<UT_VoxelArrayF> myVoxels;
    std::shared_ptr<int> myShareToken; // shared by volumes that share myVoxels
};
