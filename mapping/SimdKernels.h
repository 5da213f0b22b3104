// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The array transforms' vector kernels, built for SSE2 (every x86-64), AVX2
// and AVX-512, and the choice among them made once from what the processor
// has. Every kind's kernels are the generic forward and inverse kernels run
// over its family's steps (SimdKernels.inc); a kernel works out a run of
// points and the caller places them, with the per-point code for the points
// a kernel leaves to it.
#include <array>
#include <cstddef>
#include <cstdint>

#include "mapping/ProjectionKinds.h"

// What a kernel says of each point. The forward statuses below Rounded are
// TMapping::TProjectResult's values.
enum class TPointStatus : uint8_t {
    NotComputed = 0, // forward: prNotComputed; inverse: does not convert
    Hidden = 1,      // forward: prHidden
    Computed = 2,    // forward: prComputed, with a pixel outside the 32-bit range
    Rounded = 3,     // forward: computed, both pixels rounded (as RoundToInt32 rounds) into RX and RY
    Converted = 4,   // inverse: converts to Lon and Lat (finite singles)
    Fallback = 255,  // left to the per-point code (a longitude far outside -540..540, say)
};

// What a forward kernel writes for each point: the unrounded pixel, the
// rounded one (for Rounded) and the status.
struct TSimdForwardOut {
    double* FX;
    double* FY;
    int32_t* RX;
    int32_t* RY;
    TPointStatus* Status;
};

// What an inverse kernel writes for each pixel: the angles (for Converted)
// and the status.
struct TSimdInverseOut {
    float* Lon;
    float* Lat;
    TPointStatus* Status;
};

// A kernel runs over the family object of its kind (built once per array
// from the map), Count points from the given ones; the inverse removes the
// map's offsets (whole numbers) from the pixels as the per-point call does.
using TSimdForwardKernel = void (*)(const void* Family, const float* Longitudes, const float* Latitudes,
                                    size_t Count, const TSimdForwardOut& Out);
using TSimdInverseKernel = void (*)(const void* Family, const int32_t* X, const int32_t* Y, size_t Count,
                                    int32_t OffsetX, int32_t OffsetY, const TSimdInverseOut& Out);

// One instruction set's kernels, indexed by kind; null where a kind has
// none (kind 0, and the inverse of a kind without one).
struct TSimdKernelSet {
    const char* Name;
    std::array<TSimdForwardKernel, ProjectionKindCount> Forward;
    std::array<TSimdInverseKernel, ProjectionKindCount> Inverse;
};

enum class TSimdLevel : uint8_t { Baseline, Avx2, Avx512 };

// The kernels in use: the best the processor runs, or at most Limit.
const TSimdKernelSet& SimdKernels();
// Caps the level used from now on (tests run the baseline path this way);
// returns the level in use afterwards.
TSimdLevel LimitSimdLevel(TSimdLevel Limit);
// The best level this processor runs.
TSimdLevel BestSimdLevel();
