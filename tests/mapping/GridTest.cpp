// SPDX-License-Identifier: GPL-3.0-or-later
// The latitude/longitude grid, driven through the recording canvas: which
// lines and labels each kind of map gets, and what the drawing leaves on
// the canvas.
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "mapping/DegreeSign.h"
#include "mapping/Mapping.h"
#include "runtime/RecordingCanvas.h"

namespace {

using Op = TCanvasCall::TOp;
const std::string Deg = "\xB0"; // the degree sign as the canvas takes it (code page 1252)

// Labels in the code page 1252 degree sign, whatever the test's locale.
class Grid : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedSign_ = DegreeSign;
        savedCharset_ = DegreeSignCharset;
        DegreeSign = "\xB0";
        DegreeSignCharset = "CP1252";
    }
    void TearDown() override
    {
        DegreeSign = savedSign_;
        DegreeSignCharset = savedCharset_;
    }

private:
    std::string savedSign_, savedCharset_;
};

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

// The label font's measures, as any canvas with that font gives them.
int Width(const std::string& s)
{
    TCanvas c;
    c.Font.Name = "Small Fonts";
    c.Font.Size = 7;
    return c.TextWidth(s);
}
int Height(const std::string& s)
{
    TCanvas c;
    c.Font.Name = "Small Fonts";
    c.Font.Size = 7;
    return c.TextHeight(s);
}

std::vector<TCanvasCall> Only(const TRecordingCanvas& rc, Op op)
{
    std::vector<TCanvasCall> out;
    for (const auto& c : rc.Calls)
        if (c.Op == op)
            out.push_back(c);
    return out;
}

bool Vertical(const TCanvasCall& c) { return c.Points.size() == 2 && c.Points[0].X == c.Points[1].X && c.Points[0].Y != c.Points[1].Y; }
bool Horizontal(const TCanvasCall& c) { return c.Points.size() == 2 && c.Points[0].Y == c.Points[1].Y; }

// The text written in the label colour (the fifth of each label's writes).
std::vector<std::string> LabelTexts(const TRecordingCanvas& rc, TColor labelColour)
{
    std::vector<std::string> out;
    TColor font = -1;
    for (const auto& c : rc.Calls) {
        if (c.Op == Op::opFontColor)
            font = c.Value;
        else if (c.Op == Op::opTextOut && font == labelColour)
            out.push_back(c.Text);
    }
    return out;
}

TPoint Pixel(const TMapping& m, float lon, float lat)
{
    int32_t x = 0, y = 0;
    m.GeoToPixel(lon, lat, x, y);
    return {x, y};
}

TEST_F(Grid, KindZeroAndAbsentTargetDrawNothing)
{
    TMapping m = Make(0, 720, 360);
    TRecordingCanvas rc;
    m.DrawGridOnCanvas(&rc, 30, 30, clWhite, clYellow, 0, 0, false, 0x1F);
    m.DrawGridOn(&rc, nullptr, 30, 30, clWhite, clYellow, 0, 0, false);
    EXPECT_TRUE(rc.Calls.empty());
    TBitmap b;
    b.SetSize(720, 360);
    b.SetModified(false);
    m.DrawGrid(&b, 30, 30, clWhite, clYellow, 0, 0, false);
    EXPECT_FALSE(b.Modified());
    TMapping one = Make(1, 720, 360, 0, 0, 180, 360);
    one.DrawGrid(nullptr, 30, 30, clWhite, clYellow, 0, 0, false);
    one.DrawGridOnCanvas(nullptr, 30, 30, clWhite, clYellow, 0, 0, false, 0);
}

TEST_F(Grid, KindOneOnSevenTwentyBySixtyWithStepsThirty)
{
    TMapping m = Make(1, 720, 360, 0, 0, 180, 360);
    TRecordingCanvas rc;
    rc.Font.Name = "Arial";
    rc.Font.Size = 12;
    m.DrawGridOn(&rc, nullptr, 30, 30, clWhite, clYellow, 0, 0, false);

    // Set-up first, the modified mark and the font restored last.
    ASSERT_GE(rc.Calls.size(), 6u);
    EXPECT_EQ(rc.Calls[0].Op, Op::opBrushStyle);
    EXPECT_EQ(rc.Calls[0].Value, bsClear);
    EXPECT_EQ(rc.Calls[1].Op, Op::opPenColor);
    EXPECT_EQ(rc.Calls[1].Value, clYellow);
    EXPECT_EQ(rc.Calls[2].Op, Op::opFontName);
    EXPECT_EQ(rc.Calls[2].Text, "Small Fonts");
    EXPECT_EQ(rc.Calls[3].Op, Op::opFontSize);
    EXPECT_EQ(rc.Calls[3].Value, 7);
    EXPECT_EQ(rc.Calls[rc.Calls.size() - 2].Op, Op::opModified);
    EXPECT_EQ(rc.Calls.back().Op, Op::opFontAssign);
    EXPECT_EQ(rc.Font.Name, "Arial");
    EXPECT_EQ(rc.Font.Size, 12);

    auto lines = Only(rc, Op::opPolyline);
    std::vector<TCanvasCall> meridians, parallels;
    for (const auto& l : lines)
        (Vertical(l) ? meridians : parallels).push_back(l);
    ASSERT_EQ(meridians.size(), 11u);
    ASSERT_EQ(parallels.size(), 5u);
    for (size_t i = 0; i < meridians.size(); ++i) {
        int lon = -150 + 30 * int(i);
        std::string text = lon == 0 ? "0" + Deg : std::to_string(std::abs(lon)) + Deg + (lon < 0 ? "W" : "E");
        const TPoint top = Pixel(m, float(lon), 89);
        EXPECT_EQ(meridians[i].Points[0], (TPoint{top.X, 360 - Height(text)})) << lon;
        EXPECT_EQ(meridians[i].Points[1], top) << lon;
    }
    for (size_t i = 0; i < parallels.size(); ++i) {
        int lat = -60 + 30 * int(i);
        std::string text = lat == 0 ? "0" + Deg : std::to_string(std::abs(lat)) + Deg + (lat < 0 ? "S" : "N");
        ASSERT_TRUE(Horizontal(parallels[i])) << lat;
        const int y = Pixel(m, -179, float(lat)).Y;
        EXPECT_EQ(parallels[i].Points[0], (TPoint{Width(text) + 4, y})) << lat;
        EXPECT_EQ(parallels[i].Points[1], (TPoint{718, y})) << lat;
    }
    // Every meridian and parallel is labelled; each label is outlined by
    // four black writes one pixel off diagonally before the white one.
    auto labels = LabelTexts(rc, clWhite);
    std::vector<std::string> want = {"150" + Deg + "W", "120" + Deg + "W", "90" + Deg + "W", "60" + Deg + "W",
                                     "30" + Deg + "W",  "0" + Deg,         "30" + Deg + "E", "60" + Deg + "E",
                                     "90" + Deg + "E",  "120" + Deg + "E", "150" + Deg + "E", "60" + Deg + "S",
                                     "30" + Deg + "S",  "0" + Deg,         "30" + Deg + "N", "60" + Deg + "N"};
    EXPECT_EQ(labels, want);
    auto outs = Only(rc, Op::opTextOut);
    ASSERT_EQ(outs.size(), 5 * want.size());
    const int dx[4] = {-1, -1, 1, 1}, dy[4] = {-1, 1, -1, 1};
    for (size_t l = 0; l < want.size(); ++l)
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(outs[5 * l + i].X, outs[5 * l + 4].X + dx[i]);
            EXPECT_EQ(outs[5 * l + i].Y, outs[5 * l + 4].Y + dy[i]);
        }
    // The 90 W label sits in the bottom strip, centred on its meridian.
    const std::string w90 = "90" + Deg + "W";
    const TCanvasCall& label = outs[5 * 2 + 4];
    EXPECT_EQ(label.Text, w90);
    EXPECT_EQ(label.X, Pixel(m, -90, 0).X - Width(w90) / 2);
    EXPECT_EQ(label.Y, 360 - (3 * Height(w90)) / 4 - Height(w90) / 2);
    // The 0 parallel's label starts 2 pixels from the left edge.
    EXPECT_EQ(outs[5 * 13 + 4].X, 2);
}

TEST_F(Grid, NoLabelsKeepsTheRoomForThem)
{
    TMapping m = Make(1, 720, 360, 0, 0, 180, 360);
    TRecordingCanvas with, without;
    m.DrawGridOn(&with, nullptr, 30, 30, clWhite, clYellow, 5, 7, false);
    m.DrawGridOn(&without, nullptr, 30, 30, clWhite, clYellow, 5, 7, true);
    EXPECT_TRUE(Only(without, Op::opTextOut).empty());
    auto a = Only(with, Op::opPolyline), b = Only(without, Op::opPolyline);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i)
        EXPECT_EQ(a[i].Points, b[i].Points);
    // The origin moves every line.
    EXPECT_EQ(b.front().Points[1], (TPoint{Pixel(m, -150, 89).X + 5, Pixel(m, -150, 89).Y + 7}));
}

TEST_F(Grid, SpecialParallelsAreDottedAndThePenStyleRestored)
{
    struct Case { int kind; TSpecialParallels specials; size_t extraLines; } cases[] = {
        {1, 0, 0},
        {1, SpecialBit(spEquator), 1},
        {1, 0x1F, 5},
        {12, SpecialBit(spEquator), 1},
    };
    for (const Case& c : cases) {
        TMapping m = Make(c.kind, 720, 360, 0, 0, 180, 360);
        TRecordingCanvas plain, rc;
        rc.Pen.Style = psDash;
        m.DrawGridOnCanvas(&plain, 30, 30, clWhite, clYellow, 0, 0, true, 0);
        m.DrawGridOnCanvas(&rc, 30, 30, clWhite, clYellow, 0, 0, true, c.specials);
        EXPECT_EQ(rc.Pen.Style, psDash) << c.kind;
        auto styles = Only(rc, Op::opPenStyle);
        ASSERT_EQ(styles.size(), 2u) << c.kind;
        EXPECT_EQ(styles[0].Value, psDot);
        EXPECT_EQ(styles[1].Value, psDash);
        // The special lines come between the two style writes.
        size_t dot = 0, restore = 0;
        for (size_t i = 0; i < rc.Calls.size(); ++i)
            if (rc.Calls[i].Op == Op::opPenStyle)
                (dot == 0 ? dot : restore) = i;
        size_t between = 0;
        for (size_t i = dot; i < restore; ++i)
            between += rc.Calls[i].Op == Op::opPolyline;
        EXPECT_EQ(between, c.extraLines) << c.kind;
        EXPECT_EQ(Only(rc, Op::opPolyline).size(), Only(plain, Op::opPolyline).size() + c.extraLines) << c.kind;
        EXPECT_TRUE(Only(rc, Op::opModified).empty());
        if (c.kind == 1 && c.specials == SpecialBit(spEquator)) {
            const TCanvasCall& eq = rc.Calls[dot + 1];
            ASSERT_EQ(eq.Op, Op::opPolyline);
            const int y = Pixel(m, -179, 0).Y;
            EXPECT_EQ(eq.Points, (std::vector<TPoint>{{0, y}, {718, y}}));
        }
    }
}

TEST_F(Grid, KindTwoAcrossTheDateLine)
{
    // Centred on 170 with a span of 40: 149..179, then -180..-169.
    TMapping m = Make(2, 800, 800, 170, 0, 40, 40);
    TRecordingCanvas rc;
    m.DrawGridOn(&rc, nullptr, 10, 10, clWhite, clYellow, 0, 0, false);
    std::vector<int> xs;
    for (const auto& l : Only(rc, Op::opPolyline))
        if (Vertical(l))
            xs.push_back(l.Points[0].X);
    std::vector<int> want;
    for (int lon : {140, 150, 160, 170, -180, -170, -160})
        want.push_back(Pixel(m, float(lon), 0).X);
    EXPECT_EQ(xs, want);
    // The -180 meridian is measured (and labelled) as 180 without W.
    bool measured180 = false;
    for (const auto& c : Only(rc, Op::opTextHeight)) {
        EXPECT_NE(c.Text, "180" + Deg + "W");
        measured180 |= c.Text == "180" + Deg;
    }
    EXPECT_TRUE(measured180);
    // Parallels -20..20 are placed from the first range's west end, 149.
    std::vector<int> ys, wantYs;
    for (const auto& l : Only(rc, Op::opPolyline))
        if (Horizontal(l))
            ys.push_back(l.Points[0].Y);
    for (int lat = -20; lat <= 20; lat += 10)
        wantYs.push_back(Pixel(m, 149, float(lat)).Y);
    EXPECT_EQ(ys, wantYs);
}

TEST_F(Grid, ReplacedSteps)
{
    struct Case { int kind; int lonStep, latStep; int lonEvery, latEvery; bool someFiner; } cases[] = {
        {3, 7, 7, 30, 15, false},
        {3, 45, 45, 30, 15, false},
        {6, 15, 15, 5, 5, true},
    };
    for (const Case& c : cases) {
        TMapping m = c.kind == 6 ? Make(6, 800, 800, 10, 10, 40, 40) : Make(3, 800, 800, 0, 0);
        TRecordingCanvas rc;
        m.DrawGridOn(&rc, nullptr, c.lonStep, c.latStep, clWhite, clYellow, 0, 0, true);
        int meridians = 0, parallels = 0;
        bool finer = false;
        // Every meridian and parallel is measured once, by its label text.
        for (const auto& t : rc.Calls) {
            if (t.Op != Op::opTextHeight && t.Op != Op::opTextWidth)
                continue;
            int n = std::stoi(t.Text);
            int every = t.Op == Op::opTextHeight ? c.lonEvery : c.latEvery;
            EXPECT_EQ(n % every, 0) << c.kind << " " << t.Text;
            finer |= n % 15 != 0;
            (t.Op == Op::opTextHeight ? meridians : parallels)++;
        }
        EXPECT_GT(meridians, 0) << c.kind;
        EXPECT_GT(parallels, 0) << c.kind;
        EXPECT_EQ(finer, c.someFiner) << c.kind;
        if (c.kind == 3) {
            EXPECT_EQ(meridians, 12);  // -180..150 every 30
            EXPECT_EQ(parallels, 11);  // -75..75 every 15
        }
    }
}

TEST_F(Grid, ZeroStepDrawsNoLinesInThatDirection)
{
    // A meridian's text is measured by its height and a parallel's by its
    // width before either is drawn: with NoLabels those are the only measures.
    struct Case { int kind; int lonStep, latStep; bool meridians, parallels; } cases[] = {
        {1, 0, 30, false, true},
        {1, 30, 0, true, false},
        {1, 0, 0, false, false},
        {12, 0, 30, false, true},
        {9, 30, 0, true, false},
        {9, 0, 30, false, true},
    };
    for (const Case& c : cases) {
        TMapping m = Make(c.kind, 720, 360, 0, c.kind == 9 ? 45 : 0, 180, 360);
        for (bool noLabels : {true, false}) {
            TRecordingCanvas rc;
            m.DrawGridOnCanvas(&rc, c.lonStep, c.latStep, clWhite, clYellow, 0, 0, noLabels, 0);
            EXPECT_EQ(rc.Calls.back().Op, Op::opFontAssign);
            if (!noLabels)
                continue;
            EXPECT_EQ(!Only(rc, Op::opTextHeight).empty(), c.meridians) << c.kind << " " << c.lonStep;
            EXPECT_EQ(!Only(rc, Op::opTextWidth).empty(), c.parallels) << c.kind << " " << c.latStep;
            if (!c.meridians && !c.parallels)
                EXPECT_TRUE(Only(rc, Op::opPolyline).empty());
        }
    }
}

TEST_F(Grid, NegativeStepsGiveNoLines)
{
    TMapping m = Make(1, 720, 360, 0, 0, 180, 360);
    TRecordingCanvas rc;
    m.DrawGridOn(&rc, nullptr, -30, -30, clWhite, clYellow, 0, 0, false);
    EXPECT_TRUE(Only(rc, Op::opPolyline).empty());
}

TEST_F(Grid, LabelsTooCloseToAnEdgeAreSkipped)
{
    // A narrow kind-1 map: the -150 label's centre is nearer the left edge
    // than half the text's width.
    TMapping m = Make(1, 100, 360, 0, 0, 180, 360);
    TRecordingCanvas rc;
    m.DrawGridOn(&rc, nullptr, 30, 30, clWhite, clYellow, 0, 0, false);
    for (const auto& t : Only(rc, Op::opTextOut)) {
        EXPECT_GE(t.X + 1, 0) << t.Text;
        EXPECT_LE(t.X - 1 + Width(t.Text) / 2 + Width(t.Text), 100) << t.Text;
    }
}

TEST_F(Grid, CurvedKindsKeepPointsNearTheImage)
{
    // Runs on the curved kinds stay within 100 pixels of the image.
    for (int kind : {3, 4, 7, 8, 9, 10, 11, 12, 13, 14}) {
        TMapping m = Make(kind, 400, 300, 20, kind == 10 ? 40 : 30, 60, 60);
        TRecordingCanvas rc;
        m.DrawGridOnCanvas(&rc, 10, 10, clWhite, clYellow, 0, 0, false, 0x1F);
        for (const auto& l : Only(rc, Op::opPolyline)) {
            EXPECT_GE(l.Points.size(), 2u) << kind;
            EXPECT_LE(l.Points.size(), 361u) << kind;
            for (const TPoint& p : l.Points) {
                EXPECT_GE(p.X, -100) << kind;
                EXPECT_GE(p.Y, -100) << kind;
                EXPECT_LE(p.X, 500) << kind;
                EXPECT_LE(p.Y, 300 + std::abs(m.GetOffsetY()) + 100 + (m.GetClipHeight() - 300)) << kind;
            }
        }
        EXPECT_EQ(rc.Calls.back().Op, Op::opFontAssign) << kind;
    }
}

TEST_F(Grid, DrawGridMarksTheBitmapAndRestoresItsFont)
{
    TMapping m = Make(1, 72, 36, 0, 0, 180, 360);
    TBitmap b;
    b.SetSize(72, 36);
    b.Canvas()->Font.Name = "Courier";
    m.DrawGrid(&b, 30, 30, clWhite, clYellow, 0, 0, true);
    EXPECT_TRUE(b.Modified());
    EXPECT_EQ(b.Canvas()->Font.Name, "Courier");
    EXPECT_EQ(b.Canvas()->Brush.Style, bsClear);
    EXPECT_EQ(b.Canvas()->Pen.Color, clYellow);
}

} // namespace

namespace {

TEST_F(Grid, LabelOfAnAnchorBeyondTheViewIsSkipped)
{
    // Orthographic view of the hemisphere around (0, 0): the meridian
    // labels sit on the equator; those beyond the view have no pixel and
    // are not written, those in view are.
    TMapping m = Make(7, 800, 800, 0, 0, 180);
    TRecordingCanvas rc;
    m.DrawGridOnCanvas(&rc, 30, 30, clWhite, clYellow, 0, 0, false, 0);
    auto labels = LabelTexts(rc, clWhite);
    auto has = [&](const std::string& s) { return std::find(labels.begin(), labels.end(), s) != labels.end(); };
    for (const std::string& s : {"30" + Deg + "E", "30" + Deg + "W"})
        EXPECT_TRUE(has(s)) << s;
    for (const std::string& s : {"120" + Deg + "E", "150" + Deg + "W", "180" + Deg})
        EXPECT_FALSE(has(s)) << s;
}

TEST_F(Grid, LabelPlacementPerKind)
{
    // Kind 12: meridian labels centred on latitude -3, no parallel labels.
    {
        TMapping m = Make(12, 800, 400, 0, 0);
        TRecordingCanvas rc;
        m.DrawGridOnCanvas(&rc, 30, 30, clWhite, clYellow, 0, 0, false, 0);
        auto labels = LabelTexts(rc, clWhite);
        ASSERT_FALSE(labels.empty());
        for (const auto& s : labels)
            EXPECT_TRUE(s.back() == 'E' || s.back() == 'W' || s == "0" + Deg || s == "180" + Deg) << s;
        TCanvasCall zero;
        TColor font = -1;
        for (const auto& c : rc.Calls) {
            if (c.Op == Op::opFontColor)
                font = c.Value;
            if (c.Op == Op::opTextOut && font == clWhite && c.Text == "0" + Deg)
                zero = c;
        }
        const TPoint a = Pixel(m, 0, -3);
        EXPECT_EQ(zero.X, a.X - Width(zero.Text) / 2);
        EXPECT_EQ(zero.Y, a.Y - Height(zero.Text) / 2);
    }
    // Kind 10 (the predefined conic map's settings): meridian labels in the
    // bottom strip, parallel labels at the left edge.
    {
        TMapping m;
        m.SetProjection(10);
        m.SetHeight(1024);
        m.SetWidth(1024);
        m.SetCentreLongitude(128.5f);
        m.SetStandardParallel1(44.5f);
        m.SetStandardParallel2(44.0f);
        m.SetCentreLatitude(25.7f);
        m.SetLatitudeSpan(46.6f);
        TRecordingCanvas rc;
        m.DrawGridOn(&rc, nullptr, 10, 10, clWhite, clYellow, 0, 0, false);
        TColor font = -1;
        int meridianLabels = 0, parallelLabels = 0;
        for (const auto& c : rc.Calls) {
            if (c.Op == Op::opFontColor)
                font = c.Value;
            if (c.Op != Op::opTextOut || font != clWhite)
                continue;
            const char last = c.Text.back();
            if (last == 'E' || last == 'W') {
                ++meridianLabels;
                EXPECT_EQ(c.Y, 1024 - (3 * Height(c.Text)) / 4 - Height(c.Text) / 2) << c.Text;
            } else if (last == 'N') {
                ++parallelLabels;
                EXPECT_EQ(c.X, 2) << c.Text;
            }
        }
        EXPECT_GT(meridianLabels, 0);
        EXPECT_GT(parallelLabels, 0);
    }
}

} // namespace
