// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The filing journal: every batch that moves files into dated folders (and
// every undo of one) as JSON Lines, beside the rename journal
// ($XDG_STATE_HOME/quillon/filing.jsonl). Paths are absolute.
//
//   {"type":"batch","id":..,"time":..,"kind":"file"|"unfile","undoes":..,
//    "folder":..,"dest":..,"pid":..,"boot":..,"start":..,"files":[[old,new],...]}
//   {"type":"dir","id":..,"path":..}            a folder the batch created
//   {"type":"step","id":..,"old":..,"new":..,"step":..,"temp":..,"file":{..},"reason":..}
//   {"type":"end","id":..,"recovered":true}     recovered: ended by a later run
//
// Steps of one file, in order:
//   "intent"  a rename within one file system is about to happen ("file":
//             the file under its old name);
//   "copy"    a copy to another file system begins into "temp", a new name
//             beside the target ("file": the source);
//   "copied"  the copy is complete, on disk and equal to the source ("file":
//             the copy);
//   "placed"  the copy has the new name; the source is still to be removed;
//   "moved"   done ("file": the file under its new name);
//   "failed"  nothing changed ("reason").
// The batch record, and every "copy", "copied" and "placed" step, are on
// disk before the action they announce, so a run killed at any point leaves
// enough to finish or roll back the move under way (FilingJournal readers:
// components/Filing.h). A name that is not valid UTF-8 is written as
// {"hex":"..."}.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "components/Journal.h" // TJournalLimits, EJournalError
#include "runtime/FileIO.h"

using TPathPairs = std::vector<std::pair<std::string, std::string>>;

// filing.jsonl beside the rename journal (DefaultJournalFileName()).
std::string DefaultFilingJournalFileName();

enum class TFilingRecordType { Batch, Dir, Step, End };

struct TFilingRecord {
    TFilingRecordType Type = TFilingRecordType::Batch;
    std::string Id;
    // Batch.
    std::string Time;   // UTC "YYYY-MM-DDTHH:MM:SSZ"
    int64_t UnixTime = 0;
    std::string Kind;   // "file" or "unfile"
    std::string Undoes; // unfile: the batch taken back
    std::string Folder; // where the files were looked for
    std::string Dest;   // where they were filed
    int64_t Pid = 0;    // the process running the batch, to tell a live batch
    std::string Boot;   // from an interrupted one
    int64_t Start = 0;
    TPathPairs Files;
    // Dir.
    std::string Path;
    // Step.
    std::string Old, New, Step, Temp, Reason;
    std::optional<TFileIdentity> Identity;
    // End.
    bool Recovered = false;
};

// One line to a record; nothing when it is not one. Paths must be absolute,
// without "." or ".." folders; a "temp" must lie beside "new" and be one of
// the names the mover makes. Never throws.
std::optional<TFilingRecord> ParseFilingLine(std::string_view Line);
std::string FormatFilingLine(const TFilingRecord& Record);

// One file of a batch as its records tell.
struct TFilingFile {
    std::string Old, New;
    std::string Step;  // the last step recorded ("" when only planned)
    std::string Temp;
    std::string Reason;
    std::optional<TFileIdentity> Source; // from "intent" or "copy"
    std::optional<TFileIdentity> Copy;   // from "copied"
    std::optional<TFileIdentity> Moved;  // from "moved"
};

struct TFilingBatch {
    TFilingRecord Head; // the batch record (its Files are moved into Files below)
    std::vector<TFilingFile> Files; // in planned order
    std::vector<std::string> Dirs;  // created, in order
    bool Ended = false;
    bool Recovered = false;
};

struct TFilingJournalContents {
    std::vector<TFilingBatch> Batches;
    std::vector<size_t> DamagedLines;
};

// The filing journal's records as batches (components/JournalLines.h).
struct TFilingJournalTraits {
    using Record = TFilingRecord;
    using Batch = TFilingBatch;
    class Builder;
    static std::optional<TFilingRecord> Parse(std::string_view Line);
    static bool IsHead(const TFilingRecord& Record) { return Record.Type == TFilingRecordType::Batch; }
    static const std::string& Id(const TFilingRecord& Record) { return Record.Id; }
};

TFilingJournalContents ParseFilingJournal(std::string_view Text);
// A missing journal is empty; one that cannot be read raises EJournalError.
TFilingJournalContents ReadFilingJournal(const std::string& FileName);

// The batches of the journal file from the newest to the oldest, read from
// its end (memory of a few batches, whatever the journal's size), as it was
// when the reader was made (see TJournalBackwardReader).
class TFilingJournalBackwardReader {
public:
    explicit TFilingJournalBackwardReader(const std::string& FileName);
    ~TFilingJournalBackwardReader();
    TFilingJournalBackwardReader(const TFilingJournalBackwardReader&) = delete;
    TFilingJournalBackwardReader& operator=(const TFilingJournalBackwardReader&) = delete;
    bool Previous(TFilingBatch& Batch); // false once the oldest was given
    std::vector<size_t> DamagedLines(); // passed so far, 1-based, ascending

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

// "filing journal FILE: line N is damaged and was skipped" for each line.
std::vector<std::string> FilingDamagedLineMessages(const std::string& FileName, const std::vector<size_t>& Lines);

// Appends records under an exclusive lock on FileName + ".lock".
class TFilingJournal {
public:
    // A new batch record trims the journal first, by the rename journal's
    // rule (TJournalLimits): only batches nothing needs any more are dropped.
    explicit TFilingJournal(std::string FileName = DefaultFilingJournalFileName(), TJournalLimits Limits = {});
    ~TFilingJournal();
    TFilingJournal(const TFilingJournal&) = delete;
    TFilingJournal& operator=(const TFilingJournal&) = delete;

    const std::string& FileName() const { return fileName_; }
    // Buffers Record; with Sync writes out everything buffered and flushes it
    // to disk before returning. Raises EJournalError naming the journal.
    void Write(const TFilingRecord& Record, bool Sync);
    void Flush(bool Sync);
    // Problems met trimming (damaged lines, a journal kept aside), each once.
    std::vector<std::string> TakeWarnings();

private:
    void Trim();

    std::string fileName_;
    TJournalLimits limits_;
    std::vector<std::string> warnings_;
    std::string buffer_;
    size_t buffered_ = 0;
    int fd_ = -1;
};

// A new batch record of the running process.
TFilingRecord NewFilingBatchRecord(const std::string& Kind, const std::string& Folder, const std::string& Dest,
                                   TPathPairs Files);
// Whether the process that wrote Batch is still running it.
bool FilingBatchIsLive(const TFilingRecord& Batch);
// Whether an undo batch ("unfile") took its batch back for good: it ran to
// its own end (not ended by a later run's recovery) and no stop left a file
// of it for the next undo (a "failed" step with UndoReasonStopped).
bool FilingUndoRanToItsEnd(const TFilingBatch& Unfile);
// Whether a file of a filing batch is still where the batch put it, as the
// batch left it: an undo that could not bring it back (an I/O error, the old
// name taken) leaves it for the next undo, as the rename undo does.
bool FilingFileLeftInPlace(const TFilingFile& File);
