#pragma once
// Arithmetic shared by the projection families: angle constants, longitude
// reduction, guarded arc functions and the two pixel conventions.
#include <algorithm>
#include <cmath>

#include "mapping/vkqMapping.h"

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

// Arc sine and arc cosine of a value that should lie in -1..1: a value that
// rounding has pushed just past an end is clamped; anything farther out is
// a domain error and gives NaN.
inline double AsinNear(double v)
{
    if (v > 1.0 && v < 1.0 + 1e-9)
        v = 1.0;
    else if (v < -1.0 && v > -1.0 - 1e-9)
        v = -1.0;
    return std::asin(v);
}

inline double AcosNear(double v)
{
    if (v > 1.0 && v < 1.0 + 1e-9)
        v = 1.0;
    else if (v < -1.0 && v > -1.0 - 1e-9)
        v = -1.0;
    return std::acos(v);
}

// A distance limit as the cosine of its central angle: arccos(c) * radius
// >= limit exactly when the clamped c is at most this.
inline double LimitCosine(double limitKm) { return std::cos(limitKm / EarthRadiusKm); }
inline bool Beyond(double cosc, double limitCos) { return std::clamp(cosc, -1.0, 1.0) <= limitCos; }

// Width-unit kinds: x from the horizontal centre, y up from CentreRow, both
// in image widths.
inline void WidthUnitsToPixel(const TMapping& m, double x, double y, double& FX, double& FY)
{
    const double W = m.Width;
    FX = (0.5 + x) * W;
    FY = m.CentreRow - W * y;
}
inline void PixelToWidthUnits(const TMapping& m, double px, double py, double& x, double& y)
{
    const double rw = m.RecipWidth;
    x = px * rw - 0.5;
    y = (m.CentreRow - py) * rw;
}

} // namespace projection
