// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rename journal: one JSON Lines file per user that records every rename
// batch (from quillon-cli rename, the watch mode and the window's Rename
// button) so that a batch can be listed and taken back.
//
// Records, one JSON object a line:
//   {"type":"batch","id":..,"time":..,"kind":"rename"|"undo","source":..,
//    "folder":..,"undoes":..,"files":[[old,new],...]}
//   {"type":"intent","id":..,"old":..,"new":..,"file":{..}}
//   {"type":"outcome","id":..,"old":..,"new":..,"renamed":bool,"reason":..,"file":{..}}
// "file" is the identity of the file concerned, {"dev":..,"ino":..,"size":..,
// "mtime":..} (mtime in nanoseconds since 1970): in an intent the file under
// its old name before the rename, in an outcome of a rename that was done the
// file under its new name. Undo takes back only a file that still has it.
// Lines written before identities were kept have no "file" and still read.
//   {"type":"end","id":..}
// A name that is not valid UTF-8 is written as {"hex":"..."} so that every
// byte comes back as it was.
//
// Durability: the batch record lists every planned (old, new) pair and is
// flushed to disk (fdatasync) before the first file is renamed, so a batch
// killed at any point (kill -9, power cut) leaves the names of every file it
// may have renamed. Intent and outcome records are appended in small groups
// and tell undo which files were attempted and how they ended; the end record
// is flushed to disk too. Files whose outcome never reached the journal are
// checked on disk by undo.
//
// Locking: every append and every rewrite happens under an exclusive flock on
// a lock file beside the journal, so several processes may share the journal;
// the lock is held only while writing (a reader holds it shared). A lock held
// by another process is waited for: after a second the wait is told
// (JournalWaitingMessage), after $QUILLON_JOURNAL_LOCK_TIMEOUT seconds (30
// when unset) it is given up with an EJournalError. A journal that does not end in a line
// break (a writer was killed mid-line) gets one before the next record, so a
// cut-off line never swallows the next record.
//
// Pruning: when a batch starts, closed batches (see TJournalLimits) older than
// the age limit or beyond the size limit are dropped by writing a new file and
// renaming it over the old one. Damaged lines are reported and
// skipped; before a journal holding damaged lines is rewritten it is copied
// aside (journal.jsonl.damaged-<time>).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "components/RenameJournal.h"
#include "runtime/FileIO.h"

using TNamePairs = std::vector<std::pair<std::string, std::string>>;

// Told once when the journal's lock is still held by another process after
// about a second: "waiting for the rename journal, held by another quillon process".
extern const char* const JournalWaitingMessage;
using TJournalWaitNotice = std::function<void(const std::string&)>;
// Asked while waiting for the journal's lock, besides the process-wide stop
// request: true ends the wait (EJournalError "stopped while waiting ..."), so
// that one run is stopped alone. Empty: only the process-wide request.
using TJournalStop = std::function<bool()>;

// "" when $QUILLON_JOURNAL_LOCK_TIMEOUT is unset, empty or a number of
// seconds of at least 0 (digits and a decimal point); else the message that
// refuses it. Every use of the journal's lock raises EJournalError with that
// message then; the command line checks it first (a usage error).
std::string JournalLockTimeoutProblem();

// $XDG_STATE_HOME/quillon/journal.jsonl, or ~/.local/state/quillon/journal.jsonl
// when XDG_STATE_HOME is unset, empty or not absolute.
std::string DefaultJournalFileName();

// Absolute, normalised folder name without a trailing '/' (symbolic links
// resolved as far as the folder exists), so that a folder given as a relative
// path or with a trailing '/' matches the folder a batch recorded.
std::string NormalizeJournalFolder(const std::string& folder);

// ---- records ----------------------------------------------------------------
enum class TJournalRecordType { Batch, Intent, Outcome, End };

struct TJournalRecord {
    TJournalRecordType Type = TJournalRecordType::Batch;
    std::string Id;
    // Batch records.
    std::string Time;         // UTC, "YYYY-MM-DDTHH:MM:SSZ"
    int64_t UnixTime = 0;     // the same moment in seconds since 1970
    std::string Kind;         // "rename" or "undo"
    std::string Source;       // "cli", "watch", "window", ...
    std::string Folder;
    std::string Undoes;       // undo batches: the id of the batch taken back
    TNamePairs Files;         // planned (old, new) pairs, names without folder
    // Intent and outcome records.
    std::string OldName;
    std::string NewName;
    bool Renamed = false;     // outcome: the file now has NewName
    std::string Reason;       // outcome: why not
    std::optional<TFileIdentity> Identity; // intent and outcome: the file concerned
};

// One journal line (without its line break) to a record; nothing when the line
// is not JSON or not a well-formed record. Never throws.
std::optional<TJournalRecord> ParseJournalLine(std::string_view line);
// A record as one line, without the line break.
std::string FormatJournalLine(const TJournalRecord& record);

// "YYYY-MM-DDTHH:MM:SSZ" to seconds since 1970; false when malformed.
bool ParseJournalTime(std::string_view text, int64_t& unixTime);
std::string FormatJournalTime(int64_t unixTime);

// ---- the journal as read back -------------------------------------------------
enum class TJournalFileState {
    Planned,   // listed in the batch record, no later record
    Attempted, // intent recorded, outcome unknown
    Renamed,   // outcome: renamed
    Failed,    // outcome: not renamed
};

struct TJournalFileEntry {
    std::string OldName;
    std::string NewName;
    TJournalFileState State = TJournalFileState::Planned;
    std::string Reason;
    // The file the batch renamed, as its records tell (the renamed outcome's,
    // else the intent's); none in journals written before identities were kept.
    std::optional<TFileIdentity> Identity;
};

struct TJournalBatch {
    std::string Id;
    std::string Time;
    int64_t UnixTime = 0;
    std::string Kind;
    std::string Source;
    std::string Folder;
    std::string Undoes;
    // In the order the files were worked on; files only planned come last,
    // in planned order.
    std::vector<TJournalFileEntry> Files;
    bool Ended = false;
    size_t FirstLine = 0; // 1-based line of the batch record
    size_t LineCount = 0; // lines that belong to this batch

    int Count(TJournalFileState state) const;
    bool IsUndo() const { return Kind == "undo"; }
};

struct TJournalContents {
    std::vector<TJournalBatch> Batches;   // in journal order (oldest first)
    std::vector<size_t> DamagedLines;     // 1-based numbers of skipped lines
    size_t LineCount = 0;
};

// Parses a whole journal text. Damaged lines, and records of a batch whose
// batch record is missing, are skipped (damaged lines are listed).
TJournalContents ParseJournal(std::string_view text);
// The rename journal's records as batches (components/JournalLines.h).
struct TRenameJournalTraits {
    using Record = TJournalRecord;
    using Batch = TJournalBatch;
    class Builder;
    static std::optional<TJournalRecord> Parse(std::string_view line);
    static bool IsHead(const TJournalRecord& record) { return record.Type == TJournalRecordType::Batch; }
    static const std::string& Id(const TJournalRecord& record) { return record.Id; }
};

// Reads and parses the journal file; a missing file is an empty journal.
// Raises EJournalError naming the file when it exists but cannot be read.
// onWaiting is told when the journal's lock is held by another process;
// stopped ends that wait.
TJournalContents ReadJournal(const std::string& fileName, const TJournalWaitNotice& onWaiting = {},
                             const TJournalStop& stopped = {});
// Messages for the damaged lines of a journal read from fileName.
std::vector<std::string> DamagedLineMessages(const std::string& fileName, const TJournalContents& contents);
std::vector<std::string> DamagedLineMessages(const std::string& fileName, const std::vector<size_t>& lines);

// The batches of the journal file from the newest to the oldest (by where
// their batch record stands), read from the file's end: its memory is that
// of a few batches, whatever the journal's size (FirstLine is 0). It reads
// the journal as it was when it was made (taking the shared lock only for
// that moment): records appended later are not read, and a trim (a new file
// renamed over the journal) does not disturb it. A missing journal has no
// batches; one that cannot be read raises EJournalError.
class TJournalBackwardReader {
public:
    explicit TJournalBackwardReader(const std::string& fileName, const TJournalWaitNotice& onWaiting = {},
                                    const TJournalStop& stopped = {});
    // The journal open as fd, whose lock the caller holds (fd stays the caller's).
    explicit TJournalBackwardReader(int fd);
    ~TJournalBackwardReader();
    TJournalBackwardReader(const TJournalBackwardReader&) = delete;
    TJournalBackwardReader& operator=(const TJournalBackwardReader&) = delete;
    // The batch before the one given last; false once the first was given.
    bool Previous(TJournalBatch& batch);
    // The damaged lines passed so far (1-based, ascending).
    std::vector<size_t> DamagedLines();
    // The bytes the lines of the batch given last take.
    uint64_t LastBytes() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

// ---- writing ----------------------------------------------------------------------
// When a batch starts, the journal is trimmed once it is larger than MaxBytes
// or its oldest batch is older than MaxAgeSeconds. Trimming drops whole
// batches, oldest first, and only batches nothing can be taken back from any
// more: a rename batch fully taken back (with its undo batches), or one none
// of whose files is left under its new name in a folder that is there to
// look at. A batch an undo could still restore a file of, and the KeepNewest
// newest rename batches, are kept whatever their size or age, so the journal
// may stay above MaxBytes.
struct TJournalLimits {
    uint64_t MaxBytes = 64ULL << 20;       // 64 MiB
    int64_t MaxAgeSeconds = 365LL * 86400; // closed batches older than this are dropped
    size_t KeepNewest = 16;                // rename batches never trimmed
};

class TRenameJournal : public IRenameJournal {
public:
    explicit TRenameJournal(std::string fileName = DefaultJournalFileName(), TJournalLimits limits = {});
    ~TRenameJournal() override;
    TRenameJournal(const TRenameJournal&) = delete;
    TRenameJournal& operator=(const TRenameJournal&) = delete;

    // Where the next batch comes from ("cli" by default).
    void SetSource(std::string source) { source_ = std::move(source); }
    // Makes the next batch an undo of batch id (cleared by BeginBatch).
    void SetUndoes(std::string id) { undoes_ = std::move(id); }

    // Writes the batch record and flushes it to disk. An empty plan writes
    // nothing. Raises EJournalError naming the journal when it cannot be written.
    void BeginBatch(const std::string& folder, const TNamePairs& planned) override;
    // Raises EJournalError when the records buffered so far cannot be written.
    void RecordIntent(const std::string& oldName, const std::string& newName) override;
    // Never throws: a record that cannot be written is reported in Warnings().
    void RecordOutcome(const std::string& oldName, const std::string& newName, bool renamed,
                       const std::string& reason) override;
    void EndBatch() override;

    const std::string& FileName() const { return fileName_; }
    // Id of the batch begun last ("" when none, or when its plan was empty).
    const std::string& BatchId() const { return batchId_; }
    // Problems met so far (damaged lines, records that could not be written);
    // each is reported once.
    std::vector<std::string> TakeWarnings();
    // Called with each warning as it arises, besides keeping it for TakeWarnings.
    std::function<void(const std::string&)> OnWarning;
    // Called when the journal's lock is held by another process (see above).
    TJournalWaitNotice OnWaiting;
    // Ends a wait for the lock before a batch begins (BeginBatch raises
    // EJournalError, nothing renamed). Once a batch has begun its records are
    // written whatever it says: a rename done is never left unjournaled.
    TJournalStop Stopped;

private:
    void Append(const std::string& line);
    void Flush(bool sync, const TJournalStop& stopped = {});
    void PruneLocked();
    void Warn(const std::string& message);

    std::string fileName_;
    TJournalLimits limits_;
    std::string source_ = "cli";
    std::string undoes_;
    std::string batchId_;
    std::string folder_; // of the batch under way, with a trailing '/'
    bool inBatch_ = false;
    int fd_ = -1;
    std::string buffer_;
    size_t buffered_ = 0;
    std::vector<std::string> warnings_;
};

// Trimming a journal (this one, the filing journal) by the rule above.
struct TJournalTrimBatch {
    std::string Id;
    std::string Undoes; // of an undo batch: the batch it took back ("" for any other)
    int64_t UnixTime = 0;
    bool Open = false;  // still needed: never dropped (nor its undo batches)
    uint64_t Bytes = 0; // its lines'
};
struct TJournalTrim {
    std::string What; // "rename journal", for the messages
    TJournalLimits Limits;
    // The time of a batch record (nothing for any other line).
    std::function<std::optional<int64_t>(std::string_view line)> OldestTime;
    // The batch a line belongs to ("" when damaged).
    std::function<std::string(std::string_view line)> IdOf;
    // The batches of the journal open as fd, in journal order, and its
    // damaged lines; 0 or the errno of a read that failed. Read from the
    // end, a batch at a time (TJournalBatchesBackward): what is kept is this
    // short list, not the journal.
    std::function<int(int fd, std::vector<TJournalTrimBatch>& batches, std::vector<size_t>& damaged)> Batches;
    std::function<void(const std::string&)> Warn;
};
// Trims fileName, whose exclusive lock the caller holds, when it is over
// the size limit or its oldest batch over the age limit; a journal with
// damaged lines is copied aside first. True when it was rewritten (a
// descriptor open on it for appending is stale then). Raises EJournalError.
// The journal is read and written a line at a time.
bool TrimJournalLocked(const std::string& fileName, const TJournalTrim& trim);

// A fresh batch id: UTC time, process and random bits ("20250315T123000Z-1a2b3c4d").
std::string NewJournalBatchId();
