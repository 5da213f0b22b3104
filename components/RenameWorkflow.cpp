// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/RenameWorkflow.h"

#include <cerrno>
#include <set>

#include <sys/stat.h>

#include "components/HeaderReadAhead.h"
#include "runtime/Application.h"
#include "runtime/FileIO.h"
#include "runtime/FileOps.h"

const char* const StoppedReason = "stopped";
const char* const ChangedSinceReadReason = "changed since it was read";

namespace {

const char* const ReasonNotPlain = "the proposed name is not a plain file name";
const char* const ReasonExists = "a file of that name exists";

bool EntryExists(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Names shorter than 5 characters, or with '-' as 5th character (standard
// names begin with a four-digit year and a hyphen), are skipped unopened.
bool NeedsHeader(std::string_view name)
{
    return name.size() >= 5 && name[4] != '-';
}

} // namespace

TDateTime LatestAcquisition()
{
    return Now() + 1.0;
}

TRenameWorkflow::TRenameWorkflow() = default;

void TRenameWorkflow::ClearRows()
{
    fileNames_.clear();
    proposedNames_.clear();
    identities_.clear();
    headers_.clear();
}

std::string TRenameWorkflow::FolderPath() const
{
    return IncludeTrailingPathDelimiter(Folder);
}

void TStoppableJournal::BeginBatch(const std::string& Folder,
                                   const std::vector<std::pair<std::string, std::string>>& Planned)
{
    if (StopRequested())
        throw EAbort(StoppedReason);
    inner_.BeginBatch(Folder, Planned);
}

void TStoppableJournal::RecordIntent(const std::string& OldName, const std::string& NewName)
{
    if (StopRequested())
        throw EAbort(StoppedReason);
    inner_.RecordIntent(OldName, NewName);
}

void TRunStop::Request() noexcept
{
    std::lock_guard<std::mutex> lock(mutex_);
    flag_ = true;
    if (readAhead_)
        readAhead_->Cancel();
}

void TRunStop::Check(const std::string& Why) const
{
    if (Requested() || StopRequested())
        throw EAbort(Why);
}

void TRunStop::Attach(THeaderReadAhead* ReadAhead)
{
    std::lock_guard<std::mutex> lock(mutex_);
    readAhead_ = ReadAhead;
}

void TRunJournal::BeginBatch(const std::string& Folder, const std::vector<std::pair<std::string, std::string>>& Planned)
{
    stop_.Check(StoppedReason);
    done_ = 0;
    inner_.BeginBatch(Folder, Planned);
}

void TRunJournal::RecordIntent(const std::string& OldName, const std::string& NewName)
{
    stop_.Check(StoppedReason);
    inner_.RecordIntent(OldName, NewName);
}

void TRunJournal::RecordOutcome(const std::string& OldName, const std::string& NewName, bool Renamed,
                                const std::string& Reason)
{
    inner_.RecordOutcome(OldName, NewName, Renamed, Reason);
    ++done_;
    if (OnOutcome)
        OnOutcome(done_);
}

void TRenameWorkflow::SetUpScanner(TTreeScanner& Scanner, const std::string& Folder)
{
    Scanner.SetFileMask(ListingMask);
    Scanner.SetFileMaskCommaText(ListingMask);
    Scanner.Recursive = false;
    Scanner.InitialDirectory = Folder;
}

bool TRenameWorkflow::MayBeListed(std::string_view FileName)
{
    return MatchesMask(FileName, ListingMask) && NeedsHeader(FileName);
}

namespace {

// Tells the number of a folder's files before their events, and passes the
// folder on to the read-ahead, if any.
class TCountingLookahead : public TScanLookahead {
public:
    TCountingLookahead(TScanLookahead* inner, const std::function<void(int)>& onListed)
        : inner_(inner), onListed_(onListed)
    {
    }
    void Begin(const std::string& Dir, const std::vector<std::string>& Names) override
    {
        if (onListed_)
            onListed_(static_cast<int>(Names.size()));
        if (inner_)
            inner_->Begin(Dir, Names);
    }
    void End() noexcept override
    {
        if (inner_)
            inner_->End();
    }

private:
    TScanLookahead* inner_;
    const std::function<void(int)>& onListed_;
};

} // namespace

void TRenameWorkflow::RescanFolder()
{
    TTreeScanner scanner;
    SetUpScanner(scanner, Folder);
    scanner.OnFileFound = [this, &scanner](TObject*) { FileFound(scanner.FileFound()); };
    THeaderReadAhead readAhead(ReadAheadThreads, NeedsHeader);
    TCountingLookahead counting(readAhead.Threads() > 1 ? &readAhead : nullptr, OnFolderListed);
    if (readAhead.Threads() > 1)
        readAhead_ = &readAhead;
    if (OnFolderListed || readAhead_)
        scanner.Lookahead = &counting;
    if (Stop && readAhead_)
        Stop->Attach(readAhead_);
    struct TDetach {
        THeaderReadAhead*& ReadAhead;
        TRunStop* Stop;
        ~TDetach()
        {
            if (Stop)
                Stop->Attach(nullptr);
            ReadAhead = nullptr;
        }
    } detach{readAhead_, Stop};
    ClearRows();
    examined_ = 0;
    scanner.Search();
}

void TRenameWorkflow::FileFound(const std::string& FullPath)
{
    const std::string name = ExtractFileName(FullPath);
    if (Stop)
        Stop->Check("The search of " + ExtractFilePath(FullPath) + " was stopped");
    if (OnFileExamined)
        OnFileExamined(examined_, FullPath);
    ++examined_;
    if (!NeedsHeader(name))
        return;

    THeaderInfo header;
    try {
        if (!readAhead_ || !readAhead_->Take(FullPath, header))
            ReadHeaderInfo(FullPath, header, Cancel ? Cancel : (Stop ? &Stop->flag_ : nullptr));
    } catch (const EAbort&) {
        throw;   // a stop request ends the scan whatever the caller does with failures
    } catch (const Exception& e) {
        if (OnFileError && OnFileError(FullPath, e))
            return;
        throw;
    }
    if (header.ImageFormat.empty())
        return;
    if (!(header.AcquisitionTime > EarliestAcquisition && header.AcquisitionTime < LatestAcquisition()))
        return;
    AddRow(name, header.StandardName, header.Identity);
}

void TRenameWorkflow::AddRow(const std::string& FileName, const std::string& ProposedName)
{
    AddRow(FileName, ProposedName, std::nullopt);
}

void TRenameWorkflow::AddRow(const std::string& FileName, const std::string& ProposedName,
                             const std::optional<TFileIdentity>& Identity)
{
    fileNames_.push_back(FileName);
    proposedNames_.push_back(ProposedName);
    identities_.push_back(Identity);
    headers_.push_back(nullptr);
    if (OnRowAdded)
        OnRowAdded(FileName, ProposedName);
}

void TRenameWorkflow::AddRow(const std::string& FileName, const THeaderInfo& Header)
{
    fileNames_.push_back(FileName);
    proposedNames_.push_back(Header.StandardName);
    identities_.push_back(Header.Identity);
    headers_.push_back(std::make_shared<const THeaderInfo>(Header));
    if (OnRowAdded)
        OnRowAdded(FileName, Header.StandardName);
}

bool TRenameWorkflow::StillAsRead(size_t Row) const
{
    if (Row >= identities_.size() || !identities_[Row])
        return true;
    TFileIdentity now;
    return GetFileIdentity(FolderPath() + fileNames_[Row], now) && now == *identities_[Row];
}

std::string TRenameWorkflow::ProposedFileName(const std::string& ProposedName, const std::string& Ext)
{
    return ChangeFileExt(ProposedName, Ext);
}

std::vector<TRenameOutcome> TRenameWorkflow::PlanRenames() const
{
    std::vector<TRenameOutcome> plan;
    plan.reserve(fileNames_.size());
    for (size_t i = 0; i < fileNames_.size(); ++i) {
        TRenameOutcome row;
        row.OldName = fileNames_[i];
        // The extension as it is on disk, case kept: 00001234.MPD -> <name>.MPD.
        row.NewName = ProposedFileName(proposedNames_[i], ExtractFileExt(fileNames_[i]));
        plan.push_back(std::move(row));
    }
    return plan;
}

std::vector<TRenameOutcome> TRenameWorkflow::PredictRenames() const
{
    const std::string folder = FolderPath();
    std::vector<TRenameOutcome> outcomes = PlanRenames();
    std::set<std::string> taken; // names the rows so far gave to files
    std::set<std::string> freed; // names the rows so far took files from
    const auto exists = [&](const std::string& name) {
        return taken.count(name) != 0 || (freed.count(name) == 0 && EntryExists(folder + name));
    };
    for (size_t i = 0; i < outcomes.size(); ++i) {
        TRenameOutcome& row = outcomes[i];
        row.Attempted = true;
        if (!IsPlainFileName(row.OldName) || !IsPlainFileName(row.NewName)) {
            row.Reason = ReasonNotPlain;
        } else if (!exists(row.OldName)) {
            row.Reason = FileErrorText(ENOENT);
        } else if (!StillAsRead(i)) {
            row.Reason = ChangedSinceReadReason;
        } else if (exists(row.NewName)) {
            row.Reason = ReasonExists;
        } else {
            row.Renamed = true;
            taken.erase(row.OldName);
            freed.insert(row.OldName);
            freed.erase(row.NewName);
            taken.insert(row.NewName);
        }
    }
    return outcomes;
}

std::vector<TRenameOutcome> TRenameWorkflow::RenameRows(IRenameJournal* Journal)
{
    const std::string folder = FolderPath();
    std::vector<TRenameOutcome> outcomes = PlanRenames();   // row count taken once

    auto stopFrom = [&](size_t first, const std::string& reason) {
        for (size_t k = first; k < outcomes.size(); ++k) {
            outcomes[k].Attempted = false;
            outcomes[k].Renamed = false;
            outcomes[k].Reason = reason;
        }
    };

    if (Journal) {
        std::vector<std::pair<std::string, std::string>> planned;
        planned.reserve(outcomes.size());
        for (const TRenameOutcome& o : outcomes)
            planned.emplace_back(o.OldName, o.NewName);
        try {
            Journal->BeginBatch(folder, planned);
        } catch (const EJournalError&) {
            throw; // nothing renamed: the caller tells why, once
        } catch (const EAbort& e) {
            stopFrom(0, e.Message()); // a stop request
            return outcomes;
        } catch (const std::exception& e) {
            stopFrom(0, std::string("not renamed: the rename journal failed: ") + e.what());
            return outcomes;
        }
    }

    for (size_t i = 0; i < outcomes.size(); ++i) {
        TRenameOutcome& row = outcomes[i];
        if (Journal) {
            try {
                Journal->RecordIntent(row.OldName, row.NewName);
            } catch (const EAbort& e) {
                stopFrom(i, e.Message());
                break;
            } catch (const std::exception& e) {
                stopFrom(i, std::string("not renamed: the rename journal failed: ") + e.what());
                break;
            }
        }
        row.Attempted = true;
        if (!IsPlainFileName(row.OldName) || !IsPlainFileName(row.NewName)) {
            row.Reason = ReasonNotPlain;
        } else if (!StillAsRead(i)) {
            // Replaced or written to since its header was read: the proposed
            // name may not be its name any more. The next scan reads it again.
            row.Reason = ChangedSinceReadReason;
        } else {
            int error = 0;
            row.Renamed = RenameFile(folder + row.OldName, folder + row.NewName, &error);
            if (!row.Renamed)
                row.Reason = error == EEXIST ? ReasonExists : FileErrorText(error);
        }
        if (Journal) {
            try {
                Journal->RecordOutcome(row.OldName, row.NewName, row.Renamed, row.Reason);
            } catch (const std::exception& e) {
                stopFrom(i + 1, std::string("not renamed: the rename journal failed: ") + e.what());
                break;
            }
        }
    }

    if (Journal) {
        try {
            Journal->EndBatch();
        } catch (...) {
            // Every rename is already done and recorded one by one.
        }
    }
    return outcomes;
}

std::vector<TRenameOutcome> TRenameWorkflow::RenameAndRescan(IRenameJournal* Journal)
{
    std::vector<TRenameOutcome> outcomes = RenameRows(Journal);
    RescanFolder();
    return outcomes;
}
