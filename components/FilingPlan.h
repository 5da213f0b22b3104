// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which files a filing batch moves, and where: every file of the listing mask
// in the given folders whose header passes the listing filter (standard
// names included: a file already named but outside its dated folder is filed
// too) goes to Dest/<pattern>/<standard name><its extension>. A file already
// there is left out.
#include <functional>
#include <string>
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
// headers propose) as one filing batch: each header is read again for the
// pattern's fields. Outcomes as the watch reports them: the old name, and the
// new path relative to Dest. A file already at its target (a standard name
// in the folder the pattern gives) is left out, untold. Raises EJournalError
// when nothing could be done.
std::vector<TRenameOutcome> FileRows(TFilingJournal& Journal, const TFilingPattern& Pattern, const std::string& Folder,
                                     const std::string& Dest, const TRenameWorkflow& Rows,
                                     const TFilingOptions& Options = {});
