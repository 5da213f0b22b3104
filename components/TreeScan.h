// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TTreeScanner: walks one folder, and optionally its sub-folders, and reports
// every file that matches one or more wildcard masks through events. The walk
// is synchronous and its order fixed: all files of a folder are collected and
// sorted (by name, without regard to case, ties broken by the bytes) before the
// first event for them fires, so a handler may rename or delete the reported
// file safely; then the sub-folders follow, in the same order.
//
// Event order for a folder with files f1, f2 and sub-folder s (recursive):
//   OnDirectoryFound(dir) OnFileFound(f1) OnFileFound(f2) OnDirectoryFound(s)
//   ...files of s... OnDirectoryDone(s) OnDirectoryDone(dir), then OnSearchDone.
//
// Hidden entries are those whose name begins with '.'; a symbolic link to a
// folder counts as a system folder and is never entered; sockets, FIFOs and
// devices are never reported (runtime/FileOps.h).
//
// A stop request (RequestStop in runtime/Application.h) ends a search before
// the next event for a file or folder with EAbort.
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/Classes.h"

// Work that the owner of a scan does ahead of OnFileFound (reading the files'
// headers on other threads, say). Begin receives a folder (ending in '/') and
// the names of its files in the order their OnFileFound events will fire,
// before the first of them; the names stay valid until End. End follows the
// folder's last file event, or the exception that ends the search, and must
// stop all work on them before it returns.
class TScanLookahead {
public:
    virtual ~TScanLookahead() = default;
    virtual void Begin(const std::string& Dir, const std::vector<std::string>& Names) = 0;
    virtual void End() noexcept = 0;
};

class TTreeScanner : public TObject {
public:
    explicit TTreeScanner(TObject* AOwner = nullptr);
    ~TTreeScanner() override;
    TTreeScanner(const TTreeScanner&) = delete;
    TTreeScanner& operator=(const TTreeScanner&) = delete;

    TNotifyEvent OnFileFound;
    TNotifyEvent OnDirectoryFound;
    TNotifyEvent OnDirectoryDone;
    TNotifyEvent OnSearchDone;

    // The path the current event is about: a file's full path in OnFileFound,
    // a folder path ending in '/' in the folder events.
    const std::string& FileFound() const { return fileFound_; }
    // In OnFileFound the low 32 bits of the file's size (a file of 2 GiB or
    // more shows a wrapped value); 0 in all other events.
    int32_t FileSize() const { return fileSize_; }
    bool SearchInProgress() const { return searchInProgress_; }

    // The folder to search; normalised (one trailing '/') at each search, the
    // current folder when empty.
    std::string InitialDirectory;
    bool Recursive = true;
    bool FindHiddenFiles = false;
    bool FindHiddenFolders = false;
    // Told each folder's files before their events (none: nothing is).
    TScanLookahead* Lookahead = nullptr;

    // The first mask in sorted order, "" when there is none. Setting replaces
    // all masks by this one (an empty value is one empty mask that matches
    // nothing); ignored during a search.
    std::string FileMask() const;
    void SetFileMask(const std::string& Value);
    // All masks in sorted order as comma text. Setting replaces all masks by
    // the entries of the comma text (an empty value leaves none); ignored
    // during a search.
    std::string FileMaskCommaText() const;
    void SetFileMaskCommaText(const std::string& Value);
    // The masks: sorted, and a mask equal to one already held (compared without
    // regard to case) is dropped.
    const TStringList& Masks() const { return *masks_; }

    // Runs one complete search and returns when it has ended. An exception
    // thrown by a handler ends the search and reaches the caller, and so does
    // EAbort once a stop has been requested.
    void Search();

private:
    void AddMask(const std::string& Mask);
    void SearchFolder(const std::string& Dir);
    void Fire(const TNotifyEvent& Event);

    std::string fileFound_;
    int32_t fileSize_ = 0;
    bool searchInProgress_ = false;
    TStringList* masks_;
};
