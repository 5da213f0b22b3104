// quillon-cli info: identify satellite image files from their headers and
// propose their standard names.
#include <cstdio>
#include <sys/stat.h>
#include <iostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "runtime/Classes.h"
#include "runtime/SysUtils.h"
#include "satellite/SatelliteInfo.h"

namespace {

struct TFileResult {
    std::string File;
    bool Ok = true;
    std::string Error;
    uint8_t SatelliteCode = 0;
    TStringList Report;
    TDateTime AcquisitionTime = 0.0;
    std::string StandardName;
    std::string ImageFormat;
};

TFileResult Identify(const std::string& file)
{
    TFileResult r;
    r.File = file;
    try {
        ReadSatelliteFileInfo(file, r.SatelliteCode, &r.Report, r.AcquisitionTime, r.StandardName, r.ImageFormat);
    } catch (const std::exception& e) {
        r.Ok = false;
        r.Error = e.what();
    }
    return r;
}

nlohmann::json ToJson(const TFileResult& r)
{
    nlohmann::json report = nlohmann::json::array();
    for (const std::string& entry : r.Report)
        report.push_back(JsonSafe(entry));
    return {
        {"file", JsonSafe(r.File)},
        {"ok", r.Ok},
        {"error", r.Ok ? nlohmann::json(nullptr) : nlohmann::json(JsonSafe(r.Error))},
        {"satellite_code", r.SatelliteCode},
        {"image_format", JsonSafe(r.ImageFormat)},
        {"standard_name", JsonSafe(r.StandardName)},
        {"acquisition_time", r.AcquisitionTime},
        {"acquisition_iso", r.AcquisitionTime == 0.0 ? nlohmann::json(nullptr) : nlohmann::json(DateTimeToIso(r.AcquisitionTime))},
        {"report", report},
    };
}

// Report entries line by line (the descriptive text is one entry of several
// CR LF-ended lines), then the results.
void PrintText(const TFileResult& r)
{
    for (const std::string& entry : r.Report) {
        size_t start = 0;
        while (start <= entry.size()) {
            size_t end = entry.find("\r\n", start);
            if (end == std::string::npos) {
                if (start < entry.size() || entry.empty())
                    std::cout << EscapeText(entry.substr(start)) << '\n';
                break;
            }
            std::cout << EscapeText(entry.substr(start, end - start)) << '\n';
            start = end + 2;
        }
    }
    if (!r.Ok)
        std::cerr << "quillon-cli info: " << EscapeText(r.Error) << '\n';
    const unsigned code = r.SatelliteCode;
    std::cout << "file: " << EscapeText(r.File) << '\n'
              << "ok: " << (r.Ok ? "yes" : "no") << '\n'
              << "satellite code: " << code << (code < SatelliteNames.size() && *SatelliteNames[code] ? std::string(" (") + SatelliteNames[code] + ")" : "") << '\n'
              << "image format: " << EscapeText(r.ImageFormat) << '\n'
              << "standard name: " << EscapeText(r.StandardName) << '\n'
              << "acquisition time: "
              << (r.AcquisitionTime == 0.0 ? std::string("none") : DateTimeToIso(r.AcquisitionTime)) << '\n';
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
        const TFileResult r = Identify(files[i]);
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
