// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's texts about the rename journal, without the window: the files
// an undo left (the undo itself is FolderJobs.h's UndoLastRename, the same
// journal and undo code as quillon-cli undo), and a Rename that the journal
// stopped, explained in one message.
#include <string>
#include <vector>

#include "components/FolderJobs.h"

// The one message listing the files an undo skipped and why; "" when none.
std::string UndoSkippedMessage(const TUndoResult& Result);
// The same as a heading ("" when none skipped) and one line per skipped file.
std::string UndoSkippedHeading(const TUndoResult& Result);
std::vector<std::string> UndoSkippedLines(const TUndoResult& Result);

// The one message for a batch the rename journal stopped: names the journal
// and gives the reason.
std::string JournalStoppedMessage(const std::string& JournalFile, const std::string& Reason);
