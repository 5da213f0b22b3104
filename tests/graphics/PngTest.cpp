// SPDX-License-Identifier: GPL-3.0-or-later
#include <png.h>
#include <gtest/gtest.h>

#include <csetjmp>
#include <fstream>
#include <zlib.h>
#include <cstring>

#include "PictureTestSupport.h"
#include "graphics/PictureFiles.h"
#include "graphics/PngImage.h"

namespace {

// ---- a PNG writer for test files, driven straight through libpng ----------------

struct PngSpec {
    uint32_t width = 5, height = 3;
    int colorType = PNG_COLOR_TYPE_RGB;
    int bitDepth = 8;
    bool interlace = false;
    bool trns = false;
    double gamma = 0;         // 0: no gAMA
    bool bkgd = false;
    png_color_16 background{};
    bool time = false;
    png_time stamp{2005, 3, 15, 12, 34, 56}; // written when time is set
    std::vector<std::pair<std::string, std::string>> texts;
    int textCompression = PNG_TEXT_COMPRESSION_NONE; // of every text chunk
};

void WriteBytes(png_structp png, png_bytep data, size_t n)
{
    auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void NoFlush(png_structp) {}

// Sample values that vary by row, column and channel.
Bytes Pixels(const PngSpec& s, size_t& rowBytes)
{
    int channels = s.colorType == PNG_COLOR_TYPE_RGB ? 3 : s.colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                 : s.colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : 1;
    rowBytes = (size_t(s.width) * channels * s.bitDepth + 7) / 8;
    Bytes b(rowBytes * s.height);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<uint8_t>(i * 37 + (i / rowBytes) * 11 + 5);
    if (s.colorType == PNG_COLOR_TYPE_PALETTE && s.bitDepth == 8)
        for (auto& v : b)
            v %= 16;
    return b;
}

Bytes MakePng(const PngSpec& s)
{
    Bytes out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    size_t rowBytes;
    Bytes pixels = Pixels(s, rowBytes);
    std::vector<png_bytep> rows(s.height);
    for (uint32_t i = 0; i < s.height; ++i)
        rows[i] = pixels.data() + i * rowBytes;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "test PNG writer failed";
        return {};
    }
    png_set_write_fn(png, &out, WriteBytes, NoFlush);
    png_set_IHDR(png, info, s.width, s.height, s.bitDepth, s.colorType,
                 s.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, 0, 0);
    png_color palette[16];
    for (int i = 0; i < 16; ++i)
        palette[i] = png_color{uint8_t(i * 16), uint8_t(255 - i * 16), uint8_t(i * 7)};
    if (s.colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, palette, std::min(16, 1 << s.bitDepth));
    if (s.trns) {
        if (s.colorType == PNG_COLOR_TYPE_PALETTE) {
            png_byte alpha[3] = {0, 128, 200};
            png_set_tRNS(png, info, alpha, 3, nullptr);
        } else {
            png_color_16 key{};
            key.gray = 1;
            key.red = 5;
            key.green = 42;
            key.blue = 79;
            png_set_tRNS(png, info, nullptr, 0, &key);
        }
    }
    if (s.gamma > 0)
        png_set_gAMA(png, info, s.gamma);
    if (s.bkgd)
        png_set_bKGD(png, info, &s.background);
    if (s.time) {
        png_set_tIME(png, info, &s.stamp);
    }
    std::vector<png_text> texts;
    for (const auto& [k, v] : s.texts) {
        png_text t{};
        t.compression = s.textCompression;
        t.key = const_cast<char*>(k.c_str());
        t.text = const_cast<char*>(v.c_str());
        t.text_length = v.size();
        texts.push_back(t);
    }
    if (!texts.empty())
        png_set_text(png, info, texts.data(), static_cast<int>(texts.size()));
    png_write_info(png, info);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// ---- the reference: libpng driven directly with the reader's transformations ----

struct Source {
    const Bytes* bytes;
    size_t pos;
};
void ReadBytes(png_structp png, png_bytep data, size_t n)
{
    auto* s = static_cast<Source*>(png_get_io_ptr(png));
    if (s->bytes->size() - s->pos < n)
        png_error(png, "short");
    std::memcpy(data, s->bytes->data() + s->pos, n);
    s->pos += n;
}

Bytes ReferenceRead(const Bytes& file, bool expand)
{
    Source src{&file, 0};
    Bytes image;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return {};
    }
    png_set_read_fn(png, &src, ReadBytes);
    png_read_info(png, info);
    int depth = png_get_bit_depth(png, info), type = png_get_color_type(png, info);
    if (expand && type == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (type == PNG_COLOR_TYPE_GRAY && depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(png);
    if (expand && (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA))
        png_set_gray_to_rgb(png);
    double gamma;
    png_set_gamma(png, 2.2, png_get_gAMA(png, info, &gamma) ? gamma : 0.45455);
    png_set_invert_alpha(png);
    if (depth < 8)
        png_set_packing(png);
    else if (depth == 16)
        png_set_swap(png);
    if (png_get_interlace_type(png, info) == PNG_INTERLACE_ADAM7)
        png_set_interlace_handling(png);
    png_read_update_info(png, info);
    size_t rowBytes = png_get_rowbytes(png, info);
    uint32_t height = png_get_image_height(png, info);
    image.assign(rowBytes * height, 0);
    rows.resize(height);
    for (uint32_t i = 0; i < height; ++i)
        rows[i] = image.data() + i * rowBytes;
    png_read_image(png, rows.data());
    png_read_end(png, info);
    png_destroy_read_struct(&png, &info, nullptr);
    return image;
}

void Read(const Bytes& bytes, TPngImage& image)
{
    TMemoryStream s = StreamOf(bytes);
    image.ReadFromStream(s);
}

// A stream whose reads fail after `limit` bytes with an exception of its own.
struct StreamFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};
class FailingStream : public TMemoryStream {
public:
    explicit FailingStream(int64_t limit) : limit_(limit) {}
    int64_t Read(void* buffer, int64_t count) override
    {
        if (Position() + count > limit_)
            throw StreamFailure("disk went away");
        return TMemoryStream::Read(buffer, count);
    }

private:
    int64_t limit_;
};

} // namespace

TEST(Png, ReadMatchesLibpngDrivenDirectly)
{
    struct Case {
        const char* name;
        int colorType, depth;
        bool interlace, trns;
        double gamma;
        bool expand;
    };
    const Case cases[] = {
        {"grey 1", PNG_COLOR_TYPE_GRAY, 1, false, false, 0, true},
        {"grey 2 interlaced", PNG_COLOR_TYPE_GRAY, 2, true, false, 0, true},
        {"grey 4 tRNS", PNG_COLOR_TYPE_GRAY, 4, false, true, 0, true},
        {"grey 8 gAMA", PNG_COLOR_TYPE_GRAY, 8, false, false, 1.0, true},
        {"grey 16", PNG_COLOR_TYPE_GRAY, 16, false, false, 0.45455, true},
        {"grey 8 not expanded", PNG_COLOR_TYPE_GRAY, 8, false, false, 0, false},
        {"rgb 8", PNG_COLOR_TYPE_RGB, 8, false, false, 0, true},
        {"rgb 8 interlaced tRNS", PNG_COLOR_TYPE_RGB, 8, true, true, 0.5, true},
        {"rgb 16", PNG_COLOR_TYPE_RGB, 16, false, false, 0, true},
        {"palette 1", PNG_COLOR_TYPE_PALETTE, 1, false, false, 0, true},
        {"palette 4 tRNS", PNG_COLOR_TYPE_PALETTE, 4, true, true, 0, true},
        {"palette 8 tRNS", PNG_COLOR_TYPE_PALETTE, 8, false, true, 0, true},
        {"palette 8 not expanded", PNG_COLOR_TYPE_PALETTE, 8, false, false, 0, false},
        {"grey+alpha 8", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, false, 0, true},
        {"grey+alpha 16 interlaced", PNG_COLOR_TYPE_GRAY_ALPHA, 16, true, false, 0, true},
        {"rgba 8", PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false, 0, true},
        {"rgba 16 gAMA", PNG_COLOR_TYPE_RGB_ALPHA, 16, false, false, 0.7, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PngSpec layout;
        layout.width = 13;
        layout.height = 9;
        layout.colorType = c.colorType;
        layout.bitDepth = c.depth;
        layout.interlace = c.interlace;
        layout.trns = c.trns;
        layout.gamma = c.gamma;
        Bytes file = MakePng(layout);
        TPngImage image;
        image.ExpandToRGB = c.expand;
        Read(file, image);
        Bytes expected = ReferenceRead(file, c.expand);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(image.ImageData, expected);
        EXPECT_EQ(image.Width, 13u);
        EXPECT_EQ(image.Height, 9u);
        EXPECT_EQ(image.BitDepth, c.depth);
        EXPECT_EQ(image.ColorType, c.colorType);
        EXPECT_NEAR(image.FileGamma, c.gamma, 1e-9);
        EXPECT_EQ(image.Passes, c.interlace ? 7 : 0);
        EXPECT_EQ(image.RowBytes * image.Height, expected.size());
    }
}

TEST(Png, PaletteExpansionChannelsAndPaletteCount)
{
    struct Case {
        bool expand, trns;
        int channels, paletteCount;
    };
    for (const Case& c : {Case{true, false, 3, 0}, Case{true, true, 4, 0}, Case{false, false, 1, 16}}) {
        PngSpec layout;
        layout.colorType = PNG_COLOR_TYPE_PALETTE;
        layout.trns = c.trns;
        TPngImage image;
        image.ExpandToRGB = c.expand;
        Read(MakePng(layout), image);
        EXPECT_EQ(image.Channels, c.channels);
        EXPECT_EQ(image.PaletteCount, c.paletteCount);
    }
}

TEST(Png, BackgroundColour)
{
    struct Case {
        const char* name;
        int colorType, depth;
        png_color_16 bk;
        TColor expected;
    };
    const Case cases[] = {
        {"grey 2, value 3", PNG_COLOR_TYPE_GRAY, 2, {0, 0, 0, 0, 3}, 0xFFFFFF},
        {"grey 1, value 1", PNG_COLOR_TYPE_GRAY, 1, {0, 0, 0, 0, 1}, 0xFFFFFF},
        {"grey 4, value 2", PNG_COLOR_TYPE_GRAY, 4, {0, 0, 0, 0, 2}, 0x222222},
        {"rgb 8", PNG_COLOR_TYPE_RGB, 8, {0, 10, 20, 30, 0}, RGB(10, 20, 30)},
        {"rgb 16", PNG_COLOR_TYPE_RGB, 16, {0, 0x1234, 0x5678, 0x9ABC, 0}, RGB(0x12, 0x56, 0x9A)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PngSpec layout;
        layout.colorType = c.colorType;
        layout.bitDepth = c.depth;
        layout.bkgd = true;
        layout.background = c.bk;
        TPngImage image;
        Read(MakePng(layout), image);
        EXPECT_EQ(image.BackgroundColor, c.expected);
        EXPECT_TRUE(image.Transparent);
    }
    TPngImage plain;
    Read(MakePng(PngSpec{}), plain);
    EXPECT_EQ(plain.BackgroundColor, 0);
    EXPECT_FALSE(plain.Transparent);
}

// PNG allows second 60 (a leap second); a TDateTime has no place for it, so
// it is the minute's last second. Impossible dates stay unset.
TEST(Png, TimeStampsWithALeapSecond)
{
    struct Case { png_time stamp; const char* want; } cases[] = {
        {{2016, 12, 31, 23, 59, 60}, "2016-12-31T23:59:59"},
        {{2005, 3, 15, 12, 34, 59}, "2005-03-15T12:34:59"},
        {{2005, 2, 30, 12, 34, 56}, nullptr},
    };
    for (const Case& c : cases) {
        PngSpec layout;
        layout.time = true;
        layout.stamp = c.stamp;
        TPngImage image;
        Read(MakePng(layout), image);
        if (c.want)
            EXPECT_EQ(DateTimeToIso(image.LastModified), c.want);
        else
            EXPECT_EQ(image.LastModified, 0);
    }
}

TEST(Png, TextTimeAndGamma)
{
    PngSpec layout;
    layout.time = true;
    layout.gamma = 0.5;
    layout.texts = {{"title", "Europe"}, {"Software", "Quillon"}, {"AUTHOR", "station 3"}, {"Description", "IR"}};
    TPngImage image;
    image.Title = "old";
    Read(MakePng(layout), image);
    EXPECT_EQ(image.Title, "Europe");
    EXPECT_EQ(image.Author, "station 3");
    EXPECT_EQ(image.Description, "IR");
    EXPECT_EQ(image.Software, "");
    ASSERT_EQ(image.TextList.Count(), 4);
    EXPECT_EQ(image.TextList[1], "Software=Quillon");
    EXPECT_EQ(DateTimeToIso(image.LastModified), "2005-03-15T12:34:56");
    EXPECT_DOUBLE_EQ(image.FileGamma, 0.5);
    EXPECT_DOUBLE_EQ(image.ScreenGamma, 2.2);

    // A file without the keys keeps the values of the previous read.
    Read(MakePng(PngSpec{}), image);
    EXPECT_EQ(image.Title, "Europe");
    EXPECT_EQ(image.TextList.Count(), 0);
    EXPECT_EQ(image.FileGamma, 0);
}

TEST(Png, EveryKindOfTextChunkGivesItsWholeValue)
{
    for (int kind : {PNG_TEXT_COMPRESSION_NONE, PNG_TEXT_COMPRESSION_zTXt, PNG_ITXT_COMPRESSION_NONE,
                     PNG_ITXT_COMPRESSION_zTXt}) {
        SCOPED_TRACE(kind);
        PngSpec layout;
        layout.texts = {{"Title", "Europe at noon"}, {"Comment", "channel 4"}};
        layout.textCompression = kind;
        TPngImage image;
        Read(MakePng(layout), image);
        EXPECT_EQ(image.Title, "Europe at noon");
        ASSERT_EQ(image.TextList.Count(), 2);
        EXPECT_EQ(image.TextList[1], "Comment=channel 4");
    }
}

TEST(Png, CorruptStreamsRaiseAndNeverAbort)
{
    Bytes good = MakePng(PngSpec{});
    Bytes badCrc = good;
    badCrc[29] ^= 0xFF; // inside IHDR's CRC
    Bytes cut(good.begin(), good.begin() + good.size() / 2);
    Bytes badIhdr = good;
    badIhdr[24] = 3; // bit depth 3
    for (const Bytes& bytes : {badCrc, cut, badIhdr}) {
        TPngImage image;
        TMemoryStream s = StreamOf(bytes);
        EXPECT_THROW(image.ReadFromStream(s), Exception);
    }
    TPngImage image;
    TMemoryStream three = StreamOf({0x89, 'P', 'N'});
    EXPECT_THROW(image.ReadFromStream(three), EReadError);
    TMemoryStream gif = StreamOf({'G', 'I', 'F', '8', '9', 'a'});
    try {
        image.ReadFromStream(gif);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Is not a valid PNG !");
    }
}

// A picture that cannot be read as a file is named with the reason; the
// design's own message stays the reason.
TEST(Png, LoadFailuresNameTheFileAndTheReason)
{
    InitializePngImage();
    std::string pattern = (std::filesystem::temp_directory_path() / "quillon-png-names-XXXXXX").string();
    const std::filesystem::path dir = ::mkdtemp(pattern.data());
    Bytes good = MakePng(PngSpec{});
    Bytes badIhdr = good;
    badIhdr[24] = 3; // bit depth 3
    struct Case { const char* name; Bytes bytes; std::string reason; } cases[] = {
        {"gif.png", {'G', 'I', 'F', '8', '9', 'a'}, ": Is not a valid PNG !"},
        {"cut.png", Bytes(good.begin(), good.begin() + 40), ": the file ends at byte 40"},
        {"ihdr.png", badIhdr, "(the PNG data is damaged)"},
    };
    for (const Case& c : cases) {
        const std::string file = (dir / c.name).string();
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(c.bytes.data()), c.bytes.size());
        TBitmap bitmap;
        try {
            LoadPictureAsBitmap(file, bitmap);
            ADD_FAILURE() << c.name;
        } catch (const Exception& e) {
            EXPECT_NE(e.Message().find("\"" + file + "\""), std::string::npos) << e.Message();
            EXPECT_NE(e.Message().find(c.reason), std::string::npos) << e.Message();
        }
    }
    std::filesystem::remove_all(dir);
}

TEST(Png, StreamExceptionIsRethrownAfterLibpng)
{
    Bytes good = MakePng(PngSpec{});
    FailingStream s(40);
    s.WriteBuffer(good.data(), static_cast<int64_t>(good.size()));
    s.SetPosition(0);
    TPngImage image;
    EXPECT_THROW(image.ReadFromStream(s), StreamFailure);
}

TEST(Png, RefusesSizesTheDataCannotHold)
{
    PngSpec layout;
    Bytes file = MakePng(layout);
    // IHDR width and height at 16 and 20: 1000000 x 1000000 from a few bytes.
    for (int i : {16, 20}) {
        file[i] = 0;
        file[i + 1] = 0x0F;
        file[i + 2] = 0x42;
        file[i + 3] = 0x40;
    }
    uint32_t crc = crc32(0, file.data() + 12, 17);
    file[29] = crc >> 24;
    file[30] = (crc >> 16) & 0xFF;
    file[31] = (crc >> 8) & 0xFF;
    file[32] = crc & 0xFF;
    TPngImage image;
    TMemoryStream s = StreamOf(file);
    EXPECT_THROW(image.ReadFromStream(s), Exception);
}

TEST(Png, WriteTextChunksAndRoundTrip)
{
    TBitmap bitmap;
    bitmap.SetSize(6, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            bitmap.SetPixelColor(x, y, RGB(uint8_t(x * 40), uint8_t(y * 60), 7));
    TPngImage out;
    out.CopyFromBitmap(bitmap);
    out.Author = "   ";
    out.Title = " spaced ";
    out.Software = "Quillon";
    TMemoryStream s;
    out.WriteToStream(s);

    TPngImage in;
    s.SetPosition(0);
    in.ReadFromStream(s);
    EXPECT_EQ(in.ColorType, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(in.BitDepth, 8);
    EXPECT_EQ(in.Author, "");
    EXPECT_EQ(in.Title, " spaced ");
    ASSERT_EQ(in.TextList.Count(), 2);
    EXPECT_EQ(in.TextList[0], "Software=Quillon");
    EXPECT_NE(in.LastModified, 0);
    TBitmap back;
    in.PaintToBitmap(back, 0, 0);
    // Gamma 0.45455 to 2.2 is (nearly) the identity on 8-bit samples.
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) {
            TColor a = bitmap.GetPixelColor(x, y), b = back.GetPixelColor(x, y);
            EXPECT_NEAR(GetRValue(a), GetRValue(b), 1);
            EXPECT_NEAR(GetGValue(a), GetGValue(b), 1);
        }
}

TEST(Png, WriterRefusesABufferSmallerThanTheHeader)
{
    TPngImage image;
    image.Width = 100;
    image.Height = 2;
    image.BitDepth = 8;
    image.ColorType = PNG_COLOR_TYPE_RGB;
    image.RowBytes = 10;
    image.AllocateImage();
    TMemoryStream s;
    EXPECT_THROW(image.WriteToStream(s), Exception);
}

// The PNG bytes with the time stamp's value blanked: two writes a second
// apart differ only there.
Bytes WithoutTime(Bytes png)
{
    for (size_t i = 8; i + 12 <= png.size(); i += 12 + ((size_t(png[i]) << 24) | (png[i + 1] << 16) |
                                                        (png[i + 2] << 8) | png[i + 3]))
        if (std::memcmp(&png[i + 4], "tIME", 4) == 0)
            std::fill(png.begin() + long(i) + 8, png.begin() + long(i) + 8 + 7 + 4, 0);
    return png;
}

// Written row by row from the scan lines, a bitmap of every pixel format
// gives the same bytes as its copy written whole, texts and all, and the
// bitmap is left as it was.
TEST(Png, BitmapWrittenRowByRowEqualsItsCopy)
{
    for (TPixelFormat format : {pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit}) {
        SCOPED_TRACE(int(format));
        TBitmap bitmap;
        bitmap.SetPixelFormat(format);
        if (format == pf8bit) {
            TPalette palette;
            for (int i = 0; i < 256; ++i)
                palette.push_back({uint8_t(i), uint8_t(255 - i), uint8_t(i * 7), 0});
            bitmap.SetPalette(palette);
        }
        bitmap.SetSize(37, 9);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 37; ++x)
                bitmap.SetPixelColor(x, y, RGB(uint8_t(x * 7), uint8_t(y * 29), uint8_t(x * y)));
        const Bytes before(bitmap.ScanLine(0), bitmap.ScanLine(0) + bitmap.BytesPerScanLine() * 9);

        TPngImage whole, rows;
        whole.Title = rows.Title = "grid";
        TMemoryStream a, b;
        whole.CopyFromBitmap(bitmap);
        whole.WriteToStream(a);
        rows.WriteBitmapToStream(bitmap, b);
        EXPECT_EQ(WithoutTime(BytesOf(b)), WithoutTime(BytesOf(a)));
        EXPECT_EQ(Bytes(bitmap.ScanLine(0), bitmap.ScanLine(0) + before.size()), before);
        EXPECT_EQ(rows.Width, 37u);
        EXPECT_TRUE(rows.ImageData.empty());
    }
}

TEST(Png, PaintToBitmapBlendsAndKeepsTheRest)
{
    TPngImage image;
    image.Width = 3;
    image.Height = 1;
    image.Channels = 4;
    image.BitDepth = 8;
    image.RowBytes = 12;
    image.BackgroundColor = RGB(1, 2, 3);
    image.AllocateImage();
    const uint8_t px[12] = {200, 100, 50, 0, 9, 9, 9, 255, 255, 255, 255, 128};
    std::memcpy(image.ImageData.data(), px, 12);
    TBitmap bitmap;
    bitmap.SetSize(5, 3);
    bitmap.Canvas()->Brush.Color = RGB(0, 0, 100);
    bitmap.Canvas()->FillRect(Rect(0, 0, 5, 3));
    image.PaintToBitmap(bitmap, 1, 1);
    EXPECT_EQ(bitmap.GetPixelColor(1, 1), RGB(200, 100, 50)); // opaque
    EXPECT_EQ(bitmap.GetPixelColor(2, 1), RGB(1, 2, 3));      // fully transparent: background
    // Half transparent: (128 * dest + 127 * source) div 255.
    EXPECT_EQ(bitmap.GetPixelColor(3, 1), RGB(127, 127, (128 * 100 + 127 * 255) / 255));
    EXPECT_EQ(bitmap.GetPixelColor(0, 0), RGB(0, 0, 100));    // untouched
    EXPECT_EQ(bitmap.GetPixelColor(4, 2), RGB(0, 0, 100));
    EXPECT_EQ(bitmap.Width(), 5);
}

TEST(Png, GraphicSharesItsImageAndRefusesSizes)
{
    InitializePngImage();
    auto a = std::make_unique<TPngGraphic>();
    auto b = std::make_unique<TPngGraphic>();
    EXPECT_TRUE(a->Transparent());
    TMemoryStream s = StreamOf(MakePng(PngSpec{}));
    a->LoadFromStream(s);
    b->Assign(a.get());
    EXPECT_EQ(b->Image(), a->Image());
    EXPECT_EQ(a->Image()->RefCount, 2);
    a.reset();
    EXPECT_EQ(b->Width(), 5);
    EXPECT_EQ(b->Image()->RefCount, 1);
    try {
        b->SetWidth(3);
        ADD_FAILURE();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot set width on a TPngGraphic");
    }
    EXPECT_THROW(b->SetHeight(3), Exception);
    const TFileFormat* f = TPicture::FindFileFormat("png");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Description, "Portable Network Graphics");
    FinalizePngImage();
    EXPECT_EQ(TPicture::FindFileFormat("PNG"), nullptr);
}

TEST(Png, PngSuiteLoadsOrRaises)
{
    auto files = FilesIn(PictureCorpus("pngsuite"), ".png");
    ASSERT_FALSE(files.empty()) << "picture corpus missing";
    int loaded = 0, refused = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        bool corrupt = path.filename().string()[0] == 'x';
        TPngImage image;
        try {
            image.ReadFromFile(path.string());
            EXPECT_FALSE(corrupt);
            TBitmap bitmap;
            image.PaintToBitmap(bitmap, 0, 0);
            EXPECT_EQ(uint32_t(bitmap.Width()), image.Width);
            // Byte-identical with libpng driven directly.
            std::ifstream in(path, std::ios::binary);
            Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_EQ(image.ImageData, ReferenceRead(file, true));
            ++loaded;
        } catch (const Exception& e) {
            EXPECT_TRUE(corrupt) << e.Message();
            ++refused;
        }
    }
    EXPECT_GT(loaded, 150);
    EXPECT_GT(refused, 5);
}
