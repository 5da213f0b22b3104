#include "graphics/vkqGIFimage.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "runtime/Streams.h"

namespace {
constexpr int TableSize = 4096;
}

TGIF::TGIF()
    : colorTable_(new uint32_t[256]()),
      prefix_(new uint16_t[TableSize]()),
      suffix_(new uint8_t[TableSize]()),
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

bool TGIF::ReadHeader()
{
    transparentFlag_ = false;
    uint8_t signature[6];
    if (stream_->Read(signature, 6) != 6)
        throw ENotGIF("Not a .GIF file");
    if (signature[0] != 'G' || signature[1] != 'I' || signature[2] != 'F')
        throw ENotGIF("Not a .GIF file (\"GIF\" not first three characters");
    if (std::memcmp(signature + 3, "87a", 3) != 0 && std::memcmp(signature + 3, "89a", 3) != 0)
        throw ENotGIF("Not a GIF file (bad version in header)");

    uint8_t screen[7];
    if (stream_->Read(screen, 7) != 7)
        return false;
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
            width_ = static_cast<uint16_t>(descriptor[4] | (descriptor[5] << 8));
            height_ = static_cast<uint16_t>(descriptor[6] | (descriptor[7] << 8));
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
    InitDecoder();
    return true;
}

// ---- LZW ------------------------------------------------------------------------

void TGIF::InitDecoder()
{
    bufferLength_ = 2;
    bitsAvailable_ = 0;
    bitPosition_ = 0;
    endOfData_ = false;
    clearCode_ = 1 << minCodeSize_;
    endCode_ = clearCode_ + 1;
    firstCode_ = true;
    ResetTable();
}

void TGIF::ResetTable()
{
    codeSize_ = minCodeSize_ + 1;
    codeLimit_ = 2 * clearCode_;
    nextFree_ = clearCode_ + 2;
    stackCount_ = 0;
}

int TGIF::NextCode()
{
    while (bitPosition_ + codeSize_ > bitsAvailable_) {
        if (endOfData_)
            return endCode_;
        // Keep the last two bytes: they hold the bits not used yet.
        buffer_[0] = buffer_[bufferLength_ - 2];
        buffer_[1] = buffer_[bufferLength_ - 1];
        int count = ReadSubBlock(buffer_ + 2);
        if (count == 0) {
            endOfData_ = true;
            return endCode_;
        }
        bitPosition_ = bitPosition_ - bitsAvailable_ + 16;
        bufferLength_ = count + 2;
        bitsAvailable_ = bufferLength_ * 8;
    }
    const uint8_t* p = buffer_ + (bitPosition_ >> 3);
    uint32_t value = p[0] | (p[1] << 8) | (uint32_t(p[2]) << 16);
    value = (value >> (bitPosition_ & 7)) & ((1u << codeSize_) - 1);
    bitPosition_ += codeSize_;
    return static_cast<int>(value);
}

uint8_t TGIF::NextPixel()
{
    int code;
    if (firstCode_) {
        firstCode_ = false;
        code = clearCode_;
    } else {
        if (stackCount_ > 0)
            return stack_[--stackCount_];
        code = NextCode();
    }

    if (code == clearCode_) {
        ResetTable();
        do
            code = NextCode();
        while (code == clearCode_);
        if (code > clearCode_)
            code = 0;
        oldCode_ = firstChar_ = code;
        return static_cast<uint8_t>(code);
    }
    if (code == endCode_) {
        if (!endOfData_) {
            SkipSubBlocks();
            endOfData_ = true;
        }
        return 0;
    }

    int incoming = code;
    if (code >= nextFree_) {
        // Not yet in the table: the old string followed by its first character.
        stack_[stackCount_++] = static_cast<uint8_t>(firstChar_);
        code = oldCode_;
        if (incoming > nextFree_)
            incoming = 0;
    }
    // Table entries always point to lower codes, so the chain ends; the
    // bound on the stack is a guard for a table that says otherwise.
    while (code >= clearCode_ && stackCount_ < TableSize) {
        stack_[stackCount_++] = suffix_[code];
        code = prefix_[code];
    }
    if (code >= clearCode_)
        code = 0;
    firstChar_ = code;
    if (nextFree_ < TableSize) {
        prefix_[nextFree_] = static_cast<uint16_t>(oldCode_);
        suffix_[nextFree_] = static_cast<uint8_t>(firstChar_);
        ++nextFree_;
        if (nextFree_ >= codeLimit_ && codeSize_ < 12) {
            ++codeSize_;
            codeLimit_ *= 2;
        }
    }
    oldCode_ = incoming;
    return static_cast<uint8_t>(firstChar_);
}

void TGIF::ReadRow(uint8_t* buffer)
{
    int i = 0;
    const int width = width_;
    while (i < width) {
        if (!firstCode_ && stackCount_ > 0) {
            // The rest of a string, straight from the stack.
            int n = std::min(stackCount_, width - i);
            for (int k = 0; k < n; ++k)
                buffer[i + k] = stack_[stackCount_ - 1 - k];
            stackCount_ -= n;
            i += n;
        } else if (endOfData_ && !firstCode_) {
            // The data has ended: every remaining pixel is 0.
            std::memset(buffer + i, 0, static_cast<size_t>(width - i));
            return;
        } else {
            buffer[i++] = NextPixel();
        }
    }
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
    if (!ReadHeader())
        return;

    // Each code of at least 3 bits yields at most 4096 pixels, so the bytes
    // left in the stream bound the pixels the data can really hold. A
    // header claiming more is refused rather than allocated.
    const int64_t remaining = std::max<int64_t>(0, stream.Size() - stream.Position());
    const int64_t pixels = int64_t(width_) * height_;
    if (pixels > (remaining * 8 / 3 + 1) * TableSize)
        throw ENotGIF("Image too large for the data in the file (" + std::to_string(width_) + " x " +
                      std::to_string(height_) + ")");

    bitmap_.reset();
    auto bitmap = std::make_unique<TBitmap>();
    bitmap->HandleType = bmDIB;
    bitmap->SetPixelData(pf8bit, width_, height_,
                         std::vector<uint8_t>(size_t(TBitmap::BytesPerScanLine(width_, 8)) * height_, 0), {});

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

    std::vector<uint8_t> row(width_);
    if (interlaced_) {
        static const int passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
        for (const auto& pass : passes)
            for (int y = pass[0]; y < height_; y += pass[1]) {
                ReadRow(row.data());
                std::memcpy(bitmap_->ScanLine(y), row.data(), width_);
            }
    } else {
        for (int y = 0; y < height_; ++y) {
            ReadRow(row.data());
            std::memcpy(bitmap_->ScanLine(y), row.data(), width_);
        }
    }
}

// ---- unit start-up ----------------------------------------------------------------

void InitializeGIFImage() { TPicture::RegisterFileFormat("gif", "GIF format", GraphicClassOf<TGIF>()); }

void FinalizeGIFImage() { TPicture::UnregisterGraphicClass(GraphicClassOf<TGIF>()); }
