// SPDX-License-Identifier: GPL-3.0-or-later
// One file identified as one value (what quillon-cli info prints), and the
// report entries as text lines.
#include <gtest/gtest.h>

#include "SatelliteTestFiles.h"
#include "satellite/FileReport.h"

namespace {

TStringList Entries(const std::vector<std::string>& entries)
{
    TStringList list;
    for (const std::string& e : entries)
        list.Add(e);
    return list;
}

TEST(ReportTextLines, EntriesOfSeveralCrLfLinesGiveEachLine)
{
    struct Case {
        std::vector<std::string> Entries;
        std::vector<std::string> Lines;
    };
    const Case cases[] = {
        {{}, {}},
        {{"Format is Timestep MPD"}, {"Format is Timestep MPD"}},
        {{""}, {""}},
        {{" "}, {" "}},
        {{"one\r\ntwo\r\n"}, {"one", "two"}},
        {{"one\r\ntwo"}, {"one", "two"}},
        {{"one\r\n\r\nthree\r\n"}, {"one", "", "three"}},
        {{"\r\n"}, {""}},
        {{"bare\nLF\rCR"}, {"bare\nLF\rCR"}},
        {{"a", "b\r\nc\r\n", "d"}, {"a", "b", "c", "d"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReportTextLines(Entries(c.Entries)), c.Lines) << ::testing::PrintToString(c.Entries);
}

TEST(IdentifySatelliteFile, ResultsOrTheReasonTheFileCouldNotBeRead)
{
    ScratchFolder dir;
    const std::string good = dir.Write("0001.mpd", BuildFramedFile(WorkedExampleHeader()));
    const std::string garbage = dir.Write("bad.hrm", TByteVector{'g', 'a', 'r', 'b', 'a', 'g', 'e'});
    const std::string missing = dir.Path("gone.mpd");

    const TSatelliteFileReport r = IdentifySatelliteFile(good);
    EXPECT_TRUE(r.Ok);
    EXPECT_EQ(r.File, good);
    EXPECT_EQ(r.SatelliteCode, 6);
    EXPECT_EQ(r.StandardName, "2005-03-15-25_AIVH");
    EXPECT_EQ(r.ImageFormat, "AIVH");
    EXPECT_TRUE(r.HasAcquisitionTime());
    const std::vector<std::string> lines = ReportTextLines(r.Report);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Data on: " + good);
    EXPECT_EQ(lines.back(), "Quillon file builder");

    // A missing file is not an error: blank results.
    const TSatelliteFileReport gone = IdentifySatelliteFile(missing);
    EXPECT_TRUE(gone.Ok);
    EXPECT_EQ(gone.SatelliteCode, 0);
    EXPECT_EQ(gone.StandardName, "");
    EXPECT_FALSE(gone.HasAcquisitionTime());
    EXPECT_EQ(gone.Report.Count(), 0);

    // A file that cannot be read: the reader's message, naming the file.
    const TSatelliteFileReport bad = IdentifySatelliteFile(garbage);
    EXPECT_FALSE(bad.Ok);
    EXPECT_NE(bad.Error.find(garbage), std::string::npos) << bad.Error;
    EXPECT_EQ(bad.StandardName, "");
}

TEST(SatelliteName, KnownCodesAndCodesPastTheTable)
{
    const std::pair<uint8_t, std::string_view> cases[] = {{0, ""}, {6, "MET-7"}, {16, SatelliteNames[16]}, {17, ""}, {255, ""}};
    for (const auto& [code, name] : cases)
        EXPECT_EQ(SatelliteName(code), name) << int(code);
}

} // namespace
