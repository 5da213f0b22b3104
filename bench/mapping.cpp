// SPDX-License-Identifier: GPL-3.0-or-later
// Throughput of TMapping::GeoToPixel and PixelToGeo per projection kind,
// beside PROJ's proj_trans on the same points in the same run: per point
// (GeoToPixel against proj_trans) and over arrays (the array GeoToPixel
// against proj_trans_generic).
//   bench_mapping --benchmark_filter=...   (items_per_second = points/s)
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <proj.h>

#include "mapping/Mapping.h"

namespace {

struct KindSetup {
    int kind;
    float lon, lat, latSpan, lonSpan;
    const char* proj; // PROJ operation, %R radius, %L lat_0, %O lon_0 filled in
};

const KindSetup setups[] = {
    {1, 0, 0, 0, 0, "+proj=eqc +R=57.29577951308232"},
    {2, 20, 45, 30, 50, "+proj=eqc +R=57.29577951308232 +lon_0=20"},
    {3, 30, 40, 0, 0, "+proj=aeqd +R=0.75 +lat_0=40 +lon_0=30"},
    {4, -60, -20, 90, 0, "+proj=aeqd +R=SCALE +lat_0=-20 +lon_0=-60"},
    {5, 0, 0, 0, 0, "+proj=merc +R=57.29577951308232"},
    {6, 10, 50, 40, 60, "+proj=merc +R=57.29577951308232 +lon_0=10"},
    {7, -20, 50, 60, 0, "+proj=ortho +R=SCALE +lat_0=50 +lon_0=-20"},
    {8, 45, 0, 80, 0, "+proj=cass +R=SCALE +lon_0=45"},
    {9, -45, 90, 100, 0, "+proj=stere +lat_0=90 +k_0=1 +R=HALFSCALE +lon_0=-45"},
    {10, 128.5f, 25.7f, 46.6f, 0,
     "+proj=lcc +a=1.095 +es=0.006694318 +lat_1=64.3 +lat_2=64.3 +lat_0=25.7 +lon_0=128.5"},
    {11, 140, 35, 50, 0, "+proj=gnom +R=SCALE +lat_0=35 +lon_0=140"},
    {12, 10, 0, 0, 0, "+proj=vandg +R=0.155 +lon_0=10"},
    {13, 100, 10, 120, 0, "+proj=aeqd +R=SCALE +lat_0=10 +lon_0=100"},
    {14, -100, -10, 60, 80, "+proj=eqc +R=57.29577951308232 +lon_0=-100"},
};

const KindSetup& Setup(int kind) { return setups[kind - 1]; }

TMapping MakeMap(const KindSetup& s)
{
    TMapping m;
    m.SetProjection(static_cast<uint8_t>(s.kind));
    m.SetHeight(1000);
    m.SetWidth(1000);
    if (s.lonSpan != 0)
        m.SetLongitudeSpan(s.lonSpan);
    if (s.latSpan != 0)
        m.SetLatitudeSpan(s.latSpan);
    m.SetCentreLongitude(s.lon);
    m.SetCentreLatitude(s.lat);
    return m;
}

std::string ProjDefinition(const KindSetup& s, const TMapping& m)
{
    std::string d = s.proj;
    auto put = [&](const std::string& key, double v) {
        size_t at = d.find(key);
        if (at != std::string::npos) {
            char b[40];
            std::snprintf(b, sizeof b, "%.9g", v);
            d.replace(at, key.size(), b);
        }
    };
    put("HALFSCALE", m.Scale / 2.0);
    put("SCALE", m.Scale);
    return d;
}

// Points the map shows: the inverse of a 64 by 64 grid of pixels.
struct Points {
    std::vector<float> lon, lat;
    std::vector<int32_t> x, y;
};

Points MakePoints(const TMapping& m)
{
    Points p;
    for (int j = 0; j < 64; ++j)
        for (int i = 0; i < 64; ++i) {
            int32_t px = 8 + i * 15, py = 8 + j * 15;
            float lon, lat;
            if (m.Projection == 8) { // no inverse: sample the view angles directly
                lon = m.CentreLongitude - 55 + i * 110.0f / 64;
                lat = -55 + j * 110.0f / 64;
            } else if (!m.PixelToGeo(px, py, lon, lat)) {
                continue;
            }
            int32_t X = 0, Y = 0;
            if (!m.GeoToPixel(lon, lat, X, Y))
                continue;
            p.lon.push_back(lon);
            p.lat.push_back(lat);
            p.x.push_back(X);
            p.y.push_back(Y);
        }
    return p;
}

void BM_GeoToPixel(benchmark::State& state)
{
    TMapping m = MakeMap(Setup(static_cast<int>(state.range(0))));
    Points p = MakePoints(m);
    const size_t n = p.lon.size();
    for (auto _ : state) {
        int64_t sum = 0;
        for (size_t i = 0; i < n; ++i) {
            int32_t x = 0, y = 0;
            m.GeoToPixel(p.lon[i], p.lat[i], x, y);
            sum += x + y;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
    state.SetLabel(std::string(ProjectionNames[m.Projection]));
}

void BM_PixelToGeo(benchmark::State& state)
{
    TMapping m = MakeMap(Setup(static_cast<int>(state.range(0))));
    Points p = MakePoints(m);
    const size_t n = p.x.size();
    for (auto _ : state) {
        float sum = 0;
        for (size_t i = 0; i < n; ++i) {
            float lon = 0, lat = 0;
            m.PixelToGeo(p.x[i], p.y[i], lon, lat);
            sum += lon + lat;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

// The array forms over all the points at once.
void BM_GeoToPixelArray(benchmark::State& state)
{
    TMapping m = MakeMap(Setup(static_cast<int>(state.range(0))));
    Points p = MakePoints(m);
    const size_t n = p.lon.size();
    std::vector<int32_t> x(n), y(n);
    std::vector<uint8_t> visible(n);
    for (auto _ : state) {
        m.GeoToPixel(p.lon, p.lat, x, y, visible);
        benchmark::DoNotOptimize(x.data());
        benchmark::DoNotOptimize(y.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
    state.SetLabel(std::string(ProjectionNames[m.Projection]));
}

void BM_PixelToGeoArray(benchmark::State& state)
{
    TMapping m = MakeMap(Setup(static_cast<int>(state.range(0))));
    Points p = MakePoints(m);
    const size_t n = p.x.size();
    std::vector<float> lon(n), lat(n);
    std::vector<uint8_t> converted(n);
    for (auto _ : state) {
        m.PixelToGeo(p.x, p.y, lon, lat, converted);
        benchmark::DoNotOptimize(lon.data());
        benchmark::DoNotOptimize(lat.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

// A kind's map, its points and PROJ's operation for it.
struct ProjRun {
    TMapping m;
    Points p;
    PJ_CONTEXT* ctx = nullptr;
    PJ* pj = nullptr;

    explicit ProjRun(benchmark::State& state)
    {
        const KindSetup& s = Setup(static_cast<int>(state.range(0)));
        m = MakeMap(s);
        p = MakePoints(m);
        ctx = proj_context_create();
        const std::string def = ProjDefinition(s, m);
        pj = proj_create(ctx, def.c_str());
        if (!pj)
            state.SkipWithError(("PROJ rejects " + def).c_str());
    }
    ~ProjRun()
    {
        if (pj)
            proj_destroy(pj);
        proj_context_destroy(ctx);
    }
    // The points as PROJ takes them in the direction: radians, or the
    // forward results for the inverse.
    std::vector<PJ_COORD> Input(PJ_DIRECTION direction) const
    {
        std::vector<PJ_COORD> in(p.lon.size());
        for (size_t i = 0; i < in.size(); ++i) {
            in[i] = proj_coord(proj_torad(p.lon[i]), proj_torad(p.lat[i]), 0, 0);
            if (direction == PJ_INV)
                in[i] = proj_trans(pj, PJ_FWD, in[i]);
        }
        return in;
    }
};

// PROJ on the same points, one proj_trans call per point (as GeoToPixel is
// called per point), forward or inverse.
void ProjTrans(benchmark::State& state, PJ_DIRECTION direction)
{
    ProjRun run(state);
    if (!run.pj)
        return;
    const std::vector<PJ_COORD> in = run.Input(direction);
    for (auto _ : state) {
        double sum = 0;
        for (const PJ_COORD& c : in) {
            PJ_COORD out = proj_trans(run.pj, direction, c);
            sum += out.xy.x + out.xy.y;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(in.size()));
}

// PROJ's own array call on the same points. It converts in place, so each
// round first copies the input (about a nanosecond a point).
void ProjTransGeneric(benchmark::State& state, PJ_DIRECTION direction)
{
    ProjRun run(state);
    if (!run.pj)
        return;
    const std::vector<PJ_COORD> in = run.Input(direction);
    const size_t n = in.size();
    std::vector<double> inX(n), inY(n), x(n), y(n);
    for (size_t i = 0; i < n; ++i) {
        inX[i] = in[i].xy.x;
        inY[i] = in[i].xy.y;
    }
    for (auto _ : state) {
        x = inX;
        y = inY;
        proj_trans_generic(run.pj, direction, x.data(), sizeof(double), n, y.data(), sizeof(double), n, nullptr, 0,
                           0, nullptr, 0, 0);
        benchmark::DoNotOptimize(x.data());
        benchmark::DoNotOptimize(y.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

void BM_ProjForward(benchmark::State& state) { ProjTrans(state, PJ_FWD); }
void BM_ProjInverse(benchmark::State& state) { ProjTrans(state, PJ_INV); }

BENCHMARK(BM_GeoToPixel)->DenseRange(1, 14);
BENCHMARK(BM_ProjForward)->DenseRange(1, 14);
BENCHMARK(BM_PixelToGeo)->DenseRange(1, 14);
BENCHMARK(BM_ProjInverse)->DenseRange(1, 14);

void BM_ProjForwardArray(benchmark::State& state) { ProjTransGeneric(state, PJ_FWD); }
void BM_ProjInverseArray(benchmark::State& state) { ProjTransGeneric(state, PJ_INV); }

BENCHMARK(BM_GeoToPixelArray)->DenseRange(1, 14);
BENCHMARK(BM_ProjForwardArray)->DenseRange(1, 14);
BENCHMARK(BM_PixelToGeoArray)->DenseRange(1, 14);
BENCHMARK(BM_ProjInverseArray)->DenseRange(1, 14);

} // namespace
