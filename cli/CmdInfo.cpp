// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli info: identify satellite image files from their headers and
// propose their standard names.
#include <cstdio>
#include <sys/stat.h>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "runtime/SysUtils.h"
#include "satellite/FileReport.h"
#include "satellite/SatelliteInfo.h"

namespace {

nlohmann::json ToJson(const TSatelliteFileReport& r)
{
    nlohmann::json o = {
        {"ok", r.Ok},
        {"satellite_code", r.SatelliteCode},
        {"acquisition_time", r.AcquisitionTime},
        {"acquisition_iso", r.HasAcquisitionTime() ? nlohmann::json(DateTimeToIso(r.AcquisitionTime)) : nlohmann::json(nullptr)},
    };
    PutJsonText(o, "file", r.File);
    PutJsonText(o, "error", r.Ok ? nullptr : &r.Error);
    PutJsonText(o, "image_format", r.ImageFormat);
    PutJsonText(o, "standard_name", r.StandardName);
    PutJsonTexts(o, "report", r.Report);
    return o;
}

// The report's lines, then the results.
void PrintText(const TSatelliteFileReport& r)
{
    for (const std::string& line : ReportTextLines(r.Report))
        std::cout << EscapeText(line) << '\n';
    if (!r.Ok)
        std::cerr << "quillon-cli info: " << EscapeText(r.Error) << '\n';
    const unsigned code = r.SatelliteCode;
    const std::string_view name = SatelliteName(r.SatelliteCode);
    std::cout << "file: " << EscapeText(r.File) << '\n'
              << "ok: " << (r.Ok ? "yes" : "no") << '\n'
              << "satellite code: " << code << (name.empty() ? std::string() : " (" + std::string(name) + ")") << '\n'
              << "image format: " << EscapeText(r.ImageFormat) << '\n'
              << "standard name: " << EscapeText(r.StandardName) << '\n'
              << "acquisition time: "
              << (r.HasAcquisitionTime() ? DateTimeToIso(r.AcquisitionTime) : std::string("none")) << '\n';
}

} // namespace

int RunInfo(int argc, char** argv)
{
    CLI::App app{"Identifies satellite image files by their headers and proposes their standard names", "info"};
    bool json = false;
    std::vector<std::string> files;
    app.add_flag("--json", json, "print one JSON array with an object per file");
    app.add_option("FILE", files, "satellite image files (.mpd .hrm .rah .met .pdu .open_mtp .hdf, others read as MET)")
        ->required();
    if (std::optional<int> status = ParseCommandLine(app, argc, argv, "info"))
        return *status;

    bool failed = false;
    nlohmann::json out = nlohmann::json::array();
    for (size_t i = 0; i < files.size(); ++i) {
        // The header reader gives blank results for a file that is not there;
        // one line on stderr makes a typo visible without changing them.
        struct stat entry {};
        if (::stat(files[i].c_str(), &entry) != 0)
            std::cerr << "quillon-cli info: " << EscapeText(files[i]) << ": no such file\n";
        else if (!S_ISREG(entry.st_mode))
            std::cerr << "quillon-cli info: " << EscapeText(files[i]) << ": not a regular file\n";
        const TSatelliteFileReport r = IdentifySatelliteFile(files[i]);
        failed = failed || !r.Ok;
        if (json) {
            out.push_back(ToJson(r));
        } else {
            if (i > 0)
                std::cout << '\n';
            PrintText(r);
        }
    }
    if (json)
        PrintJson(out);
    return failed ? ExitItemFailed : ExitSuccess;
}
