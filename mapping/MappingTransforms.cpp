// SPDX-License-Identifier: GPL-3.0-or-later
// The map's transforms: GeoToPixel, PixelToGeo and ProjectPoint per point
// and over arrays. Each kind's family object holds what its formulas need
// from the map; the per-point operations build it for their one point, the
// array operations once for the whole array, and both run the same steps
// per point (the arrays through the vector kernels, SimdKernels.h).
#include "mapping/Mapping.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include <emmintrin.h>

#include "mapping/ProjectionFamilies.h"
#include "mapping/ProjectionKinds.h"
#include "mapping/SimdKernels.h"

using namespace projection;

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
// Transforms

namespace {

// f(kind, family) with the map's kind (TKind<K>) and its family object.
template <typename F>
[[gnu::always_inline]] inline decltype(auto) WithFamily(const TMapping& m, F&& f)
{
    return WithKind(m.Projection, [&](auto kind) {
        using Family = typename decltype(kind)::Family;
        return f(kind, Family(m));
    });
}

template <typename Family>
[[gnu::always_inline]] inline TResult ProjectWith(const Family& k, float Longitude, float Latitude, double& FX, double& FY)
{
    const double lon = Longitude, lat = Latitude;
    if (!Finite(lon) || !Finite(lat))
        return TMapping::prNotComputed;
    return SteppedForward(k, lon, lat, FX, FY);
}

// The end of GeoToPixel: the unrounded pixel rounded, checked and moved by
// the map's offsets (whole numbers).
template <typename Kind>
[[gnu::always_inline]] inline bool FinishPixel(const TMapping& m, TResult r, double fx, double fy, int32_t& X, int32_t& Y, int32_t offsetX,
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
                    if constexpr (Kind::Traits.VisibleInsideOnly)
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
template <typename Kind, typename Family>
[[gnu::always_inline]] inline bool PixelWith(const TMapping& m, const Family& k, float Longitude, float Latitude, int32_t& X, int32_t& Y,
                      int32_t offsetX, int32_t offsetY)
{
    double fx = 0, fy = 0;
    const TResult r = ProjectWith(k, Longitude, Latitude, fx, fy);
    return FinishPixel<Kind>(m, r, fx, fy, X, Y, offsetX, offsetY);
}

// A forward kernel's status of a point it computed or not, as the per-point
// result.
static_assert(static_cast<int>(TPointStatus::NotComputed) == TMapping::prNotComputed &&
              static_cast<int>(TPointStatus::Hidden) == TMapping::prHidden &&
              static_cast<int>(TPointStatus::Computed) == TMapping::prComputed);
inline TResult ResultOf(TPointStatus s) { return static_cast<TResult>(s); }

// Runs of this many statuses are tested at once: when every one is the
// kernel's plain result, the run is placed as a block.
constexpr size_t StatusBlock = 8;

// True when the StatusBlock statuses at s all equal v.
inline bool BlockAll(const TPointStatus* s, TPointStatus v)
{
    uint64_t w;
    std::memcpy(&w, s, sizeof w);
    static_assert(sizeof w == StatusBlock * sizeof *s);
    return w == 0x0101010101010101ull * static_cast<uint8_t>(v);
}

// Projects Count points: through the kind's vector kernel in runs where it
// has one, Rounded(first, count, out) placing a run's points that the
// kernel computed and rounded into the 32-bit range (status Rounded),
// then Finish(i, result, FX, FY) for each other point in order (points the
// kernel leaves go through the per-point code); without a kernel, Finish
// for every point.
template <typename Kind, typename Family, typename F, typename R>
void ProjectArray(const Family& k, const float* lon, const float* lat, size_t n, F&& Finish, R&& Rounded)
{
    const TSimdForwardKernel kernel = SimdKernels().Forward[Kind::Kind];
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
    TPointStatus status[Run];
    const TSimdForwardOut out{fx, fy, rx, ry, status};
    for (size_t first = 0; first < n; first += Run) {
        const size_t count = std::min(Run, n - first);
        kernel(&k, lon + first, lat + first, count, out);
        Rounded(first, count, out);
        for (size_t i = 0; i < count; ++i) {
            if (i % StatusBlock == 0 && count - i >= StatusBlock && BlockAll(status + i, TPointStatus::Rounded)) {
                i += StatusBlock - 1;
                continue;
            }
            const TPointStatus st = status[i];
            if (st != TPointStatus::Rounded) {
                const TResult r = st == TPointStatus::Fallback
                                      ? ProjectWith(k, lon[first + i], lat[first + i], fx[i], fy[i])
                                      : ResultOf(st);
                Finish(first + i, r, fx[i], fy[i]);
            }
        }
    }
}

// The end of PixelToGeo: the angles stored when they are finite singles.
[[gnu::always_inline]] inline bool StoreGeo(double lon, double lat, float& Longitude, float& Latitude)
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
[[gnu::always_inline]] inline bool GeoWith(const TMapping& m, const Family& k, int32_t X, int32_t Y, float& Longitude, float& Latitude,
                    int32_t offsetX, int32_t offsetY)
{
    if (m.Height == 0 || m.Width == 0)
        return false;
    // Remove the offsets that GeoToPixel applies.
    const double px = static_cast<double>(X) - offsetX;
    const double py = static_cast<double>(Y) + offsetY;
    double lon = 0, lat = 0;
    return SteppedInverse(k, px, py, lon, lat) && StoreGeo(lon, lat, Longitude, Latitude);
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
    return WithFamily(*this, [&](auto, const auto& k) { return ProjectWith(k, Longitude, Latitude, FX, FY); });
}

// The per-point operations get every step of their kind's path inlined
// (flatten, and always_inline on the steps of the path, which flatten alone
// leaves out of line): the call overhead is a large part of one point's
// cost.
__attribute__((flatten)) bool TMapping::GeoToPixel(float Longitude, float Latitude, int32_t& X, int32_t& Y) const
{
    const int32_t ox = GetOffsetX(), oy = GetOffsetY();
    return WithFamily(*this, [&](auto kind, const auto& k) {
        return PixelWith<decltype(kind)>(*this, k, Longitude, Latitude, X, Y, ox, oy);
    });
}

__attribute__((flatten)) bool TMapping::PixelToGeo(int32_t X, int32_t Y, float& Longitude, float& Latitude) const
{
    const int32_t ox = GetOffsetX(), oy = GetOffsetY();
    return WithFamily(*this, [&](auto, const auto& k) { return GeoWith(*this, k, X, Y, Longitude, Latitude, ox, oy); });
}

void TMapping::ProjectPoints(std::span<const float> Longitudes, std::span<const float> Latitudes,
                             std::span<double> FX, std::span<double> FY, std::span<TProjectResult> Results) const
{
    const size_t n = Longitudes.size();
    CheckLengths("ProjectPoints", n, {Latitudes.size(), FX.size(), FY.size(), Results.size()});
    WithFamily(*this, [&](auto kind, const auto& k) {
        const auto finish = [&](size_t i, TResult r, double fx, double fy) {
            Results[i] = r;
            if (r != prNotComputed) {
                FX[i] = fx;
                FY[i] = fy;
            }
        };
        ProjectArray<decltype(kind)>(k, Longitudes.data(), Latitudes.data(), n, finish,
                                     [&](size_t first, size_t count, const TSimdForwardOut& out) {
                                         for (size_t i = 0; i < count; ++i)
                                             if (out.Status[i] == TPointStatus::Rounded)
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
    WithFamily(*this, [&](auto kind, const auto& k) {
        using Kind = decltype(kind);
        constexpr bool insideOnly = Kind::Traits.VisibleInsideOnly;
        ProjectArray<Kind>(
            k, Longitudes.data(), Latitudes.data(), n,
            [&](size_t i, TResult r, double fx, double fy) {
                Visible[i] = FinishPixel<Kind>(*this, r, fx, fy, X[i], Y[i], ox, oy);
            },
            [&](size_t first, size_t count, const TSimdForwardOut& out) {
                // FinishPixel's path for computed points whose pixels round
                // within the range.
                int32_t* x = X.data() + first;
                int32_t* y = Y.data() + first;
                uint8_t* visible = Visible.data() + first;
                const bool plain = !insideOnly && ox == 0 && oy == 0;
                for (size_t i = 0; i < count; ++i) {
                    if (plain && i % StatusBlock == 0 && count - i >= StatusBlock &&
                        BlockAll(out.Status + i, TPointStatus::Rounded)) {
                        std::memcpy(x + i, out.RX + i, StatusBlock * sizeof *x);
                        std::memcpy(y + i, out.RY + i, StatusBlock * sizeof *y);
                        std::memset(visible + i, 1, StatusBlock);
                        i += StatusBlock - 1;
                        continue;
                    }
                    if (out.Status[i] != TPointStatus::Rounded)
                        continue;
                    const int32_t rx = out.RX[i], ry = out.RY[i];
                    bool v = true;
                    if constexpr (insideOnly)
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
    WithFamily(*this, [&](auto kind, const auto& k) {
        const TSimdInverseKernel kernel = SimdKernels().Inverse[decltype(kind)::Kind];
        if (kernel == nullptr || Height == 0 || Width == 0) {
            for (size_t i = 0; i < n; ++i)
                Converted[i] = GeoWith(*this, k, X[i], Y[i], Longitudes[i], Latitudes[i], ox, oy);
            return;
        }
        constexpr size_t Run = 256;
        float lon[Run], lat[Run];
        TPointStatus status[Run];
        const TSimdInverseOut out{lon, lat, status};
        for (size_t first = 0; first < n; first += Run) {
            const size_t count = std::min(Run, n - first);
            kernel(&k, X.data() + first, Y.data() + first, count, ox, oy, out);
            float* outLons = Longitudes.data() + first;
            float* outLats = Latitudes.data() + first;
            uint8_t* converted = Converted.data() + first;
            for (size_t i = 0; i < count; ++i) {
                if (i % StatusBlock == 0 && count - i >= StatusBlock &&
                    BlockAll(status + i, TPointStatus::Converted)) {
                    std::memcpy(outLons + i, lon + i, StatusBlock * sizeof *lon);
                    std::memcpy(outLats + i, lat + i, StatusBlock * sizeof *lat);
                    std::memset(converted + i, 1, StatusBlock);
                    i += StatusBlock - 1;
                    continue;
                }
                const size_t j = first + i;
                switch (status[i]) {
                case TPointStatus::Converted:
                    outLons[i] = lon[i];
                    outLats[i] = lat[i];
                    converted[i] = true;
                    break;
                case TPointStatus::Fallback:
                    converted[i] = GeoWith(*this, k, X[j], Y[j], outLons[i], outLats[i], ox, oy);
                    break;
                default: converted[i] = false; break;
                }
            }
        }
    });
}
