// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/Graphics.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "runtime/BmpCodec.h"
#include "runtime/ByteOrder.h"
#include "runtime/Streams.h"
#include "runtime/SysUtils.h"

// ---- colours --------------------------------------------------------------------

namespace {

TCanvasBackend* backend = nullptr;

std::function<TColor()>& MainFormColorSourceRef()
{
    static std::function<TColor()> source;
    return source;
}

} // namespace

void SetCanvasBackend(TCanvasBackend* value) { backend = value; }
TCanvasBackend* CanvasBackend() { return backend; }

TColor GetSysColor(int index)
{
    TColor c;
    if (backend && backend->SystemColor(index, c))
        return c;
    switch (index) {
    case COLOR_BTNFACE: return DefaultBtnFaceColor;
    case COLOR_WINDOW: return clWhite;
    case COLOR_HIGHLIGHT: return clNavy;
    case COLOR_HIGHLIGHTTEXT: return clWhite;
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT: return clBlack;
    default: return DefaultBtnFaceColor;
    }
}

TColor ColorToRGB(TColor color)
{
    if (color < 0)
        return GetSysColor(color & 0xFF);
    return color & 0xFFFFFF;
}

void SetMainFormColorSource(std::function<TColor()> source) { MainFormColorSourceRef() = std::move(source); }

TColor MainFormColor()
{
    auto& source = MainFormColorSourceRef();
    return source ? source() : clBtnFace;
}

// ---- font -----------------------------------------------------------------------

int TFont::Height() const
{
    return -static_cast<int>(std::lround(Size * double(ScreenPixelsPerInch) / 72.0));
}

void TFont::SetHeight(int height)
{
    Size = static_cast<int>(std::lround(-height * 72.0 / ScreenPixelsPerInch));
}

// ---- canvas ---------------------------------------------------------------------

TSize EstimateTextExtent(const TFont& font, std::string_view text)
{
    int pixels = std::abs(font.Height());
    int charWidth = std::max(1, (pixels * 11 + 10) / 20);
    return {static_cast<int>(text.size()) * charWidth, pixels + (pixels + 3) / 4};
}

TSize TCanvas::TextExtent(std::string_view text)
{
    return backend ? backend->TextExtent(Font, text) : EstimateTextExtent(Font, text);
}

int TCanvas::TextWidth(std::string_view text) { return TextExtent(text).cx; }
int TCanvas::TextHeight(std::string_view text) { return TextExtent(text).cy; }
void TCanvas::TextOut(int x, int y, std::string_view text) { PenPos = {x + TextWidth(text), y}; }
void TCanvas::Polyline(const TPoint* points, int count)
{
    if (points && count > 0)
        PenPos = points[count - 1];
}
void TCanvas::MoveTo(int x, int y) { PenPos = {x, y}; }
void TCanvas::LineTo(int x, int y)
{
    TPoint pts[2] = {PenPos, {x, y}};
    Polyline(pts, 2);
    PenPos = {x, y};
}
void TCanvas::FillRect(const TRect&) {}
void TCanvas::Rectangle(const TRect& rect)
{
    if (Brush.Style != bsClear)
        FillRect(rect);
    if (Pen.Style != psClear) {
        TPoint pts[5] = {{rect.Left, rect.Top}, {rect.Right - 1, rect.Top}, {rect.Right - 1, rect.Bottom - 1},
                         {rect.Left, rect.Bottom - 1}, {rect.Left, rect.Top}};
        Polyline(pts, 5);
    }
}
void TCanvas::StretchDraw(const TRect& rect, TGraphic* graphic)
{
    if (graphic)
        graphic->Draw(*this, rect);
}
void TCanvas::Draw(int x, int y, TGraphic* graphic)
{
    if (graphic && !graphic->Empty())
        graphic->Draw(*this, Rect(x, y, x + graphic->Width(), y + graphic->Height()));
}
void TCanvas::StretchDrawBitmap(const TRect&, const TBitmap&) {}
TColor TCanvas::GetPixel(int, int) { return clBlack; }
void TCanvas::SetPixel(int, int, TColor) {}

// ---- bitmap canvas ------------------------------------------------------------

void TBitmapCanvas::TextOut(int x, int y, std::string_view text)
{
    if (backend && !bitmap_.Empty())
        backend->TextOut(bitmap_, Font, Brush, x, y, text);
    TCanvas::TextOut(x, y, text);
    bitmap_.Changed();
}

void TBitmapCanvas::Polyline(const TPoint* points, int count)
{
    if (backend && !bitmap_.Empty() && points && count > 0 && Pen.Style != psClear)
        backend->Polyline(bitmap_, Pen, points, count);
    TCanvas::Polyline(points, count);
    bitmap_.Changed();
}

void TBitmapCanvas::FillRect(const TRect& rect)
{
    if (Brush.Style == bsClear)
        return;
    int left = std::max(0, std::min(rect.Left, rect.Right)), right = std::min(bitmap_.Width(), std::max(rect.Left, rect.Right));
    int top = std::max(0, std::min(rect.Top, rect.Bottom)), bottom = std::min(bitmap_.Height(), std::max(rect.Top, rect.Bottom));
    TColor c = ColorToRGB(Brush.Color);
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            bitmap_.SetPixelColor(x, y, c);
    bitmap_.Changed();
}

void TBitmapCanvas::StretchDrawBitmap(const TRect& rect, const TBitmap& source)
{
    int dw = rect.Width(), dh = rect.Height();
    int sw = source.Width(), sh = source.Height();
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0)
        return;
    const bool sameFormat = source.PixelFormat() == bitmap_.PixelFormat() && bitmap_.BitsPerPixel() >= 8 &&
                            (bitmap_.BitsPerPixel() > 8 || source.GetPalette() == bitmap_.GetPalette());
    const int bytes = bitmap_.BitsPerPixel() / 8;
    // Nearest source pixel for every destination pixel (a negative size mirrors).
    int x0 = std::max(0, std::min(rect.Left, rect.Right)), x1 = std::min(bitmap_.Width(), std::max(rect.Left, rect.Right));
    int y0 = std::max(0, std::min(rect.Top, rect.Bottom)), y1 = std::min(bitmap_.Height(), std::max(rect.Top, rect.Bottom));
    std::vector<int> srcX(static_cast<size_t>(std::max(0, x1 - x0)));
    for (int x = x0; x < x1; ++x) {
        int64_t rel = dw > 0 ? x - rect.Left : rect.Left - 1 - x;
        srcX[x - x0] = static_cast<int>(std::clamp<int64_t>(rel * sw / std::abs(dw), 0, sw - 1));
    }
    for (int y = y0; y < y1; ++y) {
        int64_t rel = dh > 0 ? y - rect.Top : rect.Top - 1 - y;
        int sy = static_cast<int>(std::clamp<int64_t>(rel * sh / std::abs(dh), 0, sh - 1));
        if (sameFormat) {
            const uint8_t* src = source.ScanLine(sy);
            uint8_t* dst = bitmap_.ScanLine(y);
            for (int x = x0; x < x1; ++x)
                std::memcpy(dst + x * bytes, src + srcX[x - x0] * bytes, static_cast<size_t>(bytes));
        } else {
            for (int x = x0; x < x1; ++x)
                bitmap_.SetPixelColor(x, y, source.GetPixelColor(srcX[x - x0], sy));
        }
    }
    bitmap_.Changed();
}

TColor TBitmapCanvas::GetPixel(int x, int y) { return bitmap_.GetPixelColor(x, y); }

void TBitmapCanvas::SetPixel(int x, int y, TColor color)
{
    bitmap_.SetPixelColor(x, y, ColorToRGB(color));
    bitmap_.Changed();
}

// ---- graphic ----------------------------------------------------------------------

void TGraphic::AbstractError() const { throw EAbstractError("Abstract error"); }

void TGraphic::AssignTo(TGraphic* dest) const
{
    throw EConvertError(std::string("Cannot assign a ") + ClassName() + " to a " + (dest ? dest->ClassName() : "nil"));
}

void TGraphic::Assign(const TGraphic* source)
{
    if (!source)
        throw EConvertError(std::string("Cannot assign a nil to a ") + ClassName());
    source->AssignTo(this);
}

void TGraphic::Changed()
{
    modified_ = true;
    if (OnChange)
        OnChange(this);
}

void TGraphic::Draw(TCanvas&, const TRect&) { AbstractError(); }

bool TGraphic::Equals(TGraphic* graphic)
{
    if (!graphic || typeid(*graphic) != typeid(*this))
        return false;
    if (Empty() || graphic->Empty())
        return Empty() == graphic->Empty();
    try {
        TMemoryStream a, b;
        SaveToStream(a);
        graphic->SaveToStream(b);
        return a.Size() == b.Size() && std::memcmp(a.Memory(), b.Memory(), static_cast<size_t>(a.Size())) == 0;
    } catch (const Exception&) {
        return false;
    }
}

bool TGraphic::GetEmpty() const { AbstractError(); }
int TGraphic::GetHeight() const { AbstractError(); }
int TGraphic::GetWidth() const { AbstractError(); }
void TGraphic::SetHeight(int) { AbstractError(); }
void TGraphic::SetWidth(int) { AbstractError(); }
void TGraphic::SetTransparent(bool value)
{
    if (value != transparent_) {
        transparent_ = value;
        Changed();
    }
}
void TGraphic::LoadFromStream(TStream&) { AbstractError(); }
void TGraphic::SaveToStream(TStream&) { AbstractError(); }
void TGraphic::LoadFromClipboardFormat(uint16_t, uintptr_t, uintptr_t) { AbstractError(); }
void TGraphic::SaveToClipboardFormat(uint16_t&, uintptr_t&, uintptr_t&) { AbstractError(); }

void TGraphic::LoadFromFile(const std::string& fileName)
{
    TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& fileName)
{
    NamingFileInErrors("Cannot write", fileName, [&] {
        TFileStream stream(fileName, fmCreate);
        SaveToStream(stream);
    });
}

void TGraphic::SetModified(bool value)
{
    if (value)
        Changed();
    else
        modified_ = false;
}

// ---- bitmap ---------------------------------------------------------------------

int BitsPerPixelOf(TPixelFormat format)
{
    switch (format) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit:
    case pf16bit: return 16;
    case pf32bit: return 32;
    default: return 24;
    }
}

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

int64_t TBitmap::BytesPerScanLine(int64_t width, int bitsPerPixel)
{
    // A width of up to 2^58 and 32 bits fit 64 bits; ints are far below.
    width = std::clamp<int64_t>(width, 0, int64_t(1) << 56);
    return ((width * bitsPerPixel + 31) / 32) * 4;
}

int64_t BitmapBytes(int64_t width, int64_t height, int bitsPerPixel)
{
    if (width < 0 || height < 0 || width > INT32_MAX || height > INT32_MAX)
        return -1;
    const int64_t stride = TBitmap::BytesPerScanLine(width, bitsPerPixel);
    if (height != 0 && stride > INT64_MAX / height)
        return -1;
    return stride * height;
}

bool BitmapSizeAllowed(int64_t width, int64_t height, int bitsPerPixel)
{
    const int64_t bytes = BitmapBytes(width, height, bitsPerPixel);
    return bytes >= 0 && PictureSizeAllowed(width, height, bytes);
}

std::string PictureSizeRefusal(int64_t width, int64_t height, int bitsPerPixel)
{
    std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width < 0 || height < 0)
        return "a picture of " + size + " pixels has a negative size";
    return "a picture of " + size + " pixels at " + std::to_string(bitsPerPixel) +
           " bits per pixel is larger than the largest allowed (" + std::to_string(MaxPicturePixels) +
           " pixels, " + std::to_string(MaxPictureBytes) + " bytes)";
}

bool TBitmap::GetEmpty() const { return width_ == 0 || height_ == 0; }

void TBitmap::Reallocate(int width, int height, TPixelFormat format, bool keep)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    int bpp = BitsPerPixelOf(format);
    // Checked before anything is allocated; within the policy a row fits an int.
    if (!BitmapSizeAllowed(width, height, bpp))
        throw EOutOfMemory("Bitmap too large: " + PictureSizeRefusal(width, height, bpp));
    const int stride = static_cast<int>(BytesPerScanLine(width, bpp));
    std::vector<uint8_t> pixels(static_cast<size_t>(int64_t(stride) * height), 0);
    if (keep && format == pixelFormat_) {
        int rows = std::min(height, height_);
        size_t bytes = static_cast<size_t>((int64_t(std::min(width, width_)) * bpp + 7) / 8);
        for (int r = 0; r < rows; ++r)
            std::memcpy(pixels.data() + size_t(r) * stride, pixels_.data() + size_t(r) * stride_, bytes);
    }
    width_ = width;
    height_ = height;
    stride_ = stride;
    pixels_ = std::move(pixels);
}

void TBitmap::SetSize(int width, int height)
{
    if (width == width_ && height == height_)
        return;
    Reallocate(width, height, pixelFormat_, true);
    Changed();
}

void TBitmap::SetWidth(int value) { SetSize(value, height_); }
void TBitmap::SetHeight(int value) { SetSize(width_, value); }

void TBitmap::SetPalette(const TPalette& value)
{
    palette_ = value;
    if (palette_.size() > 256)
        palette_.resize(256);
    SetPaletteModified(true);
    Changed();
}

void TBitmap::SetPixelFormat(TPixelFormat value)
{
    if (value == pixelFormat_)
        return;
    TBitmap old;
    old.SetPixelData(pixelFormat_, width_, height_, pixels_, palette_);
    int bpp = BitsPerPixelOf(value);
    if (bpp <= 8 && palette_.empty()) {
        int n = 1 << bpp;
        for (int i = 0; i < n; ++i) {
            auto v = static_cast<uint8_t>(i * 255 / (n - 1));
            palette_.push_back({v, v, v, 0});
        }
    }
    if (bpp <= 8 && palette_.size() > (size_t(1) << bpp))
        palette_.resize(size_t(1) << bpp);
    if (bpp > 8 && old.BitsPerPixel() <= 8)
        palette_.clear();
    const bool keepIndices = bpp <= 8 && old.BitsPerPixel() <= 8;
    pixelFormat_ = value;
    Reallocate(width_, height_, value, false);
    for (int y = 0; y < height_; ++y)
        for (int x = 0; x < width_; ++x) {
            if (keepIndices) {
                const uint8_t* s = old.ScanLine(y);
                int index;
                switch (old.BitsPerPixel()) {
                case 1: index = (s[x / 8] >> (7 - x % 8)) & 1; break;
                case 4: index = (x & 1) ? (s[x / 2] & 0x0F) : (s[x / 2] >> 4); break;
                default: index = s[x]; break;
                }
                if (index >= (1 << bpp))
                    index = NearestPaletteIndex(old.GetPixelColor(x, y));
                uint8_t* d = ScanLine(y);
                switch (bpp) {
                case 1: d[x / 8] = static_cast<uint8_t>((d[x / 8] & ~(0x80 >> (x % 8))) | ((index & 1) << (7 - x % 8))); break;
                case 4: d[x / 2] = (x & 1) ? static_cast<uint8_t>((d[x / 2] & 0xF0) | index) : static_cast<uint8_t>((d[x / 2] & 0x0F) | (index << 4)); break;
                default: d[x] = static_cast<uint8_t>(index); break;
                }
            } else {
                SetPixelColor(x, y, old.GetPixelColor(x, y));
            }
        }
    Changed();
}

uint8_t* TBitmap::ScanLine(int row)
{
    if (row < 0 || row >= height_)
        throw EInvalidGraphic("Scan line index out of range");
    return pixels_.data() + size_t(row) * stride_;
}

const uint8_t* TBitmap::ScanLine(int row) const
{
    if (row < 0 || row >= height_)
        throw EInvalidGraphic("Scan line index out of range");
    return pixels_.data() + size_t(row) * stride_;
}

TColor TBitmap::GetPixelColor(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return clBlack;
    const uint8_t* s = pixels_.data() + size_t(y) * stride_;
    auto fromPalette = [&](int index) -> TColor {
        if (index < 0 || size_t(index) >= palette_.size())
            return clBlack;
        const TPaletteEntry& e = palette_[index];
        return RGB(e.peRed, e.peGreen, e.peBlue);
    };
    switch (BitsPerPixel()) {
    case 1: return fromPalette((s[x / 8] >> (7 - x % 8)) & 1);
    case 4: return fromPalette((x & 1) ? (s[x / 2] & 0x0F) : (s[x / 2] >> 4));
    case 8: return fromPalette(s[x]);
    case 16: {
        unsigned v = GetLE16(s + 2 * x);
        auto c5 = [](unsigned c) { return static_cast<uint8_t>((c << 3) | (c >> 2)); };
        return RGB(c5((v >> 10) & 31), c5((v >> 5) & 31), c5(v & 31));
    }
    case 32: return RGB(s[4 * x + 2], s[4 * x + 1], s[4 * x]);
    default: return RGB(s[3 * x + 2], s[3 * x + 1], s[3 * x]);
    }
}

int TBitmap::NearestPaletteIndex(TColor color) const
{
    int best = 0;
    long bestDistance = -1;
    int r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    for (size_t i = 0; i < palette_.size(); ++i) {
        const TPaletteEntry& e = palette_[i];
        long d = long(e.peRed - r) * (e.peRed - r) + long(e.peGreen - g) * (e.peGreen - g) + long(e.peBlue - b) * (e.peBlue - b);
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
            if (d == 0)
                break;
        }
    }
    return best;
}

void TBitmap::SetPixelColor(int x, int y, TColor color)
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return;
    color = ColorToRGB(color);
    uint8_t* d = pixels_.data() + size_t(y) * stride_;
    uint8_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    switch (BitsPerPixel()) {
    case 1: {
        int index = NearestPaletteIndex(color) & 1;
        d[x / 8] = static_cast<uint8_t>((d[x / 8] & ~(0x80 >> (x % 8))) | (index << (7 - x % 8)));
        break;
    }
    case 4: {
        int index = NearestPaletteIndex(color) & 0x0F;
        d[x / 2] = (x & 1) ? static_cast<uint8_t>((d[x / 2] & 0xF0) | index) : static_cast<uint8_t>((d[x / 2] & 0x0F) | (index << 4));
        break;
    }
    case 8: d[x] = static_cast<uint8_t>(NearestPaletteIndex(color)); break;
    case 16: {
        unsigned v = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
        PutLE16(d + 2 * x, static_cast<uint16_t>(v));
        break;
    }
    case 32: d[4 * x] = b; d[4 * x + 1] = g; d[4 * x + 2] = r; break;
    default: d[3 * x] = b; d[3 * x + 1] = g; d[3 * x + 2] = r; break;
    }
}

TCanvas* TBitmap::Canvas()
{
    if (!canvas_)
        canvas_ = std::make_unique<TBitmapCanvas>(*this);
    return canvas_.get();
}

void TBitmap::SetPixelData(TPixelFormat format, int width, int height, std::vector<uint8_t> pixels, TPalette palette)
{
    const int bpp = BitsPerPixelOf(format);
    const int64_t bytes = BitmapBytes(width, height, bpp);
    if (bytes < 0 || pixels.size() != uint64_t(bytes))
        throw EInvalidGraphic("Bitmap pixel data does not match its size");
    if (!BitmapSizeAllowed(width, height, bpp))
        throw EOutOfMemory("Bitmap too large: " + PictureSizeRefusal(width, height, bpp));
    const int stride = static_cast<int>(BytesPerScanLine(width, bpp));
    pixelFormat_ = format;
    width_ = width;
    height_ = height;
    stride_ = stride;
    pixels_ = std::move(pixels);
    palette_ = std::move(palette);
    if (palette_.size() > 256)
        palette_.resize(256);
    Changed();
}

void TBitmap::TakePixelsFrom(TBitmap& Source)
{
    if (&Source == this)
        return;
    SetPixelData(Source.pixelFormat_, Source.width_, Source.height_, std::move(Source.pixels_),
                 std::move(Source.palette_));
    Source.width_ = Source.height_ = Source.stride_ = 0;
    Source.pixels_.clear();
    Source.palette_.clear();
}

void TBitmap::Assign(const TGraphic* source)
{
    if (source == this)
        return;
    if (auto* bitmap = dynamic_cast<const TBitmap*>(source)) {
        SetPixelData(bitmap->pixelFormat_, bitmap->width_, bitmap->height_, bitmap->pixels_, bitmap->palette_);
        SetTransparent(bitmap->Transparent());
        TransparentMode = bitmap->TransparentMode;
        TransparentColor = bitmap->TransparentColor;
        return;
    }
    if (source && !source->Empty()) {
        // Any other graphic: drawn at its own size onto a 24-bit bitmap.
        try {
            source->AssignTo(this);
            return;
        } catch (const EConvertError&) {
        }
        SetPixelData(pf24bit, 0, 0, {}, {});
        SetSize(source->Width(), source->Height());
        Canvas()->StretchDraw(Rect(0, 0, source->Width(), source->Height()), const_cast<TGraphic*>(source));
        return;
    }
    TGraphic::Assign(source);
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect)
{
    if (!Empty())
        canvas.StretchDrawBitmap(rect, *this);
}

void TBitmap::LoadFromStream(TStream& stream) { ReadBmp(stream, *this); }

void TBitmap::SaveToStream(TStream& stream) { WriteBmp(stream, *this); }

// ---- pictures --------------------------------------------------------------------

namespace {

std::vector<TFileFormat>& Formats()
{
    // The runtime's own bitmap class is there from the start.
    static std::vector<TFileFormat> formats{{"bmp", "Bitmaps", GraphicClassOf<TBitmap>()}};
    return formats;
}

std::string NormalExtension(std::string_view extension)
{
    if (!extension.empty() && extension.front() == '.')
        extension.remove_prefix(1);
    return LowerCase(extension);
}

} // namespace

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description, TGraphicClass graphicClass)
{
    // The newest registration comes first, so it wins for its extension.
    Formats().insert(Formats().begin(), TFileFormat{NormalExtension(extension), description, graphicClass});
}

void TPicture::UnregisterGraphicClass(const TGraphicClass& graphicClass)
{
    auto& formats = Formats();
    formats.erase(std::remove_if(formats.begin(), formats.end(),
                                 [&](const TFileFormat& f) { return f.GraphicClass == graphicClass; }),
                  formats.end());
}

const TFileFormat* TPicture::FindFileFormat(std::string_view extension)
{
    std::string ext = NormalExtension(extension);
    for (const TFileFormat& f : Formats())
        if (f.Extension == ext)
            return &f;
    return nullptr;
}

std::vector<TFileFormat> TPicture::FileFormats() { return Formats(); }

void TPicture::LoadFromFile(const std::string& fileName)
{
    std::string ext = ExtractFileExt(fileName);
    const TFileFormat* format = FindFileFormat(ext);
    if (!format)
        throw EInvalidGraphic("Unknown picture file extension (" + ext + ")");
    std::unique_ptr<TGraphic> graphic = format->GraphicClass.Create();
    graphic->LoadFromFile(fileName);
    graphic_ = std::move(graphic);
}

void TPicture::SaveToFile(const std::string& fileName)
{
    if (graphic_)
        NamingFileInErrors("Cannot write", fileName, [&] { graphic_->SaveToFile(fileName); });
}
