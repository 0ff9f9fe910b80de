// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "UT_Vector3.h"

// 3x3 matrix in the row-vector convention: p' = p * M.
template <typename T>
class UT_Matrix3T
{
public:
    UT_Matrix3T() { identity(); }
    void identity()
    {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) m[r][c] = r == c ? 1 : 0;
    }
    T &operator()(int r, int c) { return m[r][c]; }
    T operator()(int r, int c) const { return m[r][c]; }

    UT_Vector3T<T> rowTimes(const UT_Vector3T<T> &p) const
    {
        return {p.x() * m[0][0] + p.y() * m[1][0] + p.z() * m[2][0],
                p.x() * m[0][1] + p.y() * m[1][1] + p.z() * m[2][1],
                p.x() * m[0][2] + p.y() * m[1][2] + p.z() * m[2][2]};
    }
    T determinant() const
    {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
               m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    }
    // Inverse by the adjugate; a singular matrix gives false and leaves out untouched.
    bool invert(UT_Matrix3T &out) const
    {
        T det = determinant();
        if (det == 0) return false;
        T inv = T(1) / det;
        out.m[0][0] = (m[1][1] * m[2][2] - m[1][2] * m[2][1]) * inv;
        out.m[0][1] = (m[0][2] * m[2][1] - m[0][1] * m[2][2]) * inv;
        out.m[0][2] = (m[0][1] * m[1][2] - m[0][2] * m[1][1]) * inv;
        out.m[1][0] = (m[1][2] * m[2][0] - m[1][0] * m[2][2]) * inv;
        out.m[1][1] = (m[0][0] * m[2][2] - m[0][2] * m[2][0]) * inv;
        out.m[1][2] = (m[0][2] * m[1][0] - m[0][0] * m[1][2]) * inv;
        out.m[2][0] = (m[1][0] * m[2][1] - m[1][1] * m[2][0]) * inv;
        out.m[2][1] = (m[0][1] * m[2][0] - m[0][0] * m[2][1]) * inv;
        out.m[2][2] = (m[0][0] * m[1][1] - m[0][1] * m[1][0]) * inv;
        return true;
    }

    T m[3][3];
};

typedef UT_Matrix3T<float> UT_Matrix3;
typedef UT_Matrix3T<double> UT_DMatrix3;
