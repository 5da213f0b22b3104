// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/FileIO.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/Application.h"
#include "runtime/Exceptions.h"
#include "runtime/FileOps.h"

namespace {

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The process's file mode creation mask, read without changing it (umask()
// would set it, racing other threads); 022 when it cannot be read.
mode_t CurrentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8) & 0777);
    return 022;
}

bool SyncPath(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL; // some folders refuse fsync
    ::close(fd);
    return ok;
}

} // namespace

TAtomicOutputFile::TAtomicOutputFile(std::string Target) : target_(std::move(Target))
{
    if (const int err = CreateTemp())
        throw EFCreateError("Cannot create file \"" + target_ + "\". " + FileErrorText(err));
}

std::unique_ptr<TAtomicOutputFile> TAtomicOutputFile::Create(std::string Target, int& Error)
{
    std::unique_ptr<TAtomicOutputFile> file(new TAtomicOutputFile(std::move(Target), TNoThrow{}));
    Error = file->CreateTemp();
    if (Error != 0)
        file.reset();
    return file;
}

int TAtomicOutputFile::CreateTemp()
{
    // A hidden name in the same folder, so the final rename stays on one file
    // system; mkstemp creates it exclusively and never follows a link.
    std::string pattern = FolderOf(target_) + "/." + NameOf(target_) + ".tmp-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    // mkostemp creates the file private (0600); the result gets the mode a
    // new file gets (0666 less the umask), or the mode of the file it replaces.
    struct stat existing {};
    const mode_t mode = ::stat(target_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)
                            ? (existing.st_mode & 07777)
                            : (0666 & ~CurrentUmask());
    // A result that silently kept the private mode would look written and
    // then be unreadable to everyone else.
    int err = ::fchmod(fd, mode) == 0 ? 0 : errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err != 0) {
        ::unlink(pattern.c_str());
        return err;
    }
    temp_ = pattern;
    return 0;
}

TAtomicOutputFile::~TAtomicOutputFile()
{
    if (!committed_ && !temp_.empty())
        ::unlink(temp_.c_str());
}

void TAtomicOutputFile::Commit()
{
    if (committed_)
        return;
    if (!SyncPath(temp_, O_RDONLY)) {
        const int err = errno;
        throw EInOutError("Cannot write file \"" + target_ + "\". " + FileErrorText(err), err);
    }
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
        const int err = errno;
        throw EInOutError("Cannot write file \"" + target_ + "\". " + FileErrorText(err), err);
    }
    committed_ = true;
    SyncFolderOf(target_);
}

bool WriteAll(int Fd, const void* Data, size_t Size)
{
    const char* data = static_cast<const char*>(Data);
    while (Size > 0) {
        const ssize_t written = ::write(Fd, data, Size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0) { // nothing taken: report it rather than try forever
            errno = EIO;
            return false;
        }
        data += written;
        Size -= static_cast<size_t>(written);
    }
    return true;
}

int ReadWholeFile(const std::string& FileName, std::string& Text, size_t MaxSize)
{
    Text.clear();
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        return error ? error : EINVAL;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            return error;
        }
        if (got == 0)
            break;
        Text.append(buffer, static_cast<size_t>(got));
        if (Text.size() > MaxSize) {
            ::close(fd);
            return EFBIG;
        }
    }
    ::close(fd);
    return 0;
}

int ReplaceFileContents(const std::string& Target, std::string_view Data, int Mode)
{
    int error = 0;
    std::unique_ptr<TAtomicOutputFile> output = TAtomicOutputFile::Create(Target, error);
    if (!output)
        return error;
    const int fd = ::open(output->TempPath().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return errno;
    bool ok = (Mode < 0 || ::fchmod(fd, static_cast<mode_t>(Mode)) == 0) && WriteAll(fd, Data.data(), Data.size());
    error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok)
        return error;
    try {
        output->Commit();
    } catch (const EInOutError& e) {
        return e.ErrorCode;
    }
    return 0;
}

int KeepFileAside(const std::string& FileName, const std::string& Aside, TKeepAside How, std::string& KeptAs)
{
    for (int n = 1; n < 1000; ++n) {
        const std::string target = n == 1 ? Aside : Aside + "-" + std::to_string(n);
        int error = 0;
        if (How == TKeepAside::Move) {
            if (!RenameFile(FileName, target, &error) && error == 0)
                error = EIO;
        } else {
            // Without overwrite, copy_file creates the copy exclusively.
            std::error_code code;
            if (!std::filesystem::copy_file(FileName, target, code))
                error = code ? code.value() : EIO;
        }
        if (error == 0) {
            KeptAs = target;
            return 0;
        }
        if (error != EEXIST)
            return error;
    }
    return EEXIST;
}

EInOutError FileIoError(const std::string& What, const std::string& FileName, int Code)
{
    return EInOutError(What + " \"" + FileName + "\": " + FileErrorText(Code), Code);
}

int OpenRegularFile(const std::string& FileName, int64_t& Size, int& Error)
{
    Error = 0;
    // O_NONBLOCK keeps the open of a pipe from waiting for a writer; on a
    // regular file it changes nothing.
    const int fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (fd < 0) {
        const int code = errno;
        if (::stat(FileName.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            Error = code;
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    Size = static_cast<int64_t>(st.st_size);
    return fd;
}

bool SyncFolderOf(const std::string& FileName) { return SyncPath(FolderOf(FileName), O_RDONLY | O_DIRECTORY); }

bool IsSameFile(const std::string& A, const std::string& B)
{
    struct stat a {}, b {};
    if (::stat(A.c_str(), &a) != 0 || ::stat(B.c_str(), &b) != 0)
        return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsPlainFileName(std::string_view Name)
{
    return !Name.empty() && Name != "." && Name != ".." && Name.find('/') == std::string_view::npos &&
           Name.find('\0') == std::string_view::npos;
}

bool GetFileIdentity(const std::string& FileName, TFileIdentity& Identity)
{
    struct stat info {};
    if (::lstat(FileName.c_str(), &info) != 0)
        return false;
    Identity.Device = static_cast<uint64_t>(info.st_dev);
    Identity.Inode = static_cast<uint64_t>(info.st_ino);
    Identity.Size = static_cast<int64_t>(info.st_size);
    Identity.ModifiedNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return true;
}

int TAdvisoryLock::Acquire(const std::string& FileName, bool Exclusive, const TLockWait& Wait)
{
    Release();
    int fd = ::open(FileName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 && !Exclusive)
        fd = ::open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    using TClock = std::chrono::steady_clock;
    const auto start = TClock::now();
    const auto elapsed = [&] { return std::chrono::duration<double>(TClock::now() - start).count(); };
    const int operation = (Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    bool noticed = false;
    // Polled rather than blocking, so that the wait can be bounded, told
    // about and stopped; the pause grows to a tenth of a second.
    std::chrono::milliseconds pause(5);
    for (;;) {
        if (::flock(fd, operation) == 0) {
            fd_ = fd;
            return 0;
        }
        const int error = errno;
        if (error != EWOULDBLOCK && error != EINTR) {
            ::close(fd);
            return error;
        }
        if (StopRequested() || (Wait.Stopped && Wait.Stopped())) {
            ::close(fd);
            return ECANCELED;
        }
        const double waited = elapsed();
        if (Wait.TimeoutSeconds >= 0 && waited >= Wait.TimeoutSeconds) {
            ::close(fd);
            return ETIMEDOUT;
        }
        if (!noticed && waited >= Wait.NoticeAfterSeconds) {
            noticed = true;
            if (Wait.OnWaiting)
                Wait.OnWaiting();
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(100));
    }
}

void TAdvisoryLock::Release()
{
    if (fd_ >= 0) {
        ::close(fd_); // closing releases the lock
        fd_ = -1;
    }
}
