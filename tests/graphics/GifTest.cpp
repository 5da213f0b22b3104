// SPDX-License-Identifier: GPL-3.0-or-later
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <cstring>

#include "PictureTestSupport.h"
#include "graphics/Gif.h"

namespace {

std::vector<int> Indices(const TGIF& gif)
{
    std::vector<int> out;
    const TBitmap* b = gif.Bitmap();
    for (int y = 0; y < b->Height(); ++y)
        for (int x = 0; x < b->Width(); ++x)
            out.push_back(b->ScanLine(y)[x]);
    return out;
}

std::vector<int> Load(const Bytes& bytes, TGIF& gif)
{
    TMemoryStream s = StreamOf(bytes);
    gif.LoadFromStream(s);
    return Indices(gif);
}

// A stream that fails any read past `limit`: proves what the decoder reads.
class LimitedStream : public TMemoryStream {
public:
    explicit LimitedStream(int64_t limit) : limit_(limit) {}
    int64_t Read(void* buffer, int64_t count) override
    {
        if (Position() + count > limit_)
            throw EReadError("read past the image");
        return TMemoryStream::Read(buffer, count);
    }

private:
    int64_t limit_;
};

struct HeaderCase {
    const char* name;
    Bytes bytes;
    const char* message; // nullptr: EReadError
};

} // namespace

TEST(Gif, HeaderErrorsRaiseTheirMessages)
{
    GifSpec ok;
    ok.data = LiteralCodes({0, 1, 2, 3}, 2);
    Bytes good = BuildGif(ok);
    Bytes badCode = good;
    badCode[13 + 12 + 10] = 12; // minimum code size: after the screen, a 4-entry table and the descriptor
    Bytes lowCode = good;
    lowCode[13 + 12 + 10] = 1;
    const HeaderCase cases[] = {
        {"short", {'G', 'I', 'F', '8', '9'}, "Not a .GIF file"},
        {"signature", {'P', 'N', 'G', '8', '9', 'a', 0, 0, 0, 0, 0, 0, 0}, "Not a .GIF file (\"GIF\" not first three characters"},
        {"version", {'G', 'I', 'F', '9', '0', 'a', 0, 0, 0, 0, 0, 0, 0}, "Not a GIF file (bad version in header)"},
        {"trailer first", {'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}, "Not a .GIF file"},
        {"descriptor cut", {'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0}, "Unexpected end of file"},
        {"code size 12", badCode, "Invalid code size: 12"},
        {"code size 1", lowCode, "Invalid code size: 1"},
        {"no block", {'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0, 0, 0}, nullptr},
        {"signature only", {'G', 'I', 'F', '8', '9', 'a'}, nullptr},
        {"screen cut", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0}, nullptr},
        {"table cut", {'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0x81, 0, 0, 1, 2}, nullptr},
        {"extension cut", {'G', 'I', 'F', '8', '7', 'a', 1, 0, 1, 0, 0, 0, 0, 0x21, 0xF9, 4, 1}, nullptr},
    };
    for (const HeaderCase& c : cases) {
        SCOPED_TRACE(c.name);
        TGIF gif;
        TMemoryStream s = StreamOf(c.bytes);
        if (c.message) {
            try {
                gif.LoadFromStream(s);
                ADD_FAILURE() << "no error";
            } catch (const ENotGIF& e) {
                EXPECT_EQ(e.Message(), c.message);
            }
        } else {
            EXPECT_THROW(gif.LoadFromStream(s), EReadError);
        }
        EXPECT_TRUE(gif.Empty());
    }
}

TEST(Gif, HeaderErrorKeepsThePreviousImage)
{
    GifSpec g;
    g.data = LiteralCodes({0, 1, 2, 3}, 2);
    TGIF gif;
    Load(BuildGif(g), gif);
    TMemoryStream bad = StreamOf({'G', 'I', 'F', '8', '9', 'b'});
    EXPECT_THROW(gif.LoadFromStream(bad), ENotGIF);
    EXPECT_EQ(gif.Width(), 4);
    EXPECT_EQ(Indices(gif), (std::vector<int>{0, 1, 2, 3}));
}

TEST(Gif, ShortScreenDescriptorLeavesAnEmptyGraphicEmpty)
{
    TGIF gif;
    TMemoryStream s = StreamOf({'G', 'I', 'F', '8', '7', 'a', 1, 0, 1});
    EXPECT_THROW(gif.LoadFromStream(s), EReadError); // a read failure, not an empty picture
    EXPECT_TRUE(gif.Empty());
    EXPECT_EQ(gif.Width(), 0);
}

struct LzwCase {
    const char* name;
    std::vector<std::pair<int, int>> codes; // min code size 2: clear 4, end 5
    int width, height;
    std::vector<int> expected;
};

TEST(Gif, LzwQuirks)
{
    const LzwCase cases[] = {
        {"starts with a clear", {{4, 3}, {1, 3}, {2, 3}, {5, 3}}, 2, 1, {1, 2}},
        {"no clear first", {{1, 3}, {2, 3}, {5, 3}}, 2, 1, {1, 2}},
        {"repeated clears", {{4, 3}, {4, 3}, {4, 3}, {3, 3}, {5, 3}}, 1, 1, {3}},
        {"end code after clear gives 0", {{4, 3}, {5, 3}}, 2, 1, {0, 0}},
        // 1, then code 6 (= next free): the old string and its first character.
        {"code equal to next free", {{4, 3}, {1, 3}, {6, 3}, {5, 3}}, 3, 1, {1, 1, 1}},
        // 2, 3 add entry 6 = "23"; code 6 yields 2 3.
        {"table entry", {{4, 3}, {2, 3}, {3, 3}, {6, 3}, {5, 3}}, 4, 1, {2, 3, 2, 3}},
        {"data ends early", {{4, 3}, {1, 3}}, 3, 2, {1, 0, 0, 0, 0, 0}},
        // Code 7 is beyond next free (6): the old string + first char, and the
        // incoming code becomes 0.
        {"code beyond next free", {{4, 3}, {2, 3}, {7, 3}, {5, 3}}, 3, 1, {2, 2, 2}},
    };
    for (const LzwCase& c : cases) {
        SCOPED_TRACE(c.name);
        GifSpec g;
        g.width = c.width;
        g.height = c.height;
        g.data = PackCodes(c.codes);
        TGIF gif;
        EXPECT_EQ(Load(BuildGif(g), gif), c.expected);
    }
}

TEST(Gif, FullTableKeepsTwelveBitCodesUntilTheNextClear)
{
    // Fill the table with repeats of literal 1, then check that codes stay
    // 12 bits wide with no new entries, and a clear resets to 3 bits.
    std::vector<std::pair<int, int>> codes{{4, 3}, {1, 3}};
    std::vector<int> expected{1};
    int nextFree = 6, size = 3;
    while (nextFree < 4096) {
        codes.push_back({1, size}); // adds an entry each time
        expected.push_back(1);
        ++nextFree;
        if (nextFree >= (1 << size) && size < 12)
            ++size;
    }
    codes.push_back({2, 12});
    codes.push_back({3, 12});
    expected.push_back(2);
    expected.push_back(3);
    codes.push_back({4, 12});
    codes.push_back({2, 3});
    expected.push_back(2);
    codes.push_back({5, 3});
    GifSpec g;
    g.width = static_cast<int>(expected.size());
    g.data = PackCodes(codes);
    TGIF gif;
    EXPECT_EQ(Load(BuildGif(g), gif), expected);
}

TEST(Gif, InterlacedRowsComeInFourPasses)
{
    struct Case {
        int height;
        std::vector<int> rowOfEachDecodedLine;
    };
    const Case cases[] = {{1, {0}}, {3, {0, 2, 1}}, {9, {0, 8, 4, 2, 6, 1, 3, 5, 7}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.height);
        std::vector<int> pixels;
        for (int i = 0; i < c.height; ++i)
            pixels.push_back(i);
        GifSpec g;
        g.width = 1;
        g.height = c.height;
        g.bpp = 4;
        g.minCodeSize = 4;
        g.interlaced = true;
        g.data = LiteralCodes(pixels, 4);
        TGIF gif;
        std::vector<int> rows = Load(BuildGif(g), gif);
        EXPECT_TRUE(gif.Interlaced());
        for (int line = 0; line < c.height; ++line)
            EXPECT_EQ(rows[c.rowOfEachDecodedLine[line]], line);
    }
}

TEST(Gif, ColourTablesPaletteAndTransparency)
{
    GifSpec g;
    g.bpp = 2;
    g.global = {0x112233, 0x445566, 0x778899, 0xAABBCC};
    g.localBpp = 1;
    g.local = {0xFF0000, 0x00FF00};
    g.extensions = Gce(false, 1);
    g.data = LiteralCodes({0, 1, 2, 3}, 2);
    g.screenWidth = 50;
    g.screenHeight = 40;
    TGIF gif;
    Load(BuildGif(g), gif);
    // The image's size, not the screen's.
    EXPECT_EQ(gif.Width(), 4);
    EXPECT_EQ(gif.Height(), 1);
    EXPECT_EQ(gif.BitsPerPixel(), 1);
    // The local table replaces the first entries; the rest are the global's.
    const uint32_t* t = gif.ColorTable();
    EXPECT_EQ(t[0], 0x0000FFu);
    EXPECT_EQ(t[1], 0x00FF00u);
    EXPECT_EQ(t[2], 0x998877u);
    EXPECT_EQ(t[4], 0u);
    TPalette p = gif.Bitmap()->GetPalette();
    ASSERT_EQ(p.size(), 256u);
    EXPECT_EQ(p[1], (TPaletteEntry{0, 0xFF, 0, PC_NOCOLLAPSE}));
    EXPECT_FALSE(gif.TransparentFlag());

    // With the transparency flag the index takes the main form's colour,
    // clBtnFace without a main form.
    g.extensions = Gce(false, 0);
    Bytes gce = Gce(true, 2);
    g.extensions.insert(g.extensions.end(), gce.begin(), gce.end());
    Load(BuildGif(g), gif);
    EXPECT_TRUE(gif.TransparentFlag());
    EXPECT_EQ(gif.TransparentIndex(), 2);
    TColor face = ColorToRGB(clBtnFace);
    EXPECT_EQ(gif.Bitmap()->GetPalette()[2], (TPaletteEntry{GetRValue(face), GetGValue(face), GetBValue(face), PC_NOCOLLAPSE}));
    EXPECT_EQ(gif.Bitmap()->GetPixelColor(2, 0), face);
}

TEST(Gif, ReadsNothingAfterTheFirstImage)
{
    GifSpec g;
    g.data = LiteralCodes({3, 2, 1, 0}, 2);
    g.trailer = {0x2C, 0xFF, 0xFF}; // a broken second image
    Bytes bytes = BuildGif(g);
    LimitedStream s(static_cast<int64_t>(bytes.size()) - 3);
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    TGIF gif;
    EXPECT_NO_THROW(gif.LoadFromStream(s));
    EXPECT_EQ(Indices(gif), (std::vector<int>{3, 2, 1, 0}));
}

TEST(Gif, RefusesSizesTheDataCannotHold)
{
    GifSpec g;
    g.width = 65535;
    g.height = 65535;
    g.data = LiteralCodes({1, 2, 3}, 2);
    TGIF gif;
    TMemoryStream s = StreamOf(BuildGif(g));
    EXPECT_THROW(gif.LoadFromStream(s), ENotGIF);
    EXPECT_TRUE(gif.Empty());
}

TEST(Gif, RefusesSizesBeyondThePicturePolicyBeforeAllocating)
{
    GifSpec g;
    g.width = 20000;
    g.height = 20000; // 400 million pixels: data enough by the code bound, too many by the policy
    g.data.assign(40000, 0);
    TGIF gif;
    TMemoryStream s = StreamOf(BuildGif(g));
    try {
        gif.LoadFromStream(s);
        ADD_FAILURE() << "no error";
    } catch (const ENotGIF& e) {
        EXPECT_EQ(e.Message(), "Image too large (20000 x 20000)");
    }
    EXPECT_TRUE(gif.Empty());
}

TEST(Gif, AbstractOperationsRaise)
{
    TGIF gif;
    TMemoryStream s;
    EXPECT_THROW(gif.SetWidth(3), EAbstractError);
    EXPECT_THROW(gif.SetHeight(3), EAbstractError);
    EXPECT_THROW(gif.SaveToStream(s), EAbstractError);
    EXPECT_TRUE(gif.Empty());
    EXPECT_EQ(gif.Width(), 0);
}

// ---- against giflib on real files ------------------------------------------------

namespace {

struct GiflibImage {
    int width = 0, height = 0;
    std::vector<int> indices;
    std::vector<uint32_t> colours; // as our table stores them
    bool ok = false;
};

GiflibImage ReadWithGiflib(const std::string& path)
{
    GiflibImage r;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif)
        return r;
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0) {
        const SavedImage& im = gif->SavedImages[0];
        r.width = im.ImageDesc.Width;
        r.height = im.ImageDesc.Height;
        r.indices.assign(im.RasterBits, im.RasterBits + size_t(r.width) * r.height);
        r.colours.assign(256, 0);
        if (gif->SColorMap)
            for (int i = 0; i < gif->SColorMap->ColorCount; ++i) {
                const GifColorType& c = gif->SColorMap->Colors[i];
                r.colours[i] = c.Red | (c.Green << 8) | (uint32_t(c.Blue) << 16);
            }
        if (im.ImageDesc.ColorMap)
            for (int i = 0; i < im.ImageDesc.ColorMap->ColorCount; ++i) {
                const GifColorType& c = im.ImageDesc.ColorMap->Colors[i];
                r.colours[i] = c.Red | (c.Green << 8) | (uint32_t(c.Blue) << 16);
            }
        r.ok = true;
    }
    DGifCloseFile(gif, &error);
    return r;
}

} // namespace

TEST(Gif, MatchesGiflibOnWellFormedFiles)
{
    std::vector<std::filesystem::path> files = FilesIn(PictureCorpus("gifmagick"), ".gif");
    for (const auto& f : FilesIn(PictureCorpus("gifsuite"), ".gif"))
        files.push_back(f);
    ASSERT_FALSE(files.empty()) << "picture corpus missing";
    int compared = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path.filename().string());
        GiflibImage ref = ReadWithGiflib(path.string());
        TGIF gif;
        try {
            gif.LoadFromFile(path.string());
        } catch (const Exception& e) {
            EXPECT_FALSE(ref.ok && ref.width > 0 && ref.height > 0 && ref.width * ref.height < 1 << 20)
                << "we refused what giflib reads: " << e.Message();
            continue;
        }
        if (!ref.ok || ref.width == 0 || ref.height == 0)
            continue;
        ASSERT_EQ(gif.Width(), ref.width);
        ASSERT_EQ(gif.Height(), ref.height);
        EXPECT_EQ(Indices(gif), ref.indices);
        EXPECT_EQ(std::vector<uint32_t>(gif.ColorTable(), gif.ColorTable() + 256), ref.colours);
        ++compared;
    }
    EXPECT_GT(compared, 20);
}

TEST(Gif, RegisteredUnderGif)
{
    InitializeGIFImage();
    const TFileFormat* f = TPicture::FindFileFormat(".GIF");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Description, "GIF format");
    EXPECT_STREQ(f->GraphicClass.Create()->ClassName(), "TGIF");
    FinalizeGIFImage();
    EXPECT_EQ(TPicture::FindFileFormat("gif"), nullptr);
}
