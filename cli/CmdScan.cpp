// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli scan: what the window lists for a folder, one row per
// non-standard MPD file beside the name its header proposes.
#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "components/RenameWorkflow.h"
#include "runtime/Application.h"
#include "runtime/FileOps.h"

int RunScan(int argc, char** argv)
{
    CLI::App app{"List the non-standard MPD files (*.mpd) of DIR beside the names their headers propose, "
                 "as the window does. Text: one row per line, file name TAB proposed name.",
                 "quillon-cli scan"};
    bool json = false;
    bool keepGoing = false;
    std::string dir;
    app.add_flag("--json", json, "print [{\"file\": ..., \"proposed\": ...}, ...]");
    app.add_flag("--keep-going", keepGoing,
                 "report a file that cannot be read on stderr and go on (default: the scan ends there)");
    app.add_option("DIR", dir, "folder to scan (not recursive)")->required();
    if (std::optional<int> status = ParseCommandLine(app, argc, argv, "scan"))
        return *status;

    TProgressLine progress;
    TRenameWorkflow workflow;
    int failures = 0;
    // SIGINT and SIGTERM end the scan at the next file, or within a header
    // search; the rows so far are printed.
    if (!PrepareFolderScan("scan", dir, keepGoing, workflow, progress, failures))
        return ExitItemFailed;
    if (!json)
        workflow.OnRowAdded = [&](const std::string& file, const std::string& proposed) {
            progress.Clear();
            std::printf("%s\t%s\n", EscapeText(file).c_str(), EscapeText(proposed).c_str());
        };

    std::string error;
    try {
        workflow.RescanFolder();
    } catch (const Exception& e) {
        // A stop may end the scan through the file under way: say why.
        error = StopRequested() ? std::string(StoppedReason) : e.Message();
    }
    progress.Clear();

    if (json) {
        nlohmann::json rows = nlohmann::json::array();
        for (int i = 0; i < workflow.RowCount(); ++i)
            rows.push_back(JsonTextObject({{"file", workflow.FileNames()[static_cast<size_t>(i)]},
                                           {"proposed", workflow.ProposedNames()[static_cast<size_t>(i)]}}));
        PrintJson(rows);
    }
    std::fflush(stdout);
    if (!error.empty()) {
        std::fprintf(stderr, "quillon-cli scan: %s\n", EscapeText(error).c_str());
        return ExitItemFailed;
    }
    return failures > 0 ? ExitItemFailed : ExitSuccess;
}
