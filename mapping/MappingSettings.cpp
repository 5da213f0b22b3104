// SPDX-License-Identifier: GPL-3.0-or-later
// The map's settings: the setters, CopyFrom and Recalculate, which works
// out every derived constant. The transforms are in MappingTransforms.cpp.
#include "mapping/Mapping.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "mapping/ProjectionKinds.h"
#include "mapping/ProjectionMath.h"

const std::array<std::string_view, 15> ProjectionNames = {
    "Unknown",
    "Cylindrical equidistant (full)",
    "Cylindrical equidistant (zoomed)",
    "Azimuthal equidistant",
    "Azimuthal equidistant (wide)",
    "Mercator (full)",
    "Mercator (zoomed)",
    "Orthographic",
    "Linearised Orthographic",
    "Polar Stereographic",
    "Lambert Conformal Conic",
    "Gnomonic",
    "Van der Van der Grinten",
    "Great Circle",
    "Linear-based",
};

namespace {

using namespace projection;

// Eccentricity squared of the ellipsoid the Lambert kind uses, as a single.
constexpr float LambertE2 = 0.006694318f;

// A double stored into a single-precision field: a value that overflows the
// single range counts as a failure, like any other non-finite result.
inline bool StoreSingle(float& field, double v)
{
    float f = static_cast<float>(v);
    if (!std::isfinite(f))
        return false;
    field = f;
    return true;
}

// Lambert t(p): tan(pi/4 - p/2) / ((1 - e sin p) / (1 + e sin p)) ^ (e/2).
inline double LambertT(double p, double e, double halfE)
{
    double es = e * std::sin(p);
    return std::tan(Pi / 4 - p / 2) / std::pow((1 - es) / (1 + es), halfE);
}

inline double LambertM(double p, double e2)
{
    double s = std::sin(p);
    return std::cos(p) / std::sqrt(1 - e2 * s * s);
}

} // namespace

// ---------------------------------------------------------------------------
// Settings

void TMapping::SetProjection(uint8_t Kind)
{
    Projection = Kind;
    // Kinds without a default scale keep the current one.
    if (const float scale = KindTraits(Kind).DefaultScale; scale != 0)
        Scale = scale;
    Recalculate();
}

int32_t TMapping::GetClipHeight() const { return std::max(GetHeight(), GetWidth()); }

void TMapping::SetHeight(int32_t Value)
{
    Height = Value;
    if (Value != 0)
        RecipHeight = 1.0f / static_cast<float>(Value);
    Recalculate();
}

void TMapping::SetWidth(int32_t Value)
{
    Width = Value;
    if (Value != 0)
        RecipWidth = 1.0f / static_cast<float>(Value);
    Recalculate();
}

void TMapping::SetLatitudeSpan(float Value)
{
    LatitudeSpan = Value;
    Recalculate();
}

void TMapping::SetLongitudeSpan(float Value)
{
    LongitudeSpan = Value;
    Recalculate();
}

void TMapping::SetCentreLongitude(float Value)
{
    CentreLongitude = Value;
    Recalculate();
}

void TMapping::SetCentreLatitude(float Value)
{
    // The polar and conic kinds cannot be centred exactly on the equator;
    // 0 itself becomes -0.001 and makes the map southern.
    if ((Projection == pkPolarStereographic || Projection == pkLambertConformalConic) && std::fabs(Value) < 0.001f)
        Value = Value > 0 ? 0.001f : -0.001f;
    CentreLatitude = Value;
    // The centre latitude also resets both standard parallels: parallels that
    // differ from it are set after it.
    StandardParallel1 = Value;
    StandardParallel2 = Value;
    Southern = Value < 0;
    double r = Value * DegToRad;
    SinCentreLatitude = static_cast<float>(std::sin(r));
    CosCentreLatitude = static_cast<float>(std::cos(r));
    Recalculate();
}

void TMapping::SetStandardParallel1(float Value)
{
    StandardParallel1 = Value;
    Recalculate();
}

void TMapping::SetStandardParallel2(float Value)
{
    StandardParallel2 = Value;
    Recalculate();
}

void TMapping::CopyFrom(const TMapping* Source)
{
    // Copying a map onto itself would lose its parallels (the centre-latitude
    // setter overwrites them before they are copied) and its OffsetX (every
    // setter resets it before it is read back): it is a no-op instead, as is
    // copying from nothing.
    if (Source == nullptr || Source == this)
        return;
    SetProjection(Source->Projection);
    SetHeight(Source->GetHeight());
    SetWidth(Source->GetWidth());
    Sector = Source->Sector;
    Rotation = Source->Rotation;
    SetLongitudeSpan(Source->LongitudeSpan);
    SetLatitudeSpan(Source->LatitudeSpan);
    SetCentreLongitude(Source->CentreLongitude);
    SetCentreLatitude(Source->CentreLatitude);
    SetStandardParallel1(Source->StandardParallel1);
    SetStandardParallel2(Source->StandardParallel2);
    SetOffsetX(Source->GetOffsetX());
    SetOffsetY(Source->GetOffsetY());
}

bool TMapping::IsTrueProjection() const { return KindTraits(Projection).IsTrue; }

// ---------------------------------------------------------------------------
// Recalculate

void TMapping::RecalculateLambert()
{
    // One guarded block: the first failure ends it, leaving the constants
    // written so far with their new values and the rest with their old ones.
    //
    // The two standard parallels enter as their colatitudes (90 minus the
    // parallel) while the centre latitude enters as itself. The stored images
    // and the predefined maps were made with these constants (predefined map 1
    // puts longitude 140, latitude 35 at pixel 870, 311 only so): keep it.
    const double e2 = LambertE2;
    double e = std::sqrt(e2);
    if (!StoreSingle(E, e))
        return;
    if (!StoreSingle(HalfE, e / 2))
        return;
    e = E;
    const double halfE = HalfE;
    const double phi1 = (90.0 - StandardParallel1) * DegToRad;
    const double phi2 = (90.0 - StandardParallel2) * DegToRad;
    const double phi0 = std::fabs(static_cast<double>(CentreLatitude)) * DegToRad;
    const double t1 = LambertT(phi1, e, halfE), m1 = LambertM(phi1, e2);
    const double t2 = LambertT(phi2, e, halfE), m2 = LambertM(phi2, e2);
    const double t0 = LambertT(phi0, e, halfE);
    if (!Finite(t1) || !Finite(m1) || !Finite(t2) || !Finite(m2) || !Finite(t0))
        return;
    double n;
    if (phi1 == phi2 || std::fabs(StandardParallel1) <= 0.1f || std::fabs(StandardParallel2) <= 0.1f) {
        n = std::sin(phi1);
    } else {
        if (!(m1 > 0) || !(m2 > 0) || !(t1 > 0) || !(t2 > 0))
            return; // logarithm of a non-positive value
        double den = std::log(t1) - std::log(t2);
        if (den == 0)
            return;
        n = (std::log(m1) - std::log(m2)) / den;
    }
    if (!StoreSingle(N, n))
        return;
    n = N;
    if (n == 0 || !StoreSingle(RecipN, 1.0 / n))
        return;
    double tn1 = std::pow(t1, n);
    double fDen = n * tn1;
    if (!Finite(tn1) || fDen == 0)
        return;
    double F = m1 / fDen;
    if (!Finite(F) || !StoreSingle(AF, 1.095 * F))
        return;
    if (AF == 0 || !StoreSingle(RecipAF, 1.0 / static_cast<double>(AF)))
        return;
    double tn0 = std::pow(t0, n);
    if (!Finite(tn0) || !StoreSingle(Rho0, static_cast<double>(AF) * tn0))
        return;
    if (!StoreSingle(NRad, n * Pi / 180))
        return;
    if (NRad == 0)
        return;
    StoreSingle(RecipNRad, 1.0 / static_cast<double>(NRad));
}

void TMapping::Recalculate()
{
    LimitCentre_ = CentreLatitude;
    LimitSinCentre_ = std::sin(CentreLatitude * DegToRad);
    LimitCosCentre_ = std::cos(CentreLatitude * DegToRad);

    // 1. Spans beyond the poles are cut, except by the great-circle kind.
    if (Projection != pkGreatCircle && LatitudeSpan > 180)
        LatitudeSpan = 180;

    // 2. Lambert constants, for every kind.
    RecalculateLambert();

    // 3. Edges, centre row; OffsetX goes back to 0, OffsetY stays.
    WestEdge = static_cast<float>(static_cast<double>(CentreLongitude) - LongitudeSpan / 2.0);
    SouthEdge = static_cast<float>(static_cast<double>(CentreLatitude) - LatitudeSpan / 2.0);
    CentreRow = Height / 2;
    OffsetX = 0;

    // 4. Per kind. A failed step leaves the value as it was unless a fallback
    // is given.
    const double bottom = static_cast<double>(CentreLatitude) - LatitudeSpan / 2.0;
    const double top = static_cast<double>(CentreLatitude) + LatitudeSpan / 2.0;
    const double phiB = bottom * DegToRad, phiT = top * DegToRad;
    const double heightRatio = static_cast<double>(Height) * RecipWidth;
    switch (Projection) {
    case pkAzimuthalEquidistantWide:
    case pkOrthographic:
    case pkLinearisedOrthographic:
    case pkGnomonic:
        if (LatitudeSpan == 0 || Width == 0 || Height == 0) {
            Scale = KindTraits(Projection).DefaultScale;
        } else {
            // Scale so that the orthographic image of the span fills the height.
            double yB = std::sin(phiB) * CosCentreLatitude - std::cos(phiB) * SinCentreLatitude;
            double yT = std::sin(phiT) * CosCentreLatitude - std::cos(phiT) * SinCentreLatitude;
            double d = std::fabs(yB - yT);
            if (d != 0)
                StoreSingle(Scale, (1.0 / d) * heightRatio);
        }
        break;
    case pkMercatorZoomed: {
        double mB = MercatorYD(bottom), mT = MercatorYD(top);
        double zs = (mT - mB) / (top - bottom);
        if (!(top - bottom != 0) || !StoreSingle(MercatorZoomScale, zs))
            MercatorZoomScale = 1.0f;
        StoreSingle(MercatorZoomBase,
                    MercatorYD(CentreLatitude) - 0.5 * MercatorZoomScale * LatitudeSpan);
        break;
    }
    case pkPolarStereographic: {
        if (LatitudeSpan == 0) {
            Scale = KindTraits(pkPolarStereographic).DefaultScale;
            StoreSingle(PolarOffset,
                        static_cast<double>(CosCentreLatitude) * CosCentreLatitude * Scale);
        } else {
            double tB, tT;
            if (Southern) {
                tB = std::tan((Pi / 2 + phiB) / 2);
                tT = std::tan((Pi / 2 + phiT) / 2);
            } else {
                tB = std::tan((Pi / 2 - phiB) / 2);
                tT = std::tan((Pi / 2 - phiT) / 2);
            }
            double d = std::fabs(tT - tB);
            if (d != 0)
                StoreSingle(Scale, 1.0 / d);
            if (!StoreSingle(PolarOffset, (tT + tB) * Scale / 2))
                PolarOffset = 0;
        }
        if (Scale == 0 || !StoreSingle(RecipScale, 1.0 / static_cast<double>(Scale)))
            RecipScale = 0;
        break;
    }
    case pkVanDerGrinten:
        Scale = 0.155f;
        if (StoreSingle(PiScale, Pi * Scale) && PiScale != 0)
            StoreSingle(RecipPiScale, 1.0 / static_cast<double>(PiScale));
        break;
    case pkGreatCircle:
        if (LatitudeSpan == 0 || Width == 0 || Height == 0) {
            double s = Height > Width ? 1.0 / (2 * Pi) : heightRatio / (2 * Pi);
            if (!StoreSingle(Scale, s))
                Scale = 1.0f;
        } else {
            double d = std::fabs(phiB - phiT);
            if (d != 0)
                StoreSingle(Scale, heightRatio / d);
        }
        break;
    default:
        break; // 0, 1, 2, 3, 5, 10, 14: nothing more
    }
}
