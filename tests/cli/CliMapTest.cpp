// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli map: the contract of geo2pixel, pixel2geo, info, kinds and grid.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "graphics/PngImage.h"
#include "mapping/Mapping.h"
#include "runtime/Graphics.h"
#include "mapping/PredefinedMaps.h"

namespace {

namespace fs = std::filesystem;

struct MapRun {
    int exit = -1;
    std::string out, err;
};

std::string ReadAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs quillon-cli map ARGS with INPUT on stdin.
MapRun RunMap(const std::vector<std::string>& args, const std::string& input = "", const std::string& env = "")
{
    fs::path dir = fs::temp_directory_path() / ("quillon-map-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "in", std::ios::binary) << input;
    std::string cmd = env + Quote(QUILLON_CLI) + " map";
    for (const std::string& a : args)
        cmd += " " + Quote(a);
    cmd += " <" + Quote((dir / "in").string()) + " >" + Quote((dir / "out").string()) + " 2>" +
           Quote((dir / "err").string());
    int status = std::system(cmd.c_str());
    MapRun r;
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = ReadAll(dir / "out");
    r.err = ReadAll(dir / "err");
    fs::remove_all(dir);
    return r;
}

std::vector<std::string> Lines(const std::string& s)
{
    std::vector<std::string> lines;
    std::istringstream in(s);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST(CliMap, Geo2PixelPredefinedWorkedFigures)
{
    MapRun r = RunMap({"geo2pixel", "--predefined", "1"}, "140 35\n");
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "870 311 1\n");
    r = RunMap({"geo2pixel", "--predefined", "4"}, "0 90\n");
    EXPECT_EQ(r.out, "503 132 1\n");
}

TEST(CliMap, BadLinesPrintErrorInPlaceAndExitOne)
{
    MapRun r = RunMap({"geo2pixel", "--kind", "1", "--width", "360", "--height", "180"},
                      "190 0\nabc\n1 2 3\n\n-179.5\t0\r\n1e400 0\n+10 -90\n");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"10 90 1", "error", "error", "error", "0 90 1",
                                                      "error", "190 180 1"}));
    EXPECT_NE(r.err.find("line 2"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("line 3"), std::string::npos);
    EXPECT_NE(r.err.find("line 4"), std::string::npos);
    EXPECT_NE(r.err.find("line 6"), std::string::npos);
    EXPECT_EQ(r.err.find("line 5"), std::string::npos);
}

TEST(CliMap, NegativeValuesFollowTheirOptions)
{
    // Kind 2 centred on -45.5: the centre maps to the middle column.
    MapRun r = RunMap({"geo2pixel", "--kind", "2", "--width", "100", "--height", "100", "--lon-span", "50",
                       "--lat-span", "50", "--centre-lon", "-45.5", "--centre-lat", "-10", "--offset-y", "-3"},
                      "-45.5 -10\n");
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(r.out, "50 53 1\n");
}

TEST(CliMap, BuildsInCopyFromOrder)
{
    // Parallels given on the command line survive the centre latitude, and
    // the offset survives the other settings, whatever the option order.
    MapRun cli = RunMap({"geo2pixel", "--offset-x", "171", "--sp2", "44", "--sp1", "44.5", "--kind", "10",
                         "--lat-span", "46.6", "--centre-lat", "25.7", "--centre-lon", "128.5", "--height",
                         "1024", "--width", "1024"},
                        "140 35\n100 10\n");
    MapRun pre = RunMap({"geo2pixel", "--predefined", "1"}, "140 35\n100 10\n");
    EXPECT_EQ(cli.exit, 0) << cli.err;
    EXPECT_EQ(cli.out, pre.out);
}

TEST(CliMap, Pixel2GeoSixDecimalsAndFailures)
{
    MapRun r = RunMap({"pixel2geo", "--kind", "1", "--width", "360", "--height", "180"},
                      "360 0\n90 45\n1.5 2\n");
    EXPECT_EQ(r.exit, 1);
    auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 3u);
    // Through the single-precision reciprocal of the width: 180 and a hair,
    // reduced to just above -180.
    EXPECT_EQ(lines[0], "-179.999985 90.000000 1");
    EXPECT_EQ(lines[1], "-90.000000 45.000000 1");
    EXPECT_EQ(lines[2], "error");

    r = RunMap({"pixel2geo", "--kind", "8", "--width", "100", "--height", "100"}, "50 50\n");
    EXPECT_EQ(r.exit, 0);
    EXPECT_EQ(r.out.substr(r.out.size() - 3), " 0\n");
}

TEST(CliMap, ManyLinesStreamInOrder)
{
    std::string input;
    for (int i = 0; i < 20000; ++i)
        input += std::to_string(i % 360 - 180) + " " + std::to_string(i % 180 - 90) + "\n";
    MapRun r = RunMap({"geo2pixel", "--kind", "1", "--width", "360", "--height", "180"}, input);
    EXPECT_EQ(r.exit, 0);
    auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 20000u);
    EXPECT_EQ(lines[0], "0 180 1");
    EXPECT_EQ(lines[19999], std::to_string(19999 % 360) + " " + std::to_string(180 - 19999 % 180) + " 1");
}

TEST(CliMap, InfoJsonNamesEveryConstant)
{
    MapRun r = RunMap({"info", "--json", "--predefined", "1"});
    ASSERT_EQ(r.exit, 0) << r.err;
    auto j = nlohmann::json::parse(r.out);
    TMapping m;
    ConfigurePredefinedMap(m, 1);
    EXPECT_EQ(j["Projection"], 10);
    EXPECT_EQ(j["ProjectionName"], "Lambert Conformal Conic");
    EXPECT_FLOAT_EQ(j["n"].get<float>(), m.N);
    EXPECT_FLOAT_EQ(j["rho0"].get<float>(), m.Rho0);
    EXPECT_FLOAT_EQ(j["StandardParallel1"].get<float>(), 44.5f);
    EXPECT_EQ(j["OffsetX"], 171);
    EXPECT_EQ(j["CentreRow"], 512);
    for (const char* key : {"e", "half-e", "reciprocal of n-rad", "reciprocal of n", "aF", "reciprocal of aF",
                            "n-rad", "Scale", "reciprocal of Scale", "south edge", "west edge",
                            "reciprocal of Height", "reciprocal of Width", "Mercator zoom scale",
                            "Mercator zoom base", "sine of the centre latitude", "cosine of the centre latitude",
                            "Southern", "reciprocal of pi-scale", "pi-scale", "polar offset", "OffsetY", "Sector",
                            "Rotation"})
        EXPECT_TRUE(j.contains(key)) << key;

    r = RunMap({"info", "--kind", "9", "--width", "800", "--height", "600"});
    EXPECT_EQ(r.exit, 0);
    EXPECT_NE(r.out.find("Polar Stereographic"), std::string::npos);
}

TEST(CliMap, KindsAndUsage)
{
    MapRun r = RunMap({"kinds"});
    EXPECT_EQ(r.exit, 0);
    auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 15u);
    EXPECT_NE(lines[12].find("Van der Van der Grinten"), std::string::npos);

    struct Case { std::vector<std::string> args; int exit; } cases[] = {
        {{"--help"}, 0},
        {{"geo2pixel", "--help"}, 0},
        {{}, 2},
        {{"nonsense"}, 2},
        {{"geo2pixel"}, 2},
        {{"geo2pixel", "--kind", "3"}, 2},                          // no size
        {{"geo2pixel", "--predefined", "5"}, 2},                    // 1-4
        {{"geo2pixel", "--predefined", "1", "--kind", "3"}, 2},     // one or the other
        {{"geo2pixel", "--kind", "15", "--width", "1", "--height", "1"}, 2},
        {{"geo2pixel", "--kind", "1", "--width", "9999999999", "--height", "1"}, 2},
        {{"geo2pixel", "--kind", "1", "--width", "10", "--height", "10", "--centre-lon", "x"}, 2},
    };
    for (const Case& c : cases) {
        MapRun u = RunMap(c.args);
        std::string joined;
        for (auto& a : c.args)
            joined += a + " ";
        EXPECT_EQ(u.exit, c.exit) << joined << u.err;
    }
}

TEST(CliMap, EveryMapCommandRefusesSizesBelowOneAndNonFiniteValues)
{
    const std::vector<std::string> bad[] = {
        {"--kind", "1", "--width", "0", "--height", "10"},
        {"--kind", "1", "--width", "10", "--height", "-5"},
        {"--kind", "3", "--width", "10", "--height", "10", "--centre-lat", "nan"},
        {"--kind", "3", "--width", "10", "--height", "10", "--lon-span", "inf"},
        {"--kind", "3", "--width", "10", "--height", "10", "--rotation", "-inf"},
    };
    for (const char* command : {"geo2pixel", "pixel2geo", "info"})
        for (const auto& options : bad) {
            std::vector<std::string> args = {command};
            args.insert(args.end(), options.begin(), options.end());
            MapRun r = RunMap(args, "0 0\n");
            EXPECT_EQ(r.exit, 2) << command << " " << options[3] << " " << options.back() << r.out;
            EXPECT_EQ(r.out, "");
        }
}

TEST(CliMap, OverlongLinesFailAloneWithTheirNumber)
{
    std::string input = "10 20\n" + std::string(100000, '1') + "\n30 40\n" + std::string(5000, ' ') + "5 6";
    MapRun r = RunMap({"geo2pixel", "--kind", "1", "--width", "360", "--height", "180"}, input);
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(r.out, "190 70 1\nerror\n210 50 1\nerror\n");
    EXPECT_NE(r.err.find("line 2: longer than"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("line 4: longer than"), std::string::npos) << r.err;
    r = RunMap({"pixel2geo", "--kind", "1", "--width", "360", "--height", "180"}, std::string(9000, '7') + "\n0 0\n");
    EXPECT_EQ(r.exit, 1);
    EXPECT_EQ(Lines(r.out).size(), 2u);
    EXPECT_EQ(Lines(r.out)[0], "error");
}

} // namespace

namespace {

// quillon-cli map grid ARGS in the C.UTF-8 locale (degree sign U+00B0).
MapRun RunGrid(std::vector<std::string> args)
{
    args.insert(args.begin(), "grid");
    return RunMap(args, "", "LC_ALL=C.UTF-8 ");
}

std::vector<nlohmann::json> Trace(const MapRun& r)
{
    std::vector<nlohmann::json> out;
    for (const std::string& line : Lines(r.out))
        out.push_back(nlohmann::json::parse(line));
    return out;
}

const std::vector<std::string> Kind1 = {"--kind", "1", "--width", "720", "--height", "360", "--lon-span", "360",
                                        "--lat-span", "180", "--lon-step", "30", "--lat-step", "30"};

std::vector<std::string> With(std::vector<std::string> a, const std::vector<std::string>& more)
{
    a.insert(a.end(), more.begin(), more.end());
    return a;
}

size_t Count(const std::vector<nlohmann::json>& t, const std::string& op)
{
    size_t n = 0;
    for (const auto& j : t)
        n += j["op"] == op;
    return n;
}

} // namespace

TEST(CliMapGrid, TraceOfKindOne)
{
    MapRun r = RunGrid(With(Kind1, {"--trace"}));
    ASSERT_EQ(r.exit, 0) << r.err;
    auto t = Trace(r);
    ASSERT_GT(t.size(), 6u);
    EXPECT_EQ(t[0], (nlohmann::json{{"op", "brush_style"}, {"value", "clear"}}));
    EXPECT_EQ(t[1], (nlohmann::json{{"op", "pen_color"}, {"value", 0x00FFFF}}));
    EXPECT_EQ(t[2], (nlohmann::json{{"op", "font_name"}, {"value", "Small Fonts"}}));
    EXPECT_EQ(t[3], (nlohmann::json{{"op", "font_size"}, {"value", 7}}));
    EXPECT_EQ(t[t.size() - 2], (nlohmann::json{{"op", "modified"}}));
    EXPECT_EQ(t.back(), (nlohmann::json{{"op", "font_assign"}}));
    EXPECT_EQ(Count(t, "polyline"), 16u); // 11 meridians, 5 parallels
    EXPECT_EQ(Count(t, "textout"), 16u * 5);
    // Measures are positive and the same for the same text.
    std::map<std::string, int> heights;
    bool sawDegree = false;
    for (const auto& j : t) {
        if (j["op"] == "text_height") {
            int h = j["result"];
            EXPECT_GT(h, 0);
            auto [it, fresh] = heights.emplace(j["text"], h);
            EXPECT_EQ(it->second, h);
        }
        if (j["op"] == "textout" && j["text"] == "150\u00B0W")
            sawDegree = true;
        if (j["op"] == "polyline")
            EXPECT_EQ(j["points"].size(), 2u); // straight lines
    }
    EXPECT_TRUE(sawDegree);
}

TEST(CliMapGrid, KindZeroTracesNothingAndCanvasRestoresThePen)
{
    MapRun zero = RunGrid({"--kind", "0", "--width", "10", "--height", "10", "--lon-step", "30", "--lat-step", "30",
                           "--trace"});
    EXPECT_EQ(zero.exit, 0) << zero.err;
    EXPECT_EQ(zero.out, "");

    struct Case { std::vector<std::string> extra; size_t between; } cases[] = {
        {{"--canvas"}, 0},
        {{"--canvas", "--specials", "equator"}, 1},
        {{"--canvas", "--specials", "arctic,cancer,equator,capricorn,antarctic"}, 5},
    };
    for (const Case& c : cases) {
        MapRun r = RunGrid(With(With(Kind1, {"--trace"}), c.extra));
        ASSERT_EQ(r.exit, 0) << r.err;
        auto t = Trace(r);
        std::vector<size_t> styles;
        for (size_t i = 0; i < t.size(); ++i)
            if (t[i]["op"] == "pen_style")
                styles.push_back(i);
        ASSERT_EQ(styles.size(), 2u);
        EXPECT_EQ(t[styles[0]]["value"], "dot");
        EXPECT_EQ(t[styles[1]]["value"], "solid");
        size_t between = 0;
        for (size_t i = styles[0]; i < styles[1]; ++i)
            between += t[i]["op"] == "polyline";
        EXPECT_EQ(between, c.between);
        EXPECT_EQ(Count(t, "modified"), 0u);
    }
}

TEST(CliMapGrid, ColoursOriginAndNoLabels)
{
    MapRun r = RunGrid(With(Kind1, {"--trace", "--grid-colour", "#102030", "--label-colour", "255", "--origin",
                                    "-5,7", "--no-labels"}));
    ASSERT_EQ(r.exit, 0) << r.err;
    auto t = Trace(r);
    EXPECT_EQ(t[1]["value"], 0x302010);
    EXPECT_EQ(Count(t, "textout"), 0u);
    TMapping m;
    m.SetProjection(1);
    m.SetHeight(360);
    m.SetWidth(720);
    m.SetLongitudeSpan(360);
    m.SetLatitudeSpan(180);
    int32_t x = 0, y = 0;
    m.GeoToPixel(-150, 89, x, y);
    for (const auto& j : t)
        if (j["op"] == "polyline") {
            EXPECT_EQ(j["points"][1], (nlohmann::json{x - 5, y + 7}));
            break;
        }
    MapRun labelled = RunGrid(With(Kind1, {"--trace", "--label-colour", "255"}));
    bool red = false;
    for (const auto& j : Trace(labelled))
        red |= j["op"] == "font_color" && j["value"] == 255;
    EXPECT_TRUE(red);
}

TEST(CliMapGrid, PngHasTheGridWhereTheTraceSaysAndKeepsTheBackground)
{
    fs::path dir = fs::temp_directory_path() / ("quillon-grid-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::vector<std::string> small = {"--kind", "1", "--width", "72", "--height", "36", "--lon-span", "360",
                                            "--lat-span", "180", "--lon-step", "30", "--lat-step", "30",
                                            "--no-labels"};
    auto t = Trace(RunGrid(With(small, {"--trace"})));
    MapRun r = RunGrid(With(small, {"--png", (dir / "g.png").string()}));
    ASSERT_EQ(r.exit, 0) << r.err;
    TPngImage png;
    png.ReadFromFile((dir / "g.png").string());
    ASSERT_EQ(png.Width, 72u);
    ASSERT_EQ(png.Height, 36u);
    auto pixel = [&](int x, int y) {
        const uint8_t* p = png.ImageData.data() + y * png.RowBytes + 3 * x;
        return RGB(p[0], p[1], p[2]);
    };
    size_t checked = 0;
    for (const auto& j : t)
        if (j["op"] == "polyline") {
            int x0 = j["points"][0][0], y0 = j["points"][0][1], x1 = j["points"][1][0], y1 = j["points"][1][1];
            int mx = (x0 + x1) / 2, my = (y0 + y1) / 2;
            EXPECT_EQ(pixel(mx, my), clYellow) << mx << "," << my;
            ++checked;
        }
    EXPECT_EQ(checked, 16u);
    EXPECT_EQ(pixel(1, 1), clBlack);

    // A white background of its own size, drawn over.
    TBitmap bg;
    bg.SetPixelFormat(pf24bit);
    bg.SetSize(80, 40);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 80; ++x)
            bg.SetPixelColor(x, y, clWhite);
    bg.SaveToFile((dir / "bg.bmp").string());
    MapRun b = RunGrid(With(small, {"--png", (dir / "b.png").string(), "--background", (dir / "bg.bmp").string()}));
    ASSERT_EQ(b.exit, 0) << b.err;
    png.ReadFromFile((dir / "b.png").string());
    EXPECT_EQ(png.Width, 80u);
    EXPECT_EQ(png.Height, 40u);
    EXPECT_EQ(pixel(1, 1), clWhite);
    MapRun missing = RunGrid(With(small, {"--png", (dir / "c.png").string(), "--background", (dir / "no.bmp").string()}));
    EXPECT_EQ(missing.exit, 1);
    fs::remove_all(dir);
}

TEST(CliMapGrid, Usage)
{
    struct Case { std::vector<std::string> args; int exit; } cases[] = {
        {{"--help"}, 0},
        {With(Kind1, {}), 2},                                        // neither --trace nor --png
        {With(Kind1, {"--trace", "--png", "x.png"}), 2},             // both
        {With(Kind1, {"--trace", "--specials", "equator"}), 2},      // specials need --canvas
        {With(Kind1, {"--trace", "--canvas", "--specials", "pole"}), 2},
        {With(Kind1, {"--trace", "--origin", "3"}), 2},
        {With(Kind1, {"--trace", "--grid-colour", "#12345"}), 2},
        {With(Kind1, {"--trace", "--label-colour", "white"}), 2},
        {With(Kind1, {"--trace", "--background", "a.bmp"}), 2},      // needs --png
        {{"--kind", "1", "--width", "10", "--height", "10", "--lat-step", "5", "--trace"}, 2},
        {{"--lon-step", "5", "--lat-step", "5", "--trace"}, 2},      // no map
    };
    for (const Case& c : cases) {
        MapRun u = RunGrid(c.args);
        std::string joined;
        for (auto& a : c.args)
            joined += a + " ";
        EXPECT_EQ(u.exit, c.exit) << joined << u.err;
    }
}

TEST(CliMapGrid, OutputIsWholeOrUntouchedAndFollowsItsExtension)
{
    fs::path dir = fs::temp_directory_path() / ("quillon-grid-out-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::vector<std::string> small = {"--kind", "1", "--width", "72", "--height", "36", "--lon-step", "30",
                                            "--lat-step", "30", "--no-labels"};
    const std::string keep = "keep me";
    std::ofstream(dir / "old.png", std::ios::binary) << keep;
    std::ofstream(dir / "broken.gif", std::ios::binary) << "GIF89a\x10";
    struct Case { std::vector<std::string> extra; int exit; } cases[] = {
        {{"--png", (dir / "old.png").string(), "--background", (dir / "broken.gif").string()}, 1},
        {{"--png", (dir / "old.png").string(), "--background", (dir / "old.png").string()}, 2},
        {{"--png", (dir / "old.png").string(), "--background", (dir / "none.gif").string()}, 1},
    };
    for (const Case& c : cases) {
        MapRun r = RunGrid(With(small, c.extra));
        EXPECT_EQ(r.exit, c.exit) << c.extra[3] << r.err;
        EXPECT_EQ(ReadAll(dir / "old.png"), keep) << c.extra[3];
    }
    MapRun gif = RunGrid(With(small, {"--png", (dir / "x.gif").string()}));
    EXPECT_EQ(gif.exit, 2);
    EXPECT_FALSE(fs::exists(dir / "x.gif"));
    MapRun bmp = RunGrid(With(small, {"--png", (dir / "x.bmp").string()}));
    ASSERT_EQ(bmp.exit, 0) << bmp.err;
    EXPECT_EQ(ReadAll(dir / "x.bmp").substr(0, 2), "BM");
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
    fs::remove_all(dir);
}

TEST(CliMapGrid, RenderedCurvesPassThroughTheirTracedPoints)
{
    // One map per family of kinds: every inner vertex of every traced line
    // that lies on the picture is painted in the grid colour (or next to it).
    fs::path dir = fs::temp_directory_path() / ("quillon-grid-fam-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::vector<std::vector<std::string>> maps = {
        {"--kind", "3", "--width", "300", "--height", "300", "--centre-lon", "30", "--centre-lat", "40"},
        {"--kind", "12", "--width", "400", "--height", "300"},
        {"--kind", "7", "--width", "300", "--height", "300", "--centre-lon", "-20", "--centre-lat", "50",
         "--lat-span", "60"},
        {"--predefined", "1"},
    };
    for (const auto& map : maps) {
        auto args = With(map, {"--lon-step", "20", "--lat-step", "20", "--no-labels", "--grid-colour", "#00FF00"});
        MapRun tr = RunGrid(With(args, {"--trace"}));
        ASSERT_EQ(tr.exit, 0) << tr.err;
        MapRun r = RunGrid(With(args, {"--png", (dir / "g.png").string()}));
        ASSERT_EQ(r.exit, 0) << r.err;
        TPngImage png;
        png.ReadFromFile((dir / "g.png").string());
        size_t checked = 0, painted = 0;
        for (const auto& j : Trace(tr)) {
            if (j["op"] != "polyline")
                continue;
            const auto& pts = j["points"];
            for (size_t i = 1; i + 1 < pts.size(); ++i) {
                int x = pts[i][0], y = pts[i][1];
                if (x < 0 || y < 0 || x >= int(png.Width) || y >= int(png.Height))
                    continue;
                // The rasteriser may step a corner by one pixel.
                bool near = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        int px = x + dx, py = y + dy;
                        if (px < 0 || py < 0 || px >= int(png.Width) || py >= int(png.Height))
                            continue;
                        const uint8_t* p = png.ImageData.data() + py * png.RowBytes + 3 * px;
                        near |= p[0] == 0 && p[1] == 255 && p[2] == 0;
                    }
                ++checked;
                painted += near;
            }
        }
        EXPECT_GT(checked, 20u) << map[1];
        EXPECT_EQ(painted, checked) << map[1];
    }
    fs::remove_all(dir);
}

namespace {

TEST(CliMapWarp, WritesTheTargetMapsSizeAndRefusesWhatItCannotDo)
{
    fs::path dir = fs::temp_directory_path() / ("quillon-warp-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    TBitmap bg;
    bg.SetPixelFormat(pf24bit);
    bg.SetSize(72, 36);
    for (int y = 0; y < 36; ++y)
        for (int x = 0; x < 72; ++x)
            bg.SetPixelColor(x, y, RGB(uint8_t(x * 3), uint8_t(y * 7), 90));
    const std::string in = (dir / "world.bmp").string(), out = (dir / "globe.png").string();
    bg.SaveToFile(in);
    const std::string from = "kind=1,width=72,height=36", to = "kind=7,width=50,height=40,centre-lat=45";
    MapRun r = RunMap({"warp", "--from", from, "--to", to, "--grid", "30,30", "--threads", "2", in, out});
    ASSERT_EQ(r.exit, 0) << r.err;
    TPngImage png;
    png.ReadFromFile(out);
    EXPECT_EQ(png.Width, 50u);
    EXPECT_EQ(png.Height, 40u);
    const std::string written = ReadAll(out);

    struct Case { std::vector<std::string> args; int exit; } cases[] = {
        {{"--from", "kind=1,width=70,height=36", "--to", to, in, out}, 1},            // picture of another size
        {{"--from", from, "--to", "kind=8,width=50,height=40", in, out}, 1},           // no inverse
        {{"--from", from, "--to", to, (dir / "none.png").string(), out}, 1},           // unreadable
        {{"--from", from, "--to", "kind=7,width=0,height=40", in, out}, 2},
        {{"--from", "kind=1,width=72", "--to", to, in, out}, 2},
        {{"--from", from, "--to", to, "--resample", "cubic", in, out}, 2},
        {{"--from", from, "--to", to, in, (dir / "globe.gif").string()}, 2},
        {{"--from", from, "--to", to, in, in}, 2},
        {{"--to", to, in, out}, 2},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"warp"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        MapRun u = RunMap(args);
        EXPECT_EQ(u.exit, c.exit) << c.args[1] << " " << c.args[3] << u.err;
    }
    EXPECT_EQ(ReadAll(out), written);
    EXPECT_FALSE(fs::exists(dir / "globe.gif"));
    fs::remove_all(dir);
}

} // namespace

namespace {

// A picture size beyond the policy is a usage error, refused before anything
// is drawn or written; a row size that wraps an int is among them.
TEST(CliMap, PictureSizesBeyondThePolicyAreRefused)
{
    fs::path dir = fs::temp_directory_path() / ("quillon-map-size-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string in = (dir / "in.bmp").string(), out = (dir / "out.png").string();
    TBitmap bg;
    bg.SetSize(8, 4);
    bg.SaveToFile(in);
    const std::vector<std::string> huge = {"--kind", "1", "--width", "1431655766", "--height", "1",
                                           "--lon-step", "10", "--lat-step", "10", "--png"};
    const std::vector<std::vector<std::string>> cases = {
        With(With({"grid"}, huge), {out}),
        With(With({"grid"}, huge), {(dir / "out.bmp").string()}),
        {"grid", "--kind", "1", "--width", "20000", "--height", "20000", "--lon-step", "10", "--lat-step", "10",
         "--png", out},
        {"warp", "--from", "kind=1,width=8,height=4", "--to", "kind=1,width=10000000,height=100", in, out},
    };
    for (const auto& args : cases) {
        MapRun r = RunMap(args);
        EXPECT_EQ(r.exit, 2) << args[4] << r.err;
        EXPECT_NE(r.err.find("larger than the largest allowed"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(out));
    EXPECT_FALSE(fs::exists(dir / "out.bmp"));
    fs::remove_all(dir);
}

// A write that fails (here a file size limit, as a full disk would) names
// the file being written and the system's reason, and leaves nothing behind.
TEST(CliMap, AFailedWriteNamesTheFileAndTheReason)
{
    fs::path dir = fs::temp_directory_path() / ("quillon-map-full-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    for (const char* name : {"g.bmp", "g.png"}) {
        const std::string out = (dir / name).string();
        MapRun r = RunMap(With({"grid"}, With(Kind1, {"--png", out})), "", "ulimit -f 1; trap '' XFSZ; ");
        EXPECT_EQ(r.exit, 1) << r.err;
        EXPECT_NE(r.err.find("\"" + out + "\""), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
        EXPECT_TRUE(fs::is_empty(dir)) << r.err;
    }
    fs::remove_all(dir);
}

} // namespace
