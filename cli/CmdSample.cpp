// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli sample: writes a demo folder of sample MPD files.
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "runtime/SysUtils.h"
#include "satellite/SampleFiles.h"

int RunSample(int argc, char** argv)
{
    CLI::App app{"Writes a demo folder of sample MPD files: a spread of satellites, dates, slots and letters, "
                 "a few already standard-named and a few the window leaves out; or, with --tree, a small station "
                 "archive",
                 "sample"};
    std::string folder;
    int count = 24;
    int treeDays = 0;
    app.add_option("DIR", folder,
                   "folder to write into (created when missing); a name already there is left as it is")
        ->required();
    auto* countOpt = app.add_option("--count", count, "number of files")->check(WholeNumber(1, 100000));
    app.add_option("--tree", treeDays,
                   "write an archive tree of DAYS days instead: year/month folders, several satellites and "
                   "formats, some missing slots, a few duplicates and unreadable files")
        ->check(WholeNumber(1, 366))
        ->excludes(countOpt);
    if (std::optional<int> status = ParseCommandLine(app, argc, argv, "sample"))
        return *status;
    if (treeDays > 0) {
        const TArchiveTree tree = WriteArchiveTree(folder, treeDays);
        std::printf("wrote %zu files to %s (%d missing MET-7 slots, %zu unreadable files)\n", tree.Files.size(),
                    EscapeText(folder).c_str(), tree.MissingSlots, tree.Unreadable.size());
        if (tree.Skipped > 0) {
            std::fprintf(stderr, "quillon-cli sample: %d names were taken already: left as they are, not written\n",
                         tree.Skipped);
            return ExitItemFailed;
        }
        return ExitSuccess;
    }
    const std::vector<TDemoFile> files = WriteDemoFolder(folder, count);
    std::printf("file\tlisted\tstandard_name\n");
    size_t written = 0;
    for (const TDemoFile& f : files) {
        if (!f.Written) {
            std::fprintf(stderr, "quillon-cli sample: %s exists: left as it is, not written\n",
                         EscapeText(IncludeTrailingPathDelimiter(folder) + f.FileName).c_str());
            continue;
        }
        ++written;
        std::printf("%s\t%s\t%s\n", EscapeText(f.FileName).c_str(), f.Listed ? "yes" : "no", f.StandardName.c_str());
    }
    std::printf("wrote %zu files to %s\n", written, EscapeText(folder).c_str());
    return written == files.size() ? ExitSuccess : ExitItemFailed;
}
