// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/FilingPlan.h"

#include <algorithm>

#include "components/HeaderReadAhead.h"
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
        for (int r = FindFirst(dir + TRenameWorkflow::ListingMask, faAnyFile, rec); r == 0; r = FindNext(rec))
            if ((rec.Attr & (faDirectory | faHidden | faVolumeID)) == 0)
                names.push_back(rec.Name);
        FindClose(rec);
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
            TFilingMove move{path, target, std::nullopt};
            TFileIdentity identity;
            if (GetFileIdentity(path, identity))
                move.Source = identity;
            plan.Moves.push_back(std::move(move));
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
    for (const std::string& name : Rows.FileNames()) {
        TRenameOutcome row;
        row.OldName = name;
        row.Attempted = true;
        THeaderInfo header;
        std::string problem;
        try {
            ReadHeaderInfo(dir + name, header);
        } catch (const Exception& e) {
            problem = e.Message();
        }
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
