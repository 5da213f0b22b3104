// SPDX-License-Identifier: GPL-3.0-or-later
// A window's jobs on their worker thread, seen as the window sees them: by
// polling. Rows arrive in scan order, every stop is the job's own (never the
// process-wide request), a new job waits for the one under way to end, and
// the owner may go away while a job runs. Also run under ThreadSanitizer.
#include <atomic>
#include <chrono>
#include <thread>

#include "ScanTestSupport.h"
#include "components/FolderJobs.h"
#include "runtime/Application.h"
#include "satellite/SampleFiles.h"

namespace {

using TRowList = std::vector<std::pair<std::string, std::string>>;

class FolderJobsTest : public TScanScratch {
protected:
    std::string Journal() const { return root + "/journal.jsonl"; }
    // Count good files, then (last by name) 100 GB without a header, whose
    // search would take a minute.
    void FolderWithHugeFile(const std::string& in, int count)
    {
        std::filesystem::create_directories(in);
        for (int i = 0; i < count; ++i)
            WriteSampleMpd(in + "/f" + std::to_string(1000 + i) + ".mpd", 0xD4F7, "AIVH", 38000.5 + i);
        std::ofstream(in + "/zz-huge.mpd").close();
        std::filesystem::resize_file(in + "/zz-huge.mpd", 100ull << 30);
    }
    // Polls as a window's timer does until the job under way has ended; the
    // rows taken meanwhile are added to rows (from the last clearing on).
    static TFolderJobResult Settle(TFolderJobs& jobs, TRowList* rows = nullptr)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        for (;;) {
            const bool ended = jobs.Ended();
            TFolderJobRows taken = jobs.TakeRows();
            if (rows) {
                if (taken.Cleared)
                    rows->clear();
                rows->insert(rows->end(), taken.Rows.begin(), taken.Rows.end());
            }
            if (ended)
                break;
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "the job did not end";
                jobs.StopAll();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return *jobs.TakeResult();
    }
    static void WaitFor(const std::function<bool()>& Done)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!Done() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_TRUE(Done());
    }
};

TEST_F(FolderJobsTest, AScanHandsOverItsRowsInScanOrder)
{
    for (int i = 0; i < 30; ++i)
        WriteSampleMpd(InFolder("f" + std::to_string(1000 + i) + ".mpd"), 0xD4F7, "AIVH", 38000.5 + i);
    WriteText(InFolder("bad1.mpd"), std::string(100, 'x'));
    TRenameWorkflow peer; // what quillon-cli scan lists
    peer.Folder = folder;
    peer.OnFileError = [](const std::string&, const Exception&) { return true; };
    peer.RescanFolder();
    TRowList expected;
    for (int i = 0; i < peer.RowCount(); ++i)
        expected.emplace_back(peer.FileNames()[size_t(i)], peer.ProposedNames()[size_t(i)]);

    TFolderJobs jobs(Journal());
    jobs.Start(TFolderJobKind::Scan, folder, false);
    TRowList rows;
    const TFolderJobResult result = Settle(jobs, &rows);
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(result.RowCount, 30);
    EXPECT_TRUE(result.Error.empty()) << result.Error;
}

TEST_F(FolderJobsTest, StopEndsAScanInAHugeFilesSearch)
{
    FolderWithHugeFile(folder, 3);
    TFolderJobs jobs(Journal());
    jobs.Start(TFolderJobKind::Scan, folder, false);
    WaitFor([&] { return jobs.Progress().Examined == 4; });
    jobs.Stop();
    EXPECT_FALSE(StopRequested());
    TRowList rows;
    const TFolderJobResult result = Settle(jobs, &rows);
    EXPECT_TRUE(result.ScanStopped);
    EXPECT_EQ(rows.size(), 3u);
}

TEST_F(FolderJobsTest, ANewJobStartsOnlyOnceTheOneUnderWayHasStopped)
{
    FolderWithHugeFile(folder, 2);
    const std::string other = root + "/other";
    std::filesystem::create_directories(other);
    WriteSampleMpd(other + "/o0001.mpd", 0xD4F7, "AIVH", 38000.5);
    TFolderJobs jobs(Journal());
    jobs.Start(TFolderJobKind::Scan, folder, false);
    WaitFor([&] { return jobs.Progress().Examined == 3; });
    jobs.Start(TFolderJobKind::Scan, other, true);
    EXPECT_TRUE(jobs.Queued());
    TRowList rows;
    const TFolderJobResult first = Settle(jobs, &rows);
    EXPECT_EQ(first.Folder, folder);
    EXPECT_TRUE(first.ScanStopped);
    ASSERT_TRUE(jobs.StartQueued());
    const TFolderJobResult second = Settle(jobs, &rows);
    EXPECT_EQ(second.Folder, other);
    EXPECT_FALSE(second.ScanStopped);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].first, "o0001.mpd");
    EXPECT_FALSE(jobs.StartQueued());
}

TEST_F(FolderJobsTest, ARenameStoppedBetweenFilesKeepsAndJournalsWhatItDid)
{
    for (int i = 0; i < 6; ++i)
        WriteSampleMpd(InFolder("f000" + std::to_string(i) + ".mpd"), 0xD4F7, "AIVH", 38000.5 + i);
    TFolderJobs jobs(Journal());
    jobs.Start(TFolderJobKind::Scan, folder, false);
    ASSERT_EQ(Settle(jobs).RowCount, 6);
    jobs.RenameCheckpoint = [](int done) { return done == 2; };
    jobs.Start(TFolderJobKind::Rename, folder, false);
    const TFolderJobResult result = Settle(jobs);
    EXPECT_TRUE(result.RenameStopped);
    EXPECT_EQ(result.Renamed, 2);
    EXPECT_EQ(result.RowCount, 4); // listed again
    EXPECT_TRUE(result.HasUndo);
    const std::vector<THistoryEntry> history = JournalHistory(ReadJournal(Journal()));
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].Renamed, 2);
}

TEST_F(FolderJobsTest, StopEndsAWaitForTheJournalWithoutTheProcessWideStop)
{
    WriteSampleMpd(InFolder("a0001.mpd"), 0xD4F7, "AIVH", 38000.5);
    TFolderJobs jobs(Journal());
    jobs.Start(TFolderJobKind::Scan, folder, false);
    Settle(jobs);
    // A rename waits and is stopped; then one runs, and an undo of it waits
    // and is stopped: each ends without an error, nothing renamed or taken back.
    const TFolderJobKind stopped[] = {TFolderJobKind::Rename, TFolderJobKind::Undo};
    for (const TFolderJobKind kind : stopped) {
        {
            TAdvisoryLock held; // another quillon process
            ASSERT_EQ(held.Acquire(Journal() + ".lock", true), 0);
            jobs.Start(kind, folder, false);
            WaitFor([&] { return jobs.Progress().Waiting; });
            jobs.Stop();
            EXPECT_FALSE(StopRequested());
        }
        const TFolderJobResult result = Settle(jobs);
        EXPECT_TRUE(result.Error.empty()) << result.Error;
        EXPECT_TRUE(result.JournalStopped.empty());
        EXPECT_TRUE(kind == TFolderJobKind::Rename ? result.RenameStopped : result.Undo.Stopped);
        EXPECT_EQ(result.RowCount, kind == TFolderJobKind::Rename ? 1 : 0); // listed again
        if (kind == TFolderJobKind::Rename) {
            jobs.Start(TFolderJobKind::Rename, folder, false);
            ASSERT_EQ(Settle(jobs).Renamed, 1);
        }
    }
}

TEST_F(FolderJobsTest, DestroyingTheOwnerStopsTheJobAndWaitsForIt)
{
    FolderWithHugeFile(folder, 2);
    std::atomic<int> ended{0};
    auto jobs = std::make_unique<TFolderJobs>(Journal());
    jobs->OnEnded = [&] { ++ended; };
    jobs->Start(TFolderJobKind::Scan, folder, false);
    WaitFor([&] { return jobs->Progress().Examined == 3; });
    jobs.reset();
    EXPECT_EQ(ended, 1);
    EXPECT_FALSE(StopRequested());
}

} // namespace
