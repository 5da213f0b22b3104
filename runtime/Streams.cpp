// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/Streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/FileOps.h"

// ---- TStream ------------------------------------------------------------------

int64_t TStream::Size()
{
    int64_t position = Seek(0, soCurrent);
    int64_t size = Seek(0, soEnd);
    Seek(position, soBeginning);
    return size;
}

void TStream::SetSize(int64_t) {}

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    if (count < 0 || (count != 0 && Read(buffer, count) != count))
        throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    if (count < 0 || (count != 0 && Write(buffer, count) != count))
        throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    int64_t result = count;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(count, 61440)));
    while (count > 0) {
        int64_t n = std::min<int64_t>(count, static_cast<int64_t>(buffer.size()));
        source.ReadBuffer(buffer.data(), n);
        WriteBuffer(buffer.data(), n);
        count -= n;
    }
    return result;
}

// ---- TFileStream ------------------------------------------------------------------

namespace {
constexpr size_t ReadAheadSize = 16384;
}

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : fileName_(fileName)
{
    if (mode == fmCreate) {
        fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0)
            throw EFCreateError("Cannot create file \"" + fileName + "\". " + FileErrorText(errno));
        return;
    }
    int flags = O_CLOEXEC;
    switch (mode & 0x0F) {
    case fmOpenWrite: flags |= O_WRONLY; break;
    case fmOpenReadWrite: flags |= O_RDWR; break;
    default: flags |= O_RDONLY; break;
    }
    // Opened without blocking, so that a FIFO or a device under a file's name
    // cannot hold the open (or a later read) up forever; only a regular file
    // is kept.
    fd_ = ::open(fileName.c_str(), flags | O_NONBLOCK);
    if (fd_ < 0)
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + FileErrorText(errno));
    struct stat st {};
    std::string why;
    if (::fstat(fd_, &st) != 0)
        why = FileErrorText(errno);
    else if (S_ISDIR(st.st_mode))
        why = FileErrorText(EISDIR);
    else if (!S_ISREG(st.st_mode))
        why = "It is not a regular file";
    if (!why.empty()) {
        ::close(fd_);
        fd_ = -1;
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + why);
    }
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
}

TFileStream::~TFileStream()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void TFileStream::DropReadAhead()
{
    bufferLength_ = 0;
    bufferStart_ = 0;
}

int64_t TFileStream::Read(void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        // Serve from the read-ahead buffer when the position lies in it.
        if (bufferLength_ > 0 && position_ >= bufferStart_ && position_ < bufferStart_ + static_cast<int64_t>(bufferLength_)) {
            size_t offset = static_cast<size_t>(position_ - bufferStart_);
            size_t n = std::min<size_t>(bufferLength_ - offset, static_cast<size_t>(count - done));
            std::memcpy(out + done, buffer_.data() + offset, n);
            done += static_cast<int64_t>(n);
            position_ += static_cast<int64_t>(n);
            continue;
        }
        int64_t remaining = count - done;
        if (remaining >= static_cast<int64_t>(ReadAheadSize)) {
            // Large requests go straight to the file.
            ssize_t got = ::pread(fd_, out + done, static_cast<size_t>(remaining), position_);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += got;
            position_ += got;
            continue;
        }
        buffer_.resize(ReadAheadSize);
        ssize_t got = ::pread(fd_, buffer_.data(), ReadAheadSize, position_);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            DropReadAhead();
            break;
        }
        bufferStart_ = position_;
        bufferLength_ = static_cast<size_t>(got);
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    DropReadAhead();
    auto* in = static_cast<const uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::pwrite(fd_, in + done, static_cast<size_t>(count - done), position_);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
        position_ += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = 0;
    switch (origin) {
    case soBeginning: base = 0; break;
    case soCurrent: base = position_; break;
    case soEnd: base = Size(); break;
    }
    int64_t target = base + offset;
    if (target < 0)
        target = 0;
    position_ = target;
    return position_;
}

int64_t TFileStream::Size()
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return 0;
    return static_cast<int64_t>(st.st_size);
}

void TFileStream::SetSize(int64_t newSize)
{
    DropReadAhead();
    if (newSize < 0 || ::ftruncate(fd_, newSize) != 0)
        throw EWriteError("Stream write error: cannot resize \"" + fileName_ + "\"");
    if (position_ > newSize)
        position_ = newSize;
}

// ---- TMemoryStream ------------------------------------------------------------------

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    int64_t available = static_cast<int64_t>(data_.size()) - position_;
    if (count <= 0 || available <= 0)
        return 0;
    int64_t n = std::min(count, available);
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    int64_t end = position_ + count;
    if (end > static_cast<int64_t>(data_.size()))
        data_.resize(static_cast<size_t>(end));
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : static_cast<int64_t>(data_.size());
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
}

void TMemoryStream::SetSize(int64_t newSize)
{
    if (newSize < 0)
        newSize = 0;
    data_.resize(static_cast<size_t>(newSize));
    if (position_ > newSize)
        position_ = newSize;
}

void TMemoryStream::Clear()
{
    data_.clear();
    data_.shrink_to_fit();
    position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream)
{
    stream.SetPosition(0);
    int64_t size = stream.Size();
    std::vector<uint8_t> data(static_cast<size_t>(std::max<int64_t>(size, 0)));
    if (size > 0)
        stream.ReadBuffer(data.data(), size);
    data_ = std::move(data);
    position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(file);
}

void TMemoryStream::SaveToStream(TStream& stream)
{
    if (!data_.empty())
        stream.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size()));
}

void TMemoryStream::SaveToFile(const std::string& fileName)
{
    TFileStream file(fileName, fmCreate);
    SaveToStream(file);
}
