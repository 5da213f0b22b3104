// The vector kernels for Avx512, compiled with its instruction set enabled (see CMakeLists.txt).
#include "mapping/Azimuthal.h"
#include "mapping/Cylindrical.h"
#include "mapping/Lanes.h"
#include "mapping/SimdKernels.h"

#ifdef __AVX512F__
namespace simd_avx512 {
using V = lanes::D8;
using M = lanes::M8;
#include "mapping/SimdKernels.inc"
} // namespace simd_avx512

extern const TSimdKernelSet SimdKernelsAvx512 = {"avx512", simd_avx512::CylindricalFullKernel,
                                              simd_avx512::OrthographicKernel, simd_avx512::OrthographicInverseKernel};
#endif
