// SPDX-License-Identifier: GPL-3.0-or-later
#include "graphics/Gif.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "runtime/ByteOrder.h"
#include "runtime/Streams.h"

namespace {
constexpr int TableSize = 4096;

// Every literal string: byte i is i (and 16 more bytes, so that a sixteen
// byte copy of the last literal stays inside the table).
struct Literals {
    uint8_t bytes[256 + 16];
    constexpr Literals() : bytes()
    {
        for (int i = 0; i < 256; ++i)
            bytes[i] = static_cast<uint8_t>(i);
    }
};
constexpr Literals LiteralText;
} // namespace

TGIF::TGIF()
    : colorTable_(new uint32_t[256]()),
      table_(new TableEntry[TableSize]()),
      stack_(new uint8_t[TableSize]())
{
}

TGIF::~TGIF() = default;

void TGIF::Draw(TCanvas& canvas, const TRect& rect)
{
    if (bitmap_)
        canvas.StretchDraw(rect, bitmap_.get());
}

// ---- byte reads -----------------------------------------------------------------

uint8_t TGIF::ReadByte()
{
    uint8_t b;
    stream_->ReadBuffer(&b, 1); // EReadError at the end of the stream
    return b;
}

int TGIF::ReadSubBlock(uint8_t* buffer)
{
    int length = ReadByte();
    if (length == 0)
        return 0;
    return static_cast<int>(stream_->Read(buffer, length));
}

void TGIF::SkipSubBlocks()
{
    uint8_t scratch[256];
    while (ReadSubBlock(scratch) != 0) {
    }
}

// ---- header ---------------------------------------------------------------------

void TGIF::ReadColorTable(int count)
{
    uint8_t rgb[3 * 256];
    // Each entry is needed byte by byte: a table cut short is a read error.
    stream_->ReadBuffer(rgb, 3 * count);
    for (int i = 0; i < count; ++i)
        colorTable_[i] = rgb[3 * i] | (rgb[3 * i + 1] << 8) | (uint32_t(rgb[3 * i + 2]) << 16);
}

void TGIF::ReadExtension()
{
    uint8_t label = ReadByte();
    uint8_t data[256] = {};
    while (ReadSubBlock(data) != 0) {
    }
    // The graphic control extension: the last one before the image decides.
    if (label == 0xF9 && (data[0] & 1)) {
        transparentFlag_ = true;
        transparentIndex_ = data[3];
    }
}

void TGIF::ReadHeader()
{
    transparentFlag_ = false;
    uint8_t signature[6];
    if (stream_->Read(signature, 6) != 6)
        throw ENotGIF("Not a .GIF file");
    if (signature[0] != 'G' || signature[1] != 'I' || signature[2] != 'F')
        throw ENotGIF("Not a .GIF file (\"GIF\" not first three characters");
    if (std::memcmp(signature + 3, "87a", 3) != 0 && std::memcmp(signature + 3, "89a", 3) != 0)
        throw ENotGIF("Not a GIF file (bad version in header)");

    // A file cut off inside its screen descriptor is a read error, as any
    // other file cut off before its image data.
    uint8_t screen[7];
    stream_->ReadBuffer(screen, 7);
    bitsPerPixel_ = (screen[4] & 7) + 1;
    colorCount_ = 1 << bitsPerPixel_;
    if (screen[4] & 0x80)
        ReadColorTable(colorCount_);

    for (;;) {
        uint8_t block = ReadByte();
        if (block == 0x21) {
            ReadExtension();
        } else if (block == 0x2C) {
            uint8_t descriptor[9];
            if (stream_->Read(descriptor, 9) != 9)
                throw ENotGIF("Unexpected end of file");
            width_ = GetLE16(descriptor + 4);
            height_ = GetLE16(descriptor + 6);
            interlaced_ = (descriptor[8] & 0x40) != 0;
            if (descriptor[8] & 0x80) {
                bitsPerPixel_ = (descriptor[8] & 7) + 1;
                colorCount_ = 1 << bitsPerPixel_;
                ReadColorTable(colorCount_);
            }
            minCodeSize_ = ReadByte();
            if (minCodeSize_ < 2 || minCodeSize_ > 11)
                throw ENotGIF("Invalid code size: " + std::to_string(minCodeSize_));
            break;
        } else if (block == 0x3B) {
            throw ENotGIF("Not a .GIF file");
        }
        // Any other byte is skipped.
    }
}

// ---- LZW ------------------------------------------------------------------------

int TGIF::RefillCodeBuffer()
{
    // Keep the last two bytes: they hold the bits not used yet.
    buffer_[0] = buffer_[bufferLength_ - 2];
    buffer_[1] = buffer_[bufferLength_ - 1];
    int count = ReadSubBlock(buffer_ + 2);
    if (count > 0)
        bufferLength_ = count + 2;
    return count;
}

// The decoder reads codes least significant bit first from the sub-blocks,
// one sub-block at a time and only when a code needs it, so it reads
// nothing beyond the code that completes the image.
//
// Decoding quirks kept on purpose: the data starts as if with a clear code;
// the first code after a clear that is not a literal gives pixel 0; an end
// code right after a clear gives pixel 0 and decoding goes on; a code beyond
// the next free one decodes as if it were the next free one and then counts
// as code 0; a full table keeps its codes (12 bits) until the next clear.
//
// Each string is written whole. A new table entry is the previous string
// and the first pixel of the current one, which lie side by side in the
// output: the entry points there, and its string is later copied from there,
// sixteen bytes at a time while the output has room after it (the bytes
// after the string are overwritten by the strings that follow).
void TGIF::Decode(uint8_t* const out, const size_t total)
{
    TableEntry* const table = table_.get();
    const int clear = 1 << minCodeSize_, end = clear + 1;
    for (int c = 0; c < clear; ++c)
        table[c] = TableEntry{LiteralText.bytes + (c & 0xFF), 1, 0, static_cast<uint8_t>(c)}; // pixels are bytes

    int codeSize = minCodeSize_ + 1, codeLimit = 2 * clear, nextFree = clear + 2;
    uint32_t codeMask = (1u << codeSize) - 1;
    int bitPosition = 0, bitsAvailable = 0;
    bool endOfData = false;
    bufferLength_ = 2;

    uint8_t* dst = out;
    uint8_t* const outEnd = out + total;
    // The previous string: where it starts when it is the old code's
    // string (else nullptr), and the old code.
    const uint8_t* oldText = nullptr;
    uint8_t* lastDst = out;
    int oldCode = 0;

    // Reads through a sub-block boundary, or ends the data (end code).
    auto refill = [&]() -> bool {
        decoded_ = size_t(dst - out); // what a read error leaves
        if (endOfData)
            return false;
        int count = RefillCodeBuffer();
        if (count == 0) {
            endOfData = true;
            return false;
        }
        bitPosition = bitPosition - bitsAvailable + 16;
        bitsAvailable = bufferLength_ * 8;
        return true;
    };
    auto nextCode = [&]() -> int {
        while (bitPosition + codeSize > bitsAvailable)
            if (!refill())
                return end;
        const uint8_t* p = buffer_ + (bitPosition >> 3);
        uint32_t value = GetLE32(p);
        value = (value >> (bitPosition & 7)) & codeMask;
        bitPosition += codeSize;
        return static_cast<int>(value);
    };
    // Copies n bytes of a string that ends before dst, cut at the end.
    auto copy = [&](const uint8_t* src, size_t n) {
        if (n + 15 <= size_t(outEnd - dst)) {
            for (size_t k = 0; k < n; k += 16) {
                uint8_t chunk[16];
                std::memcpy(chunk, src + k, 16);
                std::memcpy(dst + k, chunk, 16);
            }
        } else {
            std::memcpy(dst, src, std::min(n, size_t(outEnd - dst)));
        }
    };
    // Writes code's string (n bytes) at dst, spelled through the prefixes.
    auto spell = [&](int code, size_t n) {
        uint8_t* const stack = stack_.get();
        size_t i = n;
        while (code >= clear && i > 1) {
            stack[--i] = table[code].suffix;
            code = table[code].prefix;
        }
        stack[0] = static_cast<uint8_t>(code < clear ? code : 0);
        std::memcpy(dst, stack, std::min(n, size_t(outEnd - dst)));
    };

    int code = clear; // the data starts as if with a clear code
    for (;;) {
        if (code == clear) {
            codeSize = minCodeSize_ + 1;
            codeMask = (1u << codeSize) - 1;
            codeLimit = 2 * clear;
            nextFree = clear + 2;
            do
                code = nextCode();
            while (code == clear);
            if (code > clear)
                code = 0;
            *dst = static_cast<uint8_t>(code);
            oldText = lastDst = dst++;
            oldCode = code;
            if (endOfData || dst == outEnd)
                break;
            code = nextCode();
            continue;
        }
        if (code == end) {
            if (!endOfData) {
                decoded_ = size_t(dst - out);
                SkipSubBlocks();
            }
            break;
        }

        size_t n;
        const uint8_t* text = dst; // where this string will be the old code's
        int incoming = code;
        if (code < nextFree) {
            n = table[code].length;
            if (const uint8_t* src = table[code].text)
                copy(src, n);
            else
                spell(code, n);
        } else {
            // Not yet in the table: the old string followed by the previous
            // string's first pixel.
            n = size_t(table[oldCode].length) + 1;
            if (oldText)
                copy(oldText, n - 1);
            else
                spell(oldCode, n - 1);
            if (n - 1 < size_t(outEnd - dst))
                dst[n - 1] = *lastDst;
            // The new entry below is this string when the old code's
            // string was the previous one.
            text = oldText ? dst : nullptr;
            if (code > nextFree) {
                incoming = 0;
                text = nullptr;
            }
        }
        if (nextFree < TableSize) {
            table[nextFree] = TableEntry{oldText, static_cast<uint16_t>(table[oldCode].length + 1),
                                         static_cast<uint16_t>(oldCode), *dst};
            if (++nextFree >= codeLimit && codeSize < 12) {
                ++codeSize;
                codeMask = (1u << codeSize) - 1;
                codeLimit *= 2;
            }
        }
        oldText = text;
        lastDst = dst;
        oldCode = incoming;
        if (n >= size_t(outEnd - dst)) {
            dst = outEnd;
            break;
        }
        dst += n;
        code = nextCode();
    }
    decoded_ = size_t(dst - out);
    // The bytes a last sixteen-byte copy wrote after the data's end.
    std::memset(dst, 0, std::min<size_t>(16, size_t(outEnd - dst)));
}

// ---- loading ---------------------------------------------------------------------

void TGIF::LoadFromStream(TStream& stream)
{
    stream_ = &stream;
    struct Release {
        TStream*& s;
        ~Release() { s = nullptr; }
    } release{stream_};

    std::fill(colorTable_.get(), colorTable_.get() + 256, 0u);
    ReadHeader();

    // Each code of at least 3 bits yields at most 4096 pixels, so the bytes
    // left in the stream bound the pixels the data can really hold. A
    // header claiming more is refused rather than allocated.
    const int64_t remaining = std::max<int64_t>(0, stream.Size() - stream.Position());
    const int64_t pixels = int64_t(width_) * height_;
    if (pixels > (remaining * 8 / 3 + 1) * TableSize)
        throw ENotGIF("Image too large for the data in the file (" + std::to_string(width_) + " x " +
                      std::to_string(height_) + ")");
    const int64_t stride = TBitmap::BytesPerScanLine(width_, 8);
    if (!BitmapSizeAllowed(width_, height_, 8))
        throw ENotGIF("Image too large (" + std::to_string(width_) + " x " + std::to_string(height_) + ")");

    bitmap_.reset();
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->HandleType = bmDIB;
    bitmap->SetPixelData(pf8bit, width_, height_, std::vector<uint8_t>(size_t(stride) * height_, 0), {});

    palette_.assign(256, TPaletteEntry{});
    for (int i = 0; i < 256; ++i) {
        uint32_t c = colorTable_[i];
        palette_[i] = TPaletteEntry{uint8_t(c & 0xFF), uint8_t((c >> 8) & 0xFF), uint8_t((c >> 16) & 0xFF), PC_NOCOLLAPSE};
    }
    if (transparentFlag_) {
        // Transparency shows as the main window's background colour.
        TColor c = ColorToRGB(MainFormColor());
        palette_[transparentIndex_] = TPaletteEntry{GetRValue(c), GetGValue(c), GetBValue(c), PC_NOCOLLAPSE};
    }
    bitmap->SetPalette(palette_);
    SetPaletteModified(true);
    bitmap_ = std::move(bitmap);

    const size_t total = size_t(width_) * height_;
    if (total == 0)
        return;
    if (!interlaced_ && stride == width_) {
        // Rows without padding, in order: the bitmap's pixels are the
        // decoder's output. A read error leaves the rows finished before it
        // and clears the rest.
        uint8_t* out = bitmap_->ScanLine(0);
        try {
            Decode(out, total);
        } catch (...) {
            const size_t done = decoded_ / width_ * width_;
            std::memset(out + done, 0, total - done);
            throw;
        }
        return;
    }

    // Rows in the file's order, then each to its place: interlaced rows in
    // four passes (every 8th row from 0, every 8th from 4, every 4th from 2,
    // every 2nd from 1). A read error keeps the rows finished before it.
    std::vector<uint8_t> inOrder(total, 0);
    auto placeRows = [&](size_t count) {
        static const int passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
        static const int onePass[1][2] = {{0, 1}};
        const auto* order = interlaced_ ? passes : onePass;
        const int passCount = interlaced_ ? 4 : 1;
        size_t k = 0;
        for (int p = 0; p < passCount; ++p)
            for (int y = order[p][0]; y < height_ && k < count; y += order[p][1], ++k)
                std::memcpy(bitmap_->ScanLine(y), inOrder.data() + k * width_, width_);
    };
    try {
        Decode(inOrder.data(), total);
    } catch (...) {
        placeRows(decoded_ / width_);
        throw;
    }
    placeRows(height_);
}

// ---- unit start-up ----------------------------------------------------------------

void InitializeGIFImage() { TPicture::RegisterFileFormat("gif", "GIF format", GraphicClassOf<TGIF>()); }

void FinalizeGIFImage() { TPicture::UnregisterGraphicClass(GraphicClassOf<TGIF>()); }
