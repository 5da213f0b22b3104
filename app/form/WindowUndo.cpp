// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/form/WindowUndo.h"

#include <QCoreApplication>
#include <exception>

std::vector<std::string> UndoSkippedLines(const TUndoResult& Result)
{
    std::vector<std::string> lines;
    for (const TUndoLine& line : Result.Lines)
        if (line.Action == TUndoAction::Skipped)
            lines.push_back(line.NewName + " -> " + line.OldName + ": " + line.Reason);
    return lines;
}

std::string UndoSkippedHeading(const TUndoResult& Result)
{
    if (Result.Skipped() == 0)
        return {};
    return QCoreApplication::translate("TFormMain", "These files were left as they are, nothing was replaced:")
        .toStdString();
}

std::string UndoSkippedMessage(const TUndoResult& Result)
{
    std::string list;
    for (const std::string& line : UndoSkippedLines(Result))
        list += "\n" + line;
    if (list.empty())
        return {};
    return UndoSkippedHeading(Result) + "\n" + list;
}

std::string JournalStoppedMessage(const std::string& JournalFile, const std::string& Reason)
{
    return QCoreApplication::translate("TFormMain",
                                       "The rename journal %1 cannot be written, so the renaming stopped before the "
                                       "next file (renames that are not journaled could not be undone).")
               .arg(QString::fromStdString(JournalFile))
               .toStdString() +
           "\n\n" + Reason;
}
