// SPDX-License-Identifier: Apache-2.0
#pragma once
#include <cmath>
#include "UT_Types.h"

template <typename T>
class UT_Vector3T
{
public:
    UT_Vector3T() : vec{0, 0, 0} {}
    UT_Vector3T(T x, T y, T z) : vec{x, y, z} {}
    template <typename S>
    explicit UT_Vector3T(const UT_Vector3T<S> &v) : vec{T(v.x()), T(v.y()), T(v.z())} {}

    T &x() { return vec[0]; }
    T &y() { return vec[1]; }
    T &z() { return vec[2]; }
    T x() const { return vec[0]; }
    T y() const { return vec[1]; }
    T z() const { return vec[2]; }
    T &operator[](int i) { return vec[i]; }
    T operator[](int i) const { return vec[i]; }
    T *data() { return vec; }
    const T *data() const { return vec; }
    void assign(T x, T y, T z) { vec[0] = x; vec[1] = y; vec[2] = z; }

    UT_Vector3T operator+(const UT_Vector3T &o) const { return {vec[0] + o.vec[0], vec[1] + o.vec[1], vec[2] + o.vec[2]}; }
    UT_Vector3T operator-(const UT_Vector3T &o) const { return {vec[0] - o.vec[0], vec[1] - o.vec[1], vec[2] - o.vec[2]}; }
    UT_Vector3T operator-() const { return {-vec[0], -vec[1], -vec[2]}; }
    UT_Vector3T operator*(T s) const { return {vec[0] * s, vec[1] * s, vec[2] * s}; }
    UT_Vector3T operator/(T s) const { return {vec[0] / s, vec[1] / s, vec[2] / s}; }
    UT_Vector3T &operator+=(const UT_Vector3T &o) { for (int i = 0; i < 3; ++i) vec[i] += o.vec[i]; return *this; }
    UT_Vector3T &operator-=(const UT_Vector3T &o) { for (int i = 0; i < 3; ++i) vec[i] -= o.vec[i]; return *this; }
    UT_Vector3T &operator*=(T s) { for (int i = 0; i < 3; ++i) vec[i] *= s; return *this; }
    bool operator==(const UT_Vector3T &o) const { return vec[0] == o.vec[0] && vec[1] == o.vec[1] && vec[2] == o.vec[2]; }
    bool operator!=(const UT_Vector3T &o) const { return !(*this == o); }

    T dot(const UT_Vector3T &o) const { return vec[0] * o.vec[0] + vec[1] * o.vec[1] + vec[2] * o.vec[2]; }
    T length2() const { return dot(*this); }
    T length() const { return std::sqrt(length2()); }
    // Scales to unit length; a zero vector stays zero. Returns the old length.
    T normalize()
    {
        T len = length();
        if (len > 0) *this *= T(1) / len;
        return len;
    }

    T vec[3];
};

template <typename T>
inline UT_Vector3T<T> operator*(T s, const UT_Vector3T<T> &v) { return v * s; }
template <typename T>
inline T dot(const UT_Vector3T<T> &a, const UT_Vector3T<T> &b) { return a.dot(b); }
template <typename T>
inline UT_Vector3T<T> cross(const UT_Vector3T<T> &a, const UT_Vector3T<T> &b)
{
    return {a.y() * b.z() - a.z() * b.y(), a.z() * b.x() - a.x() * b.z(), a.x() * b.y() - a.y() * b.x()};
}

typedef UT_Vector3T<float> UT_Vector3;
typedef UT_Vector3T<float> UT_Vector3F;
typedef UT_Vector3T<double> UT_Vector3D;
typedef UT_Vector3T<int> UT_Vector3I;
