// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli undo: taking rename batches back, from the command line.
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/cli/CliJournalSupport.h"

namespace {

using CliUndoTest = TCliScratch;

// The (new, old) name pairs of the "renamed" lines of a rename run.
std::vector<std::pair<std::string, std::string>> Renamed(const std::string& out)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const std::string& line : SplitLines(out)) {
        if (line.rfind("renamed\t", 0) != 0)
            continue;
        size_t tab = line.find('\t', 8);
        pairs.emplace_back(line.substr(tab + 1), line.substr(8, tab - 8));
    }
    return pairs;
}

TEST_F(CliUndoTest, RestoresTheLastBatchLastRenamedFirst)
{
    WriteSamples(3);
    auto before = FolderContents(folder);
    TCliRun rename = Cli({"rename", folder});
    ASSERT_EQ(rename.Exit, 0) << rename.Err;
    auto renamed = Renamed(rename.Out);
    ASSERT_EQ(renamed.size(), 3u);

    TCliRun undo = Cli({"undo"});
    EXPECT_EQ(undo.Exit, 0) << undo.Err;
    std::vector<std::string> expected;
    for (auto it = renamed.rbegin(); it != renamed.rend(); ++it)
        expected.push_back("restored\t" + it->first + "\t" + it->second);
    EXPECT_EQ(SplitLines(undo.Out), expected);
    EXPECT_EQ(FolderContents(folder), before);
}

TEST_F(CliUndoTest, NeverReplacesAFileThatTookTheOldName)
{
    WriteSamples(2);
    TCliRun rename = Cli({"rename", folder});
    auto renamed = Renamed(rename.Out);
    ASSERT_EQ(renamed.size(), 2u);
    const std::string takenOld = renamed[0].second;
    const std::string takenNew = renamed[0].first;
    std::string movedContent = ReadFileText(InFolder(takenNew));
    { std::ofstream(InFolder(takenOld)) << "a newcomer"; }

    TCliRun undo = Cli({"undo", folder});
    EXPECT_EQ(undo.Exit, 1);
    auto lines = SplitLines(undo.Out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "restored\t" + renamed[1].first + "\t" + renamed[1].second);
    EXPECT_EQ(lines[1], "skipped\t" + takenNew + "\t" + takenOld + "\told name taken");
    EXPECT_EQ(ReadFileText(InFolder(takenOld)), "a newcomer");
    EXPECT_EQ(ReadFileText(InFolder(takenNew)), movedContent);
}

TEST_F(CliUndoTest, DryRunJsonAndFolderForms)
{
    WriteSamples(2);
    ASSERT_EQ(Cli({"rename", folder}).Exit, 0);
    auto after = FolderContents(folder);

    // A relative folder and a trailing slash name the same batch.
    for (const std::string& dir : {std::string("data"), std::string("data/"), std::string("./data//")}) {
        TCliRun dry = Cli({"undo", "--dry-run", dir}, root);
        EXPECT_EQ(dry.Exit, 0) << dir << dry.Err;
        auto lines = SplitLines(dry.Out);
        ASSERT_EQ(lines.size(), 2u) << dir;
        EXPECT_EQ(lines[0].rfind("would-restore\t", 0), 0u);
    }
    EXPECT_EQ(FolderContents(folder), after); // a dry run touches nothing

    TCliRun json = Cli({"undo", "--json", folder});
    ASSERT_EQ(json.Exit, 0) << json.Err;
    auto value = nlohmann::json::parse(json.Out);
    ASSERT_EQ(value["results"].size(), 2u);
    EXPECT_EQ(value["results"][0]["status"], "restored");
    EXPECT_TRUE(value["batch"].is_string());
}

TEST_F(CliUndoTest, EachRunGoesFurtherBackAndStopsWhenNothingIsLeft)
{
    WriteSamples(1, 0);
    ASSERT_EQ(Cli({"rename", folder}).Exit, 0);
    WriteSamples(1, 1);
    ASSERT_EQ(Cli({"rename", folder}).Exit, 0);
    auto history = nlohmann::json::parse(Cli({"history", "--json"}).Out);
    ASSERT_EQ(history.size(), 2u);

    struct {
        std::vector<std::string> args;
        int exit;
        std::string batch; // expected batch, "" for none
    } steps[] = {
        {{"undo", "--json"}, 0, history[0]["id"]},
        {{"undo", "--json", "--batch", history[0]["id"]}, 1, ""}, // never taken back twice
        {{"undo", "--json"}, 0, history[1]["id"]},
        {{"undo", "--json"}, 0, ""},
        {{"undo", "--batch", "no-such-batch"}, 1, ""},
        {{"undo", "--bogus"}, 2, ""},
    };
    for (const auto& step : steps) {
        TCliRun run = Cli(step.args);
        EXPECT_EQ(run.Exit, step.exit) << step.args.back() << run.Err;
        if (!step.batch.empty())
            EXPECT_EQ(nlohmann::json::parse(run.Out)["batch"], step.batch);
    }
    EXPECT_EQ(FolderContents(folder).count("00000000.mpd"), 1u);
    EXPECT_EQ(FolderContents(folder).count("00000048.mpd"), 1u);
}

TEST_F(CliUndoTest, ARenameThatCannotBeJournaledDoesNotStart)
{
    WriteSamples(2);
    auto before = FolderContents(folder);
    { std::ofstream(state) << "a file where the state folder belongs"; }
    TCliRun rename = Cli({"rename", folder});
    EXPECT_EQ(rename.Exit, 1);
    EXPECT_NE(rename.Err.find("journal"), std::string::npos) << rename.Err;
    EXPECT_EQ(FolderContents(folder), before);
}

// Kills a rename of a few thousand files with SIGKILL at random points of its
// work; every time, undo gives back exactly the files and contents there were.
TEST_F(CliUndoTest, ABatchKilledAtRandomPointsIsAlwaysUndoneExactly)
{
    constexpr int Files = 2000;
    WriteSamples(Files);
    const auto before = FolderContents(folder);
    const std::string journal = state + "/quillon/journal.jsonl";
    std::mt19937 random(std::random_device{}());
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::error_code error;
        auto journalSize = [&] { return std::filesystem::exists(journal) ? std::filesystem::file_size(journal) : 0; };
        const auto sizeBefore = journalSize();
        TCliProcess rename({"rename", folder}, state);
        // Wait for the batch record (the renames start right after it), then a
        // random part of the time the renames take.
        while (journalSize() == sizeBefore && ::waitpid(rename.Pid(), nullptr, WNOHANG) == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 60000)(random)));
        ::kill(rename.Pid(), SIGKILL);
        rename.Wait();

        TCliRun undo = Cli({"undo", folder});
        EXPECT_EQ(undo.Exit, 0) << undo.Err << undo.Out.substr(0, 2000);
        auto after = FolderContents(folder);
        ASSERT_EQ(after.size(), before.size());
        EXPECT_TRUE(after == before);
    }
}

} // namespace
