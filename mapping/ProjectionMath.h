// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Arithmetic shared by the projection families: angle constants, longitude
// reduction, guarded arc functions and the two pixel conventions.
#include <algorithm>
#include <cmath>
#include <type_traits>
#include <utility>

#include "mapping/Lanes.h"
#include "mapping/Mapping.h"

namespace projection {

constexpr double Pi = 3.14159265358979323846;
constexpr double DegToRad = Pi / 180.0;
constexpr double RadToDeg = 180.0 / Pi;
constexpr double EarthRadiusKm = 6378.135;

using TResult = TMapping::TProjectResult;

inline bool Finite(double v) { return std::isfinite(v); }

// Brings a longitude into -180..180: below -180 add 360, above 180 subtract
// 360. Values far outside are first reduced exactly with fmod so that the
// loops stay short for any finite input (1e30 would otherwise never finish).
inline double Wrap(double v)
{
    if (std::fabs(v) > 720.0)
        v = std::fmod(v, 360.0);
    while (v < -180.0)
        v += 360.0;
    while (v > 180.0)
        v -= 360.0;
    return v;
}

// The inverse's reduction into -180 up to, not including, 180.
inline double ReduceHalfOpen(double v)
{
    if (std::fabs(v) > 720.0)
        v = std::fmod(v, 360.0);
    while (v >= 180.0)
        v -= 360.0;
    while (v < -180.0)
        v += 360.0;
    return v;
}

// Kind 13's reduction: below -180 add, then at or above 180 subtract.
inline double ReduceLowClosed(double v)
{
    if (std::fabs(v) > 720.0)
        v = std::fmod(v, 360.0);
    while (v < -180.0)
        v += 360.0;
    while (v >= 180.0)
        v -= 360.0;
    return v;
}

// A value that should lie in -1..1, held to the end that rounding has
// pushed it just past; anything farther out is left for the arc function
// to refuse (NaN).
inline double HoldNearUnit(double v)
{
    if (v > 1.0 && v < 1.0 + 1e-9)
        v = 1.0;
    else if (v < -1.0 && v > -1.0 - 1e-9)
        v = -1.0;
    return v;
}

// Arc sine and arc cosine of a value that should lie in -1..1.
inline double AsinNear(double v) { return std::asin(HoldNearUnit(v)); }
inline double AcosNear(double v) { return std::acos(HoldNearUnit(v)); }

// A distance limit as the cosine of its central angle: arccos(c) * radius
// >= limit exactly when the clamped c is at most this.
inline double LimitCosine(double limitKm) { return std::cos(limitKm / EarthRadiusKm); }

// The formulas below serve one point (V = double) and the vector kernels
// (V a lane vector) alike; they have internal linkage so that each
// instruction set's file keeps its own copy.

// Cosine of the central angle from a centre with sine s0 and cosine c0:
// cos c = sin phi0 sin phi + cos phi0 cos phi cos dlon.
template <typename V>
static inline V CentralCosine(double s0, double c0, V sinPhi, V cosPhi, V cosDl)
{
    return s0 * sinPhi + c0 * cosPhi * cosDl;
}

// Beyond for lanes: the cosine held to -1..1 (NaN stays NaN, and is never
// beyond) against the limit's cosine.
template <typename V>
static inline auto BeyondLimit(V cosc, V limitCos)
{
    const V held = lanes::Select(cosc < -1.0, cosc - cosc - 1.0, lanes::Select(cosc > 1.0, cosc - cosc + 1.0, cosc));
    return held <= limitCos;
}

// Rotation by r: x' = x cos r + y sin r, y' = -x sin r + y cos r.
template <typename V>
static inline void RotateXY(double rotCos, double rotSin, V& x, V& y)
{
    const V nx = x * rotCos + y * rotSin;
    const V ny = -x * rotSin + y * rotCos;
    x = nx;
    y = ny;
}

// Width-unit kinds: x from the horizontal centre, y up from CentreRow, both
// in image widths. The pixel: X = (0.5 + x) W, Y = CentreRow - W y.
template <typename V>
static inline void WidthUnitsToPixelT(double W, double centreRow, V x, V y, V& FX, V& FY)
{
    FX = (0.5 + x) * W;
    FY = centreRow - W * y;
}
// And back from the pixel (without offsets).
template <typename V>
static inline void PixelToWidthUnitsT(double rw, double centreRow, V px, V py, V& x, V& y)
{
    x = px * rw - 0.5;
    y = (centreRow - py) * rw;
}

// An inverse's longitude brought into -180 up to 180 by one step of
// ReduceHalfOpen: exact for sums less than 540 from 0 (other lanes are
// left to the per-point code).
template <typename V>
static inline V ReduceHalfOpenOnce(V v)
{
    v = lanes::Select(v >= 180.0, v - 360.0, v);
    return lanes::Select(v < -180.0, v + 360.0, v);
}

// Wrap for one point or lanes: lanes within 540 of 0 take the loops' one
// step; farther lanes (or not finite) are marked far for the per-point code.
inline double WrapT(double v, bool&) { return Wrap(v); }
template <typename V, typename M>
static inline V WrapT(V v, M& far)
{
    far = far | ((lanes::Abs(v) <= 540.0) == 0);
    v = lanes::Select(v < -180.0, v + 360.0, v);
    return lanes::Select(v > 180.0, v - 360.0, v);
}

// ReduceHalfOpen for one point or lanes: lanes less than 540 from 0 take
// its one step, the others (or not finite) are marked far.
inline double ReduceHalfOpenT(double v, bool&) { return ReduceHalfOpen(v); }
template <typename V, typename M>
static inline V ReduceHalfOpenT(V v, M& far)
{
    far = far | ((lanes::Abs(v) < 540.0) == 0);
    return ReduceHalfOpenOnce(v);
}

// HoldNearUnit for one point or lanes.
template <typename V>
static inline V HoldNearUnitT(V v)
{
    v = lanes::Select((v > 1.0) & (v < 1.0 + 1e-9), v - v + 1.0, v);
    return lanes::Select((v < -1.0) & (v > -1.0 - 1e-9), v - v - 1.0, v);
}

// AsinNear for one point or lanes, through SLEEF's arc sine.
template <typename V>
static inline V AsinNearT(V v)
{
    return lanes::Asin(HoldNearUnitT(v));
}

// d in every lane (the sign of a zero kept).
template <typename V>
static inline V Splat(double d)
{
    return d - V{};
}

// A value of 1 in every lane.
template <typename V>
static inline V One()
{
    return V{} + 1.0;
}

// A mask true in every lane (one point: true).
template <typename M>
static inline M EveryLane()
{
    if constexpr (std::is_same_v<M, bool>)
        return true;
    else
        return ~M{};
}

// Every family writes its formula in steps, each a template over a double
// (one point) or lanes (a kernel), most ending in one SLEEF call: one point
// runs the steps in turn (SteppedForward, SteppedInverse), a kernel runs
// each step over a pass of vectors before the next, so that the arithmetic
// between calls overlaps them. A family's state adds what it keeps between
// its steps to these. Masks are bools for one point.
template <typename V, typename M>
struct TForwardIO {
    V lon, lat;    // in
    M far;         // in and out: left to the per-point code (lanes only)
    M hidden;      // out: computed but not visible
    V FX, FY;      // out
    M computed;    // out
    bool done;     // one point: finished in an early step
};
template <typename V, typename M>
struct TInverseIO {
    V px, py;    // in: the pixel without offsets
    M far;       // in and out
    V lon, lat;  // out
    M converted; // out
    bool done;   // one point: finished in an early step
};

// Calls step(std::integral_constant<int, S>) for S = 0, 1, ... while the
// point is not done: the steps of a family's formula in turn on one point.
template <typename State, typename F, int... S>
[[gnu::always_inline]] inline void RunSteps(State& s, F&& step, std::integer_sequence<int, S...>)
{
    ((s.done ? void() : step(std::integral_constant<int, S>{})), ...);
}

// The per-point forward transform of a family (its TForwardState,
// ForwardSteps and ForwardStep<S>): FX and FY are written where it was
// computed.
template <typename Family>
[[gnu::always_inline]] inline TResult SteppedForward(const Family& k, double lon, double lat, double& FX, double& FY)
{
    typename Family::template TForwardState<double, bool> s{};
    s.lon = lon;
    s.lat = lat;
    RunSteps(s, [&](auto step) { k.template ForwardStep<decltype(step)::value>(s); },
             std::make_integer_sequence<int, Family::ForwardSteps>{});
    if (!s.computed)
        return TMapping::prNotComputed;
    FX = s.FX;
    FY = s.FY;
    return s.hidden ? TMapping::prHidden : TMapping::prComputed;
}

// The per-point inverse of a family (its TInverseState, InverseSteps and
// InverseStep<S>): lon and lat are written where it converts.
template <typename Family>
[[gnu::always_inline]] inline bool SteppedInverse(const Family& k, double px, double py, double& lon, double& lat)
{
    typename Family::template TInverseState<double, bool> s{};
    s.px = px;
    s.py = py;
    RunSteps(s, [&](auto step) { k.template InverseStep<decltype(step)::value>(s); },
             std::make_integer_sequence<int, Family::InverseSteps>{});
    if (s.converted) {
        lon = s.lon;
        lat = s.lat;
    }
    return s.converted;
}

// One point that fails in an early step: the later steps pass over it.
template <typename State>
inline void Fails(State& s)
{
    if constexpr (requires { s.computed; })
        s.computed = false;
    else
        s.converted = false;
    s.done = true;
}

// One point of a stepped inverse at the map centre: it converts to the
// centre, and the later steps pass over it.
template <typename State>
inline void ConvertedAtCentre(State& s, double lon, double lat)
{
    s.lon = lon;
    s.lat = lat;
    s.converted = s.done = true;
}

} // namespace projection
