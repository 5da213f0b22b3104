// SPDX-License-Identifier: GPL-3.0-or-later
// TMapping: worked figures, setter rules, failure rules and the inverse.
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "mapping/Mapping.h"
#include "mapping/PredefinedMaps.h"
#include "startup/Startup.h"

namespace {

constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float Inf = std::numeric_limits<float>::infinity();

TMapping Make(int kind, int w, int h, float lon = 0, float lat = 0, float latSpan = 0, float lonSpan = 0)
{
    TMapping m;
    m.SetProjection(static_cast<uint8_t>(kind));
    m.SetHeight(h);
    m.SetWidth(w);
    if (lonSpan != 0)
        m.SetLongitudeSpan(lonSpan);
    if (latSpan != 0)
        m.SetLatitudeSpan(latSpan);
    m.SetCentreLongitude(lon);
    m.SetCentreLatitude(lat);
    return m;
}

TEST(RoundToInt32, HalvesGoToEven)
{
    struct Case { double v; int32_t want; } cases[] = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {2.4999, 2}, {2.5001, 3},
        {2147483647.0, 2147483647}, {-2147483648.0, std::numeric_limits<int32_t>::min()},
    };
    for (const Case& c : cases) {
        int32_t r = 99;
        ASSERT_TRUE(RoundToInt32(c.v, r)) << c.v;
        EXPECT_EQ(r, c.want) << c.v;
    }
    for (double bad : {2147483648.0, -2147483649.0, 1e30, double(NaN), double(Inf), -double(Inf)}) {
        int32_t r = 7;
        EXPECT_FALSE(RoundToInt32(bad, r)) << bad;
        EXPECT_EQ(r, 7);
    }
}

TEST(GeoToPixel, FreshMapSeesNothingAndKeepsXY)
{
    TMapping m;
    int32_t x = 12, y = -5;
    EXPECT_FALSE(m.GeoToPixel(10, 20, x, y));
    EXPECT_EQ(x, 12);
    EXPECT_EQ(y, -5);
    EXPECT_FALSE(m.IsTrueProjection());
}

TEST(GeoToPixel, CylindricalFullWorkedFigures)
{
    TMapping m = Make(1, 360, 180);
    struct Case { float lon, lat; int32_t x, y; } cases[] = {
        {190, 0, 10, 90},   // treated as -170
        {0, 90, 180, 0},    {0, -90, 180, 180},
        {-179.5f, 0, 0, 90}, // Round(0.5) = 0
        {-178.5f, 0, 2, 90}, // Round(1.5) = 2
        {-177.5f, 0.5f, 2, 90}, // Round(2.5) = 2, Round(89.5) = 90
        {540, 0, 360, 90},  // 540 wraps to 180
    };
    for (const Case& c : cases) {
        int32_t x = -1, y = -1;
        EXPECT_TRUE(m.GeoToPixel(c.lon, c.lat, x, y));
        EXPECT_EQ(x, c.x) << c.lon << "," << c.lat;
        EXPECT_EQ(y, c.y) << c.lon << "," << c.lat;
    }
}

TEST(PredefinedMaps, WorkedFiguresAndParallels)
{
    TUnitLifetime units;
    TMapping* m1 = GetPredefinedMap(1);
    ASSERT_NE(m1, nullptr);
    int32_t x = 0, y = 0;
    EXPECT_TRUE(m1->GeoToPixel(140, 35, x, y));
    EXPECT_EQ(x, 870);
    EXPECT_EQ(y, 311);
    double fx, fy;
    m1->ProjectPoint(140, 35, fx, fy);
    EXPECT_NEAR(fx, 699.0, 0.05);
    EXPECT_NEAR(fy, 310.9, 0.05);
    EXPECT_FLOAT_EQ(m1->StandardParallel1, 44.5f);
    EXPECT_FLOAT_EQ(m1->StandardParallel2, 44.0f);
    EXPECT_EQ(m1->GetOffsetX(), 171);

    TMapping* m4 = GetPredefinedMap(4);
    ASSERT_NE(m4, nullptr);
    EXPECT_TRUE(m4->GeoToPixel(0, 90, x, y));
    EXPECT_EQ(x, 503);
    EXPECT_EQ(y, 132);

    TMapping* m2 = GetPredefinedMap(2);
    EXPECT_EQ(m2->GetWidth(), 4096);
    EXPECT_EQ(m2->GetOffsetX(), 684);
    EXPECT_FLOAT_EQ(m2->StandardParallel1, 44.5f);
    TMapping* m3 = GetPredefinedMap(3);
    EXPECT_EQ(m3->Projection, 9);
    EXPECT_EQ(m3->GetOffsetX(), 137);
    EXPECT_EQ(GetPredefinedMap(0), nullptr);
    EXPECT_EQ(GetPredefinedMap(5), nullptr);
}

TEST(PredefinedMaps, FirstPassOfMapOneLeavesParallelsAtCentre)
{
    // What the first pass alone gives: the centre latitude set after the
    // parallels overwrites them.
    TMapping m;
    m.SetProjection(10);
    m.SetStandardParallel1(44.5f);
    m.SetStandardParallel2(44.0f);
    m.SetCentreLatitude(25.7f);
    EXPECT_FLOAT_EQ(m.StandardParallel1, 25.7f);
    EXPECT_FLOAT_EQ(m.StandardParallel2, 25.7f);
}

TEST(PredefinedMaps, FreedAtShutdown)
{
    InitializeUnits();
    EXPECT_NE(GetPredefinedMap(1), nullptr);
    FinalizeUnits();
    EXPECT_EQ(GetPredefinedMap(1), nullptr);
}

TEST(Setters, CentreLatitudeZeroOnPolarAndConicKinds)
{
    struct Case { int kind; float stored; bool southern; } cases[] = {
        {9, -0.001f, true}, {10, -0.001f, true}, {1, 0.0f, false}, {3, 0.0f, false}, {13, 0.0f, false},
    };
    for (const Case& c : cases) {
        TMapping m;
        m.SetProjection(static_cast<uint8_t>(c.kind));
        m.SetCentreLatitude(0);
        EXPECT_FLOAT_EQ(m.CentreLatitude, c.stored) << c.kind;
        EXPECT_EQ(m.Southern, c.southern) << c.kind;
        EXPECT_FLOAT_EQ(m.StandardParallel1, c.stored);
    }
    TMapping m;
    m.SetProjection(9);
    m.SetCentreLatitude(0.0005f);
    EXPECT_FLOAT_EQ(m.CentreLatitude, 0.001f);
    EXPECT_FALSE(m.Southern);
}

TEST(Setters, OffsetXResetByEverySetterOffsetYKept)
{
    using Setter = void (*)(TMapping&);
    const Setter setters[] = {
        [](TMapping& m) { m.SetProjection(2); },      [](TMapping& m) { m.SetHeight(10); },
        [](TMapping& m) { m.SetWidth(10); },          [](TMapping& m) { m.SetLatitudeSpan(10); },
        [](TMapping& m) { m.SetLongitudeSpan(10); },  [](TMapping& m) { m.SetCentreLongitude(10); },
        [](TMapping& m) { m.SetCentreLatitude(10); }, [](TMapping& m) { m.SetStandardParallel1(10); },
        [](TMapping& m) { m.SetStandardParallel2(10); },
    };
    for (Setter s : setters) {
        TMapping m = Make(2, 100, 100, 0, 0, 10, 10);
        m.SetOffsetX(10);
        m.SetOffsetY(10);
        s(m);
        EXPECT_EQ(m.GetOffsetX(), 0);
        EXPECT_EQ(m.GetOffsetY(), 10);
    }
}

TEST(Setters, SizesAndReciprocals)
{
    TMapping m;
    m.SetHeight(400);
    m.SetWidth(800);
    EXPECT_FLOAT_EQ(m.RecipHeight, 1.0f / 400);
    EXPECT_FLOAT_EQ(m.RecipWidth, 1.0f / 800);
    EXPECT_EQ(m.CentreRow, 200);
    m.SetHeight(0);
    m.SetWidth(0);
    EXPECT_FLOAT_EQ(m.RecipHeight, 1.0f / 400); // kept
    EXPECT_FLOAT_EQ(m.RecipWidth, 1.0f / 800);
    m.SetHeight(-7);
    EXPECT_EQ(m.CentreRow, -3); // div truncates toward zero
    EXPECT_EQ(m.GetClipHeight(), 0);
    EXPECT_EQ(m.GetClipWidth(), 0);
}

TEST(Setters, LatitudeSpanCutAt180ExceptGreatCircle)
{
    TMapping m;
    m.SetProjection(13);
    m.SetLatitudeSpan(200);
    EXPECT_FLOAT_EQ(m.LatitudeSpan, 200);
    m.SetProjection(3);
    EXPECT_FLOAT_EQ(m.LatitudeSpan, 180);
}

TEST(Setters, DefaultScales)
{
    struct Case { int kind; float scale; } cases[] = {
        {3, 0.75f}, {4, 0.4f}, {7, 0.8f}, {8, 0.8f}, {9, 1.7f}, {11, 0.4f}, {12, 0.155f},
    };
    for (const Case& c : cases) {
        TMapping m;
        m.SetProjection(static_cast<uint8_t>(c.kind));
        EXPECT_FLOAT_EQ(m.Scale, c.scale) << c.kind;
    }
    TMapping m;
    m.SetProjection(3);
    m.SetProjection(1); // kinds without a default keep the scale
    EXPECT_FLOAT_EQ(m.Scale, 0.75f);
}

TEST(Setters, LambertFailureKeepsLaterConstants)
{
    TMapping m;
    ConfigurePredefinedMap(m, 1);
    m.SetStandardParallel1(90);
    const float aF = m.AF, rho0 = m.Rho0;
    EXPECT_NE(m.N, 0.0f);
    // Both parallels at 90: the colatitudes are 0, n = sin 0 = 0 and 1 / n fails.
    m.SetStandardParallel2(90);
    EXPECT_EQ(m.N, 0.0f);
    EXPECT_EQ(m.AF, aF);
    EXPECT_EQ(m.Rho0, rho0);
}

TEST(CopyFrom, CopiesSettingsInOrderAndAssignGoesThroughIt)
{
    TMapping src;
    ConfigurePredefinedMap(src, 1);
    src.Rotation = 12;
    src.Sector = 3;
    src.SetOffsetY(-4);
    TMapping dst;
    dst.Assign(&src);
    EXPECT_EQ(dst.Projection, 10);
    EXPECT_FLOAT_EQ(dst.StandardParallel1, 44.5f);
    EXPECT_FLOAT_EQ(dst.StandardParallel2, 44.0f);
    EXPECT_EQ(dst.GetOffsetX(), 171);
    EXPECT_EQ(dst.GetOffsetY(), -4);
    EXPECT_EQ(dst.Sector, 3);
    EXPECT_FLOAT_EQ(dst.Rotation, 12);
    EXPECT_FLOAT_EQ(dst.AF, src.AF);
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    src.GeoToPixel(140, 35, x1, y1);
    dst.GeoToPixel(140, 35, x2, y2);
    EXPECT_EQ(x1, x2);
    EXPECT_EQ(y1, y2);

    struct Derived : TMapping {
        int copies = 0;
        void CopyFrom(const TMapping* s) override { ++copies; TMapping::CopyFrom(s); }
    } d;
    d.Assign(&src);
    EXPECT_EQ(d.copies, 1);
}

TEST(CopyFrom, SelfAndNullAreNoOps)
{
    TMapping m;
    ConfigurePredefinedMap(m, 1);
    m.Assign(&m);
    EXPECT_FLOAT_EQ(m.StandardParallel1, 44.5f);
    EXPECT_EQ(m.GetOffsetX(), 171);
    m.Assign(nullptr);
    EXPECT_EQ(m.GetOffsetX(), 171);
}

TEST(GeoToPixel, DistanceAndViewLimits)
{
    // Distance from (0, 0) along the equator: 1 degree is 111.32 km.
    struct Case { int kind; float lon; bool visible; } cases[] = {
        {7, 56.0f, true},  {7, 57.0f, false},   // 6300 km is 56.6 degrees
        {3, 57.0f, true},  {3, 107.0f, true}, {3, 108.0f, false}, // 12000 km is 107.8
        {4, 107.0f, true}, {4, 108.0f, false},
        {11, 80.0f, true}, {11, 108.0f, false},
        {10, 89.0f, true}, {10, 90.0f, false}, // 10000 km is 89.8
        {8, 55.0f, true},  {8, 57.0f, false},
    };
    for (const Case& c : cases) {
        TMapping m = Make(c.kind, 1000, 1000, 0, c.kind == 10 ? 0.001f : 0);
        int32_t x = -77, y = -88;
        EXPECT_EQ(m.GeoToPixel(c.lon, 0, x, y), c.visible) << c.kind << " " << c.lon;
        if (!c.visible && c.kind != 11) {
            EXPECT_EQ(x, -77); // not computed
            EXPECT_EQ(y, -88);
        }
    }
}

TEST(GeoToPixel, LinearisedOrthographicViewAngles)
{
    TMapping m = Make(8, 1000, 1000, 0, 30);
    int32_t x, y;
    EXPECT_TRUE(m.GeoToPixel(0, 30 + 50, x, y));
    EXPECT_FALSE(m.GeoToPixel(0, 30 + 50.0f + 10.5f, x, y)); // view latitude 60.5 (and still within 6300 km? no)
    EXPECT_FALSE(m.GeoToPixel(0, -30.5f, x, y));             // 60.5 south of the centre
}

TEST(GeoToPixel, GnomonicComputesCentrePixelBeyondHemisphere)
{
    TMapping m = Make(11, 1000, 800, 0, 0);
    int32_t x = 1, y = 1;
    EXPECT_FALSE(m.GeoToPixel(95, 0, x, y)); // beyond 90 degrees, within 12000 km
    EXPECT_EQ(x, 500);
    EXPECT_EQ(y, 400);
    // The centre itself is visible.
    EXPECT_TRUE(m.GeoToPixel(0, 0, x, y));
    EXPECT_EQ(x, 500);
    EXPECT_EQ(y, 400);
}

TEST(GeoToPixel, ZoomedMercatorComputesXOutsideImage)
{
    TMapping m = Make(6, 1000, 800, 10, 50, 40, 60);
    int32_t x = 0, y = 0;
    EXPECT_FALSE(m.GeoToPixel(-30, 50, x, y));
    EXPECT_LT(x, 0);
    EXPECT_NEAR(y, 400, 1);
    EXPECT_TRUE(m.GeoToPixel(10, 50, x, y));
    EXPECT_EQ(x, 500);
}

TEST(GeoToPixel, VanDerGrintenPolesAndSectors)
{
    TMapping m = Make(12, 1000, 1000, 0, 0);
    double fx, fy;
    m.ProjectPoint(0, 90, fx, fy);
    EXPECT_NEAR(fx, 500, 1e-6);
    EXPECT_NEAR(fy, 500 - 1000 * M_PI * 0.155, 1e-3);
    m.ProjectPoint(77, -90, fx, fy);
    EXPECT_NEAR(fy, 500 + 1000 * M_PI * 0.155, 1e-3);

    double gx, gy, sx, sy;
    m.ProjectPoint(40, 30, gx, gy);
    m.Sector = 9;
    m.ProjectPoint(40, 30, sx, sy);
    EXPECT_NEAR(sx - 500, 3 * (gx - 500), 1e-3);
    EXPECT_NEAR(sy - 500, 3 * (gy - 500), 1e-3);
}

TEST(GeoToPixel, GreatCircleAntipodeOnFlatImage)
{
    TMapping m = Make(13, 200, 100, 0, 0);
    EXPECT_NEAR(m.Scale, 0.5 / (2 * M_PI), 1e-7);
    double fx, fy;
    EXPECT_EQ(m.ProjectPoint(180, 0, fx, fy), TMapping::prComputed);
    EXPECT_NEAR(std::hypot(fx - 100, fy - 50), 50, 1e-3);
}

TEST(GeoToPixel, RotationNinetyTurnsEastIntoDown)
{
    for (int kind : {3, 4, 7, 8, 11}) {
        TMapping m = Make(kind, 1000, 1000, 0, 0);
        m.Rotation = 90;
        double fx, fy;
        ASSERT_EQ(m.ProjectPoint(20, 0, fx, fy), TMapping::prComputed) << kind;
        EXPECT_NEAR(fx, 500, 1e-6) << kind;
        EXPECT_GT(fy, 500) << kind;
    }
}

TEST(GeoToPixel, OffsetsApplyAlsoToValuesPassedIn)
{
    TMapping m = Make(7, 100, 100, 0, 0);
    m.SetOffsetX(5);
    m.SetOffsetY(3);
    int32_t x = 10, y = 10;
    EXPECT_FALSE(m.GeoToPixel(170, 0, x, y)); // beyond the limit
    EXPECT_EQ(x, 15);
    EXPECT_EQ(y, 7);
    EXPECT_TRUE(m.GeoToPixel(0, 0, x, y));
    EXPECT_EQ(x, 55);
    EXPECT_EQ(y, 47);
}

TEST(GeoToPixel, ExtremeInputsNeitherCrashNorHang)
{
    const float values[] = {NaN, Inf, -Inf, 1e30f, -1e30f, 3.4e38f, 0, 90, -90, 180, 1e-30f};
    for (int kind = 0; kind <= 15; ++kind) {
        for (float setting : values) {
            TMapping m;
            m.SetProjection(static_cast<uint8_t>(kind));
            m.SetHeight(kind % 2 ? 0 : -100);
            m.SetWidth(kind % 3 ? 500 : 0);
            m.SetLongitudeSpan(setting);
            m.SetLatitudeSpan(setting);
            m.SetCentreLatitude(setting);
            m.SetCentreLongitude(setting);
            m.Sector = static_cast<uint8_t>(kind);
            for (float lon : values)
                for (float lat : values) {
                    int32_t x = 0, y = 0;
                    m.GeoToPixel(lon, lat, x, y);
                    float a, b;
                    m.PixelToGeo(x, y, a, b);
                }
        }
    }
    SUCCEED();
}

TEST(GeoToPixel, NonFiniteSettingsGiveFalse)
{
    TMapping m = Make(2, 100, 100, 0, 0, 10, 10);
    m.SetLongitudeSpan(0);
    int32_t x = 3, y = 4;
    EXPECT_FALSE(m.GeoToPixel(1, 1, x, y)); // division by a zero span
    m = Make(5, 100, 100);
    EXPECT_TRUE(m.GeoToPixel(0, 180, x, y)); // MercatorY fails and returns the latitude: finite
    // A Mercator pole is finite in double but far beyond 32 bits on a big image.
    m = Make(5, 2000000000, 100);
    EXPECT_FALSE(m.GeoToPixel(0, 90, x, y));
}

TEST(Helpers, GreatCircleDistance)
{
    float d = -1;
    ASSERT_TRUE(GreatCircleDistance(d, 0, 0, 90, 0));
    EXPECT_NEAR(d, M_PI / 2 * 6378.135, 0.01);
    ASSERT_TRUE(GreatCircleDistance(d, 12.3f, 45.6f, 12.3f, 45.6f));
    EXPECT_NEAR(d, 0, 1e-3); // the cosine rounded past 1 is clamped
    d = -1;
    EXPECT_FALSE(GreatCircleDistance(d, NaN, 0, 0, 0));
    EXPECT_EQ(d, -1);
}

TEST(Helpers, MercatorAndInverse)
{
    EXPECT_EQ(MercatorY(0), 0);
    EXPECT_NEAR(MercatorY(45), std::log(std::tan(M_PI / 4 + M_PI / 8)) * 180 / M_PI, 1e-4);
    EXPECT_NEAR(MercatorY(-45), -MercatorY(45), 1e-6);
    EXPECT_EQ(MercatorY(100), 100);  // tan is negative: the argument comes back
    EXPECT_EQ(MercatorY(-100), -100);
    for (float lat : {-85.0f, -30.0f, 0.0f, 12.5f, 60.0f, 85.0f})
        EXPECT_NEAR(InverseMercatorY(MercatorY(lat)), lat, 1e-4) << lat;
    EXPECT_EQ(InverseMercatorY(1e6f), 1e6f); // exp overflows
}

TEST(PixelToGeo, FailureRules)
{
    float lon, lat;
    TMapping zero;
    zero.SetProjection(1);
    EXPECT_FALSE(zero.PixelToGeo(0, 0, lon, lat));
    TMapping m8 = Make(8, 100, 100);
    EXPECT_FALSE(m8.PixelToGeo(50, 50, lon, lat));
    TMapping m7 = Make(7, 1000, 1000);
    EXPECT_FALSE(m7.PixelToGeo(500 + 801, 500, lon, lat)); // farther than Scale widths
    EXPECT_TRUE(m7.PixelToGeo(500 + 799, 500, lon, lat));
    TMapping m13 = Make(13, 1000, 1000, 0, 0, 0);
    const double limit = 2 * M_PI * m13.Scale * 1000;
    EXPECT_FALSE(m13.PixelToGeo(500 + static_cast<int>(limit) + 1, 500, lon, lat));
    EXPECT_TRUE(m13.PixelToGeo(500 + static_cast<int>(limit) - 2, 500, lon, lat));
}

TEST(PixelToGeo, WorkedFigures)
{
    float lon = 1, lat = 1;
    TMapping m1 = Make(1, 360, 180);
    ASSERT_TRUE(m1.PixelToGeo(360, 0, lon, lat));
    EXPECT_FLOAT_EQ(lon, -180);
    EXPECT_FLOAT_EQ(lat, 90);
    ASSERT_TRUE(m1.PixelToGeo(180, 90, lon, lat));
    EXPECT_NEAR(lon, 0, 1e-4); // through the single reciprocal of the width
    EXPECT_NEAR(lat, 0, 1e-4);

    for (int kind : {3, 4, 7, 11, 13}) {
        TMapping m = Make(kind, 1000, 800, 37.5f, -12.25f, 30);
        ASSERT_TRUE(m.PixelToGeo(500, 400, lon, lat)) << kind;
        EXPECT_EQ(lon, 37.5f) << kind;
        EXPECT_EQ(lat, -12.25f) << kind;
    }

    TMapping m9 = Make(9, 800, 800, 170, 60, 40);
    int32_t x, y;
    ASSERT_TRUE(m9.GeoToPixel(0, 90, x, y));
    ASSERT_TRUE(m9.PixelToGeo(x, y, lon, lat));
    EXPECT_NEAR(lat, 90, 0.2);
    ASSERT_TRUE(m9.GeoToPixel(-175, 60, x, y));
    ASSERT_TRUE(m9.PixelToGeo(x, y, lon, lat));
    EXPECT_NEAR(lon, 185, 0.2); // not reduced
    TMapping s9 = Make(9, 800, 800, 0, -70, 40);
    ASSERT_TRUE(s9.GeoToPixel(0, -90, x, y));
    ASSERT_TRUE(s9.PixelToGeo(x, y, lon, lat));
    EXPECT_NEAR(lat, -90, 0.2);
}

TEST(PixelToGeo, OffsetsAreRemoved)
{
    TMapping m = Make(3, 1000, 1000, 20, 30);
    float a1, b1, a2, b2;
    ASSERT_TRUE(m.PixelToGeo(300, 700, a1, b1));
    m.SetOffsetX(10);
    ASSERT_TRUE(m.PixelToGeo(310, 700, a2, b2));
    EXPECT_EQ(a1, a2);
    EXPECT_EQ(b1, b2);
    m.SetOffsetX(0);
    m.SetOffsetY(10);
    ASSERT_TRUE(m.PixelToGeo(300, 690, a2, b2));
    EXPECT_EQ(a1, a2);
    EXPECT_EQ(b1, b2);
}

TEST(PixelToGeo, VanDerGrintenSectorOneIsTopLeftQuarter)
{
    TMapping full = Make(12, 1000, 1000, 0, 0);
    TMapping zoom = Make(12, 1000, 1000, 0, 0);
    zoom.Sector = 1;
    float a1, b1, a2, b2;
    // Pixel (700, 800) of the sector is pixel (350, 400) of the full map.
    ASSERT_TRUE(zoom.PixelToGeo(700, 800, a1, b1));
    ASSERT_TRUE(full.PixelToGeo(350, 400, a2, b2));
    EXPECT_NEAR(a1, a2, 1e-3);
    EXPECT_NEAR(b1, b2, 1e-3);
    // Outside the bounding circle nothing is reached.
    EXPECT_FALSE(full.PixelToGeo(0, 0, a1, b1));
    // The centre, where the cubic degenerates (0 / 0), is the centre.
    TMapping exact = Make(12, 1024, 1024, 15, 0);
    ASSERT_TRUE(exact.PixelToGeo(512, 512, a1, b1));
    EXPECT_EQ(a1, 15);
    EXPECT_EQ(b1, 0);
}

// Each invertible kind takes the pixel GeoToPixel gives back to a position
// that GeoToPixel puts on that same pixel (within 0.05 of it unrounded).
struct RoundTripCase {
    const char* name;
    int kind, w, h;
    float lon, lat, latSpan, lonSpan, rotation;
    int sector;
    float sp1 = 0, sp2 = 0; // set after the centre when not 0
};

class RoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, PixelToGeoUndoesGeoToPixel)
{
    const RoundTripCase& c = GetParam();
    TMapping m = Make(c.kind, c.w, c.h, c.lon, c.lat, c.latSpan, c.lonSpan);
    m.Rotation = c.rotation;
    m.Sector = static_cast<uint8_t>(c.sector);
    if (c.sp1 != 0)
        m.SetStandardParallel1(c.sp1);
    if (c.sp2 != 0)
        m.SetStandardParallel2(c.sp2);
    // The great-circle inverse reaches past the antipode (up to 2 pi from
    // the centre), where no forward point lands: only the disc inside it.
    const double antipode = M_PI * m.Scale * c.w;
    int tried = 0;
    for (int py = 0; py < c.h; py += c.h / 23) {
        for (int px = 0; px < c.w; px += c.w / 29) {
            float lon, lat;
            if (c.kind == 13 && std::hypot(px - c.w / 2.0, py - m.CentreRow) > antipode - 1)
                continue;
            if (!m.PixelToGeo(px, py, lon, lat))
                continue;
            double fx, fy;
            if (m.ProjectPoint(lon, lat, fx, fy) != TMapping::prComputed)
                continue;
            ++tried;
            EXPECT_NEAR(fx, px, 0.05) << c.name << " pixel " << px << "," << py << " -> " << lon << "," << lat;
            EXPECT_NEAR(fy, py, 0.05) << c.name << " pixel " << px << "," << py << " -> " << lon << "," << lat;
        }
    }
    EXPECT_GT(tried, 100) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RoundTrip,
    ::testing::Values(RoundTripCase{"k1", 1, 1000, 500, 0, 0, 0, 0, 0, 0},
                      RoundTripCase{"k2", 2, 1000, 700, 170, 20, 50, 70, 0, 0},
                      RoundTripCase{"k14", 14, 900, 900, -30, -40, 40, 40, 0, 0},
                      RoundTripCase{"k5", 5, 1000, 900, 0, 0, 0, 0, 0, 0},
                      RoundTripCase{"k6", 6, 1000, 800, 10, 50, 40, 60, 0, 0},
                      RoundTripCase{"k3", 3, 1000, 1000, 30, 40, 0, 0, 0, 0},
                      RoundTripCase{"k3_rotated", 3, 1000, 1000, 30, 40, 0, 0, 25, 0},
                      RoundTripCase{"k4", 4, 1000, 800, -60, -20, 90, 0, 0, 0},
                      RoundTripCase{"k7", 7, 1000, 1000, -20, 50, 60, 0, 0, 0},
                      RoundTripCase{"k7_rotated", 7, 1000, 1000, -20, 50, 60, 0, -40, 0},
                      RoundTripCase{"k9_north", 9, 1078, 877, -45, 90, 101.68f, 0, 0, 0},
                      RoundTripCase{"k9_south_odd", 9, 801, 799, 60, -70, 40, 0, 0, 0},
                      RoundTripCase{"k10", 10, 1024, 1024, 128.5f, 25.7f, 46.6f, 0, 0, 0, 44.5f, 44.0f},
                      RoundTripCase{"k10_south", 10, 1000, 1000, 20, -30, 40, 0, 0, 0, 65, 55},
                      RoundTripCase{"k11", 11, 1000, 800, 140, 35, 50, 0, 0, 0},
                      RoundTripCase{"k11_rotated", 11, 1000, 800, 140, 35, 50, 0, 60, 0},
                      RoundTripCase{"k12", 12, 1000, 1000, 10, 0, 0, 0, 0, 0},
                      RoundTripCase{"k12_sector7", 12, 1000, 1000, 10, 0, 0, 0, 0, 7},
                      RoundTripCase{"k13", 13, 1000, 700, 100, 10, 120, 0, 0, 0},
                      RoundTripCase{"k13_north_pole", 13, 1000, 1000, 0, 90, 0, 0, 0, 0},
                      RoundTripCase{"k13_south_pole", 13, 1000, 1000, 0, -90, 0, 0, 0, 0}),
    [](const ::testing::TestParamInfo<RoundTripCase>& info) { return std::string(info.param.name); });

TEST(RoundTrip, PredefinedMaps)
{
    for (int i = 1; i <= 4; ++i) {
        TMapping m;
        ConfigurePredefinedMap(m, i);
        int ok = 0;
        for (float lat = 10; lat <= 60; lat += 5)
            for (float lon = 100; lon <= 160; lon += 5) {
                int32_t x, y;
                if (!m.GeoToPixel(lon, lat, x, y))
                    continue;
                float a, b;
                ASSERT_TRUE(m.PixelToGeo(x, y, a, b)) << i;
                int32_t x2, y2;
                ASSERT_TRUE(m.GeoToPixel(a, b, x2, y2));
                EXPECT_EQ(x, x2) << "map " << i << " " << lon << "," << lat;
                EXPECT_EQ(y, y2) << "map " << i << " " << lon << "," << lat;
                ++ok;
            }
        EXPECT_GT(ok, 50) << i;
    }
}

} // namespace
