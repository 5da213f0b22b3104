// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Kind 12, the Van der Grinten projection of the whole globe in a circle,
// with its zoom sectors (quarters and ninths of the map enlarged).
#include <type_traits>

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

// The zoom sector as x' = a x + bx, y' = a y + by (MapToSectorUnits's
// cases in one form).
struct TSectorAffine {
    double a = 1, bx = 0, by = 0;
};
inline TSectorAffine SectorAffine(const TMapping& m)
{
    const double h = static_cast<double>(m.Height) / m.Width;
    switch (m.Sector) {
    case 1: return {2, 0.5, -(0.5 * h)};
    case 2: return {2, -0.5, -(0.5 * h)};
    case 3: return {2, 0.5, 0.5 * h};
    case 4: return {2, -0.5, 0.5 * h};
    case 5: return {3, 1, -h};
    case 6: return {3, 0, -h};
    case 7: return {3, -1, -h};
    case 8: return {3, 1, 0};
    case 9: return {3, 0, 0};
    case 10: return {3, -1, 0};
    case 11: return {3, 1, h};
    case 12: return {3, 0, h};
    case 13: return {3, -1, h};
    default: return {};
    }
}

// Van der Grinten (Snyder 29-1 to 29-5) for one point or lanes, dlon the
// longitude from the centre: theta = asin(|lat| / 90), which enters through
// sin theta = |lat| / 90 and cos theta = sqrt(1 - sin^2 theta);
// A = |180/dlon - dlon/180| / 2, G = cos theta / (sin theta + cos theta - 1),
// P = G (2 / sin theta - 1), Q = A^2 + G; x and y from the two roots. On the
// central meridian y = pi R tan(theta / 2) = pi R sin theta / (1 + cos
// theta), on the equator x = R dlon, at the poles y = pi R.
template <typename V>
static inline void VanDerGrintenXY(double scale, double piScale, V dlon, V lat, V& x, V& y)
{
    const double piAbsScale = Pi * std::fabs(scale);
    const V zero{};
    const V A = lanes::Abs(lat);
    const V st = 2.0 * A / 180.0;
    const V ct = lanes::Sqrt((1.0 - st) * (1.0 + st));
    const V AA = 0.5 * lanes::Abs(180.0 / dlon - dlon / 180.0);
    const V G = ct / (st + ct - 1.0);
    const V P = G * (2.0 / st - 1.0);
    const V AA2 = AA * AA, P2 = P * P;
    const V Q = AA2 + G;
    const V D = P2 + AA2;
    const V GP = G - P2;
    V gx = piScale * (AA * GP + lanes::Sqrt(AA2 * GP * GP - D * (G * G - P2))) / D;
    gx = lanes::Select(dlon < 0.0, -gx, gx);
    const V gy = piScale * (P * Q - AA * lanes::Sqrt((AA2 + 1.0) * D - Q * Q)) / D;
    const auto pole = A > 89.999;
    const auto meridian = lanes::Abs(dlon) < 0.0001;
    const auto equator = A < 0.0001;
    x = lanes::Select(pole | meridian, zero, lanes::Select(equator, scale * dlon * DegToRad, gx));
    V ny = lanes::Select(pole, zero + piAbsScale, lanes::Select(meridian, piAbsScale * (st / (1.0 + ct)), gy));
    ny = lanes::Select(lat < 0.0, -ny, ny);
    y = lanes::Select(equator & ((pole | meridian) == 0), zero, ny);
}

// SectorToMapUnits's cases in one form: x' = (x + bx) / a, y' = (y + by) / a.
inline TSectorAffine SectorInverseAffine(const TMapping& m)
{
    const double h = static_cast<double>(m.Height) * m.RecipWidth;
    switch (m.Sector) {
    case 1: return {2, -0.5, 0.5 * h};
    case 2: return {2, 0.5, 0.5 * h};
    case 3: return {2, -0.5, -(0.5 * h)};
    case 4: return {2, 0.5, -(0.5 * h)};
    case 5: return {3, -1, h};
    case 6: return {3, 0, h};
    case 7: return {3, 1, h};
    case 8: return {3, -1, 0};
    case 9: return {3, 0, 0};
    case 10: return {3, 1, 0};
    case 11: return {3, -1, -h};
    case 12: return {3, 0, -h};
    case 13: return {3, 1, -h};
    default: return {};
    }
}

struct TVanDerGrinten {
    const TMapping& m;
    TSectorAffine sector, back;
    explicit TVanDerGrinten(const TMapping& map) : m(map), sector(map.Width != 0 ? SectorAffine(map) : TSectorAffine{}),
          back(SectorInverseAffine(map))
    {
    }

    // Van der Grinten in one step (lanes with a longitude far outside
    // -540..540 marked far), zoomed into the sector; nothing is computed
    // for a map of width 0, whose sector geometry divides by the width.
    template <typename V, typename M>
    using TForwardState = TForwardIO<V, M>;
    static constexpr int ForwardSteps = 1;

    template <int Step, typename V, typename M>
    void ForwardStep(TForwardState<V, M>& s) const
    {
        if constexpr (std::is_same_v<V, double>) {
            if (m.Width == 0) {
                Fails(s);
                return;
            }
        }
        const V dlon = WrapT(s.lon - static_cast<double>(m.CentreLongitude), s.far);
        V x, y;
        VanDerGrintenXY(m.Scale, m.PiScale, dlon, s.lat, x, y);
        x = sector.a * x + sector.bx;
        y = sector.a * y + sector.by;
        WidthUnitsToPixelT<V>(m.Width, m.CentreRow, x, y, s.FX, s.FY);
        s.computed = m.Width != 0 ? EveryLane<M>() : M{};
    }

    // Inverse Van der Grinten (Snyder 29-6 to 29-15) for one point or lanes
    // (the pixel without offsets): the cubic in the latitude solved
    // trigonometrically; the longitude in closed form. In two steps for
    // the kernels' passes: the cubic's coefficients and the longitude, then
    // the arc cosine and cosine of the trigonometric solution.
    template <typename V, typename M>
    struct TInverseState : TInverseIO<V, M> {
        V y, r, m1, v, dl; // between the steps
        M ok, centre;
    };
    static constexpr int InverseSteps = 2;

    template <int Step, typename V, typename M>
    void InverseStep(TInverseState<V, M>& s) const
    {
        if constexpr (Step == 0) {
            V x, y;
            PixelToWidthUnitsT<V>(m.RecipWidth, m.CentreRow, s.px, s.py, x, y);
            x = (x + back.bx) * (1.0 / back.a);
            y = (y + back.by) * (1.0 / back.a);
            s.y = y;
            s.ok = lanes::IsFinite(x) & lanes::IsFinite(y);
            const V U = x * m.RecipPiScale, W = y * m.RecipPiScale;
            // The centre of the map: the cubic below degenerates (0 / 0).
            s.centre = (U == 0.0) & (W == 0.0);
            if constexpr (std::is_same_v<V, double>) {
                if (!s.ok || s.centre)
                    return;
            }
            // With 1 / c3 and r = c2 / c3 taken once: d = V^2 / c3 + (2 r^3 -
            // 9 c1 c2 / c3^2) / 27, a1 = (c1 - c2^2 / (3 c3)) / c3.
            const V sum = U * U + W * W;
            const V c1 = -lanes::Abs(W) * (1.0 + sum);
            const V c2 = c1 - 2.0 * W * W + U * U;
            const V c3 = -2.0 * c1 + 1.0 + 2.0 * W * W + sum * sum;
            const V ic3 = 1.0 / c3;
            const V r = c2 * ic3;
            const V d = W * W * ic3 + (2.0 * (r * r * r) - 9.0 * c1 * r * ic3) * (1.0 / 27);
            const V a1 = (c1 - c2 * r * (1.0 / 3)) * ic3;
            s.r = r;
            s.m1 = 2.0 * lanes::Sqrt(-a1 * (1.0 / 3));
            s.v = HoldNearUnitT(3.0 * d / (a1 * s.m1));
            s.dl = lanes::Select(U != 0.0,
                                 90.0 * (sum - 1.0 + lanes::Sqrt(1.0 + 2.0 * (U * U - W * W) + sum * sum)) / U, V{});
        } else {
            static_assert(Step == 1);
            if constexpr (std::is_same_v<V, double>) {
                if (!s.ok) {
                    s.converted = false;
                    return;
                }
                if (s.centre) {
                    s.lon = m.CentreLongitude;
                    s.lat = 0;
                    s.converted = true;
                    return;
                }
            }
            const V angle = lanes::Acos(s.v) / 3.0 + Pi / 3;
            // SLEEF's cosine takes another way for the whole vector when a
            // lane is not finite: such lanes (which fail) enter as 0.
            const auto finite = lanes::IsFinite(angle);
            M ok = s.ok & finite;
            V l = 180.0 * (-s.m1 * lanes::Cos(lanes::Select(finite, angle, V{})) - s.r * (1.0 / 3));
            l = lanes::Select(s.y < 0.0, -l, l);
            // Outside the map's bounding circle the formula still gives a
            // value, more than 180 degrees from the centre: that pixel is
            // out of reach.
            ok = ok & (lanes::Abs(s.dl) <= 180.0001);
            s.lon = lanes::Select(s.centre, Splat<V>(m.CentreLongitude), s.dl + m.CentreLongitude);
            s.lat = lanes::Select(s.centre, V{}, l);
            s.converted = s.centre | (ok & lanes::IsFinite(s.lat) & lanes::IsFinite(s.lon));
        }
    }

};

} // namespace projection
