// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the GIF decoder: any bytes either decode or raise an Exception; the
// decoded picture is then drawn onto a small 24-bit bitmap through its palette.
#include <cstddef>
#include <cstdint>

#include "fuzz/PictureInput.h"
#include "graphics/Gif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TGIF gif;
    LoadPictureBytes(data, size, [&](TStream& stream) { gif.LoadFromStream(stream); });
    if (!gif.Empty()) {
        TBitmap target;
        target.SetSize(16, 16);
        target.Canvas()->StretchDraw(Rect(0, 0, 16, 16), &gif);
    }
    return 0;
}
