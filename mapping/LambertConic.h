#pragma once
// Kind 10, Lambert conformal conic on the ellipsoid (Snyder's ellipsoidal
// formulas with the cone constant n, aF and rho0 of Recalculate), mirrored
// for a southern centre.
#include <type_traits>

#include "mapping/ProjectionMath.h"

namespace projection {

// Lambert t^n for one point or lanes from the sine and cosine of p (the
// latitude, mirrored for a southern map): t = tan(pi/4 - p/2) / ((1 - e sin
// p) / (1 + e sin p))^(e/2) with tan(pi/4 - p/2) = cos p / (1 + sin p),
// raised to n as exp(n (ln tan - e/2 ln ratio)); 0 where the tangent is
// below 0.00001. A negative tangent (a latitude beyond a pole) is raised
// with pow by the per-point code: such lanes are marked far.
template <typename V, typename M>
static inline V LambertTn(double e, double halfE, double n, V sinP, V cosP, M& far)
{
    const V es = e * sinP;
    const V tn = cosP / (1.0 + sinP);
    const V ratio = (1.0 - es) / (1.0 + es);
    V lt, lr;
    lanes::LogPair(tn, ratio, lt, lr);
    V T = lanes::Exp(n * (lt - halfE * lr));
    if constexpr (std::is_same_v<V, double>) {
        if (!(tn > 0))
            T = std::pow(tn / std::pow(ratio, halfE), n);
    } else {
        far = far | ((tn > 0.0) == 0);
    }
    if (n == 0)
        T = One<V>(); // t^0, whatever t is
    return lanes::Select(lanes::Abs(tn) >= 0.00001, T, V{});
}

// The conformal latitude's inverse for one point or lanes: phi = pi/2 -
// 2 atan(t ((1 - e sin phi) / (1 + e sin phi))^(e/2)) by fixed-point
// iteration from phi = pi/2 - 2 atan t, each lane until its change is at
// most 0.00001 (100 rounds at most); a lane fails (ok cleared) when phi is
// not finite.
template <typename V, typename M>
static inline V LambertLatitude(double e, double halfE, V t, V atanT, M& ok)
{
    V phi = Pi / 2 - 2.0 * atanT;
    M active = ok;
    for (int i = 0; i < 100 && lanes::Any(active); ++i) {
        // Lanes already done enter as 0 (SLEEF's sine takes another way for
        // the whole vector when a lane is not finite).
        const V ph = lanes::Select(active, phi, V{});
        const V es = e * lanes::Sin(ph);
        const V next = Pi / 2 - 2.0 * lanes::Atan(t * lanes::Exp(halfE * lanes::Log((1.0 - es) / (1.0 + es))));
        const V change = lanes::Abs(lanes::Abs(ph) - lanes::Abs(next));
        phi = lanes::Select(active, next, phi);
        const auto finite = lanes::IsFinite(next);
        ok = ok & (finite | (active == 0));
        active = active & finite & (change > 0.00001);
    }
    return phi;
}

struct TLambertConic {
    static constexpr bool VisibleInsideOnly = false;
    static constexpr double LimitKm = 10000.0;
    const TMapping& m;
    double limitSin, limitCos;

    explicit TLambertConic(const TMapping& map) : m(map) { m.DistanceSinCos(limitSin, limitCos); }

    // Lambert conformal conic for one point or lanes: rho = aF t^n,
    // theta = n dlon, x = rho sin theta, y = rho0 - rho cos theta (y
    // mirrored for a southern map); computed (a mask for lanes) within the
    // distance limit.
    template <typename V, typename M>
    auto Lanes(V lon, V lat, V& FX, V& FY, M& far, M&) const
    {
        const V dlon = WrapT(lon - static_cast<double>(m.CentreLongitude), far);
        V phi = lat * DegToRad, dl = dlon * DegToRad;
        lanes::MarkFar(far, phi);
        lanes::MarkFar(far, dl);
        phi = lanes::ZeroFar(far, phi);
        dl = lanes::ZeroFar(far, dl);
        V sinPhi, cosPhi, sinDl, cosDl;
        lanes::SinCosPair(phi, dl, sinPhi, cosPhi, sinDl, cosDl);
        // The limit as GreatCircleDistance measures it from CentreLatitude.
        const V cosc = CentralCosine(limitSin, limitCos, sinPhi, cosPhi, cosDl);
        const auto computed = lanes::IsFinite(cosc) & (BeyondLimit(cosc, V{} + LimitCosine(LimitKm)) == 0);
        if constexpr (std::is_same_v<V, double>) {
            if (!computed)
                return computed;
        }
        const V sinP = m.Southern ? -sinPhi : sinPhi;
        const V rho = m.AF * LambertTn(m.E, m.HalfE, m.N, sinP, cosPhi, far);
        V sinTheta, cosTheta;
        lanes::SinCos(lanes::ZeroFar(far, m.NRad * dlon), sinTheta, cosTheta);
        const V x = rho * sinTheta;
        V y = m.Rho0 - rho * cosTheta;
        if (m.Southern)
            y = -y;
        WidthUnitsToPixelT<V>(m.Width, m.CentreRow, x, y, FX, FY);
        return computed;
    }

    TResult Forward(double lon, double lat, double& FX, double& FY) const
    {
        bool far = false, hidden = false;
        double fx, fy;
        if (!Lanes(lon, lat, fx, fy, far, hidden))
            return TMapping::prNotComputed;
        FX = fx;
        FY = fy;
        return TMapping::prComputed;
    }

    // Inverse for one point or lanes (the pixel without offsets): theta =
    // atan(x / (rho0 - y)), t = (rho / aF)^(1/n) as exp(ln(rho / aF) / n),
    // and the latitude by LambertLatitude. A lane whose rho / aF is not
    // above 0 is marked far (the per-point code raises it with pow).
    template <typename V, typename M>
    auto InverseLanes(V px, V py, V& lon, V& lat, M& far) const
    {
        V x, y;
        PixelToWidthUnitsT<V>(m.RecipWidth, m.CentreRow, px, py, x, y);
        if (m.Southern)
            y = -y;
        const V den = m.Rho0 - y;
        auto ok = den != 0.0; // else a division by zero
        const V base = lanes::Sqrt(x * x + den * den) * m.RecipAF;
        const double recipN = m.RecipN;
        V t = lanes::Exp(recipN * lanes::Log(base));
        if constexpr (std::is_same_v<V, double>) {
            if (!ok)
                return ok;
            if (!(base > 0))
                t = std::pow(base, recipN);
        } else {
            far = far | ((base > 0.0) == 0);
        }
        if (recipN == 0)
            t = One<V>();
        ok = ok & lanes::IsFinite(t);
        V theta, atanT;
        lanes::Atan2Pair(x / den, One<V>(), t, One<V>(), theta, atanT);
        lon = theta * m.RecipNRad + m.CentreLongitude;
        const V phi = LambertLatitude(m.E, m.HalfE, t, atanT, ok);
        lat = phi * RadToDeg;
        if (m.Southern)
            lat = -lat;
        return decltype(ok)(ok & lanes::IsFinite(lat) & lanes::IsFinite(lon));
    }

    bool Inverse(double px, double py, double& lon, double& lat) const
    {
        bool far = false;
        return InverseLanes(px, py, lon, lat, far);
    }
};

} // namespace projection
