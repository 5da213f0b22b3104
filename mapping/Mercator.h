// SPDX-License-Identifier: GPL-3.0-or-later
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

// InverseMercatorYD in two steps, so that a kernel can take a run's
// exponentials before its arc tangents: lat = 2 atan(exp y) - pi/2 in
// degrees as (atan(exp |y|) - pi/4) doubled with the sign put back; 0 at 0;
// the ordinate itself where it is not a number, the exponential overflows
// or the result is not finite.
inline double InverseMercatorExp(double my) { return std::exp(std::fabs(my) * Pi / 180); }
inline double InverseMercatorFromExp(double my, double ex)
{
    if (!(my > 0) && !(my < 0))
        return my == 0 ? 0 : my; // 0 gives 0; NaN comes back unchanged
    // exp overflows for |my| beyond about 40000: a failure, my comes back.
    if (!Finite(ex))
        return my;
    const double r = my > 0 ? (std::atan(ex) - Pi / 4) * 360 / Pi : (Pi / 4 - std::atan(ex)) * 360 / Pi;
    return Finite(r) ? r : my;
}

// The inverses' longitude before its reduction and Mercator ordinate from
// the pixel (without offsets), for one point or lanes: kind 5's from the
// whole globe, kind 6's rescaled back from the spans.
template <typename V>
static inline void MercatorFullInverseLine(double rw, double centreRow, V px, V py, V& lon, V& my)
{
    lon = px * 360 * rw - 180;
    my = (centreRow - py) * 360 * rw;
}
template <typename V>
static inline void MercatorZoomedInverseLine(double lonSpan, double west, double latSpan, double zoomScale,
                                             double zoomBase, double rw, double rh, V px, V py, V& lon, V& my)
{
    lon = px * lonSpan * rw + west;
    my = latSpan * (1.0 - py * rh);
    my = zoomScale * my + zoomBase;
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
        double lon0, my;
        MercatorFullInverseLine<double>(m.RecipWidth, m.CentreRow, px, py, lon0, my);
        lon = ReduceHalfOpen(lon0);
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
        double lon0, my;
        MercatorZoomedInverseLine<double>(m.LongitudeSpan, m.WestEdge, m.LatitudeSpan, m.MercatorZoomScale,
                                          m.MercatorZoomBase, m.RecipWidth, m.RecipHeight, px, py, lon0, my);
        lon = ReduceHalfOpen(lon0);
        if (!Finite(my))
            return false;
        lat = InverseMercatorYD(my);
        return true;
    }
};

} // namespace projection
