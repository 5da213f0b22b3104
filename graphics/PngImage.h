// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// PNG pictures through libpng 1.6: TPngImage (an in-memory PNG image that
// reads and writes PNG streams and paints itself into a TBitmap) and
// TPngGraphic (the picture class registered under "PNG", sharing one
// TPngImage by reference count between graphics assigned to each other).
//
// libpng reports errors by a long jump. Our handlers turn them into an
// Exception carrying libpng's message once control is back in our code; the
// library's structures are destroyed on every path, and no C++ exception
// ever unwinds through libpng's frames (an exception raised in a read,
// write or progress callback is kept and rethrown after the jump).
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/Classes.h"
#include "runtime/Graphics.h"
#include "runtime/SysUtils.h"

class TStream;

enum TProgressStage { psStarting, psRunning, psEnding };
using TProgressEvent = std::function<void(TObject* sender, TProgressStage stage, uint8_t percentDone, bool redrawNow,
                                          const TRect& rect, const std::string& message)>;
// libpng's row callback: (library structure, row, pass).
struct png_struct_def;
using TPngRowCallback = void (*)(png_struct_def* png, uint32_t row, int pass);

struct TPngPaletteEntry {
    uint8_t red = 0, green = 0, blue = 0;
};

class TPngImage : public TObject {
public:
    TPngImage();
    ~TPngImage() override;
    TPngImage(const TPngImage&) = delete;
    TPngImage& operator=(const TPngImage&) = delete;

    int BitDepth = 0;
    int Channels = 0;
    int ColorType = 2;
    uint32_t Height = 0;
    uint32_t Width = 0;
    int InterlaceType = 0;
    int CompressionType = 0;
    int FilterType = 0;
    int Filters = 56;            // none, sub and up
    TColor BackgroundColor = 0;  // from bKGD; red in the low byte
    bool Transparent = false;    // a bKGD chunk was present
    uint32_t RowBytes = 0;
    double FileGamma = 0;        // the gAMA chunk's value, 0 when absent
    double ScreenGamma = 0;
    int Passes = 0;
    int CompressionLevel = 3;
    std::vector<uint8_t> ImageData;       // Height x RowBytes bytes
    std::vector<uint8_t*> RowPointers;    // row i at ImageData + i x RowBytes
    int RefCount = 1;
    std::string Author, Description, Software, Title;
    TStringList TextList;                 // every text chunk as key=value
    TDateTime LastModified = 0;
    TPngRowCallback OnReadRow = nullptr;
    TPngRowCallback OnWriteRow = nullptr;
    TProgressEvent OnProgress;
    bool ExpandToRGB = true;
    TPngPaletteEntry Palette[256];
    int PaletteCount = 0;

    // Reads a PNG from the stream's position. Errors: EReadError for fewer
    // than 4 bytes, Exception "Is not a valid PNG !", Exception with
    // libpng's message for a corrupt stream.
    void ReadFromStream(TStream& stream);
    void WriteToStream(TStream& stream);
    void ReadFromFile(const std::string& fileName);
    void WriteToFile(const std::string& fileName);
    // Copies the pixels into bitmap with their top-left at (x, y). 16-bit
    // samples are painted by their high byte.
    void PaintToBitmap(TBitmap& bitmap, int x, int y);
    void DrawOn(TCanvas& canvas, const TRect& rect);
    void AllocateImage();
    // Makes this an 8-bit RGB image (colour type 2) of the bitmap's pixels,
    // ready to be written.
    void CopyFromBitmap(const TBitmap& bitmap);
    // Writes the bitmap to the stream as CopyFromBitmap and WriteToStream
    // would, byte for byte, straight from its scan lines a row at a time, so
    // the picture is never held twice. The header fields become the bitmap's
    // (as CopyFromBitmap sets them); ImageData is left empty.
    void WriteBitmapToStream(const TBitmap& bitmap, TStream& stream);
    void AddRef() { ++RefCount; }
    // RefCount - 1; the image deletes itself at 0 or below.
    void Release();
    virtual void Progress(TObject* sender, TProgressStage stage, uint8_t percentDone, bool redrawNow,
                          const TRect& rect, const std::string& message);

    // Used by the library callbacks.
    uint32_t lastProgressTick_ = 0;

private:
    // The header fields of an 8-bit RGB image of the bitmap, held to the
    // picture size policy (EOutOfMemory beyond it); no pixels are copied.
    void SetHeaderForBitmap(const TBitmap& bitmap);
};

class TPngGraphic : public TGraphic {
public:
    TPngGraphic();
    ~TPngGraphic() override;

    const char* ClassName() const override { return "TPngGraphic"; }
    void Assign(const TGraphic* source) override;
    void Draw(TCanvas& canvas, const TRect& rect) override;
    bool GetEmpty() const override { return image_ == nullptr; }
    int GetHeight() const override { return image_ ? static_cast<int>(image_->Height) : 0; }
    int GetWidth() const override { return image_ ? static_cast<int>(image_->Width) : 0; }
    void SetHeight(int value) override;
    void SetWidth(int value) override;
    void LoadFromFile(const std::string& fileName) override;
    void SaveToFile(const std::string& fileName) override;
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) override;
    void LoadFromClipboardFormat(uint16_t format, uintptr_t data, uintptr_t palette) override;
    void SaveToClipboardFormat(uint16_t& format, uintptr_t& data, uintptr_t& palette) override;

    TPngImage* Image() const { return image_; }

private:
    TPngImage* image_ = nullptr;
};

// Start-up and shut-down of the unit: registers TPngGraphic under "PNG"
// ("Portable Network Graphics") / removes it from the picture registry.
void InitializePngImage();
void FinalizePngImage();
