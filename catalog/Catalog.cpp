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
#include <exception>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_set>

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

namespace {

// The catalogue's extension of Name ("MPD", ...), or nullptr: no allocation,
// as the walk asks it of every name.
const char* CatalogExtensionOf(std::string_view Name)
{
    const size_t dot = Name.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return nullptr;
    const std::string_view ext = Name.substr(dot);
    for (const char* e : CatalogExtensions) {
        const std::string_view known(e);
        if (ext.size() == known.size() &&
            std::equal(ext.begin(), ext.end(), known.begin(), [](char a, char b) {
                return (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a) == b;
            }))
            return e + 1;
    }
    return nullptr;
}

} // namespace

bool IsCatalogFile(std::string_view Name)
{
    return CatalogExtensionOf(Name) != nullptr;
}

std::string CatalogFormatOf(std::string_view Name)
{
    const char* format = CatalogExtensionOf(Name);
    return format ? format : "";
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
        // The walk's identity stands for the one taken before the read.
        ReadSatelliteFileInfo(Path, Cancel, info.SatelliteCode, nullptr, info.AcquisitionTime, info.StandardName,
                              info.ImageFormat);
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
            // The update is woken for a handful of entries at once, or when
            // no file waits to be read.
            bool wake;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                results_.push_back(std::move(result));
                wake = results_.size() >= WakeResults || jobs_.empty();
            }
            if (wake)
                resultReady_.notify_one();
        }
    }

    static constexpr size_t WakeResults = 16;

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

// Inserts of new files on a thread of their own, overlapping the walk, the
// header reads and the comparison. The store is the writer's while rows are
// handed and not yet written; Sync gives it back.
class TInsertWriter {
public:
    explicit TInsertWriter(ICatalogStore& store) : store_(store), thread_([this] { Run(); }) {}
    ~TInsertWriter()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closing_ = true;
            queue_.clear();
        }
        changed_.notify_all();
        thread_.join();
    }

    void Hand(std::vector<TCatalogEntry>&& rows)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return queue_.size() < QueuedBatches || error_; });
        if (error_)
            std::rethrow_exception(error_);
        queue_.push_back(std::move(rows));
        lock.unlock();
        changed_.notify_all();
    }
    // Waits until every row handed is in the store (raising what writing
    // them raised): the store is the caller's until the next Hand.
    void Sync()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return (queue_.empty() && !busy_) || error_; });
        if (error_) {
            changed_.wait(lock, [&] { return !busy_; });
            std::rethrow_exception(error_);
        }
    }
    // Drops the rows not written yet and waits for the batch under way.
    void Discard() noexcept
    {
        std::unique_lock<std::mutex> lock(mutex_);
        queue_.clear();
        changed_.wait(lock, [&] { return !busy_; });
    }

private:
    static constexpr size_t QueuedBatches = 8;

    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [&] { return closing_ || !queue_.empty(); });
            if (closing_)
                return;
            std::vector<TCatalogEntry> rows = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
            lock.unlock();
            std::exception_ptr error;
            try {
                store_.InsertMany(rows);
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            busy_ = false;
            if (error) {
                error_ = error;
                queue_.clear();
            }
            changed_.notify_all();
        }
    }

    ICatalogStore& store_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<TCatalogEntry>> queue_;
    bool busy_ = false, closing_ = false;
    std::exception_ptr error_;
    std::thread thread_;   // last: starts once the rest is made
};

// The catalogue's entries under one root in path order (byte order), read a
// chunk at a time. The walk meets the files in the same order, so comparing
// the two is a merge: an entry the walk passes without meeting its path is
// gone. Entries the update writes meanwhile lie at or before the walk's
// position, which the chunks already read cover, so no chunk holds them.
class TKnownEntries {
public:
    // Settle is called before each read of the store.
    TKnownEntries(ICatalogStore& store, const std::string& root, std::function<void()> settle)
        : store_(store), settle_(std::move(settle)), after_(root + "/"), before_(root + "0")   // '0' follows '/'
    {
    }

    // Hands each entry before Path to Gone and returns the one at Path, if
    // any; it stays first until Pop.
    template <class F>
    const TCatalogEntry* Seek(const std::string& path, F&& gone)
    {
        const TCatalogEntry* e;
        while ((e = Front()) && e->Path < path) {
            gone(*e);
            Pop();
        }
        return e && e->Path == path ? e : nullptr;
    }
    void Pop() { ++next_; }
    // Passes over the entries whose path starts with Prefix, keeping them.
    void Keep(const std::string& prefix)
    {
        const TCatalogEntry* e;
        while ((e = Front()) && e->Path.compare(0, prefix.size(), prefix) == 0)
            Pop();
    }
    template <class F>
    void Finish(F&& gone)
    {
        while (const TCatalogEntry* e = Front()) {
            gone(*e);
            Pop();
        }
    }

private:
    static constexpr int Chunk = 1024;

    const TCatalogEntry* Front()
    {
        if (next_ == chunk_.size()) {
            if (exhausted_)
                return nullptr;
            settle_();
            store_.IdentitiesInRange(after_, before_, Chunk, chunk_);
            next_ = 0;
            exhausted_ = chunk_.size() < static_cast<size_t>(Chunk);
            if (chunk_.empty())
                return nullptr;
            after_ = chunk_.back().Path;
        }
        return &chunk_[next_];
    }

    ICatalogStore& store_;
    std::function<void()> settle_;
    std::string after_, before_;
    std::vector<TCatalogEntry> chunk_;
    size_t next_ = 0;
    bool exhausted_ = false;
};

// One name of a folder as the walk takes it: a folder's key is its name and a
// '/', so that sorting the keys puts the full paths below the folder in byte
// order, as the catalogue sorts them.
struct TChild {
    std::string Key;
    bool Folder = false;
    TFileIdentity Identity;
};

// What the walk meets: a file with its identity, or a folder it cannot read
// (Error, an errno value).
struct TWalkItem {
    std::string Path;
    TFileIdentity Identity;
    int Error = 0;
};

// The walk of one root on a thread of its own: depth first, each folder's
// names in key order, so the files come in path order. It runs ahead of the
// update by a bounded number of items.
class TTreeWalk {
public:
    TTreeWalk(const std::string& root, dev_t rootDevice, bool crossFilesystems)
        : rootDevice_(rootDevice), cross_(crossFilesystems), thread_([this, root] { Run(root); })
    {
    }
    ~TTreeWalk()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            cancel_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }

    // The next items into Items; false at the end of the walk. EAbort when a
    // stop request cut the walk short.
    bool Next(std::vector<TWalkItem>& items)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !queue_.empty() || done_; });
        if (queue_.empty()) {
            if (error_)
                std::rethrow_exception(error_);
            if (stopped_)
                throw EAbort("stopped");
            return false;
        }
        items = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        changed_.notify_all();
        return true;
    }

private:
    static constexpr size_t BatchItems = 256;
    static constexpr size_t QueuedBatches = 8;

    struct TFrame {
        std::string Dir;
        std::vector<TChild> Children;
        size_t Next = 0;
    };

    void Run(const std::string& root)
    {
        try {
            Walk(root);
            Hand();
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            error_ = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
    }

    // Hands the batch over, waiting while enough are queued; false once the
    // walk is to end.
    bool Hand()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return queue_.size() < QueuedBatches || cancel_; });
        if (cancel_)
            return false;
        if (!batch_.empty())
            queue_.push_back(std::move(batch_));
        batch_.clear();
        lock.unlock();
        changed_.notify_all();
        return true;
    }

    bool Add(TWalkItem item)
    {
        batch_.push_back(std::move(item));
        return batch_.size() < BatchItems || Hand();
    }

    bool Stopping()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = stopped_ || StopRequested();
        return stopped_ || cancel_;
    }

    // The names of a folder worth a look, sorted by key; an errno value when
    // the folder cannot be read.
    int List(const std::string& dir, std::vector<TChild>& children)
    {
        children.clear();
        DIR* d = ::opendir(dir.empty() ? "/" : dir.c_str());
        if (!d)
            return errno ? errno : EIO;
        const int fd = ::dirfd(d);
        for (;;) {
            errno = 0;
            const dirent* entry = ::readdir(d);
            if (!entry) {
                // A listing cut short is a folder that cannot be read: the
                // entries it did not reach must not pass for removed files.
                const int error = errno;
                if (error != 0) {
                    ::closedir(d);
                    children.clear();
                    return error;
                }
                break;
            }
            const char* n = entry->d_name;
            if (std::strcmp(n, ".") == 0 || std::strcmp(n, "..") == 0)
                continue;
            if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN && !IsCatalogFile(n))
                continue;
            struct stat info {};
            if (::fstatat(fd, n, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;   // gone since the listing
            TChild child;
            child.Key = n;
            if (S_ISDIR(info.st_mode)) {
                if (info.st_dev != rootDevice_ && !cross_)
                    continue;
                child.Folder = true;
                child.Key += '/';
            } else if (S_ISREG(info.st_mode) && IsCatalogFile(n)) {
                child.Identity.Device = static_cast<uint64_t>(info.st_dev);
                child.Identity.Inode = static_cast<uint64_t>(info.st_ino);
                child.Identity.Size = static_cast<int64_t>(info.st_size);
                child.Identity.ModifiedNs =
                    static_cast<int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
            } else {
                continue;
            }
            children.push_back(std::move(child));
        }
        ::closedir(d);
        std::sort(children.begin(), children.end(), [](const TChild& a, const TChild& b) { return a.Key < b.Key; });
        return 0;
    }

    // Opens a folder: its frame, or an item saying it cannot be read.
    bool Enter(std::vector<TFrame>& frames, const std::string& dir)
    {
        if (Stopping())
            return false;
        TFrame frame;
        frame.Dir = dir;
        if (const int error = List(dir, frame.Children)) {
            TWalkItem item;
            item.Path = dir;
            item.Error = error;
            return Add(std::move(item));
        }
        frames.push_back(std::move(frame));
        return true;
    }

    void Walk(const std::string& root)
    {
        std::vector<TFrame> frames;
        if (!Enter(frames, root))
            return;
        while (!frames.empty()) {
            TFrame& frame = frames.back();
            if (frame.Next == frame.Children.size()) {
                frames.pop_back();
                continue;
            }
            const TChild& child = frame.Children[frame.Next++];
            if (child.Folder) {
                if (!Enter(frames, frame.Dir + "/" + child.Key.substr(0, child.Key.size() - 1)))
                    return;
                continue;
            }
            TWalkItem item;
            item.Path.reserve(frame.Dir.size() + 1 + child.Key.size());
            item.Path.append(frame.Dir).append("/").append(child.Key);
            item.Identity = child.Identity;
            if (!Add(std::move(item)))
                return;
        }
    }

    dev_t rootDevice_;
    bool cross_;
    std::vector<TWalkItem> batch_;    // the walk's own until handed over
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<TWalkItem>> queue_;
    bool done_ = false, cancel_ = false, stopped_ = false;
    std::exception_ptr error_;
    std::thread thread_;   // last: starts once the rest is made
};

class TUpdate {
public:
    TUpdate(ICatalogStore& store, const TCatalogUpdateOptions& options)
        : store_(store), options_(options), writer_(store),
          pipeline_(Readers(options), options.ReadAhead > 0 ? static_cast<size_t>(options.ReadAhead)
                                                               : 64 * static_cast<size_t>(Readers(options)))
    {
    }

    TCatalogUpdateCounts Run(const std::vector<std::string>& roots)
    {
        store_.Begin();
        try {
            for (const std::string& root : roots) {
                Walk(root);
                DrainAll();
            }
            RemoveGone();   // settles
            store_.Commit();
        } catch (const EAbort&) {
            writer_.Discard();
            store_.Rollback();
            counts_ = committed_;   // what the catalogue holds of this update
            counts_.Stopped = true;
        } catch (...) {
            writer_.Discard();
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
        Settle();
        store_.Commit();
        committed_ = counts_;
        store_.Begin();
        written_ = 0;
    }

    void Store(THeaderPipeline::TResult& r)
    {
        if (r.Aborted)
            throw EAbort("stopped");
        if (!r.Entry.Error.empty())
            ++counts_.Unreadable;
        if (r.Changed) {
            Settle();
            store_.Put(r.Entry);
            ++counts_.Changed;
        } else {
            pending_.push_back(std::move(r.Entry));
            if (pending_.size() >= PendingRows)
                Flush();
            ++counts_.Added;
        }
        Wrote();
    }

    // New files are inserted a few dozen at a time (one statement for them
    // all) by the writer; every other use of the store, commits included,
    // settles first: the rows held are written and the writer is idle.
    static constexpr size_t PendingRows = 32;
    void Flush()
    {
        if (pending_.empty())
            return;
        writer_.Hand(std::move(pending_));
        pending_.clear();
        pending_.reserve(PendingRows);
    }
    void Settle()
    {
        Flush();
        writer_.Sync();
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

    // Entries the walk passed without meeting them, removed at the end unless
    // a move took them meanwhile (a file moved to a path met later).
    void Gone(const TCatalogEntry& e)
    {
        if (!moved_.count(e.Id))
            gone_.push_back(e.Id);
    }

    void RemoveGone()
    {
        Settle();
        std::sort(gone_.begin(), gone_.end());
        gone_.erase(std::unique(gone_.begin(), gone_.end()), gone_.end());
        for (const int64_t id : gone_)
            if (!moved_.count(id)) {
                store_.Remove(id);
                ++counts_.Removed;
            }
    }

    // Whether a file of this device can be one the catalogue holds at another
    // path: not when the catalogue held nothing of the device (a first update).
    bool MayHaveMoved(uint64_t device)
    {
        auto it = devices_.find(device);
        if (it == devices_.end()) {
            Settle();
            it = devices_.emplace(device, store_.HasDevice(device)).first;
        }
        return it->second;
    }

    // An entry elsewhere for the same device and inode, size and time whose
    // path no longer leads to this file: the file was moved here.
    bool TakeMoved(const std::string& path, const TFileIdentity& id, int64_t atPath)
    {
        Settle();
        for (const TCatalogEntry& c : store_.FindByInode(id.Device, id.Inode)) {
            if (c.Path == path || !(c.Identity == id) || moved_.count(c.Id))
                continue;
            TFileIdentity there;
            if (GetFileIdentity(c.Path, there) && there.Device == id.Device && there.Inode == id.Inode)
                continue;   // still there: another link to the same file
            if (atPath)
                store_.Remove(atPath);
            store_.SetPath(c.Id, path);
            moved_.insert(c.Id);
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
        const TCatalogEntry* known = known_->Seek(path, [this](const TCatalogEntry& e) { Gone(e); });
        int64_t atPath = 0;
        if (known) {
            const bool unchanged = known->Identity == id;
            const bool unreadable = !known->Error.empty();
            // An entry a move took is elsewhere now, whatever the chunk says.
            if (!moved_.count(known->Id))
                atPath = known->Id;
            known_->Pop();
            if (atPath && unchanged) {
                ++counts_.Unchanged;
                if (unreadable)
                    ++counts_.Unreadable;
                Wrote();
                return;
            }
        }
        if (MayHaveMoved(id.Device) && TakeMoved(path, id, atPath))
            return;
        if (pipeline_.Full())
            Drain(true);
        pipeline_.Push({path, id, atPath != 0});
        Drain(false);
    }

    // Walks one root: the walk's thread lists the folders and looks at their
    // files ahead; here they are taken in path order.
    void Walk(const std::string& root)
    {
        struct stat rootInfo {};
        if (::stat(root.empty() ? "/" : root.c_str(), &rootInfo) != 0)
            throw FileIoError("Cannot read folder", root, errno);
        known_.emplace(store_, root, [this] { Settle(); });
        TTreeWalk walk(root, rootInfo.st_dev, options_.CrossFilesystems);
        std::vector<TWalkItem> items;
        while (walk.Next(items)) {
            for (const TWalkItem& item : items) {
                if (item.Error == 0) {
                    File(item.Path, item.Identity);
                    continue;
                }
                // A folder that cannot be read keeps its entries.
                const std::string& dir = item.Path;
                if (options_.OnWarning)
                    options_.OnWarning("cannot read folder " + (dir.empty() ? "/" : dir) + ": " +
                                       FileErrorText(item.Error) + " (its entries are kept)");
                known_->Seek(dir + "/", [this](const TCatalogEntry& e) { Gone(e); });
                known_->Keep(dir + "/");
            }
            CheckStop();
        }
        CheckStop();   // a walk cut short by a stop leaves nothing gone
        known_->Finish([this](const TCatalogEntry& e) { Gone(e); });
        known_.reset();
    }

    ICatalogStore& store_;
    const TCatalogUpdateOptions& options_;
    TInsertWriter writer_;
    THeaderPipeline pipeline_;
    TCatalogUpdateCounts counts_;
    TCatalogUpdateCounts committed_;   // the counts at the last commit
    std::optional<TKnownEntries> known_;
    std::map<uint64_t, bool> devices_;         // device -> the catalogue held entries of it
    std::unordered_set<int64_t> moved_;        // entries a move took during this update
    std::vector<int64_t> gone_;
    std::vector<TCatalogEntry> pending_;       // new files not inserted yet
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
