// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/Undo.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "components/Filing.h"
#include "components/JournalLines.h"
#include "runtime/Exceptions.h"
#include "runtime/FileIO.h"
#include "runtime/FileOps.h"

const char* const UndoReasonMissing = "no longer there";
const char* const UndoReasonTaken = "old name taken";
const char* const UndoReasonChanged = "replaced or changed since the rename";
const char* const UndoReasonStopped = "stopped before this file";

namespace {

bool Exists(const std::string& path)
{
    struct stat info{};
    return ::lstat(path.c_str(), &info) == 0;
}

std::string InFolder(const std::string& folder, const std::string& name)
{
    return folder.size() > 0 && folder.back() == '/' ? folder + name : folder + "/" + name;
}

enum class TDecision {
    Nothing,         // the file was never renamed: nothing to take back
    Restore,         // rename it back
    Skip,            // report it, touch nothing
    EarlierRestored, // an undo killed part-way already gave it its old name
};

struct TPlannedStep {
    TDecision Decision;
    std::string NewName;
    std::string OldName;
    std::string Reason;
    const TJournalFileEntry* File = nullptr; // the batch's record of it
};

// What undo batches before this one did to batch id: the old names they
// restored for sure, those whose restore may or may not have happened, and
// those they left for an obstacle that may go (the old name was taken, the
// restore failed with an I/O error, ...).
struct TEarlierUndos {
    std::unordered_set<std::string> Restored;
    std::unordered_set<std::string> Unknown;
    std::unordered_set<std::string> Blocked;
    std::unordered_set<std::string> Decided; // names a later undo had the last word on
    bool Complete = false; // an undo ran to its end
    // Taken back for good: an undo ran to its end and left no file blocked.
    bool TakenBack() const { return Complete && Blocked.empty(); }
};

// Every undo batch's work, by the id of the batch it took back.
using TUndoSummaries = std::unordered_map<std::string, TEarlierUndos>;

// Adds an undo batch's work; undo batches come newest first (as the journal
// is read from its end, where they stand after the batch they take back).
void AddUndoNewestFirst(TUndoSummaries& summaries, const TJournalBatch& undo)
{
    TEarlierUndos& earlier = summaries[undo.Undoes];
    earlier.Complete = earlier.Complete || undo.Ended;
    // An undo batch renames (batch's new name) -> (batch's old name).
    for (auto it = undo.Files.rbegin(); it != undo.Files.rend(); ++it) {
        const TJournalFileEntry& file = *it;
        if (file.State == TJournalFileState::Renamed)
            earlier.Restored.insert(file.NewName);
        else if (file.State == TJournalFileState::Planned || file.State == TJournalFileState::Attempted)
            earlier.Unknown.insert(file.NewName);
        // The last word on a file counts (blocked once, restored later): met first here.
        if (!earlier.Decided.insert(file.NewName).second)
            continue;
        if (file.State == TJournalFileState::Failed && file.Reason != UndoReasonMissing &&
            file.Reason != UndoReasonChanged)
            // Its old name was taken, or the restore failed for a reason
            // that may pass (an I/O error, a full disk, a denied
            // permission): a later undo tries it again.
            earlier.Blocked.insert(file.NewName);
    }
}

TUndoSummaries SummarizeUndos(const TJournalContents& contents)
{
    TUndoSummaries summaries;
    for (auto it = contents.Batches.rbegin(); it != contents.Batches.rend(); ++it)
        if (it->IsUndo())
            AddUndoNewestFirst(summaries, *it);
    return summaries;
}

const TEarlierUndos& EarlierUndos(const TUndoSummaries& summaries, const std::string& id)
{
    static const TEarlierUndos none;
    auto found = summaries.find(id);
    return found == summaries.end() ? none : found->second;
}

bool HasAnythingToTakeBack(const TJournalBatch& batch)
{
    return std::any_of(batch.Files.begin(), batch.Files.end(),
                       [](const TJournalFileEntry& f) { return f.State != TJournalFileState::Failed; });
}

// The batch to take back, read from the journal's end: the one --batch
// names, or the newest of the folder with something left to take back.
// Only what comes after it in the journal is read.
struct TChosenBatch {
    bool Found = false;
    TJournalBatch Batch;
    TEarlierUndos Earlier;
    std::vector<std::string> Warnings;
};

TChosenBatch ChooseBatch(const TUndoOptions& options, const std::string& journalFile)
{
    TChosenBatch chosen;
    const std::string folder = options.Folder.empty() ? std::string() : NormalizeJournalFolder(options.Folder);
    TJournalBackwardReader reader(journalFile, options.OnWaiting, options.Stopped);
    TUndoSummaries undos;
    TJournalBatch batch;
    while (!chosen.Found && reader.Previous(batch)) {
        if (!options.BatchId.empty() && batch.Id == options.BatchId) {
            if (batch.IsUndo())
                throw Exception("batch " + batch.Id + " is an undo; an undo is not taken back");
            if (EarlierUndos(undos, batch.Id).TakenBack())
                throw Exception("batch " + batch.Id + " has already been taken back");
            chosen.Found = true;
        } else if (batch.IsUndo()) {
            AddUndoNewestFirst(undos, batch);
        } else if (options.BatchId.empty() && (folder.empty() || batch.Folder == folder) &&
                   HasAnythingToTakeBack(batch) && !EarlierUndos(undos, batch.Id).TakenBack()) {
            chosen.Found = true;
        }
        if (chosen.Found) {
            chosen.Earlier = EarlierUndos(undos, batch.Id);
            chosen.Batch = std::move(batch);
        } else if (!batch.IsUndo()) {
            undos.erase(batch.Id); // no undo of it comes any more
        }
    }
    if (!chosen.Found && !options.BatchId.empty())
        throw Exception("no batch " + options.BatchId + " in the rename journal " + journalFile);
    chosen.Warnings = DamagedLineMessages(journalFile, reader.DamagedLines());
    return chosen;
}

// Whether the file under the batch's new name is the one the batch renamed:
// same device, inode, size and modification time as the journal recorded.
// Journals written before identities were kept cannot tell: yes.
bool IsTheRenamedFile(const std::string& folder, const TJournalFileEntry& file)
{
    if (!file.Identity)
        return true;
    TFileIdentity now;
    return GetFileIdentity(InFolder(folder, file.NewName), now) && now == *file.Identity;
}

// Decides, from the journal and the disk, what to do with each file of the
// batch, last renamed first.
std::vector<TPlannedStep> PlanUndo(const TEarlierUndos& earlier, const TJournalBatch& batch)
{
    std::vector<TPlannedStep> steps;
    for (auto it = batch.Files.rbegin(); it != batch.Files.rend(); ++it) {
        const TJournalFileEntry& file = *it;
        if (file.State == TJournalFileState::Failed || earlier.Restored.count(file.OldName))
            continue;
        bool newExists = Exists(InFolder(batch.Folder, file.NewName));
        bool oldExists = Exists(InFolder(batch.Folder, file.OldName));
        TPlannedStep step{TDecision::Nothing, file.NewName, file.OldName, {}, &file};
        if (earlier.Unknown.count(file.OldName) && oldExists && !newExists) {
            step.Decision = TDecision::EarlierRestored;
        } else if (file.State == TJournalFileState::Renamed) {
            if (!newExists)
                step = {TDecision::Skip, file.NewName, file.OldName, UndoReasonMissing, &file};
            else if (!IsTheRenamedFile(batch.Folder, file))
                step = {TDecision::Skip, file.NewName, file.OldName, UndoReasonChanged, &file};
            else if (oldExists)
                step = {TDecision::Skip, file.NewName, file.OldName, UndoReasonTaken, &file};
            else
                step.Decision = TDecision::Restore;
        } else {
            // The outcome never reached the journal: the disk tells whether the
            // rename happened. Only a file that was surely attempted is worth
            // a report when the disk is ambiguous.
            bool attempted = file.State == TJournalFileState::Attempted;
            if (newExists && !oldExists && !IsTheRenamedFile(batch.Folder, file))
                step = {TDecision::Skip, file.NewName, file.OldName, UndoReasonChanged, &file};
            else if (newExists && !oldExists)
                step.Decision = TDecision::Restore;
            else if (attempted && newExists && oldExists)
                step = {TDecision::Skip, file.NewName, file.OldName, UndoReasonTaken, &file};
            else if (attempted && !newExists && !oldExists)
                step = {TDecision::Skip, file.NewName, file.OldName, UndoReasonMissing, &file};
        }
        if (step.Decision != TDecision::Nothing)
            steps.push_back(std::move(step));
    }
    return steps;
}

} // namespace

int TUndoResult::Skipped() const
{
    return static_cast<int>(std::count_if(Lines.begin(), Lines.end(),
                                          [](const TUndoLine& l) { return l.Action == TUndoAction::Skipped; }));
}

TUndoResult UndoBatch(const std::string& journalFile, const TUndoOptions& options)
{
    TUndoResult result;
    TChosenBatch chosen = ChooseBatch(options, journalFile);
    result.Warnings = std::move(chosen.Warnings);
    if (!chosen.Found)
        return result;
    const TJournalBatch* batch = &chosen.Batch;
    result.Found = true;
    result.BatchId = batch->Id;
    result.Folder = batch->Folder;
    std::vector<TPlannedStep> steps = PlanUndo(chosen.Earlier, *batch);

    if (options.DryRun) {
        for (const TPlannedStep& step : steps) {
            if (step.Decision == TDecision::Restore)
                result.Lines.push_back({TUndoAction::WouldRestore, step.NewName, step.OldName, {}});
            else if (step.Decision == TDecision::Skip)
                result.Lines.push_back({TUndoAction::Skipped, step.NewName, step.OldName, step.Reason});
        }
        return result;
    }

    TRenameJournal journal(journalFile, options.Limits);
    journal.SetSource(options.Source);
    journal.OnWaiting = options.OnWaiting;
    journal.Stopped = options.Stopped;
    journal.SetUndoes(batch->Id);
    TNamePairs planned;
    for (const TPlannedStep& step : steps)
        if (step.Decision == TDecision::Restore || step.Decision == TDecision::EarlierRestored)
            planned.emplace_back(step.NewName, step.OldName);
    journal.BeginBatch(batch->Folder, planned); // throws: nothing renamed
    result.UndoBatchId = journal.BatchId();

    for (const TPlannedStep& step : steps) {
        // Stopped: the files not reached are recorded as left for a reason
        // that may pass, so the batch stays open for the next undo.
        if (!result.Stopped && options.Stopped && step.Decision != TDecision::Nothing && options.Stopped())
            result.Stopped = true;
        if (result.Stopped && (step.Decision == TDecision::Restore || step.Decision == TDecision::Skip)) {
            journal.RecordOutcome(step.NewName, step.OldName, false, UndoReasonStopped);
            continue;
        }
        switch (step.Decision) {
        case TDecision::Restore: {
            journal.RecordIntent(step.NewName, step.OldName);
            int error = 0;
            // Looked at again just before: the batch may have run a while.
            bool same = IsTheRenamedFile(batch->Folder, *step.File);
            bool restored = same && RenameFile(InFolder(batch->Folder, step.NewName),
                                               InFolder(batch->Folder, step.OldName), &error);
            std::string reason;
            if (!same)
                reason = UndoReasonChanged;
            else if (!restored)
                reason = error == EEXIST ? UndoReasonTaken
                         : error == ENOENT ? UndoReasonMissing
                                           : FileErrorText(error);
            journal.RecordOutcome(step.NewName, step.OldName, restored, reason);
            result.Lines.push_back({restored ? TUndoAction::Restored : TUndoAction::Skipped, step.NewName,
                                    step.OldName, reason});
            break;
        }
        case TDecision::EarlierRestored:
            journal.RecordOutcome(step.NewName, step.OldName, true, "restored by an earlier undo");
            break;
        case TDecision::Skip:
            // Recorded, so that a file left for a taken old name keeps the
            // batch open for a later undo.
            journal.RecordOutcome(step.NewName, step.OldName, false, step.Reason);
            result.Lines.push_back({TUndoAction::Skipped, step.NewName, step.OldName, step.Reason});
            break;
        case TDecision::Nothing:
            break;
        }
    }
    journal.EndBatch();
    for (std::string& warning : journal.TakeWarnings())
        result.Warnings.push_back(std::move(warning));
    return result;
}

namespace {

// Whether an undo could still take something back from a rename batch: not
// taken back for good, with a file not known restored that still has its new
// name or sits in a folder that cannot be looked at now (a disk not mounted).
bool StillOpen(const TJournalBatch& batch, const TEarlierUndos& earlier)
{
    if (earlier.TakenBack())
        return false;
    struct stat folder {};
    const bool folderThere = ::stat(batch.Folder.c_str(), &folder) == 0 && S_ISDIR(folder.st_mode) &&
                             ::access(batch.Folder.c_str(), X_OK) == 0;
    return std::any_of(batch.Files.begin(), batch.Files.end(), [&](const TJournalFileEntry& f) {
        // A file a batch that ran to its end never tried was not renamed.
        if (f.State == TJournalFileState::Failed || earlier.Restored.count(f.OldName) ||
            (batch.Ended && f.State == TJournalFileState::Planned))
            return false;
        return !folderThere || Exists(InFolder(batch.Folder, f.NewName));
    });
}

} // namespace

std::vector<std::string> BatchesStillOpen(const TJournalContents& contents)
{
    const TUndoSummaries undos = SummarizeUndos(contents);
    std::vector<std::string> open;
    for (const TJournalBatch& batch : contents.Batches)
        if (!batch.IsUndo() && StillOpen(batch, EarlierUndos(undos, batch.Id)))
            open.push_back(batch.Id);
    return open;
}

int RenameJournalTrimBatches(int fd, std::vector<TJournalTrimBatch>& batches, std::vector<size_t>& damaged)
{
    TJournalBackwardReader reader(fd);
    TUndoSummaries undos;
    TJournalBatch batch;
    while (reader.Previous(batch)) { // raises EJournalError when the journal cannot be read
        TJournalTrimBatch trim{batch.Id, batch.IsUndo() ? batch.Undoes : std::string(), batch.UnixTime, false,
                               reader.LastBytes()};
        if (batch.IsUndo()) {
            AddUndoNewestFirst(undos, batch);
        } else {
            trim.Open = StillOpen(batch, EarlierUndos(undos, batch.Id));
            undos.erase(batch.Id);
        }
        batches.push_back(std::move(trim));
    }
    std::reverse(batches.begin(), batches.end());
    damaged = reader.DamagedLines();
    return 0;
}

namespace {

THistoryEntry HistoryEntryOf(const TJournalBatch& batch, const TEarlierUndos& undone)
{
    THistoryEntry entry;
    entry.Id = batch.Id;
    entry.Time = batch.Time;
    entry.UnixTime = batch.UnixTime;
    entry.Folder = batch.Folder;
    entry.Source = batch.Source;
    // Both counts come from the batch's own files: a file an undo gave
    // back was renamed, even when its outcome never reached the journal
    // (a batch killed part-way), and each file counts once.
    for (const TJournalFileEntry& file : batch.Files) {
        bool restored = file.State != TJournalFileState::Failed && undone.Restored.count(file.OldName) != 0;
        entry.Restored += restored ? 1 : 0;
        entry.Renamed += restored || file.State == TJournalFileState::Renamed ? 1 : 0;
        entry.Failed += file.State == TJournalFileState::Failed ? 1 : 0;
    }
    entry.Complete = batch.Ended;
    entry.TakenBack = undone.TakenBack();
    return entry;
}

} // namespace

std::vector<THistoryEntry> JournalHistory(const TJournalContents& contents)
{
    const TUndoSummaries undos = SummarizeUndos(contents);
    std::vector<THistoryEntry> history;
    for (auto it = contents.Batches.rbegin(); it != contents.Batches.rend(); ++it)
        if (!it->IsUndo())
            history.push_back(HistoryEntryOf(*it, EarlierUndos(undos, it->Id)));
    return history;
}

struct THistoryReader::TImpl {
    TImpl(const std::string& renameJournal, const std::string& filingJournal, const TJournalWaitNotice& onWaiting)
        : renameFile(renameJournal), renames(renameJournal, onWaiting)
    {
        if (!filingJournal.empty())
            filings.emplace(filingJournal);
    }

    // The next rename batch's entry, newest first.
    bool NextRename(THistoryEntry& entry)
    {
        TJournalBatch batch;
        while (renames.Previous(batch)) {
            if (batch.IsUndo()) {
                AddUndoNewestFirst(undos, batch);
                continue;
            }
            entry = HistoryEntryOf(batch, EarlierUndos(undos, batch.Id));
            undos.erase(batch.Id);
            return true;
        }
        return false;
    }

    std::string renameFile;
    TJournalBackwardReader renames;
    TUndoSummaries undos;
    std::optional<TFilingHistoryReader> filings;
    std::optional<THistoryEntry> nextRename, nextFiling;
    bool renamesDone = false, filingsDone = false;
};

THistoryReader::THistoryReader(const std::string& renameJournal, const std::string& filingJournal,
                               const TJournalWaitNotice& onWaiting)
    : impl_(std::make_unique<TImpl>(renameJournal, filingJournal, onWaiting))
{
}

THistoryReader::~THistoryReader() = default;

bool THistoryReader::Next(THistoryEntry& entry)
{
    TImpl& d = *impl_;
    THistoryEntry read;
    if (!d.nextRename && !d.renamesDone) {
        if (d.NextRename(read))
            d.nextRename = std::move(read);
        else
            d.renamesDone = true;
    }
    if (!d.nextFiling && !d.filingsDone) {
        if (d.filings && d.filings->Previous(read))
            d.nextFiling = std::move(read);
        else
            d.filingsDone = true;
    }
    // Newest first: the later of the two (a rename batch on a tie).
    std::optional<THistoryEntry>* take = &d.nextRename;
    if (d.nextFiling && (!d.nextRename || d.nextFiling->UnixTime > d.nextRename->UnixTime))
        take = &d.nextFiling;
    if (!*take)
        return false;
    entry = std::move(**take);
    take->reset();
    return true;
}

std::vector<std::string> THistoryReader::Warnings()
{
    std::vector<std::string> warnings = DamagedLineMessages(impl_->renameFile, impl_->renames.DamagedLines());
    if (impl_->filings)
        for (std::string& warning : impl_->filings->Warnings())
            warnings.push_back(std::move(warning));
    return warnings;
}

TJournalHistory ReadJournalHistory(const std::string& journalFile, const TJournalWaitNotice& onWaiting)
{
    THistoryReader reader(journalFile, {}, onWaiting);
    TJournalHistory history;
    THistoryEntry entry;
    while (reader.Next(entry))
        history.Entries.push_back(std::move(entry));
    history.Warnings = reader.Warnings();
    return history;
}

const char* UndoActionName(TUndoAction Action)
{
    switch (Action) {
    case TUndoAction::Restored: return "restored";
    case TUndoAction::WouldRestore: return "would-restore";
    case TUndoAction::Skipped: break;
    }
    return "skipped";
}

TRestoredFiles::TRestoredFiles(std::string JournalFile, const std::string& Folder)
    : journal_(std::move(JournalFile)), folder_(NormalizeJournalFolder(Folder))
{
}

void TRestoredFiles::Refresh()
{
    TFileIdentity now;
    if (!GetFileIdentity(journal_, now)) {
        read_.reset();
        return;
    }
    // Rewritten (trimmed) or cut short: read again from the start.
    if (!read_ || read_->Device != now.Device || read_->Inode != now.Inode ||
        static_cast<uint64_t>(now.Size) < offset_) {
        offset_ = 0;
        undoIds_.clear();
        files_.clear();
        pending_.clear();
    }
    read_ = now;
    if (static_cast<uint64_t>(now.Size) == offset_)
        return;
    const int fd = ::open(journal_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    TJournalLinesForward lines{TJournalBytes(fd), offset_};
    TJournalLine read;
    while (lines.Next(read, true)) { // a line still being written: read it next time
        offset_ = lines.Offset();
        if (read.TooLong)
            continue;
        const std::string_view line = read.Text;
        // Only undo batches and their outcomes matter: others are not parsed.
        const bool batch = line.rfind("{\"type\":\"batch\"", 0) == 0 && line.find("\"kind\":\"undo\"") != std::string::npos;
        const bool outcome = line.rfind("{\"type\":\"outcome\"", 0) == 0;
        const bool end = line.rfind("{\"type\":\"end\"", 0) == 0;
        if (!batch && !outcome && !end)
            continue;
        if (!batch) {
            // The id follows the type in every line the journal writes: a
            // record of a batch that is no undo of this folder is not parsed.
            static constexpr std::string_view IdKey = ",\"id\":\"";
            const size_t at = line.find(IdKey);
            const size_t from = at == std::string::npos ? at : at + IdKey.size();
            const size_t to = from == std::string::npos ? from : line.find('"', from);
            if (to != std::string::npos && !undoIds_.count(std::string(line.substr(from, to - from))))
                continue;
        }
        auto record = ParseJournalLine(line);
        if (!record)
            continue;
        if (record->Type == TJournalRecordType::Batch) {
            if (record->Kind != "undo" || record->Folder != folder_)
                continue;
            undoIds_.insert(record->Id);
            // Its outcomes reach the journal in groups, after the renames:
            // until then the names it gives back count as restored.
            TPending& pending = pending_[record->Id];
            pending.Sequence = ++sequence_;
            for (const auto& [from, to] : record->Files)
                pending.Names.insert(to);
        } else if (!undoIds_.count(record->Id)) {
            continue;
        } else if (record->Type == TJournalRecordType::End) {
            // Its renames are over, and so are those of an earlier undo that
            // was killed part-way (this one completed it).
            auto ended = pending_.find(record->Id);
            if (ended != pending_.end()) {
                const uint64_t last = ended->second.Sequence;
                std::erase_if(pending_, [&](const auto& p) { return p.second.Sequence <= last; });
            }
        } else if (record->Type == TJournalRecordType::Outcome) {
            auto pending = pending_.find(record->Id);
            if (pending != pending_.end())
                pending->second.Names.erase(record->NewName);
            if (record->Renamed && record->Identity)
                files_[record->NewName] = *record->Identity;
        }
    }
    ::close(fd);
}

bool TRestoredFiles::IsRestored(const std::string& Name)
{
    Refresh();
    for (const auto& [id, pending] : pending_)
        if (pending.Names.count(Name))
            return true;
    auto found = files_.find(Name);
    if (found == files_.end())
        return false;
    TFileIdentity now;
    return GetFileIdentity(InFolder(folder_, Name), now) && now == found->second;
}
