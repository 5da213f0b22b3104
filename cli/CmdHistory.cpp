// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli history: the rename batches of the journal, newest first.
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "components/Journal.h"
#include "components/Undo.h"

int RunHistory(int argc, char** argv)
{
    CLI::App app{"List the rename batches of the journal, newest first.\n"
                 "Text lines: id TAB time TAB folder TAB renamed TAB failed TAB restored. With --json an array "
                 "of objects with id, time, folder and the counts renamed, failed and restored.",
                 "quillon-cli history"};
    bool json = false;
    app.add_flag("--json", json, "print a JSON array");
    if (std::optional<int> status = ParseCommandLine(app, argc, argv, "history"))
        return *status;
    if (const std::string problem = JournalLockTimeoutProblem(); !problem.empty())
        return UsageError("history", problem);

    const TJournalHistory history = ReadJournalHistory(DefaultJournalFileName(), [](const std::string& message) {
        std::fprintf(stderr, "quillon-cli history: %s\n", message.c_str());
    });
    for (const std::string& warning : history.Warnings)
        std::fprintf(stderr, "quillon-cli history: %s\n", EscapeText(warning).c_str());

    nlohmann::json entries = nlohmann::json::array();
    for (const THistoryEntry& entry : history.Entries) {
        if (json) {
            nlohmann::json item = JsonTextObject(
                {{"id", entry.Id}, {"time", entry.Time}, {"folder", entry.Folder}, {"source", entry.Source}});
            item.update({{"renamed", entry.Renamed},
                         {"failed", entry.Failed},
                         {"restored", entry.Restored},
                         {"complete", entry.Complete},
                         {"taken_back", entry.TakenBack}});
            entries.push_back(std::move(item));
        } else {
            std::printf("%s\t%s\t%s\t%d\t%d\t%d\n", EscapeText(entry.Id).c_str(), entry.Time.c_str(),
                        EscapeText(entry.Folder).c_str(), entry.Renamed, entry.Failed, entry.Restored);
        }
    }
    if (json)
        PrintJson(entries);
    std::fflush(stdout);
    return ExitSuccess;
}
