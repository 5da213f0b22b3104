// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/form/WindowUndo.h"

#include <exception>

namespace {

TUndoOptions WindowOptions(const std::string& folder, bool dryRun)
{
    TUndoOptions options;
    options.DryRun = dryRun;
    options.Folder = folder;
    options.Source = "window";
    return options;
}

} // namespace

bool FolderHasUndo(const std::string& JournalFile, const std::string& Folder)
{
    if (Folder.empty())
        return false;
    try {
        return UndoBatch(JournalFile, WindowOptions(Folder, true)).Found;
    } catch (const std::exception&) {
        return false; // an unreadable journal offers nothing to undo
    }
}

TUndoResult UndoLastRename(const std::string& JournalFile, const std::string& Folder)
{
    if (Folder.empty())
        return {};
    return UndoBatch(JournalFile, WindowOptions(Folder, false));
}

std::string UndoSkippedMessage(const TUndoResult& Result)
{
    std::string list;
    for (const TUndoLine& line : Result.Lines)
        if (line.Action == TUndoAction::Skipped)
            list += "\n" + line.NewName + " -> " + line.OldName + ": " + line.Reason;
    if (list.empty())
        return {};
    return "These files were left as they are, nothing was replaced:\n" + list;
}

std::string BatchStopReason(const std::vector<TRenameOutcome>& Outcomes)
{
    for (const TRenameOutcome& row : Outcomes)
        if (!row.Attempted)
            return row.Reason;
    return {};
}

std::string JournalStoppedMessage(const std::string& JournalFile, const std::string& Reason)
{
    return "The rename journal " + JournalFile +
           " cannot be written, so the renaming stopped before the next file (renames that are not journaled "
           "could not be undone).\n\n" + Reason;
}
