// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli info, tables and sample, run as the user runs them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "runtime/SysUtils.h"
#include "satellite/SampleFiles.h"
#include "tests/cli/CliShellRun.h"

namespace {

std::string Quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

class CliInfo : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               (std::string("quillon-cli-info-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string Write(const std::string& name, const TByteVector& bytes)
    {
        const std::string path = (dir_ / name).string();
        WriteFileBytes(path, bytes);
        return path;
    }
    std::filesystem::path dir_;
};

TEST_F(CliInfo, JsonForEveryFormatInArgumentOrder)
{
    TPdusFields pdus;
    const std::string files[] = {
        Write("0001.mpd", BuildFramedFile(WorkedExampleHeader())),
        Write("a.hrm", BuildFramedFile(WorkedExampleHeader())),
        Write("a.rah", BuildFramedFile(WorkedExampleHeader(), {}, LongFrameLayout)),
        Write("a.met", BuildMetFile(WorkedExampleHeader())),
        Write("a.pdu", BuildPdusFile(pdus)),
        Write("a.open_mtp", BuildOpenMtpFile({})),
        Write("FY2C_20051231_1230.hdf", {}),
    };
    std::string args = "info --json";
    for (const std::string& f : files)
        args += " " + Quote(f);
    const TShellRun run = RunCliShell(args);
    ASSERT_EQ(run.Status, 0) << run.Out;
    const nlohmann::json out = nlohmann::json::parse(run.Out);
    ASSERT_TRUE(out.is_array());
    ASSERT_EQ(out.size(), 7u);
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(out[i]["file"], files[i]);
        EXPECT_EQ(out[i]["ok"], true);
        EXPECT_TRUE(out[i]["error"].is_null());
    }
    const nlohmann::json& mpd = out[0];
    EXPECT_EQ(mpd["satellite_code"], 6);
    EXPECT_EQ(mpd["image_format"], "AIVH");
    EXPECT_EQ(mpd["standard_name"], "2005-03-15-25_AIVH");
    EXPECT_DOUBLE_EQ(mpd["acquisition_time"].get<double>(), EncodeDate(2005, 3, 15) + 12.5 / 24);
    EXPECT_EQ(mpd["acquisition_iso"], "2005-03-15T12:30:00");
    const nlohmann::json expectedReport = {
        "Data on: " + files[0], "Format is Timestep MPD", "Transmission format: AIVH",
        "Interpreted satellite ID: MET-7", "Image acquired: 2005-Mar-15 at 1230",
        "Standard name: 2005-03-15-25_AIVH", "IR calibration:  gain: 0.08000  space count: 5.0",
        "WV calibration:  gain: 0.01000  space count: 6.0", " ",
        "Meteosat sample image\r\nQuillon file builder\r\n"};
    EXPECT_EQ(mpd["report"], expectedReport);

    EXPECT_EQ(out[1]["report"][1], "Format is Orbit/SSB");
    EXPECT_EQ(out[2]["standard_name"], "2005-03-15-25_AIVH");
    EXPECT_EQ(out[3]["report"].size(), 8u);
    EXPECT_EQ(out[4]["image_format"], "IRB1");
    EXPECT_EQ(out[4]["standard_name"], "");
    EXPECT_EQ(out[5]["image_format"], "");
    EXPECT_EQ(out[5]["report"][1], "Format is OPEN MTP");
    EXPECT_EQ(out[6]["satellite_code"], 13);
    EXPECT_EQ(out[6]["standard_name"], "FY2C-IVW");
    EXPECT_EQ(out[6]["report"], nlohmann::json::array());
    EXPECT_EQ(out[6]["acquisition_iso"], "2005-12-31T12:30:00");
}

TEST_F(CliInfo, FailureKeepsEarlierResultsAndExitsOne)
{
    TByteVector cut = BuildMetFile(WorkedExampleHeader());
    cut.resize(28);   // the 8-byte gap after the format block is cut short
    const std::string bad = Write("cut.met", cut);
    const std::string good = Write("good.mpd", BuildFramedFile(WorkedExampleHeader()));
    const std::string missing = (dir_ / "missing.mpd").string();
    const TShellRun run = RunCliShell("info --json " + Quote(bad) + " " + Quote(good) + " " + Quote(missing));
    EXPECT_EQ(run.Status, 1);
    const nlohmann::json out = nlohmann::json::parse(run.Out);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0]["ok"], false);
    EXPECT_NE(out[0]["error"].get<std::string>().find(bad), std::string::npos);
    EXPECT_EQ(out[0]["image_format"], "AIVH");          // written before the failure
    EXPECT_EQ(out[0]["standard_name"], "AIVH");
    EXPECT_EQ(out[0]["report"], nlohmann::json::array());
    EXPECT_EQ(out[0]["acquisition_time"], 0.0);
    EXPECT_TRUE(out[0]["acquisition_iso"].is_null());
    EXPECT_EQ(out[1]["ok"], true);
    EXPECT_EQ(out[2]["ok"], true);                      // a missing file is quiet
    EXPECT_EQ(out[2]["report"], nlohmann::json::array());
}

// An hhmm word that is no time of day gives no acquisition time and only the
// placeholder name (so no listing and no rename), and the report says why.
TEST_F(CliInfo, HeaderTimeOutOfRangeIsReportedNotNamed)
{
    const struct {
        uint16_t hhmm;
        const char* reason;
    } cases[] = {
        {2400, "Unknown acquisition date/time: the header time 2400 is not a time of day (0000 to 2359)"},
        {1260, "Unknown acquisition date/time: the header time 1260 is not a time of day (0000 to 2359)"},
        {9999, "Unknown acquisition date/time: the header time 9999 is not a time of day (0000 to 2359)"},
        {65535, "Unknown acquisition date/time: the header time 65535 is not a time of day (0000 to 2359)"},
    };
    for (const auto& c : cases) {
        TSampleHeader h = WorkedExampleHeader();
        h.Time = c.hhmm;
        const std::string file = Write("back\\slash.mpd", BuildFramedFile(h));
        const TShellRun run = RunCliShell("info --json " + Quote(file));
        const nlohmann::json out = nlohmann::json::parse(run.Out);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0]["standard_name"], "yyyy-mm-dd-ss_AIVH") << c.hhmm;
        EXPECT_TRUE(out[0]["acquisition_iso"].is_null()) << c.hhmm;
        EXPECT_EQ(out[0]["report"][4], c.reason);
        EXPECT_EQ(out[0]["file"], file);   // one backslash, as in the name
        EXPECT_EQ(out[0]["report"][0], "Data on: " + file);
    }
}

TEST_F(CliInfo, TextOutputAndUsage)
{
    const std::string good = Write("good.mpd", BuildFramedFile(WorkedExampleHeader()));
    const TShellRun run = RunCliShell("info " + Quote(good));
    EXPECT_EQ(run.Status, 0);
    const size_t data = run.Out.find("Data on: " + good + "\n");
    const size_t text = run.Out.find("Meteosat sample image\nQuillon file builder\n");
    const size_t name = run.Out.find("standard name: 2005-03-15-25_AIVH\n");
    EXPECT_NE(data, std::string::npos) << run.Out;
    EXPECT_NE(text, std::string::npos) << run.Out;
    EXPECT_NE(name, std::string::npos) << run.Out;
    EXPECT_LT(data, text);
    EXPECT_LT(text, name);

    EXPECT_EQ(RunCliShell("info").Status, 2);
    EXPECT_EQ(RunCliShell("info --bogus " + Quote(good)).Status, 2);
    EXPECT_EQ(RunCliShell("info --help").Status, 0);
    EXPECT_EQ(RunCliShell("tables nonsense").Status, 2);
    EXPECT_EQ(RunCliShell("sample").Status, 2);
    EXPECT_EQ(RunCliShell("sample --count 0 " + Quote(dir_.string())).Status, 2);
}

TEST_F(CliInfo, Tables)
{
    const TShellRun satellites = RunCliShell("tables --json satellites");
    ASSERT_EQ(satellites.Status, 0);
    const nlohmann::json sat = nlohmann::json::parse(satellites.Out);
    ASSERT_EQ(sat.size(), 17u);
    EXPECT_EQ(sat[6]["name"], "MET-7");

    const TShellRun segments = RunCliShell("tables --json segments");
    ASSERT_EQ(segments.Status, 0);
    const nlohmann::json seg = nlohmann::json::parse(segments.Out);
    ASSERT_EQ(seg.size(), 127u);
    EXPECT_EQ(seg[125]["alt_name"], "ICAO-H");
    EXPECT_EQ(seg[125]["name"], "");

    const TShellRun calibration = RunCliShell("tables --json calibration");
    ASSERT_EQ(calibration.Status, 0);
    const nlohmann::json cal = nlohmann::json::parse(calibration.Out);
    EXPECT_EQ(cal["calibration_names"].size(), 12u);
    EXPECT_EQ(cal["msg_channel_temps"].size(), 8u);
    // The tables are computed at start-up: a value from the middle is set.
    EXPECT_NEAR(cal["msg_channel_temps"][0][0].get<double>(), 335.46, 0.01);
    EXPECT_EQ(cal["step_temps1"][255], 196.78f);

    const TShellRun text = RunCliShell("tables segments");
    EXPECT_EQ(text.Status, 0);
    EXPECT_NE(text.Out.find("126\t~world\t\t0\t0\t1024\t512\t1\t0\n"), std::string::npos);
}

TEST_F(CliInfo, SampleFolderMatchesWhatInfoSays)
{
    const TShellRun run = RunCliShell("sample --count 30 " + Quote(dir_.string()));
    ASSERT_EQ(run.Status, 0) << run.Out;
    struct TRow { std::string File; bool Listed; std::string Name; };
    std::vector<TRow> rows;
    std::string args = "info --json";
    size_t pos = run.Out.find('\n') + 1;   // after the heading
    while (pos < run.Out.size() && run.Out.compare(pos, 5, "wrote") != 0) {
        const size_t end = run.Out.find('\n', pos);
        const std::string line = run.Out.substr(pos, end - pos);
        pos = end + 1;
        const size_t t1 = line.find('\t'), t2 = line.find('\t', t1 + 1);
        rows.push_back({line.substr(0, t1), line.substr(t1 + 1, t2 - t1 - 1) == "yes", line.substr(t2 + 1)});
        args += " " + Quote((dir_ / rows.back().File).string());
    }
    const TShellRun info = RunCliShell(args);
    ASSERT_EQ(info.Status, 0);
    const nlohmann::json results = nlohmann::json::parse(info.Out);
    ASSERT_EQ(results.size(), rows.size());
    int listed = 0, left = 0, checked = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const TRow& row = rows[i];
        const nlohmann::json& r = results[i];
        ASSERT_EQ(r["ok"], true) << row.File;
        // What the window does: skip short names and names with '-' 5th,
        // then require letters and a time after 1985 and not in the future.
        const double time = r["acquisition_time"];
        const bool windowLists = row.File.size() >= 5 && row.File[4] != '-' && r["image_format"] != "" &&
                                 time > EncodeDate(1985, 1, 1) && time < Now() + 1.0;
        EXPECT_EQ(windowLists, row.Listed) << row.File;
        if (row.Listed) {
            EXPECT_EQ(r["standard_name"], row.Name) << row.File;
            ++listed;
        } else {
            ++left;
        }
        ++checked;
    }
    EXPECT_EQ(checked, 30);
    EXPECT_GE(listed, 15);
    EXPECT_GE(left, 5);
}

} // namespace
