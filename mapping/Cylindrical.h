// SPDX-License-Identifier: GPL-3.0-or-later
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

// Plate carree over spans: X = W (dlon - west edge + lon0) / lon span,
// Y = H (1 - (lat - south edge) / lat span), dlon the longitude from lon0.
template <typename V>
static inline void PlateCarreeZoomed(double W, double H, double lon0, double west, double south, double lonSpan,
                                     double latSpan, V dlon, V lat, V& FX, V& FY)
{
    FX = (dlon - west + lon0) * W / lonSpan;
    FY = (1.0 - (lat - south) / latSpan) * H;
}

// The same lines solved for lon (before its reduction) and lat, from the
// pixel and the reciprocal width and height.
template <typename V>
static inline void PlateCarreeInverse(double lonSpan, double west, double latSpan, double south, double rw, double rh,
                                      V px, V py, V& lon, V& lat)
{
    lon = px * lonSpan * rw + west;
    lat = (1.0 - py * rh) * latSpan + south;
}

// Kind 1, in one step each way: computed in every lane (lanes whose
// longitude lies far out are marked far); the same lines solved for lon and
// lat.
struct TCylindricalFull {
    // The map's sizes as the lines take them, read once.
    double W, H, rw, rh;
    explicit TCylindricalFull(const TMapping& m)
        : W(m.Width), H(m.Height), rw(m.RecipWidth), rh(m.RecipHeight)
    {
    }

    template <typename V, typename M>
    using TForwardState = TForwardIO<V, M>;
    static constexpr int ForwardSteps = 1;

    template <int Step, typename V, typename M>
    void ForwardStep(TForwardState<V, M>& s) const
    {
        PlateCarreeFull<V>(W, H, WrapT(s.lon, s.far), s.lat, s.FX, s.FY);
        s.computed = EveryLane<M>();
    }

    template <typename V, typename M>
    using TInverseState = TInverseIO<V, M>;
    static constexpr int InverseSteps = 1;

    template <int Step, typename V, typename M>
    void InverseStep(TInverseState<V, M>& s) const
    {
        V lon;
        PlateCarreeInverse<V>(360, -180, 180, -90, rw, rh, s.px, s.py, lon, s.lat);
        s.lon = ReduceHalfOpenT(lon, s.far);
        s.converted = EveryLane<M>();
    }
};

// Kinds 2 and 14: the same over the map's spans.
struct TCylindricalZoomed {
    // The map's sizes, centre, edges and spans as the lines take them, read
    // once.
    double W, H, rw, rh, centreLon, west, south, lonSpan, latSpan;
    explicit TCylindricalZoomed(const TMapping& m)
        : W(m.Width), H(m.Height), rw(m.RecipWidth), rh(m.RecipHeight), centreLon(m.CentreLongitude),
          west(m.WestEdge), south(m.SouthEdge), lonSpan(m.LongitudeSpan), latSpan(m.LatitudeSpan)
    {
    }

    template <typename V, typename M>
    using TForwardState = TForwardIO<V, M>;
    static constexpr int ForwardSteps = 1;

    template <int Step, typename V, typename M>
    void ForwardStep(TForwardState<V, M>& s) const
    {
        PlateCarreeZoomed<V>(W, H, centreLon, west, south, lonSpan, latSpan, WrapT(s.lon - centreLon, s.far), s.lat,
                             s.FX, s.FY);
        s.computed = EveryLane<M>();
    }

    template <typename V, typename M>
    using TInverseState = TInverseIO<V, M>;
    static constexpr int InverseSteps = 1;

    template <int Step, typename V, typename M>
    void InverseStep(TInverseState<V, M>& s) const
    {
        V lon;
        PlateCarreeInverse<V>(lonSpan, west, latSpan, south, rw, rh, s.px, s.py, lon, s.lat);
        s.lon = ReduceHalfOpenT(lon, s.far);
        s.converted = EveryLane<M>();
    }
};

} // namespace projection
