// SPDX-License-Identifier: GPL-3.0-or-later
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>

#include "components/FolderPoll.h"

namespace fs = std::filesystem;

namespace {

class FolderPollTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "quillon-poll-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder = pattern;
    }
    void TearDown() override
    {
        std::error_code error;
        fs::remove_all(folder, error);
    }
    void Write(const std::string& name, const std::string& text) { std::ofstream(folder + "/" + name) << text; }
    std::vector<std::string> Changes(TPollFolderEvents& poll)
    {
        std::vector<TFolderEvent> events;
        EXPECT_EQ(poll.Poll(events), "");
        std::vector<std::string> out;
        for (const TFolderEvent& e : events)
            out.push_back((e.Kind == TFolderEvent::MovedIn ? "in " : e.Kind == TFolderEvent::Gone ? "gone " : "? ") +
                          e.Name);
        return out;
    }
    std::string folder;
};

// Files there at the start, unchanged files (standard-named or not) and
// names outside the listing mask give no event; new, changed and vanished
// files do.
TEST_F(FolderPollTest, ReportsOnlyNewChangedAndGoneFiles)
{
    Write("old00001.mpd", "a");
    Write("stay0001.mpd", "b");
    Write("2005-01-01-00_AIVH.mpd", "e"); // a standard name the watch left
    TPollFolderEvents poll(std::chrono::milliseconds(100));
    ASSERT_EQ(poll.Start(folder), "");
    EXPECT_TRUE(Changes(poll).empty());
    Write("new00001.mpd", "c");
    Write("notes.txt", "d");
    Write("old00001.mpd", "longer");
    fs::remove(folder + "/stay0001.mpd");
    EXPECT_EQ(Changes(poll), (std::vector<std::string>{"in new00001.mpd", "in old00001.mpd", "gone stay0001.mpd"}));
    EXPECT_TRUE(Changes(poll).empty());
}

TEST_F(FolderPollTest, ForcedBlindnessIsTold)
{
    ::setenv("QUILLON_WATCH_NO_INOTIFY", "1", 1);
    EXPECT_NE(InotifyBlindReason(folder), "");
    ::unsetenv("QUILLON_WATCH_NO_INOTIFY");
}

} // namespace
