// SPDX-License-Identifier: GPL-3.0-or-later
#include "satellite/FrameLocate.h"

#include <cstring>
#include <vector>

#include "runtime/SysUtils.h"

namespace {

// Frames read between two looks at the stop request: about a megabyte.
constexpr int FramesPerStopCheck = 2048;

// Reads one whole frame; the end of the file inside it is an input/output error.
const uint8_t* ReadFrame(TSatelliteSource& Source, int FrameSize, const char* What)
{
    size_t got = 0;
    const uint8_t* frame = Source.Read(static_cast<size_t>(FrameSize), got);
    if (got != static_cast<size_t>(FrameSize))
        throw EInOutError(Source.FileName() + ": end of file while reading " + What, 100);
    return frame;
}

bool IsHeaderFrame(const uint8_t* Frame, const TFrameLayout& Layout)
{
    const uint8_t type = Frame[Layout.TypeOffset];
    return std::memcmp(Frame + Layout.SyncOffset, FrameSync, sizeof FrameSync) == 0 && (type == '0' || type == 'p');
}

// A TBinaryFile read as a byte source, from where it stands.
class TBinaryFileSource : public TSatelliteSource {
public:
    explicit TBinaryFileSource(TBinaryFile& File) : TSatelliteSource(File.FileName()), file_(File) { Seek(File.FilePos()); }

protected:
    const uint8_t* Fetch(int64_t Position, size_t Count, size_t& Got) override
    {
        bytes_.resize(Count);
        file_.Seek(Position);
        file_.BlockRead(bytes_.data(), Count, Got);
        return bytes_.data();
    }

private:
    TBinaryFile& file_;
    std::vector<uint8_t> bytes_;
};

} // namespace

void LocateHeaderFrame(TSatelliteSource& Source, const TFrameLayout& Layout, TStringList* Report)
{
    const int64_t frameSize = Layout.FrameSize;
    // The compared part of the last three copies; frames themselves are only
    // viewed, and a view lasts until the next read.
    uint8_t copies[3][FrameCompareSize];
    uint8_t* a = copies[0];
    uint8_t* b = copies[1];
    uint8_t* c = copies[2];

    Source.Seek(Layout.SearchStart);
    int64_t p;
    const uint8_t* frame;
    for (int searched = 1;; ++searched) {
        p = Source.FilePos();
        frame = ReadFrame(Source, Layout.FrameSize, "frames in search of the header frame");
        if (IsHeaderFrame(frame, Layout))
            break;
        if (searched % FramesPerStopCheck == 0)
            Source.CheckStop("the search for the header frame");
    }
    std::memcpy(a, frame, FrameCompareSize);

    const bool everyEighth = frame[Layout.TypeOffset] == 'p';
    const int64_t stride = everyEighth ? 8 : 4;
    const int maxTries = everyEighth ? 30 : 60;

    int64_t q = p + stride * frameSize;
    Source.Seek(q);
    std::memcpy(b, ReadFrame(Source, Layout.FrameSize, "a copy of the header frame"), FrameCompareSize);

    int tries = 0;
    bool match = false;
    do {
        q += stride * frameSize;
        Source.Seek(q);
        std::memcpy(c, ReadFrame(Source, Layout.FrameSize, "a copy of the header frame"), FrameCompareSize);
        ++tries;
        match = std::memcmp(a, b, FrameCompareSize) == 0 && std::memcmp(b, c, FrameCompareSize) == 0;
        // A becomes B and B becomes C; the old A is free for the next C.
        uint8_t* const oldA = a;
        a = b;
        b = c;
        c = oldA;
    } while (!match && tries <= maxTries);

    if (!match && Report)
        Report->Add("Bad header, no matches after " + IntToStr(tries) + " frames");
    Source.Seek(q + Layout.HeaderLength);
}

void LocateHeaderFrame(TSatelliteSource& Source, const TFrameLayout& Layout, TStringList& Report)
{
    LocateHeaderFrame(Source, Layout, &Report);
}

void LocateHeaderFrame(TBinaryFile& File, const TFrameLayout& Layout, TStringList& Report)
{
    TBinaryFileSource source(File);
    LocateHeaderFrame(source, Layout, &Report);
    File.Seek(source.FilePos());
}

void RemoveFrameHeaders(uint8_t* Block, int HeaderLength)
{
    const int h = HeaderLength;
    std::memmove(Block + 280, Block + 280 + h, FramePayloadSize);
    std::memmove(Block + 640, Block + 640 + 2 * h, FramePayloadSize);
    std::memmove(Block + 1000, Block + 1000 + 3 * h, FramePayloadSize);
}
