#include "satellite/FrameLocate.h"

#include <cstring>
#include <vector>

#include "runtime/SysUtils.h"

namespace {

// Reads one whole frame; the end of the file inside it is an input/output error.
void ReadFrame(TBinaryFile& File, uint8_t* Frame, int FrameSize, const char* What)
{
    size_t got = 0;
    File.BlockRead(Frame, static_cast<size_t>(FrameSize), got);
    if (got != static_cast<size_t>(FrameSize))
        throw EInOutError(File.FileName() + ": end of file while reading " + What, 100);
}

bool IsHeaderFrame(const uint8_t* Frame, const TFrameLayout& Layout)
{
    const uint8_t type = Frame[Layout.TypeOffset];
    return std::memcmp(Frame + Layout.SyncOffset, FrameSync, sizeof FrameSync) == 0 && (type == '0' || type == 'p');
}

} // namespace

void LocateHeaderFrame(TBinaryFile& File, const TFrameLayout& Layout, TStringList& Report)
{
    const int64_t frameSize = Layout.FrameSize;
    std::vector<uint8_t> a(frameSize), b(frameSize), c(frameSize);

    File.Seek(Layout.SearchStart);
    int64_t p;
    do {
        p = File.FilePos();
        ReadFrame(File, a.data(), Layout.FrameSize, "frames in search of the header frame");
    } while (!IsHeaderFrame(a.data(), Layout));

    const bool everyEighth = a[Layout.TypeOffset] == 'p';
    const int64_t stride = everyEighth ? 8 : 4;
    const int maxTries = everyEighth ? 30 : 60;

    int64_t q = p + stride * frameSize;
    File.Seek(q);
    ReadFrame(File, b.data(), Layout.FrameSize, "a copy of the header frame");

    int tries = 0;
    bool match = false;
    do {
        q += stride * frameSize;
        File.Seek(q);
        ReadFrame(File, c.data(), Layout.FrameSize, "a copy of the header frame");
        ++tries;
        match = std::memcmp(a.data(), b.data(), FrameCompareSize) == 0 &&
                std::memcmp(b.data(), c.data(), FrameCompareSize) == 0;
        // A becomes B and B becomes C; the old A is free for the next C.
        a.swap(b);
        b.swap(c);
    } while (!match && tries <= maxTries);

    if (!match)
        Report.Add("Bad header, no matches after " + IntToStr(tries) + " frames");
    File.Seek(q + Layout.HeaderLength);
}

void RemoveFrameHeaders(uint8_t* Block, int HeaderLength)
{
    const int h = HeaderLength;
    std::memmove(Block + 280, Block + 280 + h, FramePayloadSize);
    std::memmove(Block + 640, Block + 640 + 2 * h, FramePayloadSize);
    std::memmove(Block + 1000, Block + 1000 + 3 * h, FramePayloadSize);
}
