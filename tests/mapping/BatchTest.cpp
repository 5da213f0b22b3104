// SPDX-License-Identifier: GPL-3.0-or-later
// The array transforms give, element by element, exactly what the per-point
// calls give: the same pixels, flags, angles and untouched values.
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "mapping/SimdKernels.h"
#include "mapping/Mapping.h"

namespace {

// Map states per kind: plain, off-centre with spans, rotated or in a sector,
// southern, with offsets, and one built without SetCentreLatitude.
std::vector<TMapping> States()
{
    std::vector<TMapping> maps;
    for (int kind = 0; kind <= 15; ++kind)
        for (int variant = 0; variant < 4; ++variant) {
            TMapping m;
            m.SetProjection(static_cast<uint8_t>(kind));
            m.SetHeight(variant == 2 ? 301 : 600);
            m.SetWidth(800);
            m.Sector = static_cast<uint8_t>(variant == 1 ? 7 : 0);
            m.Rotation = variant == 1 ? 30.0f : 0.0f;
            if (variant != 0) {
                m.SetLongitudeSpan(variant == 3 ? 200.0f : 90.0f);
                m.SetLatitudeSpan(60);
            }
            m.SetCentreLongitude(variant == 3 ? 170.0f : 20.0f);
            if (variant != 3)
                m.SetCentreLatitude(variant == 2 ? -35.0f : 40.0f);
            if (variant == 2) {
                m.SetOffsetX(-17);
                m.SetOffsetY(9);
            }
            maps.push_back(m);
        }
    return maps;
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Both the baseline (SSE2) kernels and the best this processor runs.
class Batch : public ::testing::TestWithParam<TSimdLevel> {
protected:
    void SetUp() override { LimitSimdLevel(GetParam()); }
    void TearDown() override { LimitSimdLevel(TSimdLevel::Avx512); }
};

INSTANTIATE_TEST_SUITE_P(Levels, Batch, ::testing::Values(TSimdLevel::Baseline, BestSimdLevel()),
                         [](const auto& info) { return std::string(info.index == 0 ? "Baseline" : "Best"); });

// Element by element, the array transforms of every map against the
// per-point ones; with Special, also points on the poles, the centre
// meridian and its antimeridian, the centre, and pixels millions out.
void ExpectBatchEqualsPerPoint(const std::vector<TMapping>& states, bool special, size_t N = 3000)
{
    std::mt19937 rng(12);
    std::uniform_real_distribution<float> lonD(-400, 400), latD(-95, 95);
    std::uniform_int_distribution<int32_t> xD(-200, 1000);
    std::vector<float> lon(N), lat(N), outLon(N), outLat(N);
    std::vector<int32_t> x(N), y(N), px(N), py(N);
    std::vector<uint8_t> flag(N);
    std::vector<double> fx(N), fy(N);
    std::vector<TMapping::TProjectResult> pr(N);
    for (const TMapping& m : states) {
        for (size_t i = 0; i < N; ++i) {
            lon[i] = i % 97 == 0 ? std::numeric_limits<float>::quiet_NaN() : lonD(rng);
            lat[i] = i % 89 == 5 ? 2000.0f * float(i) : latD(rng); // far latitudes take another path in SLEEF
            x[i] = px[i] = xD(rng);
            y[i] = py[i] = xD(rng);
            if (special) {
                if (i % 53 == 7)
                    lat[i] = i % 2 ? 90.0f : -90.0f;
                if (i % 61 == 3)
                    lon[i] = m.CentreLongitude + (i % 3 == 0 ? 180.0f : 0.0f);
                if (i % 71 == 9)
                    x[i] = px[i] = 3000000 * static_cast<int32_t>(i % 3 - 1);
                if (i % 67 == 2)
                    y[i] = py[i] = m.CentreRow; // on the centre row and, now and then, column
                if (i % 134 == 2)
                    x[i] = px[i] = m.Width / 2;
            }
            outLon[i] = outLat[i] = 7.5f;
        }
        m.GeoToPixel(lon, lat, x, y, flag);
        for (size_t i = 0; i < N; ++i) {
            int32_t ex = px[i], ey = py[i];
            const bool v = m.GeoToPixel(lon[i], lat[i], ex, ey);
            ASSERT_EQ(flag[i], v) << int(m.Projection) << " " << lon[i] << " " << lat[i];
            ASSERT_EQ(x[i], ex) << int(m.Projection) << " " << lon[i] << " " << lat[i];
            ASSERT_EQ(y[i], ey) << int(m.Projection) << " " << lon[i] << " " << lat[i];
        }
        m.ProjectPoints(lon, lat, fx, fy, pr);
        for (size_t i = 0; i < N; ++i) {
            double ex = 0, ey = 0;
            ASSERT_EQ(pr[i], m.ProjectPoint(lon[i], lat[i], ex, ey));
            if (pr[i] != TMapping::prNotComputed) {
                ASSERT_EQ(std::memcmp(&fx[i], &ex, sizeof ex), 0) << int(m.Projection);
                ASSERT_EQ(std::memcmp(&fy[i], &ey, sizeof ey), 0) << int(m.Projection) << " " << lon[i] << " " << lat[i];
            }
        }
        m.PixelToGeo(px, py, outLon, outLat, flag);
        for (size_t i = 0; i < N; ++i) {
            float el = 7.5f, ea = 7.5f;
            const bool ok = m.PixelToGeo(px[i], py[i], el, ea);
            ASSERT_EQ(flag[i], ok) << int(m.Projection) << " " << px[i] << " " << py[i];
            ASSERT_TRUE(SameBits(outLon[i], el) && SameBits(outLat[i], ea))
                << int(m.Projection) << " " << px[i] << " " << py[i];
        }
    }
}

TEST_P(Batch, EqualsThePerPointCallsBitForBit)
{
    SCOPED_TRACE(SimdKernels().Name);
    ExpectBatchEqualsPerPoint(States(), false);
}

// Lengths that end in a part of a vector and of a pass of vectors.
TEST_P(Batch, EqualsThePerPointCallsForAnyLength)
{
    SCOPED_TRACE(SimdKernels().Name);
    for (size_t n : {1, 3, 7, 67, 2999})
        ExpectBatchEqualsPerPoint(States(), false, n);
}

// Maps whose kernels take branches the plain states miss: centres on the
// poles, every Van der Grinten sector, a cone whose constant is 0, a
// centre longitude far out.
TEST_P(Batch, EqualsThePerPointCallsOnPolesSectorsAndEdges)
{
    SCOPED_TRACE(SimdKernels().Name);
    std::vector<TMapping> maps;
    auto add = [&](int kind, float lon, float lat, auto&& more) {
        TMapping m;
        m.SetProjection(static_cast<uint8_t>(kind));
        m.SetHeight(500);
        m.SetWidth(700);
        m.SetCentreLongitude(lon);
        m.SetCentreLatitude(lat);
        more(m);
        maps.push_back(m);
    };
    const auto none = [](TMapping&) {};
    for (int kind : {3, 7, 8, 9, 10, 11, 13})
        for (float lat : {90.0f, -90.0f, 0.0f})
            add(kind, -30, lat, none);
    for (int sector = 1; sector <= 13; ++sector)
        add(12, 40, 0, [&](TMapping& m) { m.Sector = static_cast<uint8_t>(sector); });
    add(10, 128.5f, 25.7f, [](TMapping& m) { // both parallels at 90: n = 0
        m.SetStandardParallel1(90);
        m.SetStandardParallel2(90);
    });
    add(10, -100, -40, [](TMapping& m) { m.SetStandardParallel2(-60); });
    add(13, 400, 20, none);
    add(12, 1000, 0, none);
    ExpectBatchEqualsPerPoint(maps, true);
}

// Every kind with a centre that is not finite (as a fuzzed map may have):
// NaNs and infinities run through the kernels as through the per-point
// code, down to the bits of FX and FY.
TEST_P(Batch, EqualsThePerPointCallsWithCentresNotFinite)
{
    SCOPED_TRACE(SimdKernels().Name);
    std::vector<TMapping> maps;
    for (int kind = 0; kind <= 15; ++kind)
        for (float centre : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity()}) {
            TMapping m;
            m.SetProjection(static_cast<uint8_t>(kind));
            m.SetHeight(800);
            m.SetWidth(1000);
            m.Sector = 4;
            m.Rotation = 60;
            m.SetLatitudeSpan(40);
            m.SetCentreLongitude(centre);
            m.SetCentreLatitude(kind % 2 ? centre : 20.0f);
            maps.push_back(m);
        }
    ExpectBatchEqualsPerPoint(maps, true, 300);
}

TEST(BatchLengths, ArraysOfDifferentLengthsAreRefused)
{
    TMapping m;
    std::vector<float> a(3), b(2);
    std::vector<int32_t> x(3), y(3);
    std::vector<uint8_t> f(3);
    EXPECT_THROW(m.GeoToPixel(a, b, x, y, f), std::invalid_argument);
    EXPECT_THROW(m.PixelToGeo(x, y, a, b, f), std::invalid_argument);
}

} // namespace
