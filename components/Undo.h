// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Taking back a rename batch recorded in the rename journal, and the journal's
// history. Undo renames each file of a batch from its new name back to its old
// one, last renamed first, with the rename that never replaces a file; a file
// that is no longer where the journal says, that is not the file the batch
// renamed (its device, inode, size or modification time differ from what the
// journal recorded), or whose old name is taken again, is skipped and
// reported. An undo is itself journaled (as an undo batch, skips included); a
// batch whose undo has run to its end is never taken back again, unless that
// undo left a file because its old name was taken: the next undo of the batch
// tries that file again. An undo that was killed part-way, or stopped between
// files, is completed by the next one.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "components/Journal.h"

struct TUndoOptions {
    bool DryRun = false;   // report what would be restored, touch nothing, record nothing
    std::string BatchId;   // the batch to take back ("" for the newest one not taken back)
    std::string Folder;    // when not empty, only batches of this folder
    std::string Source = "cli";
    TJournalWaitNotice OnWaiting; // told when another process holds the journal's lock
    // Asked before each file, and while waiting for the journal's lock before
    // anything is restored: true stops the undo there. What it restored stays
    // restored and journaled; the files it did not reach are journaled as
    // UndoReasonStopped and left for the next undo.
    TJournalStop Stopped;
    TJournalLimits Limits;        // of the journal the undo is recorded in
};

enum class TUndoAction { Restored, WouldRestore, Skipped };
// "restored", "would-restore" or "skipped": the word that reports a line.
const char* UndoActionName(TUndoAction Action);

struct TUndoLine {
    TUndoAction Action = TUndoAction::Restored;
    std::string NewName; // the name the file has now (the batch's new name)
    std::string OldName; // the name it gets back
    std::string Reason;  // Skipped: why
};

struct TUndoResult {
    bool Found = false;          // a batch was there to take back
    std::string BatchId;         // the batch taken back
    std::string Folder;          // its folder
    std::string UndoBatchId;     // the undo's own journal batch ("" for a dry run)
    std::vector<TUndoLine> Lines; // in the order of the restores
    std::vector<std::string> Warnings; // damaged journal lines and the like
    bool Stopped = false;        // options.Stopped ended it before its last file
    int Skipped() const;
};

// Texts of the skip reasons.
extern const char* const UndoReasonMissing;   // the file is no longer under its new name
extern const char* const UndoReasonTaken;     // the old name is taken again
extern const char* const UndoReasonChanged;   // another file has the new name, or the file was changed
extern const char* const UndoReasonStopped;   // the undo was stopped before this file

// Takes back one batch of the journal in journalFile. Throws an Exception when
// --batch names a batch that is unknown, is an undo, or has been taken back
// already, and when the undo cannot be journaled (nothing is renamed then).
TUndoResult UndoBatch(const std::string& journalFile, const TUndoOptions& options);

// The ids of the rename batches an undo could still take something back
// from: not taken back for good, with a file that is not known restored and
// either still has its new name or sits in a folder that cannot be looked at
// now (a disk not mounted). Looks at the disk; never throws.
std::vector<std::string> BatchesStillOpen(const TJournalContents& contents);
// The same for trimming (TJournalTrim::Batches), read from the end of the
// journal open as fd.
int RenameJournalTrimBatches(int fd, std::vector<TJournalTrimBatch>& batches, std::vector<size_t>& damaged);

// The files undo gave back their old names in one folder, as the journal
// records them, for the watch: a file an undo restored is left alone until it
// changes. The journal is read once, then only what was appended since (read
// again whole when it was rewritten).
class TRestoredFiles {
public:
    TRestoredFiles(std::string JournalFile, const std::string& Folder);
    // Whether the folder's file Name is the very file an undo last restored
    // under that name (same device, inode, size and modification time), or a
    // name an undo under way gives back whose outcome is not recorded yet.
    bool IsRestored(const std::string& Name);

private:
    void Refresh();

    std::string journal_;
    std::string folder_; // normalised
    std::optional<TFileIdentity> read_; // the journal file read so far
    uint64_t offset_ = 0;               // up to here (whole lines)
    std::unordered_set<std::string> undoIds_;             // undo batches of the folder
    std::unordered_map<std::string, TFileIdentity> files_; // name -> the file restored
    struct TPending {
        uint64_t Sequence = 0;       // in the order the undo batches began
        std::set<std::string> Names; // given back, outcome not yet recorded
    };
    std::map<std::string, TPending> pending_; // undos under way, by id
    uint64_t sequence_ = 0;
};

// One batch as the history lists it: a rename batch, or a filing batch
// (rename --into: files moved into dated folders under Dest).
struct THistoryEntry {
    std::string Id;
    std::string Time;
    int64_t UnixTime = 0;
    std::string Folder;
    std::string Source;
    int Renamed = 0;   // files renamed (kept after an undo); of a filing batch: files moved
    int Failed = 0;    // files not renamed (their target name was taken, ...)
    int Restored = 0;  // files given back their old names by undo
    bool Complete = false;  // the batch ran to its end
    bool TakenBack = false; // an undo of it ran to its end
    bool Filing = false;    // a filing batch
    std::string Dest;       // filing: where the files were filed
};

// The rename batches of a journal, newest first (undo batches are not listed;
// they show in the Restored counts of the batches they took back).
std::vector<THistoryEntry> JournalHistory(const TJournalContents& contents);

// The history, newest first: the rename batches of renameJournal, and the
// filing batches of filingJournal (when given) among them by time. Both are
// read from their end, a batch at a time, so memory does not grow with the
// journals. Raises EJournalError for a journal that cannot be read.
class THistoryReader {
public:
    THistoryReader(const std::string& renameJournal, const std::string& filingJournal = {},
                   const TJournalWaitNotice& onWaiting = {});
    ~THistoryReader();
    THistoryReader(const THistoryReader&) = delete;
    THistoryReader& operator=(const THistoryReader&) = delete;
    bool Next(THistoryEntry& entry);
    // A message for each damaged line passed so far.
    std::vector<std::string> Warnings();

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

// The history of the journal in journalFile (JournalHistory) with a message for
// each damaged line it skipped. A missing journal has an empty history; one
// that cannot be read raises EJournalError. onWaiting is told when another
// process holds the journal's lock.
struct TJournalHistory {
    std::vector<THistoryEntry> Entries;
    std::vector<std::string> Warnings;
};
TJournalHistory ReadJournalHistory(const std::string& journalFile, const TJournalWaitNotice& onWaiting = {});
