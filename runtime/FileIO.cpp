#include "runtime/FileIO.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool SyncPath(const std::string& path, int flags)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0 || errno == EINVAL; // some folders refuse fsync
    ::close(fd);
    return ok;
}

// The process's umask, read without changing it (umask() itself would, for a
// moment, for every thread).
mode_t CurrentUmask()
{
    if (FILE* f = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "Umask: %o", &mask) == 1) {
                std::fclose(f);
                return static_cast<mode_t>(mask);
            }
        std::fclose(f);
    }
    return 022;
}

} // namespace

TAtomicOutputFile::TAtomicOutputFile(std::string Target) : target_(std::move(Target))
{
    // A hidden name in the same folder, so the final rename stays on one file
    // system; mkstemp creates it exclusively and never follows a link.
    std::string pattern = FolderOf(target_) + "/." + NameOf(target_) + ".tmp-XXXXXX";
    const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        throw EFCreateError("Cannot create file \"" + target_ + "\". " + FileErrorText(err));
    }
    // mkostemp creates the file private (0600); the result gets the mode a
    // new file gets (0666 less the umask), or the mode of the file it replaces.
    struct stat existing {};
    const mode_t mode = ::stat(target_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)
                            ? (existing.st_mode & 07777)
                            : (0666 & ~CurrentUmask());
    ::fchmod(fd, mode);
    ::close(fd);
    temp_ = pattern;
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
    SyncPath(FolderOf(target_), O_RDONLY | O_DIRECTORY);
}

bool IsSameFile(const std::string& A, const std::string& B)
{
    struct stat a {}, b {};
    if (::stat(A.c_str(), &a) != 0 || ::stat(B.c_str(), &b) != 0)
        return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
