// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The runtime's own BMP reader and writer (the loader behind TBitmap).
//
// The reader takes the pixels at the offset the file header gives (or right
// after the colour table when that offset is 0), accepts an image-size field
// of 0, and reads core (OS/2 1.x, 12 bytes), OS/2 2.x (16..64 bytes), info
// (40) and the longer V2/V3/V4/V5 headers (52, 56, 108, 124); 1, 2, 4, 8, 16,
// 24 and 32 bits per pixel; RLE4 and RLE8; bit fields; bottom-up and top-down
// rows. It refuses with EInvalidGraphic what it cannot read soundly: a colour
// table or pixel data that the file does not hold, impossible sizes, unknown
// compressions. It never allocates more than the data can justify.
#include <cstdint>

class TStream;
class TBitmap;

// Header facts of the last file read, for callers that report them.
struct TBmpFileInfo {
    int HeaderSize = 0;
    int Width = 0;
    int Height = 0;          // as stored: negative for top-down
    int BitsPerPixel = 0;    // as stored in the file
    uint32_t Compression = 0;
    int PaletteCount = 0;    // colour table entries taken into the bitmap
    uint32_t PixelOffset = 0;
};

// Reads a BMP file starting at the stream's position into bitmap (replacing
// its pixels, format and palette). Palette files give pf1bit/pf4bit/pf8bit
// (2-bit files pf8bit) with the file's table; 16-bit 5-5-5 files pf16bit;
// 24-bit pf24bit; 32-bit and other bit-field files pf24bit or, with an alpha
// mask, pf32bit. The stream is left after the last byte used.
void ReadBmp(TStream& stream, TBitmap& bitmap, TBmpFileInfo* info = nullptr);

// Writes bitmap as a BMP file with a 40-byte info header at the stream's
// position: 24 and 32 bits without a colour table, 16 bits as 5-5-5, palette
// formats with their table.
void WriteBmp(TStream& stream, const TBitmap& bitmap);
