// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's undo and the window's texts about the rename journal, without
// the window: the Edit menu's "Undo last rename" takes back the newest batch of
// the current folder through the same journal and undo code as quillon-cli
// undo, and a Rename that the journal stopped is explained in one message.
#include <string>
#include <vector>

#include "components/RenameWorkflow.h"
#include "components/Undo.h"

// Whether folder has a rename batch left to take back (a dry run of the undo:
// nothing is touched or recorded). An empty folder, or a journal that cannot
// be read, has nothing to undo.
// OnWaiting is told when another process holds the journal's lock.
bool FolderHasUndo(const std::string& JournalFile, const std::string& Folder, const TJournalWaitNotice& OnWaiting = {});

// Takes back the newest batch of folder not yet taken back, recorded as an
// undo from the window. Never replaces a file; files that cannot go back are
// in the result's skipped lines. An empty folder takes back nothing (an empty
// folder would otherwise mean any folder). Throws as UndoBatch does.
TUndoResult UndoLastRename(const std::string& JournalFile, const std::string& Folder,
                           const TJournalWaitNotice& OnWaiting = {});

// The one message listing the files an undo skipped and why; "" when none.
std::string UndoSkippedMessage(const TUndoResult& Result);
// The same as a heading ("" when none skipped) and one line per skipped file.
std::string UndoSkippedHeading(const TUndoResult& Result);
std::vector<std::string> UndoSkippedLines(const TUndoResult& Result);

// Why a rename batch stopped before renaming every row: the reason the
// workflow gave the first row it did not reach, "" when every row was tried.
std::string BatchStopReason(const std::vector<TRenameOutcome>& Outcomes);

// The one message for a batch the rename journal stopped: names the journal
// and gives the reason.
std::string JournalStoppedMessage(const std::string& JournalFile, const std::string& Reason);
