// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing the latitude/longitude grid (steps 10 and 10) on a 4096 by 4096
// bitmap, per projection kind: the whole DrawGrid with Qt lines and text,
// the same drawing onto a recording canvas (no rasterising), and only the
// GeoToPixel calls the drawing makes, replayed.
//   bench_grid   (real_time in ms per grid)
#include <memory>
#include <utility>
#include <vector>

#include <benchmark/benchmark.h>

#include "mapping/DegreeSign.h"
#include "mapping/Mapping.h"
#include "runtime/Graphics.h"
#include "runtime/RecordingCanvas.h"
#include "runtime/gui/QtGraphics.h"

namespace {

constexpr int Size = 4096;

struct KindSetup {
    int kind;
    float lon, lat, latSpan, lonSpan;
};

const KindSetup setups[] = {
    {1, 0, 0, 180, 360},   {2, 20, 45, 30, 50},    {3, 30, 40, 0, 0},     {4, -60, -20, 90, 0},
    {5, 0, 0, 0, 0},       {6, 10, 50, 40, 60},    {7, -20, 50, 60, 0},   {8, 45, 0, 80, 0},
    {9, -45, 90, 100, 0},  {10, 128.5f, 25.7f, 46.6f, 0}, {11, 140, 35, 50, 0}, {12, 10, 0, 0, 0},
    {13, 100, 10, 120, 0}, {14, -100, -10, 60, 80},
};

// A map that keeps the points it is asked to project.
class TCountingMapping : public TMapping {
public:
    mutable std::vector<std::pair<float, float>>* Log = nullptr;
    bool GeoToPixel(float Longitude, float Latitude, int32_t& X, int32_t& Y) const override
    {
        if (Log)
            Log->emplace_back(Longitude, Latitude);
        return TMapping::GeoToPixel(Longitude, Latitude, X, Y);
    }
};

void Configure(TMapping& m, const KindSetup& s)
{
    m.SetProjection(static_cast<uint8_t>(s.kind));
    m.SetHeight(Size);
    m.SetWidth(Size);
    if (s.lonSpan != 0)
        m.SetLongitudeSpan(s.lonSpan);
    if (s.latSpan != 0)
        m.SetLatitudeSpan(s.latSpan);
    m.SetCentreLongitude(s.lon);
    m.SetCentreLatitude(s.lat);
}

void Qt()
{
    static auto* app = new TOffscreenGuiApplication; // lives to process exit
    (void)app;
    UseQtGraphics();
    DegreeSign = "\xB0";
    DegreeSignCharset = "CP1252";
}

void BM_DrawGrid(benchmark::State& state)
{
    Qt();
    TCountingMapping m;
    Configure(m, setups[state.range(0) - 1]);
    TBitmap b;
    b.SetSize(Size, Size);
    for (auto _ : state)
        m.DrawGrid(&b, 10, 10, clWhite, clYellow, 0, 0, false);
    std::vector<std::pair<float, float>> log;
    m.Log = &log;
    m.DrawGrid(&b, 10, 10, clWhite, clYellow, 0, 0, false);
    state.counters["geo_calls"] = static_cast<double>(log.size());
}

void BM_GridOnRecordingCanvas(benchmark::State& state)
{
    Qt();
    TMapping m;
    Configure(m, setups[state.range(0) - 1]);
    for (auto _ : state) {
        TRecordingCanvas rc;
        m.DrawGridOn(&rc, nullptr, 10, 10, clWhite, clYellow, 0, 0, false);
        benchmark::DoNotOptimize(rc.Calls.data());
    }
}

void BM_GeoToPixelOfOneGrid(benchmark::State& state)
{
    Qt();
    TCountingMapping m;
    Configure(m, setups[state.range(0) - 1]);
    std::vector<std::pair<float, float>> log;
    m.Log = &log;
    TRecordingCanvas rc;
    m.DrawGridOn(&rc, nullptr, 10, 10, clWhite, clYellow, 0, 0, false);
    m.Log = nullptr;
    for (auto _ : state)
        for (const auto& [lon, lat] : log) {
            int32_t x = 0, y = 0;
            benchmark::DoNotOptimize(m.TMapping::GeoToPixel(lon, lat, x, y));
        }
    state.counters["geo_calls"] = static_cast<double>(log.size());
}

void Kinds(benchmark::internal::Benchmark* b)
{
    for (int k = 1; k <= 14; ++k)
        b->Arg(k);
    b->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_DrawGrid)->Apply(Kinds);
BENCHMARK(BM_GridOnRecordingCanvas)->Apply(Kinds);
BENCHMARK(BM_GeoToPixelOfOneGrid)->Apply(Kinds);
