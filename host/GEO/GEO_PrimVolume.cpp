// SPDX-License-Identifier: Apache-2.0
#include "GEO_PrimVolume.h"
#include <cmath>

GEO_PrimVolume::GEO_PrimVolume(GA_Detail *detail)
    : GEO_Primitive(detail), myVoxels(std::make_shared<UT_VoxelArrayF>()), myShareToken(std::make_shared<int>(0))
{
    // Sized later through the write handle, the voxels keep the detail's slab.
    if (detail) myVoxels->setSlab(detail->getVoxelSlab());
}

GA_Primitive *GEO_PrimVolume::clone(GA_Detail *detail) const
{
    auto *v = new GEO_PrimVolume(detail);
    copyVolumeInto(*v);
    return v;
}

void GEO_PrimVolume::copyVolumeInto(GEO_PrimVolume &to) const
{
    GEO_PrimVolume *v = &to;
    copyBaseInto(*v);
    v->myXform = myXform;
    v->myInverse = myInverse;
    v->mySingular = mySingular;
    v->myTaperX = myTaperX;
    v->myTaperY = myTaperY;
    // A write handle still held on these voxels would write into the copy
    // too, so then the copy gets voxels of its own.
    if (myVoxels.use_count() > myShareToken.use_count())
    {
        v->myVoxels = std::make_shared<UT_VoxelArrayF>(*myVoxels);
        v->myShareToken = std::make_shared<int>(0);
        return;
    }
    v->myVoxels = myVoxels;
    v->myShareToken = myShareToken;
}

void GEO_PrimVolume::setTransform(const UT_Matrix3 &xform)
{
    dropCentreTerms();
    myXform = xform;
    // Inverse in double, rounded once to single precision.
    UT_DMatrix3 d, dinv;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) d(r, c) = xform(r, c);
    mySingular = !d.invert(dinv);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) myInverse(r, c) = float(dinv(r, c));
}

template <typename M>
static void setFrom4(GEO_PrimVolume &vol, const M &m)
{
    UT_Matrix3 x;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) x(r, c) = float(m(r, c));
    vol.setTransform(x);
    if (vol.getVertexCount() > 0)
        vol.getDetail().setPos3(vol.getPointOffset(0), UT_Vector3(float(m(3, 0)), float(m(3, 1)), float(m(3, 2))));
}

void GEO_PrimVolume::setTransform4(const UT_Matrix4 &m) { setFrom4(*this, m); }
void GEO_PrimVolume::setTransform4(const UT_DMatrix4 &m) { setFrom4(*this, m); }

UT_Matrix4 GEO_PrimVolume::getTransform4() const
{
    UT_Matrix4 m;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m(r, c) = myXform(r, c);
    UT_Vector3 c = getCenter();
    m(3, 0) = c.x(); m(3, 1) = c.y(); m(3, 2) = c.z();
    return m;
}

void GEO_PrimVolume::getRes(int &rx, int &ry, int &rz) const
{
    rx = myVoxels->getXRes();
    ry = myVoxels->getYRes();
    rz = myVoxels->getZRes();
}

void GEO_PrimVolume::dropCentreTerms()
{
    std::lock_guard<std::mutex> guard(myCentreMutex);
    myCentreTerms.store(nullptr, std::memory_order_release);
    myCentreTables.clear();
}

// Canonical coordinate of index i on an axis of n voxels.
static float canonical(int i, int n) { return (float(i) + 0.5f) / float(n) * 2.0f - 1.0f; }

const GEO_PrimVolume::CentreTerms *GEO_PrimVolume::centreTermsFor(int rx, int ry, int rz) const
{
    // Tables cost 12 bytes per voxel of each axis; absurd resolutions keep
    // to the formula.
    constexpr int64_t maxAxisVoxels = int64_t(1) << 20;
    if (isTapered() || int64_t(rx) + ry + rz > maxAxisVoxels) return nullptr;
    std::lock_guard<std::mutex> guard(myCentreMutex);
    const CentreTerms *current = myCentreTerms.load(std::memory_order_acquire);
    if (current && current->res[0] == rx && current->res[1] == ry && current->res[2] == rz) return current;
    auto t = std::make_unique<CentreTerms>();
    const int res[3] = {rx, ry, rz};
    for (int a = 0; a < 3; ++a)
    {
        t->res[a] = res[a];
        t->terms[a].resize(3 * size_t(res[a]));
        for (int i = 0; i < res[a]; ++i)
        {
            float c = canonical(i, res[a]);
            for (int o = 0; o < 3; ++o) t->terms[a][3 * size_t(i) + o] = c * myXform(a, o);
        }
    }
    current = t.get();
    myCentreTables.push_back(std::move(t));
    myCentreTerms.store(current, std::memory_order_release);
    return current;
}

bool GEO_PrimVolume::indexToPosSlow(int x, int y, int z, UT_Vector3 &pos) const
{
    if (myVoxels->isValidIndex(x, y, z) && centreTermsFor(myVoxels->getXRes(), myVoxels->getYRes(), myVoxels->getZRes()))
        return indexToPos(x, y, z, pos);
    int res[3];
    getRes(res[0], res[1], res[2]);
    int idx[3] = {x, y, z};
    UT_Vector3 c;
    for (int a = 0; a < 3; ++a) c[a] = canonical(idx[a], res[a]);
    if (isTapered())
    {
        float zs = (1.0f - c.z()) * 0.5f;
        c.x() *= 1.0f + (myTaperX - 1.0f) * zs;
        c.y() *= 1.0f + (myTaperY - 1.0f) * zs;
    }
    pos = myXform.rowTimes(c) + getCenter();
    return myVoxels->isValidIndex(x, y, z);
}

GEO_VoxelCentreRow GEO_PrimVolume::centreRow(int y, int z) const
{
    GEO_VoxelCentreRow row;
    row.myVolume = this;
    row.myRowY = y;
    row.myRowZ = z;
    const int rx = myVoxels->getXRes(), ry = myVoxels->getYRes(), rz = myVoxels->getZRes();
    if (rx <= 0 || !myVoxels->isValidIndex(0, y, z)) return row;
    const CentreTerms *t = myCentreTerms.load(std::memory_order_acquire);
    if (!t || t->res[0] != rx || t->res[1] != ry || t->res[2] != rz) t = centreTermsFor(rx, ry, rz);
    if (!t) return row;
    row.myXTerms = t->terms[0].data();
    row.myXRes = rx;
    for (int o = 0; o < 3; ++o)
    {
        row.myY[o] = t->terms[1][3 * size_t(y) + o];
        row.myZ[o] = t->terms[2][3 * size_t(z) + o];
    }
    row.myCentre = getCenter();
    return row;
}

bool GEO_PrimVolume::posToIndex(UT_Vector3 pos, int &x, int &y, int &z) const
{
    int res[3];
    getRes(res[0], res[1], res[2]);
    UT_Vector3 d = pos - getCenter();
    UT_Vector3 c;
    if (!mySingular)
        c = myInverse.rowTimes(d);
    else
    {
        // A flattened box: axes of zero extent map to the canonical centre.
        for (int a = 0; a < 3; ++a)
        {
            float h = myXform(a, a);
            c[a] = h != 0.0f ? d[a] / h : 0.0f;
        }
    }
    if (isTapered())
    {
        float zs = (1.0f - c.z()) * 0.5f;
        float fx = 1.0f + (myTaperX - 1.0f) * zs;
        float fy = 1.0f + (myTaperY - 1.0f) * zs;
        c.x() = fx != 0.0f ? c.x() / fx : 0.0f;
        c.y() = fy != 0.0f ? c.y() / fy : 0.0f;
    }
    int out[3];
    for (int a = 0; a < 3; ++a)
    {
        float u = (c[a] + 1.0f) * 0.5f * float(res[a]);
        float f = std::floor(u);
        // NaN and huge positions land outside the grid rather than overflowing.
        if (!(f > -1e9f)) f = -1e9f;
        if (f > 1e9f) f = 1e9f;
        out[a] = int(f);
    }
    x = out[0]; y = out[1]; z = out[2];
    return myVoxels->isValidIndex(x, y, z);
}

UT_VoxelArrayWriteHandleF GEO_PrimVolume::getVoxelWriteHandle()
{
    if (myShareToken.use_count() > 1)
    {
        myVoxels = std::make_shared<UT_VoxelArrayF>(*myVoxels);
        myShareToken = std::make_shared<int>(0);
    }
    return UT_VoxelArrayWriteHandleF(myVoxels);
}
