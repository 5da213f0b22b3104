// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/BmpCodec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/ByteOrder.h"
#include "runtime/Exceptions.h"
#include "runtime/Graphics.h"
#include "runtime/Streams.h"

namespace {

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;
constexpr uint32_t BI_ALPHABITFIELDS = 6;

// Largest width or height the reader considers at all; the data present
// bounds the real size further.
constexpr int64_t MaxDimension = 1 << 24;
// An RLE stream may leave pixels out (end of line, delta, end of bitmap), so
// its pixel count is not bounded by its length; genuine files stay far below
// this many pixels per byte of RLE data.
constexpr int64_t MaxRlePixelsPerByte = 1024;

[[noreturn]] void Invalid(const std::string& why)
{
    throw EInvalidGraphic("Bitmap image is not valid: " + why);
}


// One colour channel described by a bit mask.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    explicit Channel(uint32_t m = 0) : mask(m)
    {
        if (m) {
            shift = std::countr_zero(m);
            bits = static_cast<int>(std::bit_width(m >> shift));
        }
    }
    uint8_t Get(uint32_t pixel) const
    {
        if (!bits)
            return 0;
        uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8)
            return static_cast<uint8_t>(v >> (bits - 8));
        uint32_t max = (1u << bits) - 1;
        return static_cast<uint8_t>((v * 255 + max / 2) / max);
    }
};

// Decodes RLE8 (bits 8) or RLE4 (bits 4) data into rows of indices stored
// as the bitmap stores them (4-bit: high nibble first). Rows are in file
// order (row 0 = first row of the file). Pixels beyond a row's end are
// dropped; each command is clipped once, not pixel by pixel.
void DecodeRle(const std::vector<uint8_t>& data, int bits, int width, int height, int stride,
               std::vector<uint8_t>& rows)
{
    size_t p = 0;
    int64_t x = 0, y = 0; // never negative: every move is forwards
    // The 4-bit pixel at column c of row to index (8-bit rows are written
    // directly).
    auto putNibble = [](uint8_t* row, int64_t c, uint8_t index) {
        uint8_t& b = row[c / 2];
        b = (c & 1) ? static_cast<uint8_t>((b & 0xF0) | (index & 0x0F)) : static_cast<uint8_t>((b & 0x0F) | (index << 4));
    };
    auto need = [&](size_t n) {
        if (data.size() - p < n)
            Invalid("RLE data ends inside a command");
    };
    while (p < data.size() && y < height) {
        need(2);
        uint8_t count = data[p], value = data[p + 1];
        p += 2;
        uint8_t* row = rows.data() + static_cast<size_t>(y) * stride;
        if (count > 0) {
            // An encoded run; runs past the row's end are clipped.
            const int64_t n = std::min<int64_t>(count, std::max<int64_t>(0, width - x));
            if (bits == 8 && n > 0) {
                std::memset(row + x, value, static_cast<size_t>(n));
            } else if (bits == 4 && n > 0) {
                // Pixels alternate high and low nibble of value: after an
                // odd first column, whole bytes of the pair (low, high).
                const uint8_t hi = value >> 4, lo = value & 0x0F;
                int64_t i = 0;
                if (x & 1)
                    putNibble(row, x + i++, hi);
                const int64_t pairs = (n - i) / 2;
                std::memset(row + (x + i) / 2, i ? (lo << 4) | hi : value, static_cast<size_t>(pairs));
                i += 2 * pairs;
                if (i < n)
                    putNibble(row, x + i, (i & 1) ? lo : hi);
            }
            x += count;
            continue;
        }
        switch (value) {
        case 0: // end of line
            x = 0;
            ++y;
            break;
        case 1: // end of bitmap
            return;
        case 2: // delta
            need(2);
            x += data[p];
            y += data[p + 1];
            p += 2;
            break;
        default: { // absolute run of `value` pixels, padded to a 16-bit boundary
            size_t bytes = bits == 8 ? value : (value + 1u) / 2;
            size_t padded = (bytes + 1) & ~size_t(1);
            need(bytes);
            const int64_t n = std::min<int64_t>(value, std::max<int64_t>(0, width - x));
            if (bits == 8 && n > 0) {
                std::memcpy(row + x, data.data() + p, static_cast<size_t>(n));
            } else if (bits == 4 && (x & 1) == 0 && n > 0) {
                // From an even column the data's bytes are the row's bytes.
                std::memcpy(row + x / 2, data.data() + p, static_cast<size_t>(n / 2));
                if (n & 1)
                    putNibble(row, x + n - 1, data[p + n / 2] >> 4);
            } else if (bits == 4) {
                for (int64_t i = 0; i < n; ++i) {
                    uint8_t b = data[p + i / 2];
                    putNibble(row, x + i, (i & 1) ? (b & 0x0F) : (b >> 4));
                }
            }
            x += value;
            p += std::min(padded, data.size() - p);
            break;
        }
        }
    }
}

} // namespace

void ReadBmp(TStream& stream, TBitmap& bitmap, TBmpFileInfo* infoOut)
{
    const int64_t start = stream.Position();
    const int64_t available = stream.Size() - start;
    auto readAt = [&](int64_t offset, void* buffer, int64_t count) {
        if (offset < 0 || count < 0 || offset + count > available)
            Invalid("the file is too short");
        stream.SetPosition(start + offset);
        stream.ReadBuffer(buffer, count);
    };

    uint8_t fh[14];
    if (available < 18)
        Invalid("the file is too short");
    readAt(0, fh, 14);
    if (fh[0] != 'B' || fh[1] != 'M')
        Invalid("not a BMP file");
    const uint32_t offBits = GetLE32(fh + 10);

    uint8_t hsBytes[4];
    readAt(14, hsBytes, 4);
    const uint32_t headerSize = GetLE32(hsBytes);
    const bool core = headerSize == 12;
    if (!core && (headerSize < 16 || headerSize > 4096))
        Invalid("unknown header size " + std::to_string(headerSize));
    if (14 + int64_t(headerSize) > available)
        Invalid("the header is cut short");

    // The header, zero-padded to the V5 length so that short OS/2 2.x
    // headers read their missing fields as 0.
    uint8_t h[124] = {};
    readAt(14, h, std::min<uint32_t>(headerSize, 124));

    int64_t width, height;
    int planes, bpp;
    uint32_t compression = BI_RGB, clrUsed = 0;
    if (core) {
        width = GetLE16(h + 4);
        height = static_cast<int16_t>(GetLE16(h + 6));
        planes = GetLE16(h + 8);
        bpp = GetLE16(h + 10);
    } else {
        width = static_cast<int32_t>(GetLE32(h + 4));
        height = static_cast<int32_t>(GetLE32(h + 8));
        planes = GetLE16(h + 12);
        bpp = GetLE16(h + 14);
        compression = GetLE32(h + 16);
        clrUsed = GetLE32(h + 32);
    }
    const uint32_t sizeImage = core ? 0 : GetLE32(h + 20);
    const bool os2v2 = !core && headerSize <= 64 && headerSize != 40 && headerSize != 52 && headerSize != 56;

    if (planes != 1)
        Invalid("the plane count is " + std::to_string(planes) + ", not 1");
    if (width < 0 || width > MaxDimension || height < -MaxDimension || height > MaxDimension)
        Invalid("impossible size " + std::to_string(width) + " x " + std::to_string(height));
    if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        Invalid("unsupported bits per pixel " + std::to_string(bpp));
    const bool topDown = height < 0;
    const int64_t rowsCount = topDown ? -height : height;

    switch (compression) {
    case BI_RGB: break;
    case BI_RLE8: if (bpp != 8) Invalid("RLE8 needs 8 bits per pixel"); break;
    case BI_RLE4: if (bpp != 4) Invalid("RLE4 needs 4 bits per pixel"); break;
    case BI_BITFIELDS:
    case BI_ALPHABITFIELDS:
        if (os2v2)
            Invalid("OS/2 Huffman compression is not supported");
        if (bpp != 16 && bpp != 32)
            Invalid("bit fields need 16 or 32 bits per pixel");
        break;
    default: Invalid("unsupported compression " + std::to_string(compression));
    }
    const bool rle = compression == BI_RLE8 || compression == BI_RLE4;

    // Bit masks: inside the longer headers, or after a 40-byte one.
    int64_t tableStart = 14 + headerSize;
    uint32_t masks[4] = {0, 0, 0, 0};
    if (compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS) {
        if (headerSize >= 52) {
            for (int i = 0; i < 3; ++i)
                masks[i] = GetLE32(h + 40 + 4 * i);
            if (headerSize >= 56)
                masks[3] = GetLE32(h + 52);
        } else {
            int n = compression == BI_ALPHABITFIELDS ? 4 : 3;
            uint8_t m[16];
            readAt(tableStart, m, 4 * n);
            for (int i = 0; i < n; ++i)
                masks[i] = GetLE32(m + 4 * i);
            tableStart += 4 * n;
        }
        if (!masks[0] && !masks[1] && !masks[2])
            Invalid("the colour masks are all zero");
    } else if (bpp == 16) {
        masks[0] = 0x7C00; masks[1] = 0x03E0; masks[2] = 0x001F;
    } else if (bpp == 32) {
        masks[0] = 0xFF0000; masks[1] = 0xFF00; masks[2] = 0xFF;
    }

    // Colour table.
    const int entrySize = core ? 3 : 4;
    TPalette palette;
    int64_t tableEntries = 0;
    if (bpp <= 8) {
        tableEntries = clrUsed ? clrUsed : (int64_t(1) << bpp);
        // A table that the pixel offset cuts short holds what fits before it.
        if (offBits > tableStart)
            tableEntries = std::min<int64_t>(tableEntries, (offBits - tableStart) / entrySize);
        if (tableEntries <= 0)
            Invalid("the colour table is missing");
        if (tableStart + tableEntries * entrySize > available)
            Invalid("the colour table is not in the file");
        int64_t used = std::min<int64_t>(tableEntries, int64_t(1) << bpp);
        std::vector<uint8_t> table(static_cast<size_t>(used * entrySize));
        readAt(tableStart, table.data(), static_cast<int64_t>(table.size()));
        palette.resize(static_cast<size_t>(used));
        for (int64_t i = 0; i < used; ++i) {
            const uint8_t* e = table.data() + i * entrySize;
            palette[i] = TPaletteEntry{e[2], e[1], e[0], 0};
        }
    }

    const int64_t pixelOffset = offBits ? int64_t(offBits) : tableStart + tableEntries * entrySize;
    if (pixelOffset >= available && rowsCount > 0 && width > 0)
        Invalid("the pixel data is not in the file");
    const int64_t fileStride = ((width * bpp + 31) / 32) * 4;

    // Output format.
    TPixelFormat format;
    int outBpp;
    const bool hasAlpha = (compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS) && masks[3] != 0;
    const bool plain555 = bpp == 16 && masks[0] == 0x7C00 && masks[1] == 0x03E0 && masks[2] == 0x001F && !hasAlpha;
    switch (bpp) {
    case 1: format = pf1bit; break;
    case 2: format = pf8bit; break;
    case 4: format = pf4bit; break;
    case 8: format = pf8bit; break;
    case 16: format = plain555 ? pf16bit : (hasAlpha ? pf32bit : pf24bit); break;
    case 24: format = pf24bit; break;
    default: format = (compression == BI_RGB) ? pf32bit : (hasAlpha ? pf32bit : pf24bit); break;
    }
    outBpp = BitsPerPixelOf(format);
    const int w = static_cast<int>(width), hgt = static_cast<int>(rowsCount);
    if (!BitmapSizeAllowed(width, rowsCount, outBpp))
        Invalid("the image is too large (" + PictureSizeRefusal(width, rowsCount, outBpp) + ")");
    const int64_t outStride = TBitmap::BytesPerScanLine(w, outBpp);

    // Formats whose rows the bitmap keeps byte for byte as the file has them
    // (the same stride: BMP rows and bitmap rows are both padded to 4 bytes).
    const bool sameLayout = format == pf1bit || format == pf4bit || bpp == 8 || format == pf16bit || bpp == 24 ||
                            (bpp == 32 && compression == BI_RGB);

    std::vector<uint8_t> out(static_cast<size_t>(int64_t(outStride) * rowsCount), 0);
    std::vector<uint8_t> fileRows; // rows in file order
    int64_t dataEnd = pixelOffset;

    if (w > 0 && hgt > 0) {
        if (rle) {
            int64_t length = available - pixelOffset;
            if (sizeImage != 0 && sizeImage < length)
                length = sizeImage;
            if (int64_t(w) * hgt > length * MaxRlePixelsPerByte + (int64_t(1) << 20))
                Invalid("the image is too large for its RLE data");
            std::vector<uint8_t> data(static_cast<size_t>(length));
            readAt(pixelOffset, data.data(), length);
            dataEnd = pixelOffset + length;
            fileRows.assign(out.size(), 0);
            DecodeRle(data, bpp, w, hgt, static_cast<int>(outStride), fileRows);
        } else {
            // Every row must be there; only the last row's padding may be missing.
            int64_t need = fileStride * (rowsCount - 1) + (width * bpp + 7) / 8;
            if (pixelOffset + need > available)
                Invalid("the pixel data is not in the file");
            if (sameLayout) {
                // Rows stored as the bitmap stores them are read straight to
                // their place, in blocks of about 256 KiB (the last row
                // perhaps without its padding); a bottom-up block then has
                // its rows turned over in place, while it is in the cache.
                const int64_t blockRows = std::max<int64_t>(1, (int64_t(256) << 10) / fileStride);
                for (int64_t r = 0; r < rowsCount; r += blockRows) {
                    const int64_t k = std::min(blockRows, rowsCount - r);
                    uint8_t* block = out.data() + (topDown ? r : rowsCount - r - k) * outStride;
                    readAt(pixelOffset + r * fileStride, block, r + k < rowsCount ? k * fileStride : need - r * fileStride);
                    if (!topDown)
                        for (int64_t i = 0; i < k / 2; ++i)
                            std::swap_ranges(block + i * outStride, block + (i + 1) * outStride,
                                             block + (k - 1 - i) * outStride);
                }
            } else {
                fileRows.assign(static_cast<size_t>(fileStride * rowsCount), 0);
                readAt(pixelOffset, fileRows.data(), need);
            }
            dataEnd = pixelOffset + need;
        }
    }

    const int64_t inStride = rle ? outStride : fileStride;
    Channel ch[4] = {Channel(masks[0]), Channel(masks[1]), Channel(masks[2]), Channel(masks[3])};
    for (int64_t r = 0; r < (w > 0 && !(sameLayout && !rle) ? rowsCount : 0); ++r) {
        const uint8_t* src = fileRows.data() + r * inStride;
        int64_t destRow = topDown ? r : rowsCount - 1 - r;
        uint8_t* dst = out.data() + destRow * outStride;
        if (rle || sameLayout) {
            std::memcpy(dst, src, static_cast<size_t>(std::min<int64_t>(outStride, inStride)));
        } else if (bpp == 2) {
            for (int x = 0; x < w; ++x)
                dst[x] = (src[x / 4] >> (6 - 2 * (x % 4))) & 3;
        } else {
            int bytes = bpp / 8, outBytes = outBpp / 8;
            for (int x = 0; x < w; ++x) {
                uint32_t px = bytes == 2 ? GetLE16(src + 2 * x) : GetLE32(src + 4 * x);
                uint8_t* d = dst + x * outBytes;
                d[0] = ch[2].Get(px);
                d[1] = ch[1].Get(px);
                d[2] = ch[0].Get(px);
                if (outBytes == 4)
                    d[3] = hasAlpha ? ch[3].Get(px) : 0;
            }
        }
    }
    if (bpp == 2)
        palette.resize(std::min<size_t>(palette.size(), 4));

    bitmap.SetPixelData(format, w, hgt, std::move(out), std::move(palette));
    stream.SetPosition(start + std::max(dataEnd, tableStart));
    if (infoOut) {
        infoOut->HeaderSize = static_cast<int>(headerSize);
        infoOut->Width = w;
        infoOut->Height = static_cast<int>(height);
        infoOut->BitsPerPixel = bpp;
        infoOut->Compression = compression;
        infoOut->PaletteCount = static_cast<int>(bitmap.GetPalette().size());
        infoOut->PixelOffset = static_cast<uint32_t>(pixelOffset);
    }
}

void WriteBmp(TStream& stream, const TBitmap& bitmap)
{
    const int w = bitmap.Width(), hgt = bitmap.Height();
    int bpp = bitmap.BitsPerPixel();
    TPalette palette;
    if (bpp <= 8) {
        palette = bitmap.GetPalette();
        if (palette.empty()) {
            // A palette format without a palette: a grey ramp.
            int n = 1 << bpp;
            for (int i = 0; i < n; ++i) {
                auto v = static_cast<uint8_t>(i * 255 / (n - 1));
                palette.push_back({v, v, v, 0});
            }
        }
        palette.resize(std::min<size_t>(palette.size(), size_t(1) << bpp));
    }
    // A bitmap is held to the picture size policy, so its rows and its
    // whole image fit the file's 32-bit fields.
    if (!BitmapSizeAllowed(w, hgt, bpp))
        throw EWriteError("Bitmap too large to write: " + PictureSizeRefusal(w, hgt, bpp));
    const int stride = static_cast<int>(TBitmap::BytesPerScanLine(w, bpp));
    const uint32_t tableBytes = static_cast<uint32_t>(palette.size() * 4);
    const uint32_t offBits = 14 + 40 + tableBytes;
    const uint32_t imageSize = static_cast<uint32_t>(int64_t(stride) * hgt);

    std::vector<uint8_t> head(offBits, 0);
    head[0] = 'B';
    head[1] = 'M';
    PutLE32(&head[2], offBits + imageSize);
    PutLE32(&head[10], offBits);
    PutLE32(&head[14], 40);
    PutLE32(&head[18], static_cast<uint32_t>(w));
    PutLE32(&head[22], static_cast<uint32_t>(hgt));
    PutLE16(&head[26], 1);
    PutLE16(&head[28], static_cast<uint16_t>(bpp));
    PutLE32(&head[30], BI_RGB);
    PutLE32(&head[34], imageSize);
    PutLE32(&head[38], 2835); // 72 dpi
    PutLE32(&head[42], 2835);
    uint32_t count = static_cast<uint32_t>(palette.size());
    PutLE32(&head[46], bpp <= 8 && count != (1u << bpp) ? count : 0);
    PutLE32(&head[50], 0);
    for (size_t i = 0; i < palette.size(); ++i) {
        uint8_t* e = &head[54 + 4 * i];
        e[0] = palette[i].peBlue;
        e[1] = palette[i].peGreen;
        e[2] = palette[i].peRed;
        e[3] = 0;
    }
    stream.WriteBuffer(head.data(), static_cast<int64_t>(head.size()));
    // Rows bottom-up, gathered into writes of about 64 KiB: many small rows
    // (a tall, narrow bitmap) do not each cost a write.
    if (stride == 0 || hgt == 0)
        return;
    const int rowsPerWrite = std::max(1, 65536 / stride);
    std::vector<uint8_t> chunk(size_t(std::min(rowsPerWrite, hgt)) * stride);
    for (int r = hgt - 1; r >= 0;) {
        size_t used = 0;
        for (int k = 0; k < rowsPerWrite && r >= 0; ++k, --r, used += size_t(stride))
            std::memcpy(chunk.data() + used, bitmap.ScanLine(r), size_t(stride));
        stream.WriteBuffer(chunk.data(), static_cast<int64_t>(used));
    }
}
