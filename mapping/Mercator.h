#pragma once
// Mercator kinds: 5 over the whole globe (square cells at the equator), 6
// stretched over the map's spans. Latitude enters through MercatorY,
// y = ln tan(pi/4 + phi/2).
#include "mapping/ProjectionMath.h"

namespace projection {

// Kind 5.
struct TMercatorFull {
    const TMapping& m;
    static constexpr bool VisibleInsideOnly = false;
    explicit TMercatorFull(const TMapping& map) : m(map) {}

    // Mercator: X = W (lon + 180) / 360, Y = CentreRow - W MercatorY(lat) / 360.
    TResult Forward(double lon, double lat, double& FX, double& FY) const
    {
        const double W = m.Width;
        const double my = MercatorYD(lat);
        const double l = Wrap(lon);
        FX = W * (l + 180) / 360;
        FY = m.CentreRow - W * my / 360;
        return TMapping::prComputed;
    }
    // Inverse Mercator: lat = 2 atan(exp y) - pi/2 of the row's ordinate.
    bool Inverse(double px, double py, double& lon, double& lat) const
    {
        const double rw = m.RecipWidth;
        lon = ReduceHalfOpen(px * 360 * rw - 180);
        const double my = (m.CentreRow - py) * 360 * rw;
        if (!Finite(my))
            return false;
        lat = InverseMercatorYD(my);
        return true;
    }
};

// Kind 6: visible only inside the image.
struct TMercatorZoomed {
    const TMapping& m;
    static constexpr bool VisibleInsideOnly = true;
    explicit TMercatorZoomed(const TMapping& map) : m(map) {}

    // Mercator ordinate rescaled so that the latitude span fills the height.
    TResult Forward(double lon, double lat, double& FX, double& FY) const
    {
        const double W = m.Width, H = m.Height;
        const double centreLon = m.CentreLongitude;
        const double dlon = Wrap(lon - centreLon);
        const double my = (MercatorYD(lat) - m.MercatorZoomBase) / m.MercatorZoomScale;
        if (!Finite(my))
            return TMapping::prNotComputed;
        FX = W * (dlon - m.WestEdge + centreLon) / m.LongitudeSpan;
        FY = H * (1 - my / m.LatitudeSpan);
        return TMapping::prComputed; // the caller checks the image bounds
    }
    // The rescaled ordinate back to MercatorY, then inverse Mercator.
    bool Inverse(double px, double py, double& lon, double& lat) const
    {
        const double rw = m.RecipWidth, rh = m.RecipHeight;
        lon = ReduceHalfOpen(px * m.LongitudeSpan * rw + m.WestEdge);
        double my = m.LatitudeSpan * (1 - py * rh);
        my = m.MercatorZoomScale * my + m.MercatorZoomBase;
        if (!Finite(my))
            return false;
        lat = InverseMercatorYD(my);
        return true;
    }
};

} // namespace projection
