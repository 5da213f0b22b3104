// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The bytes a header reader works on: a file, or a buffer in memory carrying a
// file name (for the extension and the messages). Reads hand out a view of the
// bytes rather than a copy; a view stays valid until the next read or seek of
// the same source.
//
// Long work on a source (the search for a header frame through a large file)
// calls CheckStop() as it goes: it raises EAbort when the process has been
// asked to stop (runtime/Application.h) or when the source's own cancel flag
// is set (a scan that reads ahead cancels what it no longer needs).
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class TSatelliteSource {
public:
    virtual ~TSatelliteSource() = default;
    TSatelliteSource(const TSatelliteSource&) = delete;
    TSatelliteSource& operator=(const TSatelliteSource&) = delete;

    const std::string& FileName() const { return fileName_; }
    int64_t FilePos() const { return position_; }
    // Seeking past the end is allowed; the next read then delivers nothing. A
    // negative position raises EInOutError.
    void Seek(int64_t Position);

    // Up to Count bytes from the current position, which advances by Got.
    const uint8_t* Read(size_t Count, size_t& Got);
    // Exactly Count bytes; otherwise EInOutError (code 100) naming the file,
    // "<file>: <What> is cut short (<got> of <count> bytes)".
    const uint8_t* ReadExact(size_t Count, const char* What);

    // Set by the owner of a source whose work is no longer wanted.
    const std::atomic<bool>* Cancel = nullptr;
    // EAbort naming the file and Activity when a stop has been requested.
    void CheckStop(const char* Activity) const;

protected:
    explicit TSatelliteSource(std::string FileName) : fileName_(std::move(FileName)) {}
    void SetFileName(std::string FileName) { fileName_ = std::move(FileName); }
    // The bytes at Position: a pointer to Got (at most Count) of them, fewer
    // only at the end of the data.
    virtual const uint8_t* Fetch(int64_t Position, size_t Count, size_t& Got) = 0;

private:
    std::string fileName_;
    int64_t position_ = 0;
};

// A buffer in memory; the bytes are not copied and must outlive the source.
class TSatelliteMemorySource : public TSatelliteSource {
public:
    TSatelliteMemorySource(std::string FileName, const uint8_t* Data, size_t Size)
        : TSatelliteSource(std::move(FileName)), data_(Data), size_(Size)
    {
    }

protected:
    const uint8_t* Fetch(int64_t Position, size_t Count, size_t& Got) override;

private:
    const uint8_t* data_;
    size_t size_;
};

// A regular file, read through a buffer that a thread reuses from one file to
// the next, so identifying many files costs no allocation per file.
class TSatelliteFileSource : public TSatelliteSource {
public:
    TSatelliteFileSource();
    ~TSatelliteFileSource() override;

    // Opens FileName read-only when it is a regular file (or a link to one):
    // false, with nothing open, when it is missing, a folder, a pipe or a
    // device (a pipe is never waited on); EInOutError naming the file when it
    // is a regular file that cannot be opened.
    bool OpenExisting(const std::string& FileName);
    void Close() noexcept;

protected:
    const uint8_t* Fetch(int64_t Position, size_t Count, size_t& Got) override;

private:
    int fd_ = -1;
    int64_t size_ = 0;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t capacity_ = 0;
    size_t readSize_ = 0;       // size of the next refill; grows while reading runs forward
    int64_t bufferStart_ = 0;   // file offset of buffer_[0]
    size_t bufferLength_ = 0;   // valid bytes in buffer_
};
