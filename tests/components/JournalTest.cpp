// SPDX-License-Identifier: GPL-3.0-or-later
// The journal's line format, its reading back, locking, pruning and damage handling.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "components/Journal.h"
#include "runtime/Exceptions.h"
#include "tests/components/JournalTestSupport.h"

namespace {

struct TLineCase {
    const char* name;
    const char* line;
    bool valid;
};

const TLineCase lineCases[] = {
    {"batch", R"({"type":"batch","id":"b1","time":"2025-03-15T12:30:00Z","kind":"rename","folder":"/d","files":[["a.mpd","2005-03-15-25_AIVH.mpd"]]})", true},
    {"undo batch", R"({"type":"batch","id":"u1","time":"2025-03-15T12:30:00Z","kind":"undo","undoes":"b1","folder":"/d","files":[]})", true},
    {"intent", R"({"type":"intent","id":"b1","old":"a.mpd","new":"b.mpd"})", true},
    {"outcome", R"({"type":"outcome","id":"b1","old":"a.mpd","new":"b.mpd","renamed":false,"reason":"File exists"})", true},
    {"end", R"({"type":"end","id":"b1"})", true},
    {"hex name", R"({"type":"intent","id":"b1","old":{"hex":"61ff"},"new":"b"})", true},
    {"not json", "hello", false},
    {"cut off", R"({"type":"intent","id":"b1","old":"a.m)", false},
    {"array", R"([1,2])", false},
    {"no id", R"({"type":"end"})", false},
    {"empty id", R"({"type":"end","id":""})", false},
    {"unknown type", R"({"type":"redo","id":"b1"})", false},
    {"id not string", R"({"type":"end","id":7})", false},
    {"name with folder", R"({"type":"intent","id":"b1","old":"../etc/passwd","new":"b"})", false},
    {"dot dot name", R"({"type":"intent","id":"b1","old":"..","new":"b"})", false},
    {"empty name", R"({"type":"intent","id":"b1","old":"","new":"b"})", false},
    {"odd hex", R"({"type":"intent","id":"b1","old":{"hex":"6"},"new":"b"})", false},
    {"bad hex digit", R"({"type":"intent","id":"b1","old":{"hex":"zz"},"new":"b"})", false},
    {"hex slash", R"({"type":"intent","id":"b1","old":{"hex":"2f"},"new":"b"})", false},
    {"outcome without flag", R"({"type":"outcome","id":"b1","old":"a","new":"b"})", false},
    {"relative folder", R"({"type":"batch","id":"b1","time":"2025-03-15T12:30:00Z","kind":"rename","folder":"d","files":[]})", false},
    {"bad time", R"({"type":"batch","id":"b1","time":"2025-13-15T12:30:00Z","kind":"rename","folder":"/d","files":[]})", false},
    {"bad kind", R"({"type":"batch","id":"b1","time":"2025-03-15T12:30:00Z","kind":"move","folder":"/d","files":[]})", false},
    {"undo without target", R"({"type":"batch","id":"b1","time":"2025-03-15T12:30:00Z","kind":"undo","folder":"/d","files":[]})", false},
    {"file not a pair", R"({"type":"batch","id":"b1","time":"2025-03-15T12:30:00Z","kind":"rename","folder":"/d","files":[["a"]]})", false},
};

class JournalLineTest : public ::testing::TestWithParam<TLineCase> {};

TEST_P(JournalLineTest, AcceptsOnlyWellFormedRecords)
{
    EXPECT_EQ(ParseJournalLine(GetParam().line).has_value(), GetParam().valid) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(Lines, JournalLineTest, ::testing::ValuesIn(lineCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
                             return name;
                         });

TEST(JournalLine, NamesOfAnyBytesRoundTrip)
{
    const std::string names[] = {"plain.mpd", "tab\there", "new\nline", std::string("\xff\xfe.mpd"),
                                 "caf\xc3\xa9.MPD", "quote\"back\\slash"};
    for (const std::string& name : names) {
        TJournalRecord record;
        record.Type = TJournalRecordType::Outcome;
        record.Id = "b1";
        record.OldName = name;
        record.NewName = "2005-03-15-25_AIVH.mpd";
        record.Renamed = true;
        std::string line = FormatJournalLine(record);
        EXPECT_EQ(line.find('\n'), std::string::npos);
        auto back = ParseJournalLine(line);
        ASSERT_TRUE(back) << line;
        EXPECT_EQ(back->OldName, name);
        EXPECT_TRUE(back->Renamed);
    }
}

TEST(JournalTime, RoundTripsAndRefusesMalformedText)
{
    int64_t t = 0;
    ASSERT_TRUE(ParseJournalTime("2025-03-15T12:30:05Z", t));
    EXPECT_EQ(FormatJournalTime(t), "2025-03-15T12:30:05Z");
    for (const char* bad : {"2025-03-15 12:30:05Z", "2025-03-15T12:30:05", "2025-3-15T12:30:05Z", "x"})
        EXPECT_FALSE(ParseJournalTime(bad, t)) << bad;
}

using JournalFileTest = TJournalScratch;

TEST_F(JournalFileTest, ABatchReadsBackWithEachFileState)
{
    TRenameJournal journal(journalFile);
    journal.BeginBatch(folder + "/", {{"a.mpd", "A.mpd"}, {"b.mpd", "B.mpd"}, {"c.mpd", "C.mpd"}, {"d.mpd", "D.mpd"}});
    journal.RecordIntent("b.mpd", "B.mpd");
    journal.RecordOutcome("b.mpd", "B.mpd", true, "");
    journal.RecordIntent("a.mpd", "A.mpd");
    journal.RecordOutcome("a.mpd", "A.mpd", false, "File exists");
    journal.RecordIntent("c.mpd", "C.mpd");
    journal.EndBatch();

    TJournalContents contents = ReadJournal(journalFile);
    EXPECT_TRUE(contents.DamagedLines.empty());
    ASSERT_EQ(contents.Batches.size(), 1u);
    const TJournalBatch& batch = contents.Batches[0];
    EXPECT_EQ(batch.Id, journal.BatchId());
    EXPECT_EQ(batch.Folder, NormalizeJournalFolder(folder));
    EXPECT_EQ(batch.Kind, "rename");
    EXPECT_TRUE(batch.Ended);
    // Worked order first, the file only planned last.
    ASSERT_EQ(batch.Files.size(), 4u);
    EXPECT_EQ(batch.Files[0].OldName, "b.mpd");
    EXPECT_EQ(batch.Files[0].State, TJournalFileState::Renamed);
    EXPECT_EQ(batch.Files[1].OldName, "a.mpd");
    EXPECT_EQ(batch.Files[1].State, TJournalFileState::Failed);
    EXPECT_EQ(batch.Files[1].Reason, "File exists");
    EXPECT_EQ(batch.Files[2].State, TJournalFileState::Attempted);
    EXPECT_EQ(batch.Files[3].OldName, "d.mpd");
    EXPECT_EQ(batch.Files[3].State, TJournalFileState::Planned);
}

TEST_F(JournalFileTest, ThePlanIsOnDiskWhenBeginBatchReturns)
{
    TRenameJournal journal(journalFile);
    journal.BeginBatch(folder, {{"a.mpd", "A.mpd"}});
    journal.RecordIntent("a.mpd", "A.mpd");
    // Read while the batch is still open, as after a kill.
    TJournalContents contents = ReadJournal(journalFile);
    ASSERT_EQ(contents.Batches.size(), 1u);
    EXPECT_FALSE(contents.Batches[0].Ended);
    ASSERT_EQ(contents.Batches[0].Files.size(), 1u);
    EXPECT_EQ(contents.Batches[0].Files[0].NewName, "A.mpd");
}

TEST_F(JournalFileTest, AnEmptyPlanRecordsNothing)
{
    TRenameJournal journal(journalFile);
    journal.BeginBatch(folder, {});
    journal.RecordOutcome("a", "b", true, "");
    journal.EndBatch();
    EXPECT_TRUE(journal.BatchId().empty());
    EXPECT_TRUE(ReadJournal(journalFile).Batches.empty());
}

TEST_F(JournalFileTest, AMissingJournalReadsEmpty)
{
    TJournalContents contents = ReadJournal(journalFile);
    EXPECT_TRUE(contents.Batches.empty());
    EXPECT_TRUE(contents.DamagedLines.empty());
}

TEST_F(JournalFileTest, ACutOffLastLineDoesNotSwallowTheNextRecord)
{
    {
        TRenameJournal journal(journalFile);
        journal.BeginBatch(folder, {{"a.mpd", "A.mpd"}});
        journal.EndBatch();
    }
    std::string text = ReadText(journalFile);
    WriteText(journalFile, text + R"({"type":"intent","id":"x","ol)");
    TRenameJournal journal(journalFile);
    journal.BeginBatch(folder, {{"b.mpd", "B.mpd"}});
    journal.EndBatch();

    TJournalContents contents = ReadJournal(journalFile);
    ASSERT_EQ(contents.Batches.size(), 2u);
    EXPECT_EQ(contents.Batches[1].Id, journal.BatchId());
    EXPECT_TRUE(contents.Batches[1].Ended);
    EXPECT_EQ(contents.DamagedLines, std::vector<size_t>{3});
}

TEST_F(JournalFileTest, DamagedLinesAreReportedAndTheRestIsUsed)
{
    {
        TRenameJournal journal(journalFile);
        journal.BeginBatch(folder, {{"a.mpd", "A.mpd"}});
        journal.RecordOutcome("a.mpd", "A.mpd", true, "");
        journal.EndBatch();
    }
    std::string text = ReadText(journalFile);
    WriteText(journalFile, "not json at all\n" + text + "{\"type\":\"end\"}\n\n");
    TJournalContents contents = ReadJournal(journalFile);
    ASSERT_EQ(contents.Batches.size(), 1u);
    EXPECT_EQ(contents.Batches[0].Files[0].State, TJournalFileState::Renamed);
    EXPECT_EQ(contents.DamagedLines, (std::vector<size_t>{1, 5}));
    auto messages = DamagedLineMessages(journalFile, contents);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_NE(messages[0].find(journalFile), std::string::npos);
    EXPECT_NE(messages[0].find("line 1"), std::string::npos);
}

struct TUnwritableCase {
    const char* name;
    void (*breakIt)(const std::string& root, const std::string& journalFile);
};

const TUnwritableCase unwritableCases[] = {
    {"state folder is a file",
     [](const std::string& root, const std::string&) { TJournalScratch::WriteText(root + "/state", "x"); }},
    {"journal is a folder",
     [](const std::string&, const std::string& journalFile) { std::filesystem::create_directories(journalFile); }},
    {"journal folder read only",
     [](const std::string&, const std::string& journalFile) {
         std::filesystem::create_directories(std::filesystem::path(journalFile).parent_path());
         ::chmod(std::filesystem::path(journalFile).parent_path().c_str(), 0500);
     }},
};

TEST_F(JournalFileTest, AJournalThatCannotBeWrittenStopsTheBatchWithItsName)
{
    for (const TUnwritableCase& c : unwritableCases) {
        SCOPED_TRACE(c.name);
        if (::geteuid() == 0 && std::string(c.name).find("read only") != std::string::npos)
            continue; // permissions do not bind root
        std::string caseRoot = root + "/" + std::to_string(&c - unwritableCases);
        std::string caseJournal = caseRoot + "/state/quillon/journal.jsonl";
        std::filesystem::create_directories(caseRoot);
        c.breakIt(caseRoot, caseJournal);
        TRenameJournal journal(caseJournal);
        try {
            journal.BeginBatch(folder, {{"a.mpd", "A.mpd"}});
            ADD_FAILURE() << "BeginBatch did not throw";
        } catch (const Exception& e) {
            EXPECT_NE(std::string(e.what()).find("journal"), std::string::npos) << e.what();
        }
        EXPECT_TRUE(journal.BatchId().empty());
        ::chmod((caseRoot + "/state/quillon").c_str(), 0700);
    }
}

TEST_F(JournalFileTest, OldestClosedBatchesBeyondTheSizeLimitAreDropped)
{
    TJournalLimits limits;
    limits.KeepNewest = 1;
    std::vector<std::string> ids;
    for (int i = 0; i < 5; ++i) {
        if (i == 1) // two batches the size of the first (its files are not there: closed)
            limits.MaxBytes = 2 * std::filesystem::file_size(journalFile);
        TRenameJournal journal(journalFile, limits);
        std::string n = std::to_string(i);
        journal.BeginBatch(folder, {{"a" + n, "A" + n}, {"b" + n, "B" + n}});
        journal.RecordIntent("a" + n, "A" + n);
        journal.RecordOutcome("a" + n, "A" + n, true, "");
        journal.RecordIntent("b" + n, "B" + n);
        journal.RecordOutcome("b" + n, "B" + n, true, "");
        journal.EndBatch();
        ids.push_back(journal.BatchId());
    }
    TJournalContents contents = ReadJournal(journalFile);
    EXPECT_TRUE(contents.DamagedLines.empty());
    // Trimmed before each new batch to at most two old batches, then the new one.
    ASSERT_EQ(contents.Batches.size(), 3u);
    EXPECT_EQ(contents.Batches[0].Id, ids[2]);
    EXPECT_EQ(contents.Batches[2].Id, ids[4]);
    EXPECT_EQ(contents.Batches[0].Count(TJournalFileState::Renamed), 2);
}

TEST_F(JournalFileTest, BatchesOlderThanTheAgeLimitAreDropped)
{
    TRenameJournal first(journalFile);
    first.BeginBatch(folder, {{"a", "A"}});
    first.EndBatch();
    TJournalRecord old;
    old.Type = TJournalRecordType::Batch;
    old.Id = "old";
    old.Time = "2001-01-01T00:00:00Z";
    old.Kind = "rename";
    old.Folder = NormalizeJournalFolder(folder); // its file is not there: closed
    old.Files = {{"o", "O"}};
    WriteText(journalFile, FormatJournalLine(old) + "\n{\"type\":\"end\",\"id\":\"old\"}\n" + ReadText(journalFile));
    ASSERT_EQ(ReadJournal(journalFile).Batches.size(), 2u);

    TRenameJournal second(journalFile, {.KeepNewest = 1});
    second.BeginBatch(folder, {{"b", "B"}});
    second.EndBatch();
    TJournalContents contents = ReadJournal(journalFile);
    ASSERT_EQ(contents.Batches.size(), 2u);
    EXPECT_EQ(contents.Batches[0].Id, first.BatchId());
    EXPECT_EQ(contents.Batches[1].Id, second.BatchId());
}

TEST_F(JournalFileTest, ARewriteGoesThroughANewTemporaryFile)
{
    // A link planted where a fixed temporary name would be must not be
    // written through, and the rewrite leaves no temporary file behind.
    const std::string victim = journalFile + ".victim";
    std::filesystem::create_directories(std::filesystem::path(journalFile).parent_path());
    WriteText(victim, "keep me\n");
    const std::string planted = journalFile + ".tmp-" + std::to_string(::getpid());
    ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
    TJournalLimits limits;
    limits.MaxBytes = 1; // the second batch prunes the first (its files are not there: closed)
    limits.KeepNewest = 0;
    for (const char* name : {"a", "b"}) {
        TRenameJournal journal(journalFile, limits);
        journal.BeginBatch(folder, {{name, "X"}});
        journal.EndBatch();
    }
    EXPECT_EQ(ReadText(victim), "keep me\n");
    EXPECT_EQ(ReadJournal(journalFile).Batches.size(), 1u);
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(journalFile).parent_path()))
        EXPECT_TRUE(entry.path() == planted || entry.path().filename().string().find(".tmp-") == std::string::npos)
            << entry.path();
}

TEST_F(JournalFileTest, ADamagedJournalIsKeptAsideBeforeItIsRewritten)
{
    TJournalLimits limits;
    limits.MaxBytes = 1; // read whole at the next batch
    {
        TRenameJournal journal(journalFile, limits);
        journal.BeginBatch(folder, {{"a", "A"}});
        journal.RecordOutcome("a", "A", true, "");
        journal.EndBatch();
    }
    std::string damaged = ReadText(journalFile) + "garbage line\n";
    WriteText(journalFile, damaged);
    TRenameJournal journal(journalFile, limits);
    journal.BeginBatch(folder, {{"b", "B"}});
    journal.EndBatch();
    auto warnings = journal.TakeWarnings();
    EXPECT_FALSE(warnings.empty());

    std::vector<std::string> aside;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(journalFile).parent_path()))
        if (entry.path().filename().string().find(".damaged-") != std::string::npos)
            aside.push_back(entry.path().string());
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(ReadText(aside[0]), damaged);
    // The rewrite drops the damaged line and keeps every sound batch.
    TJournalContents contents = ReadJournal(journalFile);
    EXPECT_TRUE(contents.DamagedLines.empty());
    ASSERT_EQ(contents.Batches.size(), 2u);
    EXPECT_EQ(contents.Batches[0].Count(TJournalFileState::Renamed), 1);
    EXPECT_EQ(contents.Batches[1].Id, journal.BatchId());
}

TEST_F(JournalFileTest, ConcurrentWritersLoseNothing)
{
    constexpr int Writers = 4;
    constexpr int Batches = 15;
    constexpr int Files = 40;
    TJournalLimits limits;
    limits.MaxBytes = uint64_t(1) << 40;
    std::vector<pid_t> children;
    for (int w = 0; w < Writers; ++w) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int b = 0; b < Batches; ++b) {
                TRenameJournal journal(journalFile, limits);
                TNamePairs plan;
                for (int f = 0; f < Files; ++f)
                    plan.emplace_back("w" + std::to_string(w) + "f" + std::to_string(f), "N" + std::to_string(f));
                journal.BeginBatch(folder, plan);
                for (const auto& [o, n] : plan) {
                    journal.RecordIntent(o, n);
                    journal.RecordOutcome(o, n, true, "");
                }
                journal.EndBatch();
            }
            ::_exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    TJournalContents contents = ReadJournal(journalFile);
    EXPECT_TRUE(contents.DamagedLines.empty());
    ASSERT_EQ(contents.Batches.size(), static_cast<size_t>(Writers * Batches));
    for (const TJournalBatch& batch : contents.Batches) {
        EXPECT_TRUE(batch.Ended);
        EXPECT_EQ(batch.Count(TJournalFileState::Renamed), Files);
    }
}

TEST(JournalPaths, StateHomeDecidesWhereTheJournalLives)
{
    std::string saved = std::getenv("XDG_STATE_HOME") ? std::getenv("XDG_STATE_HOME") : "";
    bool had = std::getenv("XDG_STATE_HOME") != nullptr;
    std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "/";
    ::setenv("XDG_STATE_HOME", "/tmp/state/", 1);
    EXPECT_EQ(DefaultJournalFileName(), "/tmp/state/quillon/journal.jsonl");
    ::setenv("XDG_STATE_HOME", "relative", 1);
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(DefaultJournalFileName(), "/home/u/.local/state/quillon/journal.jsonl");
    ::setenv("HOME", savedHome.c_str(), 1);
    if (had)
        ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_STATE_HOME");
}

TEST(JournalPaths, FoldersMatchWhateverWayTheyAreWritten)
{
    std::string cwd = std::filesystem::current_path().string();
    EXPECT_EQ(NormalizeJournalFolder("."), NormalizeJournalFolder(cwd + "/"));
    EXPECT_EQ(NormalizeJournalFolder("/no/such/./dir/"), "/no/such/dir");
}

} // namespace
