// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli map: the command-line face of TMapping.
//   map geo2pixel MAP-OPTIONS   lines "LON LAT" on stdin -> "X Y V"
//   map pixel2geo MAP-OPTIONS   lines "X Y" on stdin -> "LON LAT OK"
//   map info [--json] MAP-OPTIONS
//   map kinds [--json]
//   map grid MAP-OPTIONS --lon-step N --lat-step N [...] (--trace | --png OUT)
//   map warp --from SPEC --to SPEC [...] IN OUT
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <variant>

#include <CLI/CLI.hpp>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "graphics/PictureFiles.h"
#include "mapping/GridText.h"
#include "mapping/MapBuilder.h"
#include "mapping/Warp.h"
#include "mapping/Mapping.h"
#include "runtime/FileIO.h"
#include "runtime/Graphics.h"
#include "runtime/RecordingCanvas.h"
#include "runtime/gui/QtGraphics.h"
#include "mapping/PredefinedMaps.h"

namespace {

// MAP-OPTIONS: each setting is applied only when its option is given.
void AddMapOptions(CLI::App* app, TMapSettings& o)
{
    auto* predefined = app->add_option("--predefined", o.Predefined,
                                       "use predefined map N (1-4), built as start-up builds it")
                           ->check(WholeNumber(1, 4));
    auto* kind = app->add_option("--kind", o.Kind, "projection kind K (0-14; see 'map kinds')")
                     ->check(WholeNumber(0, 14));
    auto* width = app->add_option("--width", o.Width, "image width in pixels (at least 1)");
    auto* height = app->add_option("--height", o.Height, "image height in pixels (at least 1)");
    CLI::Option* rest[] = {
        app->add_option("--lon-span", o.LongitudeSpan, "longitude span in degrees"),
        app->add_option("--lat-span", o.LatitudeSpan, "latitude span in degrees"),
        app->add_option("--centre-lon", o.CentreLongitude, "centre longitude in degrees"),
        app->add_option("--centre-lat", o.CentreLatitude, "centre latitude in degrees"),
        app->add_option("--sp1", o.StandardParallel1, "first standard parallel in degrees"),
        app->add_option("--sp2", o.StandardParallel2, "second standard parallel in degrees"),
        app->add_option("--rotation", o.Rotation, "rotation in degrees (kinds 3, 4, 7, 8, 11)"),
        app->add_option("--sector", o.Sector,
                        "Van der Grinten zoom sector (kind 12): 0 the whole map, 1-4 the quarters, 5-13 the ninths")
            ->check(WholeNumber(0, 13)),
        app->add_option("--offset-x", o.OffsetX, "column offset added to every pixel"),
        app->add_option("--offset-y", o.OffsetY, "row offset subtracted from every pixel"),
    };
    predefined->excludes(kind)->excludes(width)->excludes(height);
    for (CLI::Option* opt : rest)
        predefined->excludes(opt);
    kind->needs(width)->needs(height);
    width->needs(kind);
    height->needs(kind);
    for (CLI::Option* opt : rest)
        opt->needs(kind);
}

// ---------------------------------------------------------------------------
// Line parsing: two numbers separated by blanks, nothing else (a trailing CR
// is allowed, so files with CR LF line ends work).

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

template <typename T>
bool ParseTwo(std::string_view line, T& a, T& b)
{
    const char* p = line.data();
    const char* end = p + line.size();
    auto skip = [&] {
        while (p < end && IsBlank(*p))
            ++p;
    };
    auto one = [&](T& v) {
        skip();
        if (p < end && *p == '+')
            ++p; // from_chars takes no plus sign; "+1" is still a number
        auto r = std::from_chars(p, end, v);
        if (r.ec != std::errc() || r.ptr == p)
            return false;
        p = r.ptr;
        return true;
    };
    if (!one(a))
        return false;
    if (p < end && !IsBlank(*p))
        return false;
    if (!one(b))
        return false;
    skip();
    return p == end;
}

// Lines of geo2pixel and pixel2geo are short; a longer one is answered with
// "error" and skipped without being held in memory.
constexpr size_t MaxLineBytes = 4096;

enum class TLineRead { End, Line, TooLong };

// The next line without its LF, as std::getline gives it (a last line
// without LF counts), keeping at most MaxLineBytes bytes of it.
TLineRead ReadBoundedLine(std::streambuf& in, std::string& line)
{
    line.clear();
    bool any = false, tooLong = false;
    for (;;) {
        const int c = in.sbumpc();
        if (c == std::char_traits<char>::eof())
            break;
        any = true;
        if (c == '\n')
            break;
        if (tooLong)
            continue;
        if (line.size() == MaxLineBytes) {
            tooLong = true;
            line.clear();
            line.shrink_to_fit();
            continue;
        }
        line.push_back(static_cast<char>(c));
    }
    if (!any)
        return TLineRead::End;
    return tooLong ? TLineRead::TooLong : TLineRead::Line;
}

// Reads stdin line by line: Answer(line, out) handles one line and returns
// false when it does not parse. Errors print "error" for their line and a
// message naming it on stderr; reading goes on. Exit 1 when any line failed.
template <typename F>
int AnswerLines(const char* command, const char* expected, F&& Answer)
{
    std::string line, out;
    long long number = 0;
    bool failed = false;
    std::streambuf& in = *std::cin.rdbuf();
    for (TLineRead r; (r = ReadBoundedLine(in, line)) != TLineRead::End;) {
        ++number;
        out.clear();
        if (r == TLineRead::TooLong) {
            std::cout << "error\n";
            std::cerr << "quillon-cli map " << command << ": line " << number << ": longer than " << MaxLineBytes
                      << " bytes\n";
            failed = true;
        } else if (!Answer(line, out)) {
            std::cout << "error\n";
            std::cerr << "quillon-cli map " << command << ": line " << number << ": " << expected << "\n";
            failed = true;
        } else {
            std::cout << out;
        }
    }
    std::cout.flush();
    return failed ? ExitItemFailed : ExitSuccess;
}

std::string Fixed6(double v)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.6f", v);
    return buffer;
}

// Shortest text that reads back as the same single.
std::string SingleText(float v)
{
    char buffer[32];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v);
    return std::string(buffer, r.ptr);
}

nlohmann::json SingleJson(float v)
{
    if (!std::isfinite(v))
        return nullptr; // JSON has no NaN or infinity
    return std::strtod(SingleText(v).c_str(), nullptr);
}

int Geo2Pixel(const TMapping& map)
{
    return AnswerLines("geo2pixel", "expected two numbers: LON LAT", [&](const std::string& line, std::string& out) {
        double lon, lat;
        if (!ParseTwo(line, lon, lat))
            return false;
        int32_t x = 0, y = 0;
        bool visible = map.GeoToPixel(static_cast<float>(lon), static_cast<float>(lat), x, y);
        out += std::to_string(x);
        out += ' ';
        out += std::to_string(y);
        out += visible ? " 1\n" : " 0\n";
        return true;
    });
}

int Pixel2Geo(const TMapping& map)
{
    return AnswerLines("pixel2geo", "expected two whole numbers: X Y", [&](const std::string& line, std::string& out) {
        int32_t x, y;
        if (!ParseTwo(line, x, y))
            return false;
        float lon = 0, lat = 0;
        bool ok = map.PixelToGeo(x, y, lon, lat);
        out = Fixed6(lon);
        out += ' ';
        out += Fixed6(lat);
        out += ok ? " 1\n" : " 0\n";
        return true;
    });
}

// A field of the map, or the getter of one: each is shown as it is, a
// single as the shortest text that reads back the same.
using TMapField = std::variant<float TMapping::*, int32_t TMapping::*, uint8_t TMapping::*, bool TMapping::*,
                               int32_t (TMapping::*)() const>;

// Every setting and derived constant after the kind, by its name, in declared order.
const std::pair<const char*, TMapField> MapFields[] = {
    {"e", &TMapping::E},
    {"half-e", &TMapping::HalfE},
    {"reciprocal of n-rad", &TMapping::RecipNRad},
    {"n", &TMapping::N},
    {"reciprocal of n", &TMapping::RecipN},
    {"aF", &TMapping::AF},
    {"reciprocal of aF", &TMapping::RecipAF},
    {"n-rad", &TMapping::NRad},
    {"rho0", &TMapping::Rho0},
    {"Scale", &TMapping::Scale},
    {"reciprocal of Scale", &TMapping::RecipScale},
    {"south edge", &TMapping::SouthEdge},
    {"LatitudeSpan", &TMapping::LatitudeSpan},
    {"west edge", &TMapping::WestEdge},
    {"LongitudeSpan", &TMapping::LongitudeSpan},
    {"Height", &TMapping::Height},
    {"reciprocal of Height", &TMapping::RecipHeight},
    {"Width", &TMapping::Width},
    {"reciprocal of Width", &TMapping::RecipWidth},
    {"CentreLongitude", &TMapping::CentreLongitude},
    {"Mercator zoom scale", &TMapping::MercatorZoomScale},
    {"Mercator zoom base", &TMapping::MercatorZoomBase},
    {"CentreRow", &TMapping::CentreRow},
    {"CentreLatitude", &TMapping::CentreLatitude},
    {"Sector", &TMapping::Sector},
    {"Rotation", &TMapping::Rotation},
    {"sine of the centre latitude", &TMapping::SinCentreLatitude},
    {"cosine of the centre latitude", &TMapping::CosCentreLatitude},
    {"Southern", &TMapping::Southern},
    {"StandardParallel1", &TMapping::StandardParallel1},
    {"StandardParallel2", &TMapping::StandardParallel2},
    {"reciprocal of pi-scale", &TMapping::RecipPiScale},
    {"pi-scale", &TMapping::PiScale},
    {"OffsetX", &TMapping::GetOffsetX},
    {"polar offset", &TMapping::PolarOffset},
    {"OffsetY", &TMapping::GetOffsetY},
};

template <typename... F>
struct TOverloaded : F... {
    using F::operator()...;
};

nlohmann::ordered_json MapInfo(const TMapping& m)
{
    nlohmann::ordered_json j;
    j["Projection"] = m.Projection;
    j["ProjectionName"] = m.Projection < ProjectionNames.size() ? std::string(ProjectionNames[m.Projection]) : "";
    j["IsTrueProjection"] = m.IsTrueProjection();
    for (const auto& [name, field] : MapFields)
        j[name] = std::visit(TOverloaded{[&](float TMapping::*single) { return SingleJson(m.*single); },
                                         [&](int32_t (TMapping::*get)() const) { return nlohmann::json((m.*get)()); },
                                         [&](auto whole) { return nlohmann::json(m.*whole); }},
                             field);
    return j;
}

void PrintInfoText(const nlohmann::ordered_json& j)
{
    for (const auto& [key, value] : j.items()) {
        std::string text = value.is_string() ? value.get<std::string>() : value.dump();
        std::string name = key + ":";
        name.resize(std::max<size_t>(name.size(), 32), ' ');
        std::cout << name << ' ' << text << '\n';
    }
}

// ---------------------------------------------------------------------------
// map grid

struct GridOptions {
    int32_t lonStep = 0, latStep = 0;
    std::string labelColour = "#FFFFFF", gridColour = "#FFFF00", origin = "0,0", specials, png, background;
    bool noLabels = false, canvas = false, trace = false;
};

bool ParseInt32(std::string_view s, int32_t& v)
{
    const char* end = s.data() + s.size();
    auto r = std::from_chars(s.data(), end, v);
    return r.ec == std::errc() && r.ptr == end && !s.empty();
}

// A TColor number (decimal) or #RRGGBB, which becomes (B shl 16) or (G shl 8) or R.
bool ParseColour(const std::string& s, TColor& c)
{
    if (s.size() == 7 && s[0] == '#') {
        uint32_t rgb = 0;
        auto r = std::from_chars(s.data() + 1, s.data() + 7, rgb, 16);
        if (r.ec != std::errc() || r.ptr != s.data() + 7)
            return false;
        c = RGB(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
        return true;
    }
    return ParseInt32(s, c);
}

bool ParseOrigin(const std::string& s, int32_t& x, int32_t& y)
{
    size_t comma = s.find(',');
    return comma != std::string::npos && ParseInt32(std::string_view(s).substr(0, comma), x) &&
           ParseInt32(std::string_view(s).substr(comma + 1), y);
}

int Grid(const TMapping& map, const GridOptions& o)
{
    TColor label = 0, grid = 0;
    int32_t ox = 0, oy = 0;
    TSpecialParallels specials = 0;
    const char* bad = nullptr;
    if (!ParseColour(o.labelColour, label))
        bad = "--label-colour takes a TColor number or #RRGGBB";
    else if (!ParseColour(o.gridColour, grid))
        bad = "--grid-colour takes a TColor number or #RRGGBB";
    else if (!ParseOrigin(o.origin, ox, oy))
        bad = "--origin takes X,Y (two whole numbers)";
    else if (!ParseSpecialParallels(o.specials, specials))
        bad = "--specials takes a comma list of arctic, cancer, equator, capricorn, antarctic";
    if (!bad && o.png.size() && !CanSaveBitmapAs(o.png))
        bad = "--png OUT must end in .png or .bmp";
    else if (!bad && o.png.size() && !o.background.empty() && IsSameFile(o.png, o.background))
        bad = "--png OUT is the --background picture; give another file";
    if (bad)
        return UsageError("map grid", bad);
    // Text is measured and drawn by Qt; no display is needed.
    TOffscreenGuiApplication gui;
    UseQtGraphics();
    // DrawGridOnCanvas with --canvas, else DrawGrid's drawing (Target marked modified).
    auto draw = [&](TCanvas* canvas, TGraphic* target) {
        if (o.canvas)
            map.DrawGridOnCanvas(canvas, o.lonStep, o.latStep, label, grid, ox, oy, o.noLabels, specials);
        else
            map.DrawGridOn(canvas, target, o.lonStep, o.latStep, label, grid, ox, oy, o.noLabels);
    };
    if (o.trace) {
        TRecordingCanvas rc;
        draw(&rc, nullptr);
        for (const TCanvasCall& c : rc.Calls)
            std::cout << GridTraceLine(c) << "\n";
        std::cout.flush();
        return std::cout ? ExitSuccess : ExitItemFailed;
    }
    auto drawOnBitmap = [&](TBitmap& bitmap) { draw(bitmap.Canvas(), &bitmap); };
    if (!o.background.empty()) {
        RedrawPictureFile(o.background, o.png, drawOnBitmap);
        return ExitSuccess;
    }
    // Black, of the map's size plus the origin: a size the picture size
    // policy allows, checked before anything is allocated.
    int64_t w = int64_t(map.Width) + ox, h = int64_t(map.Height) + oy;
    if (w < 1 || h < 1 || w > INT32_MAX || h > INT32_MAX)
        return UsageError("map grid", "the map's size plus the origin, " + std::to_string(w) + " x " +
                                          std::to_string(h) + ", is not a picture size");
    if (!BitmapSizeAllowed(w, h, 24))
        return UsageError("map grid", "the map's size plus the origin is too large: " + PictureSizeRefusal(w, h, 24));
    TBitmap bitmap;
    bitmap.SetPixelFormat(pf24bit);
    bitmap.SetSize(static_cast<int>(w), static_cast<int>(h));
    drawOnBitmap(bitmap);
    SaveBitmapByExtension(bitmap, o.png);
    return ExitSuccess;
}

// ---------------------------------------------------------------------------
// map warp

struct WarpArgs {
    std::string from, to, resample = "nearest", background = "#000000", grid, in, out;
    int threads = 0;
};

int Warp(const WarpArgs& a)
{
    auto usage = [](const std::string& what) { return UsageError("map warp", what); };
    TMapping from, to;
    TMapSettings settings;
    std::string error;
    if (!ParseMapSpec(a.from, settings, error) ||
        !BuildMapFromSettings(settings, ConfigurePredefinedMap, from, error))
        return usage("--from: " + error);
    if (!ParseMapSpec(a.to, settings, error) || !BuildMapFromSettings(settings, ConfigurePredefinedMap, to, error))
        return usage("--to: " + error);
    TWarpOptions options;
    options.Resample = a.resample == "bilinear" ? TResample::Bilinear : TResample::Nearest;
    options.Threads = a.threads;
    if (!ParseColour(a.background, options.Background))
        return usage("--background takes a TColor number or #RRGGBB");
    int32_t lonStep = 0, latStep = 0;
    if (!a.grid.empty() && !ParseOrigin(a.grid, lonStep, latStep))
        return usage("--grid takes LONSTEP,LATSTEP (two whole numbers)");
    if (!CanSaveBitmapAs(a.out))
        return usage("OUT must end in .png or .bmp");
    if (IsSameFile(a.in, a.out))
        return usage("OUT is the input picture; give another file");
    // The target is held to the picture size policy before the input is read.
    if (!BitmapSizeAllowed(to.Width, to.Height, 24))
        return usage("--to: the target map is too large: " + PictureSizeRefusal(to.Width, to.Height, 24));

    TBitmap source, target;
    LoadPictureAsBitmap(a.in, source);
    TProgressLine progress;
    options.Progress = [&](int done, int rows) {
        if (done < rows)
            progress.Show("warping: rows", done);
    };
    try {
        WarpBitmap(from, source, to, target, options);
    } catch (const EWarpError& e) {
        progress.Clear();
        std::cerr << "quillon-cli map warp: cannot warp \"" << EscapeText(a.in) << "\": " << e.what() << "\n";
        return ExitItemFailed;
    }
    progress.Clear();
    if (!a.grid.empty()) {
        // Labels are measured and drawn by Qt; no display is needed.
        TOffscreenGuiApplication gui;
        UseQtGraphics();
        to.DrawGrid(&target, lonStep, latStep, clWhite, clYellow, 0, 0, false);
    }
    SaveBitmapByExtension(target, a.out);
    return ExitSuccess;
}

} // namespace

int RunMap(int argc, char** argv)
{
    CLI::App app{"Convert between geographic positions and map pixels under one of fourteen "
                 "projection kinds, and show a map's settings.",
                 "quillon-cli map"};
    app.require_subcommand(1);
    app.footer("MAP-OPTIONS: --predefined N, or --kind K --width W --height H with any of the others.\n"
               "Exit status: 0 success, 1 some line failed, 2 usage error.");

    TMapSettings options;
    auto* geo = app.add_subcommand("geo2pixel", "read 'LON LAT' lines on stdin, print 'X Y V' (V 1 when visible)");
    AddMapOptions(geo, options);
    auto* pix = app.add_subcommand("pixel2geo", "read 'X Y' lines on stdin, print 'LON LAT OK' with six decimals");
    AddMapOptions(pix, options);
    bool json = false;
    auto* info = app.add_subcommand("info", "print the map's settings and derived constants");
    info->add_flag("--json", json, "print JSON");
    AddMapOptions(info, options);
    auto* kinds = app.add_subcommand("kinds", "list the projection kinds: 'K NAME' lines");
    kinds->add_flag("--json", json, "print a JSON array of {\"kind\": K, \"name\": NAME}");
    kinds->footer("Exit status: 0 success, 2 usage error.");
    GridOptions go;
    auto* gridCmd = app.add_subcommand("grid", "draw the latitude/longitude grid: a trace of the canvas calls, or a PNG");
    AddMapOptions(gridCmd, options);
    gridCmd->add_option("--lon-step", go.lonStep, "meridian spacing in whole degrees (0: no meridians)")->required();
    gridCmd->add_option("--lat-step", go.latStep, "parallel spacing in whole degrees (0: no parallels)")->required();
    gridCmd->add_option("--label-colour", go.labelColour, "label colour: TColor number or #RRGGBB (default white)");
    gridCmd->add_option("--grid-colour", go.gridColour, "line colour: TColor number or #RRGGBB (default yellow)");
    gridCmd->add_option("--origin", go.origin, "X,Y added to every pixel (default 0,0)");
    gridCmd->add_flag("--no-labels", go.noLabels, "draw no labels");
    auto* canvasOpt = gridCmd->add_flag("--canvas", go.canvas, "draw with DrawGridOnCanvas (default DrawGrid)");
    gridCmd->add_option("--specials", go.specials, "with --canvas: comma list of arctic, cancer, equator, capricorn, antarctic, drawn dotted")
        ->needs(canvasOpt);
    auto* traceOpt = gridCmd->add_flag("--trace", go.trace, "print the canvas calls as JSON Lines");
    auto* pngOpt = gridCmd->add_option("--png", go.png, "draw on a picture and save it as OUT, PNG or BMP by its extension");
    gridCmd->add_option("--background", go.background, "with --png: draw on this GIF, PNG or BMP picture (default black, the map's size)")
        ->needs(pngOpt);
    traceOpt->excludes(pngOpt);
    gridCmd->footer("Exactly one of --trace and --png. Exit status: 0 success, 1 failure, 2 usage error.");
    WarpArgs wa;
    auto* warpCmd = app.add_subcommand("warp", "redraw a picture made on one map as it lies on another map");
    const char* specHelp = "predefined:N, or kind=K,width=W,height=H[,lon-span=..,lat-span=..,centre-lon=..,"
                           "centre-lat=..,sp1=..,sp2=..,rotation=..,sector=..,offset-x=..,offset-y=..]";
    warpCmd->add_option("--from", wa.from, std::string("the map of IN: ") + specHelp)->required();
    warpCmd->add_option("--to", wa.to, std::string("the map of OUT: ") + specHelp)->required();
    warpCmd->add_option("--resample", wa.resample, "nearest (default) or bilinear")
        ->check(CLI::IsMember({"nearest", "bilinear"}));
    warpCmd->add_option("--background", wa.background,
                        "colour of pixels with nothing under them: TColor number or #RRGGBB (default black)");
    warpCmd->add_option("--grid", wa.grid, "stamp the target map's grid: LONSTEP,LATSTEP in whole degrees");
    warpCmd->add_option("--threads", wa.threads, "rows are split over N threads (default: every core)")
        ->check(CLI::Range(1, 1024));
    warpCmd->add_option("IN", wa.in, "GIF, PNG or BMP picture of the source map's size")->required();
    warpCmd->add_option("OUT", wa.out, "the result, .png or .bmp, of the target map's size")->required();
    warpCmd->footer("Exit status: 0 success, 1 failure (a picture of the wrong size, a map without an inverse, "
                    "an unreadable file), 2 usage error.");

    if (std::optional<int> status = ParseCommandLine(app, argc, argv, "map"))
        return *status;

    if (kinds->parsed()) {
        if (json) {
            nlohmann::json list = nlohmann::json::array();
            for (size_t k = 0; k < ProjectionNames.size(); ++k)
                list.push_back({{"kind", k}, {"name", std::string(ProjectionNames[k])}});
            PrintJson(list);
        } else {
            for (size_t k = 0; k < ProjectionNames.size(); ++k)
                std::printf("%2zu %s\n", k, std::string(ProjectionNames[k]).c_str());
        }
        return ExitSuccess;
    }

    if (warpCmd->parsed())
        return Warp(wa);

    // The sub-command in use, for its usage errors.
    const std::string command = "map " + app.get_subcommands().front()->get_name();
    TMapping map;
    std::string error;
    if (!options.Predefined && !options.Kind)
        return UsageError(command, "give --predefined N, or --kind K --width W --height H");
    if (!BuildMapFromSettings(options, ConfigurePredefinedMap, map, error))
        return UsageError(command, error);
    std::ios::sync_with_stdio(false);
    if (geo->parsed())
        return Geo2Pixel(map);
    if (pix->parsed())
        return Pixel2Geo(map);
    if (gridCmd->parsed()) {
        if (!go.trace && go.png.empty())
            return UsageError(command, "give --trace or --png OUT");
        return Grid(map, go);
    }
    if (info->parsed()) {
        auto j = MapInfo(map);
        if (json)
            std::cout << j.dump(2) << "\n";
        else
            PrintInfoText(j);
        return ExitSuccess;
    }
    return ExitUsage;
}
