// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/FileOps.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

char FoldAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

TDateTime UnixToDateTime(time_t t)
{
    struct tm local {};
    if (!localtime_r(&t, &local))
        return 0;
    TDateTime date = 0, time = 0;
    if (!TryEncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, date))
        return 0;
    TryEncodeTime(local.tm_hour, local.tm_min, local.tm_sec < 60 ? local.tm_sec : 59, 0, time);
    return date + time;
}

// Attributes of one directory entry, or -1 when the entry is never returned
// (sockets, FIFOs, devices, dangling links, entries that vanished).
int EntryAttributes(int dirFd, const char* name, unsigned char type, struct stat& st)
{
    bool isLink = type == DT_LNK;
    if (type == DT_UNKNOWN) {
        if (fstatat(dirFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            return -1;
        isLink = S_ISLNK(st.st_mode);
    }
    if (fstatat(dirFd, name, &st, 0) != 0)
        return -1;
    int attr = 0;
    if (S_ISDIR(st.st_mode)) {
        attr |= faDirectory;
        if (isLink)
            attr |= faSysFile;
    } else if (S_ISREG(st.st_mode)) {
        attr |= faArchive;
    } else {
        return -1;
    }
    if (name[0] == '.')
        attr |= faHidden;
    if ((st.st_mode & S_IWUSR) == 0)
        attr |= faReadOnly;
    return attr;
}

} // namespace

TSearchRec::~TSearchRec()
{
    FindClose(*this);
}

bool MatchesMask(std::string_view Name, std::string_view Mask)
{
    if (Mask == "*.*")
        Mask = "*";
    size_t i = 0, j = 0;
    size_t star = std::string_view::npos, mark = 0;
    while (i < Name.size()) {
        if (j < Mask.size() && Mask[j] != '*' && (Mask[j] == '?' || FoldAscii(Mask[j]) == FoldAscii(Name[i]))) {
            ++i;
            ++j;
        } else if (j < Mask.size() && Mask[j] == '*') {
            star = j++;
            mark = i;
        } else if (star != std::string_view::npos) {
            j = star + 1;
            i = ++mark;
        } else {
            return false;
        }
    }
    while (j < Mask.size() && Mask[j] == '*')
        ++j;
    return j == Mask.size();
}

int FindFirst(const std::string& Path, int Attr, TSearchRec& F)
{
    FindClose(F);
    size_t slash = Path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".") : Path.substr(0, slash + 1);
    F.FindMask = slash == std::string::npos ? Path : Path.substr(slash + 1);
    F.ExcludeAttr = ~Attr & (faHidden | faSysFile | faVolumeID | faDirectory);
    // A signal may cut the folder's opening short (a slow network share):
    // that is tried again, not taken for a folder that cannot be read.
    DIR* dir = opendir(folder.c_str());
    for (int tries = 1; !dir && errno == EINTR && tries < 3; ++tries)
        dir = opendir(folder.c_str());
    if (!dir) {
        int error = errno;
        return error ? error : ENOENT;
    }
    F.FindHandle = dir;
    int result = FindNext(F);
    if (result != 0)
        FindClose(F);
    return result;
}

int FindNext(TSearchRec& F)
{
    DIR* dir = static_cast<DIR*>(F.FindHandle);
    if (!dir)
        return EBADF;
    for (;;) {
        errno = 0;
        struct dirent* entry = readdir(dir);
        if (!entry)
            return errno ? errno : ENOENT;
        if (!MatchesMask(entry->d_name, F.FindMask))
            continue;
        struct stat st {};
        int attr = EntryAttributes(dirfd(dir), entry->d_name, entry->d_type, st);
        if (attr < 0 || (attr & F.ExcludeAttr) != 0)
            continue;
        F.Name = entry->d_name;
        F.Attr = attr;
        F.Size = (attr & faDirectory) ? 0 : static_cast<int64_t>(st.st_size);
        F.Time = UnixToDateTime(st.st_mtime);
        return 0;
    }
}

void FindClose(TSearchRec& F)
{
    if (F.FindHandle) {
        closedir(static_cast<DIR*>(F.FindHandle));
        F.FindHandle = nullptr;
    }
}

bool RenameFileByLink(const std::string& OldName, const std::string& NewName, int* ErrorCode)
{
    // link() fails with EEXIST when NewName exists, so nothing is replaced.
    if (link(OldName.c_str(), NewName.c_str()) != 0) {
        if (ErrorCode)
            *ErrorCode = errno;
        return false;
    }
    if (unlink(OldName.c_str()) != 0) {
        int error = errno;
        // Keep exactly one name: drop the new link, the old one is intact.
        unlink(NewName.c_str());
        if (ErrorCode)
            *ErrorCode = error;
        return false;
    }
    return true;
}

bool RenameFile(const std::string& OldName, const std::string& NewName, int* ErrorCode)
{
    if (OldName.empty() || NewName.empty()) {
        if (ErrorCode)
            *ErrorCode = ENOENT;
        return false;
    }
    if (renameat2(AT_FDCWD, OldName.c_str(), AT_FDCWD, NewName.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    int error = errno;
    if (error == EINVAL || error == ENOSYS || error == ENOTSUP) {
        // The file system does not know the flag. A folder cannot be hard-linked,
        // and a rename of one is not something this fallback can make safe.
        struct stat st {};
        if (lstat(OldName.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            if (ErrorCode)
                *ErrorCode = error;
            return false;
        }
        return RenameFileByLink(OldName, NewName, ErrorCode);
    }
    if (ErrorCode)
        *ErrorCode = error;
    return false;
}

std::string FileErrorText(int ErrorCode)
{
    char buffer[256];
    const char* text = strerror_r(ErrorCode, buffer, sizeof buffer);
    return text ? std::string(text) : "error " + std::to_string(ErrorCode);
}
