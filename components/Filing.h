// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Filing: moving files into dated folders (rename --into, watch --into), and
// taking such a batch back.
//
// A move within one file system is one rename that never replaces a file.
// A move to another file system is a copy to a unique temporary name in the
// target folder, flushed to disk with its folder, compared with the source
// (size and bytes), renamed into place (never over a file), and only then is
// the source removed and its folder flushed. Every step is journaled first
// (components/FilingJournal.h), so a run killed at any point is finished or
// rolled back by the next one (RecoverFilingJournal): each file exists once,
// under its old or its new name, and no partial copy is left.
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "components/FilingJournal.h"
#include "components/Undo.h" // THistoryEntry

// One file to file: absolute paths; Source, when known, is the file as it
// was read (its header), and the move is refused when it changed since.
struct TFilingMove {
    std::string Old;
    std::string New;
    std::optional<TFileIdentity> Source;
};

struct TFilingOutcome {
    std::string Old;
    std::string New;
    bool Attempted = false; // false: the batch stopped before this file
    bool Moved = false;
    std::string Reason;     // why not
};

struct TFilingOptions {
    // Copy even within one file system (the tests' stand-in for a second one).
    bool ForceCopy = false;
    // Test hook: the process kills itself (SIGKILL) right after its n-th step
    // of moving (0: never). $QUILLON_FILING_STOP_AFTER sets it for the CLI.
    int StopAfterStep = 0;
    // Files done and bytes copied so far, of the files and bytes in the batch.
    std::function<void(int64_t Files, int64_t Bytes)> OnProgress;
};

// The options with the test hook taken from the environment.
TFilingOptions FilingOptionsFromEnvironment();

// Reasons.
extern const char* const FilingReasonExists;    // "a file of that name exists"
extern const char* const FilingReasonTwice;     // "another file of the batch takes that name"
extern const char* const FilingReasonChanged;   // "changed since it was read"
extern const char* const FilingReasonCopyDiffers;

// What RunFiling would do now, touching nothing: each move's outcome as the
// real run would meet it (a missing source, a taken target, two files with
// one target: the first moves, the second fails).
std::vector<TFilingOutcome> PredictFiling(const std::vector<TFilingMove>& Moves);

// Files Moves in order under one journal batch (Folder: where they were
// looked for, Dest: where they go), creating target folders as needed (mode
// from the umask; each one journaled). A journal that cannot take the batch
// raises EJournalError before anything moves; a journal that fails later, or
// a stop request, ends the batch before the next move (those outcomes not
// Attempted).
std::vector<TFilingOutcome> RunFiling(TFilingJournal& Journal, const std::string& Folder, const std::string& Dest,
                                      const std::vector<TFilingMove>& Moves, const TFilingOptions& Options = {});

// Finishes or rolls back every move that a batch killed part-way left, and
// ends that batch; batches of processes still running are left alone. The
// messages say what was done.
std::vector<std::string> RecoverFilingJournal(const std::string& JournalFile, const TFilingOptions& Options = {});

// ---- undo -------------------------------------------------------------------
struct TFilingUndoOptions {
    bool DryRun = false;
    std::string BatchId;  // "" for the newest one not taken back
    std::string Folder;   // when not empty: batches that looked for files there
    bool Recursive = false; // ... or in a folder below it
};

struct TFilingUndoLine {
    bool Restored = false;  // or would be, in a dry run
    std::string NewName;    // where the file is
    std::string OldName;    // where it goes back to
    std::string Reason;     // when skipped
};

struct TFilingUndoResult {
    bool Found = false;
    std::string BatchId;
    std::string Folder;      // where the batch looked for the files
    std::string Dest;        // where it filed them
    std::string UndoBatchId;
    std::vector<TFilingUndoLine> Lines;
    std::vector<std::string> Messages; // recovery, damaged lines, trimming, folders left
    bool Stopped = false;    // a stop request ended it before its last file
    int Skipped() const;
};

// The newest filing batch not taken back that Options choose (its id and
// time), or nothing. Raises like UndoFiling for an unknown --batch.
struct TFilingCandidate {
    std::string Id;
    int64_t UnixTime = 0;
};
std::optional<TFilingCandidate> FindFilingCandidate(const std::string& JournalFile, const TFilingUndoOptions& Options);

// Takes a filing batch back: each file goes back to its old folder and name,
// last moved first, by the same safe move; a file no longer under its new
// name, changed since (identity), or whose old name is taken is skipped with
// its reason. Then the folders the batch created are removed when empty.
// A stop request (RequestStop) ends it between files, never inside a copy:
// what it restored stays restored and journaled, the files it did not reach
// are left out of Lines and left for the next undo, which takes back the rest.
TFilingUndoResult UndoFiling(const std::string& JournalFile, const TFilingUndoOptions& Options,
                             const TFilingOptions& MoveOptions = {});

// What the undos of one filing batch did, as far as the journal was read.
struct TFilingUndone {
    std::set<std::string> Restored; // old paths given back
    bool TakenBack = false;         // an undo ran to its end
};
using TFilingUndoneMap = std::unordered_map<std::string, TFilingUndone>;

// The filing batches of the journal as the history lists them (Filing set,
// Renamed: the files moved), newest first, read from the journal's end.
class TFilingHistoryReader {
public:
    explicit TFilingHistoryReader(const std::string& JournalFile);
    bool Previous(THistoryEntry& Entry);
    std::vector<std::string> Warnings(); // damaged lines passed so far

private:
    std::string file_;
    TFilingJournalBackwardReader reader_;
    TFilingUndoneMap undone_; // of batches not reached yet
};
