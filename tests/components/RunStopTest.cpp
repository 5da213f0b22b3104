// SPDX-License-Identifier: GPL-3.0-or-later
// One run of the rename workflow stopped alone: a scan ends before the next
// file, also in the middle of a header search through a huge file, and the
// next run with a fresh stop lists everything; the process-wide stop is left
// as it was.
#include "ScanTestSupport.h"
#include "components/RenameWorkflow.h"
#include "runtime/Application.h"
#include "satellite/SampleFiles.h"

namespace {

class RunStopTest : public TScanScratch {
protected:
    void Folder()
    {
        for (const char* name : {"a0001.mpd", "b0002.mpd", "c0003.mpd"})
            WriteSampleMpd(InFolder(name), 0xD4F7, "AIVH", 38000.5);
        // Last: 100 GB without a header, whose search would take a minute.
        std::ofstream(InFolder("zz-huge.mpd")).close();
        std::filesystem::resize_file(InFolder("zz-huge.mpd"), 100ull << 30);
    }
};

TEST_F(RunStopTest, StopsTheScanAtTheFileWhereItIsRequested)
{
    Folder();
    struct Case {
        int ReadAheadThreads;
        int StopAt;       // index of the file examined when the stop comes: its read is the last
        int RowsKept;
    } cases[] = {{1, 1, 2}, {4, 1, 2}, {1, 3, 3}, {4, 3, 3}};   // 3: the huge file's search ends at once
    for (const Case& c : cases) {
        TRunStop stop;
        TRenameWorkflow workflow;
        workflow.Folder = folder;
        workflow.ReadAheadThreads = c.ReadAheadThreads;
        workflow.Stop = &stop;
        int listed = -1;
        workflow.OnFolderListed = [&](int count) { listed = count; };
        workflow.OnFileExamined = [&](int index, const std::string&) {
            if (index == c.StopAt)
                stop.Request();
        };
        EXPECT_THROW(workflow.RescanFolder(), EAbort) << c.ReadAheadThreads << " " << c.StopAt;
        EXPECT_EQ(workflow.RowCount(), c.RowsKept);
        EXPECT_EQ(listed, 4);
        EXPECT_FALSE(StopRequested());
    }
    // A fresh run lists the three good files (the huge one is not read: no
    // stop, so it is left out by renaming it out of the mask).
    std::filesystem::rename(InFolder("zz-huge.mpd"), InFolder("zz-huge.bin"));
    TRunStop fresh;
    TRenameWorkflow workflow;
    workflow.Folder = folder;
    workflow.Stop = &fresh;
    workflow.RescanFolder();
    EXPECT_EQ(workflow.RowCount(), 3);
}

TEST_F(RunStopTest, ARunJournalRefusesTheNextRenameOnceStopped)
{
    for (const char* name : {"a0001.mpd", "b0002.mpd", "c0003.mpd"})
        WriteSampleMpd(InFolder(name), 0xD4F7, "AIVH", 38000.5 + (name[0] - 'a'));
    TRenameWorkflow workflow;
    workflow.Folder = folder;
    workflow.RescanFolder();
    ASSERT_EQ(workflow.RowCount(), 3);
    struct TNullJournal : IRenameJournal {
        void BeginBatch(const std::string&, const std::vector<std::pair<std::string, std::string>>&) override {}
        void RecordIntent(const std::string&, const std::string&) override {}
        void RecordOutcome(const std::string&, const std::string&, bool, const std::string&) override {}
        void EndBatch() override {}
    } inner;
    TRunStop stop;
    TRunJournal journal(inner, stop);
    journal.OnOutcome = [&](int done) {
        if (done == 1)
            stop.Request();
    };
    std::vector<TRenameOutcome> outcomes = workflow.RenameRows(&journal);
    ASSERT_EQ(outcomes.size(), 3u);
    EXPECT_TRUE(outcomes[0].Renamed);
    EXPECT_FALSE(outcomes[1].Attempted);
    EXPECT_EQ(outcomes[1].Reason, StoppedReason);
    EXPECT_FALSE(outcomes[2].Attempted);
}

} // namespace
