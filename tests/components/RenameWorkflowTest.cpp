// SPDX-License-Identifier: GPL-3.0-or-later
// The scan, filter and rename workflow shared by the window and quillon-cli.
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "ScanTestSupport.h"
#include "components/Journal.h"
#include "components/RenameWorkflow.h"
#include "runtime/Application.h"
#include "satellite/SampleFiles.h"
#include "satellite/SatelliteInfo.h"

namespace {

TDateTime At(int year, int month, int day, int hour, int minute)
{
    return EncodeDate(year, month, day) + EncodeTime(hour, minute, 0, 0);
}

class RenameWorkflowTest : public TScanScratch {
protected:
    void WriteMpd(const std::string& name, TDateTime when, const char* letters = "AIVH", uint16_t word = 0xD4F7)
    {
        WriteSampleMpd(InFolder(name), word, letters, when);
    }
    // What the header of a file proposes, read independently of the workflow.
    static std::string ProposedFor(const std::string& path)
    {
        uint8_t code = 0;
        TDateTime time = 0;
        std::string name, format;
        ReadSatelliteFileInfo(path, code, nullptr, time, name, format);
        return name;
    }
    // Contents of every file in the folder, as a multiset.
    std::multiset<std::string> Contents() const
    {
        std::multiset<std::string> contents;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            contents.insert(ReadText(entry.path().string()));
        return contents;
    }
    TRenameWorkflow Scanned()
    {
        TRenameWorkflow workflow;
        workflow.Folder = folder;
        workflow.RescanFolder();
        return workflow;
    }
};

TEST_F(RenameWorkflowTest, WorkedExampleKeepsExtensionCase)
{
    WriteSampleMpd(InFolder("00001234.MPD"), 0xD4F7, "AIVH", At(2005, 3, 15, 12, 30));
    TRenameWorkflow workflow = Scanned();
    ASSERT_EQ(workflow.RowCount(), 1);
    EXPECT_EQ(workflow.FileNames()[0], "00001234.MPD");
    EXPECT_EQ(workflow.ProposedNames()[0], "2005-03-15-25_AIVH");
    auto outcomes = workflow.RenameAndRescan();
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_TRUE(outcomes[0].Renamed);
    EXPECT_EQ(outcomes[0].NewName, "2005-03-15-25_AIVH.MPD");
    EXPECT_EQ(Listing(), std::vector<std::string>{"2005-03-15-25_AIVH.MPD"});
    EXPECT_EQ(workflow.RowCount(), 0);   // standard names drop out
}

TEST_F(RenameWorkflowTest, ProposedFileNameReplacesOrAppendsExtension)
{
    struct Case {
        const char* proposed;
        const char* ext;
        const char* expected;
    };
    const Case cases[] = {{"2005-03-15-25_AIVH", ".MPD", "2005-03-15-25_AIVH.MPD"},
                          {"2005-03-15-25_AIVH", "", "2005-03-15-25_AIVH"},
                          {"name.old", ".mpd", "name.mpd"},
                          {"a.b.c", ".Mpd", "a.b.Mpd"}};
    for (const Case& c : cases)
        EXPECT_EQ(TRenameWorkflow::ProposedFileName(c.proposed, c.ext), c.expected);
}

TEST_F(RenameWorkflowTest, RowsArePairedByIndexInSortedOrder)
{
    WriteDemoFolder(folder, 24);
    TRenameWorkflow workflow = Scanned();
    ASSERT_EQ(workflow.FileNames().size(), workflow.ProposedNames().size());
    ASSERT_GT(workflow.RowCount(), 5);
    for (int i = 0; i < workflow.RowCount(); ++i) {
        const std::string& file = workflow.FileNames()[static_cast<size_t>(i)];
        EXPECT_EQ(workflow.ProposedNames()[static_cast<size_t>(i)], ProposedFor(InFolder(file))) << file;
        if (i > 0) {
            EXPECT_LT(CompareText(workflow.FileNames()[static_cast<size_t>(i - 1)], file), 0);
        }
    }
}

TEST_F(RenameWorkflowTest, DemoFolderListsWhatItsBuilderExpects)
{
    auto demo = WriteDemoFolder(folder, 30);
    TRenameWorkflow workflow = Scanned();
    std::map<std::string, std::string> expected, got;
    for (const TDemoFile& f : demo)
        if (f.Listed)
            expected[f.FileName] = f.StandardName;
    for (int i = 0; i < workflow.RowCount(); ++i)
        got[workflow.FileNames()[static_cast<size_t>(i)]] = workflow.ProposedNames()[static_cast<size_t>(i)];
    EXPECT_EQ(got, expected);
}

TEST_F(RenameWorkflowTest, FilterOnTimeFormatAndName)
{
    struct Case {
        const char* name;
        TDateTime when;
        const char* letters;
        bool listed;
    };
    const Case cases[] = {
        {"a1985.mpd", At(1985, 1, 1, 0, 0), "AIVH", false},
        {"b1985.mpd", At(1985, 1, 1, 0, 1), "AIVH", true},
        {"c2019.mpd", At(2019, 12, 31, 23, 59), "AIVH", true},
        {"d2020.mpd", At(2020, 1, 1, 0, 0), "AIVH", true},
        {"e1970.mpd", At(1970, 6, 1, 12, 0), "AIVH", false},
        {"fnofmt.mpd", At(2005, 3, 15, 12, 30), "", false},
        {"2006-05-x.mpd", At(2006, 5, 1, 12, 0), "AIVH", false},   // hyphen 5th: standard already
        {"abcd-x.mpd", At(2006, 5, 1, 12, 0), "AIVH", false},
        {"x.mpd", At(2006, 5, 1, 12, 0), "AIVH", true},            // exactly 5 characters
        {"img.hrm", At(2006, 5, 1, 12, 0), "AIVH", false},          // not *.mpd
    };
    for (const Case& c : cases)
        WriteMpd(c.name, c.when, c.letters);
    TRenameWorkflow workflow = Scanned();
    std::set<std::string> listed(workflow.FileNames().begin(), workflow.FileNames().end());
    for (const Case& c : cases)
        EXPECT_EQ(listed.count(c.name) == 1, c.listed) << c.name;
}

// Files acquired lately are listed; a date in the future (a garbled year) is not.
TEST_F(RenameWorkflowTest, FilterListsRecentFilesButNotFutureOnes)
{
    const TDateTime now = Now();
    const struct {
        const char* name;
        TDateTime when;
        bool listed;
    } cases[] = {
        {"a2024.mpd", At(2024, 6, 1, 12, 0), true},
        {"b2099.mpd", At(2099, 1, 1, 0, 0), false},
        {"c_an_hour_ago.mpd", now - 1.0 / 24, true},
        {"d_in_two_days.mpd", now + 2.0, false},
    };
    for (const auto& c : cases)
        WriteMpd(c.name, c.when);
    TRenameWorkflow workflow = Scanned();
    std::set<std::string> listed(workflow.FileNames().begin(), workflow.FileNames().end());
    for (const auto& c : cases)
        EXPECT_EQ(listed.count(c.name) == 1, c.listed) << c.name;
}

TEST_F(RenameWorkflowTest, ShortAndHyphenNamesAreNeverOpened)
{
    // Reading these files raises (no header frame before the end), so a quiet
    // return proves the file was never opened.
    for (const char* name : {".mpd", "2006-x.mpd", "abcd.mpd"})
        WriteText(InFolder(name), std::string(100, 'x'));
    TRenameWorkflow workflow;
    workflow.Folder = folder;
    EXPECT_NO_THROW(workflow.FileFound(InFolder(".mpd")));
    EXPECT_NO_THROW(workflow.FileFound(InFolder("2006-x.mpd")));
    EXPECT_THROW(workflow.FileFound(InFolder("abcd.mpd")), Exception);
    EXPECT_EQ(workflow.RowCount(), 0);
}

TEST_F(RenameWorkflowTest, ReadErrorEndsScanKeepingEarlierRowsUnlessHandled)
{
    WriteMpd("a0001.mpd", At(2005, 3, 15, 12, 30));
    WriteText(InFolder("b0002.mpd"), std::string(100, 'x'));   // no header frame before the end
    WriteMpd("c0003.mpd", At(2005, 3, 16, 12, 30));
    TRenameWorkflow workflow;
    workflow.Folder = folder;
    EXPECT_THROW(workflow.RescanFolder(), Exception);
    EXPECT_EQ(workflow.FileNames(), std::vector<std::string>{"a0001.mpd"});

    std::vector<std::string> failed;
    workflow.OnFileError = [&](const std::string& path, const Exception&) {
        failed.push_back(ExtractFileName(path));
        return true;
    };
    workflow.RescanFolder();
    EXPECT_EQ(failed, std::vector<std::string>{"b0002.mpd"});
    EXPECT_EQ(workflow.FileNames(), (std::vector<std::string>{"a0001.mpd", "c0003.mpd"}));
}

TEST_F(RenameWorkflowTest, SameProposedNameFirstRenamesSecondStays)
{
    WriteMpd("a0001.mpd", At(2005, 3, 15, 12, 30));
    WriteMpd("b0002.mpd", At(2005, 3, 15, 12, 40));   // same half-hour slot
    TRenameWorkflow workflow = Scanned();
    ASSERT_EQ(workflow.RowCount(), 2);
    ASSERT_EQ(workflow.ProposedNames()[0], workflow.ProposedNames()[1]);
    const std::string firstContent = ReadText(InFolder("a0001.mpd"));
    auto outcomes = workflow.RenameAndRescan();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_TRUE(outcomes[0].Renamed);
    EXPECT_FALSE(outcomes[1].Renamed);
    EXPECT_TRUE(outcomes[1].Attempted);
    EXPECT_EQ(outcomes[1].Reason, "a file of that name exists");
    EXPECT_EQ(ReadText(InFolder("2005-03-15-25_AIVH.mpd")), firstContent);
    EXPECT_EQ(workflow.FileNames(), std::vector<std::string>{"b0002.mpd"});
}

TEST_F(RenameWorkflowTest, NoContentIsLostOverTheWholeWorkflow)
{
    WriteDemoFolder(folder, 40);
    // Collisions: copies of listed files under other names, and a file that
    // already holds a proposed name.
    TRenameWorkflow first = Scanned();
    ASSERT_GT(first.RowCount(), 3);
    std::filesystem::copy_file(InFolder(first.FileNames()[0]), InFolder("zz000000.mpd"));
    std::filesystem::copy_file(InFolder(first.FileNames()[1]), InFolder("zz000001.MPD"));
    WriteText(InFolder(TRenameWorkflow::ProposedFileName(first.ProposedNames()[2], ExtractFileExt(first.FileNames()[2]))),
              "a file that was there before");
    WriteText(InFolder("notes.txt"), "unrelated");
    const auto before = Contents();
    const size_t countBefore = Listing().size();

    TRenameWorkflow workflow = Scanned();
    auto outcomes = workflow.RenameAndRescan();
    int failed = 0;
    for (const auto& o : outcomes)
        failed += o.Renamed ? 0 : 1;
    EXPECT_GE(failed, 2);   // zz000001.MPD keeps its own extension: no collision
    EXPECT_EQ(workflow.RowCount(), failed);   // exactly the failures remain
    // A second press changes nothing more and still loses nothing.
    auto again = workflow.RenameAndRescan();
    for (const auto& o : again)
        EXPECT_FALSE(o.Renamed);
    EXPECT_EQ(Contents(), before);
    EXPECT_EQ(Listing().size(), countBefore);
}

TEST_F(RenameWorkflowTest, VanishedFileFailsAndOthersGoOn)
{
    WriteMpd("a0001.mpd", At(2005, 3, 15, 12, 30));
    WriteMpd("b0002.mpd", At(2005, 3, 16, 12, 30));
    TRenameWorkflow workflow = Scanned();
    std::filesystem::remove(InFolder("a0001.mpd"));
    auto outcomes = workflow.RenameRows();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_FALSE(outcomes[0].Renamed);
    EXPECT_FALSE(outcomes[0].Reason.empty());
    EXPECT_TRUE(outcomes[1].Renamed);
}

// A file replaced or written to after the scan read its header keeps its
// name: the name the scan proposed may not be its own. Its rescan shows the
// file's true proposal.
TEST_F(RenameWorkflowTest, FileChangedSinceTheScanIsNotRenamed)
{
    struct Case {
        const char* what;
        void (*change)(const std::string& path);
    };
    const Case cases[] = {
        {"replaced", [](const std::string& path) {
             WriteSampleMpd(path + ".new", 0xD4F7, "AIVH", At(2011, 6, 1, 10, 0));
             std::filesystem::rename(path + ".new", path);
         }},
        {"written to", [](const std::string& path) {
             std::ofstream(path, std::ios::binary | std::ios::app) << 'x';
         }},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        WriteMpd("aaaa1.mpd", At(2001, 1, 10, 20, 0));
        TRenameWorkflow workflow = Scanned();
        ASSERT_EQ(workflow.RowCount(), 1);
        const std::string scanned = workflow.ProposedNames()[0];
        c.change(InFolder("aaaa1.mpd"));
        for (const TRenameOutcome& o : {workflow.PredictRenames()[0], workflow.RenameRows()[0]}) {
            EXPECT_FALSE(o.Renamed) << c.what;
            EXPECT_EQ(o.Reason, ChangedSinceReadReason) << c.what;
        }
        EXPECT_EQ(Listing(), std::vector<std::string>{"aaaa1.mpd"}) << c.what;
        workflow.RescanFolder();
        ASSERT_EQ(workflow.RowCount(), 1) << c.what;
        EXPECT_EQ(workflow.ProposedNames()[0] != scanned, std::string(c.what) == "replaced");
        EXPECT_TRUE(workflow.RenameRows()[0].Renamed) << c.what;
    }
}

TEST_F(RenameWorkflowTest, EmptyListOnlyRescans)
{
    TRenameWorkflow workflow;
    workflow.Folder = folder;
    EXPECT_TRUE(workflow.RenameAndRescan().empty());
    WriteMpd("a0001.mpd", At(2005, 3, 15, 12, 30));
    TRenameWorkflow fresh;
    fresh.Folder = folder;
    EXPECT_TRUE(fresh.RenameAndRescan().empty());   // no rows yet: nothing renamed, then listed
    EXPECT_EQ(fresh.RowCount(), 1);
    EXPECT_EQ(Listing(), std::vector<std::string>{"a0001.mpd"});
}

TEST_F(RenameWorkflowTest, NonUtf8NamesAreHandledAsBytes)
{
    const std::string odd = "\xFF\xFEimg\t01.mpd";
    WriteMpd(odd, At(2005, 3, 15, 12, 30));
    TRenameWorkflow workflow = Scanned();
    ASSERT_EQ(workflow.FileNames(), std::vector<std::string>{odd});
    auto outcomes = workflow.RenameAndRescan();
    EXPECT_TRUE(outcomes[0].Renamed);
    EXPECT_EQ(Listing(), std::vector<std::string>{"2005-03-15-25_AIVH.mpd"});
}

// A journal that records calls and can be told to fail.
class TFakeJournal : public IRenameJournal {
public:
    void BeginBatch(const std::string& folder, const std::vector<std::pair<std::string, std::string>>& planned) override
    {
        calls.push_back("begin " + ExtractFileName(ExcludeTrailingPathDelimiter(folder)) + " " +
                        std::to_string(planned.size()));
        if (failBegin)
            throw Exception("journal full");
    }
    void RecordIntent(const std::string& oldName, const std::string& newName) override
    {
        calls.push_back("intent " + oldName + " " + newName);
        if (++intents == failIntentAt)
            throw Exception("disk full");
    }
    void RecordOutcome(const std::string& oldName, const std::string&, bool renamed, const std::string& reason) override
    {
        calls.push_back("outcome " + oldName + (renamed ? " ok" : " failed: " + reason));
    }
    void EndBatch() override { calls.push_back("end"); }

    std::vector<std::string> calls;
    bool failBegin = false;
    int failIntentAt = 0;
    int intents = 0;
};

TEST_F(RenameWorkflowTest, JournalSeesEveryStepInOrder)
{
    WriteMpd("a0001.mpd", At(2005, 3, 15, 12, 30));
    WriteMpd("b0002.mpd", At(2005, 3, 15, 12, 40));
    TRenameWorkflow workflow = Scanned();
    TFakeJournal journal;
    workflow.RenameRows(&journal);
    EXPECT_EQ(journal.calls, (std::vector<std::string>{
                                 "begin data 2", "intent a0001.mpd 2005-03-15-25_AIVH.mpd", "outcome a0001.mpd ok",
                                 "intent b0002.mpd 2005-03-15-25_AIVH.mpd",
                                 "outcome b0002.mpd failed: a file of that name exists", "end"}));
}

TEST_F(RenameWorkflowTest, JournalFailureStopsBeforeTheRenameConcerned)
{
    WriteMpd("a0001.mpd", At(2005, 3, 15, 12, 30));
    WriteMpd("b0002.mpd", At(2005, 3, 16, 12, 30));
    WriteMpd("c0003.mpd", At(2005, 3, 17, 12, 30));
    {
        TRenameWorkflow workflow = Scanned();
        TFakeJournal journal;
        journal.failBegin = true;
        auto outcomes = workflow.RenameRows(&journal);
        for (const auto& o : outcomes) {
            EXPECT_FALSE(o.Attempted);
            EXPECT_NE(o.Reason.find("journal full"), std::string::npos);
        }
        EXPECT_EQ(journal.calls.size(), 1u);   // no EndBatch for a batch that never began
        EXPECT_EQ(Listing(), (std::vector<std::string>{"a0001.mpd", "b0002.mpd", "c0003.mpd"}));
    }
    TRenameWorkflow workflow = Scanned();
    TFakeJournal journal;
    journal.failIntentAt = 2;
    auto outcomes = workflow.RenameRows(&journal);
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_TRUE(outcomes[0].Renamed);
    EXPECT_FALSE(outcomes[1].Attempted);
    EXPECT_FALSE(outcomes[2].Attempted);
    EXPECT_EQ(journal.calls.back(), "end");
    EXPECT_EQ(Listing(), (std::vector<std::string>{"2005-03-15-25_AIVH.mpd", "b0002.mpd", "c0003.mpd"}));
}

// A journal that cannot be written at the batch's start raises EJournalError
// out of RenameRows and RenameAndRescan, and nothing is renamed.
TEST_F(RenameWorkflowTest, UnwritableJournalRaisesBeforeAnyRename)
{
    WriteMpd("a0001.mpd", At(2005, 3, 15, 12, 30));
    WriteMpd("b0002.mpd", At(2005, 3, 16, 12, 30));
    WriteText(root + "/state", "a file where the journal's folder belongs");
    const auto before = Listing();
    for (bool rescan : {false, true}) {
        SCOPED_TRACE(rescan);
        TRenameWorkflow workflow = Scanned();
        TRenameJournal journal(root + "/state/quillon/journal.jsonl");
        try {
            rescan ? workflow.RenameAndRescan(&journal) : workflow.RenameRows(&journal);
            ADD_FAILURE() << "no EJournalError";
        } catch (const EJournalError& e) {
            EXPECT_NE(e.Message().find(root + "/state"), std::string::npos) << e.Message();
        }
        EXPECT_EQ(workflow.RowCount(), 2);
        EXPECT_EQ(Listing(), before);
    }
}

// What a scan shows: each file examined, each row, each failure offered to
// OnFileError, and the exception that ended the scan.
struct TScanTrace {
    std::vector<std::string> Events;
    bool operator==(const TScanTrace&) const = default;
};

TScanTrace TraceScan(const std::string& folder, int threads, bool keepGoing)
{
    TScanTrace trace;
    TRenameWorkflow workflow;
    workflow.Folder = folder;
    workflow.ReadAheadThreads = threads;
    workflow.OnFileExamined = [&](int index, const std::string& path) {
        trace.Events.push_back("examined " + std::to_string(index) + " " + ExtractFileName(path));
    };
    workflow.OnRowAdded = [&](const std::string& file, const std::string& proposed) {
        trace.Events.push_back("row " + file + " " + proposed);
    };
    workflow.OnFileError = [&](const std::string& path, const Exception& e) {
        trace.Events.push_back("error " + ExtractFileName(path) + " " + e.what());
        return keepGoing;
    };
    try {
        workflow.RescanFolder();
    } catch (const Exception& e) {
        trace.Events.push_back(std::string("ended ") + typeid(e).name() + " " + e.what());
    }
    for (int i = 0; i < workflow.RowCount(); ++i)
        trace.Events.push_back("kept " + workflow.FileNames()[static_cast<size_t>(i)]);
    return trace;
}

// A scan that reads ahead on several threads shows exactly what a scan on one
// thread shows, up to and including the row where a file cannot be read.
TEST_F(RenameWorkflowTest, ReadAheadScanMatchesOneThreadScan)
{
    WriteDemoFolder(folder, 300);
    for (const char* name : {"img10500.mpd", "img15000.mpd", "img19000.mpd"})
        WriteText(InFolder(name), std::string(1000, 'x'));   // no header frame before the end
    for (bool keepGoing : {false, true}) {
        const TScanTrace one = TraceScan(folder, 1, keepGoing);
        ASSERT_GT(one.Events.size(), 20u);
        const auto ended = std::find_if(one.Events.begin(), one.Events.end(),
                                        [](const std::string& e) { return e.rfind("ended ", 0) == 0; });
        EXPECT_EQ(ended != one.Events.end(), !keepGoing);
        for (int threads : {0, 2, 5})
            EXPECT_EQ(TraceScan(folder, threads, keepGoing), one) << threads << " threads";
    }
}

// A scan ended by a file that cannot be read cancels what is being read ahead:
// here the search through a huge file that follows it.
TEST_F(RenameWorkflowTest, ScanEndedEarlyCancelsTheReadAhead)
{
    WriteText(InFolder("a0001.mpd"), std::string(1000, 'x'));
    const std::string huge = InFolder("b0002.mpd");
    const int fd = ::open(huge.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    const bool sparse = ::ftruncate(fd, int64_t(1) << 40) == 0;
    ::close(fd);
    if (!sparse)
        GTEST_SKIP() << "file system without large sparse files";
    TRenameWorkflow workflow;
    workflow.Folder = folder;
    // The file that cannot be read first, or after a good one (the helpers
    // then run ahead into the huge file while the scan waits for the bad one).
    for (bool goodFirst : {false, true}) {
        if (goodFirst)
            WriteMpd("a0000.mpd", At(2005, 3, 15, 12, 30));
        for (int threads : {2, 3, 8}) {
            workflow.ReadAheadThreads = threads;
            EXPECT_THROW(workflow.RescanFolder(), EInOutError) << threads << " threads";
            EXPECT_EQ(workflow.RowCount(), goodFirst ? 1 : 0);
        }
    }
    std::filesystem::remove(InFolder("a0000.mpd"));

    // A stop request set from another thread ends the scan in the huge file's
    // search, and a caller that goes on after failures does not see it.
    std::filesystem::remove(InFolder("a0001.mpd"));
    ClearStopRequest();
    workflow.OnFileError = [](const std::string&, const Exception&) { return true; };
    for (int threads : {1, 2}) {
        workflow.ReadAheadThreads = threads;
        std::thread stopper([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            RequestStop();
        });
        EXPECT_THROW(workflow.RescanFolder(), EAbort) << threads;
        stopper.join();
        ClearStopRequest();
    }
}

} // namespace
