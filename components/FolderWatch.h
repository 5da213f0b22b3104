// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// TFolderWatch: names the files of a receiving folder as they arrive.
//
// First it renames what the Rename button would rename in the folder; then it
// follows the folder's events and renames each new file of the listing rule
// (TRenameWorkflow) once it is complete:
// - a file is a candidate once it is closed after writing, or moved in;
// - it is not named while anybody has it open (as far as the events tell);
// - it is named once it stayed unchanged in size and time for the settle time;
// - a stop request (RequestStop) is honoured before the next rename: the
//   rename under way finishes and is journaled, the rest wait.
// A file already in the folder and changed within the settle time may still
// be being written: it waits its settle time like a file that just arrived.
//
// Headers are read on worker threads (TWatchReaders), so that one slow file
// (a huge file without a header frame is searched to its end) never holds up
// the others; the watch's own loop does every rename, one journaled batch at
// a time.
//
// Time, the folder's events, the header readers and what is said are passed
// in, so that the rules can be tested with a clock and events of a test's
// own. TSystemWatchClock, TInotifyFolderEvents and TWatchReaders are the real
// ones.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>
#include <time.h>

#include "components/HeaderReadAhead.h"
#include "components/RenameJournal.h"
#include "components/RenameWorkflow.h"

// The watch's time: a steady clock for the settle times, the wall clock for
// the age of a file already in the folder, and a pause.
class IWatchClock {
public:
    using TTimePoint = std::chrono::steady_clock::time_point;
    virtual ~IWatchClock() = default;
    virtual TTimePoint Now() = 0;
    virtual struct timespec WallNow() = 0;
    virtual void Sleep(std::chrono::milliseconds Duration) = 0;
};

class TSystemWatchClock : public IWatchClock {
public:
    TTimePoint Now() override;
    struct timespec WallNow() override;
    void Sleep(std::chrono::milliseconds Duration) override;
};

// One change in the watched folder.
struct TFolderEvent {
    enum TKind {
        Created,
        Opened,
        Modified,
        ClosedAfterWriting,
        ClosedUnwritten,
        MovedIn,
        Gone,              // deleted or moved out
        AttributesChanged,
        FolderChanged,     // the folder's own attributes (its permissions may have changed)
        FolderGone,        // the folder was deleted, moved, or its file system unmounted
        Overflow,          // events were lost
    };
    TKind Kind = Created;
    std::string Name;      // the entry's name; empty for the folder's own events
    bool IsFolder = false; // the entry is a sub-folder
};

// Where the folder's events come from.
class IFolderEvents {
public:
    struct TWaitResult {
        bool Woken = false; // Wake was called
        std::string Error;  // the events cannot be read any more (a message)
    };
    virtual ~IFolderEvents() = default;
    // Starts following Folder's events: "" or the message why it cannot.
    virtual std::string Start(const std::string& Folder) = 0;
    // Any thread: makes the Wait under way, or the next one, return.
    virtual void Wake() = 0;
    // Waits up to Timeout (negative: no limit) for a Wake or, WithEvents, for
    // events of the folder, which it appends to Events.
    virtual TWaitResult Wait(std::chrono::milliseconds Timeout, bool WithEvents, std::vector<TFolderEvent>& Events) = 0;
};

// The folder's events through inotify; Wake writes to a pipe, whose writing
// end WakeFd() the stop signals may write to as well.
class TInotifyFolderEvents : public IFolderEvents {
public:
    TInotifyFolderEvents();
    ~TInotifyFolderEvents() override;
    TInotifyFolderEvents(const TInotifyFolderEvents&) = delete;
    TInotifyFolderEvents& operator=(const TInotifyFolderEvents&) = delete;

    int WakeFd() const { return wakePipe_[1]; }
    std::string Start(const std::string& Folder) override;
    void Wake() override;
    TWaitResult Wait(std::chrono::milliseconds Timeout, bool WithEvents, std::vector<TFolderEvent>& Events) override;

private:
    std::string ReadEvents(std::vector<TFolderEvent>& Events);

    std::string folder_;
    int pipeError_ = 0;
    int wakePipe_[2] = {-1, -1};
    int inotifyFd_ = -1;
};

// What the listing rule makes of one file whose header was read.
struct TWatchHeader {
    std::string Name;    // without folder
    bool Listed = false; // passed the listing filter
    std::string Proposed;
    std::string Error;   // reading failed
    std::optional<TFileIdentity> Identity; // the file as it was when read
    std::optional<THeaderInfo> Info;       // the header read, when Listed
};

// Reads Folder/Name's header through the rename workflow's filter; Cancel,
// once set, ends a header search under way (Error then says so). With
// StandardNamesToo a file whose name is standard already is read as well
// (the listing rule leaves it unopened) and listed when its header passes
// the same filter.
TWatchHeader ReadWatchHeader(const std::string& Folder, const std::string& Name,
                             const std::atomic<bool>* Cancel = nullptr, bool StandardNamesToo = false);

// Reads headers off the watch's loop.
class IWatchReaders {
public:
    virtual ~IWatchReaders() = default;
    // Queues a file; its result comes back through Take.
    virtual void Submit(const std::string& Name) = 0;
    // Queued or being read, its result not yet taken.
    virtual bool Busy(const std::string& Name) = 0;
    // The results that came in since the last call.
    virtual std::vector<TWatchHeader> Take() = 0;
    // Asks the readers to end after the file under way and waits up to
    // Timeout for them; false when one is still reading.
    virtual bool Finish(std::chrono::milliseconds Timeout) = 0;
    // The file went away or was replaced: a read of it, queued or under way,
    // ends at once and gives no result (Busy turns false once it has ended).
    virtual void Cancel(const std::string& Name) { (void)Name; }
};

// Reads headers on worker threads, so a slow file holds up only itself: a
// file submitted while every worker is reading gets a worker of its own, up to
// MaxWorkers at once (a huge file without a header frame is searched to its
// end, and several may be under way). Up to Workers threads stay for the next
// files; the others end once there is nothing queued. Done is called (on a
// worker) after each result. A stop request ends a header search under way,
// and so does Cancel for its file. When Finish gave up on a worker, the worker
// is left to the process's end, and the object must not be destroyed.
class TWatchReaders : public IWatchReaders {
public:
    static constexpr int Workers = 4;
    static constexpr int MaxWorkers = 64;
    // Read: reads one header (ReadWatchHeader when unset).
    using TReadHeader = std::function<TWatchHeader(const std::string& Folder, const std::string& Name,
                                                   const std::atomic<bool>* Cancel)>;
    TWatchReaders(std::string Folder, std::function<void()> Done, TReadHeader Read = {});
    ~TWatchReaders() override;
    TWatchReaders(const TWatchReaders&) = delete;
    TWatchReaders& operator=(const TWatchReaders&) = delete;

    void Submit(const std::string& Name) override;
    bool Busy(const std::string& Name) override;
    std::vector<TWatchHeader> Take() override;
    bool Finish(std::chrono::milliseconds Timeout) override;
    void Cancel(const std::string& Name) override;
    // Worker threads not yet ended.
    int Running();

private:
    void Work();

    std::string folder_;
    std::function<void()> done_;
    TReadHeader read_;
    std::map<std::string, std::shared_ptr<std::atomic<bool>>> reading_; // file -> its cancel flag
    std::vector<std::thread::id> endedIds_; // workers that ended, to be joined
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable ended_;
    std::deque<std::string> queue_;
    std::set<std::string> busy_;
    std::vector<TWatchHeader> results_;
    std::vector<std::thread> threads_;
    int idle_ = 0;    // workers waiting for a file
    int running_ = 0; // workers not yet ended
    bool stopping_ = false;
};

// Told what the watch does.
class IFolderWatchObserver {
public:
    virtual ~IFolderWatchObserver() = default;
    // Each rename of a batch, done or failed, as soon as the batch is over.
    virtual void Renamed(const TRenameOutcome& Row) = 0;
    // A message for the user (a file that cannot be read, a journal that
    // cannot be written, why the watch ended).
    virtual void Message(const std::string& Text) = 0;
};

class TFolderWatch {
public:
    enum class TEnd {
        Stopped,             // a stop request ended it
        Failed,              // the folder cannot be watched, went away or cannot be read
        StoppedReaderBusy,   // stopped, but a reader is still searching a file: end the process
    };

    // How long the first pass waits for a header after the last one came in
    // before it renames the files read so far.
    static constexpr std::chrono::milliseconds FirstPassGrace{1500};

    // Every batch is journaled through Journal, which is refused the next
    // rename once a stop is requested (TStoppableJournal).
    TFolderWatch(std::string Folder, std::chrono::duration<double> Settle, IFolderEvents& Events, IWatchClock& Clock,
                 IRenameJournal& Journal, IFolderWatchObserver& Observer);
    ~TFolderWatch();
    TFolderWatch(const TFolderWatch&) = delete;
    TFolderWatch& operator=(const TFolderWatch&) = delete;

    // What a batch does with its rows instead of renaming them in place
    // (filing them into dated folders); unset, they are renamed in place
    // under the journal. It may raise EJournalError: nothing was done.
    std::function<std::vector<TRenameOutcome>(TRenameWorkflow& Rows)> BatchAction;
    // With a BatchAction that files: files already standard-named are taken
    // too (a standard name says nothing of the folder a file belongs in), in
    // the first pass and as they arrive; their headers are read by
    // ReadWatchHeader's StandardNamesToo. Set before Run. Unset, the listing
    // rule leaves them unopened.
    bool StandardNamesToo = false;

    // The header readers; unset, Run makes TWatchReaders that wake Events.
    void SetReaders(std::unique_ptr<IWatchReaders> Readers) { readers_ = std::move(Readers); }
    // Tells whether the file Name in the folder is one an undo gave back its
    // name (and unchanged since): such a file is left alone. Unset: none is.
    void SetRestoredCheck(std::function<bool(const std::string& Name)> Check) { restored_ = std::move(Check); }

    // The pause before the files of a batch that could not be journaled are
    // tried again, after Failures such batches in a row: 1 s, doubled each
    // time, at most a minute.
    static std::chrono::seconds RetryDelay(int Failures);

    // The first pass, then the watch until a stop request or a failure (its
    // message told).
    TEnd Run();

    // For a folder that is not there yet (a disk not mounted): looks for it
    // every second, telling once what it waits for. false: a stop request
    // ended the wait.
    static bool WaitForFolder(const std::string& Folder, IWatchClock& Clock, IFolderWatchObserver& Observer);

private:
    // A file waiting to be complete.
    struct TCandidate {
        bool complete = false;               // closed after writing, or moved in
        int opens = 0;                       // opened and not yet closed again, as far as the events tell
        IWatchClock::TTimePoint due{};       // end of the settle time
        off_t size = -1;
        struct timespec mtime {};
    };

    std::string Path(const std::string& Name) const;
    // A name the watch looks at: the listing rule's, or with
    // StandardNamesToo every name of the listing mask.
    bool Takes(const std::string& Name) const;
    TCandidate& Arm(const std::string& Name);
    void Arm(const std::string& Name, TCandidate& Candidate);
    void RenameAndTell(TRenameWorkflow& Workflow);
    void RetryLater(const std::vector<std::string>& Names);
    void FirstPass();
    bool HandleEvents(const std::vector<TFolderEvent>& Events);
    void Rediscover();
    void NameDueFiles();
    void NameReadFiles();
    void AddRead(TRenameWorkflow& Workflow, const TWatchHeader& Header);
    std::chrono::milliseconds WaitTimeout() const;
    TRenameWorkflow Batch() const;

    std::string folder_;
    IWatchClock::TTimePoint::duration settle_;
    IFolderEvents& events_;
    IWatchClock& clock_;
    IRenameJournal& journal_;
    IFolderWatchObserver& observer_;
    std::unique_ptr<IWatchReaders> readers_;
    std::map<std::string, TCandidate> candidates_;
    std::function<bool(const std::string&)> restored_;
    int journalFailures_ = 0; // batches in a row that could not be journaled
};
