#pragma once
// Kind 12, the Van der Grinten projection of the whole globe in a circle,
// with its zoom sectors (quarters and ninths of the map enlarged).
#include "mapping/ProjectionMath.h"

namespace projection {

// Full-map normalised coordinates to those of the zoom sector, and back.
inline void MapToSectorUnits(const TMapping& m, double& x, double& y)
{
    const double h = static_cast<double>(m.Height) / m.Width;
    switch (m.Sector) {
    case 1: x = 2 * x + 0.5; y = 2 * y - 0.5 * h; break;
    case 2: x = 2 * x - 0.5; y = 2 * y - 0.5 * h; break;
    case 3: x = 2 * x + 0.5; y = 2 * y + 0.5 * h; break;
    case 4: x = 2 * x - 0.5; y = 2 * y + 0.5 * h; break;
    case 5: x = 3 * x + 1; y = 3 * y - h; break;
    case 6: x = 3 * x; y = 3 * y - h; break;
    case 7: x = 3 * x - 1; y = 3 * y - h; break;
    case 8: x = 3 * x + 1; y = 3 * y; break;
    case 9: x = 3 * x; y = 3 * y; break;
    case 10: x = 3 * x - 1; y = 3 * y; break;
    case 11: x = 3 * x + 1; y = 3 * y + h; break;
    case 12: x = 3 * x; y = 3 * y + h; break;
    case 13: x = 3 * x - 1; y = 3 * y + h; break;
    default: break; // 0 and above 13: the whole map
    }
}

inline bool SectorToMapUnits(const TMapping& m, double& x, double& y)
{
    const double h = static_cast<double>(m.Height) * m.RecipWidth;
    switch (m.Sector) {
    case 1: x = (x - 0.5) / 2; y = (y + 0.5 * h) / 2; break;
    case 2: x = (x + 0.5) / 2; y = (y + 0.5 * h) / 2; break;
    case 3: x = (x - 0.5) / 2; y = (y - 0.5 * h) / 2; break;
    case 4: x = (x + 0.5) / 2; y = (y - 0.5 * h) / 2; break;
    case 5: x = (x - 1) / 3; y = (y + h) / 3; break;
    case 6: x = x / 3; y = (y + h) / 3; break;
    case 7: x = (x + 1) / 3; y = (y + h) / 3; break;
    case 8: x = (x - 1) / 3; y = y / 3; break;
    case 9: x = x / 3; y = y / 3; break;
    case 10: x = (x + 1) / 3; y = y / 3; break;
    case 11: x = (x - 1) / 3; y = (y - h) / 3; break;
    case 12: x = x / 3; y = (y - h) / 3; break;
    case 13: x = (x + 1) / 3; y = (y - h) / 3; break;
    default: break;
    }
    return Finite(x) && Finite(y);
}

struct TVanDerGrinten {
    const TMapping& m;
    static constexpr bool VisibleInsideOnly = false;
    explicit TVanDerGrinten(const TMapping& map) : m(map) {}

    // Van der Grinten (Snyder 29-1 to 29-5): theta = asin(2|lat|/180),
    // A = |180/dlon - dlon/180| / 2, G = cos theta / (sin theta + cos theta - 1),
    // P = G (2 / sin theta - 1), Q = A^2 + G; x and y from the two roots.
    TResult Forward(double lon, double lat, double& FX, double& FY) const
    {
        if (m.Width == 0)
            return TMapping::prNotComputed; // the sector geometry divides by Width
        const double dlon = Wrap(lon - static_cast<double>(m.CentreLongitude));
        const double A = std::fabs(lat);
        const double absScale = std::fabs(static_cast<double>(m.Scale));
        double x, y;
        if (A > 89.999) {
            x = 0;
            y = Pi * absScale;
            if (lat < 0)
                y = -y;
        } else if (std::fabs(dlon) < 0.0001) {
            const double theta = std::asin(2 * A / 180);
            x = 0;
            y = Pi * absScale * std::tan(theta / 2);
            if (lat < 0)
                y = -y;
        } else if (A < 0.0001) {
            x = m.Scale * dlon * DegToRad;
            y = 0;
        } else {
            const double theta = std::asin(2 * A / 180);
            const double st = std::sin(theta), ct = std::cos(theta);
            const double AA = 0.5 * std::fabs(180 / dlon - dlon / 180);
            const double G = ct / (st + ct - 1);
            const double P = G * (2 / st - 1);
            const double AA2 = AA * AA, P2 = P * P;
            const double Q = AA2 + G;
            const double D = P2 + AA2;
            const double GP = G - P2;
            const double piScale = m.PiScale;
            x = piScale * (AA * GP + std::sqrt(AA2 * GP * GP - D * (G * G - P2))) / D;
            if (dlon < 0)
                x = -x;
            y = piScale * (P * Q - AA * std::sqrt((AA2 + 1) * D - Q * Q)) / D;
            if (lat < 0)
                y = -y;
        }
        MapToSectorUnits(m, x, y);
        WidthUnitsToPixel(m, x, y, FX, FY);
        return TMapping::prComputed;
    }

    // Inverse Van der Grinten (Snyder 29-6 to 29-15): the cubic in the
    // latitude solved trigonometrically; the longitude in closed form.
    bool Inverse(double px, double py, double& lon, double& lat) const
    {
        double x, y;
        PixelToWidthUnits(m, px, py, x, y);
        if (!SectorToMapUnits(m, x, y))
            return false;
        const double U = x * m.RecipPiScale, V = y * m.RecipPiScale;
        if (U == 0 && V == 0) {
            // The centre of the map: the cubic below degenerates (0 / 0).
            lon = m.CentreLongitude;
            lat = 0;
            return true;
        }
        const double s = U * U + V * V;
        const double c1 = -std::fabs(V) * (1 + s);
        const double c2 = c1 - 2 * V * V + U * U;
        const double c3 = -2 * c1 + 1 + 2 * V * V + s * s;
        const double d = V * V / c3 + (2 * std::pow(c2 / c3, 3) - 9 * c1 * c2 / (c3 * c3)) / 27;
        const double a1 = (c1 - c2 * c2 / (3 * c3)) / c3;
        const double m1 = 2 * std::sqrt(-a1 / 3);
        const double theta1 = AcosNear(3 * d / (a1 * m1)) / 3;
        lat = 180 * (-m1 * std::cos(theta1 + Pi / 3) - c2 / (3 * c3));
        if (y < 0)
            lat = -lat;
        double dl = 0;
        if (U != 0)
            dl = 90 * (s - 1 + std::sqrt(1 + 2 * (U * U - V * V) + s * s)) / U;
        // Outside the map's bounding circle the formula still gives a value,
        // more than 180 degrees from the centre: that pixel is out of reach.
        if (!(std::fabs(dl) <= 180.0001))
            return false;
        lon = m.CentreLongitude + dl;
        return Finite(lat) && Finite(lon);
    }
};

} // namespace projection
