#pragma once
// Kind 9, polar stereographic on the pole of the centre latitude's
// hemisphere, in units of the image height.
#include "mapping/ProjectionMath.h"

namespace projection {

struct TPolarStereographic {
    const TMapping& m;
    static constexpr bool VisibleInsideOnly = false;
    explicit TPolarStereographic(const TMapping& map) : m(map) {}

    // Polar stereographic: rho = R tan(pi/4 -+ phi/2), x = rho sin dlon,
    // y = -+rho cos dlon, shifted by the polar offset.
    TResult Forward(double lon, double lat, double& FX, double& FY) const
    {
        const double W = m.Width, H = m.Height;
        const double dlon = Wrap(lon - static_cast<double>(m.CentreLongitude));
        const double phi = lat * DegToRad, theta = dlon * DegToRad;
        const double scale = m.Scale;
        const double rho = m.Southern ? scale * std::tan((Pi / 2 + phi) / 2) : scale * std::tan((Pi / 2 - phi) / 2);
        // Both taken together, so that the compiler makes them one sincos call.
        const double sinTheta = std::sin(theta), cosTheta = std::cos(theta);
        const double px = rho * sinTheta;
        const double py = m.Southern ? rho * cosTheta - m.PolarOffset : m.PolarOffset - rho * cosTheta;
        // Kind 9 measures in units of the image height.
        FX = H * px + 0.5 * W;
        FY = m.CentreRow - H * py;
        return TMapping::prComputed;
    }

    // Inverse polar stereographic: c = 2 atan(rho / R), lat = +-asin(cos c),
    // lon = lon0 + atan2(x, -+y).
    bool Inverse(double px, double py, double& lon, double& lat) const
    {
        // The vertical centre is CentreRow, as in the forward transform, so
        // that odd heights go back to the row they came from.
        const double rh = m.RecipHeight;
        double x = (px - 0.5 * m.Width) * rh;
        double y = (m.CentreRow - py) * rh;
        y = m.Southern ? y + m.PolarOffset : y - m.PolarOffset;
        if (x == 0 && y == 0) {
            lon = m.CentreLongitude;
            lat = m.Southern ? -90 : 90;
            return true;
        }
        const double c = 2 * std::atan(std::sqrt(x * x + y * y) * m.RecipScale);
        if (m.Southern) {
            lon = std::atan2(x, y) * RadToDeg + m.CentreLongitude;
            lat = std::asin(-std::cos(c)) * RadToDeg;
        } else {
            lon = std::atan2(x, -y) * RadToDeg + m.CentreLongitude;
            lat = std::asin(std::cos(c)) * RadToDeg;
        }
        return Finite(lat) && Finite(lon);
    }
};

} // namespace projection
