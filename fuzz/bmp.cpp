// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the tolerant BMP loader and, beneath it, the runtime's BMP reader:
// any bytes either load or raise an Exception; a loaded bitmap is written
// back and read again.
#include <cstddef>
#include <cstdint>

#include "fuzz/PictureInput.h"
#include "graphics/ExtBitmap.h"
#include "runtime/Streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TExtBitmap bitmap;
    if (!LoadPictureBytes(data, size, [&](TStream& stream) { bitmap.LoadFromStream(stream); }))
        return 0;
    TMemoryStream copy;
    bitmap.SaveToStream(copy);
    copy.SetPosition(0);
    TBitmap again;
    again.LoadFromStream(copy); // what the writer wrote must read back
    return 0;
}
