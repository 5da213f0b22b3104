#pragma once
// Kind 13, the great-circle map: every point at its true distance and
// bearing from the centre (an azimuthal equidistant map over the whole
// sphere, worked out with the haversine).
#include "mapping/ProjectionMath.h"

namespace projection {

struct TGreatCircle {
    const TMapping& m;
    double sinPhi0, cosPhi0;
    static constexpr bool VisibleInsideOnly = false;
    explicit TGreatCircle(const TMapping& map)
        : m(map), sinPhi0(map.SinCentreLatitude), cosPhi0(map.CosCentreLatitude)
    {
    }

    // Haversine distance c = 2 asin sqrt(sin^2(dphi/2) + cos phi0 cos phi
    // sin^2(dlambda/2)) and bearing az; x = -R c sin az, y = R c cos az.
    TResult Forward(double lon, double lat, double& FX, double& FY) const
    {
        const double phi0 = m.CentreLatitude * DegToRad;
        const double phi = lat * DegToRad;
        const double lam0 = static_cast<double>(m.CentreLongitude) * DegToRad, lam = lon * DegToRad;
        const double sp = std::sin((phi0 - phi) / 2), sl = std::sin((lam0 - lam) / 2);
        const double cosPhi = std::cos(phi);
        // The radicand can round just past 1 at the antipode; clamped, since
        // nothing limits the distance of this kind.
        const double c = 2 * AsinNear(std::sqrt(sp * sp + cosPhi0 * cosPhi * sl * sl));
        // The bearing az enters only through its sine and cosine, which
        // come straight from its two components (no arc tangent needed).
        double sinAz = 0, cosAz = 1;
        if (!(c < 1e-10)) {
            const double dl = lam0 - lam;
            const double sy = std::sin(dl) * cosPhi;
            const double sx = cosPhi0 * std::sin(phi) - sinPhi0 * cosPhi * std::cos(dl);
            if (std::fabs(sx) < 1e-10) {
                sinAz = sy > 0 ? 1 : -1;
                cosAz = 0;
            } else {
                const double h = std::sqrt(sx * sx + sy * sy);
                sinAz = sy / h;
                cosAz = sx / h;
            }
        }
        const double r = m.Scale * c;
        WidthUnitsToPixel(m, -sinAz * r, cosAz * r, FX, FY);
        return TMapping::prComputed;
    }

    // Inverse: c = rho / R, az = atan2(-x, y); phi = asin(sin phi0 cos c +
    // cos phi0 sin c cos az); the longitude from the bearing.
    bool Inverse(double px, double py, double& lon, double& lat) const
    {
        double x, y;
        PixelToWidthUnits(m, px, py, x, y);
        const double r = std::sqrt(x * x + y * y);
        if (std::fabs(r) < 0.00001) {
            lon = m.CentreLongitude;
            lat = m.CentreLatitude;
            return true;
        }
        const double c = r / m.Scale;
        if (!Finite(c) || c >= 2 * Pi)
            return false;
        const double az = std::atan2(-x, y);
        const double sinc = std::sin(c), cosc = std::cos(c);
        const double phi = AsinNear(sinPhi0 * cosc + cosPhi0 * sinc * std::cos(az));
        if (!Finite(phi))
            return false;
        const double lam0 = m.CentreLongitude * DegToRad;
        double lam;
        if (std::cos(phi) == 0) {
            lam = lam0;
        } else {
            double u;
            if (std::fabs(cosPhi0) < 0.00001) {
                // Centred on a pole, the bearing gives the longitude directly.
                // Seen from the north pole a point on bearing az lies at
                // pi - az from the central meridian; from the south pole at az.
                u = sinPhi0 > 0 ? Pi - az : az;
            } else {
                u = std::atan2(std::sin(az) * sinc * cosPhi0, cosc - sinPhi0 * std::sin(phi));
            }
            lam = lam0 - u + Pi;
            lam = std::fmod(lam, 2 * Pi);
            if (lam < 0)
                lam += 2 * Pi;
            lam -= Pi;
        }
        lon = ReduceLowClosed(lam * RadToDeg);
        lat = phi * RadToDeg;
        return Finite(lat) && Finite(lon);
    }
};

} // namespace projection
