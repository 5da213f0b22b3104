// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapping/Mapping.h"

#include <stdexcept>
#include <type_traits>

#include "mapping/ProjectionFamilies.h"
#include "mapping/ProjectionKinds.h"
#include "mapping/SimdKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <emmintrin.h>
#include <limits>

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

bool RoundToInt32(double Value, int32_t& Result)
{
    if (!(Value >= -2147483648.5 && Value < 2147483647.5))
        return false; // also catches NaN
    // The conversion rounds in the default rounding mode, to nearest with
    // halves to even, and every value in the range above fits.
    Result = _mm_cvtsd_si32(_mm_set_sd(Value));
    return true;
}

bool GreatCircleDistance(float& Distance, float Longitude1, float Latitude1, float Longitude2,
                         float Latitude2)
{
    double p1 = Latitude1 * DegToRad, p2 = Latitude2 * DegToRad;
    double dl = (static_cast<double>(Longitude1) - Longitude2) * DegToRad;
    double c = std::sin(p1) * std::sin(p2) + std::cos(p1) * std::cos(p2) * std::cos(dl);
    if (!Finite(c))
        return false;
    // The cosine can round just past 1 at (or beside) the other point; it is
    // clamped so that such a point lies at distance 0 instead of failing.
    c = std::clamp(c, -1.0, 1.0);
    Distance = static_cast<float>(std::acos(c) * EarthRadiusKm);
    return true;
}

double MercatorYD(double Latitude) { return MercatorYT(Latitude); }

double InverseMercatorYD(double M) { return InverseMercatorFromExp(M, InverseMercatorExp(M)); }

float MercatorY(float Latitude)
{
    double r = MercatorYD(Latitude);
    float f = static_cast<float>(r);
    return std::isfinite(f) ? f : Latitude;
}

float InverseMercatorY(float M)
{
    if (std::isnan(M))
        return M;
    double r = InverseMercatorYD(M);
    float f = static_cast<float>(r);
    return std::isfinite(f) ? f : M;
}

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

namespace {
int32_t OffsetToInt(float v)
{
    // The offsets hold whole numbers set from 32-bit integers; the largest
    // ones round up past the 32-bit range as singles and are saturated back.
    if (std::isnan(v))
        return 0;
    if (v >= 2147483647.0f)
        return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0f)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(std::lrint(v));
}

// X + offset without overflow: the sum saturates at the 32-bit range.
int32_t AddSaturated(int32_t a, int64_t b)
{
    int64_t s = static_cast<int64_t>(a) + b;
    return static_cast<int32_t>(std::clamp<int64_t>(s, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}
} // namespace

int32_t TMapping::GetOffsetX() const { return OffsetToInt(OffsetX); }
int32_t TMapping::GetOffsetY() const { return OffsetToInt(OffsetY); }

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

// ---------------------------------------------------------------------------
// Zoom sectors (Van der Grinten)

void TMapping::MapToSector(float& x, float& y) const
{
    if (Width == 0)
        return; // the sector geometry needs Height / Width
    double dx = x, dy = y;
    MapToSectorUnits(*this, dx, dy);
    x = static_cast<float>(dx);
    y = static_cast<float>(dy);
}

void TMapping::SectorToMap(float& x, float& y) const
{
    double dx = x, dy = y;
    SectorToMapUnits(*this, dx, dy);
    x = static_cast<float>(dx);
    y = static_cast<float>(dy);
}

// ---------------------------------------------------------------------------
// Transforms. Each kind's family object holds what its formulas need from
// the map; the per-point operations build it for their one point, the array
// operations once for the whole array, and both run the same code per point.

namespace {

struct TNoProjection {
    static constexpr bool VisibleInsideOnly = false;
    explicit TNoProjection(const TMapping&) {}
    TResult Forward(double, double, double&, double&) const { return TMapping::prNotComputed; }
    bool Inverse(double, double, double&, double&) const { return false; }
};

// Calls f with the family object of the map's kind.
template <typename F>
decltype(auto) WithFamily(const TMapping& m, F&& f)
{
    switch (m.Projection) {
    case pkCylindricalFull: return f(TCylindricalFull(m));
    case pkCylindricalZoomed:
    case pkLinearBased: return f(TCylindricalZoomed(m));
    case pkMercatorFull: return f(TMercatorFull(m));
    case pkMercatorZoomed: return f(TMercatorZoomed(m));
    case pkAzimuthalEquidistant:
    case pkAzimuthalEquidistantWide: return f(TAzimuthal<pkAzimuthalEquidistant>(m));
    case pkOrthographic: return f(TAzimuthal<pkOrthographic>(m));
    case pkLinearisedOrthographic: return f(TAzimuthal<pkLinearisedOrthographic>(m));
    case pkGnomonic: return f(TAzimuthal<pkGnomonic>(m));
    case pkPolarStereographic: return f(TPolarStereographic(m));
    case pkLambertConformalConic: return f(TLambertConic(m));
    case pkVanDerGrinten: return f(TVanDerGrinten(m));
    case pkGreatCircle: return f(TGreatCircle(m));
    default: return f(TNoProjection(m)); // 0 and unknown kinds: nothing is visible
    }
}

template <typename Family>
inline TResult ProjectWith(const Family& k, float Longitude, float Latitude, double& FX, double& FY)
{
    const double lon = Longitude, lat = Latitude;
    if (!Finite(lon) || !Finite(lat))
        return TMapping::prNotComputed;
    return k.Forward(lon, lat, FX, FY);
}

// The end of GeoToPixel: the unrounded pixel rounded, checked and moved by
// the map's offsets (whole numbers).
template <typename Family>
inline bool FinishPixel(const TMapping& m, TResult r, double fx, double fy, int32_t& X, int32_t& Y, int32_t offsetX,
                        int32_t offsetY)
{
    bool result = false;
    if (r != TMapping::prNotComputed) {
        // X first, then Y: a failure part-way leaves X with its new value.
        int32_t rx, ry;
        if (RoundToInt32(fx, rx)) {
            X = rx;
            if (RoundToInt32(fy, ry)) {
                Y = ry;
                if (r == TMapping::prComputed) {
                    result = true;
                    if constexpr (Family::VisibleInsideOnly)
                        result = X >= 0 && X < m.Width && Y >= 0 && Y < m.Height;
                }
            }
        }
    }
    // The offsets apply whatever happened above, also to values passed in.
    X = AddSaturated(X, offsetX);
    Y = AddSaturated(Y, -static_cast<int64_t>(offsetY));
    return result;
}

// GeoToPixel of one point.
template <typename Family>
inline bool PixelWith(const TMapping& m, const Family& k, float Longitude, float Latitude, int32_t& X, int32_t& Y,
                      int32_t offsetX, int32_t offsetY)
{
    double fx = 0, fy = 0;
    const TResult r = ProjectWith(k, Longitude, Latitude, fx, fy);
    return FinishPixel<Family>(m, r, fx, fy, X, Y, offsetX, offsetY);
}

// What the vector kernels need from the map.
void FillSimdConsts(const TMapping& m, TSimdForwardConsts& c)
{
    c = TSimdForwardConsts{};
    c.Width = m.Width;
    c.Height = m.Height;
    c.CentreRow = m.CentreRow;
    c.CentreLongitude = m.CentreLongitude;
    c.CentreLatitude = m.CentreLatitude;
    c.RecipWidth = m.RecipWidth;
    c.RecipHeight = m.RecipHeight;
    if (m.Projection == pkCylindricalFull || m.Projection == pkMercatorFull) { // the whole globe
        c.LongitudeSpan = 360;
        c.WestEdge = -180;
        c.LatitudeSpan = 180;
        c.SouthEdge = -90;
    } else {
        c.LongitudeSpan = m.LongitudeSpan;
        c.WestEdge = m.WestEdge;
        c.LatitudeSpan = m.LatitudeSpan;
        c.SouthEdge = m.SouthEdge;
    }
    c.MercatorZoomBase = m.MercatorZoomBase;
    c.MercatorZoomScale = m.MercatorZoomScale;
    c.OffsetX = m.GetOffsetX();
    c.OffsetY = m.GetOffsetY();
    c.Scale = m.Scale;
    c.Map = &m;
    const auto azimuthal = [&](const auto& k) {
        using Family = std::decay_t<decltype(k)>;
        c.SinPhi0 = k.sinPhi0;
        c.CosPhi0 = k.cosPhi0;
        c.LimitSin = k.limitSin;
        c.LimitCos = k.limitCos;
        c.LimitCosine = LimitCosine(Family::LimitKm);
        c.Rotate = m.Rotation != 0;
        c.RotCos = k.rotCos;
        c.RotSin = k.rotSin;
    };
    switch (m.Projection) {
    case pkAzimuthalEquidistant:
    case pkAzimuthalEquidistantWide: azimuthal(TAzimuthal<pkAzimuthalEquidistant>(m)); break;
    case pkOrthographic: azimuthal(TAzimuthal<pkOrthographic>(m)); break;
    case pkGnomonic: azimuthal(TAzimuthal<pkGnomonic>(m)); break;
    case pkLinearisedOrthographic: azimuthal(TAzimuthal<pkLinearisedOrthographic>(m)); break;
    default: break;
    }
}

// The vector kernel of the map's kind for each direction, if it has one.
TSimdForwardKernel SimdForwardKernel(const TMapping& m, TSimdForwardConsts& c)
{
    const TSimdKernelSet& set = SimdKernels();
    TSimdForwardKernel kernel = nullptr;
    switch (m.Projection) {
    case pkCylindricalFull: kernel = set.CylindricalFull; break;
    case pkCylindricalZoomed:
    case pkLinearBased: kernel = set.CylindricalZoomed; break;
    case pkMercatorFull: kernel = set.MercatorFull; break;
    case pkMercatorZoomed: kernel = set.MercatorZoomed; break;
    case pkAzimuthalEquidistant:
    case pkAzimuthalEquidistantWide: kernel = set.AzimuthalEquidistant; break;
    case pkOrthographic: kernel = set.Orthographic; break;
    case pkGnomonic: kernel = set.Gnomonic; break;
    case pkLinearisedOrthographic: kernel = set.LinearisedOrthographic; break;
    case pkPolarStereographic: kernel = set.PolarStereographic; break;
    case pkLambertConformalConic: kernel = set.LambertConic; break;
    case pkVanDerGrinten: kernel = m.Width != 0 ? set.VanDerGrinten : nullptr; break;
    case pkGreatCircle: kernel = set.GreatCircle; break;
    default: break;
    }
    if (kernel != nullptr)
        FillSimdConsts(m, c);
    return kernel;
}

TSimdInverseKernel SimdInverseKernel(const TMapping& m, TSimdForwardConsts& c)
{
    const TSimdKernelSet& set = SimdKernels();
    TSimdInverseKernel kernel = nullptr;
    switch (m.Projection) {
    case pkCylindricalFull:
    case pkCylindricalZoomed:
    case pkLinearBased: kernel = set.CylindricalInverse; break;
    case pkMercatorFull: kernel = set.MercatorFullInverse; break;
    case pkMercatorZoomed: kernel = set.MercatorZoomedInverse; break;
    case pkAzimuthalEquidistant:
    case pkAzimuthalEquidistantWide: kernel = set.AzimuthalEquidistantInverse; break;
    case pkOrthographic: kernel = set.OrthographicInverse; break;
    case pkGnomonic: kernel = set.GnomonicInverse; break;
    case pkPolarStereographic: kernel = set.PolarStereographicInverse; break;
    case pkLambertConformalConic: kernel = set.LambertConicInverse; break;
    case pkVanDerGrinten: kernel = set.VanDerGrintenInverse; break;
    case pkGreatCircle: kernel = set.GreatCircleInverse; break;
    default: break;
    }
    if (kernel != nullptr)
        FillSimdConsts(m, c);
    return kernel;
}

// Runs of this many statuses are tested at once: when every one is the
// kernel's plain result, the run is placed as a block.
constexpr size_t StatusBlock = 8;

// True when the StatusBlock statuses at s all equal v.
inline bool BlockAll(const uint8_t* s, uint8_t v)
{
    uint64_t w;
    std::memcpy(&w, s, sizeof w);
    static_assert(sizeof w == StatusBlock);
    return w == 0x0101010101010101ull * v;
}

// Projects Count points: through the kind's vector kernel in runs where it
// has one, Rounded(first, count, out) placing a run's points that the
// kernel computed and rounded into the 32-bit range (status SimdRounded),
// then Finish(i, result, FX, FY) for each other point in order (points the
// kernel leaves go through the per-point code); without a kernel, Finish
// for every point.
template <typename Family, typename F, typename R>
void ProjectArray(const TMapping& m, const Family& k, const float* lon, const float* lat, size_t n, F&& Finish,
                  R&& Rounded)
{
    TSimdForwardConsts c;
    const TSimdForwardKernel kernel = SimdForwardKernel(m, c);
    if (kernel == nullptr) {
        for (size_t i = 0; i < n; ++i) {
            double fx = 0, fy = 0;
            const TResult r = ProjectWith(k, lon[i], lat[i], fx, fy);
            Finish(i, r, fx, fy);
        }
        return;
    }
    constexpr size_t Run = 256;
    double fx[Run], fy[Run];
    int32_t rx[Run], ry[Run];
    uint8_t status[Run];
    const TSimdForwardOut out{fx, fy, rx, ry, status};
    for (size_t first = 0; first < n; first += Run) {
        const size_t count = std::min(Run, n - first);
        kernel(c, lon + first, lat + first, count, out);
        Rounded(first, count, out);
        for (size_t i = 0; i < count; ++i) {
            if (i % StatusBlock == 0 && count - i >= StatusBlock && BlockAll(status + i, SimdRounded)) {
                i += StatusBlock - 1;
                continue;
            }
            const uint8_t st = status[i];
            if (st != SimdRounded) {
                const TResult r = st == SimdFallback ? ProjectWith(k, lon[first + i], lat[first + i], fx[i], fy[i])
                                                     : static_cast<TResult>(st);
                Finish(first + i, r, fx[i], fy[i]);
            }
        }
    }
}

// The end of PixelToGeo: the angles stored when they are finite singles.
inline bool StoreGeo(double lon, double lat, float& Longitude, float& Latitude)
{
    if (!Finite(lon) || !Finite(lat))
        return false;
    const float fl = static_cast<float>(lon), fa = static_cast<float>(lat);
    if (!std::isfinite(fl) || !std::isfinite(fa))
        return false;
    Longitude = fl;
    Latitude = fa;
    return true;
}

// PixelToGeo of one point, with the map's offsets as whole numbers.
template <typename Family>
inline bool GeoWith(const TMapping& m, const Family& k, int32_t X, int32_t Y, float& Longitude, float& Latitude,
                    int32_t offsetX, int32_t offsetY)
{
    if (m.Height == 0 || m.Width == 0)
        return false;
    // Remove the offsets that GeoToPixel applies.
    const double px = static_cast<double>(X) - offsetX;
    const double py = static_cast<double>(Y) + offsetY;
    double lon = 0, lat = 0;
    return k.Inverse(px, py, lon, lat) && StoreGeo(lon, lat, Longitude, Latitude);
}

void CheckLengths(const char* operation, size_t n, std::initializer_list<size_t> others)
{
    for (size_t size : others)
        if (size != n)
            throw std::invalid_argument(std::string("TMapping::") + operation + ": the arrays differ in length");
}

} // namespace

void TMapping::DistanceSinCos(double& SinCentre, double& CosCentre) const
{
    if (std::memcmp(&LimitCentre_, &CentreLatitude, sizeof(float)) == 0) {
        SinCentre = LimitSinCentre_;
        CosCentre = LimitCosCentre_;
    } else { // a centre latitude written without a recalculation
        SinCentre = std::sin(CentreLatitude * DegToRad);
        CosCentre = std::cos(CentreLatitude * DegToRad);
    }
}

TMapping::TProjectResult TMapping::ProjectPoint(float Longitude, float Latitude, double& FX, double& FY) const
{
    return WithFamily(*this, [&](const auto& k) { return ProjectWith(k, Longitude, Latitude, FX, FY); });
}

// The per-point operations get every step of their kind's path inlined:
// the call overhead is a large part of one point's cost.
__attribute__((flatten)) bool TMapping::GeoToPixel(float Longitude, float Latitude, int32_t& X, int32_t& Y) const
{
    const int32_t ox = GetOffsetX(), oy = GetOffsetY();
    return WithFamily(*this, [&](const auto& k) { return PixelWith(*this, k, Longitude, Latitude, X, Y, ox, oy); });
}

__attribute__((flatten)) bool TMapping::PixelToGeo(int32_t X, int32_t Y, float& Longitude, float& Latitude) const
{
    const int32_t ox = GetOffsetX(), oy = GetOffsetY();
    return WithFamily(*this, [&](const auto& k) { return GeoWith(*this, k, X, Y, Longitude, Latitude, ox, oy); });
}

void TMapping::ProjectPoints(std::span<const float> Longitudes, std::span<const float> Latitudes,
                             std::span<double> FX, std::span<double> FY, std::span<TProjectResult> Results) const
{
    const size_t n = Longitudes.size();
    CheckLengths("ProjectPoints", n, {Latitudes.size(), FX.size(), FY.size(), Results.size()});
    WithFamily(*this, [&](const auto& k) {
        const auto finish = [&](size_t i, TResult r, double fx, double fy) {
            Results[i] = r;
            if (r != prNotComputed) {
                FX[i] = fx;
                FY[i] = fy;
            }
        };
        ProjectArray(*this, k, Longitudes.data(), Latitudes.data(), n, finish,
                     [&](size_t first, size_t count, const TSimdForwardOut& out) {
                         for (size_t i = 0; i < count; ++i)
                             if (out.Status[i] == SimdRounded)
                                 finish(first + i, prComputed, out.FX[i], out.FY[i]);
                     });
    });
}

void TMapping::GeoToPixel(std::span<const float> Longitudes, std::span<const float> Latitudes, std::span<int32_t> X,
                          std::span<int32_t> Y, std::span<uint8_t> Visible) const
{
    const size_t n = Longitudes.size();
    CheckLengths("GeoToPixel", n, {Latitudes.size(), X.size(), Y.size(), Visible.size()});
    const int32_t ox = GetOffsetX(), oy = GetOffsetY();
    WithFamily(*this, [&](const auto& k) {
        using Family = std::decay_t<decltype(k)>;
        ProjectArray(
            *this, k, Longitudes.data(), Latitudes.data(), n,
            [&](size_t i, TResult r, double fx, double fy) {
                Visible[i] = FinishPixel<Family>(*this, r, fx, fy, X[i], Y[i], ox, oy);
            },
            [&](size_t first, size_t count, const TSimdForwardOut& out) {
                // FinishPixel's path for computed points whose pixels round
                // within the range.
                int32_t* x = X.data() + first;
                int32_t* y = Y.data() + first;
                uint8_t* visible = Visible.data() + first;
                const bool plain = !Family::VisibleInsideOnly && ox == 0 && oy == 0;
                for (size_t i = 0; i < count; ++i) {
                    if (plain && i % StatusBlock == 0 && count - i >= StatusBlock &&
                        BlockAll(out.Status + i, SimdRounded)) {
                        std::memcpy(x + i, out.RX + i, StatusBlock * sizeof *x);
                        std::memcpy(y + i, out.RY + i, StatusBlock * sizeof *y);
                        std::memset(visible + i, 1, StatusBlock);
                        i += StatusBlock - 1;
                        continue;
                    }
                    if (out.Status[i] != SimdRounded)
                        continue;
                    const int32_t rx = out.RX[i], ry = out.RY[i];
                    bool v = true;
                    if constexpr (Family::VisibleInsideOnly)
                        v = rx >= 0 && rx < Width && ry >= 0 && ry < Height;
                    visible[i] = v;
                    x[i] = AddSaturated(rx, ox);
                    y[i] = AddSaturated(ry, -static_cast<int64_t>(oy));
                }
            });
    });
}

void TMapping::PixelToGeo(std::span<const int32_t> X, std::span<const int32_t> Y, std::span<float> Longitudes,
                          std::span<float> Latitudes, std::span<uint8_t> Converted) const
{
    const size_t n = X.size();
    CheckLengths("PixelToGeo", n, {Y.size(), Longitudes.size(), Latitudes.size(), Converted.size()});
    const int32_t ox = GetOffsetX(), oy = GetOffsetY();
    TSimdForwardConsts c;
    const TSimdInverseKernel kernel = SimdInverseKernel(*this, c);
    WithFamily(*this, [&](const auto& k) {
        if (kernel == nullptr || Height == 0 || Width == 0) {
            for (size_t i = 0; i < n; ++i)
                Converted[i] = GeoWith(*this, k, X[i], Y[i], Longitudes[i], Latitudes[i], ox, oy);
            return;
        }
        constexpr size_t Run = 256;
        float lon[Run], lat[Run];
        uint8_t status[Run];
        const TSimdInverseOut out{lon, lat, status};
        for (size_t first = 0; first < n; first += Run) {
            const size_t count = std::min(Run, n - first);
            kernel(c, X.data() + first, Y.data() + first, count, out);
            float* outLons = Longitudes.data() + first;
            float* outLats = Latitudes.data() + first;
            uint8_t* converted = Converted.data() + first;
            for (size_t i = 0; i < count; ++i) {
                if (i % StatusBlock == 0 && count - i >= StatusBlock && BlockAll(status + i, SimdConverted)) {
                    std::memcpy(outLons + i, lon + i, StatusBlock * sizeof *lon);
                    std::memcpy(outLats + i, lat + i, StatusBlock * sizeof *lat);
                    std::memset(converted + i, 1, StatusBlock);
                    i += StatusBlock - 1;
                    continue;
                }
                const size_t j = first + i;
                float& outLon = Longitudes[j];
                float& outLat = Latitudes[j];
                switch (status[i]) {
                case SimdConverted:
                    outLon = lon[i];
                    outLat = lat[i];
                    Converted[j] = true;
                    break;
                case 2: Converted[j] = StoreGeo(CentreLongitude, CentreLatitude, outLon, outLat); break;
                case SimdFallback: Converted[j] = GeoWith(*this, k, X[j], Y[j], outLon, outLat, ox, oy); break;
                default: Converted[j] = false; break;
                }
            }
        }
    });
}
