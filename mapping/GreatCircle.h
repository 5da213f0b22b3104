// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Kind 13, the great-circle map: every point at its true distance and
// bearing from the centre (an azimuthal equidistant map over the whole
// sphere, worked out with the haversine).
#include <type_traits>

#include "mapping/ProjectionMath.h"

namespace projection {

struct TGreatCircle {
    const TMapping& m;
    double sinPhi0, cosPhi0;
    double exactSin0, exactCos0; // of CentreLatitude in double precision
    explicit TGreatCircle(const TMapping& map)
        : m(map), sinPhi0(map.SinCentreLatitude), cosPhi0(map.CosCentreLatitude)
    {
        m.DistanceSinCos(exactSin0, exactCos0);
    }

    // Haversine distance c = 2 asin sqrt(sin^2(dphi/2) + cos phi0 cos phi
    // sin^2(dlambda/2)) and bearing az; x = -R c sin az, y = R c cos az. The
    // half-angle sines squared come from the whole angles' cosines,
    // sin^2(a/2) = (1 - cos a) / 2 with cos dphi = cos phi0 cos phi + sin
    // phi0 sin phi (phi0's in double precision), so that one sine and cosine
    // call serves the point. For one point or lanes (angles 14 radians or
    // more out marked far), in two steps for the kernels' passes: the sines
    // and cosines, then the rest.
    template <typename V, typename M>
    struct TForwardState : TForwardIO<V, M> {
        V sinPhi, cosPhi, sinDl, cosDl; // between the steps
    };
    static constexpr int ForwardSteps = 2;

    template <int Step, typename V, typename M>
    void ForwardStep(TForwardState<V, M>& s) const
    {
        if constexpr (Step == 0) {
            const V phi = s.lat * DegToRad;
            const double lam0 = static_cast<double>(m.CentreLongitude) * DegToRad;
            const V lam = s.lon * DegToRad;
            V dl = lam0 - lam, p = phi;
            lanes::KeepNear(s.far, p, dl);
            lanes::SinCosPair(p, dl, s.sinPhi, s.cosPhi, s.sinDl, s.cosDl);
        } else {
            static_assert(Step == 1);
            const V sinPhi = s.sinPhi, cosPhi = s.cosPhi, sinDl = s.sinDl, cosDl = s.cosDl;
            const V spsp = (1.0 - (exactCos0 * cosPhi + exactSin0 * sinPhi)) / 2;
            const V slsl = (1.0 - cosDl) / 2;
            const V h = lanes::Select(spsp < 0.0, V{}, spsp) + cosPhi0 * cosPhi * slsl;
            // The radicand can round just past 1 at the antipode; clamped,
            // since nothing limits the distance of this kind.
            const V c = 2.0 * AsinNearT(lanes::Sqrt(h));
            // The bearing az enters only through its sine and cosine, which
            // come straight from its two components (no arc tangent needed).
            const V sy = sinDl * cosPhi;
            const V sx = cosPhi0 * sinPhi - sinPhi0 * cosPhi * cosDl;
            const V norm = lanes::Sqrt(sx * sx + sy * sy);
            const auto onMeridian = lanes::Abs(sx) < 1e-10;
            const auto atCentre = c < 1e-10;
            const V zero{};
            V sinAz = lanes::Select(onMeridian, lanes::Select(sy > 0.0, zero + 1.0, zero - 1.0), sy / norm);
            V cosAz = lanes::Select(onMeridian, zero, sx / norm);
            sinAz = lanes::Select(atCentre, zero, sinAz);
            cosAz = lanes::Select(atCentre, zero + 1.0, cosAz);
            const V r = m.Scale * c;
            WidthUnitsToPixelT<V>(m.Width, m.CentreRow, -sinAz * r, cosAz * r, s.FX, s.FY);
            s.computed = (s.lat == s.lat) | (s.lat != s.lat); // computed in every lane
        }
    }

    // Inverse for one point or lanes: c = rho / R, the bearing az from
    // sin az = -x / rho, cos az = y / rho; phi = asin(v), v = sin phi0 cos c +
    // cos phi0 sin c cos az, taken as atan2(v, sqrt((1 - v)(1 + v))); the
    // longitude lambda0 - u from u = atan2(sin az sin c cos phi0, cos c -
    // sin phi0 sin phi) (on a pole u = pi - az from the north, az from the
    // south), brought into -180..180. Lanes whose longitude needs more than
    // one step of that are marked far. In three steps for the kernels'
    // passes: the sine and cosine of c, the arc tangents' arguments, then
    // the arc tangents and the rest.
    template <typename V, typename M>
    struct TInverseState : TInverseIO<V, M> {
        V x, y, r, sinc, cosc, a1, b1, a2, b2; // between the steps
        M centre, ok;
    };
    static constexpr int InverseSteps = 3;

    template <int Step, typename V, typename M>
    void InverseStep(TInverseState<V, M>& s) const
    {
        constexpr bool one = std::is_same_v<V, double>;
        if constexpr (Step == 0) {
            PixelToWidthUnitsT<V>(m.RecipWidth, m.CentreRow, s.px, s.py, s.x, s.y);
            s.r = lanes::Sqrt(s.x * s.x + s.y * s.y);
            s.centre = lanes::Abs(s.r) < 0.00001;
            const V c = s.r / m.Scale;
            s.ok = lanes::IsFinite(c) & (c < 2 * Pi);
            if constexpr (one) {
                if (s.centre) {
                    ConvertedAtCentre(s, m.CentreLongitude, m.CentreLatitude);
                    return;
                }
                if (!s.ok) {
                    Fails(s);
                    return;
                }
            }
            lanes::SinCos(lanes::Select(s.ok, c, V{}), s.sinc, s.cosc);
        } else if constexpr (Step == 1) {
            const V sinAz = -s.x / s.r, cosAz = s.y / s.r;
            V v = sinPhi0 * s.cosc + cosPhi0 * s.sinc * cosAz;
            v = HoldNearUnitT(v);
            s.a1 = v;
            s.b1 = lanes::Sqrt((1.0 - v) * (1.0 + v));
            if (std::fabs(cosPhi0) < 0.00001) { // centred on a pole
                s.a2 = -s.x;
                s.b2 = s.y;
            } else {
                s.a2 = sinAz * s.sinc * cosPhi0;
                s.b2 = s.cosc - sinPhi0 * v;
            }
        } else {
            static_assert(Step == 2);
            V phi, u;
            lanes::Atan2Pair(s.a1, s.b1, s.a2, s.b2, phi, u);
            // Centred on a pole, the bearing gives the longitude directly.
            // Seen from the north pole a point on bearing az lies at pi - az
            // from the central meridian; from the south pole at az.
            if (std::fabs(cosPhi0) < 0.00001 && sinPhi0 > 0)
                u = Pi - u;
            M ok = s.ok & lanes::IsFinite(phi);
            const double lam0 = m.CentreLongitude * DegToRad;
            V lam = lam0 - u + Pi;
            if constexpr (one) {
                lam = std::fmod(lam, 2 * Pi);
            } else {
                // fmod: exact by one subtraction from 2 pi up to 4 pi.
                s.far = s.far | (ok & (((lam > -2 * Pi) & (lam < 4 * Pi)) == 0));
                lam = lanes::Select(lam >= 2 * Pi, lam - 2 * Pi, lam);
            }
            lam = lanes::Select(lam < 0.0, lam + 2 * Pi, lam);
            lam -= Pi;
            if constexpr (one) {
                s.lon = ReduceLowClosed(lam * RadToDeg);
            } else {
                V d = lam * RadToDeg;
                d = lanes::Select(d < -180.0, d + 360.0, d);
                s.lon = lanes::Select(d >= 180.0, d - 360.0, d);
                s.lon = lanes::Select(s.centre, Splat<V>(m.CentreLongitude), s.lon);
            }
            s.lat = phi * RadToDeg;
            if constexpr (!one)
                s.lat = lanes::Select(s.centre, Splat<V>(m.CentreLatitude), s.lat);
            s.converted = s.centre | (ok & lanes::IsFinite(s.lat) & lanes::IsFinite(s.lon));
        }
    }
};

} // namespace projection
