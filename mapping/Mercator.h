#pragma once
// Mercator kinds: 5 over the whole globe (square cells at the equator), 6
// stretched over the map's spans. Latitude enters through MercatorY,
// y = ln tan(pi/4 + phi/2).
#include "mapping/Cylindrical.h"
#include "mapping/ProjectionMath.h"

namespace projection {

// Mercator's ordinate in degrees, y = ln tan(pi/4 + phi/2), for one point or
// lanes: 0 at 0, the latitude itself where the tangent or the logarithm
// fails. The tangent is taken of pi/4 + |phi|/2 and the sign put back.
// In two steps, each ending in its SLEEF call: MercatorTanT and
// MercatorYFromTanT.
template <typename V>
static inline V MercatorTanT(V lat)
{
    return lanes::Tan(Pi / 4 + lanes::Abs(lat) * Pi / 360);
}
template <typename V>
static inline V MercatorYFromTanT(V lat, V t)
{
    V r = lanes::Log(t) * RadToDeg;
    r = lanes::Select(lat > 0.0, r, -r);
    const auto bad = ((t > 0.0) == 0) | (lanes::IsFinite(t) == 0) | (lanes::IsFinite(r) == 0);
    return lanes::Select(lat == 0.0, V{}, lanes::Select(bad, lat, r));
}
template <typename V>
static inline V MercatorYT(V lat)
{
    return MercatorYFromTanT(lat, MercatorTanT(lat));
}

// Kind 5 from the ordinate my = MercatorY(lat): X = W (lon + 180) / 360,
// Y = CentreRow - W my / 360.
template <typename V>
static inline void MercatorFullXY(double W, double centreRow, V lon, V my, V& FX, V& FY)
{
    FX = W * (lon + 180.0) / 360.0;
    FY = centreRow - W * my / 360.0;
}

// Kind 6: the Mercator ordinate (MercatorY of the latitude) rescaled so
// that the latitude span fills the height; false (a mask for lanes) where
// it is not finite.
template <typename V>
static inline auto MercatorZoomedXY(double W, double H, double lon0, double west, double lonSpan, double latSpan,
                                    double zoomBase, double zoomScale, V dlon, V ordinate, V& FX, V& FY)
{
    const V my = (ordinate - zoomBase) / zoomScale;
    FX = W * (dlon - west + lon0) / lonSpan;
    FY = H * (1.0 - my / latSpan);
    return lanes::IsFinite(my);
}

// Kind 5.
struct TMercatorFull {
    const TMapping& m;
    static constexpr bool VisibleInsideOnly = false;
    explicit TMercatorFull(const TMapping& map) : m(map) {}

    // Mercator: X = W (lon + 180) / 360, Y = CentreRow - W MercatorY(lat) / 360.
    TResult Forward(double lon, double lat, double& FX, double& FY) const
    {
        MercatorFullXY<double>(m.Width, m.CentreRow, Wrap(lon), MercatorYT(lat), FX, FY);
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
        const double centreLon = m.CentreLongitude;
        double fx, fy;
        if (!MercatorZoomedXY<double>(m.Width, m.Height, centreLon, m.WestEdge, m.LongitudeSpan, m.LatitudeSpan,
                                      m.MercatorZoomBase, m.MercatorZoomScale, Wrap(lon - centreLon), MercatorYT(lat),
                                      fx, fy))
            return TMapping::prNotComputed;
        FX = fx;
        FY = fy;
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
