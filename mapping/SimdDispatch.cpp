// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>

#include "mapping/SimdKernels.h"

extern const TSimdKernelSet SimdKernelsSse2;
#ifdef QUILLON_SIMD_AVX2
extern const TSimdKernelSet SimdKernelsAvx2;
#endif
#ifdef QUILLON_SIMD_AVX512
extern const TSimdKernelSet SimdKernelsAvx512;
#endif

namespace {

// The level in use; worked out on first use, not at start-up.
constexpr int Unset = -1;
std::atomic<int> Level{Unset};

const TSimdKernelSet& SetOf(TSimdLevel level)
{
    switch (level) {
#ifdef QUILLON_SIMD_AVX512
    case TSimdLevel::Avx512: return SimdKernelsAvx512;
#endif
#ifdef QUILLON_SIMD_AVX2
    case TSimdLevel::Avx2: return SimdKernelsAvx2;
#endif
    default: return SimdKernelsSse2;
    }
}

} // namespace

TSimdLevel BestSimdLevel()
{
    __builtin_cpu_init();
#ifdef QUILLON_SIMD_AVX512
    if (__builtin_cpu_supports("avx512f"))
        return TSimdLevel::Avx512;
#endif
#ifdef QUILLON_SIMD_AVX2
    if (__builtin_cpu_supports("avx2"))
        return TSimdLevel::Avx2;
#endif
    return TSimdLevel::Baseline;
}

TSimdLevel LimitSimdLevel(TSimdLevel Limit)
{
    const TSimdLevel best = BestSimdLevel();
    const TSimdLevel use = Limit < best ? Limit : best;
    Level = static_cast<int>(use);
    return use;
}

const TSimdKernelSet& SimdKernels()
{
    int level = Level;
    if (level == Unset) {
        level = static_cast<int>(BestSimdLevel());
        int expected = Unset;
        if (!Level.compare_exchange_strong(expected, level))
            level = expected;
    }
    return SetOf(static_cast<TSimdLevel>(level));
}
