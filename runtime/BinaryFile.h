// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A read-only untyped file with a record size of one byte, as the runtime's
// file routines give it: open, seek, position, size, block reads, close.
// Reads go through a buffer, so reading the scattered fields of a header costs
// a few system calls rather than one per field.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/Exceptions.h"

class TBinaryFile {
public:
    TBinaryFile() = default;
    explicit TBinaryFile(const std::string& fileName) { Open(fileName); }
    ~TBinaryFile();
    TBinaryFile(const TBinaryFile&) = delete;
    TBinaryFile& operator=(const TBinaryFile&) = delete;

    // Opens read-only; EInOutError naming the file when it cannot be opened
    // (also for a folder).
    void Open(const std::string& fileName);
    // FileExists followed by Open in one path lookup: false, with nothing
    // open, when fileName is not a regular file (or a link to one) - missing,
    // a folder, a pipe or a device; EInOutError when it is one that cannot be
    // opened. A pipe is never waited on.
    bool OpenExisting(const std::string& fileName);
    void Close() noexcept;
    bool IsOpen() const { return fd_ >= 0; }
    const std::string& FileName() const { return fileName_; }

    // Seeking past the end is allowed; the next read then delivers nothing.
    // A negative position raises EInOutError.
    void Seek(int64_t position);
    int64_t FilePos() const { return position_; }
    int64_t FileSize() const { return size_; }
    bool Eof() const { return position_ >= size_; }

    // Reads up to count bytes and returns how many arrived.
    size_t BlockRead(void* buffer, size_t count, size_t& result);
    // Reads exactly count bytes; EInOutError (code 100) when fewer arrive.
    void BlockRead(void* buffer, size_t count);

private:
    size_t ReadAt(int64_t position, void* buffer, size_t count);

    int fd_ = -1;
    std::string fileName_;
    int64_t size_ = 0;
    int64_t position_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;   // uninitialised: only filled bytes are read
    size_t bufferCapacity_ = 0;
    size_t readSize_ = 0;       // size of the next refill; grows while reading runs forward
    int64_t bufferStart_ = 0;   // file offset of buffer_[0]
    size_t bufferLength_ = 0;   // valid bytes in buffer_
};
