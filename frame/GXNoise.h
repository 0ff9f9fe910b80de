// SPDX-License-Identifier: Apache-2.0
#pragma once
// Perlin's improved gradient noise (2002 reference), in double precision,
// and the two fractal sums the operators build from it.
#include <cmath>
#include "UT/UT_Vector3.h"

namespace gxnoise
{
// Perlin's reference permutation of 0..255.
extern const int perm[256];
// perm twice over, so p[i + 1] and p[p[...] + z + 1] need no wrap. Filled by
// GXNoise::init_noise.
extern int p[512];
} // namespace gxnoise

class GXNoise
{
public:
    GXNoise() { init_noise(); }
    ~GXNoise() {}

    // Fills the table once per plug-in: several cooks at once (the slabs of
    // one frame) each call this while the others read the table.
    void init_noise()
    {
        static const bool filled = [] {
            for (int i = 0; i < 256; ++i) gxnoise::p[i] = gxnoise::p[i + 256] = gxnoise::perm[i];
            return true;
        }();
        (void)filled;
    }

    static double fade(double t) { return t * t * t * (t * (t * 6 - 15) + 10); }
    static double lerp(double t, double a, double b) { return a + t * (b - a); }
    static double grad(int hash, double x, double y, double z)
    {
        int h = hash & 15;
        double u = h < 8 ? x : y;
        double v = h < 4 ? y : (h == 12 || h == 14 ? x : z);
        return ((h & 1) == 0 ? u : -u) + ((h & 2) == 0 ? v : -v);
    }

    // grad() without branches: the hash picks one of twelve edge directions,
    // given as coefficients of x, y and z (one of them 0). Sums of the same
    // two terms, so the value equals grad()'s (up to the sign of a zero).
    static double gradFast(int hash, double x, double y, double z)
    {
        static constexpr double gx[16] = {1, -1, 1, -1, 1, -1, 1, -1, 0, 0, 0, 0, 1, 0, -1, 0};
        static constexpr double gy[16] = {1, 1, -1, -1, 0, 0, 0, 0, 1, -1, 1, -1, 1, -1, 1, -1};
        static constexpr double gz[16] = {0, 0, 0, 0, 1, 1, -1, -1, 1, 1, -1, -1, 0, 1, 0, -1};
        int h = hash & 15;
        return gx[h] * x + gy[h] * y + gz[h] * z;
    }

    // The floored coordinate as an int, masked to the table. Values an int
    // cannot hold (and NaN) give cell 0, as the hardware conversion would.
    static int latticeCell(double f)
    {
        return f >= -2147483648.0 && f < 2147483648.0 ? int(f) & 255 : 0;
    }

    double pnoise(double x, double y, double z) const
    {
        using gxnoise::p;
        double fx = std::floor(x), fy = std::floor(y), fz = std::floor(z);
        int X = latticeCell(fx), Y = latticeCell(fy), Z = latticeCell(fz);
        x -= fx;
        y -= fy;
        z -= fz;
        double u = fade(x), v = fade(y), w = fade(z);
        int A = p[X] + Y, AA = p[A] + Z, AB = p[A + 1] + Z;
        int B = p[X + 1] + Y, BA = p[B] + Z, BB = p[B + 1] + Z;
        return lerp(w,
                    lerp(v, lerp(u, gradFast(p[AA], x, y, z), gradFast(p[BA], x - 1, y, z)),
                         lerp(u, gradFast(p[AB], x, y - 1, z), gradFast(p[BB], x - 1, y - 1, z))),
                    lerp(v, lerp(u, gradFast(p[AA + 1], x, y, z - 1), gradFast(p[BA + 1], x - 1, y, z - 1)),
                         lerp(u, gradFast(p[AB + 1], x, y - 1, z - 1), gradFast(p[BB + 1], x - 1, y - 1, z - 1))));
    }
};

// The plug-in's one noise object; every cook re-initialises its table.
extern GXNoise perlinNoise;

// The octave loop's bound as a float. Beyond 2^24 a float counter stops
// growing, so the bound is capped there: the loop always ends.
inline float octaveLimit(int octaves)
{
    double limit = double(octaves) + 1.0;
    return limit < 16777216.0 ? float(limit) : 16777216.0f;
}

// Scalar fractal sum: the base lookup plus octaves m = 1..octaves at
// frequency 2m and weight roughness / m. Octave points are scaled in single
// precision; the sum is in double.
inline double fractalNoise(const UT_Vector3 &q, int octaves, float roughness)
{
    double acc = perlinNoise.pnoise(q.x(), q.y(), q.z());
    const float limit = octaveLimit(octaves);
    for (float m = 1.0f; m < limit; m = m + 1.0f)
    {
        float k = m + m;
        float x = k * q.x(), y = k * q.y(), z = k * q.z();
        acc += perlinNoise.pnoise(x, y, z) * double(roughness) / double(m);
    }
    return acc;
}

// Per-axis fractal sum: each component has its own 1-D base lookup and its
// own fixed offsets for the octaves, so the three are uncorrelated.
inline UT_Vector3D axisFractalNoise(const UT_Vector3 &s, int octaves, float roughness)
{
    double ax = perlinNoise.pnoise(s.x(), 0, 0);
    double ay = perlinNoise.pnoise(0, s.y(), 0);
    double az = perlinNoise.pnoise(0, 0, s.z());
    const float limit = octaveLimit(octaves);
    for (float m = 1.0f; m < limit; m = m + 1.0f)
    {
        float k = m + m;
        double tx = float(k * s.x()), ty = float(k * s.y()), tz = float(k * s.z());
        ax += perlinNoise.pnoise(tx + 1.025, tx + 3.654, tx + 8.241) * double(roughness) / double(m);
        ay += perlinNoise.pnoise(ty + 0.021, ty + 1.954, ty + 4.351) * double(roughness) / double(m);
        az += perlinNoise.pnoise(tz + 3.845, tz + 2.354, tz + 7.345) * double(roughness) / double(m);
    }
    return UT_Vector3D(ax, ay, az);
}
