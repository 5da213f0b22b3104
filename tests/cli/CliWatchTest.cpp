// SPDX-License-Identifier: GPL-3.0-or-later
// quillon-cli watch: files named once complete, never while being written;
// clean ends on SIGTERM; a journal that stays consistent.
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "tests/cli/CliJournalSupport.h"

namespace {

using namespace std::chrono_literals;

class CliWatchTest : public TCliScratch {
public:
    // The bytes of a sample file and the name the watch should give it.
    struct TSample {
        TByteVector bytes;
        std::string standardName;
    };
    TSample Sample(int day, int slot)
    {
        TSample s;
        s.bytes = BuildFramedFile(MakeSampleHeader(0xD4F7, "AIVH", SampleTime(day, slot)));
        std::string ref = root + "/ref";
        std::filesystem::remove_all(ref);
        std::filesystem::create_directories(ref);
        WriteFileBytes(ref + "/probe.mpd", s.bytes);
        TCliRun scan = Cli({"scan", ref});
        size_t tab = scan.Out.find('\t');
        EXPECT_NE(tab, std::string::npos) << scan.Out << scan.Err;
        s.standardName = scan.Out.substr(tab + 1, scan.Out.find('\n') - tab - 1) + ".mpd";
        return s;
    }
    // A file written long ago: the first pass names it at once, and its line
    // tells that the watch is running.
    void WriteMarker(const std::string& name = "marker01.mpd")
    {
        WriteSampleMpd(InFolder(name), 0xD4F7, "AIVH", SampleTime(300, 7));
        std::filesystem::last_write_time(InFolder(name), std::filesystem::file_time_type::clock::now() - 1h);
    }
    std::unique_ptr<TCliProcess> StartWatch(std::vector<std::string> extra = {}, const std::string& settle = "0.3")
    {
        std::vector<std::string> args = {"watch", "--settle", settle};
        args.insert(args.end(), extra.begin(), extra.end());
        args.push_back(folder);
        auto watch = std::make_unique<TCliProcess>(args, state);
        std::string line;
        EXPECT_TRUE(watch->ReadLine(line)) << watch->Err();
        EXPECT_NE(line.find("marker01.mpd"), std::string::npos) << line;
        return watch;
    }
    static void WriteAll(int fd, const uint8_t* data, size_t size)
    {
        while (size > 0) {
            ssize_t n = ::write(fd, data, size);
            ASSERT_GT(n, 0);
            data += n;
            size -= static_cast<size_t>(n);
        }
    }
};

TEST_F(CliWatchTest, ASlowWriterIsNamedOnlyAfterItClosedTheFile)
{
    WriteMarker();
    auto watch = StartWatch();
    TSample sample = Sample(3, 11);

    const std::string path = InFolder("slow0001.mpd");
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const size_t pieces = 8;
    const size_t piece = (sample.bytes.size() + pieces - 1) / pieces;
    for (size_t at = 0; at < sample.bytes.size(); at += piece) {
        WriteAll(fd, sample.bytes.data() + at, std::min(piece, sample.bytes.size() - at));
        // Longer than the settle time between pieces: the file is still open.
        std::this_thread::sleep_for(400ms);
        EXPECT_EQ(watch->Available(), "") << "named while still being written";
        EXPECT_TRUE(std::filesystem::exists(path));
    }
    ::close(fd);

    std::string line;
    ASSERT_TRUE(watch->ReadLine(line)) << watch->Err();
    EXPECT_EQ(line, "renamed\tslow0001.mpd\t" + sample.standardName);
    EXPECT_FALSE(std::filesystem::exists(path));
    const auto& bytes = sample.bytes;
    EXPECT_EQ(ReadFileText(InFolder(sample.standardName)), std::string(bytes.begin(), bytes.end()));
}

TEST_F(CliWatchTest, AFileReopenedForWritingBeforeTheSettleTimeWaitsForTheNextClose)
{
    WriteMarker();
    auto watch = StartWatch({}, "1");
    TSample sample = Sample(4, 2);
    const std::string path = InFolder("reopen01.mpd");
    WriteFileBytes(path, sample.bytes);
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    std::this_thread::sleep_for(2500ms); // well past the settle time, still open
    EXPECT_EQ(watch->Available(), "");
    EXPECT_TRUE(std::filesystem::exists(path));
    ::close(fd);
    std::string line;
    ASSERT_TRUE(watch->ReadLine(line));
    EXPECT_EQ(line, "renamed\treopen01.mpd\t" + sample.standardName);
}

TEST_F(CliWatchTest, MovedInFilesComeBackNamesAndFilesOutsideTheFilterPrintNothing)
{
    WriteMarker();
    auto watch = StartWatch({"--json"});
    // Outside the window's filter: another extension, a standard name, an
    // unrecognised header.
    { std::ofstream(InFolder("notes.txt")) << "hello"; }
    WriteSampleMpd(InFolder("2005-01-02-03_AIVH.mpd"), 0xD4F7, "AIVH", SampleTime(9, 9));
    { std::ofstream(InFolder("garbage1.mpd")) << std::string(5000, 'x'); }

    struct {
        std::string name;
        int day, slot;
        bool movedIn;
    } arrivals[] = {{"moved001.mpd", 5, 1, true}, {"again001.mpd", 6, 1, false}, {"again001.mpd", 7, 1, false}};
    for (const auto& a : arrivals) {
        SCOPED_TRACE(a.name + " " + std::to_string(a.day));
        TSample sample = Sample(a.day, a.slot);
        if (a.movedIn) {
            WriteFileBytes(root + "/" + a.name, sample.bytes);
            std::filesystem::rename(root + "/" + a.name, InFolder(a.name));
        } else {
            WriteFileBytes(InFolder(a.name), sample.bytes);
        }
        std::string line;
        ASSERT_TRUE(watch->ReadLine(line)) << watch->Err();
        auto value = nlohmann::json::parse(line);
        EXPECT_EQ(value["status"], "renamed");
        EXPECT_EQ(value["old"], a.name);
        EXPECT_EQ(value["new"], sample.standardName);
    }
    ::kill(watch->Pid(), SIGTERM);
    EXPECT_EQ(watch->Wait(), 0);
    EXPECT_EQ(watch->Out(), "");
    EXPECT_TRUE(std::filesystem::exists(InFolder("garbage1.mpd")));
    EXPECT_TRUE(std::filesystem::exists(InFolder("notes.txt")));
}

TEST_F(CliWatchTest, SigtermLeavesAConsistentJournalThatUndoesExactly)
{
    WriteSamples(400);
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        std::filesystem::last_write_time(entry.path(), std::filesystem::file_time_type::clock::now() - 1h);
    const auto before = FolderContents(folder);
    TCliProcess watch({"watch", folder}, state);
    std::string line;
    ASSERT_TRUE(watch.ReadLine(line)) << watch.Err();
    ::kill(watch.Pid(), SIGTERM);
    EXPECT_EQ(watch.Wait(), 0) << watch.Err();
    // Every printed line is a whole rename.
    for (const std::string& l : SplitLines(watch.Out()))
        EXPECT_EQ(l.rfind("renamed\t", 0), 0u) << l;

    TCliRun history = Cli({"history", "--json"});
    EXPECT_EQ(history.Err, "");
    auto entries = nlohmann::json::parse(history.Out);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0]["complete"].get<bool>());
    EXPECT_EQ(entries[0]["failed"], 0);
    EXPECT_EQ(FolderContents(folder).size(), before.size());

    TCliRun undo = Cli({"undo", folder});
    EXPECT_EQ(undo.Exit, 0) << undo.Err;
    EXPECT_EQ(SplitLines(undo.Out).size(), static_cast<size_t>(entries[0]["renamed"].get<int>()));
    EXPECT_TRUE(FolderContents(folder) == before);
}

TEST_F(CliWatchTest, SigintEndsAnIdleWatchAndTheFirstPassCanBeUndone)
{
    WriteMarker();
    auto watch = StartWatch();
    ::kill(watch->Pid(), SIGINT);
    EXPECT_EQ(watch->Wait(), 0);
    TCliRun undo = Cli({"undo", folder});
    EXPECT_EQ(undo.Exit, 0);
    EXPECT_EQ(SplitLines(undo.Out).size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(InFolder("marker01.mpd")));
}

TEST_F(CliWatchTest, AFolderThatGoesAwayOrNeverWasEndsWithExitOne)
{
    WriteMarker();
    auto watch = StartWatch();
    std::filesystem::remove_all(folder);
    EXPECT_EQ(watch->Wait(), 1);
    EXPECT_NE(watch->Err().find("went away"), std::string::npos) << watch->Err();

    TCliRun missing = Cli({"watch", root + "/no-such-folder"});
    EXPECT_EQ(missing.Exit, 1);
    EXPECT_NE(missing.Err.find("no-such-folder"), std::string::npos);
    EXPECT_EQ(Cli({"watch", "--settle", "-1", root}).Exit, 2);
}

// A huge file without a header frame is searched to its end (minutes for a
// terabyte): meanwhile a file that arrives later is renamed, and SIGTERM
// still ends the watch.
TEST_F(CliWatchTest, ASlowFileHoldsUpNoOtherAndAStopEndsItsSearch)
{
    WriteMarker();
    auto watch = StartWatch();
    const std::string huge = InFolder("huge0001.mpd");
    int fd = ::open(huge.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t(1) << 40), 0); // sparse: takes no room
    ::close(fd);
    std::this_thread::sleep_for(1s); // its settle time passes and its search begins
    TSample sample = Sample(3, 11);
    WriteFileBytes(InFolder("late0001.mpd"), sample.bytes);
    std::string line;
    ASSERT_TRUE(watch->ReadLine(line, 60s)) << watch->Err();
    EXPECT_EQ(line, "renamed\tlate0001.mpd\t" + sample.standardName);
    ::kill(watch->Pid(), SIGTERM);
    EXPECT_EQ(watch->Wait(), 0) << watch->Err();
    EXPECT_TRUE(std::filesystem::exists(huge));
}

// The same for a huge file already in the folder when the watch starts: the
// first pass renames the other files without waiting for its search.
TEST_F(CliWatchTest, ASlowFileInTheFirstPassHoldsUpNoOther)
{
    const std::string huge = InFolder("huge0001.mpd");
    int fd = ::open(huge.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, off_t(1) << 40), 0); // sparse: takes no room
    ::close(fd);
    std::filesystem::last_write_time(huge, std::filesystem::file_time_type::clock::now() - 1h);
    WriteMarker();
    TCliProcess watch({"watch", "--settle", "0.3", folder}, state);
    std::string line;
    ASSERT_TRUE(watch.ReadLine(line, 20s)) << watch.Err();
    EXPECT_EQ(line.rfind("renamed\tmarker01.mpd\t", 0), 0u) << line;
    ::kill(watch.Pid(), SIGTERM);
    EXPECT_EQ(watch.Wait(), 0) << watch.Err();
    EXPECT_TRUE(std::filesystem::exists(huge));
}

} // namespace
