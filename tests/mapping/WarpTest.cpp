// SPDX-License-Identifier: GPL-3.0-or-later
// WarpBitmap: a nearest-neighbour warp is the per-point transforms applied
// one pixel at a time; failures are refused before anything is drawn.
#include <algorithm>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "mapping/MapBuilder.h"
#include "mapping/Warp.h"

namespace {

TMapping FromSpec(const std::string& mapText)
{
    TMapping m;
    TMapSettings s;
    std::string error;
    EXPECT_TRUE(ParseMapSpec(mapText, s, error)) << mapText << ": " << error;
    EXPECT_TRUE(BuildMapFromSettings(s, nullptr, m, error)) << mapText << ": " << error;
    return m;
}

// A picture whose every pixel has its own colour.
void Pattern(TBitmap& b, int w, int h)
{
    b.SetPixelFormat(pf24bit);
    b.SetSize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b.SetPixelColor(x, y, RGB(uint8_t(x * 7), uint8_t(y * 5), uint8_t(x ^ y)));
}

TEST(Warp, NearestEqualsThePerPointTransformsOnEveryFamily)
{
    const std::string source = "kind=1,width=90,height=45";
    const char* targets[] = {
        "kind=2,width=40,height=30,lon-span=80,lat-span=60,centre-lon=170,centre-lat=10",
        "kind=3,width=48,height=40,centre-lon=30,centre-lat=40,rotation=20",
        "kind=5,width=40,height=40",
        "kind=6,width=40,height=30,lon-span=60,lat-span=40,centre-lat=30,offset-x=3,offset-y=2",
        "kind=7,width=48,height=48,centre-lat=45",
        "kind=9,width=40,height=36,centre-lat=-60,lat-span=50",
        "kind=10,width=48,height=48,centre-lon=128.5,centre-lat=25.7,sp1=44.5,sp2=44,lat-span=46.6",
        "kind=11,width=40,height=40,centre-lon=-20,centre-lat=10",
        "kind=12,width=50,height=40,sector=5",
        "kind=13,width=50,height=30,centre-lat=60",
        "kind=14,width=40,height=30,lon-span=90,lat-span=45",
    };
    const TMapping from = FromSpec(source);
    TBitmap in;
    Pattern(in, 90, 45);
    for (const char* mapText : targets) {
        const TMapping to = FromSpec(mapText);
        // One span a row, and (with the smallest budget) rows cut in spans.
        for (auto [threads, budget] : {std::pair<int, size_t>{1, WarpBufferBudget}, {3, WarpBufferBudget}, {2, 1}}) {
            TBitmap out;
            TWarpOptions o;
            o.Background = RGB(1, 2, 3);
            o.Threads = threads;
            o.BufferBudget = budget;
            WarpBitmap(from, in, to, out, o);
            ASSERT_EQ(out.Width(), to.Width);
            ASSERT_EQ(out.Height(), to.Height);
            size_t inside = 0;
            for (int y = 0; y < to.Height; ++y)
                for (int x = 0; x < to.Width; ++x) {
                    float lon = 0, lat = 0;
                    int32_t sx = 0, sy = 0;
                    TColor want = o.Background;
                    // The source's columns go round the world: column 90 is
                    // column 0; row 45 (the south pole) is the last row.
                    if (to.PixelToGeo(x, y, lon, lat) && from.GeoToPixel(lon, lat, sx, sy) && sx >= 0 && sy >= 0 &&
                        sx <= 90 && sy <= 45) {
                        want = in.GetPixelColor(sx % 90, std::min(sy, 44));
                        ++inside;
                    }
                    ASSERT_EQ(out.GetPixelColor(x, y), want) << mapText << " at " << x << "," << y;
                }
            EXPECT_GT(inside, size_t(to.Width)) << mapText;
        }
    }
}

TEST(Warp, BilinearOfAnEvenPictureIsEven)
{
    const TMapping from = FromSpec("kind=1,width=60,height=30");
    const TMapping to = FromSpec("kind=7,width=40,height=40,centre-lat=0,lat-span=180"); // the globe fills the height
    TBitmap in;
    in.SetPixelFormat(pf24bit);
    in.SetSize(60, 30);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x)
            in.SetPixelColor(x, y, RGB(200, 100, 50));
    TBitmap out;
    TWarpOptions o;
    o.Resample = TResample::Bilinear;
    WarpBitmap(from, in, to, out, o);
    EXPECT_EQ(out.GetPixelColor(20, 20), RGB(200, 100, 50));
    EXPECT_EQ(out.GetPixelColor(0, 0), clBlack); // off the globe
}

TEST(Warp, RefusesWhatCannotBeWarped)
{
    TBitmap in;
    Pattern(in, 60, 30);
    struct Case { std::string from, to; } cases[] = {
        {"kind=1,width=61,height=30", "kind=7,width=20,height=20"}, // picture of another size
        {"kind=1,width=60,height=30", "kind=8,width=20,height=20"}, // no inverse
        {"kind=1,width=60,height=30", "kind=0,width=20,height=20"},
        {"kind=0,width=60,height=30", "kind=1,width=20,height=20"}, // nothing visible
        {"kind=1,width=60,height=30", "kind=1,width=100000,height=100000"}, // beyond the size policy
    };
    static_assert(std::is_base_of_v<Exception, EWarpError>);
    for (const Case& c : cases) {
        TBitmap out;
        EXPECT_THROW(WarpBitmap(FromSpec(c.from), in, FromSpec(c.to), out, {}), EWarpError) << c.from << " " << c.to;
        EXPECT_EQ(out.Width(), 0);
    }
}

// A position that rounds to the column or row just past the source's far
// edge takes the edge pixel; a whole-world source wraps its columns; only
// what lies beyond the source map's span is background.
TEST(Warp, PositionsAtTheFarEdgeTakeTheEdgeOrWrap)
{
    TBitmap in;
    in.SetPixelFormat(pf24bit);
    in.SetSize(4, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            in.SetPixelColor(x, y, RGB(uint8_t(10 + 40 * x), uint8_t(10 + 80 * y), 77));
    const TColor bg = RGB(1, 2, 3);
    struct Case { const char *from, *to; int x, y, wantX, wantY; } cases[] = {
        {"kind=1,width=4,height=2", "kind=1,width=8,height=4", 7, 3, 0, 1},      // 3.5 -> 4: column 0
        {"kind=1,width=4,height=2", "kind=1,width=8,height=4", 1, 1, 0, 0},
        {"kind=2,width=4,height=2,lon-span=90,lat-span=45", "kind=2,width=8,height=4,lon-span=90,lat-span=45", 7, 3, 3, 1},
        {"kind=2,width=4,height=2,lon-span=90,lat-span=45", "kind=2,width=8,height=4,lon-span=180,lat-span=45", 7, 0, -1, -1},
    };
    for (TResample resample : {TResample::Nearest, TResample::Bilinear})
        for (const Case& c : cases) {
            TBitmap out;
            TWarpOptions o;
            o.Background = bg;
            o.Resample = resample;
            WarpBitmap(FromSpec(c.from), in, FromSpec(c.to), out, o);
            const TColor got = out.GetPixelColor(c.x, c.y);
            if (c.wantX < 0)
                EXPECT_EQ(got, bg) << c.to;
            else if (resample == TResample::Nearest)
                EXPECT_EQ(got, in.GetPixelColor(c.wantX, c.wantY)) << c.to << " " << c.x << "," << c.y;
            else
                EXPECT_NE(got, bg) << c.to << " " << c.x << "," << c.y;
        }
}

// Whole-world pictures onto maps that show the antimeridian: every pixel on
// the globe has the source's colour, none is left as background.
TEST(Warp, AWholeWorldSourceLeavesNoGapAtTheAntimeridian)
{
    const TMapping from = FromSpec("kind=1,width=72,height=36");
    TBitmap in;
    in.SetPixelFormat(pf24bit);
    in.SetSize(72, 36);
    in.Canvas()->Brush.Color = RGB(200, 100, 50);
    in.Canvas()->FillRect(Rect(0, 0, 72, 36));
    const char* targets[] = {"kind=1,width=144,height=72", "kind=12,width=120,height=80",
                             "kind=7,width=80,height=80,centre-lon=180,lat-span=180"};
    for (const char* mapText : targets)
        for (TResample resample : {TResample::Nearest, TResample::Bilinear}) {
            const TMapping to = FromSpec(mapText);
            TBitmap out;
            TWarpOptions o;
            o.Background = RGB(1, 2, 3);
            o.Resample = resample;
            WarpBitmap(from, in, to, out, o);
            int gaps = 0;
            for (int y = 0; y < to.Height; ++y)
                for (int x = 0; x < to.Width; ++x) {
                    float lon, lat;
                    gaps += to.PixelToGeo(x, y, lon, lat) && out.GetPixelColor(x, y) != RGB(200, 100, 50);
                }
            EXPECT_EQ(gaps, 0) << mapText;
        }
}

// The working buffers stay within the budget whatever the width and the
// thread count, and a wide target on many threads comes out as on one.
TEST(Warp, BuffersStayWithinTheBudgetWhateverTheThreads)
{
    for (int threads : {1, 8, 64, 1024}) {
        const TWarpPlan plan = PlanWarp(10000000, 8, threads);
        EXPECT_LE(plan.BufferBytes, WarpBufferBudget) << threads;
        EXPECT_GE(plan.Threads, std::min(threads, 8)) << threads;
    }
    const TMapping from = FromSpec("kind=1,width=90,height=45");
    const TMapping to = FromSpec("kind=1,width=200000,height=2");
    TBitmap in, one, many;
    Pattern(in, 90, 45);
    TWarpOptions o;
    o.Threads = 1;
    WarpBitmap(from, in, to, one, o);
    o.Threads = 64;
    WarpBitmap(from, in, to, many, o);
    EXPECT_EQ(one.PixelData(), many.PixelData());
}

TEST(MapSpec, ParsesBothFormsAndRefusesTheRest)
{
    TMapSettings s;
    std::string error;
    ASSERT_TRUE(ParseMapSpec("kind=10,width=1024,height=1024,centre-lon=128.5,sp1=44.5,offset-x=-171", s, error));
    EXPECT_EQ(*s.Kind, 10);
    EXPECT_EQ(*s.OffsetX, -171);
    EXPECT_DOUBLE_EQ(*s.StandardParallel1, 44.5);
    ASSERT_TRUE(ParseMapSpec("predefined:3", s, error));
    EXPECT_EQ(*s.Predefined, 3);
    EXPECT_FALSE(s.Kind);
    const char* bad[] = {"", "predefined:", "kind=1,kind=2,width=1,height=1", "kind=1,colour=2", "kind=x",
                         "kind=1,width", "kind=1,width=2,"};
    for (const char* mapText : bad)
        EXPECT_FALSE(ParseMapSpec(mapText, s, error)) << mapText;
    struct Build { const char* mapText; bool ok; } builds[] = {
        {"kind=1,width=10,height=10", true},    {"kind=1,width=0,height=10", false},
        {"kind=1,width=10,height=-1", false},   {"kind=1,width=10", false},
        {"kind=15,width=10,height=10", false},  {"kind=3,width=10,height=10,centre-lat=nan", false},
        {"kind=3,width=10,height=10,lon-span=inf", false}, {"kind=3,width=10,height=10,sector=256", false},
        {"predefined:5", false},
    };
    for (const Build& b : builds) {
        TMapping m;
        ASSERT_TRUE(ParseMapSpec(b.mapText, s, error)) << b.mapText;
        EXPECT_EQ(BuildMapFromSettings(s, nullptr, m, error), b.ok) << b.mapText;
    }
}

} // namespace
