// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the PNG reader (libpng under our error handling) and the painting
// of what it read: any bytes either load or raise an Exception, never abort.
#include <cstddef>
#include <cstdint>

#include "fuzz/PictureInput.h"
#include "graphics/PngImage.h"

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
            }
        });
    }
    return 0;
}
