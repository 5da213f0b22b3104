// Fuzzes the tolerant BMP loader and, beneath it, the runtime's BMP reader:
// any bytes either load or raise an Exception; a loaded bitmap is written
// back and read again.
#include <cstddef>
#include <cstdint>

#include "graphics/BMPExtImage.h"
#include "runtime/Streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemoryStream stream;
    stream.WriteBuffer(data, static_cast<int64_t>(size));
    stream.SetPosition(0);
    TExtBitmap bitmap;
    try {
        bitmap.LoadFromStream(stream);
    } catch (const Exception&) {
        return 0;
    }
    TMemoryStream copy;
    bitmap.SaveToStream(copy);
    copy.SetPosition(0);
    TBitmap again;
    again.LoadFromStream(copy); // what the writer wrote must read back
    return 0;
}
