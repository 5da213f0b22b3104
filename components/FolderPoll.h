// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The watch's events by listing the folder every so often, for folders
// whose file system does not tell inotify about writes made by another
// machine (NFS, SMB/CIFS, FUSE and the like).
//
// Each listing looks only at names of the listing mask and compares each
// one's size and modification time with the listing before: a new or changed
// file is reported as arrived (TFolderEvent::MovedIn), after which the watch
// waits its settle time and names it when it stayed unchanged; a file gone
// is reported gone. An unchanged file costs one entry of the listing, a stat
// and a look-up (nothing is allocated for it), never a header read.
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <time.h>

#include "components/FolderWatch.h"

class TPollFolderEvents : public IFolderEvents {
public:
    explicit TPollFolderEvents(std::chrono::milliseconds Interval);
    ~TPollFolderEvents() override;
    TPollFolderEvents(const TPollFolderEvents&) = delete;
    TPollFolderEvents& operator=(const TPollFolderEvents&) = delete;

    int WakeFd() const { return wakePipe_[1]; }
    std::string Start(const std::string& Folder) override;
    void Wake() override;
    TWaitResult Wait(std::chrono::milliseconds Timeout, bool WithEvents, std::vector<TFolderEvent>& Events) override;

    // One listing now: the changes since the last one appended to Events;
    // "" or why the folder cannot be listed.
    std::string Poll(std::vector<TFolderEvent>& Events);

private:
    struct TSeen {
        off_t Size = 0;
        struct timespec Mtime {};
        uint64_t Listing = 0; // the last listing that showed it
    };
    // Looked up by the listing's own names, without a string made for each.
    struct THash {
        using is_transparent = void;
        size_t operator()(std::string_view Name) const noexcept { return std::hash<std::string_view>{}(Name); }
    };
    std::string folder_;
    std::chrono::milliseconds interval_;
    std::chrono::steady_clock::time_point nextPoll_{};
    std::unordered_map<std::string, TSeen, THash, std::equal_to<>> seen_;
    uint64_t listing_ = 0;
    int wakePipe_[2] = {-1, -1};
};

// Why inotify cannot be trusted with Folder ("" when it can): its file system
// is a network or user-space one (NFS, SMB/CIFS, FUSE, ...), where writes by
// another machine are never seen. $QUILLON_WATCH_NO_INOTIFY set to a
// non-empty value makes every folder count as such (for tests).
std::string InotifyBlindReason(const std::string& Folder);
