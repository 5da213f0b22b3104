// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Directory enumeration with file attributes (FindFirst / FindNext /
// FindClose), the wildcard matcher it uses, and a rename that never replaces
// an existing file.
//
// Attributes on this platform:
//  - faHidden: the name begins with '.'.
//  - faSysFile: a symbolic link to a folder (it also carries faDirectory), so a
//    walk that does not ask for system entries never follows such a link and
//    cannot run in a cycle.
//  - faReadOnly: the owner has no write permission.
//  - faDirectory: a folder (or a link to one).
//  - faArchive: every regular file.
//  - faVolumeID: never set.
// Sockets, FIFOs, device nodes and links that lead nowhere are never returned.
#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/SysUtils.h"

constexpr int faReadOnly = 0x01;
constexpr int faHidden = 0x02;
constexpr int faSysFile = 0x04;
constexpr int faVolumeID = 0x08;
constexpr int faDirectory = 0x10;
constexpr int faArchive = 0x20;
constexpr int faAnyFile = 0x3F;

struct TSearchRec {
    std::string Name;   // file name without folder
    int64_t Size = 0;   // size in bytes (0 for folders)
    int Attr = 0;       // fa* bits
    TDateTime Time = 0; // last modification, local time

    TSearchRec() = default;
    ~TSearchRec();
    TSearchRec(const TSearchRec&) = delete;
    TSearchRec& operator=(const TSearchRec&) = delete;

    // Enumeration state, owned by FindFirst/FindNext/FindClose.
    void* FindHandle = nullptr;
    std::string FindMask;
    int ExcludeAttr = 0;
};

// Starts enumerating Path, a folder followed by '/' and a wildcard mask
// (".../*.mpd"). Attr names the special attributes that may be returned
// (faHidden, faSysFile, faDirectory, faVolumeID); entries that carry any other
// of them are skipped, plain files always qualify. Returns 0 and fills F with
// the first entry, or an errno value (ENOENT when nothing matches); F is then
// already closed.
int FindFirst(const std::string& Path, int Attr, TSearchRec& F);
// Next entry: 0, or an errno value (ENOENT at the end).
int FindNext(TSearchRec& F);
// Releases the enumeration; safe to call more than once.
void FindClose(TSearchRec& F);

// Wildcard match as the directory enumeration does it: '*' any run of bytes,
// '?' any single byte, ASCII letters without regard to case. "*.*" matches
// every name, with or without a dot. Runs in O(len(Name) * len(Mask)) at worst.
bool MatchesMask(std::string_view Name, std::string_view Mask);

// Renames OldName to NewName and never replaces an existing NewName, whatever
// the file system: renameat2 with RENAME_NOREPLACE, and where the file system
// refuses that flag a hard link to NewName followed by removing OldName (the
// link fails when NewName exists). Returns true on success; on failure false
// with the errno value in *ErrorCode when given (EEXIST when NewName exists).
bool RenameFile(const std::string& OldName, const std::string& NewName, int* ErrorCode = nullptr);
// The link-and-unlink path alone (what RenameFile falls back to); exposed so
// that it can be tested on file systems that support the flag.
bool RenameFileByLink(const std::string& OldName, const std::string& NewName, int* ErrorCode = nullptr);

// Text of an errno value ("File exists").
std::string FileErrorText(int ErrorCode);
