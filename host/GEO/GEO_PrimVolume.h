// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>
#include "GEO_Primitive.h"
#include "UT/UT_Matrix3.h"
#include "UT/UT_Matrix4.h"
#include "UT/UT_VoxelArray.h"

class GEO_PrimVolume;

// Voxel centres along one row (y, z) of a volume: at(x) is the position
// indexToPos(x, y, z) gives, with the row's table terms and anchor looked up
// once. Rows of tapered volumes (and voxels outside the grid) take
// indexToPos itself.
class GEO_VoxelCentreRow
{
public:
    UT_Vector3 at(int x) const
    {
        if (!myXTerms || unsigned(x) >= unsigned(myXRes)) return slowAt(x);
        const float *a = myXTerms + 3 * size_t(x);
        return UT_Vector3(a[0] + myY[0] + myZ[0], a[1] + myY[1] + myZ[1], a[2] + myY[2] + myZ[2]) + myCentre;
    }

private:
    friend class GEO_PrimVolume;
    inline UT_Vector3 slowAt(int x) const;

    const GEO_PrimVolume *myVolume = nullptr;
    int myRowY = 0, myRowZ = 0;
    const float *myXTerms = nullptr; // null: every voxel takes indexToPos
    int myXRes = 0;
    float myY[3] = {0, 0, 0}, myZ[3] = {0, 0, 0};
    UT_Vector3 myCentre;
};

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
    UT_Vector3 getCenter() const
    {
        return getVertexCount() > 0 ? getDetail().getPos3(getPointOffset(0)) : UT_Vector3();
    }

    void setTaperX(fpreal t) { myTaperX = float(t); dropCentreTerms(); }
    void setTaperY(fpreal t) { myTaperY = float(t); dropCentreTerms(); }
    fpreal getTaperX() const { return myTaperX; }
    fpreal getTaperY() const { return myTaperY; }
    bool isTapered() const { return myTaperX != 1.0f || myTaperY != 1.0f; }

    void getRes(int &rx, int &ry, int &rz) const;
    // World position of voxel (x, y, z)'s centre; false when out of range
    // (the position is computed all the same). Untapered volumes read the
    // per-axis terms c[a] * X(a, o) from tables and add them in rowTimes'
    // order, so the result is the same float as the formula's.
    bool indexToPos(int x, int y, int z, UT_Vector3 &pos) const
    {
        const CentreTerms *t = myCentreTerms.load(std::memory_order_acquire);
        if (!t || !t->covers(*myVoxels, x, y, z)) return indexToPosSlow(x, y, z, pos);
        const float *a = &t->terms[0][3 * size_t(x)], *b = &t->terms[1][3 * size_t(y)], *c = &t->terms[2][3 * size_t(z)];
        pos = UT_Vector3(a[0] + b[0] + c[0], a[1] + b[1] + c[1], a[2] + b[2] + c[2]) + getCenter();
        return true;
    }
    // Centres of row (y, z), for loops that walk x.
    GEO_VoxelCentreRow centreRow(int y, int z) const;
    // Voxel containing pos, unclamped; false when outside the grid.
    bool posToIndex(UT_Vector3 pos, int &x, int &y, int &z) const;
    fpreal getValueAtIndex(int x, int y, int z) const { return myVoxels->getValue(x, y, z); }

    // Makes the voxels this volume's own (copy on write) and hands them out.
    UT_VoxelArrayWriteHandleF getVoxelWriteHandle();
    const UT_VoxelArrayF *getVoxels() const { return myVoxels.get(); }

protected:
    void copyVolumeInto(GEO_PrimVolume &to) const;

private:
    // terms[a][3 * i + o] = c_a(i) * X(a, o) for the resolution res.
    struct CentreTerms
    {
        int res[3];
        std::vector<float> terms[3];
        bool covers(const UT_VoxelArrayF &v, int x, int y, int z) const
        {
            return unsigned(x) < unsigned(res[0]) && unsigned(y) < unsigned(res[1]) && unsigned(z) < unsigned(res[2]) &&
                   v.getXRes() == res[0] && v.getYRes() == res[1] && v.getZRes() == res[2];
        }
    };
    bool indexToPosSlow(int x, int y, int z, UT_Vector3 &pos) const;
    const CentreTerms *centreTermsFor(int rx, int ry, int rz) const;
    void dropCentreTerms();


    UT_Matrix3 myXform;
    UT_Matrix3 myInverse;
    bool mySingular = false;
    float myTaperX = 1.0f, myTaperY = 1.0f;
    std::shared_ptr<UT_VoxelArrayF> myVoxels;
    std::shared_ptr<int> myShareToken; // shared by volumes that share myVoxels
    // Tables for the current transform and resolution, built on first use.
    // Tables made stale by a resize stay alive (other threads may still be
    // looking at them) until the transform or taper changes.
    mutable std::atomic<const CentreTerms *> myCentreTerms{nullptr};
    mutable std::mutex myCentreMutex;
    mutable std::vector<std::unique_ptr<CentreTerms>> myCentreTables;
};

inline UT_Vector3 GEO_VoxelCentreRow::slowAt(int x) const
{
    UT_Vector3 pos;
    myVolume->indexToPos(x, myRowY, myRowZ, pos);
    return pos;
}
