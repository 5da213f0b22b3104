// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli scan: rows, JSON, failures and escaping.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CliScanSupport.h"

namespace {

using TCliScanTest = TScanCliScratch;

TEST_F(TCliScanTest, ListsRowsAsFileTabProposed)
{
    WriteMpd("00001234.MPD", 2005, 3, 15, 12, 30);
    WriteMpd("2005-03-15-25_AIVH.mpd", 2005, 3, 15, 12, 30);   // standard already
    WriteText(InFolder("notes.txt"), "x");
    auto r = RunCli({"scan", folder});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "00001234.MPD\t2005-03-15-25_AIVH\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(TCliScanTest, JsonRows)
{
    WriteMpd("b0002.mpd", 2005, 3, 16, 12, 30);
    WriteMpd("a0001.mpd", 2005, 3, 15, 12, 30);
    auto r = RunCli({"scan", "--json", folder});
    ASSERT_EQ(r.status, 0) << r.err;
    auto rows = nlohmann::json::parse(r.out);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["file"], "a0001.mpd");
    EXPECT_EQ(rows[0]["proposed"], "2005-03-15-25_AIVH");
    EXPECT_EQ(rows[1]["file"], "b0002.mpd");
}

TEST_F(TCliScanTest, EmptyFolderPrintsNothingOrEmptyArray)
{
    EXPECT_EQ(RunCli({"scan", folder}).out, "");
    auto r = RunCli({"scan", "--json", folder});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(nlohmann::json::parse(r.out), nlohmann::json::array());
}

TEST_F(TCliScanTest, UnreadableFileEndsScanUnlessKeepGoing)
{
    WriteMpd("a0001.mpd", 2005, 3, 15, 12, 30);
    WriteText(InFolder("b0002.mpd"), std::string(100, 'x'));
    WriteMpd("c0003.mpd", 2005, 3, 17, 12, 30);
    auto r = RunCli({"scan", folder});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "a0001.mpd\t2005-03-15-25_AIVH\n");
    EXPECT_NE(r.err.find("b0002.mpd"), std::string::npos) << r.err;

    auto j = RunCli({"scan", "--json", folder});
    EXPECT_EQ(j.status, 1);
    EXPECT_EQ(nlohmann::json::parse(j.out).size(), 1u);

    auto k = RunCli({"scan", "--keep-going", folder});
    EXPECT_EQ(k.status, 1);
    EXPECT_EQ(k.out, "a0001.mpd\t2005-03-15-25_AIVH\nc0003.mpd\t2005-03-17-25_AIVH\n");
    EXPECT_NE(k.err.find("b0002.mpd"), std::string::npos);
}

TEST_F(TCliScanTest, OddNamesAreEscaped)
{
    const std::string odd = "a\tb\n\xFF.mpd";
    WriteMpd(odd, 2005, 3, 15, 12, 30);
    auto r = RunCli({"scan", folder});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "a\\tb\\n\\xFF.mpd\t2005-03-15-25_AIVH\n");
    auto j = RunCli({"scan", "--json", folder});
    auto rows = nlohmann::json::parse(j.out);   // valid UTF-8 JSON
    EXPECT_EQ(rows[0]["file"], "a\tb\n\uFFFD.mpd");
    EXPECT_EQ(rows[0]["file_bytes"], "YQliCv8ubXBk");
}

// A header time that is no time of day proposes no name: scan does not list
// the file, so rename never uses it.
TEST_F(TCliScanTest, HeaderTimeOutOfRangeIsNotListed)
{
    WriteMpd("good.mpd", 2005, 3, 15, 12, 30);
    TSampleHeader bad = WorkedExampleHeader();
    bad.Time = 2400;
    WriteFileBytes(InFolder("bad.mpd"), BuildFramedFile(bad));
    auto r = RunCli({"scan", folder});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "good.mpd\t2005-03-15-25_AIVH\n");
}

TEST_F(TCliScanTest, MissingFolderAndUsageErrors)
{
    auto r = RunCli({"scan", folder + "/missing"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing"), std::string::npos);
    EXPECT_EQ(RunCli({"scan"}).status, 2);
    EXPECT_EQ(RunCli({"scan", "--bogus", folder}).status, 2);
    auto help = RunCli({"scan", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--keep-going"), std::string::npos);
}

// JSON text decodes to the name itself when the name is valid UTF-8 (a
// backslash stays one backslash, with no "file_bytes" beside it); a name that
// is not gets U+FFFD for each invalid byte and its exact bytes in base64.
TEST_F(TCliScanTest, JsonNamesAreTheTextOrCarryTheirBytes)
{
    const struct {
        std::string name;
        const char* file;
        const char* bytes;   // nullptr: no file_bytes field
    } cases[] = {
        {"a\xFF" "b.mpd", "a\uFFFDb.mpd", "Yf9iLm1wZA=="},
        {"a\\xFFb.mpd", "a\\xFFb.mpd", nullptr},
        {"c\\d.mpd", "c\\d.mpd", nullptr},
    };
    int day = 10;
    for (const auto& c : cases)
        WriteMpd(c.name, 2005, 3, day++, 12, 30);
    auto rows = nlohmann::json::parse(RunCli({"scan", "--json", folder}).out);
    std::set<std::pair<std::string, std::string>> got, expected;
    for (const auto& row : rows)
        got.insert({row["file"].get<std::string>(), row.value("file_bytes", "(none)")});
    for (const auto& c : cases)
        expected.insert({c.file, c.bytes ? c.bytes : "(none)"});
    EXPECT_EQ(got, expected);
}

} // namespace
