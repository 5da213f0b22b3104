// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/FilingPlan.h"

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "components/HeaderReadAhead.h"
#include "components/Journal.h"
#include "components/RenameWorkflow.h"
#include "runtime/Application.h"
#include "runtime/FileOps.h"
#include "runtime/SysUtils.h"

namespace {

bool NameLessNoCase(const std::string& a, const std::string& b)
{
    const int c = CompareText(a, b);
    return c != 0 ? c < 0 : a < b;
}

} // namespace

bool PassesListingFilter(const THeaderInfo& Header)
{
    return !Header.ImageFormat.empty() && Header.AcquisitionTime > EarliestAcquisition &&
           Header.AcquisitionTime < LatestAcquisition();
}

std::string FilingTarget(const TFilingPattern& Pattern, const std::string& Dest, const std::string& FileName,
                         const THeaderInfo& Header, std::string& Problem)
{
    TFilingFields fields;
    fields.AcquisitionTime = Header.AcquisitionTime;
    fields.SatelliteCode = Header.SatelliteCode;
    fields.ImageFormat = Header.ImageFormat;
    try {
        const std::string folder = Pattern.Expand(fields);
        const std::string name = TRenameWorkflow::ProposedFileName(Header.StandardName, ExtractFileExt(FileName));
        if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
            Problem = "the proposed name is not a plain file name";
            return {};
        }
        return (Dest == "/" ? Dest : Dest + "/") + folder + "/" + name;
    } catch (const Exception& e) {
        Problem = e.Message();
        return {};
    }
}

TFilingPlan PlanFiling(const std::vector<std::string>& Folders, const TFilingPattern& Pattern, const std::string& Dest,
                       int ReadAheadThreads, const std::function<void(int)>& OnExamined)
{
    TFilingPlan plan;
    THeaderReadAhead readAhead(ReadAheadThreads, [](std::string_view) { return true; });
    int examined = 0;
    for (const std::string& folder : Folders) {
        const std::string dir = folder == "/" ? folder : folder + "/";
        std::vector<std::string> names;
        TSearchRec rec;
        int r = FindFirst(dir + TRenameWorkflow::ListingMask, faAnyFile, rec);
        for (; r == 0; r = FindNext(rec))
            if ((rec.Attr & (faDirectory | faHidden | faVolumeID)) == 0)
                names.push_back(rec.Name);
        FindClose(rec);
        // A listing ends with ENOENT; a folder that could not be read must
        // not pass for an empty one, which would file nothing and succeed.
        if (r != ENOENT) {
            plan.Problems.push_back("cannot read folder " + folder + ": " + FileErrorText(r));
            continue;
        }
        std::sort(names.begin(), names.end(), NameLessNoCase);
        if (names.empty())
            continue;
        struct TEnd {
            THeaderReadAhead& ReadAhead;
            bool Begun;
            ~TEnd()
            {
                if (Begun)
                    ReadAhead.End();
            }
        } end{readAhead, readAhead.Threads() > 1};
        if (end.Begun)
            readAhead.Begin(dir, names);
        for (const std::string& name : names) {
            if (StopRequested())
                throw EAbort(StoppedReason);
            if (OnExamined)
                OnExamined(examined);
            ++examined;
            const std::string path = dir + name;
            THeaderInfo header;
            try {
                if (!end.Begun || !readAhead.Take(path, header))
                    ReadHeaderInfo(path, header);
            } catch (const EAbort&) {
                throw;
            } catch (const Exception& e) {
                plan.Problems.push_back(e.Message());
                continue;
            }
            if (!PassesListingFilter(header))
                continue;
            std::string problem;
            const std::string target = FilingTarget(Pattern, Dest, name, header, problem);
            if (target.empty()) {
                plan.Problems.push_back(path + ": " + problem);
                continue;
            }
            if (target == path)
                continue; // filed already
            // The file as it was when its header was read: a file changed
            // since is not moved.
            plan.Moves.push_back(TFilingMove{path, target, header.Identity});
        }
    }
    return plan;
}

std::vector<TRenameOutcome> FileRows(TFilingJournal& Journal, const TFilingPattern& Pattern, const std::string& Folder,
                                     const std::string& Dest, const TRenameWorkflow& Rows, const TFilingOptions& Options)
{
    const std::string dir = Folder == "/" ? Folder : Folder + "/";
    const std::string destDir = Dest == "/" ? Dest : Dest + "/";
    std::vector<TRenameOutcome> outcomes;
    std::vector<TFilingMove> moves;
    std::vector<size_t> moveRow; // outcomes index of each move
    for (size_t i = 0; i < Rows.FileNames().size(); ++i) {
        const std::string& name = Rows.FileNames()[i];
        TRenameOutcome row;
        row.OldName = name;
        row.Attempted = true;
        // The header the row was listed for; read here only for a row
        // added without it.
        const THeaderInfo* kept = i < Rows.Headers().size() ? Rows.Headers()[i].get() : nullptr;
        THeaderInfo read;
        std::string problem;
        if (!kept) {
            try {
                ReadHeaderInfo(dir + name, read);
            } catch (const Exception& e) {
                problem = e.Message();
            }
        }
        const THeaderInfo& header = kept ? *kept : read;
        std::string target;
        if (problem.empty())
            target = FilingTarget(Pattern, Dest, name, header, problem);
        if (target.empty()) {
            row.Reason = problem.empty() ? "the header gives no name" : problem;
            outcomes.push_back(std::move(row));
            continue;
        }
        if (target == dir + name)
            continue; // filed already
        row.NewName = target.substr(destDir.size());
        // The file as it was when the header that gave the target was read.
        TFilingMove move{dir + name, target, header.Identity};
        moveRow.push_back(outcomes.size());
        moves.push_back(std::move(move));
        outcomes.push_back(std::move(row));
    }
    const std::vector<TFilingOutcome> done = RunFiling(Journal, Folder, Dest, moves, Options);
    for (size_t i = 0; i < done.size(); ++i) {
        TRenameOutcome& row = outcomes[moveRow[i]];
        row.Attempted = done[i].Attempted;
        row.Renamed = done[i].Moved;
        row.Reason = done[i].Reason;
    }
    return outcomes;
}

TRestoredFilings::TRestoredFilings(std::string JournalFile, const std::string& Folder)
    : journal_(std::move(JournalFile)), folder_(NormalizeJournalFolder(Folder))
{
}

bool TRestoredFilings::IsRestored(const std::string& Name)
{
    Refresh();
    const std::string path = (folder_ == "/" ? folder_ : folder_ + "/") + Name;
    for (const auto& [id, paths] : bringing_)
        if (paths.count(path) && FilingBatchIsLive(undos_[id]))
            return true;
    auto found = files_.find(path);
    TFileIdentity now;
    return found != files_.end() && GetFileIdentity(path, now) && now == found->second;
}

void TRestoredFilings::Take(const TFilingRecord& Record)
{
    switch (Record.Type) {
    case TFilingRecordType::Batch:
        if (Record.Kind == "unfile" && Record.Folder == folder_) {
            undos_[Record.Id] = Record;
            std::set<std::string>& paths = bringing_[Record.Id];
            for (const auto& [from, to] : Record.Files)
                paths.insert(to);
        }
        break;
    case TFilingRecordType::Step: {
        auto undo = bringing_.find(Record.Id);
        if (undo == bringing_.end())
            break;
        if (Record.Step == "moved" && Record.Identity)
            files_[Record.New] = *Record.Identity;
        if (Record.Step == "moved" || Record.Step == "failed")
            undo->second.erase(Record.New);
        break;
    }
    case TFilingRecordType::End:
        undos_.erase(Record.Id);
        bringing_.erase(Record.Id);
        break;
    case TFilingRecordType::Dir:
        break;
    }
}

void TRestoredFilings::Refresh()
{
    const int fd = ::open(journal_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return;
    }
    const bool same = read_ && read_->Device == info.st_dev && read_->Inode == info.st_ino &&
                      static_cast<uint64_t>(info.st_size) >= offset_;
    if (!same) {
        offset_ = 0;
        undos_.clear();
        bringing_.clear();
        files_.clear();
    }
    read_ = TFileIdentity{info.st_dev, info.st_ino, info.st_size, 0};
    std::string text;
    if (static_cast<uint64_t>(info.st_size) > offset_) {
        text.resize(static_cast<size_t>(static_cast<uint64_t>(info.st_size) - offset_));
        size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::pread(fd, text.data() + got, text.size() - got, static_cast<off_t>(offset_ + got));
            if (n <= 0)
                break;
            got += static_cast<size_t>(n);
        }
        text.resize(got);
    }
    ::close(fd);
    // Whole lines only: a line being written is taken next time.
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        if (std::optional<TFilingRecord> record = ParseFilingLine(std::string_view(text).substr(start, end - start)))
            Take(*record);
    offset_ += start;
}
