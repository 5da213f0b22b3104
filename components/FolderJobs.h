// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The work a window does for one folder, off its own thread: a scan, a
// rename of the rows the last scan found, an undo of the folder's newest
// batch, and the check whether there is one. One job runs at a time on one
// worker thread, through the shared rename workflow and journal; the owner
// (a window) never waits for it. It polls: rows and unreadable files gather
// under a mutex until the owner takes them, progress is read at any time,
// and once the job has ended (OnEnded tells it, from the worker) the owner
// takes the result and starts the job it queued meanwhile.
//
// Every stop is the job's own (TRunStop): Stop ends a scan, a rename between
// files, an undo between files and a wait for the journal's lock, without the
// process-wide stop request.
//
// The owner calls every member from one thread; Stop and StopAll may also
// come from the job's own callbacks while it runs.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "components/Journal.h"
#include "components/RenameWorkflow.h"
#include "components/Undo.h"

enum class TFolderJobKind { Scan, Rename, Undo, UndoCheck };

// What the job under way has done so far.
struct TFolderJobProgress {
    TFolderJobKind Kind = TFolderJobKind::Scan;
    bool Scanning = false; // listing the folder (after a rename or an undo too)
    int Listed = -1;       // files the listing found, -1 until known
    int Examined = 0;      // of those, read so far
    int Done = 0;          // rename: files tried so far
    int Planned = 0;       // rename: rows in the batch
    bool Waiting = false;  // for the journal's lock, which another process holds
};

// Rows and unreadable files gathered since the owner last took them.
struct TFolderJobRows {
    bool Cleared = false; // a new listing began: rows taken before are gone
    std::vector<std::pair<std::string, std::string>> Rows; // (file name, proposed name), in scan order
    std::vector<std::string> Unreadable;                    // "name: reason", in scan order
};

// What an ended job leaves.
struct TFolderJobResult {
    TFolderJobKind Kind = TFolderJobKind::Scan;
    std::string Folder;
    std::string Error;        // the message of an exception that ended the job
    bool Scanned = false;     // the folder was listed (a scan, or after a rename or an undo)
    bool ScanStopped = false; // ... and the listing was stopped
    int RowCount = 0;         // rows the listing found
    bool HasUndo = false;     // the folder has a batch to take back (scans and checks)
    // A rename.
    int Planned = 0;
    int Renamed = 0;
    bool RenameStopped = false;      // stopped before its last file (or while waiting for the journal)
    std::vector<std::string> Failed; // "old -> new: reason"
    std::string JournalStopped;      // why the journal stopped the batch, "" when it did not
    // An undo (Undo.Stopped: stopped between files).
    TUndoResult Undo;
};

class TFolderJobs {
public:
    explicit TFolderJobs(std::string JournalFile = DefaultJournalFileName());
    // Stops the job under way and waits for it.
    ~TFolderJobs();
    TFolderJobs(const TFolderJobs&) = delete;
    TFolderJobs& operator=(const TFolderJobs&) = delete;

    const std::string& JournalFile() const { return journalFile_; }

    // Starts Kind for Folder at once when no job is under way. Otherwise Kind
    // is queued (in place of a job queued before; a check never takes the
    // place of another kind) and StartQueued starts it once the job under way
    // has ended and its result is taken; with Interrupt that job is stopped.
    void Start(TFolderJobKind Kind, const std::string& Folder, bool Interrupt);
    // After TakeResult: starts the queued job; false when none was queued.
    bool StartQueued();
    bool Queued() const { return queued_.has_value(); }
    void DropQueued() { queued_.reset(); }

    // Stops the part under way: a listing, or else the rename, the undo or
    // the wait for the journal (the folder is then listed again, to show what
    // was done).
    void Stop();
    // Stops the whole job, the listing after it included.
    void StopAll();

    // A job is under way or has ended and its result is not taken yet.
    bool Busy() const { return job_ != nullptr; }
    // The job under way has ended: TakeResult gives its result at once.
    bool Ended() const;
    // Blocks until the job under way has ended.
    void Wait();
    TFolderJobProgress Progress() const;
    // The rows and unreadable files gathered since the last call.
    TFolderJobRows TakeRows();
    // The result of the ended job (nothing while it runs); the jobs are then idle.
    std::optional<TFolderJobResult> TakeResult();

    // Set before a job starts. OnEnded is called on the worker thread when a
    // job has ended (a window posts itself a message); RenameCheckpoint on the
    // worker thread after each file of a rename with the number tried so far,
    // true stopping the batch there, as Stop does.
    std::function<void()> OnEnded;
    std::function<bool(int Done)> RenameCheckpoint;

private:
    struct TJob;
    void Launch(TFolderJobKind Kind, const std::string& Folder);
    void Run(TJob& Job);
    void ScanInto(TJob& Job);
    void Rename(TJob& Job);

    std::string journalFile_;
    TRenameWorkflow workflow_; // the rows of the last listing; the worker's while a job runs
    std::shared_ptr<TJob> job_;
    std::thread worker_;
    std::optional<std::pair<TFolderJobKind, std::string>> queued_;

    std::mutex rowsMutex_;
    TFolderJobRows rows_;
};

// Whether Folder has a rename batch left to take back (a dry run of the undo:
// nothing is touched or recorded). An empty folder, or a journal that cannot
// be read, has nothing to undo. OnWaiting is told when another process holds
// the journal's lock; Stopped ends that wait.
bool FolderHasUndo(const std::string& JournalFile, const std::string& Folder, const TJournalWaitNotice& OnWaiting = {},
                   const TJournalStop& Stopped = {});

// Takes back the newest batch of Folder not yet taken back, recorded as an
// undo from the window. Never replaces a file; files that cannot go back are
// in the result's skipped lines. An empty folder takes back nothing (an empty
// folder would otherwise mean any folder). Stopped ends it between files (see
// TUndoOptions). Throws as UndoBatch does.
TUndoResult UndoLastRename(const std::string& JournalFile, const std::string& Folder,
                           const TJournalWaitNotice& OnWaiting = {}, const TJournalStop& Stopped = {});

// Why a rename batch stopped before renaming every row: the reason the
// workflow gave the first row it did not reach, "" when every row was tried.
std::string BatchStopReason(const std::vector<TRenameOutcome>& Outcomes);
