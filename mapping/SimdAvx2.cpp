// SPDX-License-Identifier: GPL-3.0-or-later
// The vector kernels for Avx2, compiled with its instruction set enabled (see CMakeLists.txt).
#include <cstring>
#include <utility>

#include "mapping/Lanes.h"
#include "mapping/ProjectionFamilies.h"
#include "mapping/SimdKernels.h"

#ifdef __AVX2__
namespace simd_avx2 {
using V = lanes::D4;
using M = lanes::M4;
#include "mapping/SimdKernels.inc"
} // namespace simd_avx2

extern const TSimdKernelSet SimdKernelsAvx2 = simd_avx2::KernelSet("avx2");
#endif
