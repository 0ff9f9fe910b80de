// SPDX-License-Identifier: Apache-2.0
#pragma once
// Proofs that a whole point, wisp or quad reaches no voxel of a slab, made
// before its noise is evaluated, so that a slab cook can skip that work too.
// Every bound is conservative: when in doubt (a rotated or tapered volume,
// a value that is not finite) nothing is skipped.
#include <algorithm>
#include <cmath>
#include <limits>
#include "GEO/GEO_PrimVolume.h"
#include "VolumeSetup.h"

// A bound of |fractalNoise| and of every component of |axisFractalNoise|
// with these settings. One lookup of the gradient noise blends the eight
// corner values g = +-d_i +-d_j (d: the offset from the corner, |d_a| <= 1;
// two of the three axes, picked by the hash) with the product weights of
// fade(). Whatever the hash and signs, |g| is at most the sum of the two
// largest |d_a| of its corner; that blend, maximised over the cell (on a
// 401^3 grid of the half cell, which by symmetry holds the maximum, plus
// its slope times half the spacing), is below 1.0364 + 0.0026, so a lookup
// stays within 1.05. The octaves add roughness / m of one lookup each.
// Infinite when the settings give no bound.
inline double fractalNoiseBound(int octaves, float roughness)
{
    if (!std::isfinite(roughness)) return std::numeric_limits<double>::infinity();
    // The octave loop runs m = 1 .. octaves (with its float counter capped).
    const double m = std::min(double(octaves), 16777216.0);
    // Harmonic sum H(m) <= ln(m) + 1.
    const double harmonic = m >= 1 ? std::log(m) + 1.0 : 0.0;
    return 1.05 * (1.0 + std::fabs(double(roughness)) * harmonic) * (1.0 + 1e-6) + 1e-9;
}

// Whether nothing that lands in world z [zlo, zhi] and writes voxels within
// `reach` z indices of its own voxel (clamped to the grid or not) can touch
// the slab. False outside a slab cook, so a whole cook pays nothing.
inline bool slabMissesWorldZ(const GEO_PrimVolume *vol, const SlabRange &slab, double zlo, double zhi,
                             double reach)
{
    int rx, ry, rz;
    vol->getRes(rx, ry, rz);
    if (slab.lo <= 0 && slab.hi >= rz) return false;
    if (slab.lo >= slab.hi) return true; // an empty slab keeps no write
    // z index must follow world z alone, and monotonically.
    const UT_Matrix3 &X = vol->getTransform();
    if (vol->isTapered() || X(0, 2) != 0.0f || X(1, 2) != 0.0f || X(2, 0) != 0.0f || X(2, 1) != 0.0f) return false;
    if (!(std::isfinite(zlo) && std::isfinite(zhi) && zlo <= zhi && reach >= 0 && reach < 1e9)) return false;
    // Positions are floats: every float between the bounds lies within the
    // bounds rounded outwards.
    const float flo = std::nextafter(float(zlo), -std::numeric_limits<float>::infinity());
    const float fhi = std::nextafter(float(zhi), std::numeric_limits<float>::infinity());
    if (!(std::isfinite(flo) && std::isfinite(fhi))) return false;
    const UT_Vector3 c = vol->getCenter();
    int x, y, k0, k1;
    vol->posToIndex(UT_Vector3(c.x(), c.y(), flo), x, y, k0);
    vol->posToIndex(UT_Vector3(c.x(), c.y(), fhi), x, y, k1);
    // Index bounds with and without clamping to the grid, one voxel of margin.
    const double kmin = std::min(k0, k1), kmax = std::max(k0, k1);
    const double from = std::min(kmin, std::clamp(kmin, 0.0, double(rz - 1))) - reach - 1;
    const double to = std::max(kmax, std::clamp(kmax, 0.0, double(rz - 1))) + reach + 2;
    return to <= double(slab.lo) || from >= double(slab.hi);
}
