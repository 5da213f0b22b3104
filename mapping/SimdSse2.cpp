// The vector kernels for Sse2, which every x86-64 processor runs.
#include <cstring>

#include "mapping/Azimuthal.h"
#include "mapping/Cylindrical.h"
#include "mapping/GreatCircle.h"
#include "mapping/LambertConic.h"
#include "mapping/Lanes.h"
#include "mapping/Mercator.h"
#include "mapping/PolarStereographic.h"
#include "mapping/SimdKernels.h"
#include "mapping/VanDerGrinten.h"


namespace simd_sse2 {
using V = lanes::D2;
using M = lanes::M2;
#include "mapping/SimdKernels.inc"
} // namespace simd_sse2

extern const TSimdKernelSet SimdKernelsSse2 = simd_sse2::KernelSet("sse2");

