// SPDX-License-Identifier: GPL-3.0-or-later
// Undo and history over a real folder: restore order, never replacing,
// batches killed part-way, undos killed part-way, and the history's counts.
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "components/Journal.h"
#include "components/Undo.h"
#include "runtime/Exceptions.h"
#include "runtime/FileOps.h"
#include "tests/components/JournalTestSupport.h"

namespace {

class JournalUndoTest : public TJournalScratch {
protected:
    // Writes each old file with content naming it.
    void MakeFiles(const TNamePairs& pairs)
    {
        for (const auto& p : pairs)
            WriteText(InFolder(p.first), "content of " + p.first);
    }
    // A rename batch as the rename workflow runs it. With workedOn >= 0 the
    // process "dies" after renaming that many files: the renames happen but
    // nothing after the plan reaches the journal.
    std::string RunBatch(const TNamePairs& pairs, int workedOn = -1, const std::string& in = "")
    {
        std::string where = in.empty() ? folder : in;
        TRenameJournal journal(journalFile, limits);
        journal.BeginBatch(where, pairs);
        int done = 0;
        for (const auto& [o, n] : pairs) {
            if (workedOn >= 0) {
                if (done++ == workedOn)
                    break;
                RenameFile(where + "/" + o, where + "/" + n);
                continue;
            }
            journal.RecordIntent(o, n);
            int error = 0;
            bool ok = RenameFile(where + "/" + o, where + "/" + n, &error);
            journal.RecordOutcome(o, n, ok, ok ? "" : "File exists");
        }
        if (workedOn < 0)
            journal.EndBatch();
        return journal.BatchId();
    }
    std::vector<std::string> Lines(const TUndoResult& result)
    {
        std::vector<std::string> lines;
        for (const TUndoLine& l : result.Lines) {
            const char* action = l.Action == TUndoAction::Restored       ? "restored"
                                 : l.Action == TUndoAction::WouldRestore ? "would-restore"
                                                                         : "skipped";
            lines.push_back(std::string(action) + " " + l.NewName + " " + l.OldName +
                            (l.Reason.empty() ? "" : " (" + l.Reason + ")"));
        }
        return lines;
    }
    // An empty folder and no journal, then the abc batch run.
    void StartOver()
    {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        std::filesystem::remove_all(std::filesystem::path(journalFile).parent_path());
        MakeFiles(abc);
        RunBatch(abc);
    }
    bool Holds(const std::string& name, const std::string& content)
    {
        return std::filesystem::exists(InFolder(name)) && ReadText(InFolder(name)) == content;
    }

    const TNamePairs abc{{"a.mpd", "A.mpd"}, {"b.mpd", "B.mpd"}, {"c.mpd", "C.mpd"}};

public:
    TJournalLimits limits; // of every journal a test writes
};

TEST_F(JournalUndoTest, RestoresLastRenamedFirst)
{
    MakeFiles(abc);
    RunBatch(abc);
    TUndoResult result = UndoBatch(journalFile, {});
    ASSERT_TRUE(result.Found);
    EXPECT_EQ(Lines(result), (std::vector<std::string>{"restored C.mpd c.mpd", "restored B.mpd b.mpd",
                                                        "restored A.mpd a.mpd"}));
    for (const auto& p : abc) {
        EXPECT_TRUE(Holds(p.first, "content of " + p.first));
        EXPECT_FALSE(std::filesystem::exists(InFolder(p.second)));
    }
}

// Over its size limit, the journal is trimmed of what nothing can be taken
// back from any more, and of nothing else.
TEST_F(JournalUndoTest, TrimmingKeepsEveryBatchThatCanStillBeUndone)
{
    const std::string elsewhere = root + "/other";
    struct Case {
        const char* what;
        void (*between)(JournalUndoTest& t); // after the abc batch
        const char* firstUndo;   // its lines, joined
        const char* secondUndo;  // after the obstacle (b.mpd) is gone
    } cases[] = {
        {"a batch in another folder", [](JournalUndoTest&) {},
         "restored C.mpd c.mpd|restored B.mpd b.mpd|restored A.mpd a.mpd|", ""},
        {"an undo that left a file for a taken name", [](JournalUndoTest& t) {
             t.WriteText(t.InFolder("b.mpd"), "newcomer");
             UndoBatch(t.journalFile, {.Limits = t.limits});
         },
         "", "restored B.mpd b.mpd|"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        limits = {.MaxBytes = 1, .KeepNewest = 0};
        StartOver();
        std::filesystem::remove_all(elsewhere);
        std::filesystem::create_directories(elsewhere);
        WriteText(elsewhere + "/x.mpd", "x");
        c.between(*this);
        RunBatch({{"x.mpd", "X.mpd"}}, -1, elsewhere);
        RenameFile(elsewhere + "/X.mpd", elsewhere + "/x.mpd");
        const auto joined = [&](const TUndoResult& r) {
            std::string text;
            for (const std::string& line : Lines(r))
                text += line + "|";
            return text;
        };
        EXPECT_EQ(ReadJournalHistory(journalFile).Entries.size(), 2u);
        TUndoOptions options{.Folder = folder, .Limits = limits};
        if (*c.firstUndo)
            EXPECT_EQ(joined(UndoBatch(journalFile, options)), c.firstUndo);
        if (*c.secondUndo) {
            std::filesystem::remove(InFolder("b.mpd"));
            EXPECT_EQ(joined(UndoBatch(journalFile, options)), c.secondUndo);
        }
        for (const auto& p : abc)
            EXPECT_TRUE(Holds(p.first, "content of " + p.first)) << p.first;
        // Taken back for good, and newer batches beyond the limit: now it goes.
        RunBatch({{"x.mpd", "X.mpd"}}, -1, elsewhere);
        EXPECT_EQ(ReadJournalHistory(journalFile).Entries.size(), 1u);
    }
}

// The newest batches stay whatever the limits, taken back or not.
TEST_F(JournalUndoTest, TrimmingKeepsTheNewestBatches)
{
    for (size_t keep : {0u, 1u, 3u}) {
        limits = {.MaxBytes = 1, .KeepNewest = keep};
        StartOver();
        UndoBatch(journalFile, {.Limits = limits});
        MakeFiles({{"d.mpd", "D.mpd"}});
        RunBatch({{"d.mpd", "D.mpd"}});
        UndoBatch(journalFile, {.Limits = limits});
        RunBatch({{"d.mpd", "D.mpd"}});
        // The batches there when the last one started, and the last one.
        EXPECT_EQ(ReadJournalHistory(journalFile).Entries.size(), std::min<size_t>(keep + 1, 3)) << keep;
    }
}

// What the watch leaves alone: the files an undo gave back their names, until
// they change, and the names an undo under way is giving back.
TEST_F(JournalUndoTest, RestoredFilesAreThoseAnUndoGaveBackUntilTheyChange)
{
    MakeFiles(abc);
    RunBatch(abc);
    TRestoredFiles restored(journalFile, folder + "/");
    TRestoredFiles elsewhere(journalFile, root);
    EXPECT_FALSE(restored.IsRestored("a.mpd"));
    UndoBatch(journalFile, {});
    for (const char* name : {"a.mpd", "b.mpd", "c.mpd"}) {
        EXPECT_TRUE(restored.IsRestored(name)) << name;
        EXPECT_FALSE(elsewhere.IsRestored(name)) << name;
    }
    WriteText(InFolder("b.mpd"), "written again");
    EXPECT_FALSE(restored.IsRestored("b.mpd"));
    EXPECT_FALSE(restored.IsRestored("A.mpd"));

    // An undo whose outcomes are not in the journal yet, then its end.
    TJournalRecord undo;
    undo.Type = TJournalRecordType::Batch;
    undo.Id = "u2";
    undo.Time = "2026-01-01T00:00:00Z";
    undo.Kind = "undo";
    undo.Undoes = "x";
    undo.Folder = NormalizeJournalFolder(folder);
    undo.Files = {{"D.mpd", "d.mpd"}};
    const std::string before = ReadText(journalFile);
    WriteText(journalFile, before + FormatJournalLine(undo) + "\n");
    EXPECT_TRUE(restored.IsRestored("d.mpd"));
    WriteText(journalFile, before + FormatJournalLine(undo) + "\n{\"type\":\"end\",\"id\":\"u2\"}\n");
    EXPECT_FALSE(restored.IsRestored("d.mpd"));
    EXPECT_TRUE(restored.IsRestored("a.mpd"));
}

struct TObstacleCase {
    const char* name;
    void (*obstruct)(JournalUndoTest& t);
    const char* expectedB; // the line for b.mpd
};

TEST_F(JournalUndoTest, NeverReplacesAndReportsWhatItSkips)
{
    const TObstacleCase cases[] = {
        {"old name taken again", [](JournalUndoTest& t) { t.WriteText(t.InFolder("b.mpd"), "newcomer"); },
         "skipped B.mpd b.mpd (old name taken)"},
        {"file gone", [](JournalUndoTest& t) { std::filesystem::remove(t.InFolder("B.mpd")); },
         "skipped B.mpd b.mpd (no longer there)"},
        {"old name taken by a folder", [](JournalUndoTest& t) { std::filesystem::create_directory(t.InFolder("b.mpd")); },
         "skipped B.mpd b.mpd (old name taken)"},
    };
    for (const TObstacleCase& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        c.obstruct(*this);
        TUndoResult result = UndoBatch(journalFile, {});
        EXPECT_EQ(Lines(result), (std::vector<std::string>{"restored C.mpd c.mpd", c.expectedB,
                                                            "restored A.mpd a.mpd"}));
        EXPECT_EQ(result.Skipped(), 1);
        EXPECT_TRUE(Holds("a.mpd", "content of a.mpd"));
        EXPECT_TRUE(Holds("c.mpd", "content of c.mpd"));
        if (std::string(c.name) == "old name taken again") {
            EXPECT_TRUE(Holds("b.mpd", "newcomer"));
            EXPECT_TRUE(Holds("B.mpd", "content of b.mpd"));
        }
    }
}

TEST_F(JournalUndoTest, ARaceForTheOldNameStillNeverReplaces)
{
    // The old name is taken between the check and the rename: the rename
    // itself refuses.
    MakeFiles({{"a.mpd", "A.mpd"}});
    RunBatch({{"a.mpd", "A.mpd"}});
    WriteText(InFolder("a.mpd"), "raced in");
    int error = 0;
    EXPECT_FALSE(RenameFile(InFolder("A.mpd"), InFolder("a.mpd"), &error));
    EXPECT_EQ(error, EEXIST);
    EXPECT_TRUE(Holds("a.mpd", "raced in"));
}

TEST_F(JournalUndoTest, ADryRunTouchesAndMarksNothing)
{
    MakeFiles(abc);
    RunBatch(abc);
    std::string before = ReadText(journalFile);
    TUndoOptions dry;
    dry.DryRun = true;
    TUndoResult result = UndoBatch(journalFile, dry);
    EXPECT_EQ(Lines(result), (std::vector<std::string>{"would-restore C.mpd c.mpd", "would-restore B.mpd b.mpd",
                                                        "would-restore A.mpd a.mpd"}));
    EXPECT_TRUE(result.UndoBatchId.empty());
    EXPECT_EQ(ReadText(journalFile), before);
    EXPECT_TRUE(Holds("A.mpd", "content of a.mpd"));
    EXPECT_EQ(UndoBatch(journalFile, {}).Lines.size(), 3u);
}

TEST_F(JournalUndoTest, EachUndoGoesFurtherBackAndNoBatchIsTakenBackTwice)
{
    MakeFiles({{"a.mpd", "A.mpd"}, {"b.mpd", "B.mpd"}});
    std::string first = RunBatch({{"a.mpd", "A.mpd"}});
    std::string second = RunBatch({{"b.mpd", "B.mpd"}});

    TUndoResult undo1 = UndoBatch(journalFile, {});
    EXPECT_EQ(undo1.BatchId, second);
    TUndoResult undo2 = UndoBatch(journalFile, {});
    EXPECT_EQ(undo2.BatchId, first);
    EXPECT_FALSE(UndoBatch(journalFile, {}).Found);

    struct {
        std::string id;
        const char* words;
    } refused[] = {{second, "already been taken back"}, {undo1.UndoBatchId, "is an undo"}, {"nope", "no batch nope"}};
    for (const auto& r : refused) {
        TUndoOptions options;
        options.BatchId = r.id;
        try {
            UndoBatch(journalFile, options);
            ADD_FAILURE() << r.id;
        } catch (const Exception& e) {
            EXPECT_NE(std::string(e.what()).find(r.words), std::string::npos) << e.what();
        }
    }
}

TEST_F(JournalUndoTest, AFolderPicksItsOwnNewestBatchHoweverItIsWritten)
{
    std::string other = root + "/other";
    std::filesystem::create_directories(other);
    MakeFiles({{"a.mpd", "A.mpd"}});
    WriteText(other + "/x.mpd", "x");
    std::string mine = RunBatch({{"a.mpd", "A.mpd"}});
    RunBatch({{"x.mpd", "X.mpd"}}, -1, other);

    std::filesystem::current_path(root);
    for (const char* written : {"data/", "./data", "data"}) {
        TUndoOptions options;
        options.Folder = written;
        options.DryRun = true;
        EXPECT_EQ(UndoBatch(journalFile, options).BatchId, mine) << written;
    }
    std::filesystem::current_path("/");
}

TEST_F(JournalUndoTest, ABatchKilledPartWayIsUndoneFromThePlanAndTheDisk)
{
    TNamePairs five{{"a.mpd", "A.mpd"}, {"b.mpd", "B.mpd"}, {"c.mpd", "C.mpd"}, {"d.mpd", "D.mpd"}, {"e.mpd", "E.mpd"}};
    MakeFiles(five);
    RunBatch(five, 3);
    TUndoResult result = UndoBatch(journalFile, {});
    EXPECT_EQ(Lines(result), (std::vector<std::string>{"restored C.mpd c.mpd", "restored B.mpd b.mpd",
                                                        "restored A.mpd a.mpd"}));
    for (const auto& p : five) {
        EXPECT_TRUE(Holds(p.first, "content of " + p.first));
        EXPECT_FALSE(std::filesystem::exists(InFolder(p.second)));
    }
}

TEST_F(JournalUndoTest, AnUndoKilledPartWayIsCompletedByTheNext)
{
    TNamePairs four{{"a.mpd", "A.mpd"}, {"b.mpd", "B.mpd"}, {"c.mpd", "C.mpd"}, {"d.mpd", "D.mpd"}};
    MakeFiles(four);
    std::string batch = RunBatch(four);
    {
        // The killed undo: its plan reached the journal, two restores happened.
        TRenameJournal journal(journalFile);
        journal.SetUndoes(batch);
        journal.BeginBatch(folder, {{"D.mpd", "d.mpd"}, {"C.mpd", "c.mpd"}, {"B.mpd", "b.mpd"}, {"A.mpd", "a.mpd"}});
        RenameFile(InFolder("D.mpd"), InFolder("d.mpd"));
        RenameFile(InFolder("C.mpd"), InFolder("c.mpd"));
    }
    TUndoResult result = UndoBatch(journalFile, {});
    EXPECT_EQ(result.BatchId, batch);
    EXPECT_EQ(Lines(result), (std::vector<std::string>{"restored B.mpd b.mpd", "restored A.mpd a.mpd"}));
    for (const auto& p : four)
        EXPECT_TRUE(Holds(p.first, "content of " + p.first));

    auto history = JournalHistory(ReadJournal(journalFile));
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].Restored, 4);
    EXPECT_TRUE(history[0].TakenBack);
    EXPECT_FALSE(UndoBatch(journalFile, {}).Found);
}

TEST_F(JournalUndoTest, HistoryCountsNewestFirst)
{
    MakeFiles({{"a.mpd", "A.mpd"}, {"b.mpd", "B.mpd"}, {"c.mpd", "C.mpd"}});
    WriteText(InFolder("C.mpd"), "already there");
    std::string first = RunBatch({{"a.mpd", "A.mpd"}, {"b.mpd", "B.mpd"}, {"c.mpd", "C.mpd"}});
    UndoBatch(journalFile, {});
    MakeFiles({{"d.mpd", "D.mpd"}});
    std::string second = RunBatch({{"d.mpd", "D.mpd"}});

    auto history = JournalHistory(ReadJournal(journalFile));
    ASSERT_EQ(history.size(), 2u); // the undo is not a batch of its own in the history
    EXPECT_EQ(history[0].Id, second);
    EXPECT_EQ(history[0].Renamed, 1);
    EXPECT_EQ(history[0].Restored, 0);
    EXPECT_EQ(history[1].Id, first);
    EXPECT_EQ(history[1].Renamed, 2); // kept after the undo
    EXPECT_EQ(history[1].Failed, 1);  // its target was taken
    EXPECT_EQ(history[1].Restored, 2);
    EXPECT_TRUE(history[1].TakenBack);
    EXPECT_EQ(history[1].Folder, NormalizeJournalFolder(folder));
}

TEST_F(JournalUndoTest, ABatchWhereNothingWasRenamedIsPassedOver)
{
    MakeFiles({{"a.mpd", "A.mpd"}, {"b.mpd", "B.mpd"}});
    WriteText(InFolder("B.mpd"), "taken");
    std::string first = RunBatch({{"a.mpd", "A.mpd"}});
    RunBatch({{"b.mpd", "B.mpd"}});
    EXPECT_EQ(UndoBatch(journalFile, {}).BatchId, first);
}

TEST_F(JournalUndoTest, AnUndoThatCannotBeJournaledRenamesNothing)
{
    MakeFiles({{"a.mpd", "A.mpd"}});
    RunBatch({{"a.mpd", "A.mpd"}});
    // A folder where the lock file belongs: the journal reads but cannot be
    // written, whoever runs the test.
    std::filesystem::remove(journalFile + ".lock");
    std::filesystem::create_directory(journalFile + ".lock");
    EXPECT_EQ(UndoBatch(journalFile, {.DryRun = true}).Lines.size(), 1u);
    EXPECT_THROW(UndoBatch(journalFile, {}), Exception);
    EXPECT_TRUE(Holds("A.mpd", "content of a.mpd"));
}

// Undo takes back only the file the batch renamed: one that replaced it, or
// the renamed file changed since, is skipped with a reason; a journal written
// before identities were kept still restores by name.
TEST_F(JournalUndoTest, OnlyTheFileTheBatchRenamedIsTakenBack)
{
    const std::string changed = "skipped B.mpd b.mpd (replaced or changed since the rename)";
    const struct {
        const char* name;
        std::function<void(JournalUndoTest&)> alter;
        std::string expectedB;
    } cases[] = {
        {"a stranger took the new name",
         [](JournalUndoTest& t) {
             std::filesystem::remove(t.InFolder("B.mpd"));
             t.WriteText(t.InFolder("B.mpd"), "other\n");
         },
         changed},
        {"the renamed file was rewritten", [](JournalUndoTest& t) { t.WriteText(t.InFolder("B.mpd"), "rewritten"); },
         changed},
        {"a journal without identities",
         [](JournalUndoTest& t) {
             std::string text = t.ReadText(t.journalFile);
             t.WriteText(t.journalFile, std::regex_replace(text, std::regex(R"(,"file":\{[^}]*\})"), ""));
         },
         "restored B.mpd b.mpd"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartOver();
        const std::string original = ReadText(InFolder("B.mpd"));
        c.alter(*this);
        const std::string now = ReadText(InFolder("B.mpd"));
        TUndoResult result = UndoBatch(journalFile, {});
        EXPECT_EQ(Lines(result), (std::vector<std::string>{"restored C.mpd c.mpd", c.expectedB, "restored A.mpd a.mpd"}));
        if (c.expectedB == changed) {
            EXPECT_TRUE(Holds("B.mpd", now));
            EXPECT_FALSE(std::filesystem::exists(InFolder("b.mpd")));
        } else {
            EXPECT_TRUE(Holds("b.mpd", original));
        }
    }
}

// A file left because its old name was taken keeps its batch open: once the
// obstacle is gone, the next undo of the batch takes that file back, and then
// the batch counts as taken back.
TEST_F(JournalUndoTest, AFileLeftForATakenOldNameIsTakenBackLater)
{
    MakeFiles(abc);
    const std::string batch = RunBatch(abc);
    WriteText(InFolder("b.mpd"), "newcomer");
    TUndoResult first = UndoBatch(journalFile, {});
    EXPECT_EQ(Lines(first), (std::vector<std::string>{"restored C.mpd c.mpd", "skipped B.mpd b.mpd (old name taken)",
                                                       "restored A.mpd a.mpd"}));
    EXPECT_FALSE(JournalHistory(ReadJournal(journalFile))[0].TakenBack);

    std::filesystem::remove(InFolder("b.mpd"));
    TUndoResult second = UndoBatch(journalFile, {});
    EXPECT_EQ(second.BatchId, batch);
    EXPECT_EQ(Lines(second), (std::vector<std::string>{"restored B.mpd b.mpd"}));
    for (const auto& p : abc)
        EXPECT_TRUE(Holds(p.first, "content of " + p.first));
    auto history = JournalHistory(ReadJournal(journalFile));
    EXPECT_TRUE(history[0].TakenBack);
    EXPECT_EQ(history[0].Restored, 3);
    EXPECT_FALSE(UndoBatch(journalFile, {}).Found);
}

// A batch killed part-way and then taken back: the history's counts come from
// the same records and agree (never more restored than renamed).
TEST_F(JournalUndoTest, HistoryCountsOfABatchKilledPartWayAgree)
{
    MakeFiles(abc);
    RunBatch(abc, 2);
    ASSERT_EQ(UndoBatch(journalFile, {}).Lines.size(), 2u);
    auto history = JournalHistory(ReadJournal(journalFile));
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0].Restored, 2);
    EXPECT_EQ(history[0].Renamed, 2);
}

} // namespace
