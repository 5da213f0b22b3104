// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The scan, filter and rename workflow of the main window, without the window:
// the window and quillon-cli both drive it.
//
// Rows are parallel lists: row i of FileNames() is the name (no folder) of
// a non-standard file, row i of ProposedNames() the standard name its header
// gives, row i of Identities() the file as it was when its header was read,
// and row i of Headers() that header, where it was kept. They are only ever
// cleared together and appended to together.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "components/RenameJournal.h"
#include "components/TreeScan.h"
#include "runtime/Exceptions.h"
#include "runtime/FileIO.h"
#include "runtime/SysUtils.h"

// One rename of a batch.
struct TRenameOutcome {
    std::string OldName;   // file names without folder
    std::string NewName;
    bool Attempted = false; // false: the batch stopped before this row
    bool Renamed = false;
    std::string Reason;     // why not, when not renamed
};

// Acquisition times the filter accepts lie strictly between these: from
// 1985-01-01 00:00 up to one day past the present (a date in the future is a
// garbled header, the day leaves room for the clock's time zone).
constexpr TDateTime EarliestAcquisition = 31048.0; // 1985-01-01 00:00
TDateTime LatestAcquisition();                     // now plus one day

class THeaderReadAhead;
struct THeaderInfo;

// Passes everything on to the real journal, but refuses to begin the batch or
// start the next rename once a stop is requested (RequestStop): the rename
// workflow then ends the batch after the rename under way, and the journal
// records exactly what was done.
class TStoppableJournal : public IRenameJournal {
public:
    explicit TStoppableJournal(IRenameJournal& Inner) : inner_(Inner) {}
    void BeginBatch(const std::string& Folder, const std::vector<std::pair<std::string, std::string>>& Planned) override;
    void RecordIntent(const std::string& OldName, const std::string& NewName) override;
    void RecordOutcome(const std::string& OldName, const std::string& NewName, bool Renamed,
                       const std::string& Reason) override
    {
        inner_.RecordOutcome(OldName, NewName, Renamed, Reason);
    }
    void EndBatch() override { inner_.EndBatch(); }

private:
    IRenameJournal& inner_;
};

// The reason a TStoppableJournal gives for the files a stop left alone.
extern const char* const StoppedReason;
// The reason a row is not renamed when its file is no longer the one whose
// header was read (replaced, or written to): "changed since it was read".
extern const char* const ChangedSinceReadReason;

// A stop request for one run of the workflow (one scan, one rename batch),
// apart from the process-wide RequestStop: a window stops the scan under way
// and starts another. Request() may come from any thread; it also ends a
// header search under way for the run (a large file without a header).
class TRunStop {
public:
    void Request() noexcept;
    bool Requested() const noexcept { return flag_.load(std::memory_order_relaxed); }
    // Raises EAbort with Why when a stop is requested, for this run or for the process.
    void Check(const std::string& Why) const;

private:
    friend class TRenameWorkflow;
    void Attach(THeaderReadAhead* ReadAhead);   // the read-ahead of the scan under way, or null
    std::atomic<bool> flag_{false};
    std::mutex mutex_;
    THeaderReadAhead* readAhead_ = nullptr;
};

// A journal that refuses to begin a batch or start the next rename once Stop
// (or the process-wide stop) is requested, as TStoppableJournal does, and
// tells each recorded outcome (progress display).
class TRunJournal : public IRenameJournal {
public:
    TRunJournal(IRenameJournal& Inner, const TRunStop& Stop) : inner_(Inner), stop_(Stop) {}
    void BeginBatch(const std::string& Folder, const std::vector<std::pair<std::string, std::string>>& Planned) override;
    void RecordIntent(const std::string& OldName, const std::string& NewName) override;
    void RecordOutcome(const std::string& OldName, const std::string& NewName, bool Renamed,
                       const std::string& Reason) override;
    void EndBatch() override { inner_.EndBatch(); }
    // Called after each outcome with the number of files tried so far.
    std::function<void(int Done)> OnOutcome;

private:
    IRenameJournal& inner_;
    const TRunStop& stop_;
    int done_ = 0;
};

class TRenameWorkflow {
public:
    TRenameWorkflow();

    // The current folder (the folder edit's text).
    std::string Folder;

    const std::vector<std::string>& FileNames() const { return fileNames_; }
    const std::vector<std::string>& ProposedNames() const { return proposedNames_; }
    int RowCount() const { return static_cast<int>(fileNames_.size()); }
    void ClearRows();

    // Called once per file the scanner reports, before it is examined (index
    // counts from 0 within the scan): progress display.
    std::function<void(int Index, const std::string& FullPath)> OnFileExamined;
    // Called when reading a file raises. Unassigned, or returning false, the
    // exception ends the scan (rows so far are kept) and reaches the caller of
    // RescanFolder, as in the window; returning true skips the file.
    std::function<bool(const std::string& FullPath, const Exception& Error)> OnFileError;
    // Called after each row is appended (the window mirrors rows into its lists).
    std::function<void(const std::string& FileName, const std::string& ProposedName)> OnRowAdded;
    // Called once the folder's files that match the listing mask are known,
    // with their number, before the first OnFileExamined (progress display).
    std::function<void(int Count)> OnFolderListed;
    // The stop request of the run under way besides the process-wide one
    // (null: only that): a scan then ends with EAbort before the next file,
    // and a header search under way ends too.
    TRunStop* Stop = nullptr;

    // The listing rule, shared by the window, scan, rename and watch: a
    // folder's files with mask ListingMask, not in sub-folders (SetUpScanner),
    // whose names may be non-standard (MayBeListed), and whose header passes
    // FileFound's filter.
    static constexpr const char* ListingMask = "*.mpd";
    // Sets Scanner up to list Folder's files by the listing rule: the mask,
    // not recursive. Its events are the caller's.
    static void SetUpScanner(TTreeScanner& Scanner, const std::string& Folder);
    // A name the listing may show, judged by the name alone: it matches
    // ListingMask, has at least 5 characters and no '-' as 5th (standard
    // names begin with a four-digit year and a hyphen). Other names are never
    // opened.
    static bool MayBeListed(std::string_view FileName);

    // Clears the rows and scans Folder by the listing rule, adding a row for
    // each file that passes FileFound's filter. Exceptions from reading
    // a file propagate (see OnFileError); a stop request ends the scan with
    // EAbort, which OnFileError never sees. The headers of the files to come
    // are read ahead on ReadAheadThreads threads (0: one per core, 1: none);
    // the rows, their order, the events and the failures are the same.
    void RescanFolder();
    int ReadAheadThreads = 0;
    // Once set, ends a header search FileFound runs itself with EAbort, as a
    // stop request does (the watch cancels the read of a file that went away).
    const std::atomic<bool>* Cancel = nullptr;

    // The filter for one file (full path): names shorter than 5 characters or
    // with '-' as 5th character are skipped unopened; a file is listed when its
    // header gives a non-empty format and an acquisition time strictly between
    // 1985-01-01 and now plus one day.
    void FileFound(const std::string& FullPath);

    // Appends a row for a file whose header was read elsewhere (the watch
    // reads headers on worker threads), as the filter appends a listed file;
    // calls OnRowAdded. Identity: the file as it was when its header was read
    // (ReadHeaderInfo); without one the row is renamed by name alone.
    void AddRow(const std::string& FileName, const std::string& ProposedName);
    void AddRow(const std::string& FileName, const std::string& ProposedName,
                const std::optional<TFileIdentity>& Identity);
    // A row for a file whose header was read elsewhere, keeping that header
    // (Headers()): its standard name is proposed, its identity recorded.
    void AddRow(const std::string& FileName, const THeaderInfo& Header);
    // Each row's file as it was when its header was read (none: unknown).
    const std::vector<std::optional<TFileIdentity>>& Identities() const { return identities_; }
    // Each row's header as read, where the row was added with it (else null):
    // filing takes the fields of its pattern from it instead of reading again.
    const std::vector<std::shared_ptr<const THeaderInfo>>& Headers() const { return headers_; }
    // Whether row Row's name still holds the file whose header was read
    // (same device, inode, size and modification time); true without a
    // recorded identity.
    bool StillAsRead(size_t Row) const;

    // The rename each row would get: folder-less names, the proposed name with
    // the old name's extension as it is on disk.
    std::vector<TRenameOutcome> PlanRenames() const;
    // What RenameRows would do now, touching nothing: each row's outcome as
    // the real run would meet it, in order, from the entries on disk and the
    // names the rows before it take and free (of two rows proposing one name
    // the first renames, the second fails; a name already taken on disk
    // fails), with the reasons RenameRows gives. Every row counts as attempted.
    std::vector<TRenameOutcome> PredictRenames() const;
    // Folder with one trailing '/'.
    std::string FolderPath() const;

    // Renames every row in order, never replacing an existing file; failures
    // are recorded and skipped. Just before its rename each row's file is
    // checked against the identity the scan recorded: a file replaced or
    // written to since is not renamed (ChangedSinceReadReason). Does not rescan. With a journal: BeginBatch,
    // then RecordIntent / rename / RecordOutcome per row, then EndBatch.
    // When BeginBatch raises EJournalError (the journal cannot be written),
    // nothing is renamed and the EJournalError propagates, so the caller can
    // say once why nothing happened. Any other exception from BeginBatch (a
    // journal that refuses to start, e.g. on a stop request) and any journal
    // failure later in the batch (RecordIntent or RecordOutcome raising,
    // EJournalError included) stop the batch before the next rename: every
    // rename done so far is kept and was recorded, the rows not reached are
    // returned with Attempted false and the journal's message as Reason, and
    // EndBatch is still called.
    std::vector<TRenameOutcome> RenameRows(IRenameJournal* Journal = nullptr);

    // The Rename button: RenameRows, then RescanFolder. An EJournalError from
    // RenameRows propagates before the rescan; the rows stay as they were.
    std::vector<TRenameOutcome> RenameAndRescan(IRenameJournal* Journal = nullptr);

    // The proposed name with Ext as its extension: any extension it has is
    // replaced, otherwise Ext is appended.
    static std::string ProposedFileName(const std::string& ProposedName, const std::string& Ext);

private:
    std::vector<std::string> fileNames_;
    std::vector<std::string> proposedNames_;
    std::vector<std::optional<TFileIdentity>> identities_;
    std::vector<std::shared_ptr<const THeaderInfo>> headers_;
    int examined_ = 0;
    THeaderReadAhead* readAhead_ = nullptr;   // during RescanFolder
};
