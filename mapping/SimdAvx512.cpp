// SPDX-License-Identifier: GPL-3.0-or-later
// The vector kernels for Avx512, compiled with its instruction set enabled (see CMakeLists.txt).
#include <cstring>
#include <utility>

#include "mapping/Lanes.h"
#include "mapping/ProjectionFamilies.h"
#include "mapping/SimdKernels.h"

#ifdef __AVX512F__
namespace simd_avx512 {
using V = lanes::D8;
using M = lanes::M8;
#include "mapping/SimdKernels.inc"
} // namespace simd_avx512

extern const TSimdKernelSet SimdKernelsAvx512 = simd_avx512::KernelSet("avx512");
#endif
