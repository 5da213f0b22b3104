// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli watch: names the files of a receiving folder as they arrive
// (components/FolderWatch.h has the rules). Here: the options, the printing
// of each rename and message, and the exit status.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "components/FilingPlan.h"
#include "components/FolderPoll.h"
#include "components/FolderWatch.h"
#include "components/Journal.h"
#include "components/Undo.h"

namespace {

// Each rename a line on stdout at once (also into a pipe), each message a
// line on stderr.
class TWatchPrinter : public IFolderWatchObserver {
public:
    explicit TWatchPrinter(bool Json) : json_(Json) {}
    bool FiledTo = false; // the watch files into folders: "filed" lines
    void Renamed(const TRenameOutcome& row) override
    {
        if (json_) {
            nlohmann::json item = JsonTextObject({{"status", row.Renamed ? (FiledTo ? "filed" : "renamed") : "failed"},
                                                  {"old", row.OldName},
                                                  {"new", row.NewName}});
            if (!row.Renamed)
                PutJsonText(item, "reason", row.Reason);
            std::printf("%s\n", item.dump().c_str());
        } else if (row.Renamed) {
            std::printf("%s\t%s\t%s\n", FiledTo ? "filed" : "renamed", EscapeText(row.OldName).c_str(), EscapeText(row.NewName).c_str());
        } else {
            std::printf("failed\t%s\t%s\t%s\n", EscapeText(row.OldName).c_str(), EscapeText(row.NewName).c_str(),
                        EscapeText(row.Reason).c_str());
        }
        std::fflush(stdout);
    }
    void Message(const std::string& text) override
    {
        std::fprintf(stderr, "quillon-cli watch: %s\n", EscapeText(text).c_str());
        std::fflush(stderr);
    }

private:
    bool json_;
};

} // namespace

int RunWatch(int argc, char** argv)
{
    CLI::App app{"Rename what the Rename button would rename in DIR, then watch DIR and rename each new "
                 "non-standard MPD file once it is complete: closed after writing or moved into DIR, and then "
                 "unchanged in size and time for the settle time (with --into: file each new MPD file whose header "
                 "gives a standard name, standard-named already or not). Each rename is journaled and printed at once: "
                 "renamed TAB old TAB new | failed TAB old TAB new TAB reason (one JSON object a line with "
                 "--json). A batch that cannot be journaled is tried again later (at most a minute apart); a file "
                 "an undo gave back its name is left alone until it changes. SIGINT or SIGTERM ends it cleanly (exit 0); a folder that goes away or cannot be read "
                 "ends it with exit 1.",
                 "quillon-cli watch"};
    double settle = 2.0;
    bool json = false;
    std::string dir;
    app.add_option("--settle", settle, "seconds a file must stay unchanged after it was closed (default 2)")
        ->check(NumberFrom(0, 86400, "seconds"));
    app.add_flag("--json", json, "one JSON object a line");
    bool waitForFolder = false;
    app.add_flag("--wait-for-folder", waitForFolder, "when DIR is not there yet, wait for it instead of failing");
    app.add_option("DIR", dir, "the folder to watch")->required();
    std::string pollText;
    app.add_option("--poll", pollText,
                   "find new and changed files by listing DIR every SECONDS (0.1 to 86400) instead of through "
                   "inotify, for network shares; chosen by itself, every 5 s, on NFS, SMB/CIFS, FUSE and the like. "
                   "Default: $QUILLON_WATCH_POLL when set and not empty")
        ->envname("QUILLON_WATCH_POLL");
    std::string into, to;
    app.add_option("--into", into,
                   "file each file into DEST/PATTERN/<standard name>.<ext> instead of renaming it in place "
                   "(PATTERN as for rename --into), files already standard-named too; printed as filed TAB old TAB "
                   "new. Default: $QUILLON_WATCH_INTO when set and not empty")
        ->envname("QUILLON_WATCH_INTO");
    app.add_option("--to", to,
                   "with --into: the folder to file into (default DIR); must exist. Default: $QUILLON_WATCH_TO when "
                   "set and not empty")
        ->envname("QUILLON_WATCH_TO");
    if (std::optional<int> status = ParseCommandLine(app, argc, argv, "watch"))
        return *status;
    if (const std::string problem = JournalLockTimeoutProblem(); !problem.empty())
        return UsageError("watch", problem);
    double pollSeconds = 0;
    if (!pollText.empty()) {
        char* end = nullptr;
        pollSeconds = std::strtod(pollText.c_str(), &end);
        if (end == pollText.c_str() || *end != '\0' || !(pollSeconds >= 0.1 && pollSeconds <= 86400))
            return UsageError("watch", "--poll: expects a number of seconds from 0.1 to 86400, not '" +
                                           EscapeText(pollText) + "'");
    }
    std::optional<TFilingPattern> pattern;
    if (!to.empty() && into.empty())
        return UsageError("watch", "--to needs --into");
    if (!into.empty()) {
        try {
            pattern = TFilingPattern::Parse(into);
        } catch (const EFilingPatternError& e) {
            return UsageError("watch", "--into: " + e.Message());
        }
    }
    TWatchPrinter printer(json);
    TSystemWatchClock clock;
    if (waitForFolder) {
        // SIGINT or SIGTERM ends the wait; the watch then installs them
        // again with its wake pipe.
        StopOnSignals();
        if (!TFolderWatch::WaitForFolder(dir, clock, printer))
            return ExitSuccess;
    }

    TRenameJournal journal;
    journal.SetSource("watch");
    journal.OnWarning = [&printer](const std::string& w) { printer.Message(w); };
    journal.OnWaiting = journal.OnWarning;
    // The stop signals request a stop and wake the watch's loop, which ends
    // a header search under way too; they stop writing to the wake pipe
    // before it closes.
    // inotify, unless asked to poll or blind to the folder's remote writes.
    if (pollSeconds <= 0) {
        const std::string blind = InotifyBlindReason(dir);
        if (!blind.empty()) {
            printer.Message(blind + ": inotify does not see files written there by other machines; listing the "
                                    "folder every 5 s instead");
            pollSeconds = 5;
        }
    }
    std::unique_ptr<TInotifyFolderEvents> inotify;
    std::unique_ptr<TPollFolderEvents> poller;
    IFolderEvents* events = nullptr;
    int wakeFd = -1;
    if (pollSeconds > 0) {
        poller = std::make_unique<TPollFolderEvents>(std::chrono::milliseconds(static_cast<long long>(pollSeconds * 1000)));
        events = poller.get();
        wakeFd = poller->WakeFd();
    } else {
        inotify = std::make_unique<TInotifyFolderEvents>();
        events = inotify.get();
        wakeFd = inotify->WakeFd();
    }
    const TStopSignalWake wake(wakeFd);
    TFolderWatch watch(dir, std::chrono::duration<double>(settle), *events, clock, journal, printer);
    // A file an undo gave back its name stays as it is until it changes.
    // With --into, so does one an undo of a filing batch brought back.
    TRestoredFiles restored(journal.FileName(), dir);
    std::unique_ptr<TRestoredFilings> restoredFilings;
    watch.SetRestoredCheck([&restored, &restoredFilings](const std::string& name) {
        return restored.IsRestored(name) || (restoredFilings && restoredFilings->IsRestored(name));
    });
    std::unique_ptr<TFilingJournal> filingJournal;
    std::string dest;
    TFilingOptions filingOptions = FilingOptionsFromEnvironment();
    if (pattern) {
        const std::string destGiven = to.empty() ? dir : to;
        if (CheckFolder(destGiven) != 0) {
            printer.Message("--to: " + destGiven + " is not a folder");
            return ExitItemFailed;
        }
        dest = NormalizeJournalFolder(destGiven);
        const std::string folder = NormalizeJournalFolder(dir);
        filingJournal = std::make_unique<TFilingJournal>();
        for (const std::string& message : RecoverFilingJournal(filingJournal->FileName(), filingOptions))
            printer.Message(message);
        restoredFilings = std::make_unique<TRestoredFilings>(filingJournal->FileName(), folder);
        printer.FiledTo = true;
        watch.StandardNamesToo = true;
        watch.BatchAction = [&, folder](TRenameWorkflow& rows) {
            // What trimming the filing journal met (damaged lines, the
            // journal kept aside) is told as the rename journal's is.
            const auto tellWarnings = [&] {
                for (const std::string& warning : filingJournal->TakeWarnings())
                    printer.Message(warning);
            };
            std::vector<TRenameOutcome> outcomes;
            try {
                outcomes = FileRows(*filingJournal, *pattern, folder, dest, rows, filingOptions);
            } catch (...) {
                tellWarnings();
                throw;
            }
            tellWarnings();
            return outcomes;
        };
    }
    switch (watch.Run()) {
    case TFolderWatch::TEnd::Stopped:
        return ExitSuccess;
    case TFolderWatch::TEnd::StoppedReaderBusy:
        // Every rename is done and journaled; the reader only reads.
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(ExitSuccess);
    case TFolderWatch::TEnd::Failed:
        break;
    }
    return ExitItemFailed;
}
