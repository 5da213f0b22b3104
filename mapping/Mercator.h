// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Mercator kinds: 5 over the whole globe (square cells at the equator), 6
// stretched over the map's spans. Latitude enters through MercatorY,
// y = ln tan(pi/4 + phi/2).
#include <type_traits>

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

// The inverses' latitude from the ordinate, for one point or lanes: the C
// library's exponential and arc tangent (SLEEF's take longer for one point)
// lane by lane, in two steps so that a pass's lanes overlap the calls.
template <typename V>
static inline void InverseMercatorExpLanes(const V& my, V& ex)
{
    lanes::EachLane<V>([&](size_t k) { lanes::SetLane(ex, k, InverseMercatorExp(lanes::GetLane(my, k))); });
}
template <typename V>
static inline void InverseMercatorFromExpLanes(const V& my, const V& ex, V& lat)
{
    lanes::EachLane<V>([&](size_t k) {
        lanes::SetLane(lat, k, InverseMercatorFromExp(lanes::GetLane(my, k), lanes::GetLane(ex, k)));
    });
}

// What the Mercator kinds keep between their steps.
template <typename V, typename M>
struct TMercatorForwardState : TForwardIO<V, M> {
    V l, tangent; // the longitude brought into -180..180, the ordinate's tangent
};
template <typename V, typename M>
struct TMercatorInverseState : TInverseIO<V, M> {
    V my, ex; // the ordinate and its exponential
};

// Kind 5: X = W (lon + 180) / 360, Y = CentreRow - W MercatorY(lat) / 360,
// in two steps (the tangent, then the rest); inverse Mercator, lat = 2
// atan(exp y) - pi/2 of the row's ordinate, in three (the ordinate, its
// exponential, the arc tangent).
struct TMercatorFull {
    const TMapping& m;
    explicit TMercatorFull(const TMapping& map) : m(map) {}

    template <typename V, typename M>
    using TForwardState = TMercatorForwardState<V, M>;
    static constexpr int ForwardSteps = 2;

    template <int Step, typename V, typename M>
    void ForwardStep(TForwardState<V, M>& s) const
    {
        if constexpr (Step == 0) {
            s.l = WrapT(s.lon, s.far);
            s.tangent = MercatorTanT(s.lat);
        } else {
            static_assert(Step == 1);
            MercatorFullXY<V>(m.Width, m.CentreRow, s.l, MercatorYFromTanT(s.lat, s.tangent), s.FX, s.FY);
            s.computed = EveryLane<M>();
        }
    }

    template <typename V, typename M>
    using TInverseState = TMercatorInverseState<V, M>;
    static constexpr int InverseSteps = 3;

    template <int Step, typename V, typename M>
    void InverseStep(TInverseState<V, M>& s) const
    {
        if constexpr (Step == 0) {
            V lon0;
            MercatorFullInverseLine<V>(m.RecipWidth, m.CentreRow, s.px, s.py, lon0, s.my);
            s.lon = ReduceHalfOpenT(lon0, s.far);
            s.converted = lanes::IsFinite(s.my);
            if constexpr (std::is_same_v<V, double>)
                s.done = !s.converted;
        } else if constexpr (Step == 1) {
            InverseMercatorExpLanes(s.my, s.ex);
        } else {
            static_assert(Step == 2);
            InverseMercatorFromExpLanes(s.my, s.ex, s.lat);
        }
    }
};

// Kind 6: the Mercator ordinate rescaled so that the latitude span fills
// the height, computed where that is finite (the caller checks the image
// bounds); the inverse rescales the ordinate back to MercatorY. The same
// steps as kind 5.
struct TMercatorZoomed {
    const TMapping& m;
    explicit TMercatorZoomed(const TMapping& map) : m(map) {}

    template <typename V, typename M>
    using TForwardState = TMercatorForwardState<V, M>;
    static constexpr int ForwardSteps = 2;

    template <int Step, typename V, typename M>
    void ForwardStep(TForwardState<V, M>& s) const
    {
        const double centreLon = m.CentreLongitude;
        if constexpr (Step == 0) {
            s.l = WrapT(s.lon - centreLon, s.far);
            s.tangent = MercatorTanT(s.lat);
        } else {
            static_assert(Step == 1);
            s.computed = MercatorZoomedXY<V>(m.Width, m.Height, centreLon, m.WestEdge, m.LongitudeSpan,
                                             m.LatitudeSpan, m.MercatorZoomBase, m.MercatorZoomScale, s.l,
                                             MercatorYFromTanT(s.lat, s.tangent), s.FX, s.FY);
        }
    }

    template <typename V, typename M>
    using TInverseState = TMercatorInverseState<V, M>;
    static constexpr int InverseSteps = 3;

    template <int Step, typename V, typename M>
    void InverseStep(TInverseState<V, M>& s) const
    {
        if constexpr (Step == 0) {
            V lon0;
            MercatorZoomedInverseLine<V>(m.LongitudeSpan, m.WestEdge, m.LatitudeSpan, m.MercatorZoomScale,
                                         m.MercatorZoomBase, m.RecipWidth, m.RecipHeight, s.px, s.py, lon0, s.my);
            s.lon = ReduceHalfOpenT(lon0, s.far);
            s.converted = lanes::IsFinite(s.my);
            if constexpr (std::is_same_v<V, double>)
                s.done = !s.converted;
        } else if constexpr (Step == 1) {
            InverseMercatorExpLanes(s.my, s.ex);
        } else {
            static_assert(Step == 2);
            InverseMercatorFromExpLanes(s.my, s.ex, s.lat);
        }
    }
};

} // namespace projection
