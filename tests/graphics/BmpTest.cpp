// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "PictureTestSupport.h"
#include "graphics/ExtBitmap.h"
#include "runtime/BmpCodec.h"

namespace {

// A BMP with a 40-byte info header (or `headerSize` bytes, masks inside for
// 52 and more), a colour table of `tableEntries` entries, then `pixels`.
struct BmpSpec {
    int width = 4, height = 2, bpp = 8;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    uint32_t clrUsed = 0, clrImportant = 0;
    int tableEntries = -1;          // -1: 2^bpp for palette files, else 0
    int64_t offBits = -1;           // -1: right after the table
    int64_t sizeImage = -1;         // -1: the pixel bytes' size
    uint32_t masks[4] = {0, 0, 0, 0};
    Bytes pixels;
};

Bytes BuildBmp(const BmpSpec& s)
{
    int entries = s.tableEntries >= 0 ? s.tableEntries : (s.bpp <= 8 ? 1 << s.bpp : 0);
    uint32_t off = s.offBits >= 0 ? uint32_t(s.offBits) : 14 + s.headerSize + 4 * entries;
    Bytes b = {'B', 'M'};
    Put32(b, 0);
    Put32(b, 0);
    Put32(b, off);
    Put32(b, s.headerSize);
    Put32(b, uint32_t(s.width));
    Put32(b, uint32_t(s.height));
    Put16(b, 1);
    Put16(b, s.bpp);
    Put32(b, s.compression);
    Put32(b, s.sizeImage >= 0 ? uint32_t(s.sizeImage) : uint32_t(s.pixels.size()));
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, s.clrUsed);
    Put32(b, s.clrImportant);
    if (s.headerSize >= 52)
        for (int i = 0; i < 4; ++i)
            Put32(b, s.masks[i]);
    b.resize(14 + s.headerSize, 0);
    for (int i = 0; i < entries; ++i) {
        b.push_back(uint8_t(i * 3));      // blue
        b.push_back(uint8_t(i * 5));      // green
        b.push_back(uint8_t(255 - i));    // red
        b.push_back(0);
    }
    b.resize(std::max<size_t>(b.size(), off), 0);
    b.insert(b.end(), s.pixels.begin(), s.pixels.end());
    uint32_t size = uint32_t(b.size());
    std::memcpy(&b[2], &size, 4);
    return b;
}

TColor TableColour(int i) { return RGB(uint8_t(255 - i), uint8_t(i * 5), uint8_t(i * 3)); }

// 8-bit rows of a w x h image, bottom-up, padded: pixel value (x + 7y) % n.
Bytes Rows8(int w, int h, int n)
{
    Bytes out;
    int stride = (w + 3) & ~3;
    for (int fileRow = 0; fileRow < h; ++fileRow) {
        int y = h - 1 - fileRow;
        for (int x = 0; x < stride; ++x)
            out.push_back(x < w ? uint8_t((x + 7 * y) % n) : 0);
    }
    return out;
}

void ExpectIndices8(const TBitmap& b, int n)
{
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x)
            ASSERT_EQ(b.ScanLine(y)[x], (x + 7 * y) % n) << "at " << x << "," << y;
}

void LoadExt(TExtBitmap& b, const Bytes& bytes)
{
    TMemoryStream s = StreamOf(bytes);
    b.LoadFromStream(s);
}

} // namespace

TEST(Bmp, WriterAndReaderRoundTripEveryFormat)
{
    for (TPixelFormat f : {pf1bit, pf4bit, pf8bit, pf16bit, pf24bit, pf32bit}) {
        SCOPED_TRACE(BitsPerPixelOf(f));
        TBitmap a;
        a.SetPixelFormat(f);
        if (BitsPerPixelOf(f) <= 8) {
            TPalette p;
            for (int i = 0; i < (1 << BitsPerPixelOf(f)); ++i)
                p.push_back({uint8_t(i * 13), uint8_t(255 - i), uint8_t(i * 7), 0});
            a.SetPalette(p);
        }
        a.SetSize(11, 5);
        for (int y = 0; y < 5; ++y)
            for (int i = 0; i < (11 * BitsPerPixelOf(f) + 7) / 8; ++i) // the padding stays 0
                a.ScanLine(y)[i] = uint8_t(i * 31 + y * 7);
        TMemoryStream s;
        a.SaveToStream(s);
        const uint8_t* m = s.Memory();
        uint32_t offBits;
        std::memcpy(&offBits, m + 10, 4);
        EXPECT_EQ(offBits, 54u + (BitsPerPixelOf(f) <= 8 ? 4u << BitsPerPixelOf(f) : 0u));
        s.SetPosition(0);
        TBitmap b;
        b.LoadFromStream(s);
        EXPECT_EQ(b.PixelFormat(), f);
        EXPECT_EQ(b.Width(), 11);
        EXPECT_EQ(b.PixelData(), a.PixelData());
        EXPECT_EQ(b.GetPalette(), a.GetPalette());
    }
}

TEST(Bmp, ReadsHeaderVariants)
{
    struct Case {
        const char* name;
        Bytes file;
    };
    BmpSpec base;
    base.width = 5;
    base.height = 3;
    base.pixels = Rows8(5, 3, 256);
    BmpSpec zeroSize = base;
    zeroSize.sizeImage = 0;
    BmpSpec v5 = base;
    v5.headerSize = 124;
    BmpSpec offset = base;
    offset.offBits = 14 + 40 + 1024 + 100; // a gap before the pixels
    // Top-down: the rows in the file are in display order.
    BmpSpec topDown = base;
    topDown.height = -3;
    topDown.pixels.clear();
    Bytes bottomUp = Rows8(5, 3, 256);
    for (int r = 2; r >= 0; --r)
        topDown.pixels.insert(topDown.pixels.end(), bottomUp.begin() + r * 8, bottomUp.begin() + r * 8 + 8);
    // Core (OS/2) header: 12 bytes, 3-byte table entries.
    Bytes core = {'B', 'M'};
    Put32(core, 0);
    Put32(core, 0);
    Put32(core, 14 + 12 + 3 * 256);
    Put32(core, 12);
    Put16(core, 5);
    Put16(core, 3);
    Put16(core, 1);
    Put16(core, 8);
    for (int i = 0; i < 256; ++i) {
        core.push_back(uint8_t(i * 3));
        core.push_back(uint8_t(i * 5));
        core.push_back(uint8_t(255 - i));
    }
    core.insert(core.end(), base.pixels.begin(), base.pixels.end());
    const Case cases[] = {{"info", BuildBmp(base)},   {"image size 0", BuildBmp(zeroSize)}, {"V5", BuildBmp(v5)},
                          {"offset gap", BuildBmp(offset)}, {"top-down", BuildBmp(topDown)},  {"core", core}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBitmap b;
        TMemoryStream s = StreamOf(c.file);
        b.LoadFromStream(s);
        ASSERT_EQ(b.Width(), 5);
        ASSERT_EQ(b.Height(), 3);
        ExpectIndices8(b, 256);
        EXPECT_EQ(b.GetPixelColor(1, 0), TableColour(1));
    }
}

TEST(Bmp, ReadsRleAndBitFields)
{
    // RLE8: bottom row = 3 x 7, then absolute 1 2 3 (padded); end of line;
    // a delta down one row; top row = 2 x 9; end of bitmap. The middle row,
    // skipped by the delta, stays 0.
    BmpSpec rle;
    rle.width = 6;
    rle.height = 3;
    rle.compression = 1;
    rle.pixels = {3, 7, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 0, 1, 2, 9, 0, 1};
    TBitmap b;
    TMemoryStream s = StreamOf(BuildBmp(rle));
    b.LoadFromStream(s);
    const uint8_t* bottom = b.ScanLine(2);
    EXPECT_EQ(Bytes(bottom, bottom + 6), (Bytes{7, 7, 7, 1, 2, 3}));
    EXPECT_EQ(Bytes(b.ScanLine(0), b.ScanLine(0) + 6), (Bytes{9, 9, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(b.ScanLine(1), b.ScanLine(1) + 6), (Bytes{0, 0, 0, 0, 0, 0}));

    // RLE4: 5 pixels alternating 1 and 2, then absolute 3 4 5.
    BmpSpec rle4;
    rle4.width = 8;
    rle4.height = 1;
    rle4.bpp = 4;
    rle4.compression = 2;
    rle4.pixels = {5, 0x12, 0, 3, 0x34, 0x50, 0, 1};
    TMemoryStream s4 = StreamOf(BuildBmp(rle4));
    b.LoadFromStream(s4);
    EXPECT_EQ(b.PixelFormat(), pf4bit);
    EXPECT_EQ(Bytes(b.ScanLine(0), b.ScanLine(0) + 4), (Bytes{0x12, 0x12, 0x13, 0x45}));

    // 16-bit 5-6-5 bit fields in a V4 header.
    BmpSpec bf;
    bf.width = 2;
    bf.height = 1;
    bf.bpp = 16;
    bf.compression = 3;
    bf.headerSize = 108;
    bf.masks[0] = 0xF800;
    bf.masks[1] = 0x07E0;
    bf.masks[2] = 0x001F;
    bf.pixels = {0x00, 0xF8, 0xE0, 0x07};
    TMemoryStream s16 = StreamOf(BuildBmp(bf));
    b.LoadFromStream(s16);
    EXPECT_EQ(b.GetPixelColor(0, 0), RGB(255, 0, 0));
    EXPECT_EQ(b.GetPixelColor(1, 0), RGB(0, 255, 0));
}

TEST(Bmp, RefusesWhatTheFileDoesNotHold)
{
    struct Case {
        const char* name;
        BmpSpec layout;
        int cutBytes;
    };
    BmpSpec shortPixels;
    shortPixels.pixels = Rows8(4, 2, 256);
    BmpSpec noTable;
    noTable.tableEntries = 0;
    noTable.offBits = 0;
    noTable.pixels = {};
    BmpSpec huge;
    huge.width = 60000;
    huge.height = 60000;
    huge.pixels = Rows8(4, 2, 256);
    BmpSpec badBpp;
    badBpp.bpp = 7;
    BmpSpec jpeg;
    jpeg.bpp = 24;
    jpeg.compression = 4;
    jpeg.pixels = Bytes(40, 0);
    BmpSpec hugeRle;
    hugeRle.width = 20000;
    hugeRle.height = 20000;
    hugeRle.compression = 1;
    hugeRle.pixels = {0, 1};
    const Case cases[] = {
        {"pixels cut", shortPixels, 3},
        {"table cut", noTable, 0},
        {"huge", huge, 0},
        {"bits per pixel 7", badBpp, 0},
        {"jpeg", jpeg, 0},
        {"huge RLE", hugeRle, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = BuildBmp(c.layout);
        if (c.name == std::string("table cut"))
            file.resize(14 + 40 + 100);
        file.resize(file.size() - c.cutBytes);
        TBitmap b;
        TMemoryStream s = StreamOf(file);
        EXPECT_THROW(b.LoadFromStream(s), EInvalidGraphic);
    }
}

// ---- the three repairs --------------------------------------------------------------

TEST(ExtBitmap, ColourTableRepairTakesTheRightPixels)
{
    BmpSpec s;
    s.width = 6;
    s.height = 4;
    s.clrUsed = 224;
    s.clrImportant = 224;
    s.tableEntries = 256;
    s.pixels = Rows8(6, 4, 224);
    TExtBitmap b;
    LoadExt(b, BuildBmp(s));
    EXPECT_EQ(b.LastRepair(), brColourTable);
    EXPECT_EQ(b.GetPalette().size(), 224u);
    ExpectIndices8(b, 224);
    EXPECT_EQ(b.GetPixelColor(5, 0), TableColour(5));

    // Important colours 0: no repair, the same pixels through the plain loader.
    s.clrImportant = 0;
    TExtBitmap plain;
    LoadExt(plain, BuildBmp(s));
    EXPECT_EQ(plain.LastRepair(), brNone);
    ExpectIndices8(plain, 224);

    // Never on a 24-bit file or one whose table is not all there.
    BmpSpec rgb;
    rgb.bpp = 24;
    rgb.width = 2;
    rgb.height = 1;
    rgb.clrUsed = rgb.clrImportant = 200;
    rgb.pixels = {1, 2, 3, 4, 5, 6, 0, 0};
    TExtBitmap b24;
    LoadExt(b24, BuildBmp(rgb));
    EXPECT_EQ(b24.LastRepair(), brNone);
    EXPECT_EQ(b24.GetPixelColor(1, 0), RGB(6, 5, 4));
    BmpSpec shortTable = s;
    shortTable.clrImportant = 200;
    shortTable.clrUsed = 200;
    shortTable.tableEntries = 200;
    shortTable.pixels = Rows8(6, 4, 200);
    TExtBitmap b200;
    LoadExt(b200, BuildBmp(shortTable));
    EXPECT_EQ(b200.LastRepair(), brNone);
    ExpectIndices8(b200, 200);
}

TEST(ExtBitmap, ImageSizeRepair)
{
    struct Case {
        const char* name;
        int height;
        int64_t sizeImage;
        TBmpRepair repair;
    };
    const Case cases[] = {
        {"size 0", 10, 0, brImageSize},
        {"correct size", 10, 2080 * 10, brNone},
        {"top-down, size 0", -10, 0, brImageSize},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BmpSpec s;
        s.width = 2080;
        s.height = c.height;
        s.sizeImage = c.sizeImage;
        s.pixels = Rows8(2080, 10, 256);
        TExtBitmap b;
        LoadExt(b, BuildBmp(s));
        EXPECT_EQ(b.LastRepair(), c.repair);
        EXPECT_EQ(b.Height(), 10);
        if (c.height > 0)
            ExpectIndices8(b, 256);
    }
}

TEST(ExtBitmap, TrimmedRetry)
{
    // An RLE file without an end-of-bitmap marker, with two stray bytes that
    // start an absolute run the file does not hold: rejected as it is,
    // readable without them.
    BmpSpec s;
    s.width = 3;
    s.height = 1;
    s.compression = 1;
    s.sizeImage = 0;
    s.pixels = {3, 5, 0, 9};
    TExtBitmap b;
    LoadExt(b, BuildBmp(s));
    EXPECT_EQ(b.LastRepair(), brTrimmed);
    EXPECT_EQ(Bytes(b.ScanLine(0), b.ScanLine(0) + 3), (Bytes{5, 5, 5}));

    // When the retry fails too, its error is what the caller sees.
    TExtBitmap bad;
    TMemoryStream junk = StreamOf(Bytes(100, 'x'));
    EXPECT_THROW(bad.LoadFromStream(junk), EInvalidGraphic);
}

TEST(ExtBitmap, StreamNotAtItsStartSkipsTheHeaderRepairs)
{
    BmpSpec s;
    s.width = 6;
    s.height = 4;
    s.clrUsed = s.clrImportant = 224;
    s.tableEntries = 256;
    s.pixels = Rows8(6, 4, 224);
    Bytes file = BuildBmp(s);
    file.insert(file.begin(), {1, 2, 3});
    TMemoryStream stream = StreamOf(file);
    stream.SetPosition(3);
    TExtBitmap b;
    b.LoadFromStream(stream);
    EXPECT_EQ(b.LastRepair(), brNone);
    ExpectIndices8(b, 224);
}

TEST(ExtBitmap, SavingA24BitBitmapWritesNoPalette)
{
    TExtBitmap b;
    b.SetPixelFormat(pf24bit);
    b.SetPalette({{1, 2, 3, 0}});
    b.SetSize(3, 2);
    std::string path = (std::filesystem::temp_directory_path() / "quillon-ext24.bmp").string();
    b.SaveToFile(path);
    TMemoryStream s;
    s.LoadFromFile(path);
    std::filesystem::remove(path);
    uint32_t offBits;
    std::memcpy(&offBits, s.Memory() + 10, 4);
    EXPECT_EQ(offBits, 54u);
    EXPECT_TRUE(b.GetPalette().empty());
}

TEST(ExtBitmap, HistogramAndRegistration)
{
    TExtBitmap b;
    ASSERT_NE(b.Histogram(), nullptr);
    EXPECT_EQ(b.Histogram()->BinCount, 256);
    InitializeBMPExtImage();
    const TFileFormat* f = TPicture::FindFileFormat("Bmp");
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(f->GraphicClass.Create()->ClassName(), "TExtBitmap");
    EXPECT_EQ(f->Description, "Windows bitmap");
}

TEST(Histogram, CreateAndClear)
{
    struct Case {
        int bins;
        size_t size;
    };
    for (Case c : {Case{256, 256}, Case{0, 0}, Case{-3, 0}}) {
        TvkqHistogram h(c.bins);
        EXPECT_EQ(h.BinCount, c.bins);
        EXPECT_EQ(h.Bins.size(), c.size);
        EXPECT_FLOAT_EQ(h.LowerLimit, 0.5f);
        EXPECT_FLOAT_EQ(h.UpperLimit, 99.5f);
        if (!h.Bins.empty())
            h.Bins[3] = 9;
        h.FirstCounter = 4;
        h.Valid = true;
        h.LowerLimit = 2;
        h.Clear();
        EXPECT_TRUE(std::all_of(h.Bins.begin(), h.Bins.end(), [](uint32_t v) { return v == 0; }));
        EXPECT_EQ(h.FirstCounter, 0u);
        EXPECT_FALSE(h.Valid);
        EXPECT_FLOAT_EQ(h.LowerLimit, 2);
    }
}

// ---- bmpsuite ----------------------------------------------------------------------

TEST(Bmp, BmpSuiteGoodFilesShowTheSamePicture)
{
    auto dir = PictureCorpus("bmpsuite/g");
    ASSERT_FALSE(dir.empty()) << "picture corpus missing";
    TBitmap ref;
    ref.LoadFromFile((dir / "rgb24.bmp").string());
    // Files that draw the reference picture, and how far their colours may
    // be from it (palette files hold a quantised copy, 16-bit files 5 or 6
    // bits per channel).
    const std::pair<const char*, int> same[] = {
        {"pal8.bmp", 64}, {"pal8-0.bmp", 64}, {"pal8os2.bmp", 64}, {"pal8rle.bmp", 64}, {"pal8topdown.bmp", 64},
        {"pal8v4.bmp", 64}, {"pal8v5.bmp", 64}, {"rgb16.bmp", 8}, {"rgb16-565.bmp", 8}, {"rgb16bfdef.bmp", 8},
        {"rgb16-565pal.bmp", 8}, {"rgb24pal.bmp", 0}, {"rgb32.bmp", 0}, {"rgb32bf.bmp", 0}, {"rgb32bfdef.bmp", 0}};
    for (auto [name, tolerance] : same) {
        SCOPED_TRACE(name);
        TBitmap b;
        b.LoadFromFile((dir / name).string());
        ASSERT_EQ(b.Width(), ref.Width());
        ASSERT_EQ(b.Height(), ref.Height());
        int worst = 0;
        for (int y = 0; y < b.Height(); ++y)
            for (int x = 0; x < b.Width(); ++x) {
                TColor p = b.GetPixelColor(x, y), q = ref.GetPixelColor(x, y);
                worst = std::max({worst, std::abs(GetRValue(p) - GetRValue(q)), std::abs(GetGValue(p) - GetGValue(q)),
                                  std::abs(GetBValue(p) - GetBValue(q))});
            }
        EXPECT_LE(worst, tolerance);
    }
    for (const auto& path : FilesIn(dir, ".bmp")) {
        SCOPED_TRACE(path.filename().string());
        TBitmap b;
        EXPECT_NO_THROW(b.LoadFromFile(path.string()));
    }
}

TEST(Bmp, BmpSuiteBadAndQuestionableFilesNeverCrash)
{
    auto bad = FilesIn(PictureCorpus("bmpsuite/b"), ".bmp");
    auto questionable = FilesIn(PictureCorpus("bmpsuite/q"), ".bmp");
    ASSERT_FALSE(bad.empty()) << "picture corpus missing";
    int refused = 0;
    for (const auto& list : {bad, questionable})
        for (const auto& path : list) {
            SCOPED_TRACE(path.filename().string());
            TExtBitmap b;
            try {
                b.LoadFromFile(path.string());
            } catch (const EInvalidGraphic&) {
                ++refused;
            }
        }
    EXPECT_GT(refused, 5);
}
