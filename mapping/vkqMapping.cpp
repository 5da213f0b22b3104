#include "mapping/vkqMapping.h"

#include <algorithm>
#include <cmath>
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

constexpr double Pi = 3.14159265358979323846;
constexpr double DegToRad = Pi / 180.0;
constexpr double RadToDeg = 180.0 / Pi;
constexpr double EarthRadiusKm = 6378.135;
// Eccentricity squared of the ellipsoid the Lambert kind uses, as a single.
constexpr float LambertE2 = 0.006694318f;

inline bool Finite(double v) { return std::isfinite(v); }

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

// Brings a longitude into -180..180: below -180 add 360, above 180 subtract
// 360. Values far outside are first reduced exactly with fmod so that the
// loops stay short for any finite input (1e30 would otherwise never finish).
inline double Wrap(double v)
{
    if (std::fabs(v) > 720.0)
        v = std::fmod(v, 360.0);
    while (v < -180.0)
        v += 360.0;
    while (v > 180.0)
        v -= 360.0;
    return v;
}

// The inverse's reduction into -180 up to, not including, 180.
inline double ReduceHalfOpen(double v)
{
    if (std::fabs(v) > 720.0)
        v = std::fmod(v, 360.0);
    while (v >= 180.0)
        v -= 360.0;
    while (v < -180.0)
        v += 360.0;
    return v;
}

inline double ReduceLowClosed(double v) // kind 13: below -180 add, then at or above 180 subtract
{
    if (std::fabs(v) > 720.0)
        v = std::fmod(v, 360.0);
    while (v < -180.0)
        v += 360.0;
    while (v >= 180.0)
        v -= 360.0;
    return v;
}

// Arc sine and arc cosine of a value that should lie in -1..1: a value that
// rounding has pushed just past an end is clamped; anything farther out is
// a domain error and gives NaN.
inline double AsinNear(double v)
{
    if (v > 1.0 && v < 1.0 + 1e-9)
        v = 1.0;
    else if (v < -1.0 && v > -1.0 - 1e-9)
        v = -1.0;
    return std::asin(v);
}

inline double AcosNear(double v)
{
    if (v > 1.0 && v < 1.0 + 1e-9)
        v = 1.0;
    else if (v < -1.0 && v > -1.0 - 1e-9)
        v = -1.0;
    return std::acos(v);
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
    // Adding and removing 1.5 * 2^52 leaves the value rounded to an integer
    // in the default rounding mode: to nearest, halves to even.
    volatile double magic = 6755399441055744.0;
    double r = (Value + magic) - magic;
    if (r < -2147483648.0 || r > 2147483647.0)
        return false;
    Result = static_cast<int32_t>(r);
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

double MercatorYD(double Latitude)
{
    if (Latitude == 0)
        return 0;
    double r;
    if (Latitude > 0) {
        double t = std::tan(Pi / 4 + Latitude * Pi / 360);
        if (!(t > 0) || !Finite(t))
            return Latitude;
        r = std::log(t) * RadToDeg;
    } else {
        double t = std::tan(Pi / 4 - Latitude * Pi / 360);
        if (!(t > 0) || !Finite(t))
            return Latitude;
        r = std::log(t) * -RadToDeg;
    }
    return Finite(r) ? r : Latitude;
}

double InverseMercatorYD(double M)
{
    if (!(M > 0) && !(M < 0))
        return M == 0 ? 0 : M; // 0 gives 0; NaN comes back unchanged
    // exp overflows for |M| beyond about 40000: a failure, M comes back.
    const double ex = std::exp(std::fabs(M) * Pi / 180);
    if (!Finite(ex))
        return M;
    const double r = M > 0 ? (std::atan(ex) - Pi / 4) * 360 / Pi
                           : (Pi / 4 - std::atan(ex)) * 360 / Pi;
    return Finite(r) ? r : M;
}

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
    switch (Kind) {
    case 3: Scale = 0.75f; break;
    case 4: Scale = 0.4f; break;
    case 7: Scale = 0.8f; break;
    case 8: Scale = 0.8f; break;
    case 9: Scale = 1.7f; break;
    case 11: Scale = 0.4f; break;
    case 13: Scale = 0.2f; break;
    default: break; // the other kinds keep the current scale
    }
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
    if ((Projection == 9 || Projection == 10) && std::fabs(Value) < 0.001f)
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

bool TMapping::IsTrueProjection() const
{
    return (Projection >= 1 && Projection <= 7) || (Projection >= 9 && Projection <= 13);
}

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
    // 1. Spans beyond the poles are cut, except by the great-circle kind.
    if (Projection != 13 && LatitudeSpan > 180)
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
    case 4:
    case 7:
    case 8:
    case 11:
        if (LatitudeSpan == 0 || Width == 0 || Height == 0) {
            Scale = (Projection == 4 || Projection == 11) ? 0.4f : 0.8f;
        } else {
            // Scale so that the orthographic image of the span fills the height.
            double yB = std::sin(phiB) * CosCentreLatitude - std::cos(phiB) * SinCentreLatitude;
            double yT = std::sin(phiT) * CosCentreLatitude - std::cos(phiT) * SinCentreLatitude;
            double d = std::fabs(yB - yT);
            if (d != 0)
                StoreSingle(Scale, (1.0 / d) * heightRatio);
        }
        break;
    case 6: {
        double mB = MercatorYD(bottom), mT = MercatorYD(top);
        double zs = (mT - mB) / (top - bottom);
        if (!(top - bottom != 0) || !StoreSingle(MercatorZoomScale, zs))
            MercatorZoomScale = 1.0f;
        StoreSingle(MercatorZoomBase,
                    MercatorYD(CentreLatitude) - 0.5 * MercatorZoomScale * LatitudeSpan);
        break;
    }
    case 9: {
        if (LatitudeSpan == 0) {
            Scale = 1.7f;
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
    case 12:
        Scale = 0.155f;
        if (StoreSingle(PiScale, Pi * Scale) && PiScale != 0)
            StoreSingle(RecipPiScale, 1.0 / static_cast<double>(PiScale));
        break;
    case 13:
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

void TMapping::MapToSectorD(double& x, double& y) const
{
    const double h = static_cast<double>(Height) / Width;
    switch (Sector) {
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

bool TMapping::SectorToMapD(double& x, double& y) const
{
    const double h = static_cast<double>(Height) * RecipWidth;
    switch (Sector) {
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

void TMapping::MapToSector(float& x, float& y) const
{
    if (Width == 0)
        return; // the sector geometry needs Height / Width
    double dx = x, dy = y;
    MapToSectorD(dx, dy);
    x = static_cast<float>(dx);
    y = static_cast<float>(dy);
}

void TMapping::SectorToMap(float& x, float& y) const
{
    double dx = x, dy = y;
    SectorToMapD(dx, dy);
    x = static_cast<float>(dx);
    y = static_cast<float>(dy);
}

// ---------------------------------------------------------------------------
// Forward transform

TMapping::TProjectResult TMapping::ProjectPoint(float Longitude, float Latitude, double& FX,
                                                double& FY) const
{
    const double lon = Longitude, lat = Latitude;
    if (!Finite(lon) || !Finite(lat))
        return prNotComputed;
    const double W = Width, H = Height;
    const double centreLon = CentreLongitude;
    const double dlon = Wrap(lon - centreLon);
    const double sinPhi0 = SinCentreLatitude, cosPhi0 = CosCentreLatitude;

    double x = 0, y = 0; // normalised coordinates of the width-unit kinds
    TProjectResult result = prComputed;

    // The distance limits compare the central angle's cosine with the cosine
    // of the limit: the same test as arccos(cosc) * radius >= limit, without
    // an arc cosine per point.
    auto beyond = [](double cosc, double limitKm) {
        return std::clamp(cosc, -1.0, 1.0) <= std::cos(limitKm / EarthRadiusKm);
    };
    auto rotate = [this](double& px, double& py) {
        if (Rotation == 0)
            return;
        double r = Rotation * DegToRad, c = std::cos(r), s = std::sin(r);
        double nx = px * c + py * s;
        double ny = -px * s + py * c;
        px = nx;
        py = ny;
    };

    switch (Projection) {
    case 1: {
        double l = Wrap(lon);
        FX = W * (l + 180) / 360;
        FY = (1 - (lat + 90) / 180) * H;
        return prComputed;
    }
    case 2:
    case 14:
        FX = (dlon - WestEdge + centreLon) * W / LongitudeSpan;
        FY = (1 - (lat - SouthEdge) / LatitudeSpan) * H;
        return prComputed;
    case 5: {
        double m = MercatorYD(lat);
        double l = Wrap(lon);
        FX = W * (l + 180) / 360;
        FY = CentreRow - W * m / 360;
        return prComputed;
    }
    case 6: {
        double m = (MercatorYD(lat) - MercatorZoomBase) / MercatorZoomScale;
        if (!Finite(m))
            return prNotComputed;
        FX = W * (dlon - WestEdge + centreLon) / LongitudeSpan;
        FY = H * (1 - m / LatitudeSpan);
        return prComputed; // GeoToPixel checks the image bounds
    }
    case 3:
    case 4:
    case 7:
    case 8:
    case 11: {
        const double phi = lat * DegToRad, dl = dlon * DegToRad;
        const double sinPhi = std::sin(phi), cosPhi = std::cos(phi);
        const double sinDl = std::sin(dl), cosDl = std::cos(dl);
        const double cosc = sinPhi0 * sinPhi + cosPhi0 * cosPhi * cosDl;
        if (!Finite(cosc))
            return prNotComputed;
        const double limit = (Projection == 7 || Projection == 8) ? 6300.0 : 12000.0;
        if (beyond(cosc, limit))
            return prNotComputed;
        if (Projection == 3 || Projection == 4) {
            if (std::fabs(cosc) < 1) {
                double c = std::acos(cosc);
                // sin c from the cosine: c lies in 0..pi, so it is the root.
                double k = Scale * c / std::sqrt(1 - cosc * cosc);
                x = k * cosPhi * sinDl;
                y = k * (cosPhi0 * sinPhi - sinPhi0 * cosPhi * cosDl);
            }
        } else if (Projection == 7) {
            x = Scale * cosPhi * sinDl;
            y = Scale * (cosPhi0 * sinPhi - sinPhi0 * cosPhi * cosDl);
        } else if (Projection == 8) {
            double a = std::atan2(cosPhi * sinDl, cosDl * cosPhi * cosPhi0 + sinPhi * sinPhi0);
            double b = std::asin(sinPhi * cosPhi0 - cosDl * cosPhi * sinPhi0);
            if (!Finite(a) || !Finite(b))
                return prNotComputed;
            if (a <= -Pi / 3 || a >= Pi / 3 || b <= -Pi / 3 || b >= Pi / 3)
                return prNotComputed; // beyond the view angles
            double ca = std::cos(a), sb = std::sin(b), cb = std::cos(b);
            y = Scale * std::atan2(sb, ca * cb);
            x = Scale * std::atan2(std::sin(a) * cb, std::sqrt((ca * cb) * (ca * cb) + sb * sb));
        } else { // 11, gnomonic
            if (cosc >= 1) {
                // The centre itself (the cosine rounded to 1): the centre
                // pixel, and visible, as every other point of the hemisphere.
                x = y = 0;
            } else if (cosc <= -1 || cosc < 0.000001) {
                // Outside the hemisphere: the centre pixel is still computed,
                // the result is false.
                x = y = 0;
                result = prHidden;
            } else {
                double k = Scale / cosc;
                x = k * cosPhi * sinDl;
                y = k * (cosPhi0 * sinPhi - sinPhi0 * cosPhi * cosDl);
            }
        }
        rotate(x, y);
        break;
    }
    case 9: {
        const double phi = lat * DegToRad, theta = dlon * DegToRad;
        double rho = Southern ? Scale * std::tan((Pi / 2 + phi) / 2)
                              : Scale * std::tan((Pi / 2 - phi) / 2);
        double px = rho * std::sin(theta);
        double py = Southern ? rho * std::cos(theta) - PolarOffset
                             : PolarOffset - rho * std::cos(theta);
        // Kind 9 measures in units of the image height.
        FX = H * px + 0.5 * W;
        FY = CentreRow - H * py;
        return prComputed;
    }
    case 10: {
        const double phi = lat * DegToRad;
        const double cosc = sinPhi0 * std::sin(phi) + cosPhi0 * std::cos(phi) * std::cos(dlon * DegToRad);
        if (!Finite(cosc) || beyond(cosc, 10000.0))
            return prNotComputed;
        const double p = Southern ? -phi : phi;
        const double es = E * std::sin(p);
        const double pw = std::pow((1 - es) / (1 + es), static_cast<double>(HalfE));
        const double tn = std::tan(Pi / 4 - p / 2);
        double T = 0;
        if (std::fabs(tn) >= 0.00001) {
            double q = tn / pw;
            T = std::pow(q, static_cast<double>(N));
        }
        const double rho = AF * T;
        const double theta = NRad * dlon;
        x = rho * std::sin(theta);
        y = Rho0 - rho * std::cos(theta);
        if (Southern)
            y = -y;
        break;
    }
    case 12: {
        if (Width == 0)
            return prNotComputed; // the sector geometry divides by Width
        const double A = std::fabs(lat);
        const double absScale = std::fabs(static_cast<double>(Scale));
        if (A > 89.999) {
            x = 0;
            y = Pi * absScale;
            if (lat < 0)
                y = -y;
        } else if (std::fabs(dlon) < 0.0001) {
            double theta = std::asin(2 * A / 180);
            x = 0;
            y = Pi * absScale * std::tan(theta / 2);
            if (lat < 0)
                y = -y;
        } else if (A < 0.0001) {
            x = Scale * dlon * DegToRad;
            y = 0;
        } else {
            const double theta = std::asin(2 * A / 180);
            const double st = std::sin(theta), ct = std::cos(theta);
            const double AA = 0.5 * std::fabs(180 / dlon - dlon / 180);
            const double G = ct / (st + ct - 1);
            const double P = G * (2 / st - 1);
            const double AA2 = AA * AA, P2 = P * P;
            const double Q = AA2 + G;
            const double D = P2 + AA2;
            const double GP = G - P2;
            x = PiScale * (AA * GP + std::sqrt(AA2 * GP * GP - D * (G * G - P2))) / D;
            if (dlon < 0)
                x = -x;
            y = PiScale * (P * Q - AA * std::sqrt((AA2 + 1) * D - Q * Q)) / D;
            if (lat < 0)
                y = -y;
        }
        MapToSectorD(x, y);
        break;
    }
    case 13: {
        const double phi0 = CentreLatitude * DegToRad;
        const double phi = lat * DegToRad;
        const double lam0 = centreLon * DegToRad, lam = lon * DegToRad;
        const double sp = std::sin((phi0 - phi) / 2), sl = std::sin((lam0 - lam) / 2);
        const double cosPhi = std::cos(phi);
        // The radicand can round just past 1 at the antipode; clamped, since
        // nothing limits the distance of this kind.
        const double c = 2 * AsinNear(std::sqrt(sp * sp + cosPhi0 * cosPhi * sl * sl));
        // The bearing az enters only through its sine and cosine, which
        // come straight from its two components (no arc tangent needed).
        double sinAz = 0, cosAz = 1;
        if (!(c < 1e-10)) {
            const double dl = lam0 - lam;
            double sy = std::sin(dl) * cosPhi;
            double sx = cosPhi0 * std::sin(phi) - sinPhi0 * cosPhi * std::cos(dl);
            if (std::fabs(sx) < 1e-10) {
                sinAz = sy > 0 ? 1 : -1;
                cosAz = 0;
            } else {
                const double h = std::sqrt(sx * sx + sy * sy);
                sinAz = sy / h;
                cosAz = sx / h;
            }
        }
        const double r = Scale * c;
        x = -sinAz * r;
        y = cosAz * r;
        break;
    }
    default:
        return prNotComputed; // 0 and unknown kinds: nothing is visible
    }

    // Width-unit kinds: x from the horizontal centre, y up from CentreRow.
    FX = (0.5 + x) * W;
    FY = CentreRow - W * y;
    return result;
}

bool TMapping::GeoToPixel(float Longitude, float Latitude, int32_t& X, int32_t& Y) const
{
    double fx = 0, fy = 0;
    bool result = false;
    TProjectResult r = ProjectPoint(Longitude, Latitude, fx, fy);
    if (r != prNotComputed) {
        // X first, then Y: a failure part-way leaves X with its new value.
        int32_t rx, ry;
        if (RoundToInt32(fx, rx)) {
            X = rx;
            if (RoundToInt32(fy, ry)) {
                Y = ry;
                if (r == prComputed) {
                    result = true;
                    if (Projection == 6)
                        result = X >= 0 && X < Width && Y >= 0 && Y < Height;
                }
            }
        }
    }
    // The offsets apply whatever happened above, also to values passed in.
    X = AddSaturated(X, GetOffsetX());
    Y = AddSaturated(Y, -static_cast<int64_t>(GetOffsetY()));
    return result;
}

// ---------------------------------------------------------------------------
// Inverse transform

bool TMapping::InverseNormalised(double x, double y, double& lon, double& lat) const
{
    const double sinPhi0 = SinCentreLatitude, cosPhi0 = CosCentreLatitude;
    const double scale = Scale;
    switch (Projection) {
    case 3:
    case 4:
    case 7:
    case 11: {
        // The forward transform rotates these kinds by Rotation; the inverse
        // turns the point back first, so the two stay inverse to each other.
        if (Rotation != 0) {
            double r = Rotation * DegToRad, c = std::cos(r), s = std::sin(r);
            double ux = x * c - y * s;
            double uy = x * s + y * c;
            x = ux;
            y = uy;
        }
        const double rho = std::sqrt(x * x + y * y);
        if (std::fabs(rho) < 0.00001) {
            lon = CentreLongitude;
            lat = CentreLatitude;
            return true;
        }
        double sinc, cosc;
        if (Projection == 7) {
            sinc = rho / scale;
            double q = 1 - sinc * sinc;
            if (!(q >= 0) || !Finite(sinc))
                return false; // outside the globe's disc
            cosc = std::sqrt(q);
        } else {
            double c = Projection == 11 ? std::atan(rho / scale) : rho / scale;
            if (scale == 0 || !Finite(c))
                return false;
            sinc = std::sin(c);
            cosc = std::cos(c);
        }
        lat = AsinNear(cosc * sinPhi0 + y * sinc * cosPhi0 / rho) * RadToDeg;
        double dl;
        if (CentreLatitude == 90)
            dl = std::atan2(x, -y);
        else if (CentreLatitude == -90)
            dl = std::atan2(x, y);
        else
            dl = std::atan2(x * sinc, rho * cosPhi0 * cosc - y * sinPhi0 * sinc);
        lon = CentreLongitude + dl * RadToDeg;
        if (Projection != 7)
            lon = ReduceHalfOpen(lon);
        return Finite(lat) && Finite(lon);
    }
    case 9: {
        y = Southern ? y + PolarOffset : y - PolarOffset;
        if (x == 0 && y == 0) {
            lon = CentreLongitude;
            lat = Southern ? -90 : 90;
            return true;
        }
        const double c = 2 * std::atan(std::sqrt(x * x + y * y) * RecipScale);
        if (Southern) {
            lon = std::atan2(x, y) * RadToDeg + CentreLongitude;
            lat = std::asin(-std::cos(c)) * RadToDeg;
        } else {
            lon = std::atan2(x, -y) * RadToDeg + CentreLongitude;
            lat = std::asin(std::cos(c)) * RadToDeg;
        }
        return Finite(lat) && Finite(lon);
    }
    case 10: {
        if (Southern)
            y = -y;
        const double den = Rho0 - y;
        if (den == 0)
            return false; // division by zero
        const double theta = std::atan(x / den);
        lon = theta * RecipNRad + CentreLongitude;
        const double rho = std::sqrt(x * x + den * den);
        const double t = std::pow(rho * RecipAF, static_cast<double>(RecipN));
        if (!Finite(t))
            return false;
        double phi = Pi / 2 - 2 * std::atan(t);
        double next = phi;
        double change = 1;
        const double e = E, halfE = HalfE;
        for (int i = 0; i < 100 && change > 0.00001; ++i) {
            const double es = e * std::sin(phi);
            next = Pi / 2 - 2 * std::atan(t * std::pow((1 - es) / (1 + es), halfE));
            change = std::fabs(std::fabs(phi) - std::fabs(next));
            phi = next;
            if (!Finite(phi))
                return false;
        }
        lat = next * RadToDeg;
        if (Southern)
            lat = -lat;
        return Finite(lat) && Finite(lon);
    }
    case 12: {
        if (!SectorToMapD(x, y))
            return false;
        const double U = x * RecipPiScale, V = y * RecipPiScale;
        if (U == 0 && V == 0) {
            // The centre of the map: the cubic below degenerates (0 / 0).
            lon = CentreLongitude;
            lat = 0;
            return true;
        }
        const double s = U * U + V * V;
        const double c1 = -std::fabs(V) * (1 + s);
        const double c2 = c1 - 2 * V * V + U * U;
        const double c3 = -2 * c1 + 1 + 2 * V * V + s * s;
        const double d = V * V / c3 + (2 * std::pow(c2 / c3, 3) - 9 * c1 * c2 / (c3 * c3)) / 27;
        const double a1 = (c1 - c2 * c2 / (3 * c3)) / c3;
        const double m1 = 2 * std::sqrt(-a1 / 3);
        const double theta1 = AcosNear(3 * d / (a1 * m1)) / 3;
        lat = 180 * (-m1 * std::cos(theta1 + Pi / 3) - c2 / (3 * c3));
        if (y < 0)
            lat = -lat;
        double dl = 0;
        if (U != 0)
            dl = 90 * (s - 1 + std::sqrt(1 + 2 * (U * U - V * V) + s * s)) / U;
        // Outside the map's bounding circle the formula still gives a value,
        // more than 180 degrees from the centre: that pixel is out of reach.
        if (!(std::fabs(dl) <= 180.0001))
            return false;
        lon = CentreLongitude + dl;
        return Finite(lat) && Finite(lon);
    }
    case 13: {
        const double r = std::sqrt(x * x + y * y);
        if (std::fabs(r) < 0.00001) {
            lon = CentreLongitude;
            lat = CentreLatitude;
            return true;
        }
        const double c = r / scale;
        if (!Finite(c) || c >= 2 * Pi)
            return false;
        const double az = std::atan2(-x, y);
        const double sinc = std::sin(c), cosc = std::cos(c);
        const double phi = AsinNear(sinPhi0 * cosc + cosPhi0 * sinc * std::cos(az));
        if (!Finite(phi))
            return false;
        const double lam0 = CentreLongitude * DegToRad;
        double lam;
        if (std::cos(phi) == 0) {
            lam = lam0;
        } else {
            double u;
            if (std::fabs(cosPhi0) < 0.00001) {
                // Centred on a pole, the bearing gives the longitude directly.
                // Seen from the north pole a point on bearing az lies at
                // pi - az from the central meridian; from the south pole at az.
                u = sinPhi0 > 0 ? Pi - az : az;
            } else {
                u = std::atan2(std::sin(az) * sinc * cosPhi0, cosc - sinPhi0 * std::sin(phi));
            }
            lam = lam0 - u + Pi;
            lam = std::fmod(lam, 2 * Pi);
            if (lam < 0)
                lam += 2 * Pi;
            lam -= Pi;
        }
        lon = ReduceLowClosed(lam * RadToDeg);
        lat = phi * RadToDeg;
        return Finite(lat) && Finite(lon);
    }
    default:
        return false;
    }
}

bool TMapping::PixelToGeo(int32_t X, int32_t Y, float& Longitude, float& Latitude) const
{
    if (Height == 0 || Width == 0)
        return false;
    // Remove the offsets that GeoToPixel applies.
    const double px = static_cast<double>(X) - GetOffsetX();
    const double py = static_cast<double>(Y) + GetOffsetY();
    const double rw = RecipWidth, rh = RecipHeight;
    double lon = 0, lat = 0;
    bool ok = false;
    switch (Projection) {
    case 1:
        lon = ReduceHalfOpen(px * 360 * rw - 180);
        lat = (1 - py * rh) * 180 - 90;
        ok = true;
        break;
    case 2:
    case 14:
        lon = ReduceHalfOpen(px * LongitudeSpan * rw + WestEdge);
        lat = (1 - py * rh) * LatitudeSpan + SouthEdge;
        ok = true;
        break;
    case 5: {
        lon = ReduceHalfOpen(px * 360 * rw - 180);
        double m = (CentreRow - py) * 360 * rw;
        if (!Finite(m))
            return false;
        lat = InverseMercatorYD(m);
        ok = true;
        break;
    }
    case 6: {
        lon = ReduceHalfOpen(px * LongitudeSpan * rw + WestEdge);
        double m = LatitudeSpan * (1 - py * rh);
        m = MercatorZoomScale * m + MercatorZoomBase;
        if (!Finite(m))
            return false;
        lat = InverseMercatorYD(m);
        ok = true;
        break;
    }
    case 9: {
        // The vertical centre is CentreRow, as in GeoToPixel, so that odd
        // heights go back to the row they came from.
        double x = (px - 0.5 * Width) * rh;
        double y = (CentreRow - py) * rh;
        ok = InverseNormalised(x, y, lon, lat);
        break;
    }
    case 3:
    case 4:
    case 7:
    case 10:
    case 11:
    case 12:
    case 13: {
        double x = px * rw - 0.5;
        double y = (CentreRow - py) * rw;
        ok = InverseNormalised(x, y, lon, lat);
        break;
    }
    default:
        return false; // 0, 8 and unknown kinds have no inverse
    }
    if (!ok || !Finite(lon) || !Finite(lat))
        return false;
    float fl = static_cast<float>(lon), fa = static_cast<float>(lat);
    if (!std::isfinite(fl) || !std::isfinite(fa))
        return false;
    Longitude = fl;
    Latitude = fa;
    return true;
}
