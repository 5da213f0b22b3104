// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli watch: names the files of a receiving folder as they arrive
// (components/FolderWatch.h has the rules). Here: the options, the printing
// of each rename and message, and the exit status.
#include <cstdio>
#include <string>

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "components/FolderWatch.h"
#include "components/Journal.h"
#include "components/Undo.h"

namespace {

// Each rename a line on stdout at once (also into a pipe), each message a
// line on stderr.
class TWatchPrinter : public IFolderWatchObserver {
public:
    explicit TWatchPrinter(bool Json) : json_(Json) {}
    void Renamed(const TRenameOutcome& row) override
    {
        if (json_) {
            nlohmann::json item = JsonTextObject({{"status", row.Renamed ? "renamed" : "failed"},
                                                  {"old", row.OldName},
                                                  {"new", row.NewName}});
            if (!row.Renamed)
                PutJsonText(item, "reason", row.Reason);
            std::printf("%s\n", item.dump().c_str());
        } else if (row.Renamed) {
            std::printf("renamed\t%s\t%s\n", EscapeText(row.OldName).c_str(), EscapeText(row.NewName).c_str());
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
                 "unchanged in size and time for the settle time. Each rename is journaled and printed at once: "
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
    if (std::optional<int> status = ParseCommandLine(app, argc, argv, "watch"))
        return *status;
    if (const std::string problem = JournalLockTimeoutProblem(); !problem.empty())
        return UsageError("watch", problem);
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
    TInotifyFolderEvents events;
    const TStopSignalWake wake(events.WakeFd());
    TFolderWatch watch(dir, std::chrono::duration<double>(settle), events, clock, journal, printer);
    // A file an undo gave back its name stays as it is until it changes.
    TRestoredFiles restored(journal.FileName(), dir);
    watch.SetRestoredCheck([&restored](const std::string& name) { return restored.IsRestored(name); });
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
