// Fuzzes the GIF decoder: any bytes either decode or raise an Exception; the
// decoded picture is then drawn onto a small 24-bit bitmap through its palette.
#include <cstddef>
#include <cstdint>

#include "graphics/vkqGIFimage.h"
#include "runtime/Streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream stream;
    stream.WriteBuffer(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    TGIF gif;
    try {
        gif.LoadFromStream(stream);
    } catch (const Exception&) {
    }
    if (!gif.Empty()) {
        TBitmap target;
        target.SetSize(16, 16);
        target.Canvas()->StretchDraw(Rect(0, 0, 16, 16), &gif);
    }
    return 0;
}
