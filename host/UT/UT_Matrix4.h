// SPDX-License-Identifier: Apache-2.0
#pragma once
#include "UT_Vector3.h"

// 4x4 matrix in the row-vector convention: p' = p * M, translation in row 3.
template <typename T>
class UT_Matrix4T
{
public:
    UT_Matrix4T() { identity(); }
    explicit UT_Matrix4T(T diagonal)
    {
        zero();
        for (int i = 0; i < 4; ++i) m[i][i] = diagonal;
    }
    template <typename S>
    explicit UT_Matrix4T(const UT_Matrix4T<S> &o)
    {
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) m[r][c] = T(o(r, c));
    }

    void identity()
    {
        zero();
        for (int i = 0; i < 4; ++i) m[i][i] = 1;
    }
    void zero()
    {
        for (auto &row : m)
            for (auto &v : row) v = 0;
    }
    T &operator()(int r, int c) { return m[r][c]; }
    T operator()(int r, int c) const { return m[r][c]; }
    T *data() { return &m[0][0]; }
    const T *data() const { return &m[0][0]; }

    UT_Matrix4T operator*(const UT_Matrix4T &b) const
    {
        UT_Matrix4T r;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
            {
                T s = 0;
                for (int k = 0; k < 4; ++k) s += m[i][k] * b.m[k][j];
                r.m[i][j] = s;
            }
        return r;
    }
    UT_Matrix4T &operator*=(const UT_Matrix4T &b) { return *this = *this * b; }
    // this = a * this
    void leftMult(const UT_Matrix4T &a) { *this = a * *this; }

    void translate(T x, T y, T z)
    {
        UT_Matrix4T t;
        t.m[3][0] = x; t.m[3][1] = y; t.m[3][2] = z;
        *this *= t;
    }
    void scale(T x, T y, T z)
    {
        UT_Matrix4T s;
        s.m[0][0] = x; s.m[1][1] = y; s.m[2][2] = z;
        *this *= s;
    }
    UT_Vector3T<T> getTranslates() const { return {m[3][0], m[3][1], m[3][2]}; }

    // Row vector times matrix, with the homogeneous divide.
    template <typename S>
    UT_Vector3T<S> transform(const UT_Vector3T<S> &p) const
    {
        T x = p.x(), y = p.y(), z = p.z();
        T rx = x * m[0][0] + y * m[1][0] + z * m[2][0] + m[3][0];
        T ry = x * m[0][1] + y * m[1][1] + z * m[2][1] + m[3][1];
        T rz = x * m[0][2] + y * m[1][2] + z * m[2][2] + m[3][2];
        T rw = x * m[0][3] + y * m[1][3] + z * m[2][3] + m[3][3];
        if (rw != 1 && rw != 0) { rx /= rw; ry /= rw; rz /= rw; }
        return UT_Vector3T<S>(S(rx), S(ry), S(rz));
    }

    T m[4][4];
};

template <typename T, typename S>
inline UT_Vector3T<S> operator*(const UT_Vector3T<S> &p, const UT_Matrix4T<T> &mat) { return mat.transform(p); }

typedef UT_Matrix4T<float> UT_Matrix4;
typedef UT_Matrix4T<float> UT_Matrix4F;
typedef UT_Matrix4T<double> UT_DMatrix4;
typedef UT_Matrix4T<double> UT_Matrix4D;
