// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The runtime's graphics layer: colours, fonts, pens, brushes, the canvas,
// graphics (TGraphic), device-independent bitmaps (TBitmap) and the picture
// file-format registry (TPicture).
//
// This layer is plain C++. Drawing lines and text and measuring text need a
// font engine: TCanvas reaches them through TCanvasBackend, which the Qt
// library quillon_runtime_gui implements (runtime/gui/QtGraphics.h,
// UseQtGraphics()). Without a backend, text is measured with a fixed
// estimate and lines and text are not drawn.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "runtime/Classes.h"
#include "runtime/Exceptions.h"

class TStream;
class TCanvas;
class TBitmap;

// ---- colours ----------------------------------------------------------------
// 0x00BBGGRR: red in the low byte. Negative values (high bit set) name a
// system colour whose index is the low byte.
using TColor = int32_t;

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// System colour indices and the system colours built on them.
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_BTNTEXT = 18;
constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<uint32_t>(index)); }
constexpr TColor clWindow = SystemColor(COLOR_WINDOW);
constexpr TColor clWindowText = SystemColor(COLOR_WINDOWTEXT);
constexpr TColor clHighlight = SystemColor(COLOR_HIGHLIGHT);
constexpr TColor clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT);
constexpr TColor clBtnFace = SystemColor(COLOR_BTNFACE);
constexpr TColor clBtnText = SystemColor(COLOR_BTNTEXT);

// The fixed grey used for clBtnFace when no window system supplies the
// desktop's colours (the classic 3-D face grey, RGB 192, 192, 192).
constexpr TColor DefaultBtnFaceColor = 0xC0C0C0;

// The real colour of a system colour index: the desktop palette's when a
// backend with a window system supplies it, else a fixed table (clBtnFace:
// DefaultBtnFaceColor, window white, texts black).
TColor GetSysColor(int index);
// A system colour resolved to its real colour; other colours unchanged.
TColor ColorToRGB(TColor color);
constexpr uint8_t GetRValue(TColor c) { return static_cast<uint8_t>(c & 0xFF); }
constexpr uint8_t GetGValue(TColor c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
constexpr uint8_t GetBValue(TColor c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }
constexpr TColor RGB(uint8_t r, uint8_t g, uint8_t b) { return r | (g << 8) | (b << 16); }

// The colour of the application's main form, used where a picture stands
// for "the background". The form layer installs a source; without one (no
// main form, e.g. the command line) the answer is clBtnFace.
void SetMainFormColorSource(std::function<TColor()> source);
TColor MainFormColor();

// ---- geometry -----------------------------------------------------------------
struct TPoint {
    int X = 0, Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};
struct TSize {
    int cx = 0, cy = 0;
    friend bool operator==(const TSize&, const TSize&) = default;
};
struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};
inline TPoint Point(int x, int y) { return {x, y}; }
inline TRect Rect(int left, int top, int right, int bottom) { return {left, top, right, bottom}; }

// ---- fonts, pens, brushes --------------------------------------------------------
enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t; // a set of TFontStyle bits

constexpr int ScreenPixelsPerInch = 96;

class TFont : public TObject {
public:
    std::string Name = "MS Sans Serif";  // a font the machine lacks falls back to the desktop's small sans font
    int Size = 8;                        // points
    TColor Color = clWindowText;
    TFontStyles Style = 0;

    void Assign(const TFont& source) { *this = source; }
    // Character height in pixels at ScreenPixelsPerInch, negative as the
    // runtime stores it (-Size * 96 / 72, rounded).
    int Height() const;
    void SetHeight(int height);
};

enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
enum TPenMode { pmCopy, pmNot, pmXor };

class TPen : public TObject {
public:
    TColor Color = clBlack;
    TPenStyle Style = psSolid;
    int Width = 1;
    TPenMode Mode = pmCopy;
    void Assign(const TPen& source) { *this = source; }
};

enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };

class TBrush : public TObject {
public:
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
    void Assign(const TBrush& source) { *this = source; }
};

// ---- canvas -----------------------------------------------------------------
// A drawing surface with a pen, a brush and a font. Every drawing and
// measuring operation is virtual so that a subclass can draw elsewhere or
// merely record the calls. The base class draws nothing; TextWidth,
// TextHeight and TextExtent measure through the backend (or the estimate).
class TGraphic;

class TCanvas : public TObject {
public:
    TCanvas() = default;
    ~TCanvas() override = default;

    TFont Font;
    TPen Pen;
    TBrush Brush;
    TPoint PenPos;

    // Property writes a subclass can see: each sets its field (writing the
    // field directly is not seen). A canvas that records its calls overrides
    // them to note every write, a value written again unchanged included.
    virtual void SetBrushStyle(TBrushStyle value) { Brush.Style = value; }
    virtual void SetPenColor(TColor value) { Pen.Color = value; }
    virtual void SetPenStyle(TPenStyle value) { Pen.Style = value; }
    virtual void SetFontName(const std::string& value) { Font.Name = value; }
    virtual void SetFontSize(int value) { Font.Size = value; }
    virtual void SetFontColor(TColor value) { Font.Color = value; }
    virtual void AssignFont(const TFont& source) { Font.Assign(source); }
    // Says that the picture the canvas draws on was marked modified; the
    // base does nothing.
    virtual void Changed() {}

    virtual TSize TextExtent(std::string_view text);
    virtual int TextWidth(std::string_view text);
    virtual int TextHeight(std::string_view text);
    // Writes text with its top-left at (x, y) in Font.Color; with a solid
    // brush the text's cell is first filled with Brush.Color.
    virtual void TextOut(int x, int y, std::string_view text);
    // Connected line segments through the points, drawn with the pen.
    virtual void Polyline(const TPoint* points, int count);
    void Polyline(const std::vector<TPoint>& points) { Polyline(points.data(), static_cast<int>(points.size())); }
    virtual void MoveTo(int x, int y);
    virtual void LineTo(int x, int y);
    virtual void FillRect(const TRect& rect);
    virtual void Rectangle(const TRect& rect);
    // Draws the graphic scaled into rect (the graphic's own Draw).
    virtual void StretchDraw(const TRect& rect, TGraphic* graphic);
    // Draws the graphic at its own size with its top-left at (x, y).
    virtual void Draw(int x, int y, TGraphic* graphic);
    // Copies a bitmap's pixels scaled into rect (nearest pixel); used by
    // TBitmap::Draw. The base class draws nothing.
    virtual void StretchDrawBitmap(const TRect& rect, const TBitmap& source);
    virtual TColor GetPixel(int x, int y);
    virtual void SetPixel(int x, int y, TColor color);
};

// The drawing services that need a font engine and a rasteriser. The Qt
// library implements them (runtime/gui); tests may install their own.
class TCanvasBackend {
public:
    virtual ~TCanvasBackend() = default;
    virtual TSize TextExtent(const TFont& font, std::string_view text) = 0;
    virtual void TextOut(TBitmap& bitmap, const TFont& font, const TBrush& brush, int x, int y, std::string_view text) = 0;
    virtual void Polyline(TBitmap& bitmap, const TPen& pen, const TPoint* points, int count) = 0;
    // The desktop palette's colour for a system colour index; false when
    // there is no window system to ask.
    virtual bool SystemColor(int index, TColor& color) = 0;
};
// Installs (or, with nullptr, removes) the backend; not owned.
void SetCanvasBackend(TCanvasBackend* backend);
TCanvasBackend* CanvasBackend();
// The size of a text without a font engine: a fixed estimate of a small
// sans font (width 0.55 of the pixel height per character).
TSize EstimateTextExtent(const TFont& font, std::string_view text);

// ---- graphics -----------------------------------------------------------------
struct TPaletteEntry {
    uint8_t peRed = 0, peGreen = 0, peBlue = 0, peFlags = 0;
    friend bool operator==(const TPaletteEntry&, const TPaletteEntry&) = default;
};
constexpr uint8_t PC_RESERVED = 1;
constexpr uint8_t PC_EXPLICIT = 2;
constexpr uint8_t PC_NOCOLLAPSE = 4;
// A logical palette as a value: its entries (at most 256). Empty = none.
using TPalette = std::vector<TPaletteEntry>;

// The base of every picture class. Operations a class leaves abstract raise
// EAbstractError "Abstract error". The virtual operations, in slot order:
class TGraphic : public TObject {
public:
    TGraphic() = default;
    ~TGraphic() override = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;

    // The class's name as the picture system shows it ("TBitmap", "TGIF").
    virtual const char* ClassName() const { return "TGraphic"; }

    // Copies this graphic into dest; the base raises EConvertError
    // "Cannot assign a <this class> to a <dest class>".
    virtual void AssignTo(TGraphic* dest) const;
    virtual void DefineProperties() {}
    // Copies source into this graphic: source->AssignTo(this) unless a class
    // knows the source.
    virtual void Assign(const TGraphic* source);
    // Sets Modified and calls OnChange.
    virtual void Changed();
    virtual void Draw(TCanvas& canvas, const TRect& rect);
    // Same class and same saved bytes (both empty counts as equal).
    virtual bool Equals(TGraphic* graphic);
    virtual bool GetEmpty() const;
    virtual int GetHeight() const;
    virtual TPalette GetPalette() const { return {}; }
    virtual bool GetTransparent() const { return transparent_; }
    virtual int GetWidth() const;
    virtual void ReadData(TStream& stream) { LoadFromStream(stream); }
    virtual void SetHeight(int value);
    virtual void SetPalette(const TPalette& value) {}
    virtual void SetTransparent(bool value);
    virtual void SetWidth(int value);
    virtual void WriteData(TStream& stream) { SaveToStream(stream); }
    // Opens the file for reading (writers denied) and calls LoadFromStream.
    virtual void LoadFromFile(const std::string& fileName);
    // Creates the file and calls SaveToStream.
    virtual void SaveToFile(const std::string& fileName);
    virtual void LoadFromStream(TStream& stream);
    virtual void SaveToStream(TStream& stream);
    virtual void LoadFromClipboardFormat(uint16_t format, uintptr_t data, uintptr_t palette);
    virtual void SaveToClipboardFormat(uint16_t& format, uintptr_t& data, uintptr_t& palette);

    bool Empty() const { return GetEmpty(); }
    int Width() const { return GetWidth(); }
    int Height() const { return GetHeight(); }
    bool Transparent() const { return GetTransparent(); }
    bool Modified() const { return modified_; }
    // Setting true signals Changed; false only clears the flag.
    void SetModified(bool value);
    bool PaletteModified() const { return paletteModified_; }
    void SetPaletteModified(bool value) { paletteModified_ = value; }

    TNotifyEvent OnChange;

protected:
    [[noreturn]] void AbstractError() const;

private:
    bool modified_ = false;
    bool transparent_ = false;
    bool paletteModified_ = false;
};

// ---- bitmaps ------------------------------------------------------------------
enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum TBitmapHandleType { bmDIB, bmDDB };
enum TTransparentMode { tmAuto, tmFixed };

int BitsPerPixelOf(TPixelFormat format); // 1, 4, 8, 16, 16, 24, 32; pfDevice/pfCustom 24

// The picture size policy shared by every decoder (GIF, PNG, BMP): the
// largest picture accepted, in pixels and in bytes of decoded data. A header
// asking for more is refused before anything is allocated. Fuzz builds take
// far smaller pictures, so that hostile sizes fail fast there instead of
// spending each run on allocating and clearing memory.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr int64_t MaxPicturePixels = int64_t(1) << 16;
constexpr int64_t MaxPictureBytes = int64_t(1) << 19;
#else
constexpr int64_t MaxPicturePixels = int64_t(1) << 28;
constexpr int64_t MaxPictureBytes = int64_t(1) << 30;
#endif
// True when a width x height picture of `bytes` decoded bytes is within the
// policy (negative sizes never are).
constexpr bool PictureSizeAllowed(int64_t width, int64_t height, int64_t bytes)
{
    return width >= 0 && height >= 0 && bytes >= 0 && (width == 0 || height <= MaxPicturePixels / width) &&
           bytes <= MaxPictureBytes;
}

// Bytes of a width x height bitmap of bitsPerPixel bits, rows padded to 4
// bytes, counted in 64 bits; -1 when that would not fit them or a size is
// negative.
int64_t BitmapBytes(int64_t width, int64_t height, int bitsPerPixel);
// True when a bitmap of that size and format is within the picture size
// policy. Every bitmap the runtime allocates is held to it.
bool BitmapSizeAllowed(int64_t width, int64_t height, int bitsPerPixel);
// Why such a bitmap is refused, in words: "a picture of 1431655766 x 1
// pixels at 24 bits per pixel is larger than the largest allowed (268435456
// pixels, 1073741824 bytes)".
std::string PictureSizeRefusal(int64_t width, int64_t height, int bitsPerPixel);

// A device-independent bitmap held in memory: rows top-down, each padded to
// a multiple of 4 bytes, pixels as in a BMP file (B, G, R[, A] bytes; 16 bits
// as 5-5-5 little-endian words; 1, 4 and 8 bits as palette indices, most
// significant bits first).
class TBitmap : public TGraphic {
public:
    TBitmap();
    ~TBitmap() override;

    const char* ClassName() const override { return "TBitmap"; }
    void Assign(const TGraphic* source) override;
    void Draw(TCanvas& canvas, const TRect& rect) override;
    bool GetEmpty() const override;
    int GetHeight() const override { return height_; }
    TPalette GetPalette() const override { return palette_; }
    int GetWidth() const override { return width_; }
    // Changes the size keeping the pixels that still fit (top-left anchored);
    // new pixels are 0.
    void SetHeight(int value) override;
    void SetWidth(int value) override;
    void SetPalette(const TPalette& value) override;
    // Reads a BMP file (runtime/BmpCodec.h) from the stream's position.
    void LoadFromStream(TStream& stream) override;
    // Writes a BMP file: 24/32-bit without colour table, palette formats
    // with theirs, 16-bit as 5-5-5.
    void SaveToStream(TStream& stream) override;

    void SetSize(int width, int height);
    TPixelFormat PixelFormat() const { return pixelFormat_; }
    // Converts the pixels to the new format (palette formats map colours to
    // the nearest palette entry; a palette format without a palette gets a
    // grey ramp).
    void SetPixelFormat(TPixelFormat value);
    int BitsPerPixel() const { return BitsPerPixelOf(pixelFormat_); }
    TBitmapHandleType HandleType = bmDIB;
    TTransparentMode TransparentMode = tmAuto;
    TColor TransparentColor = clDefault;

    // Row 0 is the top row. EInvalidGraphic "Scan line index out of range".
    uint8_t* ScanLine(int row);
    const uint8_t* ScanLine(int row) const;
    int BytesPerScanLine() const { return stride_; }
    // Counted in 64 bits: a row of any int width fits.
    static int64_t BytesPerScanLine(int64_t width, int bitsPerPixel);

    // Colour of one pixel (palette formats through the palette); outside
    // the bitmap: clBlack / nothing.
    TColor GetPixelColor(int x, int y) const;
    void SetPixelColor(int x, int y, TColor color);
    // Nearest palette entry to a colour (0 for an empty palette).
    int NearestPaletteIndex(TColor color) const;

    // The canvas that draws on this bitmap; owned by the bitmap.
    TCanvas* Canvas();

    // Replaces pixels, size, format and palette at once (used by readers);
    // pixels must be height * BytesPerScanLine(width, bpp) bytes.
    void SetPixelData(TPixelFormat format, int width, int height, std::vector<uint8_t> pixels, TPalette palette);
    // Takes Source's pixels, size, format and palette without copying them;
    // Source is left empty.
    void TakePixelsFrom(TBitmap& Source);
    const std::vector<uint8_t>& PixelData() const { return pixels_; }

private:
    void Reallocate(int width, int height, TPixelFormat format, bool keep);

    int width_ = 0;
    int height_ = 0;
    int stride_ = 0;
    TPixelFormat pixelFormat_ = pf24bit;
    std::vector<uint8_t> pixels_;
    TPalette palette_;
    std::unique_ptr<TCanvas> canvas_;
};

// The canvas of a bitmap: draws lines and text through the backend, copies
// pixels itself.
class TBitmapCanvas : public TCanvas {
public:
    explicit TBitmapCanvas(TBitmap& bitmap) : bitmap_(bitmap) {}
    void TextOut(int x, int y, std::string_view text) override;
    void Polyline(const TPoint* points, int count) override;
    void FillRect(const TRect& rect) override;
    void StretchDrawBitmap(const TRect& rect, const TBitmap& source) override;
    TColor GetPixel(int x, int y) override;
    void SetPixel(int x, int y, TColor color) override;
    TBitmap& Bitmap() { return bitmap_; }

private:
    TBitmap& bitmap_;
};

// ---- pictures --------------------------------------------------------------------
// A picture class as the registry knows it: its identity and a factory.
struct TGraphicClass {
    const std::type_info* Type = nullptr;
    std::unique_ptr<TGraphic> (*Create)() = nullptr;
    friend bool operator==(const TGraphicClass& a, const TGraphicClass& b) { return a.Type && b.Type && *a.Type == *b.Type; }
};
template <class T>
TGraphicClass GraphicClassOf()
{
    return TGraphicClass{&typeid(T), []() -> std::unique_ptr<TGraphic> { return std::make_unique<T>(); }};
}

struct TFileFormat {
    std::string Extension;   // without the dot, as registered
    std::string Description;
    TGraphicClass GraphicClass;
};

// Holds one graphic and loads files through the class registered for their
// extension (compared case-insensitively). The registry starts with TBitmap
// under "bmp"; the latest registration of an extension wins.
class TPicture : public TObject {
public:
    TPicture() = default;
    ~TPicture() override = default;

    static void RegisterFileFormat(const std::string& extension, const std::string& description, TGraphicClass graphicClass);
    // Removes every format registered with the class.
    static void UnregisterGraphicClass(const TGraphicClass& graphicClass);
    // The class for an extension (with or without the dot); nullptr when none.
    static const TFileFormat* FindFileFormat(std::string_view extension);
    static std::vector<TFileFormat> FileFormats();

    // EInvalidGraphic "Unknown picture file extension (.ext)" when no class
    // is registered; the loading class's own errors otherwise. On error the
    // picture keeps what it held.
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);

    TGraphic* Graphic() const { return graphic_.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }
    // The graphic as a bitmap when it is one, else nullptr.
    TBitmap* Bitmap() const { return dynamic_cast<TBitmap*>(graphic_.get()); }
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }

private:
    std::unique_ptr<TGraphic> graphic_;
};
