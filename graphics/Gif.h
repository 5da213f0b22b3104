// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TGIF: a read-only picture class for GIF 87a and 89a files. It decodes the
// first image of a file into an 8-bit bitmap with a 256-entry palette and
// draws that bitmap stretched into a rectangle. Registered with the picture
// registry under "gif" at start-up (InitializeGIFImage).
#include <cstdint>
#include <memory>
#include <vector>

#include "runtime/Exceptions.h"
#include "runtime/Graphics.h"

// Errors in a GIF file.
QUILLON_EXCEPTION(ENotGIF, Exception);

class TGIF : public TGraphic {
public:
    TGIF();
    ~TGIF() override;

    const char* ClassName() const override { return "TGIF"; }
    void Draw(TCanvas& canvas, const TRect& rect) override;
    bool GetEmpty() const override { return !bitmap_; }
    int GetHeight() const override { return bitmap_ ? height_ : 0; }
    int GetWidth() const override { return bitmap_ ? width_ : 0; }
    // Decodes the first image from the stream's position. Only the bytes up
    // to the end of that image's data are read.
    void LoadFromStream(TStream& stream) override;

    // The decoded image (8 bits per pixel, rows top-down); nullptr before
    // the first successful load.
    const TBitmap* Bitmap() const { return bitmap_.get(); }
    // The colour table as the last load left it: 256 entries, red in bits
    // 0-7, green 8-15, blue 16-23; entries the file did not give are 0.
    const uint32_t* ColorTable() const { return colorTable_.get(); }
    int BitsPerPixel() const { return bitsPerPixel_; }
    int ColorCount() const { return colorCount_; }
    bool Interlaced() const { return interlaced_; }
    // The file's own transparency (graphic control extension), not the
    // TGraphic Transparent property.
    bool TransparentFlag() const { return transparentFlag_; }
    uint8_t TransparentIndex() const { return transparentIndex_; }

private:
    // Byte reads.
    uint8_t ReadByte();
    int ReadSubBlock(uint8_t* buffer);
    void SkipSubBlocks();
    // Header and extensions.
    void ReadHeader();
    void ReadColorTable(int count);
    void ReadExtension();
    // LZW decoding of the image data into total pixels at out, in the
    // order the file gives them (rows one after the other, interlaced or
    // not). Pixels after the end of the data stay 0.
    void Decode(uint8_t* out, size_t total);
    // Reads the next sub-block behind the two carried bytes of the code
    // buffer; 0 when the data ends.
    int RefillCodeBuffer();

    std::unique_ptr<TBitmap> bitmap_;
    TPalette palette_;
    std::unique_ptr<uint32_t[]> colorTable_;   // 256 entries
    int colorCount_ = 0;
    int bitsPerPixel_ = 0;
    uint16_t width_ = 0, height_ = 0;
    TStream* stream_ = nullptr;

    // Code buffer: 2 carried bytes, then up to 255 bytes of the current
    // sub-block (and 3 spare bytes so that a 32-bit read never leaves it).
    uint8_t buffer_[2 + 255 + 3] = {};
    int bufferLength_ = 0;
    int minCodeSize_ = 0;
    // Pixels decoded when the last Decode stopped (also by an exception).
    size_t decoded_ = 0;

    // The string table. Every code's string is its prefix code's string
    // followed by its suffix; most strings also lie whole in memory already
    // (a literal in a fixed table, the others in the output), at `text`,
    // and are copied from there; the others (text nullptr) are spelled
    // through the prefixes.
    struct TableEntry {
        const uint8_t* text;
        uint16_t length;
        uint16_t prefix;
        uint8_t suffix;
    };
    std::unique_ptr<TableEntry[]> table_;  // 4096 entries
    std::unique_ptr<uint8_t[]> stack_;     // 4096 entries: a string spelled backwards

    bool interlaced_ = false;
    bool transparentFlag_ = false;
    uint8_t transparentIndex_ = 0;
};

// Start-up and shut-down of the unit: registers TGIF under "gif" ("GIF
// format") / removes it from the picture registry.
void InitializeGIFImage();
void FinalizeGIFImage();
