// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli undo: takes back the last rename batch of the journal that has
// not been taken back yet (of DIR when given, or the batch named by --batch),
// last renamed first, never replacing a file.
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "cli/CmdFiling.h"
#include "cli/Commands.h"
#include "runtime/Application.h"
#include "components/Journal.h"
#include "components/Undo.h"

int RunUndo(int argc, char** argv)
{
    CLI::App app{"Take back the last rename batch that has not been taken back (the last one in DIR when DIR is "
                 "given; the one named by --batch). Each file goes from its new name back to its old one, last "
                 "renamed first; a file that is no longer there, that is not the file the batch renamed "
                 "(replaced or changed since), or whose old name is taken again, is skipped and reported, never "
                 "replaced; the next undo tries a file left for a taken old name again. SIGINT or SIGTERM stops it between "
                 "files (never inside a copy to another file system; with --recursive between folders too): what it "
                 "restored stays restored, it says so and exits 1, and the next undo takes back the rest.\n"
                 "Text lines: restored TAB new TAB old | skipped TAB new TAB old TAB reason | with --dry-run "
                 "would-restore TAB new TAB old. Exit 0 when nothing was skipped, 1 otherwise.",
                 "quillon-cli undo"};
    bool dryRun = false;
    bool json = false;
    std::string batchId;
    std::string dir;
    app.add_flag("--dry-run", dryRun, "show what would be restored; touch and record nothing");
    app.add_flag("--json", json, "print {\"batch\": ..., \"folder\": ..., \"results\": [...]}");
    app.add_option("--batch", batchId, "the id of the batch to take back (see quillon-cli history)");
    app.add_option("DIR", dir, "take back the last batch of this folder");
    TTreeCommand tree;
    app.add_flag("--recursive", tree.Recursive,
                 "with DIR: the last batch of every folder below DIR too (rows relative to DIR)");
    if (std::optional<int> status = ParseCommandLine(app, argc, argv, "undo"))
        return *status;
    if (const std::string problem = JournalLockTimeoutProblem(); !problem.empty())
        return UsageError("undo", problem);
    if (tree.Recursive && dir.empty())
        return UsageError("undo", "--recursive needs DIR");
    // SIGINT/SIGTERM stop the undo between files (of a filing batch too,
    // and between the folders of --recursive): what it restored stays
    // restored and journaled, the next undo takes back the rest.
    StopOnSignals();
    // A filing batch (rename --into) goes back to its folders when it is
    // the newest one to take back, or the one --batch names.
    tree.Dir = dir;
    tree.DryRun = dryRun;
    tree.Json = json;
    tree.BatchId = batchId;
    if (std::optional<int> status = RunUndoTree(tree))
        return *status;

    TUndoOptions options;
    options.DryRun = dryRun;
    options.BatchId = batchId;
    options.Folder = dir;
    options.OnWaiting = [](const std::string& message) { std::fprintf(stderr, "quillon-cli undo: %s\n", message.c_str()); };
    options.Stopped = [] { return StopRequested(); };
    const std::string journalFile = DefaultJournalFileName();
    TUndoResult result = UndoBatch(journalFile, options);
    for (const std::string& warning : result.Warnings)
        std::fprintf(stderr, "quillon-cli undo: %s\n", EscapeText(warning).c_str());

    if (!result.Found) {
        std::fprintf(stderr, "quillon-cli undo: nothing to undo%s%s\n", dir.empty() ? "" : " in ",
                     EscapeText(dir.empty() ? "" : NormalizeJournalFolder(dir)).c_str());
        if (json)
            PrintJson({{"batch", nullptr}, {"results", nlohmann::json::array()}});
        return ExitSuccess;
    }

    nlohmann::json results = nlohmann::json::array();
    for (const TUndoLine& line : result.Lines) {
        const char* status = UndoActionName(line.Action);
        if (json) {
            nlohmann::json item = JsonTextObject({{"status", status}, {"new", line.NewName}, {"old", line.OldName}});
            if (line.Action == TUndoAction::Skipped)
                PutJsonText(item, "reason", line.Reason);
            results.push_back(item);
        } else if (line.Action == TUndoAction::Skipped) {
            std::printf("%s\t%s\t%s\t%s\n", status, EscapeText(line.NewName).c_str(), EscapeText(line.OldName).c_str(),
                        EscapeText(line.Reason).c_str());
        } else {
            std::printf("%s\t%s\t%s\n", status, EscapeText(line.NewName).c_str(), EscapeText(line.OldName).c_str());
        }
    }
    if (json) {
        nlohmann::json out = {{"dry_run", dryRun}, {"results", results}};
        PutJsonText(out, "batch", result.BatchId);
        PutJsonText(out, "folder", result.Folder);
        if (!result.UndoBatchId.empty())
            PutJsonText(out, "undo", result.UndoBatchId);
        PrintJson(out);
    }
    std::fflush(stdout);
    if (result.Stopped)
        std::fprintf(stderr, "quillon-cli undo: %s; undo again to restore the rest\n", StoppedReason);
    return result.Skipped() > 0 || result.Stopped ? ExitItemFailed : ExitSuccess;
}
