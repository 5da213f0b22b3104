// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/Catalog.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "catalog/CatalogQuery.h"
#include "catalog/SqliteCatalogStore.h"
#include "components/HeaderReadAhead.h"
#include "runtime/Application.h"
#include "runtime/FileOps.h"
#include "runtime/SysUtils.h"
#include "satellite/SatelliteInfo.h"

std::string DefaultCatalogPath()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data && *data == '/')
        base = data;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/share";
    else
        base = ".";
    return base + "/quillon/catalog.sqlite";
}

double CatalogLockTimeout()
{
    if (const char* text = std::getenv("QUILLON_CATALOG_LOCK_TIMEOUT")) {
        char* end = nullptr;
        const double seconds = std::strtod(text, &end);
        if (end != text && *end == '\0' && std::isfinite(seconds) && seconds >= 0)
            return seconds;
    }
    return 30;
}

TCatalogUpdateLock::TCatalogUpdateLock(const std::string& CatalogFile, double TimeoutSeconds,
                                       const std::function<void(const char*)>& OnWaiting)
{
    TLockWait wait;
    wait.TimeoutSeconds = TimeoutSeconds;
    wait.OnWaiting = [&] {
        if (OnWaiting)
            OnWaiting(CatalogWaitingMessage);
    };
    const int error = lock_.Acquire(CatalogFile + ".lock", true, wait);
    if (error == 0)
        return;
    if (error == ETIMEDOUT) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%g", TimeoutSeconds);
        throw ECatalogError("the catalogue " + CatalogFile +
                            " is being updated by another quillon process; gave up waiting after " + seconds + " s");
    }
    if (error == ECANCELED)
        throw EAbort("stopped while waiting for the catalogue " + CatalogFile);
    throw ECatalogError("cannot lock the catalogue " + CatalogFile + ": " + FileErrorText(error));
}

namespace {

// The error code of a header read that met the end of the file (a file cut
// short): the file's own fault, not the system's.
constexpr int EndOfFileCode = 100;

const char* const CatalogExtensions[] = {".MPD", ".HRM", ".RAH", ".MET", ".PDU", ".OPEN_MTP", ".HDF"};

} // namespace

bool IsCatalogFile(std::string_view Name)
{
    return !CatalogFormatOf(Name).empty();
}

std::string CatalogFormatOf(std::string_view Name)
{
    const size_t dot = Name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return {};
    const std::string ext = UpperCase(Name.substr(dot));
    for (const char* e : CatalogExtensions)
        if (ext == e)
            return ext.substr(1);
    return {};
}

TCatalogEntry IdentifyCatalogFile(const std::string& Path, const TFileIdentity& Identity,
                                  const std::atomic<bool>* Cancel)
{
    TCatalogEntry e;
    e.Path = Path;
    e.Identity = Identity;
    const std::string name = ExtractFileName(Path);
    e.Format = CatalogFormatOf(name);
    THeaderInfo info;
    try {
        ReadHeaderInfo(Path, info, Cancel);
    } catch (const EAbort&) {
        throw;
    } catch (const EInOutError& error) {
        e.Error = error.Message();
        // The system failed to open or read it (not an end of file): a
        // passing failure must not stick, so the next update reads it again.
        if (error.ErrorCode != EndOfFileCode)
            e.Identity.ModifiedNs = -1;
    } catch (const Exception& error) {
        e.Error = error.Message();
    }
    e.SatelliteCode = info.SatelliteCode;
    e.SatelliteName = std::string(SatelliteName(info.SatelliteCode));
    e.ImageFormat = info.ImageFormat;
    e.StandardName = info.StandardName;
    if (info.AcquisitionTime != 0.0) {
        e.Acquired = SecondsFromDateTime(info.AcquisitionTime);
        e.AcquiredIso = DateTimeToIso(info.AcquisitionTime);
    }
    if (e.Error.empty() && (info.ImageFormat.empty() || !e.Acquired))
        e.Error = "the header gives no " + std::string(info.ImageFormat.empty() ? "format letters" : "acquisition time");
    const size_t dot = name.rfind('.');
    e.IsStandard = e.Error.empty() && !e.StandardName.empty() && name.substr(0, dot) == e.StandardName;
    // A file written to while it was read: keep what was read, but make the
    // next update read it again.
    TFileIdentity after;
    if (!GetFileIdentity(Path, after) || !(after == Identity))
        e.Identity.ModifiedNs = -1;
    return e;
}

std::string ResolveCatalogRoot(const std::string& Root)
{
    char* resolved = ::realpath(Root.c_str(), nullptr);
    if (!resolved)
        throw FileIoError("Cannot read folder", Root, errno);
    std::string path = resolved;
    std::free(resolved);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        throw FileIoError("Cannot read folder", Root, ENOTDIR);
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path == "/" ? std::string() : path;
}

namespace {

// Header reads on worker threads: the walk hands in files, the update takes
// the entries back in any order. At most Capacity files are in hand at once.
class THeaderPipeline {
public:
    struct TJob {
        std::string Path;
        TFileIdentity Identity;
        bool Changed;
    };
    struct TResult {
        TCatalogEntry Entry;
        bool Changed = false;
        bool Aborted = false;
    };

    THeaderPipeline(int Threads, size_t Capacity) : capacity_(Capacity)
    {
        for (int i = 0; i < Threads; ++i)
            workers_.emplace_back([this] { Work(); });
    }
    ~THeaderPipeline()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
        }
        cancel_ = true;
        jobReady_.notify_all();
        for (std::thread& t : workers_)
            t.join();
    }
    size_t InHand() const { return inHand_; }
    bool Full() const { return inHand_ >= capacity_; }

    void Push(TJob Job)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            jobs_.push_back(std::move(Job));
        }
        ++inHand_;
        jobReady_.notify_one();
    }
    // A finished entry; with Wait, waits for one while any is in hand.
    bool Pop(TResult& Result, bool Wait)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (Wait)
            resultReady_.wait(lock, [&] { return !results_.empty() || inHand_ == 0; });
        if (results_.empty())
            return false;
        Result = std::move(results_.front());
        results_.pop_front();
        --inHand_;
        return true;
    }

private:
    void Work()
    {
        for (;;) {
            TJob job;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                jobReady_.wait(lock, [&] { return closing_ || !jobs_.empty(); });
                if (closing_)
                    return;
                job = std::move(jobs_.front());
                jobs_.pop_front();
            }
            TResult result;
            result.Changed = job.Changed;
            try {
                result.Entry = IdentifyCatalogFile(job.Path, job.Identity, &cancel_);
            } catch (const EAbort&) {
                result.Entry.Path = job.Path;
                result.Aborted = true;
            } catch (const std::exception& e) {
                result.Entry.Path = job.Path;
                result.Entry.Identity = job.Identity;
                result.Entry.Format = CatalogFormatOf(job.Path);
                result.Entry.Error = e.what();
            }
            {
                std::lock_guard<std::mutex> lock(mutex_);
                results_.push_back(std::move(result));
            }
            resultReady_.notify_one();
        }
    }

    size_t capacity_;
    std::mutex mutex_;
    std::condition_variable jobReady_, resultReady_;
    std::deque<TJob> jobs_;
    std::deque<TResult> results_;
    std::atomic<size_t> inHand_{0};
    bool closing_ = false;
    std::atomic<bool> cancel_{false};
    std::vector<std::thread> workers_;
};

int Readers(const TCatalogUpdateOptions& options)
{
    return std::max(1, options.Threads > 0 ? options.Threads : THeaderReadAhead::DefaultThreads());
}

class TUpdate {
public:
    TUpdate(ICatalogStore& store, const TCatalogUpdateOptions& options)
        : store_(store), options_(options),
          pipeline_(Readers(options), options.ReadAhead > 0 ? static_cast<size_t>(options.ReadAhead)
                                                               : 64 * static_cast<size_t>(Readers(options)))
    {
    }

    TCatalogUpdateCounts Run(const std::vector<std::string>& roots)
    {
        store_.Begin();
        try {
            store_.ClearSeen();
            for (const std::string& root : roots)
                Walk(root);
            DrainAll();
            for (const std::string& root : roots)
                counts_.Removed += store_.RemoveUnseen(root);
            store_.Commit();
        } catch (const EAbort&) {
            store_.Rollback();
            counts_ = committed_;   // what the catalogue holds of this update
            counts_.Stopped = true;
        } catch (...) {
            store_.Rollback();
            throw;
        }
        return counts_;
    }

private:
    void CheckStop()
    {
        if (StopRequested())
            throw EAbort("stopped");
    }

    // Ends the transaction after a batch of files, at a point where every
    // entry written is whole.
    void Wrote()
    {
        if (++written_ < static_cast<int64_t>(std::max(1, options_.BatchSize)))
            return;
        CheckStop();
        store_.Commit();
        committed_ = counts_;
        store_.Begin();
        written_ = 0;
    }

    void Store(THeaderPipeline::TResult& r)
    {
        if (r.Aborted)
            throw EAbort("stopped");
        const int64_t id = store_.Put(r.Entry);
        store_.MarkSeen(id);
        if (r.Changed)
            ++counts_.Changed;
        else
            ++counts_.Added;
        if (!r.Entry.Error.empty())
            ++counts_.Unreadable;
        Wrote();
    }

    void Drain(bool wait)
    {
        THeaderPipeline::TResult r;
        while (pipeline_.Pop(r, wait)) {
            Store(r);
            wait = false;
        }
    }

    void DrainAll()
    {
        THeaderPipeline::TResult r;
        while (pipeline_.InHand() > 0) {
            CheckStop();
            if (pipeline_.Pop(r, true))
                Store(r);
        }
    }

    // An entry elsewhere for the same device and inode, size and time whose
    // path no longer leads to this file: the file was moved here.
    bool TakeMoved(const std::string& path, const TFileIdentity& id, const TCatalogEntry* atPath)
    {
        for (const TCatalogEntry& c : store_.FindByInode(id.Device, id.Inode)) {
            if (c.Path == path || !(c.Identity == id))
                continue;
            TFileIdentity there;
            if (GetFileIdentity(c.Path, there) && there.Device == id.Device && there.Inode == id.Inode)
                continue;   // still there: another link to the same file
            if (atPath)
                store_.Remove(atPath->Id);
            store_.SetPath(c.Id, path);
            store_.MarkSeen(c.Id);
            ++counts_.Changed;
            if (!c.Error.empty())
                ++counts_.Unreadable;
            Wrote();
            return true;
        }
        return false;
    }

    void File(const std::string& path, const TFileIdentity& id)
    {
        CheckStop();
        if (++met_ % std::max<int64_t>(1, options_.ProgressEvery) == 0 && options_.OnProgress)
            options_.OnProgress(met_);
        TCatalogEntry& known = known_;   // reused: no allocation per file
        const bool atPath = store_.FindIdentityByPath(path, known);
        if (atPath && known.Identity == id) {
            store_.MarkSeen(known.Id);
            ++counts_.Unchanged;
            if (!known.Error.empty())
                ++counts_.Unreadable;
            Wrote();
            return;
        }
        if (TakeMoved(path, id, atPath ? &known : nullptr))
            return;
        if (pipeline_.Full())
            Drain(true);
        pipeline_.Push({path, id, atPath});
        Drain(false);
    }

    void Walk(const std::string& root)
    {
        struct stat rootInfo {};
        if (::stat(root.empty() ? "/" : root.c_str(), &rootInfo) != 0)
            throw FileIoError("Cannot read folder", root, errno);
        std::vector<std::string> folders{root};
        while (!folders.empty()) {
            const std::string dir = std::move(folders.back());
            folders.pop_back();
            CheckStop();
            DIR* d = ::opendir(dir.empty() ? "/" : dir.c_str());
            if (!d) {
                const int error = errno;
                if (options_.OnWarning)
                    options_.OnWarning("cannot read folder " + (dir.empty() ? "/" : dir) + ": " +
                                       FileErrorText(error) + " (its entries are kept)");
                store_.MarkSeenInside(dir);
                continue;
            }
            std::vector<std::string> names;
            while (const dirent* entry = ::readdir(d)) {
                const char* n = entry->d_name;
                if (std::strcmp(n, ".") == 0 || std::strcmp(n, "..") == 0)
                    continue;
                if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN && !IsCatalogFile(n))
                    continue;
                names.emplace_back(n);
            }
            ::closedir(d);
            std::sort(names.begin(), names.end());
            std::vector<std::string> subfolders;
            for (const std::string& name : names) {
                const std::string path = dir + "/" + name;
                struct stat info {};
                if (::lstat(path.c_str(), &info) != 0)
                    continue;   // gone since the listing
                if (S_ISDIR(info.st_mode)) {
                    if (info.st_dev == rootInfo.st_dev || options_.CrossFilesystems)
                        subfolders.push_back(path);
                } else if (S_ISREG(info.st_mode) && IsCatalogFile(name)) {
                    TFileIdentity id;
                    id.Device = static_cast<uint64_t>(info.st_dev);
                    id.Inode = static_cast<uint64_t>(info.st_ino);
                    id.Size = static_cast<int64_t>(info.st_size);
                    id.ModifiedNs = static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
                    File(path, id);
                }
            }
            for (auto it = subfolders.rbegin(); it != subfolders.rend(); ++it)
                folders.push_back(std::move(*it));
        }
    }

    ICatalogStore& store_;
    const TCatalogUpdateOptions& options_;
    THeaderPipeline pipeline_;
    TCatalogUpdateCounts counts_;
    TCatalogUpdateCounts committed_;   // the counts at the last commit
    TCatalogEntry known_;
    int64_t written_ = 0;
    int64_t met_ = 0;
};

} // namespace

TCatalogUpdateCounts UpdateCatalog(ICatalogStore& Store, const std::vector<std::string>& Roots,
                                   const TCatalogUpdateOptions& Options)
{
    TUpdate update(Store, Options);
    return update.Run(Roots);
}

int64_t FindGaps(ICatalogStore& Store, int SatelliteCode, std::optional<int64_t> From, std::optional<int64_t> To,
                 int64_t SlotSeconds, const std::function<void(const TGapRun&)>& Run)
{
    const auto slotOf = [&](int64_t t) { return t >= 0 ? t / SlotSeconds : -((-t + SlotSeconds - 1) / SlotSeconds); };
    int64_t total = 0;
    bool first = true;
    int64_t last = 0;
    Store.AcquisitionTimes(SatelliteCode, From, To, [&](int64_t t) {
        const int64_t slot = slotOf(t);
        if (!first && slot > last + 1) {
            const TGapRun run{(last + 1) * SlotSeconds, (slot - 1) * SlotSeconds, slot - last - 1};
            total += run.Count;
            Run(run);
        }
        if (first || slot > last)
            last = slot;
        first = false;
    });
    return total;
}

std::string ContentDigest(const std::string& Path)
{
    int64_t size = 0;
    int error = 0;
    const int fd = OpenRegularFile(Path, size, error);
    if (fd < 0)
        return {};
    uint64_t hash = 1469598103934665603ULL;
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return {};
        }
        if (got == 0)
            break;
        for (ssize_t i = 0; i < got; ++i) {
            hash ^= buffer[static_cast<size_t>(i)];
            hash *= 1099511628211ULL;
        }
        if (StopRequested()) {
            ::close(fd);
            throw EAbort("stopped");
        }
    }
    ::close(fd);
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

namespace {

bool SameBytes(const std::string& a, const std::string& b)
{
    int64_t sizeA = 0, sizeB = 0;
    int error = 0;
    const int fa = OpenRegularFile(a, sizeA, error);
    if (fa < 0)
        return false;
    const int fb = OpenRegularFile(b, sizeB, error);
    if (fb < 0) {
        ::close(fa);
        return false;
    }
    bool same = sizeA == sizeB;
    std::vector<char> ba(1 << 16), bb(1 << 16);
    while (same) {
        const ssize_t ga = ::read(fa, ba.data(), ba.size());
        ssize_t gb = 0;
        while (gb < ga) {
            const ssize_t g = ::read(fb, bb.data() + gb, static_cast<size_t>(ga - gb));
            if (g <= 0)
                break;
            gb += g;
        }
        if (ga < 0 || gb != ga || std::memcmp(ba.data(), bb.data(), static_cast<size_t>(ga)) != 0)
            same = false;
        if (ga <= 0)
            break;
    }
    ::close(fa);
    ::close(fb);
    return same;
}

// One size's entries split by content.
void SplitBySameContent(ICatalogStore& store, std::vector<TCatalogEntry>& sized,
                        const std::function<void(const std::vector<TCatalogEntry>&)>& group)
{
    std::map<std::string, std::vector<TCatalogEntry>> byDigest;
    for (TCatalogEntry& e : sized) {
        TFileIdentity now;
        if (!GetFileIdentity(e.Path, now) || !(now == e.Identity))
            continue;   // changed since the update: left to the next one
        if (e.ContentHash.empty()) {
            e.ContentHash = ContentDigest(e.Path);
            if (e.ContentHash.empty())
                continue;
            store.SetContentHash(e.Id, e.ContentHash);
        }
        byDigest[e.ContentHash].push_back(std::move(e));
    }
    for (auto& [digest, entries] : byDigest) {
        // Equal digests, then equal bytes: each file joins the first group
        // whose first file it matches.
        std::vector<std::vector<TCatalogEntry>> groups;
        for (TCatalogEntry& e : entries) {
            bool placed = false;
            for (auto& g : groups)
                if (SameBytes(g.front().Path, e.Path)) {
                    g.push_back(std::move(e));
                    placed = true;
                    break;
                }
            if (!placed)
                groups.push_back({std::move(e)});
        }
        for (const auto& g : groups)
            if (g.size() > 1)
                group(g);
    }
}

} // namespace

void FindSameContent(ICatalogStore& Store, const std::function<void(const std::vector<TCatalogEntry>&)>& Group)
{
    // The same-size rows first (the store's statement must end before the
    // digests are written back).
    std::vector<std::vector<TCatalogEntry>> bySize;
    Store.SameSize([&](const TCatalogEntry& e) {
        if (bySize.empty() || bySize.back().front().Identity.Size != e.Identity.Size)
            bySize.emplace_back();
        bySize.back().push_back(e);
    });
    Store.Begin();
    try {
        for (auto& sized : bySize)
            SplitBySameContent(Store, sized, Group);
        Store.Commit();
    } catch (...) {
        Store.Rollback();
        throw;
    }
}

void FindSameStandardName(ICatalogStore& Store, const std::function<void(const std::vector<TCatalogEntry>&)>& Group)
{
    std::vector<TCatalogEntry> current;
    const auto flush = [&] {
        // Links to one file count once.
        std::vector<TCatalogEntry> distinct;
        for (const TCatalogEntry& e : current)
            if (std::none_of(distinct.begin(), distinct.end(), [&](const TCatalogEntry& d) {
                    return d.Identity.Device == e.Identity.Device && d.Identity.Inode == e.Identity.Inode;
                }))
                distinct.push_back(e);
        if (distinct.size() > 1)
            Group(distinct);
        current.clear();
    };
    Store.SameStandardName([&](const TCatalogEntry& e) {
        if (!current.empty() && current.front().StandardName != e.StandardName)
            flush();
        current.push_back(e);
    });
    flush();
}
