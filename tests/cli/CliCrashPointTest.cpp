// SPDX-License-Identifier: GPL-3.0-or-later
// A rename of 200 files killed (SIGKILL) at each of its journal writes and
// flushes in turn, through strace: each time undo gives back every file under
// its old name with its bytes, and the journal reads back.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/cli/CliJournalSupport.h"
#include "tests/faults/SyscallFaults.h"

namespace {

using CliCrashPointTest = TCliScratch;

TEST_F(CliCrashPointTest, ABatchKilledAtAnyJournalWriteIsUndoneExactly)
{
    if (!StraceAvailable())
        GTEST_SKIP() << "strace is not installed (scripts/install-deps.sh installs it)";
    constexpr int Files = 200;
    const std::string journal = state + "/quillon/journal.jsonl";
    const std::map<std::string, std::string> env = {{"XDG_STATE_HOME", state},
                                                    {"ASAN_OPTIONS", "detect_leaks=0"}};
    const std::string traceDir = root + "/trace";
    std::filesystem::create_directories(traceDir);
    auto fresh = [&] {
        std::filesystem::remove_all(folder);
        std::filesystem::remove_all(state);
        std::filesystem::create_directories(folder);
        WriteSamples(Files);
    };

    // A clean run tells which writes and flushes go to the journal.
    fresh();
    const auto before = FolderContents(folder);
    TTracedRun counting = TTracedProcess({QUILLON_CLI, "rename", folder}, {}, traceDir, env).Wait();
    ASSERT_EQ(counting.Exit, 0) << counting.Err;
    auto toJournal = [&](const std::string& call) { return call.find(journal + ">") != std::string::npos; };
    auto calls = CallsTouching(counting.Log, {journal}, toJournal);
    const std::vector<std::string> kinds = {"write", "fdatasync"};
    ASSERT_GE(calls["write"].size(), 3u) << "batch record, file records, end record";

    size_t points = 0;
    for (const std::string& kind : kinds) {
        for (int n : calls[kind]) {
            SCOPED_TRACE(kind + " #" + std::to_string(n));
            fresh();
            TTracedRun killed = TTracedProcess({QUILLON_CLI, "rename", folder}, {kind, n, "", "KILL"}, traceDir, env).Wait();
            EXPECT_EQ(killed.Exit, -SIGKILL) << killed.Err;
            ++points;
            TCliRun history = Cli({"history"});
            EXPECT_EQ(history.Exit, 0) << history.Err;
            TCliRun undo = Cli({"undo", folder});
            EXPECT_TRUE(undo.Exit == 0 || undo.Err.find("nothing to undo") != std::string::npos)
                << undo.Exit << " " << undo.Err;
            EXPECT_TRUE(FolderContents(folder) == before) << undo.Out.substr(0, 2000);
        }
    }
    EXPECT_EQ(points, calls["write"].size() + calls["fdatasync"].size());
}

} // namespace
