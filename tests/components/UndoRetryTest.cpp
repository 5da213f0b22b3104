// SPDX-License-Identifier: GPL-3.0-or-later
// An undo whose restore of a file failed for a reason that may pass (an I/O
// error, a denied permission, a full disk) leaves the batch open: the next
// undo takes that file back. A file that is gone or was replaced does not.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "components/Journal.h"
#include "components/Undo.h"
#include "runtime/FileOps.h"
#include "tests/components/JournalTestSupport.h"

namespace {

using UndoRetryTest = TJournalScratch;

TEST_F(UndoRetryTest, AFailedRestoreIsRetriedUnlessTheFileIsGoneOrReplaced)
{
    struct Case {
        const char* reason;
        bool retried;
    };
    const Case cases[] = {{"Input/output error", true},
                          {"Permission denied", true},
                          {UndoReasonTaken, true},
                          {UndoReasonMissing, false},
                          {UndoReasonChanged, false}};
    const TNamePairs pairs{{"a.mpd", "A.mpd"}, {"b.mpd", "B.mpd"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(folder);
        for (const auto& [o, n] : pairs)
            WriteText(InFolder(o), "content of " + o);
        std::string batch;
        {
            TRenameJournal journal(journalFile);
            journal.BeginBatch(folder, pairs);
            for (const auto& [o, n] : pairs) {
                journal.RecordIntent(o, n);
                journal.RecordOutcome(o, n, RenameFile(InFolder(o), InFolder(n)), "");
            }
            journal.EndBatch();
            batch = journal.BatchId();
        }
        {
            // The undo gave a.mpd back; b.mpd's restore failed.
            TRenameJournal journal(journalFile);
            journal.SetUndoes(batch);
            journal.BeginBatch(folder, {{"B.mpd", "b.mpd"}, {"A.mpd", "a.mpd"}});
            journal.RecordIntent("B.mpd", "b.mpd");
            journal.RecordOutcome("B.mpd", "b.mpd", false, c.reason);
            journal.RecordIntent("A.mpd", "a.mpd");
            journal.RecordOutcome("A.mpd", "a.mpd", RenameFile(InFolder("A.mpd"), InFolder("a.mpd")), "");
            journal.EndBatch();
        }
        EXPECT_EQ(JournalHistory(ReadJournal(journalFile))[0].TakenBack, !c.retried);
        TUndoResult again = UndoBatch(journalFile, {});
        EXPECT_EQ(again.Found, c.retried);
        if (c.retried) {
            EXPECT_EQ(again.BatchId, batch);
            EXPECT_EQ(ReadText(InFolder("b.mpd")), "content of b.mpd");
        }
    }
}

} // namespace
