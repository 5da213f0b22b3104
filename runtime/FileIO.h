// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// File output that never leaves a half-written file behind, and the checks
// that go with it.
//
// TAtomicOutputFile creates a new, uniquely named temporary file in the
// target's folder; the caller writes the whole result to TempPath(), then
// Commit() flushes it to disk and renames it over the target in one step.
// Until Commit() the target is untouched; a writer that fails (an exception,
// an early return) leaves it as it was, and the destructor removes the
// temporary file.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/Exceptions.h"

class TAtomicOutputFile {
public:
    // Creates the temporary file beside Target; raises EFCreateError naming
    // Target when the folder cannot take a new file.
    explicit TAtomicOutputFile(std::string Target);
    ~TAtomicOutputFile();

    // As the constructor, but a folder that cannot take a new file is told by
    // returning null with Error set to the errno value, for callers that word
    // the failure themselves.
    static std::unique_ptr<TAtomicOutputFile> Create(std::string Target, int& Error);
    TAtomicOutputFile(const TAtomicOutputFile&) = delete;
    TAtomicOutputFile& operator=(const TAtomicOutputFile&) = delete;

    const std::string& Target() const { return target_; }
    const std::string& TempPath() const { return temp_; }

    // fsyncs the temporary file, renames it to Target (replacing a file there)
    // and fsyncs the folder. Raises EInOutError naming Target on failure, the
    // target then untouched.
    void Commit();

private:
    struct TNoThrow {};
    TAtomicOutputFile(std::string Target, TNoThrow) : target_(std::move(Target)) {}
    int CreateTemp(); // 0 or the errno value

    std::string target_;
    std::string temp_;
    bool committed_ = false;
};

// Writes all Size bytes of Data to Fd, going on after short writes and
// interruptions; false with errno set when a write fails.
bool WriteAll(int Fd, const void* Data, size_t Size);

// Reads the whole of the regular file FileName into Text. Returns 0 or an
// errno value: ENOENT when missing, EISDIR for a folder, EINVAL for another
// kind of file that is not a regular one, EFBIG when longer than MaxSize.
int ReadWholeFile(const std::string& FileName, std::string& Text, size_t MaxSize = SIZE_MAX);

// Replaces Target with Data through a TAtomicOutputFile, the new file given
// Mode when it is not negative. Returns 0, or the errno value of the step that
// failed, Target then untouched.
int ReplaceFileContents(const std::string& Target, std::string_view Data, int Mode = -1);

// How KeepFileAside keeps a damaged file: Move renames it out of the way,
// Copy copies it and leaves it where it is.
enum class TKeepAside { Move, Copy };

// Keeps FileName as it is under the name Aside, or Aside-2, Aside-3 ... when
// that is taken, so that nothing of it is lost; never replaces a file. Returns
// 0 with KeptAs set to the name used, or the errno value of the failure.
int KeepFileAside(const std::string& FileName, const std::string& Aside, TKeepAside How, std::string& KeptAs);

// The error of a failed read or open: "<What> \"<FileName>\": <errno text>".
EInOutError FileIoError(const std::string& What, const std::string& FileName, int Code);

// Opens FileName read-only when it is a regular file (or a link to one),
// never waiting on a pipe: the descriptor, with Size set. -1 with Error 0 when
// it is missing, a folder, a pipe or a device; -1 with Error set to the errno
// value when it is a regular file that cannot be opened.
int OpenRegularFile(const std::string& FileName, int64_t& Size, int& Error);

// fsyncs the folder that holds FileName, so that a file just created or
// renamed there stays after a crash; false when that fails.
bool SyncFolderOf(const std::string& FileName);

// True when both names lead to the same existing file (same device and inode).
bool IsSameFile(const std::string& A, const std::string& B);

// What tells a file apart from another that later takes its name: device,
// inode, size and modification time (nanoseconds since 1970).
struct TFileIdentity {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    int64_t Size = 0;
    int64_t ModifiedNs = 0;
    bool operator==(const TFileIdentity&) const = default;
};

// The identity of the entry FileName names (a symbolic link itself, not what
// it leads to); false when there is none.
bool GetFileIdentity(const std::string& FileName, TFileIdentity& Identity);

// A name that stays inside its folder, as a rename or an undo may use it: not
// empty, not "." or "..", no '/' and no NUL byte (which would cut the path
// short). A name read from anywhere (a header, a hand-edited journal) that
// fails this is never joined to a folder.
bool IsPlainFileName(std::string_view Name);

// How long TAdvisoryLock::Acquire waits for a lock another process holds.
struct TLockWait {
    double TimeoutSeconds = 30;    // then give up (negative: wait as long as it takes)
    double NoticeAfterSeconds = 1; // then call OnWaiting, once
    std::function<void()> OnWaiting;
    // Polled while waiting, besides the process-wide stop request: true ends
    // the wait with ECANCELED, so that one run (a window's job) is stopped
    // alone.
    std::function<bool()> Stopped;
};

// An advisory lock (flock) on a lock file, held until Release() or
// destruction. Several processes that agree on the lock file take turns; a
// lock is never forced.
class TAdvisoryLock {
public:
    TAdvisoryLock() = default;
    ~TAdvisoryLock() { Release(); }
    TAdvisoryLock(const TAdvisoryLock&) = delete;
    TAdvisoryLock& operator=(const TAdvisoryLock&) = delete;

    // Opens FileName (creating it, mode 0600, when missing; a shared lock
    // falls back to opening it read-only) and locks it, exclusively or
    // shared, waiting as Wait says. Returns 0 when held, else an errno value:
    // ETIMEDOUT when another holder kept it past the timeout, ECANCELED when
    // a stop was requested (RequestStop, or Wait.Stopped) while waiting, or the error of the
    // open or the lock.
    int Acquire(const std::string& FileName, bool Exclusive, const TLockWait& Wait = {});
    void Release();
    bool Held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};
