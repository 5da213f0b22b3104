// quillon-cli map: the contract of geo2pixel, pixel2geo, info and kinds.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "mapping/vkqMapping.h"
#include "satellite/PredefinedMaps.h"

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
MapRun RunMap(const std::vector<std::string>& args, const std::string& input = "")
{
    fs::path dir = fs::temp_directory_path() / ("quillon-map-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "in", std::ios::binary) << input;
    std::string cmd = Quote(QUILLON_CLI) + " map";
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

} // namespace
