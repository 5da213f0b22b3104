// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli version [--json] [FILE]: the version block that the version
// resource reader finds in FILE (a Windows PE file or one of our own
// executables), or in the running executable.
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <string>

#include <CLI/CLI.hpp>

#include "about/VersionInfo.h"
#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "runtime/FileOps.h"

int RunVersion(int argc, char** argv)
{
    CLI::App app{"Shows the version resource of FILE, or of quillon-cli itself", "version"};
    bool json = false;
    std::string file;
    app.add_flag("--json", json, "print one JSON object");
    app.add_option("FILE", file, "a Windows PE file or an executable of ours");
    if (std::optional<int> status = ParseCommandLine(app, argc, argv, "version"))
        return *status;

    if (!file.empty()) {
        // A typo must not read as a file without a version resource.
        struct stat info {};
        if (::stat(file.c_str(), &info) != 0) {
            const int err = errno;
            std::fprintf(stderr, "quillon-cli version: cannot read '%s': %s\n", EscapeText(file).c_str(),
                         FileErrorText(err).c_str());
            return ExitItemFailed;
        }
    }

    TdfsVersionInfoResource vi;
    if (file.empty())
        vi.SetForceEXE(true); // the running executable
    else
        vi.SetFilename(file);
    bool found = !vi.VersionData().empty();

    if (json) {
        nlohmann::json out;
        PutJsonText(out, "file", vi.ResolveFileName());
        out["found"] = found;
        PutJsonTexts(out, "translations", vi.Translations());
        nlohmann::json values = nlohmann::json::object();
        for (const auto& [key, value] : VersionStringValues(vi))
            PutJsonText(values, Utf8OrReplacement(key), value);
        out["values"] = values;
        PutJsonText(out, "file_version", vi.FileVersionInfo().AsText());
        PutJsonText(out, "product_version", vi.ProductVersionInfo().AsText());
        out["flags"] = vi.FlagsText();
        PrintJson(out);
    } else {
        std::printf("File\t%s\n", EscapeText(vi.ResolveFileName()).c_str());
        if (!found) {
            std::fprintf(stderr, "quillon-cli version: %s carries no version resource\n",
                         vi.ResolveFileName().c_str());
            return ExitItemFailed;
        }
        std::string list;
        for (const std::string& t : vi.Translations())
            list += (list.empty() ? "" : " ") + t;
        std::printf("Translations\t%s\n", list.c_str());
        for (const auto& [key, value] : VersionStringValues(vi))
            std::printf("%s\t%s\n", key.c_str(), EscapeText(value).c_str());
        std::printf("File version\t%s\n", EscapeText(vi.FileVersionInfo().AsText()).c_str());
        std::printf("Product version\t%s\n", EscapeText(vi.ProductVersionInfo().AsText()).c_str());
        std::printf("Flags\t%s\n", vi.FlagsText().c_str());
    }
    return found ? ExitSuccess : ExitItemFailed;
}
