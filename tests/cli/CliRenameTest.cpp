// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli rename: renamed / failed / would-rename / remaining lines,
// JSON, exit status, and that nothing is replaced.
#include <nlohmann/json.hpp>

#include "CliScanSupport.h"

namespace {

using TCliRenameTest = TScanCliScratch;

TEST_F(TCliRenameTest, RenamesAndReportsCollisionAsFailedAndRemaining)
{
    WriteMpd("a0001.mpd", 2005, 3, 15, 12, 30);
    WriteMpd("b0002.mpd", 2005, 3, 15, 12, 45);   // same slot: collides with a0001
    WriteMpd("c0003.MPD", 2005, 3, 16, 0, 10);
    const std::string secondContent = ReadText(InFolder("b0002.mpd"));
    auto r = RunCli({"rename", folder});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "renamed\ta0001.mpd\t2005-03-15-25_AIVH.mpd\n"
                     "failed\tb0002.mpd\t2005-03-15-25_AIVH.mpd\ta file of that name exists\n"
                     "renamed\tc0003.MPD\t2005-03-16-00_AIVH.MPD\n"
                     "remaining\tb0002.mpd\t2005-03-15-25_AIVH\n");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"2005-03-15-25_AIVH.mpd", "2005-03-16-00_AIVH.MPD", "b0002.mpd"}));
    EXPECT_EQ(ReadText(InFolder("b0002.mpd")), secondContent);
}

TEST_F(TCliRenameTest, AllRenamedExitsZero)
{
    WriteMpd("a0001.mpd", 2005, 3, 15, 12, 30);
    auto r = RunCli({"rename", folder});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "renamed\ta0001.mpd\t2005-03-15-25_AIVH.mpd\n");
    // A second run finds nothing to do.
    auto again = RunCli({"rename", folder});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, "");
}

TEST_F(TCliRenameTest, DryRunTouchesNothing)
{
    WriteMpd("a0001.mpd", 2005, 3, 15, 12, 30);
    WriteMpd("b0002.mpd", 2005, 3, 15, 12, 45);
    auto before = Listing();
    auto r = RunCli({"rename", "--dry-run", folder});
    // The second file's rename would fail as in the real run.
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.out, "would-rename\ta0001.mpd\t2005-03-15-25_AIVH.mpd\n"
                     "failed\tb0002.mpd\t2005-03-15-25_AIVH.mpd\ta file of that name exists\n");
    EXPECT_EQ(Listing(), before);
    auto j = RunCli({"rename", "--dry-run", "--json", folder});
    auto doc = nlohmann::json::parse(j.out);
    ASSERT_EQ(doc["results"].size(), 2u);
    EXPECT_EQ(doc["results"][0]["status"], "would-rename");
    EXPECT_EQ(Listing(), before);
}

TEST_F(TCliRenameTest, JsonResultsAndRemaining)
{
    WriteMpd("a0001.mpd", 2005, 3, 15, 12, 30);
    WriteMpd("b0002.mpd", 2005, 3, 15, 12, 45);
    auto r = RunCli({"rename", "--json", folder});
    EXPECT_EQ(r.status, 1);
    auto doc = nlohmann::json::parse(r.out);
    ASSERT_EQ(doc["results"].size(), 2u);
    EXPECT_EQ(doc["results"][0]["status"], "renamed");
    EXPECT_EQ(doc["results"][1]["status"], "failed");
    EXPECT_EQ(doc["results"][1]["reason"], "a file of that name exists");
    ASSERT_EQ(doc["remaining"].size(), 1u);
    EXPECT_EQ(doc["remaining"][0]["file"], "b0002.mpd");
}

TEST_F(TCliRenameTest, UnreadableFileStopsBeforeAnyRenameUnlessKeepGoing)
{
    WriteMpd("a0001.mpd", 2005, 3, 15, 12, 30);
    WriteText(InFolder("b0002.mpd"), std::string(100, 'x'));
    auto before = Listing();
    auto r = RunCli({"rename", folder});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("b0002.mpd"), std::string::npos);
    EXPECT_EQ(Listing(), before);

    auto k = RunCli({"rename", "--keep-going", folder});
    EXPECT_EQ(k.status, 1);   // the unreadable file counts as a failed item
    EXPECT_NE(k.out.find("renamed\ta0001.mpd\t"), std::string::npos);
    EXPECT_NE(k.err.find("b0002.mpd"), std::string::npos);
}

TEST_F(TCliRenameTest, OddNamesAreEscaped)
{
    WriteMpd("x\ty\xFE.mpd", 2005, 3, 15, 12, 30);
    auto r = RunCli({"rename", "--dry-run", folder});
    EXPECT_EQ(r.out, "would-rename\tx\\ty\\xFE.mpd\t2005-03-15-25_AIVH.mpd\n");
}

TEST_F(TCliRenameTest, MissingFolderAndUsage)
{
    EXPECT_EQ(RunCli({"rename", folder + "/missing"}).status, 1);
    EXPECT_EQ(RunCli({"rename"}).status, 2);
    EXPECT_EQ(RunCli({"rename", "--help"}).status, 0);
}

// The dry run foretells each outcome as the real run meets it: two files
// proposing one name (the first renames, the second fails) and a target
// that already exists.
TEST_F(TCliRenameTest, DryRunPredictsTheRealRun)
{
    WriteMpd("a0001.mpd", 2005, 3, 15, 12, 30);
    WriteMpd("b0002.mpd", 2005, 3, 15, 12, 45);   // same name as a0001
    WriteMpd("c0003.mpd", 2005, 3, 16, 0, 10);
    WriteText(InFolder("2005-03-16-00_AIVH.mpd"), "in the way");
    WriteMpd("d0004.mpd", 2005, 3, 17, 0, 10);
    const std::string outcomes = "renamed\ta0001.mpd\t2005-03-15-25_AIVH.mpd\n"
                                 "failed\tb0002.mpd\t2005-03-15-25_AIVH.mpd\ta file of that name exists\n"
                                 "failed\tc0003.mpd\t2005-03-16-00_AIVH.mpd\ta file of that name exists\n"
                                 "renamed\td0004.mpd\t2005-03-17-00_AIVH.mpd\n";
    auto json = RunCli({"rename", "--dry-run", "--json", folder});
    EXPECT_EQ(json.status, 1);
    auto results = nlohmann::json::parse(json.out)["results"];
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(results[1]["status"], "failed");
    EXPECT_EQ(results[1]["reason"], "a file of that name exists");

    auto dry = RunCli({"rename", "--dry-run", folder});
    EXPECT_EQ(dry.status, 1);
    for (size_t at; (at = dry.out.find("would-rename\t")) != std::string::npos;)
        dry.out.replace(at, 13, "renamed\t");
    EXPECT_EQ(dry.out, outcomes);
    auto real = RunCli({"rename", folder});
    EXPECT_EQ(real.status, 1);
    EXPECT_EQ(real.out.substr(0, real.out.find("remaining")), outcomes);
}

} // namespace
