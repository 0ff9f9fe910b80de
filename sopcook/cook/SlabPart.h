// SPDX-License-Identifier: Apache-2.0
#pragma once
// `--slab I/N`: a cook that keeps only z-slab I of N of every volume, so a
// frame too large for one machine is cooked by N machines and merged.
#include <string>
#include "cook/CookEstimate.h"
#include "vdb/SlabIdentity.h"

namespace sopcook
{
// "I/N" with 0 <= I < N; throws Error naming the option otherwise.
SlabPart parseSlab(const std::string &text);

// The share of a whole cook's work that a slab cook still does outside its
// slab, when the operator does not say: what its loops cannot skip (a
// wisp's noise walk before its splat, reading the input). Generous, as the
// estimate is.
constexpr double unclippedShare = 0.25;

// The estimate of the largest slab of count: the filled memory of its share
// of z tiles, and the work of that share plus the unclipped share of the
// whole.
CookEstimate slabEstimate(const CookEstimate &whole, int count);
} // namespace sopcook
