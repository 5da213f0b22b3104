// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli history: the journaled batches, newest first, with their counts.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/cli/CliJournalSupport.h"

namespace {

using CliHistoryTest = TCliScratch;

TEST_F(CliHistoryTest, NoJournalIsAnEmptyArray)
{
    TCliRun text = Cli({"history"});
    EXPECT_EQ(text.Exit, 0);
    EXPECT_EQ(text.Out, "");
    TCliRun json = Cli({"history", "--json"});
    EXPECT_EQ(json.Exit, 0);
    EXPECT_EQ(nlohmann::json::parse(json.Out), nlohmann::json::array());
}

TEST_F(CliHistoryTest, CountsRenamedFailedAndRestoredNewestFirst)
{
    WriteSamples(3);
    // A file already holding the second sample's standard name makes it fail.
    TCliRun scan = Cli({"rename", "--dry-run", folder});
    auto planned = SplitLines(scan.Out);
    ASSERT_EQ(planned.size(), 3u);
    std::string taken = planned[1].substr(planned[1].rfind('\t') + 1);
    { std::ofstream(InFolder(taken)) << "in the way"; }
    EXPECT_EQ(Cli({"rename", folder}).Exit, 1);
    ASSERT_EQ(Cli({"undo"}).Exit, 0);
    WriteSamples(1, 5);
    ASSERT_EQ(Cli({"rename", folder}).Exit, 1); // the blocked file fails again

    TCliRun json = Cli({"history", "--json"});
    ASSERT_EQ(json.Exit, 0) << json.Err;
    auto history = nlohmann::json::parse(json.Out);
    ASSERT_EQ(history.size(), 2u);
    struct {
        int renamed, failed, restored;
    } expected[] = {{3, 1, 0}, {2, 1, 2}};
    for (size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const auto& entry = history[i];
        EXPECT_TRUE(entry["id"].is_string());
        EXPECT_TRUE(entry["time"].is_string());
        EXPECT_EQ(entry["folder"], std::filesystem::canonical(folder).string());
        EXPECT_TRUE(entry["renamed"].is_number());
        EXPECT_EQ(entry["renamed"], expected[i].renamed);
        EXPECT_EQ(entry["failed"], expected[i].failed);
        EXPECT_EQ(entry["restored"], expected[i].restored);
    }
    EXPECT_GE(history[0]["time"].get<std::string>(), history[1]["time"].get<std::string>());

    TCliRun text = Cli({"history"});
    auto lines = SplitLines(text.Out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], history[1]["id"].get<std::string>() + "\t" + history[1]["time"].get<std::string>() + "\t" +
                            history[1]["folder"].get<std::string>() + "\t2\t1\t2");
}

TEST_F(CliHistoryTest, DamagedLinesAreReportedAndSkipped)
{
    WriteSamples(1);
    ASSERT_EQ(Cli({"rename", folder}).Exit, 0);
    const std::string journal = state + "/quillon/journal.jsonl";
    std::string text = ReadFileText(journal);
    { std::ofstream(journal, std::ios::trunc) << "{oops\n" << text << "{\"type\":\"outc"; }
    TCliRun run = Cli({"history", "--json"});
    EXPECT_EQ(run.Exit, 0);
    EXPECT_EQ(nlohmann::json::parse(run.Out).size(), 1u);
    EXPECT_NE(run.Err.find("line 1 is damaged"), std::string::npos) << run.Err;
    // The cut-off last line does not swallow the next batch.
    WriteSamples(1, 3);
    ASSERT_EQ(Cli({"rename", folder}).Exit, 0);
    EXPECT_EQ(nlohmann::json::parse(Cli({"history", "--json"}).Out).size(), 2u);
}

TEST_F(CliHistoryTest, AFilingBatchSaysSoWithItsDestinationAndFilesMoved)
{
    WriteSamples(2);
    const std::string archive = root + "/archive";
    std::filesystem::create_directories(archive);
    ASSERT_EQ(Cli({"rename", "--into", "{yyyy}", "--to", archive, folder}).Exit, 0);
    auto history = nlohmann::json::parse(Cli({"history", "--json"}).Out);
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0]["kind"], "filing");
    EXPECT_EQ(history[0]["dest"], std::filesystem::canonical(archive).string());
    EXPECT_EQ(history[0]["moved"], 2);
    auto lines = SplitLines(Cli({"history"}).Out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(lines[0].find("\t2\t")), "\t2\t0\t0\tfiling\t" + history[0]["dest"].get<std::string>());
}

} // namespace
