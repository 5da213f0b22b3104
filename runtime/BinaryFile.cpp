// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/BinaryFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "runtime/FileIO.h"

namespace {

// Large enough for the header frames and the text block of every supported
// format in one read, small enough to cost nothing when only a few bytes are
// wanted.
constexpr size_t BufferSize = 16 * 1024;
// Reading that runs forward past the buffer (a search through the frames of a
// file) doubles each refill up to this size, so scanning a file costs a few
// reads rather than one per 16 KB.
constexpr size_t MaxBufferSize = 128 * 1024;

} // namespace

TBinaryFile::~TBinaryFile() { Close(); }

void TBinaryFile::Open(const std::string& fileName)
{
    Close();
    int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw FileIoError("Cannot open file", fileName, errno);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        int code = errno;
        ::close(fd);
        throw FileIoError("Cannot read file", fileName, code);
    }
    if (S_ISDIR(st.st_mode)) {
        ::close(fd);
        throw FileIoError("Cannot open file", fileName, EISDIR);
    }
    fd_ = fd;
    fileName_ = fileName;
    size_ = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
    position_ = 0;
    bufferStart_ = 0;
    bufferLength_ = 0;
}

bool TBinaryFile::OpenExisting(const std::string& fileName)
{
    Close();
    int error = 0;
    int64_t size = 0;
    const int fd = OpenRegularFile(fileName, size, error);
    if (fd < 0) {
        if (error != 0)
            throw FileIoError("Cannot open file", fileName, error);
        return false;
    }
    fd_ = fd;
    fileName_ = fileName;
    size_ = size;
    position_ = 0;
    bufferStart_ = 0;
    bufferLength_ = 0;
    return true;
}

void TBinaryFile::Close() noexcept
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    bufferLength_ = 0;
}

void TBinaryFile::Seek(int64_t position)
{
    if (fd_ < 0)
        throw EInOutError("File not open", 103);
    if (position < 0)
        throw EInOutError("Seek to a negative position in \"" + fileName_ + "\"", EINVAL);
    position_ = position;
}

size_t TBinaryFile::ReadAt(int64_t position, void* buffer, size_t count)
{
    auto* out = static_cast<uint8_t*>(buffer);
    size_t delivered = 0;
    while (delivered < count) {
        int64_t at = position + static_cast<int64_t>(delivered);
        // Serve from the buffer when the position lies within it.
        if (bufferLength_ > 0 && at >= bufferStart_ && at < bufferStart_ + static_cast<int64_t>(bufferLength_)) {
            size_t offset = static_cast<size_t>(at - bufferStart_);
            size_t n = std::min(count - delivered, bufferLength_ - offset);
            std::memcpy(out + delivered, buffer_.get() + offset, n);
            delivered += n;
            continue;
        }
        size_t wanted = count - delivered;
        if (wanted >= BufferSize) {
            // Large reads go straight into the caller's memory.
            ssize_t n = ::pread(fd_, out + delivered, wanted, at);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw FileIoError("Cannot read file", fileName_, errno);
            }
            if (n == 0)
                break;
            delivered += static_cast<size_t>(n);
            continue;
        }
        if (readSize_ == 0)
            readSize_ = BufferSize;
        else if (bufferLength_ > 0 && at >= bufferStart_ + static_cast<int64_t>(bufferLength_))
            readSize_ = std::min(readSize_ * 2, MaxBufferSize);
        // When the rest of the file fits in the largest buffer, take it whole.
        size_t fill = readSize_;
        if (at < size_ && size_ - at <= static_cast<int64_t>(MaxBufferSize))
            fill = std::max(fill, static_cast<size_t>(size_ - at));
        if (bufferCapacity_ < fill) {
            buffer_.reset(new uint8_t[fill]);
            bufferCapacity_ = fill;
        }
        ssize_t n = ::pread(fd_, buffer_.get(), fill, at);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw FileIoError("Cannot read file", fileName_, errno);
        }
        bufferStart_ = at;
        bufferLength_ = static_cast<size_t>(n);
        if (n == 0)
            break;
    }
    return delivered;
}

size_t TBinaryFile::BlockRead(void* buffer, size_t count, size_t& result)
{
    if (fd_ < 0)
        throw EInOutError("File not open", 103);
    result = ReadAt(position_, buffer, count);
    position_ += static_cast<int64_t>(result);
    return result;
}

void TBinaryFile::BlockRead(void* buffer, size_t count)
{
    size_t result = 0;
    BlockRead(buffer, count, result);
    if (result < count)
        throw EInOutError("Read beyond end of file \"" + fileName_ + "\"", 100);
}
