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
// (q below 0), where lat and dl mean nothing. OrthographicDiscT gives rho,
// sin c and q; then the arc tangents' arguments (AzimuthalAtanArgsT with
// cos c = sqrt q) and the arc tangents.
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
    static_assert(Kind == pkAzimuthalEquidistant || Kind == pkAzimuthalEquidistantWide || Kind == pkOrthographic ||
                  Kind == pkLinearisedOrthographic || Kind == pkGnomonic);
    // Kinds 3 and 4 share the formulas.
    static constexpr uint8_t Formula = Kind == pkAzimuthalEquidistantWide ? uint8_t{pkAzimuthalEquidistant} : Kind;
    static constexpr const TKindTraits& Traits = KindTraits(Kind);
    static constexpr double LimitKm = Traits.DistanceLimitKm;

    const TMapping& m;
    double sinPhi0, cosPhi0;    // the stored sine and cosine of the centre latitude
    double limitSin, limitCos;  // those of CentreLatitude itself, for the distance limit
    double limitCosine;         // the limit's central angle's cosine
    bool rotate;                // Rotation turns the plane point
    double rotCos = 1, rotSin = 0;

    explicit TAzimuthal(const TMapping& map)
        : m(map), sinPhi0(map.SinCentreLatitude), cosPhi0(map.CosCentreLatitude),
          limitCosine(LimitCosine(LimitKm)), rotate(Traits.Rotates && map.Rotation != 0)
    {
        m.DistanceSinCos(limitSin, limitCos);
        if (rotate) {
            const double r = m.Rotation * DegToRad;
            rotCos = std::cos(r);
            rotSin = std::sin(r);
        }
    }

    // Forward: the sines and cosines of the latitude and the longitude from
    // the centre; then the central angle's cosine, the limit (as
    // GreatCircleDistance measures it from CentreLatitude) and the plane
    // point of AzimuthalXY, turned by Rotation. Kind 8 takes a third step:
    // the view's arc tangents' arguments, then the arc tangents.
    template <typename V, typename M>
    struct TForwardState : TForwardIO<V, M> {
        V sinPhi, cosPhi, sinDl, cosDl, cosc; // between the steps
        V e, north, across;                   // kind 8
    };
    static constexpr int ForwardSteps = Formula == pkLinearisedOrthographic ? 3 : 2;

    template <int Step, typename V, typename M>
    void ForwardStep(TForwardState<V, M>& s) const
    {
        constexpr bool one = std::is_same_v<V, double>;
        if constexpr (Step == 0) {
            // SLEEF reduces the angles of a whole vector one way when every
            // lane lies within 15 radians, another way otherwise: a lane's
            // result must not depend on its neighbours, so far lanes enter
            // the vector as 0.
            const V dlon = WrapT(s.lon - static_cast<double>(m.CentreLongitude), s.far);
            V phi = s.lat * DegToRad, dl = dlon * DegToRad;
            lanes::KeepNear(s.far, phi, dl);
            lanes::SinCosPair(phi, dl, s.sinPhi, s.cosPhi, s.sinDl, s.cosDl);
        } else if constexpr (Step == 1) {
            s.cosc = CentralCosine(sinPhi0, cosPhi0, s.sinPhi, s.cosPhi, s.cosDl);
            const V distance = CentralCosine(limitSin, limitCos, s.sinPhi, s.cosPhi, s.cosDl);
            s.computed = lanes::IsFinite(s.cosc) & (BeyondLimit(distance, Splat<V>(limitCosine)) == 0);
            if constexpr (one) {
                if (!s.computed) {
                    s.done = true;
                    return;
                }
            }
            if constexpr (Formula != pkLinearisedOrthographic) {
                V x, y;
                s.hidden = AzimuthalXY<Formula>(m.Scale, sinPhi0, cosPhi0, s.sinPhi, s.cosPhi, s.sinDl, s.cosDl,
                                                s.cosc, x, y);
                Place(s, x, y);
            } else {
                LinearisedViewT(sinPhi0, cosPhi0, s.sinPhi, s.cosPhi, s.sinDl, s.cosDl, s.cosc, s.e, s.north,
                                s.across);
            }
        } else {
            static_assert(Step == 2 && Formula == pkLinearisedOrthographic);
            V x, y;
            // Beyond the view angles nothing is computed.
            s.computed = s.computed & LinearisedOrthographicXY(m.Scale, s.e, s.north, s.across, s.cosc, x, y);
            Place(s, x, y);
        }
    }

    // The plane point turned by Rotation, as a pixel.
    template <typename V, typename M>
    void Place(TForwardState<V, M>& s, V x, V y) const
    {
        if (rotate)
            RotateXY(rotCos, rotSin, x, y);
        WidthUnitsToPixelT<V>(m.Width, m.CentreRow, x, y, s.FX, s.FY);
    }

    // Inverse azimuthal (Snyder): rho = |(x, y)| of the plane point (the
    // rotation undone), c from rho per kind, lat = asin(cos c sin phi0 + y
    // sin c cos phi0 / rho), lon = lon0 + atan2(x sin c, rho cos phi0 cos c
    // - y sin phi0 sin c) (AzimuthalAtanArgsT); the centre itself converts
    // to the map centre. Kind 8 has none.
    template <typename V, typename M>
    struct TInverseState : TInverseIO<V, M> {
        V x, y, rho, c, sinc, cosc; // between the steps
        V a1, b1, a2, b2;           // the arc tangents' arguments
        M centre, ok;
    };
    static constexpr int InverseSteps =
        Formula == pkLinearisedOrthographic ? 0 : Formula == pkAzimuthalEquidistant ? 3 : 2;

    template <int Step, typename V, typename M>
    void InverseStep(TInverseState<V, M>& s) const
    {
        if constexpr (Formula == pkAzimuthalEquidistant)
            EquidistantInverseStep<Step>(s);
        else if constexpr (Formula == pkOrthographic)
            OrthographicInverseStep<Step>(s);
        else
            GnomonicInverseStep<Step>(s);
    }

    // The pixel (without offsets) as a plane point, the rotation undone.
    template <typename V, typename M>
    void PlanePoint(TInverseState<V, M>& s) const
    {
        PixelToWidthUnitsT<V>(m.RecipWidth, m.CentreRow, s.px, s.py, s.x, s.y);
        if (rotate)
            RotateBackXY(rotCos, rotSin, s.x, s.y);
    }

    // The last of the inverse: the map centre where the point is the centre,
    // converted where ok and both angles are finite.
    template <typename V, typename M>
    void Finish(TInverseState<V, M>& s) const
    {
        if constexpr (!std::is_same_v<V, double>) {
            s.lon = lanes::Select(s.centre, Splat<V>(m.CentreLongitude), s.lon);
            s.lat = lanes::Select(s.centre, Splat<V>(m.CentreLatitude), s.lat);
        }
        s.converted = s.centre | (s.ok & lanes::IsFinite(s.lat) & lanes::IsFinite(s.lon));
    }

    // Azimuthal equidistant: c = rho / R, with the C library's sine, cosine,
    // arc sine and arc tangent (SLEEF's take longer for one point), lane by
    // lane: the plane point, the sine and cosine, then the angles.
    template <int Step, typename V, typename M>
    void EquidistantInverseStep(TInverseState<V, M>& s) const
    {
        if constexpr (Step == 0) {
            PlanePoint(s);
            s.rho = lanes::Sqrt(s.x * s.x + s.y * s.y);
            s.centre = lanes::Abs(s.rho) < 0.00001;
            const double scale = m.Scale;
            s.c = s.rho / scale;
            s.ok = lanes::IsFinite(s.c) & (Splat<V>(scale) != 0.0);
            if constexpr (std::is_same_v<V, double>) {
                if (s.centre)
                    ConvertedAtCentre(s, m.CentreLongitude, m.CentreLatitude);
                else if (!s.ok)
                    Fails(s);
            }
        } else if constexpr (Step == 1) {
            lanes::EachLane<V>([&](size_t k) {
                const double c = lanes::GetLane(s.c, k);
                lanes::SetLane(s.sinc, k, std::sin(c));
                lanes::SetLane(s.cosc, k, std::cos(c));
            });
        } else {
            static_assert(Step == 2);
            AzimuthalAtanArgsT(sinPhi0, cosPhi0, m.CentreLatitude, s.x, s.y, s.rho, s.sinc, s.cosc, s.a1, s.b1,
                               s.a2, s.b2);
            V latRad, dl;
            lanes::EachLane<V>([&](size_t k) {
                lanes::SetLane(latRad, k, std::asin(lanes::GetLane(s.a1, k)));
                lanes::SetLane(dl, k, std::atan2(lanes::GetLane(s.a2, k), lanes::GetLane(s.b2, k)));
            });
            s.lat = latRad * RadToDeg;
            s.lon = ReduceHalfOpenT(m.CentreLongitude + dl * RadToDeg, s.far);
            Finish(s);
        }
    }

    // Orthographic (OrthographicDiscT, then both arc tangents in one call):
    // points off the globe's disc do not convert, and a vector wholly off
    // it takes no arc tangents.
    template <int Step, typename V, typename M>
    void OrthographicInverseStep(TInverseState<V, M>& s) const
    {
        if constexpr (Step == 0) {
            PlanePoint(s);
            V q;
            OrthographicDiscT(m.Scale, s.x, s.y, s.rho, s.sinc, q);
            s.centre = lanes::Abs(s.rho) < 0.00001;
            s.ok = q >= 0.0;
            if constexpr (std::is_same_v<V, double>) {
                if (s.centre) {
                    ConvertedAtCentre(s, m.CentreLongitude, m.CentreLatitude);
                    return;
                }
                if (!s.ok) {
                    Fails(s);
                    return;
                }
            }
            AzimuthalAtanArgsT(sinPhi0, cosPhi0, m.CentreLatitude, s.x, s.y, s.rho, s.sinc, lanes::Sqrt(q), s.a1,
                               s.b1, s.a2, s.b2);
        } else {
            static_assert(Step == 1);
            if constexpr (!std::is_same_v<V, double>) {
                if (!lanes::Any(s.centre | s.ok)) { // every lane off the disc
                    s.lon = s.lat = V{};
                    s.converted = M{};
                    return;
                }
            }
            V latRad, dl;
            lanes::Atan2Pair(s.a1, s.b1, s.a2, s.b2, latRad, dl);
            s.lat = latRad * RadToDeg;
            s.lon = m.CentreLongitude + dl * RadToDeg;
            Finish(s);
        }
    }

    // Gnomonic: c = atan(rho / R), so sin c = q / sqrt(1 + q^2) and cos c =
    // 1 / sqrt(1 + q^2) with q = rho / R; the arc tangents' arguments, then
    // the arc tangents. Lanes whose longitude lies far out are marked far.
    template <int Step, typename V, typename M>
    void GnomonicInverseStep(TInverseState<V, M>& s) const
    {
        if constexpr (Step == 0) {
            PlanePoint(s);
            const V rho = lanes::Sqrt(s.x * s.x + s.y * s.y);
            s.centre = lanes::Abs(rho) < 0.00001;
            const double scale = m.Scale;
            const V q = rho / scale;
            if constexpr (std::is_same_v<V, double>) {
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
            AzimuthalAtanArgsT(sinPhi0, cosPhi0, m.CentreLatitude, s.x, s.y, rho, sinc, cosc, s.a1, s.b1, s.a2,
                               s.b2);
        } else {
            static_assert(Step == 1);
            V latRad, dl;
            lanes::Atan2Pair(s.a1, s.b1, s.a2, s.b2, latRad, dl);
            s.lat = latRad * RadToDeg;
            s.lon = ReduceHalfOpenT(m.CentreLongitude + dl * RadToDeg, s.far);
            Finish(s);
        }
    }
};

} // namespace projection
