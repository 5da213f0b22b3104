// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which files a filing batch moves, and where: every file of the listing mask
// in the given folders whose header passes the listing filter (standard
// names included: a file already named but outside its dated folder is filed
// too) goes to Dest/<pattern>/<standard name><its extension>. A file already
// there is left out.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "components/Filing.h"
#include "components/FilingPattern.h"
#include "components/HeaderReadAhead.h"

struct TFilingPlan {
    std::vector<TFilingMove> Moves;
    std::vector<std::string> Problems; // files that cannot be read, fields that give no folder name
};

// Folders and Dest absolute (NormalizeJournalFolder). Headers are read ahead on
// ReadAheadThreads threads (0: one per core). A stop request raises EAbort.
TFilingPlan PlanFiling(const std::vector<std::string>& Folders, const TFilingPattern& Pattern, const std::string& Dest,
                       int ReadAheadThreads = 0, const std::function<void(int Examined)>& OnExamined = {});

// The listing rule's header filter: a format, and an acquisition time
// strictly between EarliestAcquisition and LatestAcquisition().
bool PassesListingFilter(const THeaderInfo& Header);

// The target of one file whose header gave these results, or "" with Problem
// set when the pattern gives no usable folder.
std::string FilingTarget(const TFilingPattern& Pattern, const std::string& Dest, const std::string& FileName,
                         const THeaderInfo& Header, std::string& Problem);

class TRenameWorkflow;
struct TRenameOutcome;

// Files the rows of a watch batch (files of Folder, with the names their
// headers propose) as one filing batch: the pattern's fields come from the
// header each row kept (TRenameWorkflow::Headers), read again only for a row
// added without one; a file changed since its header was read is not moved. Outcomes as the watch reports them: the old name, and the
// new path relative to Dest. A file already at its target (a standard name
// in the folder the pattern gives) is left out, untold. Raises EJournalError
// when nothing could be done.
std::vector<TRenameOutcome> FileRows(TFilingJournal& Journal, const TFilingPattern& Pattern, const std::string& Folder,
                                     const std::string& Dest, const TRenameWorkflow& Rows,
                                     const TFilingOptions& Options = {});

// Tells the watch which files of Folder an undo of a filing batch brought
// back (the filing journal's "unfile" batches), so that a watch that files
// leaves them where the undo put them: a file is restored while it is the
// very file the undo moved there (device, inode, size, modification time),
// or while an undo under way is still to bring it. The journal is read
// from where the last look ended; a journal replaced or cut shorter is read
// again from its start.
class TRestoredFilings {
public:
    TRestoredFilings(std::string JournalFile, const std::string& Folder);
    bool IsRestored(const std::string& Name);

private:
    void Refresh();
    void Take(const TFilingRecord& Record);

    std::string journal_;
    std::string folder_; // normalised
    std::optional<TFileIdentity> read_; // the journal file read so far
    uint64_t offset_ = 0;               // up to here (whole lines)
    std::map<std::string, TFilingRecord> undos_;              // undo batches of the folder not yet ended, by id
    std::map<std::string, std::set<std::string>> bringing_;   // ... and the paths each is still to bring back
    std::unordered_map<std::string, TFileIdentity> files_;    // path -> the file an undo brought there
};
