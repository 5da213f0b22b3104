// SPDX-License-Identifier: GPL-3.0-or-later
// The catalogue over a real SQLite file and a generated archive tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "catalog/Catalog.h"
#include "catalog/CatalogQuery.h"
#include "catalog/SqliteCatalogStore.h"
#include "runtime/Application.h"
#include "runtime/FileIO.h"
#include "satellite/FileReport.h"
#include "satellite/SampleFiles.h"

namespace fs = std::filesystem;

namespace {

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Catalog : public ::testing::Test {
public:
    void SetUp() override
    {
        dir_ = fs::temp_directory_path() /
               (std::string("quillon-catalog-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "archive");
        root_ = ResolveCatalogRoot((dir_ / "archive").string());
        db_ = (dir_ / "catalog.sqlite").string();
        ClearStopRequest();
    }
    void TearDown() override
    {
        ClearStopRequest();
        store_.reset();
        fs::remove_all(dir_);
    }
    TSqliteCatalogStore& Store()
    {
        if (!store_) {
            TCatalogOpenOptions o;
            o.Create = true;
            store_ = std::make_unique<TSqliteCatalogStore>(db_, o);
        }
        return *store_;
    }
    TCatalogUpdateCounts Update(const TCatalogUpdateOptions& o = {}) { return UpdateCatalog(Store(), {root_}, o); }
    std::vector<TCatalogEntry> All()
    {
        std::vector<TCatalogEntry> all;
        Store().Select({}, [&](const TCatalogEntry& e) {
            all.push_back(e);
            return true;
        });
        return all;
    }
    std::string Mpd(const std::string& name, int minutes)
    {
        const std::string path = root_ + "/" + name;
        fs::create_directories(fs::path(path).parent_path());
        WriteSampleMpd(path, 0xD4F7, "AIVH", EncodeDate(2005, 3, 15) + minutes / 1440.0);
        return path;
    }

    fs::path dir_;
    std::string root_, db_;
    std::unique_ptr<TSqliteCatalogStore> store_;
};

struct TIncrementalCase {
    const char* Name;
    std::function<void(Catalog&, const std::string& a, const std::string& b)> Change;
    int64_t Added, Changed, Removed, Unchanged;
    size_t Entries;
};

TEST_F(Catalog, IncrementalRules)
{
    const TIncrementalCase cases[] = {
        {"unchanged", [](Catalog&, const std::string&, const std::string&) {}, 0, 0, 0, 2, 2},
        {"changed", [](Catalog&, const std::string& a, const std::string&) {
             TFramedOptions longer;
             longer.ExtraFrames = 7;
             WriteSampleMpd(a, 0xD4F5, "XIV", EncodeDate(2006, 1, 2), longer);
         }, 0, 1, 0, 1, 2},
        {"removed", [](Catalog&, const std::string& a, const std::string&) { fs::remove(a); }, 0, 0, 1, 1, 1},
        {"moved", [](Catalog&, const std::string& a, const std::string&) {
             fs::create_directories(fs::path(a).parent_path() / "sub");
             fs::rename(a, fs::path(a).parent_path() / "sub" / "moved.mpd");
         }, 0, 1, 0, 1, 2},
        {"replaced with the same name", [](Catalog& t, const std::string& a, const std::string& b) {
             fs::rename(b, a);   // another file (another inode) now holds a's name
             t.Mpd("b.mpd", 600);
         }, 1, 1, 0, 0, 2},
        {"added", [](Catalog& t, const std::string&, const std::string&) { t.Mpd("c/d.hrm", 900); }, 1, 0, 0, 2, 3},
    };
    for (const TIncrementalCase& c : cases) {
        SCOPED_TRACE(c.Name);
        store_.reset();
        fs::remove_all(root_);
        fs::create_directories(root_);
        fs::remove(db_);
        const std::string a = Mpd("a.mpd", 0), b = Mpd("b.mpd", 30);
        const TCatalogUpdateCounts first = Update();
        EXPECT_EQ(first.Added, 2);
        c.Change(*this, a, b);
        store_.reset();   // a new run of the program
        const TCatalogUpdateCounts second = Update();
        EXPECT_EQ(second.Added, c.Added);
        EXPECT_EQ(second.Changed, c.Changed);
        EXPECT_EQ(second.Removed, c.Removed);
        EXPECT_EQ(second.Unchanged, c.Unchanged);
        // The catalogue now says what a fresh reading of every file says.
        for (const TCatalogEntry& e : All()) {
            const TSatelliteFileReport r = IdentifySatelliteFile(e.Path);
            EXPECT_EQ(e.StandardName, r.StandardName) << e.Path;
            EXPECT_EQ(e.AcquiredIso, DateTimeToIso(r.AcquisitionTime)) << e.Path;
            EXPECT_TRUE(fs::exists(e.Path));
        }
        EXPECT_EQ(All().size(), c.Entries);
    }
}

TEST_F(Catalog, MovedFileKeepsItsRecord)
{
    const std::string a = Mpd("a.mpd", 0);
    Update();
    TCatalogEntry before;
    ASSERT_TRUE(Store().FindByPath(a, before));
    fs::rename(a, root_ + "/renamed.mpd");
    Update();
    TCatalogEntry after;
    ASSERT_TRUE(Store().FindByPath(root_ + "/renamed.mpd", after));
    EXPECT_EQ(after.Id, before.Id);
    EXPECT_FALSE(Store().FindByPath(a, before));
}

TEST_F(Catalog, GapsOnAKnownSchedule)
{
    const TArchiveTree tree = WriteArchiveTree(root_, 5);
    Update();
    std::vector<TGapRun> runs;
    const int64_t total = FindGaps(Store(), 6, std::nullopt, std::nullopt, 1800, [&](const TGapRun& r) { runs.push_back(r); });
    EXPECT_EQ(total, tree.MissingSlots);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(IsoFromSeconds(runs[0].From), "2005-03-02T10:00:00");
    EXPECT_EQ(IsoFromSeconds(runs[0].To), "2005-03-02T12:30:00");
    EXPECT_EQ(runs[0].Count, 6);
    EXPECT_EQ(IsoFromSeconds(runs[1].From), "2005-03-04T00:00:00");
    EXPECT_EQ(runs[1].Count, 4);
    // Three-hourly MET-5 files leave no three-hour slot empty; half-hour slots
    // show five missing between each pair.
    EXPECT_EQ(FindGaps(Store(), 4, std::nullopt, std::nullopt, 3 * 3600, [](const TGapRun&) {}), 0);
    int64_t from = 0, to = 0;
    std::string error;
    ASSERT_TRUE(ParseCatalogTime("2005-03-01", false, from, error));
    ASSERT_TRUE(ParseCatalogTime("2005-03-01", true, to, error));
    EXPECT_EQ(FindGaps(Store(), 4, from, to, 1800, [](const TGapRun&) {}), 7 * 5);
}

TEST_F(Catalog, BothKindsOfDuplicates)
{
    WriteArchiveTree(root_, 8);   // copies on days 1 and 8
    Update();
    std::vector<std::vector<std::string>> same, named;
    FindSameContent(Store(), [&](const std::vector<TCatalogEntry>& g) {
        same.emplace_back();
        for (const TCatalogEntry& e : g)
            same.back().push_back(fs::path(e.Path).filename().string());
    });
    FindSameStandardName(Store(), [&](const std::vector<TCatalogEntry>& g) {
        named.emplace_back();
        for (const TCatalogEntry& e : g)
            named.back().push_back(fs::path(e.Path).filename().string());
    });
    ASSERT_EQ(same.size(), 2u);
    for (const auto& g : same) {
        ASSERT_EQ(g.size(), 2u);
        EXPECT_EQ(g[0], "copy-of-" + g[1]);
    }
    ASSERT_EQ(named.size(), 2u);
    for (const auto& g : named)
        EXPECT_EQ(g.size(), 3u);   // the file, its copy and a different file of the same name
    // A hard link is the same file, not a duplicate name.
    fs::create_hard_link(root_ + "/2005/03/img000005.mpd", root_ + "/2005/03/link.mpd");
    Update();
    int groups = 0;
    FindSameStandardName(Store(), [&](const std::vector<TCatalogEntry>&) { ++groups; });
    EXPECT_EQ(groups, 2);
}

TEST_F(Catalog, NamesAroundTheFolderSeparatorStayUnchanged)
{
    // Sorted by name the folder "a" comes first; sorted as paths, "a b.mpd",
    // "a-b/..." and "a.mpd" come before "a/...".
    for (const char* name : {"a.mpd", "a/x.mpd", "a b.mpd", "a-b/y.mpd", "a0.mpd", "A.MPD", "a/b/c.hrm"})
        Mpd(name, 0);
    EXPECT_EQ(Update().Added, 7);
    store_.reset();
    const TCatalogUpdateCounts again = Update();
    EXPECT_EQ(again.Unchanged, 7);
    EXPECT_EQ(again.Added + again.Changed + again.Removed, 0);
    fs::remove_all(root_ + "/a");
    EXPECT_EQ(Update().Removed, 2);   // a gone folder's files
    EXPECT_EQ(All().size(), 5u);
}

TEST_F(Catalog, FilesMovedEitherWayKeepTheirRecords)
{
    const std::pair<const char*, const char*> moves[] = {
        {"z/x.mpd", "a.mpd"}, {"a.mpd", "z/x.mpd"}, {"m/x.mpd", "m.mpd"}, {"m.mpd", "m/n/x.mpd"}};
    for (const auto& [from, to] : moves) {
        SCOPED_TRACE(std::string(from) + " -> " + to);
        store_.reset();
        fs::remove_all(root_);
        fs::remove(db_);
        Mpd("k.mpd", 60);
        const std::string path = Mpd(from, 0);
        Update();
        TCatalogEntry before, after;
        ASSERT_TRUE(Store().FindByPath(path, before));
        fs::create_directories(fs::path(root_ + "/" + to).parent_path());
        fs::rename(path, root_ + "/" + to);
        const TCatalogUpdateCounts c = Update();
        EXPECT_EQ(c.Changed, 1);
        EXPECT_EQ(c.Added + c.Removed, 0);
        ASSERT_TRUE(Store().FindByPath(root_ + "/" + to, after));
        EXPECT_EQ(after.Id, before.Id);
        EXPECT_EQ(All().size(), 2u);
    }
}

TEST_F(Catalog, OverlappingRootsRecordEachFileOnce)
{
    Mpd("a.mpd", 0);
    Mpd("sub/b.mpd", 30);
    const std::vector<std::string> roots{root_ + "/sub", root_, root_ + "/sub"};
    const TCatalogUpdateCounts first = UpdateCatalog(Store(), roots);
    EXPECT_EQ(first.Added, 2);
    EXPECT_EQ(first.Unchanged, 2);   // b met again under the second and third roots
    const TCatalogUpdateCounts again = UpdateCatalog(Store(), roots);
    EXPECT_EQ(again.Unchanged, 4);
    EXPECT_EQ(again.Added + again.Changed + again.Removed, 0);
    EXPECT_EQ(All().size(), 2u);
}

struct TBadFile {
    const char* Name;
    std::function<void(const std::string& db)> Make;
    const char* Says;
};

TEST_F(Catalog, DamagedOrForeignFileIsRefusedAndLeftAsItIs)
{
    const auto makeCatalogue = [this](const std::string& db) {
        WriteArchiveTree(root_, 3);
        TCatalogOpenOptions o;
        o.Create = true;
        TSqliteCatalogStore store(db, o);
        UpdateCatalog(store, {root_});
    };
    const TBadFile cases[] = {
        {"text", [](const std::string& db) { std::ofstream(db) << "station log\n"; }, "not a Quillon catalogue"},
        {"truncated", [&](const std::string& db) {
             makeCatalogue(db);
             fs::resize_file(db, 4096 + 100);
         }, "damaged"},
        {"random pages", [&](const std::string& db) {
             makeCatalogue(db);
             std::fstream f(db, std::ios::in | std::ios::out | std::ios::binary);
             std::mt19937 random(7);
             const auto size = static_cast<int64_t>(fs::file_size(db));
             for (int64_t page = 4096; page + 4096 <= size; page += 4096) {
                 f.seekp(page);
                 for (int i = 0; i < 4096; ++i)
                     f.put(static_cast<char>(random()));
             }
         }, "damaged"},
        {"foreign", [](const std::string& db) {
             TSqliteCatalogStore::CreateOldSchema(db, 0);   // marked as ours...
             std::fstream f(db, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(68);                                   // ...then another program's id
             f.write("ABCD", 4);
         }, "another program"},
        {"newer", [](const std::string& db) { TSqliteCatalogStore::CreateOldSchema(db, CatalogSchemaVersion + 1); },
         "newer Quillon"},
    };
    for (const TBadFile& c : cases) {
        SCOPED_TRACE(c.Name);
        fs::remove_all(root_);
        fs::create_directories(root_);
        fs::remove(db_);
        c.Make(db_);
        // Any changes still in the write-ahead log are checkpointed by now.
        fs::remove(db_ + "-wal");
        fs::remove(db_ + "-shm");
        const std::string bytes = ReadBytes(db_);
        try {
            TCatalogOpenOptions o;
            o.Create = true;
            TSqliteCatalogStore store(db_, o);
            UpdateCatalog(store, {root_});
            FAIL() << "accepted";
        } catch (const ECatalogError& e) {
            EXPECT_NE(e.Message().find(db_), std::string::npos) << e.Message();
            EXPECT_NE(e.Message().find(c.Says), std::string::npos) << e.Message();
        }
        EXPECT_EQ(ReadBytes(db_), bytes);
    }
}

TEST_F(Catalog, OlderSchemaIsUpgradedInPlace)
{
    TSqliteCatalogStore::CreateOldSchema(db_, 1);
    Mpd("a.mpd", 0);
    EXPECT_EQ(Update().Added, 1);
    EXPECT_EQ(Store().SchemaVersion(), CatalogSchemaVersion);
}

TEST_F(Catalog, TwoUpdatesTakeTurns)
{
    auto first = std::make_unique<TCatalogUpdateLock>(db_, 1, nullptr);
    // A second update gives up clearly when the first keeps the catalogue...
    try {
        TCatalogUpdateLock second(db_, 0, nullptr);
        FAIL() << "both held the catalogue";
    } catch (const ECatalogError& e) {
        EXPECT_NE(e.Message().find("being updated by another quillon process"), std::string::npos);
    }
    // ...and waits, saying so, until the first is done.
    std::vector<std::string> notices;
    TCatalogUpdateLock second(db_, -1, [&](const char* notice) {
        notices.push_back(notice);
        first.reset();
    });
    EXPECT_EQ(notices, std::vector<std::string>{CatalogWaitingMessage});
}

TEST_F(Catalog, StoppedUpdateEndsAtATransactionBoundary)
{
    const TArchiveTree tree = WriteArchiveTree(root_, 2);
    TCatalogUpdateOptions o;
    o.BatchSize = 20;
    o.ProgressEvery = 10;
    o.ReadAhead = 4;   // so that at least 96 files are through when the stop comes
    o.OnProgress = [](int64_t files) {
        if (files == 100)
            RequestStop();
    };
    const TCatalogUpdateCounts stopped = Update(o);
    EXPECT_TRUE(stopped.Stopped);
    size_t kept = 0;
    for (const std::string& path : tree.Files) {
        TCatalogEntry e;
        kept += Store().FindByPath(path, e) ? 1 : 0;
    }
    EXPECT_EQ(kept % 20, 0u);
    EXPECT_GE(kept, 80u);
    EXPECT_EQ(stopped.Added, static_cast<int64_t>(kept));   // the counts say what was kept
    EXPECT_LT(kept, tree.Files.size());
    // Nothing is removed by a stopped update, and the next one finishes.
    ClearStopRequest();
    Update();
    fs::remove(tree.Files.front());
    RequestStop();
    EXPECT_TRUE(Update().Stopped);
    ClearStopRequest();
    TCatalogEntry e;
    EXPECT_TRUE(Store().FindByPath(tree.Files.front(), e));
    EXPECT_EQ(Update().Removed, 1);
}

TEST_F(Catalog, UnreadableFilesAreRecordedWithTheReason)
{
    const TArchiveTree tree = WriteArchiveTree(root_, 1);
    const TCatalogUpdateCounts c = Update();
    EXPECT_EQ(c.Unreadable, static_cast<int64_t>(tree.Unreadable.size()));
    for (const std::string& path : tree.Unreadable) {
        TCatalogEntry e;
        ASSERT_TRUE(Store().FindByPath(path, e));
        EXPECT_FALSE(e.Error.empty());
    }
    EXPECT_EQ(All().size(), tree.Files.size() - tree.Unreadable.size());
}

struct TTimeCase {
    const char* Text;
    bool AsEnd;
    const char* Iso;   // nullptr: refused
};

TEST(CatalogQuery, Times)
{
    const TTimeCase cases[] = {
        {"2005-03-15", false, "2005-03-15T00:00:00"},
        {"2005-03-15", true, "2005-03-16T00:00:00"},
        {"2005-03-15T12:30", true, "2005-03-15T12:31:00"},
        {"2005-03-15 12:30:05Z", false, "2005-03-15T12:30:05"},
        {"2004-02-29", false, "2004-02-29T00:00:00"},
        {"2005-02-29", false, nullptr},
        {"2005-3-15", false, nullptr},
        {"2005-03-15T24:00", false, nullptr},
        {"2005-03-15T12", false, nullptr},
        {"", false, nullptr},
        {"1850-01-01", false, nullptr},
    };
    for (const TTimeCase& c : cases) {
        int64_t s = 0;
        std::string error;
        const bool ok = ParseCatalogTime(c.Text, c.AsEnd, s, error);
        EXPECT_EQ(ok, c.Iso != nullptr) << c.Text;
        if (ok && c.Iso)
            EXPECT_EQ(IsoFromSeconds(s), c.Iso) << c.Text;
        if (!ok)
            EXPECT_FALSE(error.empty());
    }
}

TEST(CatalogQuery, Satellites)
{
    const std::pair<const char*, int> cases[] = {
        {"6", 6}, {"MET-7", 6}, {"met7", 6}, {"goes-e", 7}, {"MTSAT-1R (Met-7)", 9}, {"17", -1}, {"MET", -1},
        {"pluto", -1}, {"", -1},
    };
    for (const auto& [text, code] : cases) {
        int got = -1;
        std::string error;
        EXPECT_EQ(ParseSatellite(text, got, error), code >= 0) << text;
        if (code >= 0)
            EXPECT_EQ(got, code) << text;
    }
}

} // namespace
