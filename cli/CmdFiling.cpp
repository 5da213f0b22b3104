// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli scan / rename / undo on a tree (--recursive) and filing into
// dated folders (rename --into): parsing is the commands', the rules are the
// components' (Filing.h, FilingPlan.h, FolderTree.h).
#include "cli/CmdFiling.h"

#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "components/Filing.h"
#include "components/FilingPlan.h"
#include "components/FolderTree.h"
#include "components/Journal.h"
#include "components/Undo.h"
#include "runtime/Application.h"
#include "runtime/FileOps.h"

namespace {

void Tell(const char* command, const std::string& message)
{
    std::fprintf(stderr, "quillon-cli %s: %s\n", command, EscapeText(message).c_str());
}

std::string Joined(const std::string& relativeFolder, const std::string& name)
{
    return relativeFolder.empty() ? name : relativeFolder + "/" + name;
}

// Files and bytes done, redrawn in place on stderr when it is a terminal.
class TFilingProgress {
public:
    TFilingProgress(int64_t files, int64_t bytes) : enabled_(isatty(STDERR_FILENO) == 1), files_(files), bytes_(bytes) {}
    ~TFilingProgress() { Clear(); }
    void Show(int64_t files, int64_t bytes)
    {
        if (!enabled_)
            return;
        if (files >= 0)
            done_ = files;
        std::fprintf(stderr, "\rfiling: %lld/%lld files, %.1f/%.1f MB", static_cast<long long>(done_),
                     static_cast<long long>(files_), bytes / 1e6, bytes_ / 1e6);
        std::fflush(stderr);
        shown_ = true;
    }
    void Clear()
    {
        if (shown_)
            std::fprintf(stderr, "\r\033[K");
        shown_ = false;
    }

private:
    bool enabled_;
    bool shown_ = false;
    int64_t files_, bytes_, done_ = 0;
};

// The folders a command works on, unreadable ones told (and counted).
std::vector<std::string> Folders(const char* command, const std::string& dir, bool recursive, int& failures)
{
    if (!recursive)
        return {dir};
    TFolderTree tree = ListFolderTree(dir);
    for (const std::string& problem : tree.Problems) {
        Tell(command, problem);
        ++failures;
    }
    return tree.Folders;
}

} // namespace

int RunFileInto(const TTreeCommand& c)
{
    std::optional<TFilingPattern> pattern;
    try {
        pattern = TFilingPattern::Parse(c.Into);
    } catch (const EFilingPatternError& e) {
        return UsageError("rename", "--into: " + e.Message());
    }
    if (int error = CheckFolder(c.Dir)) {
        Tell("rename", "cannot read folder " + c.Dir + ": " + FileErrorText(error));
        return ExitItemFailed;
    }
    const std::string destGiven = c.To.empty() ? c.Dir : c.To;
    struct stat info{};
    if (::stat(destGiven.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        // A destination that is missing (a disk not mounted) is never made
        // up on the file system below it.
        Tell("rename", "--to: " + destGiven + " is not a folder" +
                           (errno == ENOENT || !S_ISDIR(info.st_mode) ? "" : ": " + FileErrorText(errno)));
        return ExitItemFailed;
    }
    const std::string dir = NormalizeJournalFolder(c.Dir);
    const std::string dest = NormalizeJournalFolder(destGiven);
    StopOnSignals();

    const std::string journalFile = DefaultFilingJournalFileName();
    TFilingOptions options = FilingOptionsFromEnvironment();
    if (!c.DryRun) {
        try {
            for (const std::string& message : RecoverFilingJournal(journalFile, options))
                Tell("rename", message);
        } catch (const Exception& e) {
            Tell("rename", e.Message() + "; nothing moved");
            return ExitItemFailed;
        }
    }

    int failures = 0;
    TFilingPlan plan;
    TProgressLine scanning;
    try {
        plan = PlanFiling(Folders("rename", dir, c.Recursive, failures), *pattern, dest, 0,
                          [&](int n) { scanning.Show("scanning", n + 1); });
    } catch (const Exception& e) {
        scanning.Clear();
        Tell("rename", StopRequested() ? StoppedReason : e.Message());
        Tell("rename", "nothing moved");
        return ExitItemFailed;
    }
    scanning.Clear();
    for (const std::string& problem : plan.Problems)
        Tell("rename", problem);
    if (!plan.Problems.empty()) {
        failures += static_cast<int>(plan.Problems.size());
        if (!c.KeepGoing) {
            Tell("rename", "nothing moved");
            return ExitItemFailed;
        }
    }

    nlohmann::json results = nlohmann::json::array();
    const auto report = [&](const TFilingOutcome& o, const char* done) {
        const std::string from = RelativeToRoot(dir, o.Old), to = RelativeToRoot(dest, o.New);
        if (!o.Moved)
            ++failures;
        if (c.Json) {
            nlohmann::json item = JsonTextObject({{"status", o.Moved ? done : "failed"}, {"old", from}, {"new", to}});
            if (!o.Moved)
                PutJsonText(item, "reason", o.Reason);
            results.push_back(item);
        } else if (o.Moved) {
            std::printf("%s\t%s\t%s\n", done, EscapeText(from).c_str(), EscapeText(to).c_str());
        } else {
            std::printf("failed\t%s\t%s\t%s\n", EscapeText(from).c_str(), EscapeText(to).c_str(),
                        EscapeText(o.Reason).c_str());
        }
    };
    if (c.DryRun) {
        for (const TFilingOutcome& o : PredictFiling(plan.Moves))
            report(o, "would-file");
    } else {
        int64_t bytes = 0;
        for (const TFilingMove& m : plan.Moves)
            if (m.Source)
                bytes += m.Source->Size;
        TFilingProgress progress(static_cast<int64_t>(plan.Moves.size()), bytes);
        options.OnProgress = [&progress](int64_t files, int64_t done) { progress.Show(files, done); };
        std::vector<TFilingOutcome> outcomes;
        try {
            TFilingJournal journal(journalFile);
            outcomes = RunFiling(journal, dir, dest, plan.Moves, options);
            for (const std::string& warning : journal.TakeWarnings())
                Tell("rename", warning);
        } catch (const EJournalError& e) {
            progress.Clear();
            Tell("rename", e.Message() + "; nothing moved");
            return ExitItemFailed;
        }
        progress.Clear();
        int notReached = 0;
        std::string stopReason;
        for (const TFilingOutcome& o : outcomes) {
            if (!o.Attempted) {
                if (notReached++ == 0)
                    stopReason = o.Reason;
                ++failures;
                continue;
            }
            report(o, "filed");
        }
        if (notReached > 0)
            Tell("rename", stopReason + "; " + std::to_string(notReached) + " files not moved");
    }
    if (c.Json)
        PrintJson({{"results", results}});
    std::fflush(stdout);
    return failures > 0 ? ExitItemFailed : ExitSuccess;
}

int RunScanTree(const TTreeCommand& c)
{
    if (int error = CheckFolder(c.Dir)) {
        Tell("scan", "cannot read folder " + c.Dir + ": " + FileErrorText(error));
        return ExitItemFailed;
    }
    int failures = 0;
    nlohmann::json rows = nlohmann::json::array();
    TProgressLine progress;
    for (const std::string& folder : Folders("scan", c.Dir, true, failures)) {
        TRenameWorkflow workflow;
        if (!PrepareFolderScan("scan", folder, c.KeepGoing, workflow, progress, failures)) {
            ++failures;
            continue;
        }
        const std::string rel = RelativeToRoot(c.Dir, folder);
        workflow.OnRowAdded = [&](const std::string& file, const std::string& proposed) {
            progress.Clear();
            if (c.Json)
                rows.push_back(JsonTextObject({{"file", Joined(rel, file)}, {"proposed", proposed}}));
            else
                std::printf("%s\t%s\n", EscapeText(Joined(rel, file)).c_str(), EscapeText(proposed).c_str());
        };
        try {
            workflow.RescanFolder();
        } catch (const Exception& e) {
            progress.Clear();
            Tell("scan", StopRequested() ? std::string(StoppedReason) : e.Message());
            ++failures;
            if (StopRequested() || !c.KeepGoing)
                break;
        }
    }
    progress.Clear();
    if (c.Json)
        PrintJson(rows);
    std::fflush(stdout);
    return failures > 0 ? ExitItemFailed : ExitSuccess;
}

int RunRenameTree(const TTreeCommand& c)
{
    if (int error = CheckFolder(c.Dir)) {
        Tell("rename", "cannot read folder " + c.Dir + ": " + FileErrorText(error));
        return ExitItemFailed;
    }
    int failures = 0;
    TProgressLine progress;
    // Every folder is scanned before anything is renamed: a file that cannot
    // be read stops it all (unless --keep-going), as in one folder.
    std::vector<std::unique_ptr<TRenameWorkflow>> workflows;
    for (const std::string& folder : Folders("rename", c.Dir, true, failures)) {
        auto workflow = std::make_unique<TRenameWorkflow>();
        if (!PrepareFolderScan("rename", folder, c.KeepGoing, *workflow, progress, failures)) {
            ++failures;
            continue;
        }
        try {
            workflow->RescanFolder();
        } catch (const Exception& e) {
            progress.Clear();
            Tell("rename", StopRequested() ? std::string(StoppedReason) : e.Message());
            Tell("rename", "nothing renamed");
            return ExitItemFailed;
        }
        if (workflow->RowCount() > 0)
            workflows.push_back(std::move(workflow));
    }
    progress.Clear();

    nlohmann::json results = nlohmann::json::array();
    const auto report = [&](const std::string& rel, const TRenameOutcome& row, const char* done) {
        const std::string from = Joined(rel, row.OldName), to = Joined(rel, row.NewName);
        if (!row.Renamed)
            ++failures;
        if (c.Json) {
            nlohmann::json item = JsonTextObject({{"status", row.Renamed ? done : "failed"}, {"old", from}, {"new", to}});
            if (!row.Renamed)
                PutJsonText(item, "reason", row.Reason);
            results.push_back(item);
        } else if (row.Renamed) {
            std::printf("%s\t%s\t%s\n", done, EscapeText(from).c_str(), EscapeText(to).c_str());
        } else {
            std::printf("failed\t%s\t%s\t%s\n", EscapeText(from).c_str(), EscapeText(to).c_str(),
                        EscapeText(row.Reason).c_str());
        }
    };
    TRenameJournal journal;
    journal.OnWarning = [](const std::string& w) { Tell("rename", w); };
    journal.OnWaiting = journal.OnWarning;
    for (auto& workflow : workflows) {
        const std::string rel = RelativeToRoot(c.Dir, workflow->Folder);
        if (c.DryRun) {
            for (const TRenameOutcome& row : workflow->PredictRenames())
                report(rel, row, "would-rename");
            continue;
        }
        std::vector<TRenameOutcome> outcomes;
        try {
            TStoppableJournal stoppable(journal);
            outcomes = workflow->RenameRows(&stoppable);
        } catch (const EJournalError& e) {
            Tell("rename", e.Message() + "; nothing more renamed");
            return ExitItemFailed;
        }
        bool stopped = false;
        for (const TRenameOutcome& row : outcomes) {
            if (!row.Attempted) {
                stopped = true;
                ++failures;
                continue;
            }
            report(rel, row, "renamed");
        }
        if (stopped || StopRequested()) {
            Tell("rename", StoppedReason);
            break;
        }
    }
    if (c.Json)
        PrintJson({{"results", results}});
    std::fflush(stdout);
    return failures > 0 ? ExitItemFailed : ExitSuccess;
}

namespace {

// What undo wants of the rename journal: the time of the newest rename batch
// not taken back in folder (or below it, recursive), and with recursive
// every folder below folder that has a rename batch. The journal is read
// from its end, only as far as needed.
struct TRenameBatchesBelow {
    std::optional<int64_t> Newest;
    std::set<std::string> Folders;
};

TRenameBatchesBelow RenameBatchesBelow(const std::string& folder, bool recursive, bool wantNewest)
{
    TRenameBatchesBelow out;
    const bool wantFolders = recursive && !folder.empty();
    std::set<std::string> takenBack; // by undos that ran to their end, of batches not reached yet
    TJournalBackwardReader reader(DefaultJournalFileName(), [](const std::string& m) { Tell("undo", m); });
    TJournalBatch b;
    while ((wantFolders || (wantNewest && !out.Newest)) && reader.Previous(b)) {
        if (b.IsUndo()) {
            if (b.Ended)
                takenBack.insert(b.Undoes);
            continue;
        }
        const bool taken = takenBack.erase(b.Id) > 0;
        const bool below = !folder.empty() && b.Folder.compare(0, folder.size() + 1, folder + "/") == 0;
        if (wantFolders && (b.Folder == folder || below))
            out.Folders.insert(b.Folder);
        const bool inside = folder.empty() || b.Folder == folder || (recursive && below);
        if (wantNewest && !out.Newest && inside && !taken && b.Count(TJournalFileState::Renamed) > 0)
            out.Newest = b.UnixTime;
    }
    return out;
}

void TellUndoStopped()
{
    Tell("undo", std::string(StoppedReason) + "; undo again to restore the rest");
}

int PrintFilingUndo(const TTreeCommand& c, const TFilingUndoResult& result, const std::string& dest)
{
    for (const std::string& message : result.Messages)
        Tell("undo", message);
    nlohmann::json results = nlohmann::json::array();
    for (const TFilingUndoLine& line : result.Lines) {
        const char* status = !line.Restored ? "skipped" : c.DryRun ? "would-restore" : "restored";
        const std::string from = RelativeToRoot(dest, line.NewName), to = RelativeToRoot(result.Folder, line.OldName);
        if (c.Json) {
            nlohmann::json item = JsonTextObject({{"status", status}, {"new", from}, {"old", to}});
            if (!line.Restored)
                PutJsonText(item, "reason", line.Reason);
            results.push_back(item);
        } else if (!line.Restored) {
            std::printf("%s\t%s\t%s\t%s\n", status, EscapeText(from).c_str(), EscapeText(to).c_str(),
                        EscapeText(line.Reason).c_str());
        } else {
            std::printf("%s\t%s\t%s\n", status, EscapeText(from).c_str(), EscapeText(to).c_str());
        }
    }
    if (c.Json) {
        nlohmann::json out = {{"batch", result.BatchId}, {"dry_run", c.DryRun}, {"results", results}};
        PutJsonText(out, "folder", result.Folder);
        if (!result.UndoBatchId.empty())
            out["undo"] = result.UndoBatchId;
        PrintJson(out);
    }
    std::fflush(stdout);
    if (result.Stopped)
        TellUndoStopped();
    return result.Skipped() > 0 || result.Stopped ? ExitItemFailed : ExitSuccess;
}

} // namespace

std::optional<int> RunUndoTree(const TTreeCommand& c)
{
    const std::string filingJournal = DefaultFilingJournalFileName();
    TFilingOptions options = FilingOptionsFromEnvironment();
    if (!c.DryRun)
        for (const std::string& message : RecoverFilingJournal(filingJournal, options))
            Tell("undo", message);

    TFilingUndoOptions undo;
    undo.DryRun = c.DryRun;
    undo.BatchId = c.BatchId;
    undo.Folder = c.Dir;
    undo.Recursive = c.Recursive;
    const std::optional<TFilingCandidate> filing = FindFilingCandidate(filingJournal, undo);
    const std::string folder = c.Dir.empty() ? std::string() : NormalizeJournalFolder(c.Dir);
    // Without a filing batch or a tree, a plain undo follows: it reads the
    // rename journal itself, telling a wait for its lock once.
    if (!filing && (!c.Recursive || folder.empty()))
        return std::nullopt;
    const TRenameBatchesBelow renames = RenameBatchesBelow(folder, c.Recursive, c.BatchId.empty());
    const std::optional<int64_t>& renamed = renames.Newest;
    if (filing && (!renamed || filing->UnixTime >= *renamed)) {
        undo.BatchId = filing->Id;
        TFilingUndoResult result = UndoFiling(filingJournal, undo, options);
        return PrintFilingUndo(c, result, result.Dest);
    }
    if (!c.Recursive || folder.empty())
        return std::nullopt;

    // The last batch of each folder of the tree that has one to take back.
    const std::set<std::string>& folders = renames.Folders;
    int skipped = 0;
    bool found = false;
    bool stopped = false;
    nlohmann::json all = nlohmann::json::array();
    for (const std::string& f : folders) {
        // A stop ends the loop between folders as within one, between files.
        if (StopRequested()) {
            stopped = true;
            break;
        }
        TUndoOptions options1;
        options1.DryRun = c.DryRun;
        options1.Folder = f;
        options1.OnWaiting = [](const std::string& m) { Tell("undo", m); };
        options1.Stopped = [] { return StopRequested(); };
        TUndoResult result = UndoBatch(DefaultJournalFileName(), options1);
        for (const std::string& warning : result.Warnings)
            Tell("undo", warning);
        stopped = result.Stopped;
        if (!result.Found)
            continue;
        found = true;
        skipped += result.Skipped();
        const std::string rel = RelativeToRoot(folder, f);
        for (const TUndoLine& line : result.Lines) {
            const char* status = UndoActionName(line.Action);
            const std::string from = Joined(rel, line.NewName), to = Joined(rel, line.OldName);
            if (c.Json) {
                nlohmann::json item =
                    JsonTextObject({{"status", status}, {"batch", result.BatchId}, {"new", from}, {"old", to}});
                if (line.Action == TUndoAction::Skipped)
                    PutJsonText(item, "reason", line.Reason);
                all.push_back(item);
            } else if (line.Action == TUndoAction::Skipped) {
                std::printf("%s\t%s\t%s\t%s\n", status, EscapeText(from).c_str(), EscapeText(to).c_str(),
                            EscapeText(line.Reason).c_str());
            } else {
                std::printf("%s\t%s\t%s\n", status, EscapeText(from).c_str(), EscapeText(to).c_str());
            }
        }
        if (stopped)
            break;
    }
    if (!found && !stopped)
        Tell("undo", "nothing to undo in " + folder);
    if (c.Json)
    {
        nlohmann::json out = {{"dry_run", c.DryRun}, {"results", all}};
        PutJsonText(out, "folder", folder);
        PrintJson(out);
    }
    std::fflush(stdout);
    if (stopped)
        TellUndoStopped();
    return skipped > 0 || stopped ? ExitItemFailed : ExitSuccess;
}
