// SPDX-License-Identifier: GPL-3.0-or-later
// The distance limits of kinds 3, 4, 7, 8, 10 and 11 agree with
// GreatCircleDistance from (CentreLongitude, CentreLatitude) in every map
// state, also before SetCentreLatitude has run.
#include <random>

#include <gtest/gtest.h>

#include "mapping/Mapping.h"

namespace {

TEST(DistanceLimit, AgreesWithGreatCircleDistanceInEveryMapState)
{
    struct Case { int kind; float limit; bool setCentreLat; float lon, lat; } cases[] = {
        {3, 12000, false, 15, 0}, {4, 12000, false, -60, 0}, {7, 6300, false, 100, 0},
        {8, 6300, false, 0, 0},   {10, 10000, false, 128, 0}, {11, 12000, false, 15, 0},
        {3, 12000, true, 15, 40}, {7, 6300, true, -20, 50},   {10, 10000, true, 128.5f, 25.7f},
        {11, 12000, true, 0, -70},
    };
    std::mt19937 rng(13);
    std::uniform_real_distribution<float> lonD(-180, 180), latD(-90, 90);
    for (const Case& c : cases) {
        TMapping m;
        m.SetProjection(static_cast<uint8_t>(c.kind));
        m.SetHeight(600);
        m.SetWidth(800);
        m.SetCentreLongitude(c.lon);
        if (c.setCentreLat)
            m.SetCentreLatitude(c.lat);
        size_t beyond = 0;
        for (int i = 0; i < 4000; ++i) {
            const float lon = lonD(rng), lat = latD(rng);
            float d = 0;
            ASSERT_TRUE(GreatCircleDistance(d, m.CentreLongitude, m.CentreLatitude, lon, lat));
            double fx, fy;
            const auto r = m.ProjectPoint(lon, lat, fx, fy);
            if (d >= c.limit + 0.01f) {
                ++beyond;
                EXPECT_EQ(r, TMapping::prNotComputed) << c.kind << " " << lon << " " << lat << " " << d;
            } else if (d < c.limit - 0.01f && (c.kind == 3 || c.kind == 4 || c.kind == 7)) {
                EXPECT_NE(r, TMapping::prNotComputed) << c.kind << " " << lon << " " << lat << " " << d;
            }
        }
        EXPECT_GT(beyond, 0u) << c.kind;
    }
    // The figure of the fault: 165 degrees from the centre is not visible.
    TMapping m;
    m.SetProjection(3);
    m.SetHeight(600);
    m.SetWidth(800);
    m.SetCentreLongitude(15);
    int32_t x = 0, y = 0;
    EXPECT_FALSE(m.GeoToPixel(180, 0, x, y));
}

} // namespace
