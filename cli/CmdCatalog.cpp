// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli catalog: the archive catalogue. update walks archive trees into
// it; find, gaps, duplicates and stats answer from it.
#include <cerrno>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "catalog/Catalog.h"
#include "catalog/CatalogQuery.h"
#include "catalog/ReceptionChart.h"
#include "catalog/SqliteCatalogStore.h"
#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "graphics/PictureFiles.h"
#include "runtime/Application.h"
#include "runtime/gui/QtGraphics.h"
#include "runtime/SysUtils.h"

namespace {

void MakeFolders(const std::string& file)
{
    const std::string dir = ExtractFileDir(file);
    for (size_t at = 1; at <= dir.size(); ++at)
        if (at == dir.size() || dir[at] == '/')
            ::mkdir(dir.substr(0, at).c_str(), 0700);
}

void Waiting(const char* notice)
{
    std::fprintf(stderr, "quillon-cli catalog: %s\n", notice);
}

TCatalogOpenOptions OpenOptions(bool create)
{
    TCatalogOpenOptions o;
    o.Create = create;
    o.BusyTimeoutSeconds = CatalogLockTimeout();
    o.OnWaiting = Waiting;
    return o;
}

// A CSV field (RFC 4180): quoted when it holds a comma, a quote or a line break.
std::string Csv(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

nlohmann::json EntryJson(const TCatalogEntry& e)
{
    nlohmann::json o = JsonTextObject({{"path", e.Path}});
    o["size"] = e.Identity.Size;
    o["format"] = e.Format;
    o["satellite_code"] = e.SatelliteCode;
    PutJsonText(o, "satellite", e.SatelliteName);
    PutJsonText(o, "image_format", e.ImageFormat);
    o["acquired"] = e.Acquired ? nlohmann::json(*e.Acquired) : nlohmann::json(nullptr);
    o["acquired_iso"] = e.Acquired ? nlohmann::json(e.AcquiredIso) : nlohmann::json(nullptr);
    PutJsonText(o, "standard_name", e.StandardName);
    o["is_standard"] = e.IsStandard;
    return o;
}

struct TRange {
    std::string from, to;
    std::optional<int64_t> From, To;
};

// --from and --to into seconds; a usage error's status otherwise.
std::optional<int> ParseRange(const std::string& command, TRange& r)
{
    std::string error;
    int64_t s = 0;
    if (!r.from.empty()) {
        if (!ParseCatalogTime(r.from, false, s, error))
            return UsageError(command, "--from: " + error);
        r.From = s;
    }
    if (!r.to.empty()) {
        if (!ParseCatalogTime(r.to, true, s, error))
            return UsageError(command, "--to: " + error);
        r.To = s;
    }
    return std::nullopt;
}

int Update(const std::string& db, const std::vector<std::string>& roots, bool cross, bool json)
{
    std::vector<std::string> resolved;
    for (const std::string& root : roots)
        resolved.push_back(ResolveCatalogRoot(root));
    MakeFolders(db);
    StopOnSignals();
    TCatalogUpdateLock lock(db, CatalogLockTimeout(), Waiting);
    TSqliteCatalogStore store(db, OpenOptions(true));
    TProgressLine progress;
    TCatalogUpdateOptions options;
    options.CrossFilesystems = cross;
    options.OnProgress = [&](int64_t files) { progress.Show("cataloguing", static_cast<int>(files)); };
    options.OnWarning = [&](const std::string& message) {
        progress.Clear();
        std::fprintf(stderr, "quillon-cli catalog update: %s\n", EscapeText(message).c_str());
    };
    const TCatalogUpdateCounts c = UpdateCatalog(store, resolved, options);
    progress.Clear();
    if (json) {
        nlohmann::json o = JsonTextObject({{"catalog", db}});
        for (auto [key, value] : {std::pair<const char*, int64_t>{"added", c.Added}, {"changed", c.Changed},
                                  {"removed", c.Removed}, {"unchanged", c.Unchanged}, {"unreadable", c.Unreadable}})
            o[key] = value;
        o["stopped"] = c.Stopped;
        PrintJson(o);
    } else
        std::printf("added %lld, changed %lld, removed %lld, unchanged %lld, unreadable %lld\n",
                    static_cast<long long>(c.Added), static_cast<long long>(c.Changed),
                    static_cast<long long>(c.Removed), static_cast<long long>(c.Unchanged),
                    static_cast<long long>(c.Unreadable));
    std::fflush(stdout);
    if (c.Stopped) {
        std::fprintf(stderr, "quillon-cli catalog update: stopped; the catalogue holds the files recorded before the "
                             "last transaction, nothing removed\n");
        return ExitItemFailed;
    }
    return ExitSuccess;
}

} // namespace

int RunCatalog(int argc, char** argv)
{
    CLI::App app{"The archive catalogue: record the satellite files of folder trees in an SQLite file, then ask it "
                 "what was received, what is missing, what is stored twice",
                 "catalog"};
    app.require_subcommand(1);
    std::string db = DefaultCatalogPath();
    const std::string dbHelp = "the catalogue file (default $XDG_DATA_HOME/quillon/catalog.sqlite)";

    auto* update = app.add_subcommand("update", "walk the ROOT folders and bring the catalogue up to date");
    std::vector<std::string> roots;
    bool cross = false, updateJson = false;
    update->add_option("--db", db, dbHelp);
    update->add_flag("--cross-filesystems", cross, "enter folders of other file systems (default: stay on each ROOT's)");
    update->add_flag("--json", updateJson, "print the counts as one JSON object");
    update->add_option("ROOT", roots, "folders to walk (recursively; symbolic links are not followed)")->required();

    auto* find = app.add_subcommand("find", "list the catalogued files that match, ordered by acquisition time");
    std::string satellite, format, root;
    TRange findRange;
    bool nonStandard = false, findJson = false, csv = false;
    find->add_option("--db", db, dbHelp);
    find->add_option("--satellite", satellite, "satellite name or code (see 'quillon-cli tables satellites')");
    find->add_option("--format", format, "transmission-format letters, e.g. AIVH");
    find->add_option("--from", findRange.from, "acquired at or after this UTC time (YYYY-MM-DD[THH:MM[:SS]])");
    find->add_option("--to", findRange.to, "acquired up to and including this UTC date or time");
    find->add_option("--root", root, "only files inside this folder");
    find->add_flag("--non-standard", nonStandard, "only files whose name is not yet standard");
    auto* jsonOpt = find->add_flag("--json", findJson, "print a JSON array of objects");
    find->add_flag("--csv", csv, "print CSV with a header row")->excludes(jsonOpt);

    auto* gaps = app.add_subcommand("gaps", "list the runs of missing slots of one satellite");
    std::string gapSatellite;
    TRange gapRange;
    int slotMinutes = 30;
    gaps->add_option("--db", db, dbHelp);
    gaps->add_option("--satellite", gapSatellite, "satellite name or code")->required();
    gaps->add_option("--from", gapRange.from, "from this UTC time");
    gaps->add_option("--to", gapRange.to, "up to and including this UTC date or time");
    gaps->add_option("--slot", slotMinutes, "slot length in minutes (default 30, the standard names' slots)")
        ->check(WholeNumber(1, 1440));

    auto* dups = app.add_subcommand("duplicates", "list files holding the same bytes, and files proposing one standard name");
    bool dupJson = false;
    dups->add_option("--db", db, dbHelp);
    dups->add_flag("--json", dupJson, "print one JSON object");

    auto* stats = app.add_subcommand("stats", "files per satellite per month; with --png a reception chart");
    std::string png;
    TRange statRange;
    stats->add_option("--db", db, dbHelp);
    stats->add_option("--png", png, "draw the reception chart (one row per satellite, one column per day) to this PNG");
    stats->add_option("--from", statRange.from, "from this UTC time");
    stats->add_option("--to", statRange.to, "up to and including this UTC date or time");

    if (std::optional<int> status = ParseCommandLine(app, argc, argv, "catalog"))
        return *status;

    if (update->parsed())
        return Update(db, roots, cross, updateJson);

    if (find->parsed()) {
        TCatalogFilter filter;
        std::string error;
        if (!satellite.empty()) {
            int code = 0;
            if (!ParseSatellite(satellite, code, error))
                return UsageError("catalog find", "--satellite: " + error);
            filter.SatelliteCode = code;
        }
        if (!format.empty() && !ParseImageFormat(format, filter.ImageFormat, error))
            return UsageError("catalog find", "--format: " + error);
        if (std::optional<int> status = ParseRange("catalog find", findRange))
            return *status;
        filter.From = findRange.From;
        filter.To = findRange.To;
        if (!root.empty()) {
            struct stat info {};
            filter.Root = ::stat(root.c_str(), &info) == 0 ? ResolveCatalogRoot(root) : ExcludeTrailingPathDelimiter(root);
            if (filter.Root.empty())
                filter.Root = "";   // the whole file system
        }
        filter.NonStandardOnly = nonStandard;
        TSqliteCatalogStore store(db, OpenOptions(false));
        bool first = true;
        if (findJson)
            std::printf("[");
        if (csv)
            std::printf("time,satellite_code,satellite,image_format,format,standard_name,is_standard,path\r\n");
        store.Select(filter, [&](const TCatalogEntry& e) {
            if (findJson) {
                std::printf("%s\n  %s", first ? "" : ",", EntryJson(e).dump().c_str());
            } else if (csv) {
                std::printf("%s,%d,%s,%s,%s,%s,%d,%s\r\n", e.AcquiredIso.c_str(), e.SatelliteCode,
                            Csv(e.SatelliteName).c_str(), Csv(e.ImageFormat).c_str(), e.Format.c_str(),
                            Csv(e.StandardName).c_str(), e.IsStandard ? 1 : 0, Csv(e.Path).c_str());
            } else {
                std::printf("%s\t%s\t%s\t%s\n", e.AcquiredIso.c_str(), EscapeText(e.SatelliteName).c_str(),
                            EscapeText(e.ImageFormat).c_str(), EscapeText(e.Path).c_str());
            }
            first = false;
            return true;
        });
        if (findJson)
            std::printf("%s]\n", first ? "" : "\n");
        return ExitSuccess;
    }

    if (gaps->parsed()) {
        int code = 0;
        std::string error;
        if (!ParseSatellite(gapSatellite, code, error))
            return UsageError("catalog gaps", "--satellite: " + error);
        if (std::optional<int> status = ParseRange("catalog gaps", gapRange))
            return *status;
        TSqliteCatalogStore store(db, OpenOptions(false));
        const int64_t total = FindGaps(store, code, gapRange.From, gapRange.To, int64_t(slotMinutes) * 60,
                                       [](const TGapRun& r) {
                                           std::printf("%s\t%s\t%lld\n", IsoFromSeconds(r.From).c_str(),
                                                       IsoFromSeconds(r.To).c_str(), static_cast<long long>(r.Count));
                                       });
        std::printf("total\t%lld\n", static_cast<long long>(total));
        return ExitSuccess;
    }

    if (dups->parsed()) {
        StopOnSignals();
        TSqliteCatalogStore store(db, OpenOptions(false));
        nlohmann::json content = nlohmann::json::array(), names = nlohmann::json::array();
        int group = 0;
        FindSameContent(store, [&](const std::vector<TCatalogEntry>& g) {
            ++group;
            std::vector<std::string> files;
            for (const TCatalogEntry& e : g) {
                files.push_back(e.Path);
                if (!dupJson)
                    std::printf("same-content\t%d\t%lld\t%s\n", group, static_cast<long long>(e.Identity.Size),
                                EscapeText(e.Path).c_str());
            }
            nlohmann::json o = {{"size", g.front().Identity.Size}, {"digest", g.front().ContentHash}};
            PutJsonTexts(o, "files", files);
            content.push_back(o);
        });
        group = 0;
        FindSameStandardName(store, [&](const std::vector<TCatalogEntry>& g) {
            ++group;
            std::vector<std::string> files;
            for (const TCatalogEntry& e : g) {
                files.push_back(e.Path);
                if (!dupJson)
                    std::printf("same-name\t%d\t%s\t%s\n", group, EscapeText(e.StandardName).c_str(),
                                EscapeText(e.Path).c_str());
            }
            nlohmann::json o = JsonTextObject({{"standard_name", g.front().StandardName}});
            PutJsonTexts(o, "files", files);
            names.push_back(o);
        });
        if (dupJson)
            PrintJson({{"same_content", content}, {"same_name", names}});
        return ExitSuccess;
    }

    if (stats->parsed()) {
        if (std::optional<int> status = ParseRange("catalog stats", statRange))
            return *status;
        if (!png.empty() && !CanSaveBitmapAs(png))
            return UsageError("catalog stats", "--png: the chart is written as .png (or .bmp), not " + EscapeText(png));
        TSqliteCatalogStore store(db, OpenOptions(false));
        store.CountPerMonth(statRange.From, statRange.To,
                            [](int code, const std::string& name, const std::string& month, int64_t files) {
                                std::printf("%s\t%s\t%lld\n", name.empty() ? std::to_string(code).c_str() : name.c_str(),
                                            month.c_str(), static_cast<long long>(files));
                            });
        if (!png.empty()) {
            // Text is measured and drawn by Qt; no display is needed.
            TOffscreenGuiApplication gui;
            UseQtGraphics();
            const TReceptionData data = GatherReception(store, statRange.From, statRange.To);
            TBitmap bitmap;
            bitmap.SetPixelFormat(pf24bit);
            bitmap.SetSize(1, 1);
            const TSize size = ReceptionChartSize(*bitmap.Canvas(), data);
            bitmap.SetSize(size.cx, size.cy);
            DrawReceptionChart(*bitmap.Canvas(), data);
            SaveBitmapByExtension(bitmap, png);
        }
        return ExitSuccess;
    }
    return ExitUsage;
}
