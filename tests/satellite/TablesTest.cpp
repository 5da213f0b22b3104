// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "satellite/Calibration.h"
#include "satellite/Segments.h"
#include "startup/Startup.h"

namespace {

class CalibrationTables : public ::testing::Test {
protected:
    void SetUp() override { InitializeUnits(); }
};

TEST_F(CalibrationTables, MsgChannelEnds)
{
    EXPECT_EQ(MsgChannelTemps[0][255], 0.0f);           // count 0: radiance below zero
    EXPECT_NEAR(MsgChannelTemps[0][0], 335.46, 0.01);   // count 1020
    for (const TTemperatureTable& table : MsgChannelTemps) {
        // Display value runs against temperature wherever the formula applies.
        for (int i = 1; i < 256; ++i)
            if (table[i] != 0.0f)
                EXPECT_LT(table[i], table[i - 1]);
        EXPECT_GT(table[0], 200.0f);
    }
}

TEST_F(CalibrationTables, MeteosatCountEnds)
{
    for (int i = 250; i < 256; ++i)
        EXPECT_EQ(MeteosatCountTemps[0][i], 0.0f) << i;
    EXPECT_GT(MeteosatCountTemps[0][249], 0.0f);
    // Count 255 of table 0: -1267.2 / (ln((255 - 5.4) * 0.0876) - 6.7615).
    EXPECT_NEAR(MeteosatCountTemps[0][0], -1267.2 / (std::log((255 - 5.4) * 0.0876) - 6.7615), 1e-3);
}

TEST_F(CalibrationTables, LinearAndSteps)
{
    EXPECT_NEAR(LinearTemps[255], 160.25, 0.01);
    EXPECT_NEAR(LinearTemps[0], 330.25, 0.01);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(StepTemps1[i], 298.06f);
    for (int i = 244; i < 256; ++i)
        EXPECT_EQ(StepTemps1[i], 196.78f);
    EXPECT_EQ(StepTemps2[0], 263.15f);
    EXPECT_EQ(StepTemps2[255], 223.14f);
    EXPECT_EQ(StepTemps2[4 * 60], 226.0f);
}

TEST(CalibrationNamesTable, Order)
{
    ASSERT_EQ(CalibrationNames.size(), 12u);
    EXPECT_STREQ(CalibrationNames[0], "Met2WV");
    EXPECT_STREQ(CalibrationNames[9], "Met7IR");
    EXPECT_STREQ(CalibrationNames[11], "Met6IR");
}

TEST(SegmentTableData, DocumentedRows)
{
    struct Row { int index; const char* name; const char* alt; float line, pixel; int w, h; float scale, lon; };
    const Row rows[] = {
        {0, "~ImageOnly", "", 1650, 850, 800, 800, 1, 0},
        {13, "C1D_N", "D1_N", 1662, 1662, 800, 800, 0.968914f, 0},
        {55, "CTOT", "DTOT", 50, 50, 800, 800, 0.3333333f, 0},
        {68, "PDUS-J", "", 2, 2, 1250, 1250, 0.5f, 140},
        {96, "MSG1-HRV", "", 11.2f, 631.3f, 5568, 11136, 4.495761f, 0},
        {116, "FY2C-fulldisk", "", -23, -23, 2288, 2288, 0.8988f, 104.5f},
        {125, "", "ICAO-H", 0, 0, 1078, 877, 1, -45},
        {126, "~world", "", 0, 0, 1024, 512, 1, 0},
    };
    for (const Row& r : rows) {
        const TASegmentData& s = SegmentTable[r.index];
        EXPECT_EQ(s.Name, r.name);
        EXPECT_EQ(s.AltName, r.alt);
        EXPECT_EQ(s.LineOffset, r.line);
        EXPECT_EQ(s.PixelOffset, r.pixel);
        EXPECT_EQ(s.Width, r.w);
        EXPECT_EQ(s.Height, r.h);
        EXPECT_EQ(s.Scale, r.scale);
        EXPECT_EQ(s.Longitude, r.lon) << r.index;
    }
}

TEST(SegmentTableData, Regularities)
{
    // C1D..C9D tile a 3 x 3 grid; the _N variants sit on 10/836/1662.
    const float plain[3] = {1650, 850, 50};
    const float north[3] = {1662, 836, 10};
    for (int k = 0; k < 9; ++k) {
        EXPECT_EQ(SegmentTable[4 + k].LineOffset, plain[k / 3]) << k;
        EXPECT_EQ(SegmentTable[4 + k].PixelOffset, plain[k % 3]) << k;
        EXPECT_EQ(SegmentTable[13 + k].LineOffset, north[k / 3]) << k;
        EXPECT_EQ(SegmentTable[13 + k].PixelOffset, north[k % 3]) << k;
        EXPECT_EQ(SegmentTable[13 + k].Scale, 0.968914f);
        EXPECT_EQ(SegmentTable[4 + k].AltName, "D" + std::to_string(k + 1));
    }
    const std::set<int> negative = {60, 63, 73, 82, 83, 84, 87, 88, 109, 110, 111, 112, 113, 116, 117, 124};
    const std::set<float> longitudes = {0, 10, 57, 63, -75, -135, 140, 104.5f, -45};
    for (int i = 0; i < SegmentCount; ++i) {
        const TASegmentData& s = SegmentTable[i];
        EXPECT_EQ(s.LineOffset < 0 || s.PixelOffset < 0, negative.count(i) == 1) << i;
        EXPECT_TRUE(!s.Name.empty() || !s.AltName.empty()) << i;
        EXPECT_GT(s.Width, 0) << i;
        EXPECT_GT(s.Height, 0) << i;
        EXPECT_GT(s.Scale, 0.0f) << i;
        EXPECT_EQ(longitudes.count(s.Longitude), 1u) << i;
    }
    for (int i : {1, 38, 39, 40, 41, 42, 125})
        EXPECT_TRUE(SegmentTable[i].Name.empty()) << i;
    EXPECT_EQ(SegmentTable[56].Name, SegmentTable[56].AltName);
    // Visible companions: twice the size, scale 2.
    for (auto [ir, vis] : {std::pair{22, 23}, {24, 25}, {36, 37}}) {
        EXPECT_EQ(SegmentTable[vis].Width, 2 * SegmentTable[ir].Width);
        EXPECT_EQ(SegmentTable[vis].Scale, 2.0f);
    }
}

} // namespace

TEST(KelvinTableColumns, EveryTemperatureTableOnceInTableOrder)
{
    const std::vector<TCalibrationColumn> columns = KelvinTableColumns();
    std::vector<std::string> headings;
    std::vector<const TTemperatureTable*> tables;
    for (const TCalibrationColumn& c : columns) {
        headings.push_back(c.Heading);
        tables.push_back(c.Table);
    }
    const std::vector<std::string> expectedHeadings = {
        "msg0", "msg1", "msg2", "msg3", "msg4", "msg5", "msg6", "msg7", "meteosat0", "meteosat1",
        "meteosat2", "meteosat3", "meteosat4", "meteosat5", "linear", "step1", "step2"};
    std::vector<const TTemperatureTable*> expectedTables;
    for (const TTemperatureTable& t : MsgChannelTemps)
        expectedTables.push_back(&t);
    for (const TTemperatureTable& t : MeteosatCountTemps)
        expectedTables.push_back(&t);
    expectedTables.insert(expectedTables.end(), {&LinearTemps, &StepTemps1, &StepTemps2});
    EXPECT_EQ(headings, expectedHeadings);
    EXPECT_EQ(tables, expectedTables);
}
