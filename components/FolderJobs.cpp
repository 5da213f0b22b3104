// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/FolderJobs.h"

#include <exception>

#include "runtime/SysUtils.h"

namespace {

TUndoOptions WindowOptions(const std::string& folder, bool dryRun, const TJournalWaitNotice& onWaiting,
                           const TJournalStop& stopped)
{
    TUndoOptions options;
    options.DryRun = dryRun;
    options.Folder = folder;
    options.Source = "window";
    options.OnWaiting = onWaiting;
    options.Stopped = stopped;
    return options;
}

} // namespace

bool FolderHasUndo(const std::string& JournalFile, const std::string& Folder, const TJournalWaitNotice& OnWaiting,
                   const TJournalStop& Stopped)
{
    if (Folder.empty())
        return false;
    try {
        return UndoBatch(JournalFile, WindowOptions(Folder, true, OnWaiting, Stopped)).Found;
    } catch (const std::exception&) {
        return false; // an unreadable journal offers nothing to undo
    }
}

TUndoResult UndoLastRename(const std::string& JournalFile, const std::string& Folder,
                           const TJournalWaitNotice& OnWaiting, const TJournalStop& Stopped)
{
    if (Folder.empty())
        return {};
    return UndoBatch(JournalFile, WindowOptions(Folder, false, OnWaiting, Stopped));
}

// One job. The counters are shared while it runs; Result is the worker's
// until Ended is set, then the owner's.
struct TFolderJobs::TJob {
    TFolderJobKind Kind = TFolderJobKind::Scan;
    std::string Folder;
    TRunStop WorkStop; // the rename, the undo, the check, their waits for the journal
    TRunStop ScanStop; // the listing, and the check after it
    std::atomic<bool> Scanning{false};
    std::atomic<int> Listed{-1};
    std::atomic<int> Examined{0};
    std::atomic<int> Done{0};
    std::atomic<int> Planned{0};
    std::atomic<bool> Waiting{false};
    std::atomic<bool> Ended{false};
    TFolderJobResult Result;

    // The stop of the part under way.
    TRunStop& Current() { return Scanning ? ScanStop : WorkStop; }
    TJournalWaitNotice WaitNotice()
    {
        return [this](const std::string&) { Waiting = true; };
    }
};

TFolderJobs::TFolderJobs(std::string JournalFile) : journalFile_(std::move(JournalFile)) {}

TFolderJobs::~TFolderJobs()
{
    queued_.reset();
    StopAll();
    Wait();
}

void TFolderJobs::Start(TFolderJobKind Kind, const std::string& Folder, bool Interrupt)
{
    if (!job_) {
        Launch(Kind, Folder);
        return;
    }
    if (Interrupt)
        StopAll();
    if (!queued_ || Kind != TFolderJobKind::UndoCheck)
        queued_.emplace(Kind, Folder);
}

bool TFolderJobs::StartQueued()
{
    if (job_ || !queued_)
        return false;
    auto [kind, folder] = std::move(*queued_);
    queued_.reset();
    Launch(kind, folder);
    return true;
}

void TFolderJobs::Stop()
{
    if (job_)
        job_->Current().Request();
}

void TFolderJobs::StopAll()
{
    if (job_) {
        job_->WorkStop.Request();
        job_->ScanStop.Request();
    }
}

bool TFolderJobs::Ended() const
{
    return job_ && job_->Ended.load(std::memory_order_acquire);
}

void TFolderJobs::Wait()
{
    if (worker_.joinable())
        worker_.join();
}

TFolderJobProgress TFolderJobs::Progress() const
{
    TFolderJobProgress progress;
    if (!job_)
        return progress;
    const TJob& job = *job_;
    progress.Kind = job.Kind;
    progress.Scanning = job.Scanning;
    progress.Listed = job.Listed;
    progress.Examined = job.Examined;
    progress.Done = job.Done;
    progress.Planned = job.Planned;
    progress.Waiting = job.Waiting;
    return progress;
}

TFolderJobRows TFolderJobs::TakeRows()
{
    TFolderJobRows taken;
    std::lock_guard<std::mutex> lock(rowsMutex_);
    std::swap(taken, rows_);
    return taken;
}

std::optional<TFolderJobResult> TFolderJobs::TakeResult()
{
    if (!Ended())
        return std::nullopt;
    Wait();
    std::shared_ptr<TJob> job = std::move(job_);
    return std::move(job->Result);
}

void TFolderJobs::Launch(TFolderJobKind Kind, const std::string& Folder)
{
    auto job = std::make_shared<TJob>();
    job->Kind = Kind;
    job->Folder = Folder;
    job->Result.Kind = Kind;
    job->Result.Folder = Folder;
    Wait(); // the last job's thread, ended: its result was taken
    job_ = job;
    worker_ = std::thread([this, job] {
        Run(*job);
        job->Ended.store(true, std::memory_order_release);
        if (OnEnded) {
            try {
                OnEnded();
            } catch (...) {
            }
        }
    });
}

void TFolderJobs::Run(TJob& Job)
{
    TFolderJobResult& result = Job.Result;
    try {
        switch (Job.Kind) {
        case TFolderJobKind::Scan:
            ScanInto(Job);
            break;
        case TFolderJobKind::Rename:
            Rename(Job);
            ScanInto(Job);
            break;
        case TFolderJobKind::Undo:
            try {
                result.Undo = UndoLastRename(journalFile_, Job.Folder, Job.WaitNotice(),
                                             [&Job] { return Job.WorkStop.Requested(); });
            } catch (const EJournalError&) {
                if (!Job.WorkStop.Requested())
                    throw;
                result.Undo.Stopped = true; // while waiting for the journal: nothing taken back
            }
            Job.Waiting = false;
            Job.Done = static_cast<int>(result.Undo.Lines.size()) - result.Undo.Skipped();
            ScanInto(Job);
            break;
        case TFolderJobKind::UndoCheck:
            result.HasUndo = FolderHasUndo(journalFile_, Job.Folder, Job.WaitNotice(),
                                           [&Job] { return Job.WorkStop.Requested(); });
            break;
        }
    } catch (const EAbort&) {
        result.ScanStopped = true;
    } catch (const std::exception& e) {
        result.Error = e.what();
    } catch (...) {
        result.Error = "unknown error";
    }
    Job.Waiting = false;
}

void TFolderJobs::Rename(TJob& Job)
{
    TFolderJobResult& result = Job.Result;
    workflow_.Folder = Job.Folder;
    // Journaled, so that the batch can be taken back; a journal that cannot
    // be written stops the batch before the next rename, and so does Stop.
    TRenameJournal journal(journalFile_);
    journal.SetSource("window");
    journal.OnWaiting = Job.WaitNotice();
    journal.Stopped = [&Job] { return Job.WorkStop.Requested(); };
    TRunJournal run(journal, Job.WorkStop);
    run.OnOutcome = [this, &Job](int done) {
        Job.Waiting = false;
        Job.Done = done;
        if (RenameCheckpoint && RenameCheckpoint(done))
            Job.WorkStop.Request();
    };
    Job.Planned = workflow_.RowCount();
    result.Planned = Job.Planned;
    std::vector<TRenameOutcome> outcomes;
    std::string stopped;
    try {
        outcomes = workflow_.RenameRows(&run);
        stopped = BatchStopReason(outcomes);
    } catch (const EJournalError& e) {
        stopped = e.Message();
    }
    Job.Waiting = false;
    for (const TRenameOutcome& row : outcomes) {
        if (row.Renamed)
            ++result.Renamed;
        else if (row.Attempted)
            result.Failed.push_back(row.OldName + " -> " + row.NewName + ": " + row.Reason);
    }
    if (stopped == StoppedReason || Job.WorkStop.Requested())
        result.RenameStopped = true;
    else
        result.JournalStopped = stopped;
}

void TFolderJobs::ScanInto(TJob& Job)
{
    TFolderJobResult& result = Job.Result;
    {
        std::lock_guard<std::mutex> lock(rowsMutex_);
        rows_.Cleared = true;
        rows_.Rows.clear();
        rows_.Unreadable.clear();
    }
    Job.Listed = -1;
    Job.Examined = 0;
    Job.Scanning = true;
    workflow_.Folder = Job.Folder;
    workflow_.Stop = &Job.ScanStop;
    workflow_.OnFolderListed = [&Job](int count) { Job.Listed = count; };
    workflow_.OnFileExamined = [&Job](int index, const std::string&) { Job.Examined = index + 1; };
    // Rows gather here until the owner takes them, so that it is woken a few
    // times a second, not once per file.
    workflow_.OnRowAdded = [this](const std::string& fileName, const std::string& proposedName) {
        std::lock_guard<std::mutex> lock(rowsMutex_);
        rows_.Rows.emplace_back(fileName, proposedName);
    };
    // A file whose header cannot be read is told and skipped: the others are listed.
    workflow_.OnFileError = [this](const std::string& fullPath, const Exception& error) {
        std::string line = error.Message();
        const std::string name = ExtractFileName(fullPath);
        if (line.find(name) == std::string::npos)
            line = name + ": " + line;
        std::lock_guard<std::mutex> lock(rowsMutex_);
        rows_.Unreadable.push_back(std::move(line));
        return true;
    };
    struct TDetach {
        TRenameWorkflow& Workflow;
        ~TDetach()
        {
            Workflow.Stop = nullptr;
            Workflow.OnFolderListed = nullptr;
            Workflow.OnFileExamined = nullptr;
            Workflow.OnRowAdded = nullptr;
            Workflow.OnFileError = nullptr;
        }
    } detach{workflow_};
    try {
        workflow_.RescanFolder();
    } catch (const EAbort&) {
        result.ScanStopped = true;
    }
    result.Scanned = true;
    result.RowCount = workflow_.RowCount();
    if (!result.ScanStopped && !Job.ScanStop.Requested())
        result.HasUndo = FolderHasUndo(journalFile_, Job.Folder, Job.WaitNotice(),
                                       [&Job] { return Job.ScanStop.Requested(); });
    Job.Waiting = false;
}

std::string BatchStopReason(const std::vector<TRenameOutcome>& Outcomes)
{
    for (const TRenameOutcome& row : Outcomes)
        if (!row.Attempted)
            return row.Reason;
    return {};
}
