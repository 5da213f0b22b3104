// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the PNG reader (libpng under our error handling) and the painting
// of what it read: any bytes either load or raise an Exception, never abort.
// A small painted bitmap (8, 16 or 24 bits a pixel, with or without a
// palette) is then written both ways, row by row from its scan lines and
// through a whole copy: the two must give the same bytes but for the time
// stamp's value.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz/PictureInput.h"
#include "graphics/PngImage.h"

namespace {

void CheckBothWritesAgree(const TBitmap& bitmap)
{
    TPngImage rows, whole;
    TMemoryStream a, b;
    rows.WriteBitmapToStream(bitmap, a);
    whole.CopyFromBitmap(bitmap);
    whole.WriteToStream(b);
    // The file ends in tIME (4 + 4 + 7 + 4 bytes) and IEND (12 bytes); the
    // time's 7 bytes and its checksum may differ.
    const int64_t size = a.Size(), stamp = size - 12 - 11;
    if (size != b.Size() || stamp < 0 || std::memcmp(a.Memory(), b.Memory(), size_t(stamp)) != 0 ||
        std::memcmp(a.Memory() + size - 12, b.Memory() + size - 12, 12) != 0)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (bool expand : {true, false}) {
        TPngImage image;
        image.ExpandToRGB = expand;
        LoadPictureBytes(data, size, [&](TStream& stream) {
            image.ReadFromStream(stream);
            if (uint64_t(image.Width) * image.Height <= (1u << 22)) {
                TBitmap bitmap;
                image.PaintToBitmap(bitmap, 0, 0);
                if (uint64_t(image.Width) * image.Height <= (1u << 14))
                    CheckBothWritesAgree(bitmap);
            }
        });
    }
    return 0;
}
