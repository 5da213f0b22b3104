// SPDX-License-Identifier: GPL-3.0-or-later
#include "graphics/ExtBitmap.h"

#include <cstring>

#include "runtime/ByteOrder.h"
#include "runtime/Streams.h"

namespace {

constexpr int FileHeaderSize = 14;
constexpr int InfoHeaderSize = 40;
constexpr int HeadersSize = FileHeaderSize + InfoHeaderSize; // 54
constexpr int FullTableEnd = HeadersSize + 256 * 4;          // 1078

} // namespace

TExtBitmap::TExtBitmap() : histogram_(std::make_unique<TvkqHistogram>(256)) {}

TExtBitmap::~TExtBitmap() = default;

void TExtBitmap::PlatformLoad(TStream& stream)
{
    TBmpFileInfo info;
    ReadBmp(stream, *this, &info);
    fileInfo_ = info;
}

void TExtBitmap::LoadFromStream(TStream& stream)
{
    const int64_t start = stream.Position();
    const int64_t size = stream.Size();
    // Each repair loads a mended copy of the file, made in memory.
    auto loadRepaired = [this](TMemoryStream& memory, TBmpRepair repair) {
        memory.SetPosition(0);
        PlatformLoad(memory);
        lastRepair_ = repair;
    };

    if (start == 0 && size > HeadersSize) {
        uint8_t h[HeadersSize];
        if (stream.Read(h, HeadersSize) == HeadersSize && h[0] == 'B' && h[1] == 'M') {
            uint8_t* info = h + FileHeaderSize;
            const uint32_t offBits = GetLE32(h + 10);
            const int32_t width = static_cast<int32_t>(GetLE32(info + 4));
            const int32_t height = static_cast<int32_t>(GetLE32(info + 8));
            const uint16_t planes = GetLE16(info + 12);
            const uint16_t bpp = GetLE16(info + 14);
            const uint32_t sizeImage = GetLE32(info + 20);
            const uint32_t clrUsed = GetLE32(info + 32);
            const uint32_t clrImportant = GetLE32(info + 36);

            // Repair 1: a palette file with 200 or 224 colours whose full
            // 256-entry table is really there (pixels at 1078, file longer).
            if ((clrUsed == 200 || clrUsed == 224) && clrImportant == clrUsed && bpp <= 8 &&
                offBits == FullTableEnd && size > FullTableEnd) {
                const int64_t n = clrUsed;
                const int64_t cut = (256 - n) * 4;
                // The pixels move up by the entries cut out: the offset and
                // the file size follow them.
                PutLE32(h + 10, static_cast<uint32_t>(HeadersSize + n * 4));
                PutLE32(h + 2, static_cast<uint32_t>(size - cut));
                TMemoryStream memory;
                memory.WriteBuffer(h, HeadersSize);
                stream.SetPosition(HeadersSize);
                memory.CopyFrom(stream, n * 4);
                stream.SetPosition(FullTableEnd);
                memory.CopyFrom(stream, size - FullTableEnd);
                loadRepaired(memory, brColourTable);
                return;
            }

            // Repair 2: 8-bit, 2080 pixels wide, wrong image size. The
            // absolute height is used: a top-down file has a negative one.
            const int64_t pixels = int64_t(width) * (height < 0 ? -int64_t(height) : int64_t(height));
            if (planes == 1 && bpp == 8 && width == 2080 && pixels != int64_t(sizeImage) && pixels <= 0xFFFFFFFFll) {
                PutLE32(info + 20, static_cast<uint32_t>(pixels));
                TMemoryStream memory;
                memory.WriteBuffer(h, HeadersSize);
                stream.SetPosition(HeadersSize);
                memory.CopyFrom(stream, size - HeadersSize);
                loadRepaired(memory, brImageSize);
                return;
            }
        }
        stream.SetPosition(0);
    }

    try {
        PlatformLoad(stream);
        lastRepair_ = brNone;
        return;
    } catch (const Exception&) {
        // Dropped: the retry's error is the one the caller sees.
    }
    // Repair 3: once more without the file's last two bytes. The copy starts
    // where the bitmap starts, which is the stream's start when repairs 1
    // and 2 had their look.
    TMemoryStream memory;
    stream.SetPosition(start);
    memory.CopyFrom(stream, size - start);
    memory.SetSize(memory.Size() - 2);
    loadRepaired(memory, brTrimmed);
}

void TExtBitmap::SaveToFile(const std::string& fileName)
{
    if (PixelFormat() == pf24bit)
        SetPalette({});
    TGraphic::SaveToFile(fileName);
}

const char* BmpRepairName(TBmpRepair repair)
{
    switch (repair) {
    case brColourTable: return "colour-table";
    case brImageSize: return "image-size";
    case brTrimmed: return "trimmed";
    default: return "none";
    }
}

void InitializeBMPExtImage()
{
    TPicture::UnregisterGraphicClass(GraphicClassOf<TBitmap>());
    TPicture::UnregisterGraphicClass(GraphicClassOf<TExtBitmap>()); // a second start-up registers once
    TPicture::RegisterFileFormat("BMP", "Windows bitmap", GraphicClassOf<TExtBitmap>());
}
