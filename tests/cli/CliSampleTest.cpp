// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli sample never replaces nor follows an entry that is already there.
#include <filesystem>
#include <functional>

#include "CliScanSupport.h"

namespace {

using TCliSampleTest = TScanCliScratch;

TEST_F(TCliSampleTest, AnExistingEntryIsLeftAsItIsAndReported)
{
    // The first demo file is img10000.mpd.
    const std::string outside = root + "/x.txt";
    const struct {
        const char* name;
        std::function<void(TCliSampleTest&)> place;
    } cases[] = {
        {"a link to a file elsewhere",
         [&](TCliSampleTest& t) { std::filesystem::create_symlink(outside, t.InFolder("img10000.mpd")); }},
        {"a dangling link", [&](TCliSampleTest& t) {
             std::filesystem::create_symlink(t.root + "/nowhere", t.InFolder("img10000.mpd"));
         }},
        {"a file", [&](TCliSampleTest& t) { t.WriteText(t.InFolder("img10000.mpd"), "keep me"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        WriteText(outside, "precious");
        c.place(*this);
        auto r = RunCli({"sample", folder, "--count", "2"});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find("img10000.mpd exists"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("img10000.mpd"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("wrote 1 files"), std::string::npos) << r.out;
        EXPECT_EQ(ReadText(outside), "precious");
        EXPECT_FALSE(std::filesystem::exists(root + "/nowhere"));
        if (std::string(c.name) == "a file")
            EXPECT_EQ(ReadText(InFolder("img10000.mpd")), "keep me");
        else
            EXPECT_TRUE(std::filesystem::is_symlink(InFolder("img10000.mpd")));
    }
}

} // namespace
