// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT and SIGTERM during a scan, a rename or an undo: the command ends
// cleanly, says it stopped, and renames nothing it had not begun; a stopped
// undo is finished by the next one.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/cli/CliJournalSupport.h"
#include "tests/faults/SyscallFaults.h"

namespace {

using namespace std::chrono_literals;
using CliStopTest = TCliScratch;

// Waits until process pid has file open (it is searching it); false when it
// ended first.
bool Reading(pid_t pid, const std::string& file)
{
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    for (;;) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(fds, error))
            if (std::filesystem::read_symlink(entry.path(), error) == file)
                return true;
        if (error && !std::filesystem::exists(fds))
            return false;
        siginfo_t info{}; // ended? (left to be reaped by its owner)
        if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid)
            return false;
        std::this_thread::sleep_for(10ms);
    }
}

TEST_F(CliStopTest, AStopSignalEndsAScanOrARenameCleanly)
{
    WriteSamples(2);
    // A file without a header frame, searched to its end: the signal comes
    // while it is searched.
    const std::string huge = InFolder("00000001x.mpd");
    int fd = ::open(huge.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t(2) << 30), 0); // sparse
    ::close(fd);
    const auto names = [&] {
        std::vector<std::string> list;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            list.push_back(entry.path().filename().string());
        std::sort(list.begin(), list.end());
        return list;
    };
    const auto before = names();
    const struct {
        const char* command;
        int signal;
    } cases[] = {{"scan", SIGINT}, {"rename", SIGTERM}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + std::to_string(c.signal));
        TCliProcess process({c.command, folder}, state);
        ASSERT_TRUE(Reading(process.Pid(), huge));
        ::kill(process.Pid(), c.signal);
        EXPECT_EQ(process.Wait(), 1) << process.Err();
        EXPECT_NE(process.Err().find("stopped"), std::string::npos) << process.Err();
        EXPECT_EQ(process.Out().find("renamed"), std::string::npos) << process.Out();
        EXPECT_EQ(names(), before);
    }
}

TEST_F(CliStopTest, AStoppedUndoKeepsWhatItRestoredAndTheNextOneRestoresTheRest)
{
    if (!StraceAvailable())
        GTEST_SKIP() << "strace is not installed (scripts/install-deps.sh installs it)";
    WriteSamples(10);
    const auto before = FolderContents(folder);
    ASSERT_EQ(Cli({"rename", folder}).Exit, 0);
    // SIGINT arrives as the undo restores its third file.
    const std::string traceDir = root + "/trace";
    std::filesystem::create_directories(traceDir);
    TTracedRun stopped = TTracedProcess({QUILLON_CLI, "undo", folder}, {"renameat2", 3, "", "INT"}, traceDir,
                                        {{"XDG_STATE_HOME", state}, {"ASAN_OPTIONS", "detect_leaks=0"}})
                             .Wait();
    EXPECT_EQ(stopped.Exit, 1) << stopped.Err;
    EXPECT_NE(stopped.Err.find("stopped; undo again"), std::string::npos) << stopped.Err;
    const auto restored = std::count(stopped.Out.begin(), stopped.Out.end(), '\n');
    EXPECT_GE(restored, 1) << stopped.Out;
    EXPECT_LT(restored, 10) << stopped.Out;
    EXPECT_TRUE(FolderContents(folder) != before) << "nothing was restored";

    TCliRun rest = Cli({"undo", folder});
    EXPECT_EQ(rest.Exit, 0) << rest.Err;
    EXPECT_TRUE(FolderContents(folder) == before) << rest.Out;
}

} // namespace
