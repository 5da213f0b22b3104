// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Lanes of doubles for the projection formulas: a plain double (one point)
// or a SIMD vector of 2, 4 or 8 points, with the same operations on each.
// The elementary functions are SLEEF's deterministic ones, which give the
// same bits in every lane whatever the vector width or instruction set, so
// a point gets the same result alone or in any array.
//
// Everything here has internal linkage: a file compiled for AVX2 or
// AVX-512 gets its own copies and never lends one to the baseline code.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include <immintrin.h>
#include <sleef.h>

namespace lanes {

using D2 = double __attribute__((vector_size(16)));
using M2 = int64_t __attribute__((vector_size(16)));
#ifdef __AVX2__
using D4 = double __attribute__((vector_size(32)));
using M4 = int64_t __attribute__((vector_size(32)));
#endif
#ifdef __AVX512F__
using D8 = double __attribute__((vector_size(64)));
using M8 = int64_t __attribute__((vector_size(64)));
#endif

// Selection by a mask (a comparison's result): a where true, else b.
static inline double Select(bool m, double a, double b) { return m ? a : b; }
template <typename M, typename V>
static inline V Select(M m, V a, V b)
{
    return m ? a : b;
}

static inline bool Any(bool m) { return m; }
static inline bool Any(M2 m) { return (m[0] | m[1]) != 0; }
#ifdef __AVX2__
static inline bool Any(M4 m) { return (m[0] | m[1] | m[2] | m[3]) != 0; }
#endif
#ifdef __AVX512F__
static inline bool Any(M8 m)
{
    return (m[0] | m[1] | m[2] | m[3] | m[4] | m[5] | m[6] | m[7]) != 0;
}
#endif

// Sine and cosine together.
static inline void SinCos(D2 a, D2& s, D2& c)
{
    const Sleef___m128d_2 r = Sleef_sincosd2_u10(reinterpret_cast<__m128d>(a));
    s = reinterpret_cast<D2>(r.x);
    c = reinterpret_cast<D2>(r.y);
}
#ifdef __AVX2__
static inline void SinCos(D4 a, D4& s, D4& c)
{
    const Sleef___m256d_2 r = Sleef_sincosd4_u10(reinterpret_cast<__m256d>(a));
    s = reinterpret_cast<D4>(r.x);
    c = reinterpret_cast<D4>(r.y);
}
#endif
#ifdef __AVX512F__
static inline void SinCos(D8 a, D8& s, D8& c)
{
    const Sleef___m512d_2 r = Sleef_sincosd8_u10(reinterpret_cast<__m512d>(a));
    s = reinterpret_cast<D8>(r.x);
    c = reinterpret_cast<D8>(r.y);
}
#endif

// Two angles of one point at once (one 2-lane call): the single-point form
// of SinCos, with the bits the vector forms give each lane as long as every
// lane of each call lies within 15 radians (beyond, SLEEF reduces the whole
// vector another way; the kernels keep such lanes out).
static inline void SinCosPair(double a, double b, double& sa, double& ca, double& sb, double& cb)
{
    D2 s, c;
    SinCos(D2{a, b}, s, c);
    sa = s[0];
    ca = c[0];
    sb = s[1];
    cb = c[1];
}
template <typename V>
static inline void SinCosPair(V a, V b, V& sa, V& ca, V& sb, V& cb)
{
    SinCos(a, sa, ca);
    SinCos(b, sb, cb);
}

// Arc tangent of a / b.
static inline D2 Atan2(D2 a, D2 b)
{
    return reinterpret_cast<D2>(Sleef_atan2d2_u10(reinterpret_cast<__m128d>(a), reinterpret_cast<__m128d>(b)));
}
#ifdef __AVX2__
static inline D4 Atan2(D4 a, D4 b)
{
    return reinterpret_cast<D4>(Sleef_atan2d4_u10(reinterpret_cast<__m256d>(a), reinterpret_cast<__m256d>(b)));
}
#endif
#ifdef __AVX512F__
static inline D8 Atan2(D8 a, D8 b)
{
    return reinterpret_cast<D8>(Sleef_atan2d8_u10(reinterpret_cast<__m512d>(a), reinterpret_cast<__m512d>(b)));
}
#endif

// Two arc tangents of one point in one 2-lane call, or of lanes.
static inline void Atan2Pair(double a1, double b1, double a2, double b2, double& r1, double& r2)
{
    const D2 r = Atan2(D2{a1, a2}, D2{b1, b2});
    r1 = r[0];
    r2 = r[1];
}
template <typename V>
static inline void Atan2Pair(V a1, V b1, V a2, V b2, V& r1, V& r2)
{
    r1 = Atan2(a1, b1);
    r2 = Atan2(a2, b2);
}

// Two arc tangents of one point in one 2-lane call, or of lanes (after
// the unary Atan below).
static inline void AtanPair(double a, double b, double& ra, double& rb);
template <typename V>
static inline void AtanPair(V a, V b, V& ra, V& rb);

// Functions of one argument: Name(lanes) through SLEEF's vector call, and
// Name(double) through the 2-lane call, so that one point gets the bits a
// lane gets.
#define QUILLON_LANES_UNARY(Name, sleef)                                                                          \
    static inline D2 Name(D2 a) { return reinterpret_cast<D2>(Sleef_##sleef##d2_u10(reinterpret_cast<__m128d>(a))); } \
    QUILLON_LANES_UNARY_WIDE(Name, sleef)                                                                         \
    static inline double Name(double a) { return Name(D2{a, a})[0]; }
#if defined(__AVX512F__)
#define QUILLON_LANES_UNARY_WIDE(Name, sleef)                                                                     \
    static inline D4 Name(D4 a) { return reinterpret_cast<D4>(Sleef_##sleef##d4_u10(reinterpret_cast<__m256d>(a))); } \
    static inline D8 Name(D8 a) { return reinterpret_cast<D8>(Sleef_##sleef##d8_u10(reinterpret_cast<__m512d>(a))); }
#elif defined(__AVX2__)
#define QUILLON_LANES_UNARY_WIDE(Name, sleef)                                                                     \
    static inline D4 Name(D4 a) { return reinterpret_cast<D4>(Sleef_##sleef##d4_u10(reinterpret_cast<__m256d>(a))); }
#else
#define QUILLON_LANES_UNARY_WIDE(Name, sleef)
#endif

QUILLON_LANES_UNARY(Acos, acos)
QUILLON_LANES_UNARY(Asin, asin)
QUILLON_LANES_UNARY(Cos, cos) // like SinCos, beyond 15 radians another way for the whole vector
QUILLON_LANES_UNARY(Atan, atan)
QUILLON_LANES_UNARY(Tan, tan) // like sine and cosine, beyond 15 radians another way for the whole vector
QUILLON_LANES_UNARY(Log, log)
QUILLON_LANES_UNARY(Exp, exp)

#undef QUILLON_LANES_UNARY_WIDE
#undef QUILLON_LANES_UNARY

static inline void AtanPair(double a, double b, double& ra, double& rb)
{
    const D2 r = Atan(D2{a, b});
    ra = r[0];
    rb = r[1];
}
template <typename V>
static inline void AtanPair(V a, V b, V& ra, V& rb)
{
    ra = Atan(a);
    rb = Atan(b);
}

// Sine and cosine of one angle through the 2-lane call (the same bits as a
// lane of the vector forms while every lane lies within 15 radians).
static inline void SinCos(double a, double& s, double& c)
{
    D2 s2, c2;
    SinCos(D2{a, a}, s2, c2);
    s = s2[0];
    c = c2[0];
}

// Lanes rounded to 32-bit integers in the current rounding mode (to
// nearest, halves to even), as _mm_cvtsd_si32 rounds one value; lanes
// outside the range give INT32_MIN. Count (at most the lanes) are stored.
static inline void RoundToInt32(D2 v, size_t count, int32_t* out)
{
    int32_t r[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r), _mm_cvtpd_epi32(reinterpret_cast<__m128d>(v)));
    for (size_t i = 0; i < count; ++i)
        out[i] = r[i];
}
#ifdef __AVX2__
static inline void RoundToInt32(D4 v, size_t count, int32_t* out)
{
    const __m128i r = _mm256_cvtpd_epi32(reinterpret_cast<__m256d>(v));
    if (count == 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), r);
        return;
    }
    int32_t t[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(t), r);
    for (size_t i = 0; i < count; ++i)
        out[i] = t[i];
}
#endif
#ifdef __AVX512F__
static inline void RoundToInt32(D8 v, size_t count, int32_t* out)
{
    const __m256i r = _mm512_maskz_cvtpd_epi32(0xFF, reinterpret_cast<__m512d>(v));
    if (count == 8) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), r);
        return;
    }
    int32_t t[8];
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(t), r);
    for (size_t i = 0; i < count; ++i)
        out[i] = t[i];
}
#endif

// The lanes of a vector one by one (one point: the value itself), for the
// steps that call the C library's functions lane by lane.
template <typename V>
constexpr size_t LaneCount = sizeof(V) / sizeof(double);
static inline double GetLane(double v, size_t) { return v; }
template <typename V>
static inline double GetLane(const V& v, size_t k)
{
    return v[k];
}
static inline void SetLane(double& v, size_t, double x) { v = x; }
template <typename V>
static inline void SetLane(V& v, size_t k, double x)
{
    v[k] = x;
}
// f(k) for each lane k of V.
template <typename V, typename F>
static inline void EachLane(F&& f)
{
    for (size_t k = 0; k < LaneCount<V>; ++k)
        f(k);
}

// Square roots are correctly rounded in every form.
static inline double Sqrt(double v) { return std::sqrt(v); }
static inline D2 Sqrt(D2 v) { return reinterpret_cast<D2>(_mm_sqrt_pd(reinterpret_cast<__m128d>(v))); }
#ifdef __AVX2__
static inline D4 Sqrt(D4 v) { return reinterpret_cast<D4>(_mm256_sqrt_pd(reinterpret_cast<__m256d>(v))); }
#endif
#ifdef __AVX512F__
static inline D8 Sqrt(D8 v) { return reinterpret_cast<D8>(_mm512_maskz_sqrt_pd(0xFF, reinterpret_cast<__m512d>(v))); }
#endif

static inline bool IsFinite(double v) { return std::isfinite(v); }
template <typename V>
static inline auto IsFinite(V v)
{
    return (v - v) == (v - v); // inf - inf and NaN give NaN, unequal to itself
}

template <typename V>
static inline V Abs(V v)
{
    return Select(v < 0, -v, v);
}

// Lanes whose angle lies 14 radians or more from 0 (or is not finite) are
// marked far: SLEEF would reduce the whole vector's angles another way, so
// such lanes are left to the per-point code and enter the vector as 0. One
// point (a double) is never far and keeps its angle.
static inline void MarkFar(bool&, double) {}
template <typename M, typename V>
static inline void MarkFar(M& far, V a)
{
    far = far | ((Abs(a) < 14.0) == 0);
}
static inline double ZeroFar(bool, double a) { return a; }
template <typename M, typename V>
static inline V ZeroFar(M far, V a)
{
    return Select(far, V{}, a);
}

// Both angles of a point: lanes where either is far are marked, and both
// enter as 0 there.
template <typename M, typename V>
static inline void KeepNear(M& far, V& a, V& b)
{
    MarkFar(far, a);
    MarkFar(far, b);
    a = ZeroFar(far, a);
    b = ZeroFar(far, b);
}

} // namespace lanes
