// SPDX-License-Identifier: GPL-3.0-or-later
// The rename journal under trouble, from the command line: a journal that
// cannot be written, a file that replaced a renamed one, a batch taken back in
// two goes, a journal held by another process, counts after a killed batch.
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/cli/CliJournalSupport.h"

namespace {

using CliJournalFaultTest = TCliScratch;

TEST_F(CliJournalFaultTest, AnUnwritableJournalRenamesNothingAndSaysSoOnce)
{
    WriteSamples(3);
    const auto before = FolderContents(folder);
    { std::ofstream(state) << "a file where the state folder belongs"; }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"rename", folder}, std::vector<std::string>{"rename", "--json", folder}}) {
        SCOPED_TRACE(args[1]);
        TCliRun rename = Cli(args);
        EXPECT_EQ(rename.Exit, 1);
        EXPECT_EQ(rename.Out, ""); // no line per file
        auto lines = SplitLines(rename.Err);
        ASSERT_EQ(lines.size(), 1u) << rename.Err;
        EXPECT_NE(lines[0].find(state + "/quillon/journal.jsonl"), std::string::npos) << lines[0];
        EXPECT_NE(lines[0].find("Not a directory"), std::string::npos) << lines[0];
        EXPECT_NE(lines[0].find("nothing renamed"), std::string::npos) << lines[0];
        EXPECT_EQ(FolderContents(folder), before);
    }
}

// Another process holds the journal's lock: rename and history say that they
// wait, then give up with a clear error, renaming nothing.
TEST_F(CliJournalFaultTest, AJournalHeldElsewhereIsWaitedForThenGivenUp)
{
    WriteSamples(2);
    const auto before = FolderContents(folder);
    std::filesystem::create_directories(state + "/quillon");
    const std::string lockName = state + "/quillon/journal.jsonl.lock";
    int holder = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    ::setenv("QUILLON_JOURNAL_LOCK_TIMEOUT", "2.5", 1);
    for (const std::vector<std::string>& args : {std::vector<std::string>{"rename", folder},
                                                 std::vector<std::string>{"history"},
                                                 std::vector<std::string>{"undo", folder}}) {
        SCOPED_TRACE(args[0]);
        TCliRun run = Cli(args);
        EXPECT_EQ(run.Exit, 1);
        EXPECT_EQ(run.Out, "");
        EXPECT_NE(run.Err.find("quillon-cli " + args[0] +
                               ": waiting for the rename journal, held by another quillon process\n"),
                  std::string::npos)
            << run.Err;
        EXPECT_NE(run.Err.find("is held by another quillon process; gave up waiting after 2.5 s"), std::string::npos)
            << run.Err;
        EXPECT_EQ(FolderContents(folder), before);
    }
    ::unsetenv("QUILLON_JOURNAL_LOCK_TIMEOUT");
    ::close(holder);
    EXPECT_EQ(Cli({"rename", folder}).Exit, 0); // the lock is free again
}

// A lock timeout that is not a number of seconds is refused, not taken as 30.
TEST_F(CliJournalFaultTest, ALockTimeoutThatIsNoNumberIsAUsageError)
{
    WriteSamples(1);
    const auto before = FolderContents(folder);
    for (const char* value : {"abc", "-5", "nan", "1e999", "5s"}) {
        ::setenv("QUILLON_JOURNAL_LOCK_TIMEOUT", value, 1);
        for (const char* command : {"rename", "undo", "history"}) {
            SCOPED_TRACE(std::string(command) + " " + value);
            TCliRun run = Cli(std::string(command) == "history" ? std::vector<std::string>{command}
                                                                 : std::vector<std::string>{command, folder});
            EXPECT_EQ(run.Exit, 2);
            EXPECT_NE(run.Err.find("quillon-cli " + std::string(command) +
                                   ": QUILLON_JOURNAL_LOCK_TIMEOUT: expects a number of seconds of at least 0, not '" +
                                   value + "'"),
                      std::string::npos)
                << run.Err;
        }
    }
    ::setenv("QUILLON_JOURNAL_LOCK_TIMEOUT", "0.5", 1);
    EXPECT_EQ(Cli({"rename", folder}).Exit, 0);
    ::unsetenv("QUILLON_JOURNAL_LOCK_TIMEOUT");
    EXPECT_NE(FolderContents(folder), before);
}

// `rm NEW; echo other > NEW; quillon-cli undo DIR`: the stranger keeps its name.
TEST_F(CliJournalFaultTest, UndoLeavesAFileThatReplacedTheRenamedOne)
{
    WriteSamples(2);
    TCliRun rename = Cli({"rename", folder});
    ASSERT_EQ(rename.Exit, 0) << rename.Err;
    auto lines = SplitLines(rename.Out);
    ASSERT_EQ(lines.size(), 2u);
    const std::string oldName = lines[0].substr(8, lines[0].find('\t', 8) - 8);
    const std::string newName = lines[0].substr(lines[0].rfind('\t') + 1);
    std::filesystem::remove(InFolder(newName));
    { std::ofstream(InFolder(newName)) << "other\n"; }

    TCliRun undo = Cli({"undo", folder});
    EXPECT_EQ(undo.Exit, 1);
    EXPECT_EQ(SplitLines(undo.Out).back(),
              "skipped\t" + newName + "\t" + oldName + "\treplaced or changed since the rename");
    EXPECT_EQ(ReadFileText(InFolder(newName)), "other\n");
    EXPECT_FALSE(std::filesystem::exists(InFolder(oldName)));
}

} // namespace
