// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli tables: dumps the reference tables of the satellite library.
#include <cstdio>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "satellite/Calibration.h"
#include "satellite/SatelliteInfo.h"
#include "satellite/Segments.h"

namespace {

// Floats printed in their shortest exact decimal form for JSON; fixed
// precision for text.
nlohmann::json Floats(const TTemperatureTable& table)
{
    nlohmann::json values = nlohmann::json::array();
    for (float v : table)
        values.push_back(v);
    return values;
}

int Satellites(bool json)
{
    if (json) {
        nlohmann::json out = nlohmann::json::array();
        for (size_t code = 0; code < SatelliteNames.size(); ++code)
            out.push_back({{"code", code}, {"name", SatelliteNames[code]}});
        PrintJson(out);
    } else {
        std::printf("code\tname\n");
        for (size_t code = 0; code < SatelliteNames.size(); ++code)
            std::printf("%zu\t%s\n", code, SatelliteNames[code]);
    }
    return ExitSuccess;
}

int Segments(bool json)
{
    if (json) {
        nlohmann::json out = nlohmann::json::array();
        for (int i = 0; i < SegmentCount; ++i) {
            const TASegmentData& s = SegmentTable[i];
            out.push_back({{"index", i},
                           {"name", std::string(s.Name)},
                           {"alt_name", std::string(s.AltName)},
                           {"line_offset", s.LineOffset},
                           {"pixel_offset", s.PixelOffset},
                           {"width", s.Width},
                           {"height", s.Height},
                           {"scale", s.Scale},
                           {"longitude", s.Longitude}});
        }
        PrintJson(out);
    } else {
        std::printf("index\tname\talt_name\tline_offset\tpixel_offset\twidth\theight\tscale\tlongitude\n");
        for (int i = 0; i < SegmentCount; ++i) {
            const TASegmentData& s = SegmentTable[i];
            std::printf("%d\t%s\t%s\t%g\t%g\t%d\t%d\t%g\t%g\n", i, std::string(s.Name).c_str(),
                        std::string(s.AltName).c_str(), s.LineOffset, s.PixelOffset, s.Width, s.Height, s.Scale,
                        s.Longitude);
        }
    }
    return ExitSuccess;
}

int Calibration(bool json)
{
    if (json) {
        nlohmann::json names = nlohmann::json::array();
        for (const char* name : CalibrationNames)
            names.push_back(name);
        nlohmann::json msg = nlohmann::json::array(), meteosat = nlohmann::json::array();
        for (const TTemperatureTable& t : MsgChannelTemps)
            msg.push_back(Floats(t));
        for (const TTemperatureTable& t : MeteosatCountTemps)
            meteosat.push_back(Floats(t));
        PrintJson({{"calibration_names", names},
                   {"msg_channel_temps", msg},
                   {"meteosat_count_temps", meteosat},
                   {"linear_temps", Floats(LinearTemps)},
                   {"step_temps1", Floats(StepTemps1)},
                   {"step_temps2", Floats(StepTemps2)}});
        return ExitSuccess;
    }
    std::printf("# calibration names:");
    for (const char* name : CalibrationNames)
        std::printf(" %s", name);
    std::printf("\n# kelvin by display value (0 = warmest)\nvalue");
    const std::vector<TCalibrationColumn> columns = KelvinTableColumns();
    for (const TCalibrationColumn& column : columns)
        std::printf("\t%s", column.Heading.c_str());
    std::printf("\n");
    for (size_t i = 0; i < std::tuple_size_v<TTemperatureTable>; ++i) {
        std::printf("%zu", i);
        for (const TCalibrationColumn& column : columns)
            std::printf("\t%.3f", (*column.Table)[i]);
        std::printf("\n");
    }
    return ExitSuccess;
}

} // namespace

int RunTables(int argc, char** argv)
{
    CLI::App app{"Dumps the reference tables of the satellite library", "tables"};
    bool json = false;
    std::string table;
    app.add_flag("--json", json, "print JSON");
    app.add_option("TABLE", table, "satellites, segments or calibration")
        ->required()
        ->check(CLI::IsMember({"satellites", "segments", "calibration"}));
    if (std::optional<int> status = ParseCommandLine(app, argc, argv, "tables"))
        return *status;
    if (table == "satellites")
        return Satellites(json);
    if (table == "segments")
        return Segments(json);
    return Calibration(json);
}
