// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Kind 9, polar stereographic on the pole of the centre latitude's
// hemisphere, in units of the image height.
#include "mapping/ProjectionMath.h"

namespace projection {

struct TPolarStereographic {
    const TMapping& m;
    explicit TPolarStereographic(const TMapping& map) : m(map) {}

    // Polar stereographic: rho = R tan(pi/4 -+ phi/2) = R cos phi / (1 +-
    // sin phi), x = rho sin dlon, y = -+rho cos dlon, shifted by the polar
    // offset; in units of the image height. One step, computed in every lane.
    template <typename V, typename M>
    using TForwardState = TForwardIO<V, M>;
    static constexpr int ForwardSteps = 1;

    template <int Step, typename V, typename M>
    void ForwardStep(TForwardState<V, M>& s) const
    {
        const double W = m.Width, H = m.Height;
        const V dlon = WrapT(s.lon - static_cast<double>(m.CentreLongitude), s.far);
        V phi = s.lat * DegToRad, theta = dlon * DegToRad;
        lanes::KeepNear(s.far, phi, theta);
        V sinPhi, cosPhi, sinTheta, cosTheta;
        lanes::SinCosPair(phi, theta, sinPhi, cosPhi, sinTheta, cosTheta);
        const double scale = m.Scale;
        const V rho = m.Southern ? scale * (cosPhi / (1.0 - sinPhi)) : scale * (cosPhi / (1.0 + sinPhi));
        const V px = rho * sinTheta;
        const V py = m.Southern ? rho * cosTheta - m.PolarOffset : m.PolarOffset - rho * cosTheta;
        s.FX = H * px + 0.5 * W;
        s.FY = m.CentreRow - H * py;
        s.computed = EveryLane<M>();
    }

    // Inverse polar stereographic: c = 2 atan(rho / R), lat = +-asin(cos c)
    // = +-(pi/2 - c), lon = lon0 + atan2(x, -+y); both arc tangents in one
    // call. One step.
    template <typename V, typename M>
    using TInverseState = TInverseIO<V, M>;
    static constexpr int InverseSteps = 1;

    template <int Step, typename V, typename M>
    void InverseStep(TInverseState<V, M>& s) const
    {
        const V px = s.px, py = s.py;
        V& lon = s.lon;
        V& lat = s.lat;
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
        s.converted = centre | (lanes::IsFinite(lat) & lanes::IsFinite(lon));
    }
};

} // namespace projection
