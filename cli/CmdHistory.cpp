// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli history: the rename and filing batches of the journals, newest first.
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "components/FilingJournal.h"
#include "components/Journal.h"
#include "components/Undo.h"

namespace {

// One element of the JSON array, printed as PrintJson would print it within
// the array: the rows go out as they are read, none is kept.
void PrintJsonElement(const nlohmann::json& item, bool first)
{
    std::string text = item.dump(2);
    std::string indented = "  ";
    for (char c : text) {
        indented += c;
        if (c == '\n')
            indented += "  ";
    }
    std::fputs(first ? "[\n" : ",\n", stdout);
    std::fputs(indented.c_str(), stdout);
}

} // namespace

int RunHistory(int argc, char** argv)
{
    CLI::App app{"List the rename batches of the journal and the filing batches (rename --into), newest first.\n"
                 "Text lines: id TAB time TAB folder TAB renamed TAB failed TAB restored; a filing batch adds "
                 "TAB filing TAB destination, its count of files moved in place of renamed. With --json an array "
                 "of objects with kind (rename or filing), id, time, folder and the counts renamed (filing: "
                 "moved, and dest), failed and restored.",
                 "quillon-cli history"};
    bool json = false;
    app.add_flag("--json", json, "print a JSON array");
    if (std::optional<int> status = ParseCommandLine(app, argc, argv, "history"))
        return *status;
    if (const std::string problem = JournalLockTimeoutProblem(); !problem.empty())
        return UsageError("history", problem);

    THistoryReader history(DefaultJournalFileName(), DefaultFilingJournalFileName(), [](const std::string& message) {
        std::fprintf(stderr, "quillon-cli history: %s\n", message.c_str());
    });
    bool first = true;
    THistoryEntry entry;
    while (history.Next(entry)) {
        if (json) {
            nlohmann::json item = {{"kind", entry.Filing ? "filing" : "rename"}};
            item.update(JsonTextObject({{"id", entry.Id}, {"time", entry.Time}, {"folder", entry.Folder}}));
            if (entry.Filing)
                PutJsonText(item, "dest", entry.Dest);
            else
                PutJsonText(item, "source", entry.Source);
            item[entry.Filing ? "moved" : "renamed"] = entry.Renamed;
            item.update({{"failed", entry.Failed},
                         {"restored", entry.Restored},
                         {"complete", entry.Complete},
                         {"taken_back", entry.TakenBack}});
            PrintJsonElement(item, first);
        } else {
            std::printf("%s\t%s\t%s\t%d\t%d\t%d", EscapeText(entry.Id).c_str(), entry.Time.c_str(),
                        EscapeText(entry.Folder).c_str(), entry.Renamed, entry.Failed, entry.Restored);
            if (entry.Filing)
                std::printf("\tfiling\t%s", EscapeText(entry.Dest).c_str());
            std::putchar('\n');
        }
        first = false;
    }
    if (json)
        std::fputs(first ? "[]\n" : "\n]\n", stdout);
    for (const std::string& warning : history.Warnings())
        std::fprintf(stderr, "quillon-cli history: %s\n", EscapeText(warning).c_str());
    std::fflush(stdout);
    return ExitSuccess;
}
