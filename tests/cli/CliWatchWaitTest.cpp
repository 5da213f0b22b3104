// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli watch --wait-for-folder: the service's start before its folder
// exists waits with one message, then watches; SIGTERM ends the wait.
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <signal.h>

#include <gtest/gtest.h>

#include "tests/cli/CliJournalSupport.h"

namespace {

using namespace std::chrono_literals;

class CliWatchWaitTest : public TCliScratch {
protected:
    // Starts the watch on a folder not yet there and returns once it said so.
    std::unique_ptr<TCliProcess> StartWaiting(const std::string& dir)
    {
        auto watch = std::make_unique<TCliProcess>(
            std::vector<std::string>{"watch", "--wait-for-folder", "--settle", "0", dir}, state);
        auto until = std::chrono::steady_clock::now() + 60s;
        while (watch->Err().find("waiting for folder") == std::string::npos && std::chrono::steady_clock::now() < until) {
            EXPECT_EQ(watch->Available(), "");
            std::this_thread::sleep_for(50ms);
        }
        EXPECT_NE(watch->Err().find("waiting for folder " + dir + " to appear"), std::string::npos) << watch->Err();
        return watch;
    }
};

TEST_F(CliWatchWaitTest, WaitsForTheFolderThenNamesWhatIsInIt)
{
    const std::string later = root + "/later/in";
    auto watch = StartWaiting(later);
    std::filesystem::create_directories(root + "/later/staging");
    WriteSampleMpd(root + "/later/staging/img00001.mpd", 0xD4F7, "AIVH", SampleTime(1, 3));
    std::filesystem::rename(root + "/later/staging", later); // the folder arrives with a file in it
    std::string line;
    ASSERT_TRUE(watch->ReadLine(line)) << watch->Err();
    EXPECT_EQ(line.rfind("renamed\timg00001.mpd\t", 0), 0u) << line;
    ::kill(watch->Pid(), SIGTERM);
    EXPECT_EQ(watch->Wait(), 0) << watch->Err();
    // Said once, however long it waited.
    const std::string err = watch->Err();
    EXPECT_EQ(err.find("waiting for folder"), err.rfind("waiting for folder")) << err;
}

TEST_F(CliWatchWaitTest, SigtermEndsTheWaitCleanly)
{
    auto watch = StartWaiting(root + "/never");
    ::kill(watch->Pid(), SIGTERM);
    EXPECT_EQ(watch->Wait(), 0) << watch->Err();
    EXPECT_FALSE(std::filesystem::exists(root + "/never"));
}

} // namespace
