// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/FolderPoll.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "components/RenameWorkflow.h"
#include "runtime/FileOps.h"

TPollFolderEvents::TPollFolderEvents(std::chrono::milliseconds Interval) : interval_(Interval)
{
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0)
        wakePipe_[0] = wakePipe_[1] = -1;
}

TPollFolderEvents::~TPollFolderEvents()
{
    for (int fd : wakePipe_)
        if (fd >= 0)
            ::close(fd);
}

std::string TPollFolderEvents::Start(const std::string& Folder)
{
    folder_ = Folder;
    seen_.clear();
    std::vector<TFolderEvent> ignored; // the first listing is what is there already
    std::string error = Poll(ignored);
    nextPoll_ = std::chrono::steady_clock::now() + interval_;
    return error;
}

void TPollFolderEvents::Wake()
{
    const char byte = 'w';
    [[maybe_unused]] ssize_t ignored = ::write(wakePipe_[1], &byte, 1);
}

std::string TPollFolderEvents::Poll(std::vector<TFolderEvent>& Events)
{
    DIR* dir = ::opendir(folder_.c_str());
    if (!dir)
        return "cannot read folder " + folder_ + ": " + FileErrorText(errno);
    ++listing_;
    const size_t first = Events.size();
    size_t shown = 0; // entries of seen_ this listing showed
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.' || !MatchesMask(entry->d_name, TRenameWorkflow::ListingMask))
            continue;
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN && entry->d_type != DT_LNK)
            continue;
        struct stat info{};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode))
            continue;
        const std::string_view name(entry->d_name);
        auto seen = seen_.find(name);
        if (seen == seen_.end()) {
            seen_.emplace(std::string(name), TSeen{info.st_size, info.st_mtim, listing_});
            ++shown;
            Events.push_back({TFolderEvent::MovedIn, std::string(name), false});
            continue;
        }
        TSeen& before = seen->second;
        if (before.Listing != listing_)
            ++shown; // (a name shown twice in one listing counts once)
        before.Listing = listing_;
        if (before.Size != info.st_size || before.Mtime.tv_sec != info.st_mtim.tv_sec ||
            before.Mtime.tv_nsec != info.st_mtim.tv_nsec) {
            before.Size = info.st_size;
            before.Mtime = info.st_mtim;
            Events.push_back({TFolderEvent::MovedIn, std::string(name), false});
        }
    }
    ::closedir(dir);
    const size_t arrived = Events.size();
    // Every name seen before shown again: nothing went, nothing to look for.
    for (auto it = seen_.begin(); shown != seen_.size() && it != seen_.end();) {
        if (it->second.Listing != listing_) {
            Events.push_back({TFolderEvent::Gone, it->first, false});
            it = seen_.erase(it);
        } else {
            ++it;
        }
    }
    // In name order, arrivals before departures, whatever the listing's order.
    const auto byName = [](const TFolderEvent& a, const TFolderEvent& b) { return a.Name < b.Name; };
    std::sort(Events.begin() + static_cast<std::ptrdiff_t>(first), Events.begin() + static_cast<std::ptrdiff_t>(arrived), byName);
    std::sort(Events.begin() + static_cast<std::ptrdiff_t>(arrived), Events.end(), byName);
    return {};
}

IFolderEvents::TWaitResult TPollFolderEvents::Wait(std::chrono::milliseconds Timeout, bool WithEvents,
                                                   std::vector<TFolderEvent>& Events)
{
    TWaitResult result;
    const auto start = std::chrono::steady_clock::now();
    const auto until = Timeout.count() < 0 ? std::chrono::steady_clock::time_point::max() : start + Timeout;
    for (;;) {
        auto now = std::chrono::steady_clock::now();
        if (WithEvents && now >= nextPoll_) {
            const size_t before = Events.size();
            result.Error = Poll(Events);
            nextPoll_ = now + interval_;
            if (!result.Error.empty() || Events.size() > before)
                return result;
        }
        now = std::chrono::steady_clock::now();
        if (now >= until)
            return result;
        auto next = WithEvents ? std::min(until, nextPoll_) : until;
        const long long ms = next == std::chrono::steady_clock::time_point::max()
                                 ? -1
                                 : std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
        pollfd fd{wakePipe_[0], POLLIN, 0};
        const int ready = ::poll(&fd, 1, ms > INT32_MAX ? INT32_MAX : static_cast<int>(ms));
        if (ready > 0) {
            char buffer[64];
            while (::read(wakePipe_[0], buffer, sizeof buffer) > 0) {
            }
            result.Woken = true;
            return result;
        }
    }
}

std::string InotifyBlindReason(const std::string& Folder)
{
    if (const char* forced = std::getenv("QUILLON_WATCH_NO_INOTIFY"); forced && *forced)
        return "inotify is turned off ($QUILLON_WATCH_NO_INOTIFY)";
    struct statfs info{};
    if (::statfs(Folder.c_str(), &info) != 0)
        return {};
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0x6969: return "the folder is on NFS";
    case 0xFF534D42: return "the folder is on SMB/CIFS";
    case 0xFE534D42: return "the folder is on SMB2";
    case 0x517B: return "the folder is on SMB";
    case 0x65735546: return "the folder is on a FUSE file system";
    case 0x564C: return "the folder is on NCP";
    case 0x5346414F: return "the folder is on AFS";
    case 0x47504653: return "the folder is on GPFS";
    case 0x00C36400: return "the folder is on Ceph";
    case 0x01021997: return "the folder is on 9P";
    default: return {};
    }
}
