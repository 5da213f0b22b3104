// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Azimuthal kinds around the map centre: 3 and 4 azimuthal equidistant, 7
// orthographic, 8 linearised orthographic (forward only), 11 gnomonic. All
// work from the central angle c, cos c = sin phi0 sin phi + cos phi0 cos phi
// cos dlon, and may be turned by Rotation.
#include "mapping/ProjectionKinds.h"
#include "mapping/ProjectionMath.h"

#include <type_traits>

namespace projection {

// Inverse orthographic (Snyder 20-14, 20-15) for one point or lanes:
// rho = |(x, y)|, sin c = rho / R, cos c = sqrt(1 - sin^2 c),
// lat = asin(cos c sin phi0 + y sin c cos phi0 / rho) and
// dl = atan2(x sin c, rho cos phi0 cos c - y sin phi0 sin c) (atan2(x, -+y)
// on a pole). The arc sine is taken as atan2(v, sqrt((1 - v)(1 + v))), so
// that both angles come from one arc tangent call. rho and q = 1 - sin^2 c
// tell the caller about the centre (rho near 0) and points off the globe
// (q below 0), where lat and dl mean nothing. OrthographicDiscT is the first
// step (rho, sin c and q), OrthographicAnglesT the rest; the kernel takes
// the first step, then the arc tangents' arguments (AzimuthalAtanArgsT),
// and passes over vectors wholly off the disc without the arc tangents.
template <typename V>
static inline void OrthographicDiscT(double scale, V x, V y, V& rho, V& sinc, V& q)
{
    rho = lanes::Sqrt(x * x + y * y);
    sinc = rho / scale;
    q = 1.0 - sinc * sinc;
}
// The inverse azimuthal angles (Snyder 20-14, 20-15) from the plane point
// and the central angle's sine and cosine, for one point or lanes: lat =
// asin v with v = cos c sin phi0 + y sin c cos phi0 / rho, taken as
// atan2(v, sqrt((1 - v)(1 + v))), and dl = atan2(x sin c, rho cos phi0 cos c
// - y sin phi0 sin c) (atan2(x, -+y) on a pole); both arc tangents in one
// call. AzimuthalAtanArgsT gives their arguments, lat = atan2(a1, b1) and
// dl = atan2(a2, b2), so that a kernel can work them out for a whole run
// before it takes the arc tangents.
template <typename V>
static inline void AzimuthalAtanArgsT(double sinPhi0, double cosPhi0, double centreLat, V x, V y, V rho, V sinc,
                                      V cosc, V& a1, V& b1, V& a2, V& b2)
{
    V v = cosc * sinPhi0 + y * sinc * cosPhi0 / rho;
    // Values rounded just past +-1 are held to it, as AsinNear does.
    v = HoldNearUnitT(v);
    a1 = v;
    b1 = lanes::Sqrt((1.0 - v) * (1.0 + v));
    if (centreLat == 90) {
        a2 = x;
        b2 = -y;
    } else if (centreLat == -90) {
        a2 = x;
        b2 = y;
    } else {
        a2 = x * sinc;
        b2 = rho * cosPhi0 * cosc - y * sinPhi0 * sinc;
    }
}
template <typename V>
static inline void AzimuthalAnglesT(double sinPhi0, double cosPhi0, double centreLat, V x, V y, V rho, V sinc,
                                    V cosc, V& latRad, V& dl)
{
    V a1, b1, a2, b2;
    AzimuthalAtanArgsT(sinPhi0, cosPhi0, centreLat, x, y, rho, sinc, cosc, a1, b1, a2, b2);
    lanes::Atan2Pair(a1, b1, a2, b2, latRad, dl);
}
template <typename V>
static inline void OrthographicAnglesT(double sinPhi0, double cosPhi0, double centreLat, V x, V y, V rho, V sinc,
                                       V q, V& latRad, V& dl)
{
    AzimuthalAnglesT(sinPhi0, cosPhi0, centreLat, x, y, rho, sinc, lanes::Sqrt(q), latRad, dl);
}
template <typename V>
static inline void OrthographicInverseT(double scale, double sinPhi0, double cosPhi0, double centreLat, V x, V y,
                                        V& rho, V& q, V& latRad, V& dl)
{
    V sinc;
    OrthographicDiscT(scale, x, y, rho, sinc, q);
    OrthographicAnglesT(sinPhi0, cosPhi0, centreLat, x, y, rho, sinc, q, latRad, dl);
}

// The forward rotation undone: x' = x cos r - y sin r, y' = x sin r + y cos r.
template <typename V>
static inline void RotateBackXY(double rotCos, double rotSin, V& x, V& y)
{
    const V ux = x * rotCos - y * rotSin;
    const V uy = x * rotSin + y * rotCos;
    x = ux;
    y = uy;
}

// Orthographic: x = R cos phi sin dlon, y = R (cos phi0 sin phi - sin phi0 cos phi cos dlon).
template <typename V>
static inline void OrthographicXY(double scale, double sinPhi0, double cosPhi0, V sinPhi, V cosPhi, V sinDl, V cosDl,
                                  V& x, V& y)
{
    x = scale * cosPhi * sinDl;
    y = scale * (cosPhi0 * sinPhi - sinPhi0 * cosPhi * cosDl);
}

// Linearised orthographic: the view angles a (across) and b (up) seen from
// the centre, each mapped linearly. With the point's direction in the
// centre's frame, east e = cos phi sin dlon, north n = cos phi0 sin phi -
// sin phi0 cos phi cos dlon and toward the viewer cos c, a = atan2(e, cos c)
// and b = asin n, and the plane point x = R atan2(sin a cos b, sqrt(cos^2 a
// cos^2 b + sin^2 b)) = R atan2(e, sqrt(n^2 + cos^2 c)), y = R atan2(sin b,
// cos a cos b) = R atan2(n, cos c). False (a mask for lanes) where a or b
// reaches 60 degrees: cos c <= 0 or |e| >= tan 60 cos c, or |n| >= sin 60.
// Where true both denominators are positive, so the arc tangents are taken
// of the quotients (SLEEF's arc tangent is cheaper than its atan2).
// In two steps: LinearisedViewT gives e, n and the first arc tangent's
// denominator, LinearisedOrthographicXY the rest.
template <typename V>
static inline void LinearisedViewT(double sinPhi0, double cosPhi0, V sinPhi, V cosPhi, V sinDl, V cosDl, V cosc, V& e,
                                   V& n, V& across)
{
    e = cosPhi * sinDl;
    n = cosPhi0 * sinPhi - sinPhi0 * cosPhi * cosDl;
    across = lanes::Sqrt(n * n + cosc * cosc);
}
template <typename V>
static inline auto LinearisedOrthographicXY(double scale, V e, V n, V across, V cosc, V& x, V& y)
{
    constexpr double Tan60 = 1.7320508075688772, Sin60 = 0.8660254037844386;
    V ax, ay;
    lanes::AtanPair(e / across, n / cosc, ax, ay);
    x = scale * ax;
    y = scale * ay;
    return (cosc > 0.0) & (lanes::Abs(e) < Tan60 * cosc) & (lanes::Abs(n) < Sin60);
}

// The plane point of kinds 3, 4, 7 and 11 from the central angle's cosine,
// for one point or lanes; true (a mask for lanes) where kind 11's point lies
// beyond the hemisphere, which still gets the centre pixel.
template <uint8_t Kind, typename V>
static inline auto AzimuthalXY(double scale, double sinPhi0, double cosPhi0, V sinPhi, V cosPhi, V sinDl, V cosDl,
                               V cosc, V& x, V& y)
{
    const V zero{};
    if constexpr (Kind == pkOrthographic) {
        OrthographicXY(scale, sinPhi0, cosPhi0, sinPhi, cosPhi, sinDl, cosDl, x, y);
        return cosc != cosc; // never: a NaN cosine has already failed
    } else if constexpr (Kind == pkAzimuthalEquidistant) {
        // Azimuthal equidistant: rho = R c, k = R c / sin c; sin c from the
        // cosine (c lies in 0..pi, so it is the root). At c = 0 or pi the
        // point goes to the centre.
        const auto inside = lanes::Abs(cosc) < 1.0;
        const V k = scale * lanes::Acos(cosc) / lanes::Sqrt(1.0 - cosc * cosc);
        x = lanes::Select(inside, k * cosPhi * sinDl, zero);
        y = lanes::Select(inside, k * (cosPhi0 * sinPhi - sinPhi0 * cosPhi * cosDl), zero);
        return cosc != cosc;
    } else {
        static_assert(Kind == pkGnomonic);
        // Gnomonic: k = R / cos c, only on the hemisphere around the centre.
        // The centre itself (the cosine rounded to 1) is the centre pixel
        // and visible; beyond the hemisphere the centre pixel is computed
        // but not visible.
        const auto centre = cosc >= 1.0;
        const auto hidden = (cosc <= -1.0) | (cosc < 0.000001);
        const V k = scale / cosc;
        x = lanes::Select(centre | hidden, zero, k * cosPhi * sinDl);
        y = lanes::Select(centre | hidden, zero, k * (cosPhi0 * sinPhi - sinPhi0 * cosPhi * cosDl));
        return hidden;
    }
}

template <uint8_t Kind>
struct TAzimuthal {
    static_assert(Kind == pkAzimuthalEquidistant || Kind == pkOrthographic || Kind == pkLinearisedOrthographic ||
                  Kind == pkGnomonic);
    static constexpr bool VisibleInsideOnly = false;
    // Kinds 3 and 4 share the limit and the formulas.
    static constexpr double LimitKm = Kind == pkOrthographic || Kind == pkLinearisedOrthographic ? 6300.0 : 12000.0;

    const TMapping& m;
    double sinPhi0, cosPhi0;    // the stored sine and cosine of the centre latitude
    double limitSin, limitCos;  // those of CentreLatitude itself, for the distance limit
    double rotCos = 1, rotSin = 0;

    explicit TAzimuthal(const TMapping& map)
        : m(map), sinPhi0(map.SinCentreLatitude), cosPhi0(map.CosCentreLatitude)
    {
        m.DistanceSinCos(limitSin, limitCos);
        if (m.Rotation != 0) {
            const double r = m.Rotation * DegToRad;
            rotCos = std::cos(r);
            rotSin = std::sin(r);
        }
    }

    TResult Forward(double lon, double lat, double& FX, double& FY) const
    {
        const double dlon = Wrap(lon - static_cast<double>(m.CentreLongitude));
        const double phi = lat * DegToRad, dl = dlon * DegToRad;
        double sinPhi, cosPhi, sinDl, cosDl;
        lanes::SinCosPair(phi, dl, sinPhi, cosPhi, sinDl, cosDl);
        const double cosc = CentralCosine(sinPhi0, cosPhi0, sinPhi, cosPhi, cosDl);
        if (!Finite(cosc))
            return TMapping::prNotComputed;
        // The limit as GreatCircleDistance measures it from CentreLatitude.
        if (BeyondLimit(CentralCosine(limitSin, limitCos, sinPhi, cosPhi, cosDl), LimitCosine(LimitKm)))
            return TMapping::prNotComputed;
        const double scale = m.Scale;
        double x = 0, y = 0;
        TResult result = TMapping::prComputed;
        if constexpr (Kind != pkLinearisedOrthographic) {
            if (AzimuthalXY<Kind>(scale, sinPhi0, cosPhi0, sinPhi, cosPhi, sinDl, cosDl, cosc, x, y))
                result = TMapping::prHidden;
        } else {
            double e, n, across;
            LinearisedViewT(sinPhi0, cosPhi0, sinPhi, cosPhi, sinDl, cosDl, cosc, e, n, across);
            if (!LinearisedOrthographicXY(scale, e, n, across, cosc, x, y))
                return TMapping::prNotComputed; // beyond the view angles
        }
        if (m.Rotation != 0)
            RotateXY(rotCos, rotSin, x, y);
        WidthUnitsToPixel(m, x, y, FX, FY);
        return result;
    }

    // Inverse gnomonic (Snyder) for one point or lanes (the pixel without
    // offsets): rho = |(x, y)|, c = atan(rho / R), so sin c = q / sqrt(1 +
    // q^2) and cos c = 1 / sqrt(1 + q^2) with q = rho / R, then the angles
    // as AzimuthalAnglesT takes them. Lanes whose longitude lies far out are
    // marked far.
    // In two steps for the kernels' passes: the arc tangents' arguments,
    // then the arc tangents and the rest.
    template <typename V, typename M>
    struct TInverseState : TInverseIO<V, M> {
        V a1, b1, a2, b2; // between the steps
        M centre, ok;
    };
    static constexpr int InverseSteps = 2;

    template <int Step, typename V, typename M>
    void InverseStep(TInverseState<V, M>& s) const
    {
        static_assert(Kind == pkGnomonic);
        constexpr bool one = std::is_same_v<V, double>;
        if constexpr (Step == 0) {
            V x, y;
            PixelToWidthUnitsT<V>(m.RecipWidth, m.CentreRow, s.px, s.py, x, y);
            // The forward transform rotates by Rotation; turn the point back.
            if (m.Rotation != 0)
                RotateBackXY(rotCos, rotSin, x, y);
            const V rho = lanes::Sqrt(x * x + y * y);
            s.centre = lanes::Abs(rho) < 0.00001;
            const double scale = m.Scale;
            const V q = rho / scale;
            if constexpr (one) {
                if (s.centre) {
                    ConvertedAtCentre(s, m.CentreLongitude, m.CentreLatitude);
                    return;
                }
            }
            s.ok = (q == q) & (Splat<V>(scale) != 0.0); // atan(q) finite
            const V root = lanes::Sqrt(1.0 + q * q);
            const auto huge = lanes::Abs(q) > 1e100; // q^2 would overflow
            const V sinc = lanes::Select(huge, lanes::Select(q > 0.0, One<V>(), -One<V>()), q / root);
            const V cosc = lanes::Select(huge, 1.0 / lanes::Abs(q), 1.0 / root);
            AzimuthalAtanArgsT(sinPhi0, cosPhi0, m.CentreLatitude, x, y, rho, sinc, cosc, s.a1, s.b1, s.a2, s.b2);
        } else {
            static_assert(Step == 1);
            if constexpr (one) {
                if (s.done)
                    return;
            }
            V latRad, dl;
            lanes::Atan2Pair(s.a1, s.b1, s.a2, s.b2, latRad, dl);
            s.lat = latRad * RadToDeg;
            s.lon = ReduceHalfOpenT(m.CentreLongitude + dl * RadToDeg, s.far);
            if constexpr (!one) {
                s.lon = lanes::Select(s.centre, Splat<V>(m.CentreLongitude), s.lon);
                s.lat = lanes::Select(s.centre, Splat<V>(m.CentreLatitude), s.lat);
            }
            s.converted = s.centre | (s.ok & lanes::IsFinite(s.lat) & lanes::IsFinite(s.lon));
        }
    }

    // Inverse azimuthal (Snyder): rho = |(x, y)|, c from rho per kind,
    // lat = asin(cos c sin phi0 + y sin c cos phi0 / rho),
    // lon = lon0 + atan2(x sin c, rho cos phi0 cos c - y sin phi0 sin c);
    // orthographic by OrthographicInverseT, gnomonic by its steps.
    bool Inverse(double px, double py, double& lon, double& lat) const
    {
        if constexpr (Kind == pkLinearisedOrthographic) {
            return false; // no inverse
        } else if constexpr (Kind == pkOrthographic) {
            double x, y;
            PixelToWidthUnits(m, px, py, x, y);
            // The forward transform rotates by Rotation; turn the point back.
            if (m.Rotation != 0)
                RotateBackXY(rotCos, rotSin, x, y);
            double rho, q, latRad, dl;
            OrthographicInverseT(m.Scale, sinPhi0, cosPhi0, m.CentreLatitude, x, y, rho, q, latRad, dl);
            if (std::fabs(rho) < 0.00001) {
                lon = m.CentreLongitude;
                lat = m.CentreLatitude;
                return true;
            }
            if (!(q >= 0))
                return false; // outside the globe's disc
            lat = latRad * RadToDeg;
            lon = m.CentreLongitude + dl * RadToDeg;
            return Finite(lat) && Finite(lon);
        } else if constexpr (Kind == pkGnomonic) {
            return SteppedInverse(*this, px, py, lon, lat);
        } else {
            // Azimuthal equidistant: c = rho / R, with the C library's sine,
            // cosine, arc sine and arc tangent: SLEEF's take longer for one
            // point. The kernel takes the same functions lane by lane.
            double x, y;
            PixelToWidthUnits(m, px, py, x, y);
            if (m.Rotation != 0)
                RotateBackXY(rotCos, rotSin, x, y);
            const double rho = std::sqrt(x * x + y * y);
            if (std::fabs(rho) < 0.00001) {
                lon = m.CentreLongitude;
                lat = m.CentreLatitude;
                return true;
            }
            const double scale = m.Scale;
            const double c = rho / scale;
            if (scale == 0 || !Finite(c))
                return false;
            const double sinc = std::sin(c), cosc = std::cos(c);
            double v, den, a2, b2;
            AzimuthalAtanArgsT(sinPhi0, cosPhi0, m.CentreLatitude, x, y, rho, sinc, cosc, v, den, a2, b2);
            lat = std::asin(v) * RadToDeg;
            const double dl = std::atan2(a2, b2);
            lon = ReduceHalfOpen(m.CentreLongitude + dl * RadToDeg);
            return Finite(lat) && Finite(lon);
        }
    }
};

} // namespace projection
