// SPDX-License-Identifier: GPL-3.0-or-later
// Warp throughput: a 4096 x 2048 equirectangular picture (kind 1) onto a
// 2048 x 2048 orthographic map (kind 7, centre 0 E 45 N, the globe filling
// the height) and onto predefined map 1, nearest neighbour. WarpBitmap on
// one thread and on every core, beside the same warp written with PROJ's
// array call (a pipeline of the target's inverse and the source's forward,
// one row per call) on one thread. items_per_second = target pixels/s.
// scripts/bench.sh warp also times gdalwarp on the same pictures.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <proj.h>

#include "mapping/Warp.h"
#include "mapping/PredefinedMaps.h"

namespace {

constexpr int SourceWidth = 4096, SourceHeight = 2048;
constexpr double DegreesRadius = 57.29577951308232; // eqc in degrees

void MakeSource(TMapping& from, TBitmap& source)
{
    from.SetProjection(1);
    from.SetHeight(SourceHeight);
    from.SetWidth(SourceWidth);
    source.SetPixelFormat(pf24bit);
    source.SetSize(SourceWidth, SourceHeight);
    for (int y = 0; y < SourceHeight; ++y) {
        uint8_t* row = source.ScanLine(y);
        for (int x = 0; x < SourceWidth; ++x) {
            row[3 * x] = static_cast<uint8_t>(x);
            row[3 * x + 1] = static_cast<uint8_t>(y);
            row[3 * x + 2] = static_cast<uint8_t>(x ^ y);
        }
    }
}

std::string Num(double v)
{
    char b[64];
    std::snprintf(b, sizeof b, "%.17g", v);
    return b;
}

// Target 0: the orthographic map; 1: predefined map 1. The PROJ pipeline
// takes the target's normalised plane coordinates to the source's degrees.
void MakeTarget(int which, TMapping& to, std::string& pipeline)
{
    if (which == 0) {
        to.SetProjection(7);
        to.SetHeight(2048);
        to.SetWidth(2048);
        to.SetLatitudeSpan(180);
        to.SetCentreLongitude(0);
        to.SetCentreLatitude(45);
        pipeline = "+proj=pipeline +step +inv +proj=ortho +R=" + Num(to.Scale) + " +lat_0=45 +lon_0=0";
    } else {
        ConfigurePredefinedMap(to, 1);
        pipeline = "+proj=pipeline +step +inv +proj=lcc +a=1.095 +es=" + Num(static_cast<double>(0.006694318f)) +
                   " +lat_1=" + Num(90.0 - to.StandardParallel1) + " +lat_2=" + Num(90.0 - to.StandardParallel2) +
                   " +lat_0=" + Num(to.CentreLatitude) + " +lon_0=" + Num(to.CentreLongitude);
    }
    pipeline += " +step +proj=eqc +R=" + Num(DegreesRadius);
}

const char* TargetName(int which) { return which == 0 ? "orthographic 2048x2048" : "predefined map 1"; }

void BM_WarpBitmap(benchmark::State& state)
{
    TMapping from, to;
    TBitmap source, target;
    MakeSource(from, source);
    std::string unused;
    MakeTarget(static_cast<int>(state.range(0)), to, unused);
    TWarpOptions o;
    o.Threads = static_cast<int>(state.range(1)); // 0: every core
    for (auto _ : state)
        WarpBitmap(from, source, to, target, o);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * to.Width * to.Height);
    state.SetLabel(std::string(TargetName(static_cast<int>(state.range(0)))) +
                   (o.Threads == 1 ? ", 1 thread" : ", every core"));
}

void BM_ProjWarp(benchmark::State& state)
{
    TMapping from, to;
    TBitmap source, target;
    MakeSource(from, source);
    std::string pipeline;
    MakeTarget(static_cast<int>(state.range(0)), to, pipeline);
    PJ_CONTEXT* ctx = proj_context_create();
    PJ* pj = proj_create(ctx, pipeline.c_str());
    if (!pj) {
        state.SkipWithError(("PROJ rejects " + pipeline).c_str());
        proj_context_destroy(ctx);
        return;
    }
    const int w = to.Width, h = to.Height;
    const double rw = 1.0 / w, ox = to.GetOffsetX(), oy = to.GetOffsetY();
    std::vector<double> x(w), y(w);
    for (auto _ : state) {
        target.SetPixelFormat(pf24bit);
        target.SetSize(w, h);
        for (int row = 0; row < h; ++row) {
            for (int i = 0; i < w; ++i) {
                x[i] = (i - ox) * rw - 0.5;
                y[i] = (to.CentreRow - (row + oy)) * rw;
            }
            proj_trans_generic(pj, PJ_FWD, x.data(), sizeof(double), w, y.data(), sizeof(double), w, nullptr, 0, 0,
                               nullptr, 0, 0);
            uint8_t* out = target.ScanLine(row);
            for (int i = 0; i < w; ++i) {
                const double sx = std::nearbyint(SourceWidth * (x[i] + 180) / 360);
                const double sy = std::nearbyint((1 - (y[i] + 90) / 180) * SourceHeight);
                uint8_t* p = out + 3 * i;
                if (std::isfinite(sx) && std::isfinite(sy) && sx >= 0 && sy >= 0 && sx < SourceWidth &&
                    sy < SourceHeight) {
                    const uint8_t* s = source.ScanLine(static_cast<int>(sy)) + 3 * static_cast<int>(sx);
                    p[0] = s[0];
                    p[1] = s[1];
                    p[2] = s[2];
                } else {
                    p[0] = p[1] = p[2] = 0;
                }
            }
        }
        benchmark::DoNotOptimize(target.ScanLine(0));
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * w * h);
    state.SetLabel(std::string(TargetName(static_cast<int>(state.range(0)))) + ", PROJ, 1 thread");
    proj_destroy(pj);
    proj_context_destroy(ctx);
}

BENCHMARK(BM_WarpBitmap)->Args({0, 1})->Args({0, 0})->Args({1, 1})->Args({1, 0})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ProjWarp)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
