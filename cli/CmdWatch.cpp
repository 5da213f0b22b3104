// quillon-cli watch: names the files of a receiving folder as they arrive.
// First it renames what the Rename button would rename in DIR; then it watches
// DIR with inotify and renames each new non-standard MPD file once it is
// complete: closed after writing (or moved into the folder), not open for
// writing any more, and unchanged in size and time for the settle time. Every
// rename is journaled. SIGINT and SIGTERM end it after the rename under way.
//
// A complete file's header is read on a worker thread (TIdentifier), so that
// one slow file (a huge file without a header frame is searched to its end)
// never holds up the others, in the first pass as later; the loop does every
// rename itself.
//
// The loop sleeps in poll() on the inotify descriptor and a pipe the stop
// signals and the workers write to, with a timeout only while a file is
// waiting out its settle time: idle, it uses no CPU.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "components/Journal.h"
#include "components/RenameWorkflow.h"
#include "components/TreeScan.h"
#include "runtime/Application.h"
#include "runtime/FileOps.h"

namespace {

using TClock = std::chrono::steady_clock;

// How long the first pass waits for a header after the last one came in
// before it renames the files read so far.
constexpr auto FirstPassGrace = std::chrono::milliseconds(1500);

// Thrown to leave a scan when a stop was requested.
struct TStopRequested {};

// Reads the headers of complete files on a few worker threads. Submit()
// queues a file; each result comes back through Take(), and a byte written to
// wakeFd wakes the loop. Up to Workers files are read at once, so a slow file
// holds up only itself. A stop request (RequestStop) ends a header search
// under way; the destructor lets the workers finish and joins them.
class TIdentifier {
public:
    static constexpr int Workers = 4;
    struct TResult {
        std::string Name;
        bool Listed = false;     // passed the window's filter
        std::string Proposed;
        std::string Error;       // reading failed
    };

    TIdentifier(std::string dir, int wakeFd) : dir_(std::move(dir)), wakeFd_(wakeFd) {}
    ~TIdentifier()
    {
        Finish(std::chrono::hours(24 * 365));
        for (std::thread& t : threads_)
            if (t.joinable())
                t.join();
    }
    // Asks the workers to end after the file under way and waits up to
    // timeout for them; false when one is still reading (its threads are
    // then left to the process's end).
    bool Finish(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        stopping_ = true;
        wake_.notify_all();
        if (!ended_.wait_for(lock, timeout, [&] { return running_ == 0; })) {
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
    TIdentifier(const TIdentifier&) = delete;
    TIdentifier& operator=(const TIdentifier&) = delete;

    void Submit(const std::string& name)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            queue_.push_back(name);
            busy_.insert(name);
            // Another worker when every one is taken (up to Workers).
            if (queue_.size() > static_cast<size_t>(idle_) && threads_.size() < static_cast<size_t>(Workers)) {
                ++running_;
                threads_.emplace_back([this] { Work(); });
            }
        }
        wake_.notify_one();
    }
    // Queued or being read, its result not yet taken.
    bool Busy(const std::string& name)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return busy_.count(name) != 0;
    }
    std::vector<TResult> Take()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<TResult> done;
        done.swap(done_);
        for (const TResult& r : done)
            busy_.erase(r.Name);
        return done;
    }

private:
    void Work()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            ++idle_;
            wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            --idle_;
            if (stopping_) {
                --running_;
                ended_.notify_all();
                return;
            }
            TResult result;
            result.Name = queue_.front();
            queue_.pop_front();
            lock.unlock();
            try {
                TRenameWorkflow workflow;
                workflow.Folder = dir_;
                workflow.FileFound(IncludeTrailingPathDelimiter(dir_) + result.Name);
                if (workflow.RowCount() > 0) {
                    result.Listed = true;
                    result.Proposed = workflow.ProposedNames()[0];
                }
            } catch (const Exception& e) {
                result.Error = e.Message();
            } catch (const std::exception& e) {
                result.Error = e.what();
            }
            lock.lock();
            done_.push_back(std::move(result));
            const char byte = 'r';
            [[maybe_unused]] ssize_t ignored = ::write(wakeFd_, &byte, 1);
        }
    }

    std::string dir_;
    int wakeFd_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable ended_;
    std::deque<std::string> queue_;
    std::set<std::string> busy_;
    std::vector<TResult> done_;
    std::vector<std::thread> threads_;
    int idle_ = 0;    // workers waiting for a file
    int running_ = 0; // workers not yet ended
    bool stopping_ = false;
};

// A file waiting to be complete.
struct TCandidate {
    bool complete = false;     // closed after writing, or moved in
    int opens = 0;             // opened and not yet closed again, as far as the events tell
    TClock::time_point due{};  // end of the settle time
    off_t size = -1;
    struct timespec mtime{};
};

class TWatcher {
public:
    TWatcher(std::string dir, double settle, bool json)
        : dir_(std::move(dir)), settle_(std::chrono::duration_cast<TClock::duration>(std::chrono::duration<double>(settle))),
          json_(json)
    {
        journal_.SetSource("watch");
        journal_.OnWarning = [](const std::string& w) {
            std::fprintf(stderr, "quillon-cli watch: %s\n", EscapeText(w).c_str());
        };
        journal_.OnWaiting = journal_.OnWarning;
    }
    ~TWatcher()
    {
        // The watch is over: a header search under way need not finish.
        RequestStop();
        identifier_.reset(); // joins the workers before the pipe closes
        if (inotifyFd_ >= 0)
            ::close(inotifyFd_);
        for (int fd : wakePipe_)
            if (fd >= 0)
                ::close(fd);
    }

    int Run();

private:
    bool Watchable(const std::string& name) const
    {
        return MatchesMask(name, "*.mpd") && name.size() >= 5 && name[4] != '-';
    }
    std::string Path(const std::string& name) const { return IncludeTrailingPathDelimiter(dir_) + name; }
    void Arm(const std::string& name, TCandidate& c)
    {
        c.due = TClock::now() + settle_;
        struct stat info{};
        if (::stat(Path(name).c_str(), &info) == 0) {
            c.size = info.st_size;
            c.mtime = info.st_mtim;
        } else {
            c.size = -1;
        }
    }
    void Print(const TRenameOutcome& row);
    void PrintRows(const std::vector<TRenameOutcome>& rows);
    void RenameAndPrint(TRenameWorkflow& workflow);
    void FirstPass();
    // false: the folder went away or cannot be read (message printed).
    bool HandleEvents();
    void Rediscover();
    void NameDueFiles();
    void NameIdentifiedFiles();
    void AddIdentified(TRenameWorkflow& workflow, const TIdentifier::TResult& result);
    int PollTimeout() const;

    std::string dir_;
    TClock::duration settle_;
    bool json_;
    int inotifyFd_ = -1;
    int wakePipe_[2] = {-1, -1}; // written by the stop signals and the workers
    std::unique_ptr<TIdentifier> identifier_;
    TRenameJournal journal_;
    std::map<std::string, TCandidate> candidates_;
};

void TWatcher::Print(const TRenameOutcome& row)
{
    if (json_) {
        nlohmann::json item = {{"status", row.Renamed ? "renamed" : "failed"},
                               {"old", JsonSafe(row.OldName)},
                               {"new", JsonSafe(row.NewName)}};
        if (!row.Renamed)
            item["reason"] = JsonSafe(row.Reason);
        std::printf("%s\n", item.dump().c_str());
    } else if (row.Renamed) {
        std::printf("renamed\t%s\t%s\n", EscapeText(row.OldName).c_str(), EscapeText(row.NewName).c_str());
    } else {
        std::printf("failed\t%s\t%s\t%s\n", EscapeText(row.OldName).c_str(), EscapeText(row.NewName).c_str(),
                    EscapeText(row.Reason).c_str());
    }
    std::fflush(stdout); // at once, also into a pipe
}

void TWatcher::PrintRows(const std::vector<TRenameOutcome>& rows)
{
    bool stopping = StopRequested();
    for (const TRenameOutcome& row : rows)
        if (row.Attempted || !stopping)
            Print(row);
}

// Renames the workflow's rows as one journaled batch and prints the outcome;
// a journal that cannot be written renames nothing and is reported once.
void TWatcher::RenameAndPrint(TRenameWorkflow& workflow)
{
    TStoppableJournal journal(journal_);
    try {
        PrintRows(workflow.RenameRows(&journal));
    } catch (const EJournalError& e) {
        std::fprintf(stderr, "quillon-cli watch: %s; nothing renamed\n", EscapeText(e.Message()).c_str());
    }
}

// What the Rename button would rename, with two differences. A file changed
// within the settle time may still be being written, so it is not opened now
// but waits its settle time like a file that has just arrived. And the headers
// are read on the workers, so that one slow file holds up no other: once every
// header is read, or none has come in for FirstPassGrace, the files read are
// renamed as one batch in scan order; a file still being read is renamed once
// read (NameIdentifiedFiles), as if it had just arrived.
void TWatcher::FirstPass()
{
    const auto settleSeconds = std::chrono::duration<double>(settle_).count();
    std::vector<std::string> names; // submitted, in scan order
    TTreeScanner scanner;
    scanner.SetFileMask("*.mpd");
    scanner.SetFileMaskCommaText("*.mpd");
    scanner.Recursive = false;
    scanner.InitialDirectory = dir_;
    scanner.OnFileFound = [&](TObject*) {
        if (StopRequested())
            throw TStopRequested{};
        const std::string path = scanner.FileFound();
        const std::string name = ExtractFileName(path);
        struct stat info{};
        struct timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        if (settleSeconds > 0 && Watchable(name) && ::stat(path.c_str(), &info) == 0) {
            double age = static_cast<double>(now.tv_sec - info.st_mtim.tv_sec) +
                         static_cast<double>(now.tv_nsec - info.st_mtim.tv_nsec) / 1e9;
            if (age < settleSeconds) {
                TCandidate& c = candidates_[name];
                c = TCandidate{};
                c.complete = true;
                Arm(name, c);
                return;
            }
        }
        names.push_back(name);
        identifier_->Submit(name);
    };
    try {
        scanner.Search();
    } catch (const TStopRequested&) {
        return;
    }

    // Collects the headers read; the workers wake the loop through the pipe.
    std::map<std::string, TIdentifier::TResult> results;
    TClock::time_point lastResult = TClock::now();
    for (;;) {
        for (TIdentifier::TResult& r : identifier_->Take()) {
            lastResult = TClock::now();
            results[r.Name] = std::move(r);
        }
        if (StopRequested())
            return;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(lastResult + FirstPassGrace - TClock::now());
        if (results.size() == names.size() || left.count() <= 0)
            break;
        struct pollfd wake = {wakePipe_[0], POLLIN, 0};
        if (::poll(&wake, 1, static_cast<int>(left.count())) > 0) {
            char drain[256];
            while (::read(wakePipe_[0], drain, sizeof drain) > 0) {
            }
        }
    }
    TRenameWorkflow workflow;
    workflow.Folder = dir_;
    for (const std::string& name : names) {
        auto found = results.find(name);
        if (found != results.end())
            AddIdentified(workflow, found->second);
    }
    RenameAndPrint(workflow);
}

int TWatcher::PollTimeout() const
{
    bool waiting = false;
    TClock::time_point earliest = TClock::time_point::max();
    for (const auto& [name, c] : candidates_) {
        if (c.complete && c.opens == 0) {
            waiting = true;
            earliest = std::min(earliest, c.due);
        }
    }
    if (!waiting)
        return -1; // nothing to wait for: sleep until an event
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(earliest - TClock::now());
    if (left.count() <= 0)
        return 0;
    // Round up so that a file is never looked at before its time.
    return static_cast<int>(std::min<long long>(left.count() + 1, INT_MAX));
}

bool TWatcher::HandleEvents()
{
    alignas(struct inotify_event) char buffer[16384];
    for (;;) {
        ssize_t got = ::read(inotifyFd_, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                return true;
            std::fprintf(stderr, "quillon-cli watch: cannot watch folder %s: %s\n", EscapeText(dir_).c_str(),
                         std::strerror(errno));
            return false;
        }
        for (char* p = buffer; p < buffer + got;) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(p);
            p += sizeof(struct inotify_event) + event->len;
            if (event->mask & IN_Q_OVERFLOW) {
                Rediscover();
                continue;
            }
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED | IN_UNMOUNT)) {
                std::fprintf(stderr, "quillon-cli watch: folder %s went away\n", EscapeText(dir_).c_str());
                return false;
            }
            if (event->len == 0) {
                // The folder itself: its permissions may have changed.
                if ((event->mask & IN_ATTRIB) && ::access(dir_.c_str(), R_OK | X_OK) != 0) {
                    std::fprintf(stderr, "quillon-cli watch: cannot read folder %s: %s\n", EscapeText(dir_).c_str(),
                                 std::strerror(errno));
                    return false;
                }
                continue;
            }
            if (event->mask & IN_ISDIR)
                continue;
            std::string name = event->name; // NUL-padded
            if (!Watchable(name))
                continue;
            auto found = candidates_.find(name);
            uint32_t mask = event->mask;
            if (mask & (IN_DELETE | IN_MOVED_FROM)) {
                if (found != candidates_.end())
                    candidates_.erase(found);
            } else if (mask & IN_MOVED_TO) {
                TCandidate& c = candidates_[name];
                c = TCandidate{};
                c.complete = true;
                Arm(name, c);
            } else if (mask & IN_CREATE) {
                candidates_[name] = TCandidate{};
            } else if (mask & IN_OPEN) {
                if (found != candidates_.end())
                    ++found->second.opens;
            } else if (mask & IN_MODIFY) {
                // Written to: not complete before the writer closes it again.
                candidates_[name].complete = false;
            } else if (mask & IN_CLOSE_WRITE) {
                TCandidate& c = candidates_[name];
                c.opens = std::max(0, c.opens - 1);
                c.complete = true;
                Arm(name, c);
            } else if (mask & IN_CLOSE_NOWRITE) {
                if (found != candidates_.end())
                    found->second.opens = std::max(0, found->second.opens - 1);
            } else if (mask & IN_ATTRIB) {
                if (found != candidates_.end() && found->second.complete)
                    Arm(name, found->second);
            }
        }
    }
}

// Events were lost: every watchable file of the folder waits its settle time
// and is looked at again (those already named drop out by their names).
void TWatcher::Rediscover()
{
    DIR* d = ::opendir(dir_.c_str());
    if (!d)
        return;
    while (struct dirent* entry = ::readdir(d)) {
        std::string name = entry->d_name;
        if (!Watchable(name))
            continue;
        TCandidate& c = candidates_[name];
        c = TCandidate{};
        c.complete = true;
        Arm(name, c);
    }
    ::closedir(d);
}

void TWatcher::NameDueFiles()
{
    const TClock::time_point now = TClock::now();
    for (auto it = candidates_.begin(); it != candidates_.end();) {
        TCandidate& c = it->second;
        if (!c.complete || c.opens > 0 || c.due > now) {
            ++it;
            continue;
        }
        struct stat info{};
        if (::stat(Path(it->first).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            it = candidates_.erase(it);
            continue;
        }
        if (info.st_size != c.size || info.st_mtim.tv_sec != c.mtime.tv_sec || info.st_mtim.tv_nsec != c.mtime.tv_nsec) {
            Arm(it->first, c); // still changing: another settle time
            ++it;
            continue;
        }
        if (identifier_->Busy(it->first)) {
            // Its earlier version is still being read: look again later.
            c.due = now + std::max<TClock::duration>(settle_, std::chrono::milliseconds(200));
            ++it;
            continue;
        }
        identifier_->Submit(it->first);
        it = candidates_.erase(it);
    }
}

// A row for a file whose header the filter listed; a read that failed is
// reported (not when it was a stop request that ended it).
void TWatcher::AddIdentified(TRenameWorkflow& workflow, const TIdentifier::TResult& result)
{
    if (!result.Error.empty()) {
        if (!StopRequested())
            std::fprintf(stderr, "quillon-cli watch: %s\n", EscapeText(result.Error).c_str());
    } else if (result.Listed) {
        workflow.AddRow(result.Name, result.Proposed);
    }
}

// Renames, as one batch, the files whose headers were read since last time.
// A file that changed meanwhile (a candidate again) waits to be read again.
void TWatcher::NameIdentifiedFiles()
{
    TRenameWorkflow workflow;
    workflow.Folder = dir_;
    for (const TIdentifier::TResult& result : identifier_->Take())
        if (candidates_.count(result.Name) == 0)
            AddIdentified(workflow, result);
    if (workflow.RowCount() == 0)
        return; // outside the window's filter: nothing to say
    RenameAndPrint(workflow);
}

int TWatcher::Run()
{
    DIR* d = ::opendir(dir_.c_str());
    if (!d) {
        std::fprintf(stderr, "quillon-cli watch: cannot read folder %s: %s\n", EscapeText(dir_).c_str(),
                     std::strerror(errno));
        return ExitItemFailed;
    }
    ::closedir(d);

    // The stop signals request a stop and write to the wake pipe, so they
    // wake the loop and end a header search under way.
    if (::pipe2(wakePipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "quillon-cli watch: cannot take the stop signals: %s\n", std::strerror(errno));
        return ExitItemFailed;
    }
    StopOnSignals(wakePipe_[1]);
    identifier_ = std::make_unique<TIdentifier>(dir_, wakePipe_[1]);
    inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    const uint32_t mask = IN_CREATE | IN_OPEN | IN_MODIFY | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE | IN_MOVED_TO |
                          IN_MOVED_FROM | IN_DELETE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
    if (inotifyFd_ < 0 || ::inotify_add_watch(inotifyFd_, dir_.c_str(), mask) < 0) {
        std::fprintf(stderr, "quillon-cli watch: cannot watch folder %s: %s\n", EscapeText(dir_).c_str(),
                     std::strerror(errno));
        return ExitItemFailed;
    }

    // Watching starts before the first pass, so a file arriving meanwhile is
    // not missed; one the first pass renamed drops out by its new name.
    FirstPass();
    while (!StopRequested()) {
        struct pollfd fds[2] = {{inotifyFd_, POLLIN, 0}, {wakePipe_[0], POLLIN, 0}};
        int ready = ::poll(fds, 2, PollTimeout());
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "quillon-cli watch: %s\n", std::strerror(errno));
            return ExitItemFailed;
        }
        if (fds[1].revents & POLLIN) {
            char drain[256];
            while (::read(wakePipe_[0], drain, sizeof drain) > 0) {
            }
            if (StopRequested())
                break;
        }
        if ((fds[0].revents & POLLIN) && !HandleEvents())
            return ExitItemFailed;
        NameDueFiles();
        NameIdentifiedFiles();
    }
    // A worker still searching a huge file stops within a second of the stop
    // request; should one not, the process ends without it: every rename is
    // done and journaled, a worker only reads.
    if (!identifier_->Finish(std::chrono::seconds(2))) {
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(ExitSuccess);
    }
    return ExitSuccess;
}

// --wait-for-folder: a service may start before the folder is there (a disk
// not mounted yet). Looks for it every second, saying once what it waits for;
// SIGINT or SIGTERM meanwhile ends the wait. false: stopped. The signals are
// blocked only while it waits: the watch takes them through its own handler,
// and left blocked they would never reach it (SIGTERM would not end it).
bool WaitForFolder(const std::string& dir)
{
    StopOnSignals(); // the watch installs them again with its wake pipe
    struct stat info{};
    for (bool said = false; ::stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode); said = true) {
        if (!said) {
            std::fprintf(stderr, "quillon-cli watch: waiting for folder %s to appear\n", EscapeText(dir).c_str());
            std::fflush(stderr);
        }
        // A second in short steps, so a stop request ends the wait at once.
        for (int step = 0; step < 10; ++step) {
            if (StopRequested())
                return false;
            const struct timespec tenth = {0, 100'000'000};
            ::nanosleep(&tenth, nullptr);
        }
    }
    return !StopRequested();
}

} // namespace

int RunWatch(int argc, char** argv)
{
    CLI::App app{"Rename what the Rename button would rename in DIR, then watch DIR and rename each new "
                 "non-standard MPD file once it is complete: closed after writing or moved into DIR, and then "
                 "unchanged in size and time for the settle time. Each rename is journaled and printed at once: "
                 "renamed TAB old TAB new | failed TAB old TAB new TAB reason (one JSON object a line with "
                 "--json). SIGINT or SIGTERM ends it cleanly (exit 0); a folder that goes away or cannot be read "
                 "ends it with exit 1.",
                 "quillon-cli watch"};
    double settle = 2.0;
    bool json = false;
    std::string dir;
    app.add_option("--settle", settle, "seconds a file must stay unchanged after it was closed (default 2)")
        ->check(NumberFrom(0, 86400, "seconds"));
    app.add_flag("--json", json, "one JSON object a line");
    bool waitForFolder = false;
    app.add_flag("--wait-for-folder", waitForFolder, "when DIR is not there yet, wait for it instead of failing");
    app.add_option("DIR", dir, "the folder to watch")->required();
    if (std::optional<int> status = ParseCommandLine(app, argc, argv, "watch"))
        return *status;
    if (waitForFolder && !WaitForFolder(dir))
        return ExitSuccess;
    TWatcher watcher(dir, settle, json);
    return watcher.Run();
}
