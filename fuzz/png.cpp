// Fuzzes the PNG reader (libpng under our error handling) and the painting
// of what it read: any bytes either load or raise an Exception, never abort.
#include <cstddef>
#include <cstdint>

#include "graphics/PngImage.h"
#include "runtime/Streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (bool expand : {true, false}) {
        TMemoryStream stream;
        stream.WriteBuffer(data, static_cast<int64_t>(size));
        stream.SetPosition(0);
        TPngImage image;
        image.ExpandToRGB = expand;
        try {
            image.ReadFromStream(stream);
            if (uint64_t(image.Width) * image.Height <= (1u << 22)) {
                TBitmap bitmap;
                image.PaintToBitmap(bitmap, 0, 0);
            }
        } catch (const Exception&) {
        }
    }
    return 0;
}
