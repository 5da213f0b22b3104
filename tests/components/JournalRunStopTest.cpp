// SPDX-License-Identifier: GPL-3.0-or-later
// One run stopped alone, without the process-wide stop request: a wait for
// the journal's lock ends on the run's stop, and an undo stops between files,
// keeping what it restored; the next undo takes back the rest.
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "components/Journal.h"
#include "components/Undo.h"
#include "runtime/Application.h"
#include "runtime/FileOps.h"
#include "tests/components/JournalTestSupport.h"

namespace {

using JournalRunStopTest = TJournalScratch;

TEST_F(JournalRunStopTest, TheRunsStopEndsAWaitForTheJournalsLock)
{
    // Without the run's stop the wait would end on this timeout, with another message.
    ::setenv("QUILLON_JOURNAL_LOCK_TIMEOUT", "3", 1);
    std::filesystem::create_directories(std::filesystem::path(journalFile).parent_path());
    TAdvisoryLock held; // another quillon process
    ASSERT_EQ(held.Acquire(journalFile + ".lock", true), 0);
    const TJournalStop stopped = [] { return true; };
    const std::vector<std::pair<const char*, std::function<void()>>> waits = {
        {"read", [&] { ReadJournal(journalFile, {}, stopped); }},
        {"begin", [&] {
             TRenameJournal journal(journalFile);
             journal.Stopped = stopped;
             journal.BeginBatch(folder, {{"a.mpd", "A.mpd"}});
         }},
        {"undo", [&] {
             TUndoOptions options;
             options.Stopped = stopped;
             UndoBatch(journalFile, options);
         }},
    };
    for (const auto& [name, wait] : waits) {
        try {
            wait();
            ADD_FAILURE() << name << ": no error";
        } catch (const EJournalError& e) {
            EXPECT_NE(e.Message().find("stopped while waiting"), std::string::npos) << name << ": " << e.Message();
        }
        EXPECT_FALSE(StopRequested());
    }
    ::unsetenv("QUILLON_JOURNAL_LOCK_TIMEOUT");
}

TEST_F(JournalRunStopTest, ABatchUnderWayWritesItsRecordsWhateverTheStopSays)
{
    WriteText(InFolder("a.mpd"), "a");
    TRenameJournal journal(journalFile);
    journal.BeginBatch(folder, {{"a.mpd", "A.mpd"}});
    TAdvisoryLock held; // another quillon process, gone after the notice
    ASSERT_EQ(held.Acquire(journalFile + ".lock", true), 0);
    journal.Stopped = [] { return true; };
    journal.OnWaiting = [&](const std::string&) { held.Release(); };
    journal.RecordIntent("a.mpd", "A.mpd");
    journal.RecordOutcome("a.mpd", "A.mpd", RenameFile(InFolder("a.mpd"), InFolder("A.mpd")), "");
    journal.EndBatch();
    EXPECT_TRUE(journal.TakeWarnings().empty());
    const TJournalContents contents = ReadJournal(journalFile);
    ASSERT_EQ(contents.Batches.size(), 1u);
    EXPECT_TRUE(contents.Batches[0].Ended);
    EXPECT_EQ(contents.Batches[0].Count(TJournalFileState::Renamed), 1);
}

TEST_F(JournalRunStopTest, AnUndoStoppedBetweenFilesKeepsWhatItRestoredAndTheNextTakesTheRest)
{
    const TNamePairs pairs{{"a.mpd", "A.mpd"}, {"b.mpd", "B.mpd"}, {"c.mpd", "C.mpd"}, {"d.mpd", "D.mpd"}};
    std::string batch;
    {
        TRenameJournal journal(journalFile);
        journal.BeginBatch(folder, pairs);
        for (const auto& [o, n] : pairs) {
            WriteText(InFolder(o), "content of " + o);
            journal.RecordIntent(o, n);
            journal.RecordOutcome(o, n, RenameFile(InFolder(o), InFolder(n)), "");
        }
        journal.EndBatch();
        batch = journal.BatchId();
    }
    int asked = 0;
    TUndoOptions options;
    options.Stopped = [&] { return ++asked > 2; }; // asked before each file
    const TUndoResult first = UndoBatch(journalFile, options);
    EXPECT_TRUE(first.Stopped);
    ASSERT_EQ(first.Lines.size(), 2u); // the last renamed first
    EXPECT_EQ(first.Lines[0].OldName, "d.mpd");
    EXPECT_EQ(first.Lines[1].OldName, "c.mpd");
    EXPECT_EQ(ReadText(InFolder("c.mpd")), "content of c.mpd");
    EXPECT_EQ(ReadText(InFolder("A.mpd")), "content of a.mpd");
    EXPECT_FALSE(JournalHistory(ReadJournal(journalFile))[0].TakenBack);

    const TUndoResult second = UndoBatch(journalFile, {});
    EXPECT_FALSE(second.Stopped);
    EXPECT_EQ(second.BatchId, batch);
    EXPECT_EQ(second.Lines.size(), 2u);
    EXPECT_EQ(second.Skipped(), 0);
    for (const auto& [o, n] : pairs)
        EXPECT_EQ(ReadText(InFolder(o)), "content of " + o);
    const std::vector<THistoryEntry> history = JournalHistory(ReadJournal(journalFile));
    EXPECT_EQ(history[0].Restored, 4);
    EXPECT_TRUE(history[0].TakenBack);
}

} // namespace
