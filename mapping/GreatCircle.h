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
    static constexpr bool VisibleInsideOnly = false;
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
    // more out marked far).
    template <typename V, typename M>
    auto Lanes(V lon, V lat, V& FX, V& FY, M& far, M&) const
    {
        const V phi = lat * DegToRad;
        const double lam0 = static_cast<double>(m.CentreLongitude) * DegToRad;
        const V lam = lon * DegToRad;
        V dl = lam0 - lam, p = phi;
        lanes::KeepNear(far, p, dl);
        V sinPhi, cosPhi, sinDl, cosDl;
        lanes::SinCosPair(p, dl, sinPhi, cosPhi, sinDl, cosDl);
        const V spsp = (1.0 - (exactCos0 * cosPhi + exactSin0 * sinPhi)) / 2;
        const V slsl = (1.0 - cosDl) / 2;
        const V h = lanes::Select(spsp < 0.0, V{}, spsp) + cosPhi0 * cosPhi * slsl;
        // The radicand can round just past 1 at the antipode; clamped, since
        // nothing limits the distance of this kind.
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
        WidthUnitsToPixelT<V>(m.Width, m.CentreRow, -sinAz * r, cosAz * r, FX, FY);
        return (lat == lat) | (lat != lat); // computed in every lane
    }

    TResult Forward(double lon, double lat, double& FX, double& FY) const
    {
        return LanesForward(*this, lon, lat, FX, FY);
    }

    // Inverse for one point or lanes: c = rho / R, the bearing az from
    // sin az = -x / rho, cos az = y / rho; phi = asin(v), v = sin phi0 cos c +
    // cos phi0 sin c cos az, taken as atan2(v, sqrt((1 - v)(1 + v))); the
    // longitude lambda0 - u from u = atan2(sin az sin c cos phi0, cos c -
    // sin phi0 sin phi) (on a pole u = pi - az from the north, az from the
    // south), brought into -180..180. Lanes whose longitude needs more than
    // one step of that are marked far.
    template <typename V, typename M>
    auto InverseLanes(V px, V py, V& lon, V& lat, M& far) const
    {
        V x, y;
        PixelToWidthUnitsT<V>(m.RecipWidth, m.CentreRow, px, py, x, y);
        const V r = lanes::Sqrt(x * x + y * y);
        const auto centre = lanes::Abs(r) < 0.00001;
        const V c = r / m.Scale;
        auto ok = lanes::IsFinite(c) & (c < 2 * Pi);
        if constexpr (std::is_same_v<V, double>) {
            if (centre) {
                lon = m.CentreLongitude;
                lat = m.CentreLatitude;
                return decltype(ok)(1);
            }
            if (!ok)
                return decltype(ok)(0);
        }
        V sinc, cosc;
        lanes::SinCos(lanes::Select(ok, c, V{}), sinc, cosc);
        const V sinAz = -x / r, cosAz = y / r;
        V v = sinPhi0 * cosc + cosPhi0 * sinc * cosAz;
        v = HoldNearUnitT(v);
        const V den = lanes::Sqrt((1.0 - v) * (1.0 + v));
        const bool polar = std::fabs(cosPhi0) < 0.00001;
        V phi, u;
        if (polar) {
            // Centred on a pole, the bearing gives the longitude directly.
            // Seen from the north pole a point on bearing az lies at
            // pi - az from the central meridian; from the south pole at az.
            lanes::Atan2Pair(v, den, -x, y, phi, u);
            if (sinPhi0 > 0)
                u = Pi - u;
        } else {
            lanes::Atan2Pair(v, den, sinAz * sinc * cosPhi0, cosc - sinPhi0 * v, phi, u);
        }
        ok = ok & lanes::IsFinite(phi);
        const double lam0 = m.CentreLongitude * DegToRad;
        V lam = lam0 - u + Pi;
        if constexpr (std::is_same_v<V, double>) {
            lam = std::fmod(lam, 2 * Pi);
        } else {
            // fmod: exact by one subtraction from 2 pi up to 4 pi.
            far = far | (ok & (((lam > -2 * Pi) & (lam < 4 * Pi)) == 0));
            lam = lanes::Select(lam >= 2 * Pi, lam - 2 * Pi, lam);
        }
        lam = lanes::Select(lam < 0.0, lam + 2 * Pi, lam);
        lam -= Pi;
        if constexpr (std::is_same_v<V, double>) {
            lon = ReduceLowClosed(lam * RadToDeg);
        } else {
            V d = lam * RadToDeg;
            d = lanes::Select(d < -180.0, d + 360.0, d);
            lon = lanes::Select(d >= 180.0, d - 360.0, d);
            lon = lanes::Select(centre, Splat<V>(m.CentreLongitude), lon);
        }
        lat = phi * RadToDeg;
        if constexpr (!std::is_same_v<V, double>)
            lat = lanes::Select(centre, Splat<V>(m.CentreLatitude), lat);
        return decltype(ok)(centre | (ok & lanes::IsFinite(lat) & lanes::IsFinite(lon)));
    }

    bool Inverse(double px, double py, double& lon, double& lat) const
    {
        return LanesInverse(*this, px, py, lon, lat);
    }
};

} // namespace projection
