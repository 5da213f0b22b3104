#pragma once
// Equidistant cylindrical kinds (plate carree): 1 over the whole globe, 2
// and 14 over the map's spans. Longitude and latitude are linear in column
// and row.
#include "mapping/ProjectionMath.h"

namespace projection {

// Plate carree: X = W (lon + 180) / 360, Y = H (1 - (lat + 90) / 180).
template <typename V>
static inline void PlateCarreeFull(double W, double H, V lon, V lat, V& FX, V& FY)
{
    FX = W * (lon + 180.0) / 360.0;
    FY = (1.0 - (lat + 90.0) / 180.0) * H;
}

// Kind 1.
struct TCylindricalFull {
    const TMapping& m;
    static constexpr bool VisibleInsideOnly = false;
    explicit TCylindricalFull(const TMapping& map) : m(map) {}

    TResult Forward(double lon, double lat, double& FX, double& FY) const
    {
        PlateCarreeFull<double>(m.Width, m.Height, Wrap(lon), lat, FX, FY);
        return TMapping::prComputed;
    }
    // The same lines solved for lon and lat.
    bool Inverse(double px, double py, double& lon, double& lat) const
    {
        const double rw = m.RecipWidth, rh = m.RecipHeight;
        lon = ReduceHalfOpen(px * 360 * rw - 180);
        lat = (1 - py * rh) * 180 - 90;
        return true;
    }
};

// Kinds 2 and 14.
struct TCylindricalZoomed {
    const TMapping& m;
    static constexpr bool VisibleInsideOnly = false;
    explicit TCylindricalZoomed(const TMapping& map) : m(map) {}

    // Plate carree over the spans: X = W (lon - west edge) / lon span,
    // Y = H (1 - (lat - south edge) / lat span).
    TResult Forward(double lon, double lat, double& FX, double& FY) const
    {
        const double W = m.Width, H = m.Height;
        const double centreLon = m.CentreLongitude;
        const double dlon = Wrap(lon - centreLon);
        FX = (dlon - m.WestEdge + centreLon) * W / m.LongitudeSpan;
        FY = (1 - (lat - m.SouthEdge) / m.LatitudeSpan) * H;
        return TMapping::prComputed;
    }
    // The same lines solved for lon and lat.
    bool Inverse(double px, double py, double& lon, double& lat) const
    {
        const double rw = m.RecipWidth, rh = m.RecipHeight;
        lon = ReduceHalfOpen(px * m.LongitudeSpan * rw + m.WestEdge);
        lat = (1 - py * rh) * m.LatitudeSpan + m.SouthEdge;
        return true;
    }
};

} // namespace projection
