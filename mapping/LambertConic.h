// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Kind 10, Lambert conformal conic on the ellipsoid (Snyder's ellipsoidal
// formulas with the cone constant n, aF and rho0 of Recalculate), mirrored
// for a southern centre.
#include <type_traits>

#include "mapping/ProjectionKinds.h"
#include "mapping/ProjectionMath.h"

namespace projection {

// A polynomial c0 + c1 z + ... + c7 z^7 by Estrin's scheme (a short chain
// of dependent operations).
template <typename V>
static inline V Polynomial7(V z, double c0, double c1, double c2, double c3, double c4, double c5, double c6,
                            double c7)
{
    const V z2 = z * z, z4 = z2 * z2;
    return ((c0 + c1 * z) + z2 * (c2 + c3 * z)) + z4 * ((c4 + c5 * z) + z2 * (c6 + c7 * z));
}

// halfE ln((1 - es) / (1 + es)) for one point or lanes. For the Earth's
// eccentricity (e up to 0.1) as -2 halfE atanh(es), atanh by its series
// es + es^3/3 + ... + es^15/15 (the next term is below 1e-16 of the first);
// else through SLEEF's logarithm.
template <typename V>
static inline V EllipsoidLogTerm(double e, double halfE, V es)
{
    if (!(std::fabs(e) <= 0.1))
        return halfE * lanes::Log((1.0 - es) / (1.0 + es));
    const V series = Polynomial7(es * es, 1.0, 1.0 / 3, 1.0 / 5, 1.0 / 7, 1.0 / 9, 1.0 / 11, 1.0 / 13, 1.0 / 15);
    return -2.0 * halfE * (es * series);
}

// ((1 - es) / (1 + es))^halfE = exp(EllipsoidLogTerm): for e up to 0.1 the
// exponent lies within 0.011 of 0 and exp is its series up to u^7/7!.
template <typename V>
static inline V EllipsoidPower(double e, double halfE, V es)
{
    const V u = EllipsoidLogTerm(e, halfE, es);
    if (!(std::fabs(e) <= 0.1))
        return lanes::Exp(u);
    return Polynomial7(u, 1.0, 1.0, 1.0 / 2, 1.0 / 6, 1.0 / 24, 1.0 / 120, 1.0 / 720, 1.0 / 5040);
}

// Lambert t^n for one point or lanes from the sine and cosine of p (the
// latitude, mirrored for a southern map): t = tan(pi/4 - p/2) / ((1 - e sin
// p) / (1 + e sin p))^(e/2) with tan(pi/4 - p/2) = cos p / (1 + sin p),
// raised to n as exp(n (ln tan - e/2 ln ratio)); 0 where the tangent is
// below 0.00001. A negative tangent (a latitude beyond a pole) is raised
// with pow by the per-point code: such lanes are marked far. In two steps,
// each ending in its SLEEF call: LambertLogTangent gives the tangent and
// its logarithm, LambertTn the rest.
template <typename V>
static inline void LambertLogTangent(V sinP, V cosP, V& tn, V& logTn)
{
    tn = cosP / (1.0 + sinP);
    logTn = lanes::Log(tn);
}
template <typename V, typename M>
static inline V LambertTn(double e, double halfE, double n, V sinP, V tn, V logTn, M& far)
{
    const V es = e * sinP;
    V T = lanes::Exp(n * (logTn - EllipsoidLogTerm(e, halfE, es)));
    if constexpr (std::is_same_v<V, double>) {
        if (!(tn > 0))
            T = std::pow(tn / std::pow((1 - es) / (1 + es), halfE), n);
    } else {
        far = far | ((tn > 0.0) == 0);
    }
    if (n == 0)
        T = One<V>(); // t^0, whatever t is
    return lanes::Select(lanes::Abs(tn) >= 0.00001, T, V{});
}

// The conformal latitude's inverse for one point or lanes: phi = pi/2 -
// 2 atan X with X = t ((1 - e sin phi) / (1 + e sin phi))^(e/2), by
// fixed-point iteration from X = t, each lane until phi changes in
// magnitude by at most 0.00001 (100 rounds at most); a lane fails (ok
// cleared) when X is not a number. The rounds need no arc tangent:
// sin phi = cos 2 atan X = (1 - X^2) / (1 + X^2) (-1 beyond X = 1e100,
// where that is what it rounds to), and with phi and the next phi' on the
// same side of the equator (X and X' both at most or both at least 1),
// |phi - phi'| = 2 atan(|X' - X| / (1 + X X')), else |phi + phi'| =
// 2 atan(|1 - X X'| / (X + X')): the change exceeds 0.00001 exactly when
// that quotient exceeds tan 0.000005. Returns the last X.
template <typename V, typename M>
static inline V LambertConformalX(double e, double halfE, V t, M& ok)
{
    constexpr double TanHalfTolerance = 5.000000000041667e-06; // tan(0.00001 / 2)
    V X = t;
    M active = ok;
    for (int i = 0; i < 100 && lanes::Any(active); ++i) {
        const V X2 = X * X;
        const V sinPhi = lanes::Select(X > 1e100, V{} - 1.0, (1.0 - X2) / (1.0 + X2));
        const V next = t * EllipsoidPower(e, halfE, e * sinPhi);
        const V product = X * next;
        const auto sameSide = (X <= 1.0) == (next <= 1.0);
        const V quotient = lanes::Select(sameSide, lanes::Abs(next - X) / (1.0 + product),
                                         lanes::Abs(1.0 - product) / (X + next));
        X = lanes::Select(active, next, X);
        const auto number = next == next;
        ok = ok & (number | (active == 0));
        active = active & number & (quotient > TanHalfTolerance);
    }
    return X;
}

struct TLambertConic {
    static constexpr double LimitKm = KindTraits(pkLambertConformalConic).DistanceLimitKm;
    const TMapping& m;
    double limitSin, limitCos;

    explicit TLambertConic(const TMapping& map) : m(map) { m.DistanceSinCos(limitSin, limitCos); }

    // Lambert conformal conic for one point or lanes: rho = aF t^n,
    // theta = n dlon, x = rho sin theta, y = rho0 - rho cos theta (y
    // mirrored for a southern map); computed (a mask for lanes) within the
    // distance limit. In four steps for the kernels' passes, each ending in
    // a SLEEF call: the sines and cosines, the tangent's logarithm, t^n, and
    // the sine and cosine of theta with the rest.
    template <typename V, typename M>
    struct TForwardState : TForwardIO<V, M> {
        V dlon, sinP, cosPhi, cosDl, tn, logTn, rho; // between the steps
    };
    static constexpr int ForwardSteps = 4;

    template <int Step, typename V, typename M>
    void ForwardStep(TForwardState<V, M>& s) const
    {
        constexpr bool one = std::is_same_v<V, double>;
        if constexpr (Step == 0) {
            s.dlon = WrapT(s.lon - static_cast<double>(m.CentreLongitude), s.far);
            V phi = s.lat * DegToRad, dl = s.dlon * DegToRad;
            lanes::KeepNear(s.far, phi, dl);
            V sinPhi, sinDl;
            lanes::SinCosPair(phi, dl, sinPhi, s.cosPhi, sinDl, s.cosDl);
            s.sinP = m.Southern ? -sinPhi : sinPhi;
        } else if constexpr (Step == 1) {
            // The limit as GreatCircleDistance measures it from CentreLatitude.
            const V sinPhi = m.Southern ? -s.sinP : s.sinP;
            const V cosc = CentralCosine(limitSin, limitCos, sinPhi, s.cosPhi, s.cosDl);
            s.computed = lanes::IsFinite(cosc) & (BeyondLimit(cosc, V{} + LimitCosine(LimitKm)) == 0);
            if constexpr (one) {
                if (!s.computed) {
                    s.done = true; // the later steps pass over it
                    return;
                }
            }
            LambertLogTangent(s.sinP, s.cosPhi, s.tn, s.logTn);
        } else if constexpr (Step == 2) {
            s.rho = m.AF * LambertTn(m.E, m.HalfE, m.N, s.sinP, s.tn, s.logTn, s.far);
        } else {
            static_assert(Step == 3);
            V sinTheta, cosTheta;
            lanes::SinCos(lanes::ZeroFar(s.far, m.NRad * s.dlon), sinTheta, cosTheta);
            const V x = s.rho * sinTheta;
            V y = m.Rho0 - s.rho * cosTheta;
            if (m.Southern)
                y = -y;
            WidthUnitsToPixelT<V>(m.Width, m.CentreRow, x, y, s.FX, s.FY);
        }
    }

    // Inverse in one step: theta = atan(x / (rho0 - y)), t = (rho /
    // aF)^(1/n) as exp(ln(rho / aF) / n), and the latitude by
    // LambertConformalX. A lane whose rho / aF is not above 0 is marked far
    // (the per-point code raises it with pow).
    template <typename V, typename M>
    using TInverseState = TInverseIO<V, M>;
    static constexpr int InverseSteps = 1;

    template <int Step, typename V, typename M>
    void InverseStep(TInverseState<V, M>& s) const
    {
        M& far = s.far;
        V& lon = s.lon;
        V& lat = s.lat;
        V x, y;
        PixelToWidthUnitsT<V>(m.RecipWidth, m.CentreRow, s.px, s.py, x, y);
        if (m.Southern)
            y = -y;
        const V den = m.Rho0 - y;
        auto ok = den != 0.0; // else a division by zero
        const V base = lanes::Sqrt(x * x + den * den) * m.RecipAF;
        const double recipN = m.RecipN;
        V t = lanes::Exp(recipN * lanes::Log(base));
        if constexpr (std::is_same_v<V, double>) {
            if (!ok) {
                s.converted = false;
                return;
            }
            if (!(base > 0))
                t = std::pow(base, recipN);
        } else {
            far = far | ((base > 0.0) == 0);
        }
        if (recipN == 0)
            t = One<V>();
        ok = ok & lanes::IsFinite(t);
        const V X = LambertConformalX(m.E, m.HalfE, t, ok);
        // theta = atan(x / den) and phi = pi/2 - 2 atan X in one call.
        V theta, atanX;
        lanes::Atan2Pair(x / den, One<V>(), X, One<V>(), theta, atanX);
        lon = theta * m.RecipNRad + m.CentreLongitude;
        const V phi = Pi / 2 - 2.0 * atanX;
        lat = phi * RadToDeg;
        if (m.Southern)
            lat = -lat;
        s.converted = ok & lanes::IsFinite(lat) & lanes::IsFinite(lon);
    }
};

} // namespace projection
