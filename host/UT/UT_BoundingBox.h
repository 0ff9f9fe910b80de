// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cfloat>
#include <algorithm>
#include "UT_Vector3.h"

template <typename T>
class UT_BoundingBoxT
{
public:
    UT_BoundingBoxT() { initBounds(); }
    UT_BoundingBoxT(T xmin, T ymin, T zmin, T xmax, T ymax, T zmax) : vals{{xmin, xmax}, {ymin, ymax}, {zmin, zmax}} {}

    // An empty box: min above max, so the first enlargeBounds sets both.
    void initBounds()
    {
        for (auto &v : vals) { v[0] = FLT_MAX; v[1] = -FLT_MAX; }
    }
    void initBounds(const UT_Vector3T<T> &p)
    {
        for (int i = 0; i < 3; ++i) vals[i][0] = vals[i][1] = p[i];
    }
    void enlargeBounds(const UT_Vector3T<T> &p)
    {
        for (int i = 0; i < 3; ++i)
        {
            vals[i][0] = std::min(vals[i][0], p[i]);
            vals[i][1] = std::max(vals[i][1], p[i]);
        }
    }
    void enlargeBounds(const UT_BoundingBoxT &b)
    {
        for (int i = 0; i < 3; ++i)
        {
            vals[i][0] = std::min(vals[i][0], b.vals[i][0]);
            vals[i][1] = std::max(vals[i][1], b.vals[i][1]);
        }
    }
    bool isValid() const { return vals[0][0] <= vals[0][1] && vals[1][0] <= vals[1][1] && vals[2][0] <= vals[2][1]; }

    T xmin() const { return vals[0][0]; }
    T xmax() const { return vals[0][1]; }
    T ymin() const { return vals[1][0]; }
    T ymax() const { return vals[1][1]; }
    T zmin() const { return vals[2][0]; }
    T zmax() const { return vals[2][1]; }
    T getMin(int axis) const { return vals[axis][0]; }
    T getMax(int axis) const { return vals[axis][1]; }
    T sizeX() const { return vals[0][1] - vals[0][0]; }
    T sizeY() const { return vals[1][1] - vals[1][0]; }
    T sizeZ() const { return vals[2][1] - vals[2][0]; }
    T centerX() const { return (vals[0][0] + vals[0][1]) * T(0.5); }
    T centerY() const { return (vals[1][0] + vals[1][1]) * T(0.5); }
    T centerZ() const { return (vals[2][0] + vals[2][1]) * T(0.5); }
    UT_Vector3T<T> minvec() const { return {vals[0][0], vals[1][0], vals[2][0]}; }
    UT_Vector3T<T> maxvec() const { return {vals[0][1], vals[1][1], vals[2][1]}; }

    T vals[3][2];
};

typedef UT_BoundingBoxT<float> UT_BoundingBox;
typedef UT_BoundingBoxT<double> UT_BoundingBoxD;
