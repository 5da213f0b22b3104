// SPDX-License-Identifier: GPL-3.0-or-later
#include "satellite/SatelliteSource.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "runtime/Application.h"
#include "runtime/Exceptions.h"
#include "runtime/FileIO.h"
#include "runtime/SysUtils.h"

namespace {

// The first read of a file takes this much: the header frames and the text
// block of every supported format in one read.
constexpr size_t FirstReadSize = 16 * 1024;
// Reading that runs forward past the buffer (a search through the frames of a
// file) doubles each refill up to this size; a file whose rest fits is read
// whole.
constexpr size_t MaxReadSize = 128 * 1024;

// The read buffer a thread lends to the file source it is working with, so
// that a thread identifying file after file allocates it once.
struct TSpareBuffer {
    std::unique_ptr<uint8_t[]> Bytes;
    size_t Capacity = 0;
};
thread_local TSpareBuffer spareBuffer;

} // namespace

void TSatelliteSource::Seek(int64_t Position)
{
    if (Position < 0)
        throw EInOutError("Seek to a negative position in \"" + fileName_ + "\"", EINVAL);
    position_ = Position;
}

const uint8_t* TSatelliteSource::Read(size_t Count, size_t& Got)
{
    const uint8_t* bytes = Fetch(position_, Count, Got);
    position_ += static_cast<int64_t>(Got);
    return bytes;
}

const uint8_t* TSatelliteSource::ReadExact(size_t Count, const char* What)
{
    size_t got = 0;
    const uint8_t* bytes = Read(Count, got);
    if (got != Count)
        throw EInOutError(fileName_ + ": " + What + " is cut short (" + IntToStr(static_cast<long long>(got)) + " of " +
                              IntToStr(static_cast<long long>(Count)) + " bytes)",
                          100);
    return bytes;
}

void TSatelliteSource::CheckStop(const char* Activity) const
{
    if (StopRequested() || (Cancel && Cancel->load(std::memory_order_relaxed)))
        throw EAbort(fileName_ + ": " + Activity + " was stopped");
}

const uint8_t* TSatelliteMemorySource::Fetch(int64_t Position, size_t Count, size_t& Got)
{
    if (static_cast<uint64_t>(Position) >= size_) {
        Got = 0;
        return data_ + size_;
    }
    Got = std::min(Count, size_ - static_cast<size_t>(Position));
    return data_ + Position;
}

TSatelliteFileSource::TSatelliteFileSource() : TSatelliteSource(std::string())
{
    buffer_ = std::move(spareBuffer.Bytes);
    capacity_ = spareBuffer.Capacity;
    spareBuffer.Capacity = 0;
}

TSatelliteFileSource::~TSatelliteFileSource()
{
    Close();
    if (capacity_ > spareBuffer.Capacity) {
        spareBuffer.Bytes = std::move(buffer_);
        spareBuffer.Capacity = capacity_;
    }
}

bool TSatelliteFileSource::OpenExisting(const std::string& FileName)
{
    Close();
    int error = 0;
    int64_t size = 0;
    const int fd = OpenRegularFile(FileName, size, error);
    if (fd < 0) {
        if (error != 0)
            throw FileIoError("Cannot open file", FileName, error);
        return false;
    }
    fd_ = fd;
    SetFileName(FileName);
    Seek(0);
    size_ = size;
    readSize_ = 0;
    bufferStart_ = 0;
    bufferLength_ = 0;
    return true;
}

void TSatelliteFileSource::Close() noexcept
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    bufferLength_ = 0;
}

const uint8_t* TSatelliteFileSource::Fetch(int64_t Position, size_t Count, size_t& Got)
{
    if (fd_ < 0)
        throw EInOutError("File not open", 103);
    const int64_t bufferEnd = bufferStart_ + static_cast<int64_t>(bufferLength_);
    if (Position >= bufferStart_ && Position + static_cast<int64_t>(Count) <= bufferEnd) {
        Got = Count;
        return buffer_.get() + (Position - bufferStart_);
    }
    // A refill from Position: the first one takes FirstReadSize, reading that
    // runs forward past the buffer doubles it, and when the rest of the file
    // fits in the largest refill it is taken whole.
    if (readSize_ == 0)
        readSize_ = FirstReadSize;
    else if (bufferLength_ > 0 && Position >= bufferEnd)
        readSize_ = std::min(readSize_ * 2, MaxReadSize);
    size_t fill = std::max(readSize_, Count);
    if (Position < size_ && size_ - Position <= static_cast<int64_t>(MaxReadSize))
        fill = std::max(fill, static_cast<size_t>(size_ - Position));
    if (capacity_ < fill) {
        buffer_.reset(new uint8_t[fill]);
        capacity_ = fill;
    }
    // One read normally does; a regular file delivers less only at its end,
    // and more reads are made only while the caller's bytes are still short.
    size_t length = 0;
    for (;;) {
        const ssize_t n = ::pread(fd_, buffer_.get() + length, fill - length, Position + static_cast<int64_t>(length));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            bufferLength_ = 0;
            throw FileIoError("Cannot read file", FileName(), errno);
        }
        if (n == 0)
            break;
        length += static_cast<size_t>(n);
        if (length >= Count)
            break;
    }
    bufferStart_ = Position;
    bufferLength_ = length;
    Got = std::min(Count, length);
    return buffer_.get();
}
