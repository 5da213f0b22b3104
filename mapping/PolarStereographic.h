// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Kind 9, polar stereographic on the pole of the centre latitude's
// hemisphere, in units of the image height.
#include "mapping/ProjectionMath.h"

namespace projection {

struct TPolarStereographic {
    const TMapping& m;
    static constexpr bool VisibleInsideOnly = false;
    explicit TPolarStereographic(const TMapping& map) : m(map) {}

    // Polar stereographic: rho = R tan(pi/4 -+ phi/2) = R cos phi / (1 +-
    // sin phi), x = rho sin dlon, y = -+rho cos dlon, shifted by the polar
    // offset; in units of the image height. For one point or lanes.
    template <typename V, typename M>
    auto Lanes(V lon, V lat, V& FX, V& FY, M& far, M&) const
    {
        const double W = m.Width, H = m.Height;
        const V dlon = WrapT(lon - static_cast<double>(m.CentreLongitude), far);
        V phi = lat * DegToRad, theta = dlon * DegToRad;
        lanes::KeepNear(far, phi, theta);
        V sinPhi, cosPhi, sinTheta, cosTheta;
        lanes::SinCosPair(phi, theta, sinPhi, cosPhi, sinTheta, cosTheta);
        const double scale = m.Scale;
        const V rho = m.Southern ? scale * (cosPhi / (1.0 - sinPhi)) : scale * (cosPhi / (1.0 + sinPhi));
        const V px = rho * sinTheta;
        const V py = m.Southern ? rho * cosTheta - m.PolarOffset : m.PolarOffset - rho * cosTheta;
        FX = H * px + 0.5 * W;
        FY = m.CentreRow - H * py;
        return (lat == lat) | (lat != lat); // computed in every lane
    }

    TResult Forward(double lon, double lat, double& FX, double& FY) const
    {
        return LanesForward(*this, lon, lat, FX, FY);
    }

    // Inverse polar stereographic: c = 2 atan(rho / R), lat = +-asin(cos c)
    // = +-(pi/2 - c), lon = lon0 + atan2(x, -+y); both arc tangents in one
    // call. For one point or lanes (the pixel without offsets).
    template <typename V, typename M>
    auto InverseLanes(V px, V py, V& lon, V& lat, M&) const
    {
        // The vertical centre is CentreRow, as in the forward transform, so
        // that odd heights go back to the row they came from.
        const double rh = m.RecipHeight;
        const V x = (px - 0.5 * m.Width) * rh;
        V y = (m.CentreRow - py) * rh;
        y = m.Southern ? y + m.PolarOffset : y - m.PolarOffset;
        const auto centre = (x == 0.0) & (y == 0.0);
        V half, dl;
        lanes::Atan2Pair(lanes::Sqrt(x * x + y * y) * m.RecipScale, One<V>(), x, m.Southern ? y : -y, half, dl);
        const V c = 2.0 * half;
        lon = dl * RadToDeg + m.CentreLongitude;
        lat = (Pi / 2 - c) * RadToDeg;
        if (m.Southern)
            lat = -lat;
        lon = lanes::Select(centre, Splat<V>(m.CentreLongitude), lon);
        lat = lanes::Select(centre, V{} + (m.Southern ? -90.0 : 90.0), lat);
        return centre | (lanes::IsFinite(lat) & lanes::IsFinite(lon));
    }

    bool Inverse(double px, double py, double& lon, double& lat) const
    {
        return LanesInverse(*this, px, py, lon, lat);
    }
};

} // namespace projection
