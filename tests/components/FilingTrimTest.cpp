// SPDX-License-Identifier: GPL-3.0-or-later
// The filing journal is trimmed like the rename journal: only batches
// nothing needs any more go.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "components/Filing.h"
#include "components/FilingJournal.h"
#include "tests/components/JournalTestSupport.h"

namespace {

using FilingTrimTest = TJournalScratch;

// A batch moving root/d/x to root/a/x whose file's last step is step.
std::string Batch(const std::string& root, const std::string& id, const std::string& kind, const std::string& step,
                  bool ended, const std::string& undoes = {})
{
    const bool unfile = kind == "unfile";
    const std::string from = root + (unfile ? "/a/" : "/d/") + id, to = root + (unfile ? "/d/" : "/a/") + id;
    std::string text = "{\"type\":\"batch\",\"id\":\"" + id + "\",\"time\":\"2020-01-01T00:00:00Z\",\"kind\":\"" +
                       kind + "\"" + (unfile ? ",\"undoes\":\"" + undoes + "\"" : "") + ",\"folder\":\"" + root +
                       "/d\",\"dest\":\"" + root + "/a\",\"files\":[[\"" + from + "\",\"" + to + "\"]]}\n";
    if (!step.empty())
        text += "{\"type\":\"step\",\"id\":\"" + id + "\",\"old\":\"" + from + "\",\"new\":\"" + to + "\",\"step\":\"" +
                step + "\"" + (step == "copy" ? ",\"temp\":\"" + root + "/a/.quillon-0123456789abcdef.part\"" : "") +
                "}\n";
    if (ended)
        text += "{\"type\":\"end\",\"id\":\"" + id + "\"}\n";
    return text;
}

std::set<std::string> BatchIds(const std::string& journal)
{
    std::set<std::string> ids;
    for (const TFilingBatch& batch : ReadFilingJournal(journal).Batches)
        ids.insert(batch.Head.Id);
    return ids;
}

TEST_F(FilingTrimTest, OnlyBatchesNothingNeedsGo)
{
    std::filesystem::create_directories(root + "/a");
    WriteText(root + "/a/kept", "a file the batch filed, still there");
    const std::string journal = root + "/filing.jsonl";
    WriteText(journal, Batch(root, "gone", "file", "moved", true) +       // its file is gone: closed
                           Batch(root, "kept", "file", "moved", true) +   // undo could take it back
                           Batch(root, "copying", "file", "copy", false) + // a copy in flight, to recover
                           Batch(root, "killed", "file", "intent", false) + // cut short, to recover
                           Batch(root, "undone", "file", "moved", true) +
                           Batch(root, "u1", "unfile", "moved", true, "undone")); // taken back: both go
    TJournalLimits limits;
    limits.KeepNewest = 0; // every batch is older than the age limit
    {
        TFilingJournal writer(journal, limits);
        writer.Write(NewFilingBatchRecord("file", root + "/d", root + "/a", {}), true);
    }
    std::set<std::string> ids = BatchIds(journal);
    EXPECT_EQ(ids.count("gone") + ids.count("undone") + ids.count("u1"), 0u);
    EXPECT_EQ(ids.count("kept") + ids.count("copying") + ids.count("killed"), 3u);
    EXPECT_EQ(ids.size(), 4u) << "and the new batch";
}

TEST_F(FilingTrimTest, AWriterGoesOnInTheTrimmedJournal)
{
    const std::string journal = root + "/filing.jsonl";
    std::filesystem::create_directories(root + "/a");
    TJournalLimits limits;
    limits.KeepNewest = 0;
    limits.MaxBytes = 1; // over the size limit: trimmed whenever a batch begins
    TFilingJournal first(journal, limits), second(journal, limits);
    TFilingRecord batch = NewFilingBatchRecord("file", root + "/d", root + "/a", {{root + "/d/x", root + "/a/x"}});
    first.Write(batch, true); // the journal open for appending
    std::ofstream(journal, std::ios::app) << Batch(root, "gone", "file", "moved", true);
    second.Write(NewFilingBatchRecord("file", root + "/d", root + "/a", {}), true); // trims: a new file
    TFilingRecord end;
    end.Type = TFilingRecordType::End;
    end.Id = batch.Id;
    first.Write(end, true);
    const TFilingJournalContents contents = ReadFilingJournal(journal);
    ASSERT_EQ(contents.Batches.size(), 2u) << "the closed batch was trimmed";
    EXPECT_TRUE(contents.Batches[0].Ended) << "the end record went to the journal, not to the file it replaced";
}

// An undo tells what trimming the journal met, a damaged line once.
TEST_F(FilingTrimTest, AnUndoTellsWhatTrimmingMet)
{
    std::filesystem::create_directories(root + "/a");
    std::filesystem::create_directories(root + "/d");
    WriteText(root + "/a/x", "filed");
    const std::string journal = root + "/filing.jsonl";
    WriteText(journal, Batch(root, "old", "file", "failed", true) + "damaged\n" + Batch(root, "x", "file", "moved", true));
    const TFilingUndoResult result = UndoFiling(journal, {});
    ASSERT_EQ(result.Lines.size(), 1u);
    EXPECT_TRUE(result.Lines[0].Restored) << result.Lines[0].Reason;
    const std::string damaged = "filing journal " + journal + ": line 4 is damaged and was skipped";
    EXPECT_EQ(std::count(result.Messages.begin(), result.Messages.end(), damaged), 1);
    EXPECT_TRUE(std::any_of(result.Messages.begin(), result.Messages.end(), [](const std::string& m) {
        return m.find("kept as it was in") != std::string::npos;
    })) << "the journal kept aside is told";
}

} // namespace
