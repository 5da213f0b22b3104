// SPDX-License-Identifier: GPL-3.0-or-later
#include "graphics/PngImage.h"

#include <png.h>

#include <algorithm>
#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <exception>

#include "runtime/Streams.h"

namespace {

// Deflate expands at most about 1032 times, so the bytes left in the stream
// bound a genuine image's pixels (beside the picture size policy).
constexpr uint64_t MaxInflateRatio = 1100;

// What the library callbacks need: the stream, the image, and what went
// wrong (libpng's message, or an exception raised in one of our callbacks).
struct PngContext {
    TStream* stream = nullptr;
    TPngImage* image = nullptr;
    std::exception_ptr pending;
    char message[512] = {};
};

uint32_t TickCount()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// libpng's error handler: keeps the message and jumps back to the setjmp of
// the read or write in progress.
[[noreturn]] void PngError(png_structp png, png_const_charp message)
{
    auto* ctx = static_cast<PngContext*>(png_get_error_ptr(png));
    std::snprintf(ctx->message, sizeof ctx->message, "%s", message ? message : "libpng error");
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

// The read callback. An exception from the stream is kept and turned into a
// libpng error after the catch block has ended, so it never crosses libpng.
void PngReadData(png_structp png, png_bytep data, size_t count)
{
    auto* ctx = static_cast<PngContext*>(png_get_io_ptr(png));
    try {
        ctx->stream->ReadBuffer(data, static_cast<int64_t>(count));
    } catch (...) {
        ctx->pending = std::current_exception();
    }
    if (ctx->pending)
        png_error(png, "read error");
}

void PngWriteData(png_structp png, png_bytep data, size_t count)
{
    auto* ctx = static_cast<PngContext*>(png_get_io_ptr(png));
    try {
        ctx->stream->WriteBuffer(data, static_cast<int64_t>(count));
    } catch (...) {
        ctx->pending = std::current_exception();
    }
    if (ctx->pending)
        png_error(png, "write error");
}

void PngFlushData(png_structp) {}

void PngRowProgress(png_structp png, png_uint_32 row, int)
{
    if (!png || row > 2147483647u)
        return;
    auto* ctx = static_cast<PngContext*>(png_get_io_ptr(png));
    TPngImage* image = ctx ? ctx->image : nullptr;
    if (!image)
        return;
    uint32_t now = TickCount();
    if (now - image->lastProgressTick_ <= 100)
        return;
    try {
        uint8_t percent = image->Height ? static_cast<uint8_t>(uint64_t(row) * 100 / image->Height) : 0;
        image->Progress(image, psRunning, percent, false, TRect{}, "Running");
        image->lastProgressTick_ = now;
    } catch (...) {
        ctx->pending = std::current_exception();
    }
    if (ctx->pending)
        png_error(png, "progress handler failed");
}

void StoreTexts(TPngImage& image, png_textp text, int count)
{
    image.TextList.Clear();
    for (int i = 0; i < count; ++i) {
        std::string key = text[i].key ? text[i].key : "";
        // libpng gives the length of an international (iTXt) text in
        // itxt_length and that of a tEXt or zTXt text in text_length.
        const size_t length = text[i].compression >= PNG_ITXT_COMPRESSION_NONE ? text[i].itxt_length
                                                                               : text[i].text_length;
        std::string value = text[i].text ? std::string(text[i].text, length) : std::string();
        image.TextList.Add(key + "=" + value);
        if (SameText(key, "Title"))
            image.Title = value;
        else if (SameText(key, "Author"))
            image.Author = value;
        else if (SameText(key, "Description"))
            image.Description = value;
    }
}

TColor BackgroundOf(const TPngImage& image, const png_color_16& bk)
{
    if (image.BitDepth == 16)
        return RGB(uint8_t(bk.red >> 8), uint8_t(bk.green >> 8), uint8_t(bk.blue >> 8));
    if ((image.ColorType & PNG_COLOR_MASK_COLOR) || image.BitDepth >= 8)
        return RGB(uint8_t(bk.red & 0xFF), uint8_t(bk.green & 0xFF), uint8_t(bk.blue & 0xFF));
    uint8_t v;
    switch (image.BitDepth) {
    case 1: v = bk.gray ? 255 : 0; break;
    case 2: v = static_cast<uint8_t>((bk.gray & 3) * 85); break;
    default: v = static_cast<uint8_t>((bk.gray & 15) * 17); break;
    }
    return RGB(v, v, v);
}

void CheckImageSize(const TPngImage& image, TStream& stream)
{
    uint64_t bytes = uint64_t(image.Height) * image.RowBytes;
    int64_t left = std::max<int64_t>(0, stream.Size() - stream.Position());
    if (!PictureSizeAllowed(image.Width, image.Height, int64_t(std::min<uint64_t>(bytes, INT64_MAX))) ||
        bytes > uint64_t(left) * MaxInflateRatio + (uint64_t(1) << 20))
        throw Exception("PNG image too large for its data (" + std::to_string(image.Width) + " x " +
                        std::to_string(image.Height) + ")");
}

// Steps of a read that run under libpng's long jump. No object with a
// destructor lives in this frame, so the jump skips nothing that needs
// cleaning up; C++ exceptions raised here unwind only through our frames.
bool ReadCore(png_structp png, png_infop info, TPngImage& image, PngContext& ctx)
{
    if (setjmp(png_jmpbuf(png)))
        return false;

    png_set_sig_bytes(png, 4);
    png_set_read_fn(png, &ctx, PngReadData);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Fuzzed bytes rarely keep their checksums: taking them regardless lets
    // the mutants reach the decoder and the transformations.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#ifdef PNG_IGNORE_ADLER32
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
#endif
    if (image.OnReadRow)
        png_set_read_status_fn(png, reinterpret_cast<png_read_status_ptr>(image.OnReadRow));
    png_read_info(png, info);

    png_textp text = nullptr;
    int textCount = 0;
    png_get_text(png, info, &text, &textCount);
    StoreTexts(image, text, textCount);

    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0, interlace = 0, compression = 0, filter = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, &interlace, &compression, &filter);
    image.Width = width;
    image.Height = height;
    image.BitDepth = bitDepth;
    image.ColorType = colorType;
    image.InterlaceType = interlace;
    image.CompressionType = compression;
    image.FilterType = filter;

    png_color_16p background = nullptr;
    bool hasBackground = png_get_bKGD(png, info, &background) != 0 && background;
    image.BackgroundColor = hasBackground ? BackgroundOf(image, *background) : 0;
    image.Transparent = png_get_valid(png, info, PNG_INFO_bKGD) != 0;

    image.PaletteCount = 0;
    if (image.ExpandToRGB) {
        if (colorType == PNG_COLOR_TYPE_PALETTE && bitDepth <= 8)
            png_set_palette_to_rgb(png);
    } else if (colorType == PNG_COLOR_TYPE_PALETTE && bitDepth == 8) {
        png_colorp palette = nullptr;
        int count = 0;
        if (png_get_PLTE(png, info, &palette, &count) && palette) {
            count = std::clamp(count, 0, 256);
            for (int i = 0; i < count; ++i)
                image.Palette[i] = TPngPaletteEntry{palette[i].red, palette[i].green, palette[i].blue};
            image.PaletteCount = count;
        }
    }
    if (colorType == PNG_COLOR_TYPE_GRAY && bitDepth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(png);
    if (image.ExpandToRGB && (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA))
        png_set_gray_to_rgb(png);

    image.FileGamma = 0;
    image.ScreenGamma = 2.2;
    double gamma = 0;
    if (png_get_gAMA(png, info, &gamma)) {
        image.FileGamma = gamma;
        png_set_gamma(png, image.ScreenGamma, gamma);
    } else {
        png_set_gamma(png, image.ScreenGamma, 0.45455);
    }
    png_set_invert_alpha(png);
    if (bitDepth < 8)
        png_set_packing(png);
    else if (bitDepth == 16)
        png_set_swap(png);
    if (interlace == PNG_INTERLACE_ADAM7)
        image.Passes = png_set_interlace_handling(png);

    png_read_update_info(png, info);
    image.RowBytes = static_cast<uint32_t>(png_get_rowbytes(png, info));
    image.Channels = png_get_channels(png, info);

    CheckImageSize(image, *ctx.stream);
    image.AllocateImage();
    png_read_image(png, image.RowPointers.data());
    png_read_end(png, info);

    png_timep time = nullptr;
    if (png_get_tIME(png, info, &time) && time) {
        TDateTime date, clock;
        // An impossible time stamp (30 February, minute 60) is not taken. A
        // leap second (second 60, which PNG allows) has no place in a
        // TDateTime: it is taken as the minute's last second, 59.
        const int second = time->second == 60 ? 59 : time->second;
        if (TryEncodeDate(time->year, time->month, time->day, date) &&
            TryEncodeTime(time->hour, time->minute, second, 0, clock))
            image.LastModified = date + clock;
    }
    return true;
}

struct WriteTexts {
    std::vector<std::string> keys, values;
};

// One row of the bitmap as 8-bit RGB samples, Width x 3 bytes at out.
void BitmapRowToRGB(const TBitmap& bitmap, uint32_t row, uint8_t* out)
{
    const auto width = uint32_t(bitmap.Width());
    if (bitmap.PixelFormat() == pf24bit) {
        const uint8_t* s = bitmap.ScanLine(int(row));
        for (uint32_t c = 0; c < width; ++c) {
            out[3 * c] = s[3 * c + 2];
            out[3 * c + 1] = s[3 * c + 1];
            out[3 * c + 2] = s[3 * c];
        }
        return;
    }
    for (uint32_t c = 0; c < width; ++c) {
        TColor color = bitmap.GetPixelColor(int(c), int(row));
        out[3 * c] = GetRValue(color);
        out[3 * c + 1] = GetGValue(color);
        out[3 * c + 2] = GetBValue(color);
    }
}

// The rows a write takes, each at least the header's row bytes long: the
// image's own buffer, or a bitmap's scan lines converted one at a time.
// Row() may raise; it is called from WriteCore's frame, never from libpng's.
class TPngRowSource {
public:
    virtual ~TPngRowSource() = default;
    // False when there are no rows to write: the header alone is written.
    virtual bool HasRows() const = 0;
    // Called once the header is written: checks the rows against it and sets
    // up what libpng is to do to them before it filters them.
    virtual void Prepare(png_structp png, png_infop info) = 0;
    virtual const uint8_t* Row(uint32_t row) = 0;
};

class TImageRows final : public TPngRowSource {
public:
    explicit TImageRows(const TPngImage& image) : image_(image) {}
    bool HasRows() const override { return !image_.ImageData.empty() && !image_.RowPointers.empty(); }
    void Prepare(png_structp png, png_infop info) override
    {
        // libpng reads as many bytes per row as the header fields ask for:
        // the buffer must hold them, or it would read beyond it.
        size_t needed = png_get_rowbytes(png, info);
        if (image_.RowPointers.size() < image_.Height || needed > image_.RowBytes ||
            image_.ImageData.size() < size_t(image_.Height) * image_.RowBytes)
            throw Exception("PNG image data does not match its header");
        if (image_.BitDepth == 16)
            png_set_swap(png);
    }
    const uint8_t* Row(uint32_t row) override { return image_.RowPointers[row]; }

private:
    const TPngImage& image_;
};

// A bitmap as 8-bit RGB rows. A 24-bit scan line is handed over as it is and
// libpng swaps its blue and red while filtering (the bitmap is not changed);
// any other format is converted a row at a time into one row buffer.
class TBitmapRows final : public TPngRowSource {
public:
    explicit TBitmapRows(const TBitmap& bitmap) : bitmap_(bitmap), direct_(bitmap.PixelFormat() == pf24bit)
    {
        if (!direct_)
            buffer_.resize(size_t(bitmap.Width()) * 3);
    }
    bool HasRows() const override { return true; }
    void Prepare(png_structp png, png_infop) override
    {
        if (direct_)
            png_set_bgr(png);
    }
    const uint8_t* Row(uint32_t row) override
    {
        if (direct_)
            return bitmap_.ScanLine(int(row));
        BitmapRowToRGB(bitmap_, row, buffer_.data());
        return buffer_.data();
    }

private:
    const TBitmap& bitmap_;
    const bool direct_;
    std::vector<uint8_t> buffer_;
};

bool WriteCore(png_structp png, png_infop info, TPngImage& image, PngContext& ctx, WriteTexts& texts, png_time& now,
               TPngRowSource& rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;

    png_set_write_fn(png, &ctx, PngWriteData, PngFlushData);
    png_set_compression_level(png, image.CompressionLevel);
    png_set_IHDR(png, info, image.Width, image.Height, image.BitDepth, image.ColorType, image.InterlaceType,
                 image.CompressionType, image.FilterType);
    if (image.ColorType == PNG_COLOR_TYPE_PALETTE) {
        png_color palette[256];
        int count = std::clamp(image.PaletteCount, 0, 256);
        for (int i = 0; i < count; ++i)
            palette[i] = png_color{image.Palette[i].red, image.Palette[i].green, image.Palette[i].blue};
        png_set_PLTE(png, info, palette, count);
    }
    for (size_t i = 0; i < texts.keys.size(); ++i) {
        png_text record{};
        record.compression = PNG_TEXT_COMPRESSION_NONE;
        record.key = texts.keys[i].data();
        record.text = texts.values[i].data();
        record.text_length = texts.values[i].size();
        png_set_text(png, info, &record, 1);
    }
    png_write_info(png, info);
    png_set_filter(png, 0, image.Filters);

    if (!rows.HasRows())
        return false;
    rows.Prepare(png, info);
    if (image.OnProgress)
        png_set_write_status_fn(png, PngRowProgress);
    // Row by row, each pass of an interlaced image over every row, as
    // png_write_image does with a table of all rows.
    const int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; ++pass)
        for (uint32_t r = 0; r < image.Height; ++r)
            png_write_row(png, rows.Row(r));
    png_set_tIME(png, info, &now);
    png_write_end(png, info);
    return true;
}

// Writes the image's header and texts, then the rows, then the time stamp.
void WritePng(TPngImage& image, TStream& stream, TPngRowSource& rows)
{
    PngContext ctx;
    ctx.stream = &stream;
    ctx.image = &image;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &ctx, PngError, PngWarning);
    png_infop info = nullptr;
    struct Guard {
        png_structp& png;
        png_infop& info;
        ~Guard()
        {
            if (png)
                png_destroy_write_struct(&png, info ? &info : nullptr);
        }
    } guard{png, info};

    image.Progress(&image, psStarting, 0, false, TRect{}, "Starting PNG write");
    if (!png)
        return;
    info = png_create_info_struct(png);
    if (!info)
        throw Exception("Failed to Create info struct");

    WriteTexts texts;
    const std::pair<const char*, const std::string*> fields[] = {
        {"Author", &image.Author}, {"Description", &image.Description},
        {"Software", &image.Software}, {"Title", &image.Title}};
    for (const auto& [key, value] : fields)
        if (!Trim(*value).empty()) {
            texts.keys.emplace_back(key);
            texts.values.push_back(*value);
        }
    png_time now{};
    int year, month, day, hour, minute, second, msec;
    TDateTime current = Now();
    DecodeDate(current, year, month, day);
    DecodeTime(current, hour, minute, second, msec);
    now.year = static_cast<png_uint_16>(year);
    now.month = static_cast<png_byte>(month);
    now.day = static_cast<png_byte>(day);
    now.hour = static_cast<png_byte>(hour);
    now.minute = static_cast<png_byte>(minute);
    now.second = static_cast<png_byte>(second);

    image.lastProgressTick_ = 0;
    bool wroteImage = WriteCore(png, info, image, ctx, texts, now, rows);
    if (ctx.pending)
        std::rethrow_exception(ctx.pending);
    if (ctx.message[0])
        throw Exception(ctx.message);
    if (wroteImage)
        image.Progress(&image, psEnding, 100, false, TRect{}, "Ended PNG write");
}

} // namespace

// ---- TPngImage ------------------------------------------------------------------

TPngImage::TPngImage() = default;
TPngImage::~TPngImage() = default;

void TPngImage::Release()
{
    if (--RefCount <= 0)
        delete this;
}

void TPngImage::Progress(TObject* sender, TProgressStage stage, uint8_t percentDone, bool redrawNow,
                         const TRect& rect, const std::string& message)
{
    if (OnProgress)
        OnProgress(sender, stage, percentDone, redrawNow, rect, message);
}

void TPngImage::AllocateImage()
{
    ImageData.clear();
    RowPointers.clear();
    ImageData.assign(size_t(Height) * RowBytes, 0);
    RowPointers.resize(Height);
    for (uint32_t i = 0; i < Height; ++i)
        RowPointers[i] = ImageData.data() + size_t(i) * RowBytes;
}

void TPngImage::ReadFromStream(TStream& stream)
{
    uint8_t signature[4];
    stream.ReadBuffer(signature, 4);
    PngContext ctx;
    ctx.stream = &stream;
    ctx.image = this;
    if (png_sig_cmp(signature, 0, 4) != 0)
        throw Exception("Is not a valid PNG !");

    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &ctx, PngError, PngWarning);
    if (!png)
        return;
    png_infop info = nullptr;
    struct Guard {
        png_structp& png;
        png_infop& info;
        ~Guard() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
    } guard{png, info};

    Progress(this, psStarting, 0, false, TRect{}, "Start PNG read");
    info = png_create_info_struct(png);
    if (!info)
        throw Exception("Failed to Create info struct");

    bool ok = ReadCore(png, info, *this, ctx);
    if (ctx.pending)
        std::rethrow_exception(ctx.pending);
    if (!ok)
        throw Exception(std::string(ctx.message) + " (the PNG data is damaged)");
    Progress(this, psEnding, 100, false, TRect{}, "Ended PNG read");
}

void TPngImage::WriteToStream(TStream& stream)
{
    TImageRows rows(*this);
    WritePng(*this, stream, rows);
}

void TPngImage::WriteBitmapToStream(const TBitmap& bitmap, TStream& stream)
{
    SetHeaderForBitmap(bitmap);
    TBitmapRows rows(bitmap);
    WritePng(*this, stream, rows);
}

void TPngImage::ReadFromFile(const std::string& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    stream.SetPosition(0);
    ReadFromStream(stream);
}

void TPngImage::WriteToFile(const std::string& fileName)
{
    NamingFileInErrors("Cannot write", fileName, [&] {
        TFileStream stream(fileName, fmCreate);
        stream.SetPosition(0);
        WriteToStream(stream);
    });
}

void TPngImage::PaintToBitmap(TBitmap& bitmap, int x, int y)
{
    if (Height > 2147483647u)
        throw Exception("Image too high");
    if (Width > 2147483647u)
        throw Exception("Image too wide");
    const int bytesPerSample = BitDepth == 16 ? 2 : 1;
    const size_t sourceRowBytes = size_t(Width) * std::max(Channels, 1) * bytesPerSample;
    if (Height > 0 && Width > 0 &&
        (Channels < 1 || RowPointers.size() < Height || sourceRowBytes > RowBytes ||
         ImageData.size() < size_t(Height) * RowBytes))
        throw Exception("PNG image data does not match its size");
    if (x < 0 || y < 0)
        throw Exception("PNG image painted outside the bitmap");

    const int64_t needHeight = int64_t(y) + Height, needWidth = int64_t(x) + Width;
    if (needHeight > bitmap.Height() || needWidth > bitmap.Width()) {
        if (needHeight > 2147483647 || needWidth > 2147483647)
            throw Exception(needHeight > 2147483647 ? "Image too high" : "Image too wide");
        bitmap.SetSize(std::max<int>(bitmap.Width(), int(needWidth)), std::max<int>(bitmap.Height(), int(needHeight)));
    }
    if (Channels == 1) {
        bitmap.SetPixelFormat(pf8bit);
        if (PaletteCount > 0) {
            TPalette palette;
            for (int i = 0; i < std::min(PaletteCount, 256); ++i)
                palette.push_back({Palette[i].red, Palette[i].green, Palette[i].blue, 0});
            bitmap.SetPalette(palette);
        }
    } else if (Channels == 2) {
        bitmap.SetPixelFormat(pf16bit);
    } else {
        bitmap.SetPixelFormat(pf24bit);
    }
    bitmap.SetTransparent(Transparent);

    // One byte per sample: the high byte of a 16-bit sample (little-endian
    // after the read's byte swap, so the second byte).
    const int hi = bytesPerSample - 1;
    const uint8_t bgB = GetBValue(BackgroundColor), bgG = GetGValue(BackgroundColor), bgR = GetRValue(BackgroundColor);
    for (uint32_t r = 0; r < Height; ++r) {
        const uint8_t* src = RowPointers[r];
        uint8_t* dst = bitmap.ScanLine(int(y + r));
        for (uint32_t c = 0; c < Width; ++c) {
            const uint8_t* s = src + size_t(c) * Channels * bytesPerSample;
            auto sample = [&](int i) { return s[i * bytesPerSample + hi]; };
            switch (Channels) {
            case 1: dst[x + c] = sample(0); break;
            case 2:
                dst[2 * (x + c)] = sample(0);
                dst[2 * (x + c) + 1] = sample(1);
                break;
            case 3: {
                uint8_t* d = dst + 3 * (size_t(x) + c);
                d[0] = sample(2);
                d[1] = sample(1);
                d[2] = sample(0);
                break;
            }
            default: {
                uint8_t* d = dst + 3 * (size_t(x) + c);
                unsigned a = sample(3); // 0 opaque, 255 fully transparent
                if (a == 0) {
                    d[0] = sample(2);
                    d[1] = sample(1);
                    d[2] = sample(0);
                } else if (a == 255) {
                    d[0] = bgB;
                    d[1] = bgG;
                    d[2] = bgR;
                } else {
                    d[0] = static_cast<uint8_t>((a * d[0] + (255 - a) * sample(2)) / 255);
                    d[1] = static_cast<uint8_t>((a * d[1] + (255 - a) * sample(1)) / 255);
                    d[2] = static_cast<uint8_t>((a * d[2] + (255 - a) * sample(0)) / 255);
                }
                break;
            }
            }
        }
    }
    bitmap.Changed();
}

void TPngImage::DrawOn(TCanvas& canvas, const TRect& rect)
{
    TBitmap bitmap;
    PaintToBitmap(bitmap, 0, 0);
    canvas.StretchDraw(rect, &bitmap);
}

void TPngImage::SetHeaderForBitmap(const TBitmap& bitmap)
{
    Width = static_cast<uint32_t>(bitmap.Width());
    Height = static_cast<uint32_t>(bitmap.Height());
    BitDepth = 8;
    ColorType = PNG_COLOR_TYPE_RGB;
    Channels = 3;
    InterlaceType = 0;
    CompressionType = 0;
    FilterType = 0;
    PaletteCount = 0;
    ImageData.clear();
    ImageData.shrink_to_fit();
    RowPointers.clear();
    RowPointers.shrink_to_fit();
    // Sizes in 64 bits, held to the picture size policy: a row of three
    // bytes per pixel must fit RowBytes.
    const int64_t rowBytes = int64_t(Width) * 3;
    if (!PictureSizeAllowed(Width, Height, rowBytes * Height) || rowBytes > int64_t(UINT32_MAX)) {
        Width = Height = 0;
        RowBytes = 0;
        throw EOutOfMemory("PNG image too large: " + PictureSizeRefusal(bitmap.Width(), bitmap.Height(), 24));
    }
    RowBytes = static_cast<uint32_t>(rowBytes);
}

void TPngImage::CopyFromBitmap(const TBitmap& bitmap)
{
    SetHeaderForBitmap(bitmap);
    AllocateImage();
    for (uint32_t r = 0; r < Height; ++r)
        BitmapRowToRGB(bitmap, r, RowPointers[r]);
}

// ---- TPngGraphic --------------------------------------------------------------------

TPngGraphic::TPngGraphic()
{
    SetTransparent(true);
    image_ = new TPngImage();
}

TPngGraphic::~TPngGraphic()
{
    if (image_)
        image_->Release();
}

void TPngGraphic::Assign(const TGraphic* source)
{
    if (auto* png = dynamic_cast<const TPngGraphic*>(source)) {
        if (png == this || png->image_ == image_)
            return;
        if (image_)
            image_->Release();
        image_ = png->image_;
        if (image_)
            image_->AddRef();
        Changed();
        return;
    }
    TGraphic::Assign(source);
}

void TPngGraphic::Draw(TCanvas& canvas, const TRect& rect)
{
    if (image_)
        image_->DrawOn(canvas, rect);
}

void TPngGraphic::SetHeight(int) { throw Exception("Cannot set height on a TPngGraphic"); }
void TPngGraphic::SetWidth(int) { throw Exception("Cannot set width on a TPngGraphic"); }

void TPngGraphic::LoadFromFile(const std::string& fileName)
{
    if (!image_)
        image_ = new TPngImage();
    image_->ReadFromFile(fileName);
}

void TPngGraphic::SaveToFile(const std::string& fileName)
{
    if (image_)
        image_->WriteToFile(fileName);
}

void TPngGraphic::LoadFromStream(TStream& stream)
{
    if (!image_)
        image_ = new TPngImage();
    image_->ReadFromStream(stream);
}

void TPngGraphic::SaveToStream(TStream& stream)
{
    if (image_)
        image_->WriteToStream(stream);
}

void TPngGraphic::LoadFromClipboardFormat(uint16_t, uintptr_t, uintptr_t)
{
    throw Exception("Cannot load a TPngGraphic from the Clipboard");
}

void TPngGraphic::SaveToClipboardFormat(uint16_t&, uintptr_t&, uintptr_t&)
{
    throw Exception("Cannot save a TPngGraphic to the Clipboard");
}

// ---- unit start-up ----------------------------------------------------------------

void InitializePngImage()
{
    TPicture::RegisterFileFormat("PNG", "Portable Network Graphics", GraphicClassOf<TPngGraphic>());
}

void FinalizePngImage() { TPicture::UnregisterGraphicClass(GraphicClassOf<TPngGraphic>()); }
