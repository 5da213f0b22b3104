// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The runtime's byte streams: TStream (abstract), TFileStream and
// TMemoryStream. Positions and sizes are 64-bit byte counts.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/Classes.h"
#include "runtime/Exceptions.h"

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

// Open modes of TFileStream. The access part (low nibble) is honoured; the
// sharing part (fmShare...) is accepted and has no effect here: POSIX files
// have no mandatory sharing locks, so another process may still write a file
// opened with fmShareDenyWrite.
constexpr uint16_t fmOpenRead = 0x0000;
constexpr uint16_t fmOpenWrite = 0x0001;
constexpr uint16_t fmOpenReadWrite = 0x0002;
constexpr uint16_t fmShareCompat = 0x0000;
constexpr uint16_t fmShareExclusive = 0x0010;
constexpr uint16_t fmShareDenyWrite = 0x0020;
constexpr uint16_t fmShareDenyRead = 0x0030;
constexpr uint16_t fmShareDenyNone = 0x0040;
constexpr uint16_t fmCreate = 0xFFFF; // create (or truncate) for reading and writing

class TStream : public TObject {
public:
    // Reads up to count bytes and returns how many arrived (0 at the end).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes up to count bytes and returns how many were written.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position and returns the new one.
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    virtual int64_t Size();
    virtual void SetSize(int64_t newSize);

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t position) { Seek(position, soBeginning); }

    // Reads exactly count bytes; EReadError "Stream read error" when fewer arrive.
    void ReadBuffer(void* buffer, int64_t count);
    // Writes exactly count bytes; EWriteError "Stream write error" otherwise.
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes from source's position; count 0 copies the whole
    // source from its start. Returns the number copied; EReadError when the
    // source holds fewer than count bytes.
    int64_t CopyFrom(TStream& source, int64_t count);
};

class TFileStream : public TStream {
public:
    // EFOpenError "Cannot open file \"name\"..." / EFCreateError "Cannot
    // create file \"name\"..." when the file cannot be opened or created.
    // Opening an existing file (every mode but fmCreate) never blocks and
    // takes only a regular file: a folder, FIFO, socket or device raises
    // EFOpenError at once.
    TFileStream(const std::string& fileName, uint16_t mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override;
    void SetSize(int64_t newSize) override;
    const std::string& FileName() const { return fileName_; }

private:
    void DropReadAhead();

    int fd_ = -1;
    std::string fileName_;
    int64_t position_ = 0;            // logical position
    // Read-ahead buffer so that byte-sized reads do not each cost a system call.
    std::vector<uint8_t> buffer_;
    int64_t bufferStart_ = 0;
    size_t bufferLength_ = 0;
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t newSize) override;

    uint8_t* Memory() { return data_.data(); }
    const uint8_t* Memory() const { return data_.data(); }
    void Clear();
    void LoadFromStream(TStream& stream); // whole stream, from its start
    void LoadFromFile(const std::string& fileName);
    void SaveToStream(TStream& stream);
    void SaveToFile(const std::string& fileName);

private:
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};
