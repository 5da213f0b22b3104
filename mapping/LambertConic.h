#pragma once
// Kind 10, Lambert conformal conic on the ellipsoid (Snyder's ellipsoidal
// formulas with the cone constant n, aF and rho0 of Recalculate), mirrored
// for a southern centre.
#include "mapping/ProjectionMath.h"

namespace projection {

struct TLambertConic {
    static constexpr bool VisibleInsideOnly = false;
    static constexpr double LimitKm = 10000.0;
    const TMapping& m;
    double limitSin, limitCos;

    explicit TLambertConic(const TMapping& map) : m(map) { m.DistanceSinCos(limitSin, limitCos); }

    // Lambert conformal conic: rho = aF t^n with
    // t = tan(pi/4 - phi/2) / ((1 - e sin phi) / (1 + e sin phi))^(e/2),
    // theta = n dlon, x = rho sin theta, y = rho0 - rho cos theta.
    TResult Forward(double lon, double lat, double& FX, double& FY) const
    {
        const double dlon = Wrap(lon - static_cast<double>(m.CentreLongitude));
        const double phi = lat * DegToRad;
        // The limit as GreatCircleDistance measures it from CentreLatitude.
        const double cosc = limitSin * std::sin(phi) + limitCos * std::cos(phi) * std::cos(dlon * DegToRad);
        if (!Finite(cosc) || BeyondLimit(cosc, LimitCosine(LimitKm)))
            return TMapping::prNotComputed;
        const double p = m.Southern ? -phi : phi;
        const double es = m.E * std::sin(p);
        const double pw = std::pow((1 - es) / (1 + es), static_cast<double>(m.HalfE));
        const double tn = std::tan(Pi / 4 - p / 2);
        double T = 0;
        if (std::fabs(tn) >= 0.00001) {
            const double q = tn / pw;
            T = std::pow(q, static_cast<double>(m.N));
        }
        const double rho = m.AF * T;
        const double theta = m.NRad * dlon;
        const double x = rho * std::sin(theta);
        double y = m.Rho0 - rho * std::cos(theta);
        if (m.Southern)
            y = -y;
        WidthUnitsToPixel(m, x, y, FX, FY);
        return TMapping::prComputed;
    }

    // Inverse: theta = atan(x / (rho0 - y)), t = (rho / aF)^(1/n), and the
    // latitude by fixed-point iteration of phi = pi/2 - 2 atan(t ((1 - e sin
    // phi) / (1 + e sin phi))^(e/2)).
    bool Inverse(double px, double py, double& lon, double& lat) const
    {
        double x, y;
        PixelToWidthUnits(m, px, py, x, y);
        if (m.Southern)
            y = -y;
        const double den = m.Rho0 - y;
        if (den == 0)
            return false; // division by zero
        const double theta = std::atan(x / den);
        lon = theta * m.RecipNRad + m.CentreLongitude;
        const double rho = std::sqrt(x * x + den * den);
        const double t = std::pow(rho * m.RecipAF, static_cast<double>(m.RecipN));
        if (!Finite(t))
            return false;
        double phi = Pi / 2 - 2 * std::atan(t);
        double next = phi;
        double change = 1;
        const double e = m.E, halfE = m.HalfE;
        for (int i = 0; i < 100 && change > 0.00001; ++i) {
            const double es = e * std::sin(phi);
            next = Pi / 2 - 2 * std::atan(t * std::pow((1 - es) / (1 + es), halfE));
            change = std::fabs(std::fabs(phi) - std::fabs(next));
            phi = next;
            if (!Finite(phi))
                return false;
        }
        lat = next * RadToDeg;
        if (m.Southern)
            lat = -lat;
        return Finite(lat) && Finite(lon);
    }
};

} // namespace projection
