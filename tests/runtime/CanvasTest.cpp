// SPDX-License-Identifier: GPL-3.0-or-later
// The canvas of the runtime (text and lines through the Qt backend, the
// estimate without one, subclasses that record), bitmaps and the picture
// registry.
#include <gtest/gtest.h>

#include <filesystem>

#include "runtime/Graphics.h"

namespace {

int CountColour(const TBitmap& b, TColor c)
{
    int n = 0;
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            n += b.GetPixelColor(x, y) == c;
    return n;
}

// A canvas that draws nothing and records the calls, as a subclass may.
class RecordingCanvas : public TCanvas {
public:
    std::vector<std::string> calls;
    void TextOut(int x, int y, std::string_view text) override
    {
        calls.push_back("text " + std::to_string(x) + "," + std::to_string(y) + " " + std::string(text));
    }
    void Polyline(const TPoint* points, int count) override
    {
        calls.push_back("polyline " + std::to_string(count) + " " + std::to_string(Pen.Style));
    }
};

} // namespace

TEST(Canvas, TextIsMeasuredAndDrawnInTheFontColour)
{
    TBitmap b;
    b.SetSize(80, 30);
    TCanvas* c = b.Canvas();
    c->Brush.Style = bsClear;
    c->Font.Name = "Small Fonts";
    c->Font.Size = 7;
    c->Font.Color = clRed;
    int w1 = c->TextWidth("8"), w3 = c->TextWidth("888");
    EXPECT_GT(w1, 0);
    EXPECT_GT(w3, 2 * w1);
    int h7 = c->TextHeight("8");
    EXPECT_GT(h7, 0);
    c->Font.Size = 14;
    EXPECT_GT(c->TextHeight("8"), h7);
    EXPECT_GT(c->TextWidth("888"), w3);
    c->Font.Size = 7;
    c->TextOut(2, 2, "150\xB0W"); // the degree sign of code page 1252
    EXPECT_GT(CountColour(b, clRed), 5);
    EXPECT_EQ(CountColour(b, clRed) + CountColour(b, clBlack), 80 * 30); // hard-edged glyphs
    EXPECT_TRUE(b.Modified());
}

TEST(Canvas, MissingFontFallsBackToTheSmallSansFontAtTheSameSize)
{
    TCanvas a, b;
    a.Font.Name = "No Such Font Anywhere";
    b.Font.Name = "Another Missing Font";
    for (int size : {7, 12}) {
        a.Font.Size = b.Font.Size = size;
        EXPECT_EQ(a.TextExtent("N 45\xB0"), b.TextExtent("N 45\xB0"));
    }
    a.Font.Size = 7;
    b.Font.Size = 20;
    EXPECT_LT(a.TextHeight("X"), b.TextHeight("X"));
}

TEST(Canvas, PolylineOnTrueColourAndPaletteBitmaps)
{
    for (TPixelFormat f : {pf24bit, pf32bit, pf8bit}) {
        SCOPED_TRACE(BitsPerPixelOf(f));
        TBitmap b;
        if (f == pf8bit)
            b.SetPalette({{0, 0, 0, 0}, {255, 255, 255, 0}, {250, 0, 0, 0}});
        b.SetPixelFormat(f);
        b.SetSize(20, 10);
        TCanvas* c = b.Canvas();
        c->Pen.Color = clRed;
        c->Polyline({{1, 5}, {18, 5}});
        TColor red = f == pf8bit ? RGB(250, 0, 0) : clRed;
        EXPECT_GE(CountColour(b, red), 17);
        EXPECT_EQ(b.GetPixelColor(10, 5), red);
        EXPECT_EQ(b.GetPixelColor(10, 6), clBlack);
        // A dotted pen leaves gaps.
        c->Pen.Style = psDot;
        c->Pen.Color = clWhite;
        c->Polyline({{0, 2}, {19, 2}});
        int white = CountColour(b, clWhite);
        EXPECT_GT(white, 3);
        EXPECT_LT(white, 20);
    }
}

TEST(Canvas, RecordingSubclassSeesEveryCall)
{
    RecordingCanvas r;
    TCanvas& c = r;
    c.Pen.Style = psDot;
    c.TextOut(3, 4, "60N");
    c.Polyline({{0, 0}, {1, 1}, {2, 2}});
    c.MoveTo(0, 0);
    c.LineTo(5, 5);
    EXPECT_EQ(r.calls, (std::vector<std::string>{"text 3,4 60N", "polyline 3 2", "polyline 2 2"}));
}

TEST(Canvas, WithoutABackendTextIsEstimatedAndNotDrawn)
{
    TCanvasBackend* saved = CanvasBackend();
    SetCanvasBackend(nullptr);
    TBitmap b;
    b.SetSize(30, 10);
    b.Canvas()->Font.Color = clWhite;
    b.Canvas()->TextOut(0, 0, "abc");
    EXPECT_EQ(CountColour(b, clWhite), 0);
    EXPECT_EQ(b.Canvas()->TextWidth("abcd"), 2 * b.Canvas()->TextWidth("ab"));
    SetCanvasBackend(saved);
}

TEST(Bitmap, SizeChangesKeepWhatFits)
{
    TBitmap b;
    b.SetSize(4, 3);
    b.SetPixelColor(1, 1, clYellow);
    b.SetPixelColor(3, 2, clAqua);
    b.SetWidth(2);
    b.SetHeight(5);
    EXPECT_EQ(b.GetPixelColor(1, 1), clYellow);
    EXPECT_EQ(b.GetPixelColor(1, 4), clBlack);
    b.SetWidth(4);
    EXPECT_EQ(b.GetPixelColor(3, 2), clBlack);
    EXPECT_THROW(b.ScanLine(5), EInvalidGraphic);
    EXPECT_THROW(b.SetSize(100000, 100000), EOutOfMemory);
    EXPECT_EQ(b.Width(), 4);
}

// Sizes are counted in 64 bits and held to the picture size policy before
// anything is allocated: a row that would wrap an int is refused, not made
// a few bytes long.
TEST(Bitmap, SizesBeyondThePolicyAreRefused)
{
    EXPECT_EQ(TBitmap::BytesPerScanLine(1431655766, 24), int64_t(4294967300));
    struct Case { int w, h; TPixelFormat format; } cases[] = {
        {1431655766, 1, pf24bit}, {INT32_MAX, 1, pf32bit}, {20000, 20000, pf24bit}, {1 << 15, 1 << 14, pf8bit},
    };
    for (const Case& c : cases) {
        TBitmap b;
        b.SetPixelFormat(c.format);
        EXPECT_THROW(b.SetSize(c.w, c.h), EOutOfMemory) << c.w << " x " << c.h;
        EXPECT_TRUE(b.Empty());
        EXPECT_FALSE(BitmapSizeAllowed(c.w, c.h, BitsPerPixelOf(c.format)));
    }
    EXPECT_TRUE(BitmapSizeAllowed(16384, 16384, 24)); // the policy's own limit is allowed
}

TEST(Picture, RegistryByExtension)
{
    std::string dir = std::filesystem::temp_directory_path() / "quillon-picture-test";
    std::filesystem::create_directories(dir);
    TBitmap b;
    b.SetSize(3, 2);
    b.SaveToFile(dir + "/a.BMP");
    TPicture p;
    p.LoadFromFile(dir + "/a.BMP");
    EXPECT_EQ(p.Width(), 3);
    try {
        p.LoadFromFile(dir + "/a.xyz");
        ADD_FAILURE();
    } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Message(), "Unknown picture file extension (.xyz)");
    }
    EXPECT_EQ(p.Width(), 3); // kept what it held
    EXPECT_THROW(p.LoadFromFile(dir + "/missing.bmp"), EFOpenError);
    std::filesystem::remove_all(dir);
}
