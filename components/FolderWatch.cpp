// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/FolderWatch.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "components/FilingPlan.h"
#include "components/HeaderReadAhead.h"
#include "components/TreeScan.h"
#include "runtime/Application.h"
#include "runtime/FileOps.h"

namespace {

// Thrown to leave the first pass's scan when a stop was requested.
struct TStopRequested {};

// Empties the wake pipe.
void Drain(int fd)
{
    char drain[256];
    while (::read(fd, drain, sizeof drain) > 0) {
    }
}

} // namespace

// ---- the real clock

IWatchClock::TTimePoint TSystemWatchClock::Now()
{
    return std::chrono::steady_clock::now();
}

struct timespec TSystemWatchClock::WallNow()
{
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

void TSystemWatchClock::Sleep(std::chrono::milliseconds Duration)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(Duration);
    const struct timespec pause = {static_cast<time_t>(seconds.count()),
                                   static_cast<long>((Duration - seconds).count()) * 1'000'000};
    ::nanosleep(&pause, nullptr);
}

// ---- the real events

TInotifyFolderEvents::TInotifyFolderEvents()
{
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeError_ = errno;
        wakePipe_[0] = wakePipe_[1] = -1;
    }
}

TInotifyFolderEvents::~TInotifyFolderEvents()
{
    if (inotifyFd_ >= 0)
        ::close(inotifyFd_);
    for (int fd : wakePipe_)
        if (fd >= 0)
            ::close(fd);
}

std::string TInotifyFolderEvents::Start(const std::string& Folder)
{
    folder_ = Folder;
    // The stop signals wake the loop through the pipe too.
    if (pipeError_ != 0)
        return std::string("cannot take the stop signals: ") + FileErrorText(pipeError_);
    inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const uint32_t mask = IN_CREATE | IN_OPEN | IN_MODIFY | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_MOVED_TO |
                          IN_MOVED_FROM | IN_DELETE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    if (inotifyFd_ < 0 || ::inotify_add_watch(inotifyFd_, Folder.c_str(), mask) < 0)
        return "cannot watch folder " + Folder + ": " + FileErrorText(errno);
    return {};
}

void TInotifyFolderEvents::Wake()
{
    const char byte = 'r';
    [[maybe_unused]] ssize_t ignored = ::write(wakePipe_[1], &byte, 1);
}

IFolderEvents::TWaitResult TInotifyFolderEvents::Wait(std::chrono::milliseconds Timeout, bool WithEvents,
                                                      std::vector<TFolderEvent>& Events)
{
    TWaitResult result;
    struct pollfd fds[2] = {{wakePipe_[0], POLLIN, 0}, {inotifyFd_, POLLIN, 0}};
    const int timeout = Timeout.count() < 0 ? -1 : static_cast<int>(std::min<long long>(Timeout.count(), INT_MAX));
    if (::poll(fds, WithEvents ? 2 : 1, timeout) < 0) {
        if (errno != EINTR)
            result.Error = FileErrorText(errno);
        return result;
    }
    if (fds[0].revents & POLLIN) {
        Drain(wakePipe_[0]);
        result.Woken = true;
    }
    if (WithEvents && (fds[1].revents & POLLIN))
        result.Error = ReadEvents(Events);
    return result;
}

// Reads every event there is; "" or why the events cannot be read.
std::string TInotifyFolderEvents::ReadEvents(std::vector<TFolderEvent>& Events)
{
    alignas(struct inotify_event) char buffer[16384];
    for (;;) {
        ssize_t got = ::read(inotifyFd_, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                return {};
            return "cannot watch folder " + folder_ + ": " + FileErrorText(errno);
        }
        for (char* p = buffer; p < buffer + got;) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(p);
            p += sizeof(struct inotify_event) + event->len;
            const uint32_t mask = event->mask;
            TFolderEvent e;
            if (mask & IN_Q_OVERFLOW) {
                e.Kind = TFolderEvent::Overflow;
            } else if (mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
                e.Kind = TFolderEvent::FolderGone;
            } else if (event->len == 0) {
                if (!(mask & IN_ATTRIB))
                    continue; // the folder itself opened or closed
                e.Kind = TFolderEvent::FolderChanged;
            } else {
                e.Name = event->name; // NUL-padded
                e.IsFolder = (mask & IN_ISDIR) != 0;
                if (mask & (IN_DELETE | IN_MOVED_FROM))
                    e.Kind = TFolderEvent::Gone;
                else if (mask & IN_MOVED_TO)
                    e.Kind = TFolderEvent::MovedIn;
                else if (mask & IN_CREATE)
                    e.Kind = TFolderEvent::Created;
                else if (mask & IN_OPEN)
                    e.Kind = TFolderEvent::Opened;
                else if (mask & IN_MODIFY)
                    e.Kind = TFolderEvent::Modified;
                else if (mask & IN_CLOSE_WRITE)
                    e.Kind = TFolderEvent::ClosedAfterWriting;
                else if (mask & IN_CLOSE_NOWRITE)
                    e.Kind = TFolderEvent::ClosedUnwritten;
                else if (mask & IN_ATTRIB)
                    e.Kind = TFolderEvent::AttributesChanged;
                else
                    continue;
            }
            Events.push_back(std::move(e));
        }
    }
}

// ---- the header readers

TWatchHeader ReadWatchHeader(const std::string& Folder, const std::string& Name, const std::atomic<bool>* Cancel,
                             bool StandardNamesToo)
{
    TWatchHeader header;
    header.Name = Name;
    // The listing rule never opens a standard name; StandardNamesToo does.
    if (!StandardNamesToo && !TRenameWorkflow::MayBeListed(Name))
        return header;
    try {
        THeaderInfo info;
        ReadHeaderInfo(IncludeTrailingPathDelimiter(Folder) + Name, info, Cancel);
        if (PassesListingFilter(info)) {
            header.Listed = true;
            header.Proposed = info.StandardName;
            header.Identity = info.Identity;
            header.Info = std::move(info); // for filing, which needs more of it
        }
    } catch (const Exception& e) {
        header.Error = e.Message();
    } catch (const std::exception& e) {
        header.Error = e.what();
    }
    return header;
}

TWatchReaders::TWatchReaders(std::string Folder, std::function<void()> Done, TReadHeader Read)
    : folder_(std::move(Folder)), done_(std::move(Done)), read_(std::move(Read))
{
    if (!read_)
        read_ = [](const std::string& folder, const std::string& name, const std::atomic<bool>* cancel) {
            return ReadWatchHeader(folder, name, cancel);
        };
}

TWatchReaders::~TWatchReaders()
{
    {
        // The watch is over: a header search under way need not finish.
        std::lock_guard<std::mutex> lock(mutex_);
        if (running_ > idle_)
            RequestStop();
    }
    Finish(std::chrono::hours(24 * 365));
}

bool TWatchReaders::Finish(std::chrono::milliseconds Timeout)
{
    std::unique_lock<std::mutex> lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
    if (!ended_.wait_for(lock, Timeout, [&] { return running_ == 0; })) {
        for (std::thread& t : threads_)
            t.detach();
        return false;
    }
    lock.unlock();
    for (std::thread& t : threads_)
        if (t.joinable())
            t.join();
    return true;
}

void TWatchReaders::Submit(const std::string& Name)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(Name);
        busy_.insert(Name);
        // Workers that ended are joined (they have only to return).
        for (auto it = threads_.begin(); it != threads_.end();) {
            if (std::find(endedIds_.begin(), endedIds_.end(), it->get_id()) != endedIds_.end()) {
                it->join();
                it = threads_.erase(it);
            } else {
                ++it;
            }
        }
        endedIds_.clear();
        // A worker of its own when every one is taken: a file never waits
        // for a slow search of another (up to MaxWorkers at once).
        if (queue_.size() > static_cast<size_t>(idle_) && running_ < MaxWorkers) {
            ++running_;
            threads_.emplace_back([this] { Work(); });
        }
    }
    wake_.notify_one();
}

void TWatchReaders::Cancel(const std::string& Name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    auto queued = std::find(queue_.begin(), queue_.end(), Name);
    if (queued != queue_.end()) {
        queue_.erase(queued);
        busy_.erase(Name);
    }
    auto reading = reading_.find(Name);
    if (reading != reading_.end()) {
        reading->second->store(true); // the worker drops its result
    } else {
        const size_t before = results_.size();
        std::erase_if(results_, [&](const TWatchHeader& r) { return r.Name == Name; });
        if (results_.size() != before)
            busy_.erase(Name);
    }
}

int TWatchReaders::Running()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return running_;
}

bool TWatchReaders::Busy(const std::string& Name)
{
    std::lock_guard<std::mutex> lock(mutex_);
    return busy_.count(Name) != 0;
}

std::vector<TWatchHeader> TWatchReaders::Take()
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<TWatchHeader> done;
    done.swap(results_);
    for (const TWatchHeader& r : done)
        busy_.erase(r.Name);
    return done;
}

void TWatchReaders::Work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        // Beyond Workers, a worker ends once nothing is queued.
        if (queue_.empty() && running_ > Workers)
            break;
        ++idle_;
        wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        --idle_;
        if (stopping_)
            break;
        const std::string name = queue_.front();
        queue_.pop_front();
        auto cancel = std::make_shared<std::atomic<bool>>(false);
        reading_[name] = cancel;
        lock.unlock();
        TWatchHeader header = read_(folder_, name, cancel.get());
        lock.lock();
        reading_.erase(name);
        if (cancel->load()) {
            busy_.erase(name); // gone or replaced: nothing to tell
            continue;
        }
        results_.push_back(std::move(header));
        if (done_)
            done_();
    }
    --running_;
    endedIds_.push_back(std::this_thread::get_id());
    ended_.notify_all();
}

// ---- the watch

TFolderWatch::TFolderWatch(std::string Folder, std::chrono::duration<double> Settle, IFolderEvents& Events,
                           IWatchClock& Clock, IRenameJournal& Journal, IFolderWatchObserver& Observer)
    : folder_(std::move(Folder)), settle_(std::chrono::duration_cast<IWatchClock::TTimePoint::duration>(Settle)),
      events_(Events), clock_(Clock), journal_(Journal), observer_(Observer)
{
}

TFolderWatch::~TFolderWatch() = default;

std::string TFolderWatch::Path(const std::string& Name) const
{
    return IncludeTrailingPathDelimiter(folder_) + Name;
}

bool TFolderWatch::Takes(const std::string& Name) const
{
    return StandardNamesToo ? MatchesMask(Name, TRenameWorkflow::ListingMask) : TRenameWorkflow::MayBeListed(Name);
}

// Its settle time starts now, from the size and time it has now.
void TFolderWatch::Arm(const std::string& Name, TCandidate& Candidate)
{
    Candidate.due = clock_.Now() + settle_;
    struct stat info {};
    if (::stat(Path(Name).c_str(), &info) == 0) {
        Candidate.size = info.st_size;
        Candidate.mtime = info.st_mtim;
    } else {
        Candidate.size = -1;
    }
}

// A complete file, as if it had just been closed or moved in.
TFolderWatch::TCandidate& TFolderWatch::Arm(const std::string& Name)
{
    TCandidate& c = candidates_[Name];
    c = TCandidate{};
    c.complete = true;
    Arm(Name, c);
    return c;
}

TRenameWorkflow TFolderWatch::Batch() const
{
    TRenameWorkflow workflow;
    workflow.Folder = folder_;
    return workflow;
}

// Renames the workflow's rows as one journaled batch and tells each outcome;
// a journal that cannot be written renames nothing and is told once. Once a
// stop is requested, the rows it left alone are not told.
void TFolderWatch::RenameAndTell(TRenameWorkflow& Workflow)
{
    TStoppableJournal journal(journal_);
    std::vector<TRenameOutcome> rows;
    try {
        rows = BatchAction ? BatchAction(Workflow) : Workflow.RenameRows(&journal);
    } catch (const EJournalError& e) {
        ++journalFailures_;
        observer_.Message(e.Message() + "; nothing renamed; trying again in " +
                          std::to_string(RetryDelay(journalFailures_).count()) + " s");
        RetryLater(Workflow.FileNames());
        return;
    }
    const bool stopping = StopRequested();
    std::vector<std::string> again; // left by a journal that failed part-way
    for (const TRenameOutcome& row : rows) {
        if (row.Attempted || !stopping)
            observer_.Renamed(row);
        if (!row.Attempted && !stopping)
            again.push_back(row.OldName);
    }
    if (again.empty()) {
        journalFailures_ = 0;
    } else {
        ++journalFailures_;
        RetryLater(again);
    }
}

std::chrono::seconds TFolderWatch::RetryDelay(int Failures)
{
    if (Failures <= 1)
        return std::chrono::seconds(1);
    return std::chrono::seconds(Failures > 7 ? 60 : std::min(60, 1 << (Failures - 1)));
}

// Files of a batch that could not be journaled wait RetryDelay and are then
// looked at again as if just arrived, until they are renamed or gone.
void TFolderWatch::RetryLater(const std::vector<std::string>& Names)
{
    const auto delay = RetryDelay(journalFailures_);
    for (const std::string& name : Names) {
        TCandidate& c = Arm(name);
        c.due = clock_.Now() + delay;
    }
}

// What the Rename button would rename, with two differences. A file changed
// within the settle time may still be being written, so it is not opened now
// but waits its settle time like a file that has just arrived. And the headers
// are read by the readers, so that one slow file holds up no other: once every
// header is read, or none has come in for FirstPassGrace, the files read are
// renamed as one batch in scan order; a file still being read is renamed once
// read (NameReadFiles), as if it had just arrived.
void TFolderWatch::FirstPass()
{
    const double settleSeconds = std::chrono::duration<double>(settle_).count();
    std::vector<std::string> names; // submitted, in scan order
    TTreeScanner scanner;
    TRenameWorkflow::SetUpScanner(scanner, folder_);
    scanner.OnFileFound = [&](TObject*) {
        if (StopRequested())
            throw TStopRequested{};
        const std::string path = scanner.FileFound();
        const std::string name = ExtractFileName(path);
        struct stat info {};
        const struct timespec now = clock_.WallNow();
        if (settleSeconds > 0 && Takes(name) && ::stat(path.c_str(), &info) == 0) {
            double age = static_cast<double>(now.tv_sec - info.st_mtim.tv_sec) +
                         static_cast<double>(now.tv_nsec - info.st_mtim.tv_nsec) / 1e9;
            if (age < settleSeconds) {
                Arm(name);
                return;
            }
        }
        names.push_back(name);
        readers_->Submit(name);
    };
    try {
        scanner.Search();
    } catch (const TStopRequested&) {
        return;
    }

    std::map<std::string, TWatchHeader> results;
    IWatchClock::TTimePoint lastResult = clock_.Now();
    std::vector<TFolderEvent> none;
    for (;;) {
        for (TWatchHeader& r : readers_->Take()) {
            lastResult = clock_.Now();
            results[r.Name] = std::move(r);
        }
        if (StopRequested())
            return;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(lastResult + FirstPassGrace - clock_.Now());
        if (results.size() == names.size() || left.count() <= 0)
            break;
        events_.Wait(left, false, none); // the readers wake it
    }
    TRenameWorkflow workflow = Batch();
    for (const std::string& name : names) {
        auto found = results.find(name);
        if (found != results.end())
            AddRead(workflow, found->second);
    }
    RenameAndTell(workflow);
}

// How long the loop may wait for events: until the first settle time ends,
// or without limit when no file waits out one.
std::chrono::milliseconds TFolderWatch::WaitTimeout() const
{
    bool waiting = false;
    IWatchClock::TTimePoint earliest = IWatchClock::TTimePoint::max();
    for (const auto& [name, c] : candidates_) {
        if (c.complete && c.opens == 0) {
            waiting = true;
            earliest = std::min(earliest, c.due);
        }
    }
    if (!waiting)
        return std::chrono::milliseconds(-1);
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(earliest - clock_.Now());
    if (left.count() <= 0)
        return std::chrono::milliseconds(0);
    // Round up so that a file is never looked at before its time.
    return std::min<std::chrono::milliseconds>(left + std::chrono::milliseconds(1), std::chrono::milliseconds(INT_MAX));
}

// false: the folder went away or cannot be read (told).
bool TFolderWatch::HandleEvents(const std::vector<TFolderEvent>& Events)
{
    for (const TFolderEvent& event : Events) {
        switch (event.Kind) {
        case TFolderEvent::Overflow:
            Rediscover();
            continue;
        case TFolderEvent::FolderGone:
            observer_.Message("folder " + folder_ + " went away");
            return false;
        case TFolderEvent::FolderChanged:
            if (::access(folder_.c_str(), R_OK | X_OK) != 0) {
                observer_.Message("cannot read folder " + folder_ + ": " + FileErrorText(errno));
                return false;
            }
            continue;
        default:
            break;
        }
        if (event.IsFolder || !Takes(event.Name))
            continue;
        const std::string& name = event.Name;
        auto found = candidates_.find(name);
        switch (event.Kind) {
        case TFolderEvent::Gone:
            // A search of the file under way ends at once (and closes it).
            readers_->Cancel(name);
            if (found != candidates_.end())
                candidates_.erase(found);
            break;
        case TFolderEvent::MovedIn:
            readers_->Cancel(name); // another file took the name
            Arm(name);
            break;
        case TFolderEvent::Created:
            readers_->Cancel(name);
            candidates_[name] = TCandidate{};
            break;
        case TFolderEvent::Opened:
            if (found != candidates_.end())
                ++found->second.opens;
            break;
        case TFolderEvent::Modified:
            // Written to: not complete before the writer closes it again.
            candidates_[name].complete = false;
            break;
        case TFolderEvent::ClosedAfterWriting: {
            TCandidate& c = candidates_[name];
            c.opens = std::max(0, c.opens - 1);
            c.complete = true;
            Arm(name, c);
            break;
        }
        case TFolderEvent::ClosedUnwritten:
            if (found != candidates_.end())
                found->second.opens = std::max(0, found->second.opens - 1);
            break;
        case TFolderEvent::AttributesChanged:
            if (found != candidates_.end() && found->second.complete)
                Arm(name, found->second);
            break;
        default:
            break;
        }
    }
    return true;
}

// Events were lost: every file of the folder the listing may show waits its
// settle time and is looked at again (those already named drop out by their
// names).
void TFolderWatch::Rediscover()
{
    DIR* d = ::opendir(folder_.c_str());
    if (!d)
        return;
    while (struct dirent* entry = ::readdir(d)) {
        const std::string name = entry->d_name;
        if (Takes(name))
            Arm(name);
    }
    ::closedir(d);
}

// Hands each file whose settle time is over, unchanged and not open, to the
// readers.
void TFolderWatch::NameDueFiles()
{
    const IWatchClock::TTimePoint now = clock_.Now();
    for (auto it = candidates_.begin(); it != candidates_.end();) {
        TCandidate& c = it->second;
        if (!c.complete || c.opens > 0 || c.due > now) {
            ++it;
            continue;
        }
        struct stat info {};
        if (::stat(Path(it->first).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            it = candidates_.erase(it);
            continue;
        }
        if (info.st_size != c.size || info.st_mtim.tv_sec != c.mtime.tv_sec || info.st_mtim.tv_nsec != c.mtime.tv_nsec) {
            Arm(it->first, c); // still changing: another settle time
            ++it;
            continue;
        }
        if (readers_->Busy(it->first)) {
            // Its earlier version is still being read: look again later.
            c.due = now + std::max<IWatchClock::TTimePoint::duration>(settle_, std::chrono::milliseconds(200));
            ++it;
            continue;
        }
        readers_->Submit(it->first);
        it = candidates_.erase(it);
    }
}

// A row for a file whose header the filter listed; a read that failed is
// told (not when it was a stop request that ended it).
void TFolderWatch::AddRead(TRenameWorkflow& Workflow, const TWatchHeader& Header)
{
    if (!Header.Error.empty()) {
        if (!StopRequested())
            observer_.Message(Header.Error);
    } else if (Header.Listed) {
        if (restored_ && restored_(Header.Name)) {
            observer_.Message(Header.Name + ": left as it is: an undo gave it this name");
            return;
        }
        if (Header.Info)
            Workflow.AddRow(Header.Name, *Header.Info);
        else
            Workflow.AddRow(Header.Name, Header.Proposed, Header.Identity);
    }
}

// Renames, as one batch, the files whose headers were read since last time.
// A file that changed meanwhile (a candidate again) waits to be read again.
void TFolderWatch::NameReadFiles()
{
    TRenameWorkflow workflow = Batch();
    for (const TWatchHeader& header : readers_->Take())
        if (candidates_.count(header.Name) == 0)
            AddRead(workflow, header);
    if (workflow.RowCount() == 0)
        return; // outside the listing's filter: nothing to say
    RenameAndTell(workflow);
}

TFolderWatch::TEnd TFolderWatch::Run()
{
    DIR* d = ::opendir(folder_.c_str());
    if (!d) {
        observer_.Message("cannot read folder " + folder_ + ": " + FileErrorText(errno));
        return TEnd::Failed;
    }
    ::closedir(d);
    if (!readers_) {
        TWatchReaders::TReadHeader read;
        if (StandardNamesToo)
            read = [](const std::string& folder, const std::string& name, const std::atomic<bool>* cancel) {
                return ReadWatchHeader(folder, name, cancel, true);
            };
        readers_ = std::make_unique<TWatchReaders>(folder_, [this] { events_.Wake(); }, std::move(read));
    }
    // Watching starts before the first pass, so a file arriving meanwhile is
    // not missed; one the first pass renamed drops out by its new name.
    const std::string error = events_.Start(folder_);
    if (!error.empty()) {
        observer_.Message(error);
        return TEnd::Failed;
    }

    FirstPass();
    std::vector<TFolderEvent> events;
    while (!StopRequested()) {
        events.clear();
        const IFolderEvents::TWaitResult waited = events_.Wait(WaitTimeout(), true, events);
        if (waited.Woken && StopRequested())
            break;
        if (!waited.Error.empty()) {
            observer_.Message(waited.Error);
            return TEnd::Failed;
        }
        if (!HandleEvents(events))
            return TEnd::Failed;
        NameDueFiles();
        NameReadFiles();
    }
    // A reader still searching a huge file stops within a second of the stop
    // request; should one not, the caller ends without it: every rename is
    // done and journaled, a reader only reads.
    return readers_->Finish(std::chrono::seconds(2)) ? TEnd::Stopped : TEnd::StoppedReaderBusy;
}

// SIGINT or SIGTERM meanwhile (a stop request) ends the wait at once.
bool TFolderWatch::WaitForFolder(const std::string& Folder, IWatchClock& Clock, IFolderWatchObserver& Observer)
{
    struct stat info {};
    for (bool said = false; ::stat(Folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode); said = true) {
        if (!said)
            Observer.Message("waiting for folder " + Folder + " to appear");
        // A second in short steps, so a stop request ends the wait at once.
        for (int step = 0; step < 10; ++step) {
            if (StopRequested())
                return false;
            Clock.Sleep(std::chrono::milliseconds(100));
        }
    }
    return !StopRequested();
}
