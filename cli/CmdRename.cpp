// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli rename: the window's Rename button for a folder. Scans DIR,
// renames every listed file to its proposed name (keeping the extension as it
// is on disk, never replacing an existing file), then scans again and shows
// what remains.
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "components/Journal.h"
#include "components/RenameWorkflow.h"
#include "runtime/Application.h"
#include "runtime/FileOps.h"

namespace {

std::string Field(const std::string& s)
{
    return EscapeText(s);
}

} // namespace

int RunRename(int argc, char** argv)
{
    CLI::App app{"Rename the non-standard MPD files of DIR to the names their headers propose, as the window's "
                 "Rename button does, then list what remains. A file is never renamed over an existing one, "
                 "nor when it was replaced or written to since its header was read (changed since it was read).\n"
                 "Text lines: renamed TAB old TAB new | failed TAB old TAB new TAB reason | with --dry-run "
                 "would-rename TAB old TAB new, or failed TAB old TAB new TAB reason for a rename the real run "
                 "would fail (nothing is touched and no rescan follows); then remaining TAB file TAB proposed for "
                 "each row of the rescan.",
                 "quillon-cli rename"};
    bool dryRun = false;
    bool json = false;
    bool keepGoing = false;
    std::string dir;
    app.add_flag("--dry-run", dryRun, "show what would be renamed; touch nothing");
    app.add_flag("--json", json, "print {\"results\": [...], \"remaining\": [...]}");
    app.add_flag("--keep-going", keepGoing,
                 "skip a file that cannot be read (reported on stderr) instead of stopping before any rename");
    app.add_option("DIR", dir, "folder whose files to rename")->required();
    if (std::optional<int> status = ParseCommandLine(app, argc, argv, "rename"))
        return *status;
    if (const std::string problem = JournalLockTimeoutProblem(); !problem.empty())
        return UsageError("rename", problem);

    TProgressLine progress;
    TRenameWorkflow workflow;
    int readFailures = 0;
    // SIGINT and SIGTERM stop the scan (nothing renamed) or the batch before
    // its next rename, never a rename half-way or its journal record.
    if (!PrepareFolderScan("rename", dir, keepGoing, workflow, progress, readFailures))
        return ExitItemFailed;

    // The first scan: a file that cannot be read stops everything before any
    // rename (unless --keep-going), so no partial batch is started blind.
    try {
        workflow.RescanFolder();
    } catch (const Exception& e) {
        progress.Clear();
        // A stop may end the scan through the file under way: say why.
        std::fprintf(stderr, "quillon-cli rename: %s\n",
                     StopRequested() ? StoppedReason : EscapeText(e.Message()).c_str());
        std::fprintf(stderr, "quillon-cli rename: nothing renamed\n");
        return ExitItemFailed;
    }
    progress.Clear();

    nlohmann::json results = nlohmann::json::array();
    bool renameFailed = false;
    // One row's outcome: done ("renamed", or "would-rename" in a dry run) or failed.
    const auto report = [&](const TRenameOutcome& row, const char* done) {
        if (json) {
            nlohmann::json item = JsonTextObject({{"status", row.Renamed ? done : "failed"},
                                                  {"old", row.OldName},
                                                  {"new", row.NewName}});
            if (!row.Renamed)
                PutJsonText(item, "reason", row.Reason);
            results.push_back(item);
        } else if (row.Renamed) {
            std::printf("%s\t%s\t%s\n", done, Field(row.OldName).c_str(), Field(row.NewName).c_str());
        } else {
            std::printf("failed\t%s\t%s\t%s\n", Field(row.OldName).c_str(), Field(row.NewName).c_str(),
                        Field(row.Reason).c_str());
        }
    };
    if (dryRun) {
        // The failures the real run would meet are foretold as such.
        for (const TRenameOutcome& row : workflow.PredictRenames()) {
            if (!row.Renamed)
                renameFailed = true;
            report(row, "would-rename");
        }
        if (json)
            PrintJson({{"results", results}});
        return renameFailed || readFailures > 0 ? ExitItemFailed : ExitSuccess;
    }

    // Every batch is journaled so that `quillon-cli undo` can take it back.
    TRenameJournal journal;
    journal.OnWarning = [](const std::string& w) { std::fprintf(stderr, "quillon-cli rename: %s\n", EscapeText(w).c_str()); };
    journal.OnWaiting = journal.OnWarning;
    std::vector<TRenameOutcome> outcomes;
    try {
        TStoppableJournal stoppable(journal);
        outcomes = workflow.RenameRows(&stoppable);
    } catch (const EJournalError& e) {
        // Nothing was renamed: one message, not one line per file.
        std::fprintf(stderr, "quillon-cli rename: %s; nothing renamed\n", EscapeText(e.Message()).c_str());
        return ExitItemFailed;
    }
    // A journal that failed part-way stopped the batch: the files not reached
    // are told once, not one line each.
    int notReached = 0;
    std::string stopReason;
    for (const TRenameOutcome& row : outcomes) {
        if (!row.Renamed)
            renameFailed = true;
        if (!row.Attempted) {
            if (notReached++ == 0)
                stopReason = row.Reason;
            continue;
        }
        report(row, "renamed");
    }
    std::fflush(stdout);
    if (notReached > 0)
        std::fprintf(stderr, "quillon-cli rename: %s; %d files not renamed\n", EscapeText(stopReason).c_str(),
                     notReached);

    if (StopRequested()) { // no rescan after a stop
        if (notReached == 0)
            std::fprintf(stderr, "quillon-cli rename: %s\n", StoppedReason);
        return ExitItemFailed;
    }
    std::string rescanError;
    try {
        workflow.RescanFolder();
    } catch (const Exception& e) {
        rescanError = e.Message();
    }
    progress.Clear();

    nlohmann::json remaining = nlohmann::json::array();
    for (int i = 0; i < workflow.RowCount(); ++i) {
        const std::string& file = workflow.FileNames()[static_cast<size_t>(i)];
        const std::string& proposed = workflow.ProposedNames()[static_cast<size_t>(i)];
        if (json)
            remaining.push_back(JsonTextObject({{"file", file}, {"proposed", proposed}}));
        else
            std::printf("remaining\t%s\t%s\n", Field(file).c_str(), Field(proposed).c_str());
    }
    if (json)
        PrintJson({{"results", results}, {"remaining", remaining}});
    std::fflush(stdout);
    if (!rescanError.empty()) {
        std::fprintf(stderr, "quillon-cli rename: %s\n", EscapeText(rescanError).c_str());
        return ExitItemFailed;
    }
    return renameFailed || readFailures > 0 ? ExitItemFailed : ExitSuccess;
}
