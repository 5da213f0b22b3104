// SPDX-License-Identifier: GPL-3.0-or-later
// The history of both journals, read from their ends and merged by time.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "components/Undo.h"
#include "tests/components/JournalTestSupport.h"

namespace {

using HistoryReaderTest = TJournalScratch;

std::string RenameBatch(const std::string& id, const std::string& time)
{
    return "{\"type\":\"batch\",\"id\":\"" + id + "\",\"time\":\"" + time +
           "\",\"kind\":\"rename\",\"folder\":\"/d\",\"files\":[[\"a\",\"b\"]]}\n"
           "{\"type\":\"outcome\",\"id\":\"" + id + "\",\"old\":\"a\",\"new\":\"b\",\"renamed\":true}\n"
           "{\"type\":\"end\",\"id\":\"" + id + "\"}\n";
}

std::string FilingBatch(const std::string& id, const std::string& time, const std::string& kind,
                        const std::string& undoes = {})
{
    const bool unfile = kind == "unfile";
    const std::string from = unfile ? "/a/2025/x" : "/d/x", to = unfile ? "/d/x" : "/a/2025/x";
    return "{\"type\":\"batch\",\"id\":\"" + id + "\",\"time\":\"" + time + "\",\"kind\":\"" + kind + "\"" +
           (unfile ? ",\"undoes\":\"" + undoes + "\"" : "") + ",\"folder\":\"/d\",\"dest\":\"/a\",\"files\":[[\"" +
           from + "\",\"" + to + "\"],[\"" + from + "2\",\"" + to + "2\"]]}\n"
           "{\"type\":\"step\",\"id\":\"" + id + "\",\"old\":\"" + from + "\",\"new\":\"" + to + "\",\"step\":\"moved\"}\n"
           "{\"type\":\"end\",\"id\":\"" + id + "\"}\n";
}

TEST_F(HistoryReaderTest, FilingBatchesStandAmongRenameBatchesByTime)
{
    const std::string filing = root + "/state/quillon/filing.jsonl";
    std::filesystem::create_directories(root + "/state/quillon");
    WriteText(journalFile, RenameBatch("r1", "2025-01-01T00:00:01Z") + "{damaged\n" +
                               RenameBatch("r3", "2025-01-01T00:00:03Z"));
    WriteText(filing, FilingBatch("f2", "2025-01-01T00:00:02Z", "file") + FilingBatch("f4", "2025-01-01T00:00:04Z", "file") +
                          FilingBatch("u5", "2025-01-01T00:00:05Z", "unfile", "f4"));
    THistoryReader reader(journalFile, filing);
    std::vector<std::string> rows;
    THistoryEntry entry;
    while (reader.Next(entry))
        rows.push_back(entry.Id + (entry.Filing ? " filing into " + entry.Dest : " rename") + " moved/renamed " +
                       std::to_string(entry.Renamed) + " restored " + std::to_string(entry.Restored) +
                       (entry.TakenBack ? " taken back" : ""));
    EXPECT_EQ(rows, (std::vector<std::string>{"f4 filing into /a moved/renamed 1 restored 1 taken back",
                                              "r3 rename moved/renamed 1 restored 0",
                                              "f2 filing into /a moved/renamed 1 restored 0",
                                              "r1 rename moved/renamed 1 restored 0"}));
    ASSERT_EQ(reader.Warnings().size(), 1u);
    EXPECT_NE(reader.Warnings()[0].find("line 4 is damaged"), std::string::npos) << reader.Warnings()[0];
}

TEST_F(HistoryReaderTest, AReaderLeftOpenHoldsUpNoWriter)
{
    WriteText(InFolder("a"), "x");
    std::filesystem::create_directories(root + "/state/quillon");
    WriteText(journalFile, RenameBatch("r1", "2025-01-01T00:00:01Z"));
    THistoryReader reader(journalFile);
    THistoryEntry entry;
    ASSERT_TRUE(reader.Next(entry)); // a pager that stopped reading
    ::setenv("QUILLON_JOURNAL_LOCK_TIMEOUT", "0", 1);
    TRenameJournal journal(journalFile);
    EXPECT_NO_THROW(journal.BeginBatch(folder, {{"a", "b"}}));
    journal.EndBatch();
    ::unsetenv("QUILLON_JOURNAL_LOCK_TIMEOUT");
    EXPECT_FALSE(reader.Next(entry)) << "what was appended since is not read";
}

} // namespace
