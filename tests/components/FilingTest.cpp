// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "components/Filing.h"
#include "components/FilingPlan.h"
#include "components/FolderWatch.h"
#include "satellite/SampleFiles.h"

namespace fs = std::filesystem;

namespace {

class FilingTest : public ::testing::Test {
protected:
    void SetUp() override { root = MakeScratch(fs::temp_directory_path()); }
    void TearDown() override
    {
        std::error_code error;
        for (const std::string& dir : scratch)
            fs::remove_all(dir, error);
    }

    std::string MakeScratch(const fs::path& base)
    {
        std::string pattern = (base / "quillon-filing-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            return {};
        scratch.push_back(pattern);
        return pattern;
    }

    static void Write(const std::string& path, const std::string& bytes)
    {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        std::string bytes(static_cast<size_t>(std::max<std::streamoff>(0, in.tellg())), '\0');
        in.seekg(0);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        return bytes;
    }
    // Every regular file below dir, as path relative to dir -> bytes.
    static std::map<std::string, std::string> Tree(const std::string& dir)
    {
        std::map<std::string, std::string> files;
        if (!fs::exists(dir))
            return files;
        for (const auto& e : fs::recursive_directory_iterator(dir))
            if (e.is_regular_file())
                files[fs::relative(e.path(), dir).string()] = Read(e.path().string());
        return files;
    }

    // The first file needs more than one chunk of copying, so that a kill
    // can leave a partial copy.
    static std::string Bytes(size_t i) { return std::string(i == 0 ? (1 << 20) + 5 : 3000, static_cast<char>('a' + i)); }

    // Two source files in root/in, to be filed below dest/2005/03/15.
    std::vector<TFilingMove> Plan(const std::string& dest)
    {
        std::vector<TFilingMove> moves;
        for (int i = 0; i < 2; ++i) {
            const std::string old = root + "/in/0000123" + std::to_string(i) + ".mpd";
            Write(old, Bytes(i));
            moves.push_back({old, dest + "/2005/03/15/2005-03-15-2" + std::to_string(i) + "_IVH.mpd", {}});
        }
        return moves;
    }

    // Each planned file exactly once, under its old or its new name, its
    // bytes unchanged, and nothing else (no partial copy) in either tree.
    void ExpectEachFileOnce(const std::vector<TFilingMove>& moves, const std::string& dest, const std::string& where)
    {
        auto in = Tree(root + "/in");
        auto out = Tree(dest);
        EXPECT_EQ(in.size() + out.size(), moves.size()) << where;
        for (size_t i = 0; i < moves.size(); ++i) {
            const std::string expected = Bytes(i);
            const bool atOld = fs::exists(moves[i].Old), atNew = fs::exists(moves[i].New);
            EXPECT_NE(atOld, atNew) << where << ": " << moves[i].Old;
            EXPECT_EQ(Read(atOld ? moves[i].Old : moves[i].New), expected) << where;
        }
    }

    std::string Journal() const { return root + "/state/filing.jsonl"; }

    std::string root;
    std::vector<std::string> scratch;
};

// A watch batch is filed by the headers its readers read: a file written
// to since is not moved, nor read again.
TEST_F(FilingTest, AWatchBatchFilesByTheHeadersReadAndLeavesAChangedFile)
{
    const std::string in = root + "/in";
    fs::create_directories(in);
    WriteSampleMpd(in + "/00000001.mpd", 0xD4F7, "AIVH", EncodeDate(2005, 3, 15) + EncodeTime(20, 5, 0, 0));
    WriteSampleMpd(in + "/00000002.mpd", 0xD4F7, "AIVH", EncodeDate(2005, 3, 15) + EncodeTime(21, 5, 0, 0));
    TRenameWorkflow rows;
    rows.Folder = in;
    for (const char* name : {"00000001.mpd", "00000002.mpd"})
        rows.AddRow(name, *ReadWatchHeader(in, name).Info);
    // Another header since it was read (and surely another time).
    WriteSampleMpd(in + "/00000002.mpd", 0xD4F7, "AIVH", EncodeDate(2006, 4, 16) + EncodeTime(21, 5, 0, 0));
    fs::last_write_time(in + "/00000002.mpd", fs::file_time_type::clock::now() - std::chrono::hours(1));
    TFilingJournal journal(Journal());
    const auto outcomes = FileRows(journal, TFilingPattern::Parse("{yyyy}"), in, root, rows);
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_TRUE(outcomes[0].Renamed) << outcomes[0].Reason;
    EXPECT_EQ(outcomes[0].NewName, "2005/2005-03-15-40_AIVH.mpd");
    EXPECT_FALSE(outcomes[1].Renamed);
    EXPECT_EQ(outcomes[1].Reason, FilingReasonChanged);
    EXPECT_TRUE(fs::exists(in + "/00000002.mpd"));
}

TEST_F(FilingTest, BatchAndUndoSameFileSystem)
{
    const std::string dest = root + "/archive";
    auto moves = Plan(dest);
    const auto before = Tree(root + "/in");
    TFilingJournal journal(Journal());
    auto outcomes = RunFiling(journal, root + "/in", dest, moves);
    journal.Flush(true);
    ASSERT_EQ(outcomes.size(), 2u);
    for (const auto& o : outcomes)
        EXPECT_TRUE(o.Moved) << o.Reason;
    EXPECT_TRUE(Tree(root + "/in").empty());

    TFilingUndoOptions undo;
    undo.Folder = root + "/in";
    TFilingUndoResult result = UndoFiling(Journal(), undo);
    EXPECT_TRUE(result.Found);
    EXPECT_EQ(result.Skipped(), 0);
    EXPECT_EQ(Tree(root + "/in"), before);
    EXPECT_FALSE(fs::exists(dest + "/2005")) << "the folders the batch made are gone";
    EXPECT_FALSE(UndoFiling(Journal(), undo).Found) << "a batch is taken back once";
}

TEST_F(FilingTest, BatchAndUndoAcrossFileSystems)
{
    // /dev/shm is another file system than the temporary folder on most
    // machines; elsewhere the copy path is forced.
    std::string dest = fs::exists("/dev/shm") ? MakeScratch("/dev/shm") : std::string();
    struct stat a{}, b{};
    TFilingOptions options;
    if (dest.empty() || ::stat(dest.c_str(), &a) != 0 || ::stat(root.c_str(), &b) != 0 || a.st_dev == b.st_dev) {
        dest = root + "/archive";
        options.ForceCopy = true;
    }
    auto moves = Plan(dest);
    const auto before = Tree(root + "/in");
    {
        TFilingJournal journal(Journal());
        for (const auto& o : RunFiling(journal, root + "/in", dest, moves, options))
            EXPECT_TRUE(o.Moved) << o.Reason;
    }
    ExpectEachFileOnce(moves, dest, "filed");
    EXPECT_TRUE(Tree(root + "/in").empty());
    TFilingUndoResult result = UndoFiling(Journal(), {}, options);
    EXPECT_EQ(result.Skipped(), 0);
    EXPECT_EQ(Tree(root + "/in"), before);
}

TEST_F(FilingTest, ChangedOrTakenFilesAreSkippedByUndo)
{
    const std::string dest = root + "/archive";
    auto moves = Plan(dest);
    {
        TFilingJournal journal(Journal());
        RunFiling(journal, root + "/in", dest, moves);
    }
    Write(moves[0].New, "changed");   // another file under the new name
    Write(moves[1].Old, "new arrival"); // the old name taken again
    TFilingUndoResult result = UndoFiling(Journal(), {});
    ASSERT_EQ(result.Lines.size(), 2u);
    EXPECT_EQ(result.Skipped(), 2);
    EXPECT_EQ(Read(moves[1].Old), "new arrival");
    EXPECT_EQ(Read(moves[0].New), "changed");
}

// A file an undo could not bring back (its old name taken, or an I/O error)
// stays in the batch for the next undo, through a trim of the journal too.
TEST_F(FilingTest, AFileAnUndoLeftIsTakenBackByTheNextOne)
{
    const std::string dest = root + "/archive";
    auto moves = Plan(dest);
    {
        TFilingJournal journal(Journal());
        RunFiling(journal, root + "/in", dest, moves);
    }
    Write(moves[1].Old, "new arrival");
    ASSERT_EQ(UndoFiling(Journal(), {}).Skipped(), 1);
    {
        TJournalLimits limits;
        limits.MaxAgeSeconds = -1; // every closed batch is old enough to go
        limits.KeepNewest = 0;
        TFilingJournal journal(Journal(), limits);
        journal.Write(NewFilingBatchRecord("file", root + "/in", dest, {}), true);
    }
    fs::rename(moves[1].Old, root + "/elsewhere");
    TFilingUndoResult again = UndoFiling(Journal(), {});
    EXPECT_EQ(again.Skipped(), 0);
    EXPECT_EQ(Read(moves[1].Old), Bytes(1));
    ExpectEachFileOnce(moves, dest, "after the second undo");
    EXPECT_FALSE(UndoFiling(Journal(), {}).Found) << "nothing is left to take back";
}

// A watch that files leaves alone a file an undo brought back, while it is
// that very file.
TEST_F(FilingTest, AFileAnUndoBroughtBackCountsAsRestoredUntilItChanges)
{
    const std::string dest = root + "/archive";
    auto moves = Plan(dest);
    {
        TFilingJournal journal(Journal());
        RunFiling(journal, root + "/in", dest, moves);
    }
    TRestoredFilings restored(Journal(), root + "/in");
    EXPECT_FALSE(restored.IsRestored("00001230.mpd")) << "filed, not brought back";
    TFilingUndoOptions undo;
    undo.Folder = root + "/in";
    ASSERT_EQ(UndoFiling(Journal(), undo).Skipped(), 0);
    Write(moves[1].Old, "written again");
    const std::pair<const char*, bool> cases[] = {{"00001230.mpd", true}, {"00001231.mpd", false}, {"other.mpd", false}};
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(restored.IsRestored(name), expected) << name;
}

TEST_F(FilingTest, DryRunPredictsTakenTargetsAndCollisions)
{
    const std::string dest = root + "/archive";
    auto moves = Plan(dest);
    moves[1].New = moves[0].New; // two files, one target
    auto predicted = PredictFiling(moves);
    EXPECT_TRUE(predicted[0].Moved);
    EXPECT_EQ(predicted[1].Reason, FilingReasonTwice);
    Write(moves[0].New, "there");
    EXPECT_EQ(PredictFiling(moves)[0].Reason, FilingReasonExists);
    EXPECT_FALSE(fs::exists(dest + "/2005/03/15/2005-03-15-21_IVH.mpd"));
}

// A kill -9 after every step of a move, by copy (as to another file system)
// and by rename, then undo or a rerun: each file exactly once, its bytes
// unchanged, no partial copy left.
TEST_F(FilingTest, KillAtEveryStepThenUndoOrRerun)
{
    // On a memory file system where there is one: the many flushes to disk
    // would otherwise make this the slowest test by far.
    if (fs::exists("/dev/shm")) {
        const std::string shm = MakeScratch("/dev/shm");
        if (!shm.empty())
            root = shm;
    }
    for (int run = 0; run < 4; ++run) {
        const bool rerun = run % 2 == 1, copy = run < 2;
        for (int step = 1;; ++step) {
            const std::string dest = root + "/archive";
            fs::remove_all(root + "/in");
            fs::remove_all(dest);
            fs::remove_all(root + "/state");
            auto moves = Plan(dest);
            TFilingOptions options;
            options.ForceCopy = copy;
            options.StopAfterStep = step;
            const pid_t child = ::fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                {
                    TFilingJournal journal(Journal());
                    RunFiling(journal, root + "/in", dest, moves, options);
                }
                ::_exit(0);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(child, &status, 0), child);
            const bool killed = WIFSIGNALED(status);
            const std::string where = std::string(copy ? "copying, " : "renaming, ") +
                                      (rerun ? "rerun after step " : "undo after step ") + std::to_string(step);
            options.StopAfterStep = 0;
            if (rerun) {
                RecoverFilingJournal(Journal(), options);
                std::vector<TFilingMove> left;
                for (const auto& m : moves)
                    if (fs::exists(m.Old))
                        left.push_back(m);
                TFilingJournal journal(Journal());
                for (const auto& o : RunFiling(journal, root + "/in", dest, left, options))
                    EXPECT_TRUE(o.Moved) << where << ": " << o.Reason;
                ExpectEachFileOnce(moves, dest, where);
                EXPECT_TRUE(Tree(root + "/in").empty()) << where;
            } else {
                UndoFiling(Journal(), {}, options);
                ExpectEachFileOnce(moves, dest, where);
                EXPECT_TRUE(Tree(dest).empty()) << where;
            }
            if (!killed)
                break;
            ASSERT_LT(step, 40) << "the hook never let the batch finish";
        }
    }
}

} // namespace
