// SPDX-License-Identifier: GPL-3.0-or-later
// SIGINT and SIGTERM during a scan, a rename or an undo: the command ends
// cleanly, says it stopped, and renames nothing it had not begun; a stopped
// undo is finished by the next one.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
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

// Every regular file below dir (hidden ones too), by its path relative to dir.
std::map<std::string, std::string> TreeContents(const std::string& dir)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), dir).string()] = ReadFileText(entry.path().string());
    return files;
}

// The contents of the files of both trees, sorted: each file once, bytes kept.
std::vector<std::string> AllBytes(const std::vector<std::string>& dirs)
{
    std::vector<std::string> all;
    for (const std::string& dir : dirs)
        for (auto& [name, bytes] : TreeContents(dir))
            all.push_back(bytes);
    std::sort(all.begin(), all.end());
    return all;
}

// A folder on another file system than root's (/dev/shm where it is one),
// removed with the object; "" when there is none.
struct TOtherFileSystem {
    explicit TOtherFileSystem(const std::string& root)
    {
        struct stat here {}, shm {};
        if (::stat(root.c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev ||
            ::access("/dev/shm", W_OK) != 0)
            return;
        std::string pattern = "/dev/shm/quillon-stop-XXXXXX";
        if (::mkdtemp(pattern.data()))
            Dir = pattern;
    }
    ~TOtherFileSystem()
    {
        std::error_code ignored;
        if (!Dir.empty())
            std::filesystem::remove_all(Dir, ignored);
    }
    std::string Dir;
};

// SIGINT arrives as the undo makes its Nth call of a kind: the file under
// way is finished, the undo stops before the next one, and the next undo
// takes back the rest. A plain rename batch, a filing batch on one file
// system and onto another (the signal comes during the third copy back),
// and a recursive undo (in the second of three folders, the first of ten files).
TEST_F(CliStopTest, AStoppedUndoKeepsWhatItRestoredAndTheNextOneRestoresTheRest)
{
    if (!StraceAvailable())
        GTEST_SKIP() << "strace is not installed (scripts/install-deps.sh installs it)";
    const struct {
        const char* name;
        const char* dest; // "": no filing; "here": beside the data; "other": another file system
        bool recursive;
        const char* call;
        int when;
        int restoredBeforeStop; // then left for the next undo: the rest of 10 (18 recursive)
    } cases[] = {
        {"rename", "", false, "renameat2", 3, 3},
        {"filing", "here", false, "renameat2", 3, 3},
        {"filing onto another file system", "other", false, "sendfile", 3, 3},
        {"recursive", "", true, "renameat2", 12, 12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder);
        std::filesystem::remove_all(state);
        for (const char* sub : {"/sub1", "/sub2"})
            std::filesystem::create_directories(folder + sub);
        WriteSamples(10);
        for (int sub = 1; sub <= 2; ++sub)
            for (int i = 0; i < 4; ++i)
                WriteSampleMpd(folder + "/sub" + std::to_string(sub) + "/1000000" + std::to_string(i) + ".mpd", 0xD4F7,
                               "AIVH", SampleTime(sub, i));
        const auto before = TreeContents(folder);
        TOtherFileSystem other(root);
        std::string dest;
        if (c.dest == std::string("other")) {
            if (other.Dir.empty()) {
                std::printf("skipped: no other file system (/dev/shm is on the temporary folder's)\n");
                continue;
            }
            dest = other.Dir;
        } else if (c.dest == std::string("here")) {
            dest = root + "/archive";
            std::filesystem::remove_all(dest);
            std::filesystem::create_directories(dest);
        }
        std::vector<std::string> done = {"rename"}, undo = {"undo"};
        if (!dest.empty())
            done.insert(done.end(), {"--into", "{yyyy}/{mm}/{dd}", "--to", dest});
        if (c.recursive) {
            done.push_back("--recursive");
            undo.push_back("--recursive");
        }
        done.push_back(folder);
        undo.push_back(folder);
        ASSERT_EQ(Cli(done).Exit, 0);
        std::vector<std::string> trees = {folder};
        if (!dest.empty())
            trees.push_back(dest);
        const auto bytes = AllBytes(trees);

        const std::string traceDir = root + "/trace";
        std::filesystem::create_directories(traceDir);
        std::vector<std::string> argv = {QUILLON_CLI};
        argv.insert(argv.end(), undo.begin(), undo.end());
        TTracedRun stopped = TTracedProcess(argv, {c.call, c.when, "", "INT", ""}, traceDir,
                                            {{"XDG_STATE_HOME", state}, {"ASAN_OPTIONS", "detect_leaks=0"}})
                                 .Wait();
        std::filesystem::remove_all(traceDir);
        EXPECT_EQ(stopped.Exit, 1) << stopped.Err;
        EXPECT_NE(stopped.Err.find("stopped; undo again to restore the rest"), std::string::npos) << stopped.Err;
        const auto restored = std::count(stopped.Out.begin(), stopped.Out.end(), '\n');
        EXPECT_EQ(restored, c.restoredBeforeStop) << stopped.Out;
        EXPECT_TRUE(AllBytes(trees) == bytes) << "each file once, whole, no copy left behind";

        TCliRun rest = Cli(undo);
        EXPECT_EQ(rest.Exit, 0) << rest.Err;
        EXPECT_EQ(rest.Err, "");
        EXPECT_EQ(std::count(rest.Out.begin(), rest.Out.end(), '\n') + restored, c.recursive ? 18 : 10) << rest.Out;
        EXPECT_TRUE(TreeContents(folder) == before) << rest.Out;
        if (!dest.empty()) {
            EXPECT_TRUE(TreeContents(dest).empty()) << "every file went back";
        }
        EXPECT_EQ(Cli(undo).Out, "") << "nothing more to take back";
    }
}

} // namespace
