// SPDX-License-Identifier: GPL-3.0-or-later
// The vector kernels for Sse2, which every x86-64 processor runs.
#include <cstring>
#include <utility>

#include "mapping/Lanes.h"
#include "mapping/ProjectionFamilies.h"
#include "mapping/SimdKernels.h"

namespace simd_sse2 {
using V = lanes::D2;
using M = lanes::M2;
#include "mapping/SimdKernels.inc"
} // namespace simd_sse2

extern const TSimdKernelSet SimdKernelsSse2 = simd_sse2::KernelSet("sse2");

