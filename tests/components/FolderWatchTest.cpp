// SPDX-License-Identifier: GPL-3.0-or-later
// The watch mode's rules, with a clock, folder events and header readers of
// the test's own: no sleeps, no subprocess. The files are real, in a scratch
// folder.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "ScanTestSupport.h"
#include "components/FilingPlan.h"
#include "components/FolderWatch.h"
#include "runtime/Application.h"
#include "satellite/SampleFiles.h"
#include "satellite/SatelliteInfo.h"

namespace {

using namespace std::chrono_literals;
using TMs = std::chrono::milliseconds;

class TFakeClock : public IWatchClock {
public:
    TFakeClock() { ::clock_gettime(CLOCK_REALTIME, &wall_); }
    TTimePoint Now() override { return start_ + elapsed_; }
    struct timespec WallNow() override
    {
        const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(elapsed_).count() + wall_.tv_nsec;
        return {static_cast<time_t>(wall_.tv_sec + ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    }
    void Sleep(TMs duration) override
    {
        elapsed_ += duration;
        if (OnSleep)
            OnSleep();
    }
    TMs Elapsed() const { return std::chrono::duration_cast<TMs>(elapsed_); }
    void AdvanceTo(TMs at) { elapsed_ = std::max<TTimePoint::duration>(elapsed_, at); }
    std::function<void()> OnSleep;

private:
    const TTimePoint start_ = TTimePoint(std::chrono::hours(1000));
    TTimePoint::duration elapsed_{0};
    struct timespec wall_ {};
};

// A script of folder events: at each step's time its action runs (writing
// the files concerned) and its events arrive. Waiting advances the clock;
// once the script is done and the watch would wait without limit, it is
// stopped.
class TFakeEvents : public IFolderEvents {
public:
    struct TStep {
        TMs At;
        std::vector<TFolderEvent> Events;
        std::function<void()> Action;
    };
    explicit TFakeEvents(TFakeClock& clock) : clock_(clock) {}
    void At(TMs at, std::vector<TFolderEvent> events, std::function<void()> action = {})
    {
        script_.push_back({at, std::move(events), std::move(action)});
    }
    std::string Start(const std::string& folder) override
    {
        Started = folder;
        return StartError;
    }
    void Wake() override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        woken_ = true;
    }
    TWaitResult Wait(TMs timeout, bool withEvents, std::vector<TFolderEvent>& events) override
    {
        if (++waits_ > 10000) {
            ADD_FAILURE() << "the watch keeps waiting";
            RequestStop();
            return {true, ""};
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (woken_) {
                woken_ = false;
                return {true, ""};
            }
        }
        if (withEvents && !script_.empty()) {
            TStep& step = script_.front();
            if (timeout.count() < 0 || clock_.Elapsed() + timeout >= step.At) {
                clock_.AdvanceTo(step.At);
                TStep taken = std::move(step);
                script_.erase(script_.begin());
                if (taken.Action)
                    taken.Action();
                events.insert(events.end(), taken.Events.begin(), taken.Events.end());
                return {};
            }
        }
        if (timeout.count() < 0) {
            RequestStop();
            return {true, ""};
        }
        clock_.Sleep(timeout);
        return {};
    }

    std::string Started;
    std::string StartError;

private:
    TFakeClock& clock_;
    std::vector<TStep> script_;
    std::mutex mutex_;
    bool woken_ = false;
    int waits_ = 0;
};

// Reads a header at once when submitted, unless the file is held: then only
// once released, as a worker busy with a slow file would.
class TFakeReaders : public IWatchReaders {
public:
    TFakeReaders(std::string folder, IFolderEvents& events) : folder_(std::move(folder)), events_(events) {}
    void Submit(const std::string& name) override
    {
        Submitted.push_back(name);
        busy_.insert(name);
        if (Held.count(name) == 0)
            Complete(name);
    }
    bool Busy(const std::string& name) override { return busy_.count(name) != 0; }
    std::vector<TWatchHeader> Take() override
    {
        std::vector<TWatchHeader> done;
        done.swap(done_);
        for (const TWatchHeader& h : done)
            busy_.erase(h.Name);
        return done;
    }
    bool Finish(TMs) override { return true; }
    void Cancel(const std::string& name) override
    {
        if (busy_.count(name))
            Cancelled.push_back(name);
    }
    void Release(const std::string& name)
    {
        Held.erase(name);
        Complete(name);
    }

    std::set<std::string> Held;
    bool StandardNamesToo = false;
    std::map<std::string, std::string> Errors; // name -> the error its read gives
    std::vector<std::string> Submitted;
    std::vector<std::string> Cancelled; // while being read

private:
    void Complete(const std::string& name)
    {
        TWatchHeader header = ReadWatchHeader(folder_, name, nullptr, StandardNamesToo);
        if (Errors.count(name) != 0) {
            header = TWatchHeader{};
            header.Name = name;
            header.Error = Errors[name];
        }
        done_.push_back(header);
        events_.Wake();
    }

    std::string folder_;
    IFolderEvents& events_;
    std::set<std::string> busy_;
    std::vector<TWatchHeader> done_;
};

class TJournalLog : public IRenameJournal {
public:
    void BeginBatch(const std::string&, const std::vector<std::pair<std::string, std::string>>& planned) override
    {
        if (!BeginError.empty())
            throw EJournalError(BeginError);
        Calls.push_back("begin " + std::to_string(planned.size()));
    }
    void RecordIntent(const std::string& oldName, const std::string&) override { Calls.push_back("intent " + oldName); }
    void RecordOutcome(const std::string& oldName, const std::string&, bool renamed, const std::string&) override
    {
        Calls.push_back(std::string(renamed ? "renamed " : "failed ") + oldName);
        if (AfterOutcome)
            AfterOutcome();
    }
    void EndBatch() override { Calls.push_back("end"); }

    std::vector<std::string> Calls;
    std::string BeginError;
    std::function<void()> AfterOutcome;
};

// What the watch told, with the time it told it.
class TTold : public IFolderWatchObserver {
public:
    explicit TTold(TFakeClock& clock) : clock_(clock) {}
    void Renamed(const TRenameOutcome& row) override
    {
        Rows.push_back((row.Renamed ? "renamed " : "failed ") + row.OldName + " " + row.NewName);
        Times.push_back(clock_.Elapsed());
    }
    void Message(const std::string& text) override { Messages.push_back(text); }

    std::vector<std::string> Rows;
    std::vector<TMs> Times;
    std::vector<std::string> Messages;

private:
    TFakeClock& clock_;
};

TFolderEvent Event(TFolderEvent::TKind kind, const std::string& name = "", bool isFolder = false)
{
    TFolderEvent e;
    e.Kind = kind;
    e.Name = name;
    e.IsFolder = isFolder;
    return e;
}

// One watch's fakes.
struct TRig {
    explicit TRig(const std::string& folder)
        : readersOwned(std::make_unique<TFakeReaders>(folder, events)), readers(*readersOwned)
    {
    }
    TFakeClock clock;
    TFakeEvents events{clock};
    TJournalLog journal;
    TTold told{clock};
    std::unique_ptr<TFakeReaders> readersOwned;
    TFakeReaders& readers;
    std::unique_ptr<TFolderWatch> watch; // owns the readers once made
};

class FolderWatchTest : public TScanScratch {
protected:
    void SetUp() override
    {
        TScanScratch::SetUp();
        Fresh();
    }
    void TearDown() override
    {
        ClearStopRequest();
        TScanScratch::TearDown();
    }
    // An empty folder and new fakes, for the next case of a table.
    void Fresh()
    {
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        ClearStopRequest();
        rig = std::make_unique<TRig>(folder);
    }

    // Writes a sample file (of day `day` of 2004) to path, written long ago
    // unless fresh; returns the name its header proposes, with .mpd.
    std::string WriteSample(const std::string& path, int day, bool old = true)
    {
        WriteSampleMpd(path, 0xD4F7, "AIVH", EncodeDate(2004, 1, 1) + day + 0.25);
        if (old)
            std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - 1h);
        uint8_t code = 0;
        TDateTime time = 0;
        std::string proposed, format;
        ReadSatelliteFileInfo(path, code, nullptr, time, proposed, format);
        return proposed + ".mpd";
    }
    std::string Write(const std::string& name, int day, bool old = true) { return WriteSample(InFolder(name), day, old); }

    TFolderWatch::TEnd Run(double settle = 2.0)
    {
        rig->watch = std::make_unique<TFolderWatch>(folder, std::chrono::duration<double>(settle), rig->events,
                                                    rig->clock, rig->journal, rig->told);
        rig->watch->SetReaders(std::move(rig->readersOwned));
        if (restoredCheck)
            rig->watch->SetRestoredCheck(restoredCheck);
        if (setUp)
            setUp(*rig->watch);
        return rig->watch->Run();
    }
    int Batches() const
    {
        const auto& calls = rig->journal.Calls;
        return static_cast<int>(
            std::count_if(calls.begin(), calls.end(), [](const std::string& c) { return c.rfind("begin", 0) == 0; }));
    }

    std::unique_ptr<TRig> rig;
    std::function<bool(const std::string&)> restoredCheck;
    std::function<void(TFolderWatch&)> setUp; // before Run
};

TEST_F(FolderWatchTest, FirstPassRenamesOldFilesAsOneBatchInScanOrderAndLetsFreshOnesSettle)
{
    struct Case {
        double settle;
        std::vector<TMs> times; // of the renames of a, b and fresh
        int batches;
    } cases[] = {
        {2.0, {0ms, 0ms, 2001ms}, 2},
        {0.0, {0ms, 0ms, 0ms}, 1}, // no settle time: fresh files too, at once
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settle);
        Fresh();
        const std::string b = Write("b0000001.mpd", 1);
        const std::string a = Write("A0000001.mpd", 2);
        const std::string fresh = Write("fresh001.mpd", 3, false);
        WriteText(InFolder("notes.txt"), "hello");
        Write("2004-01-02-00_AIVH.mpd", 4); // already standard
        WriteText(InFolder("garbage1.mpd"), std::string(5000, 'x'));

        EXPECT_EQ(Run(c.settle), TFolderWatch::TEnd::Stopped);
        EXPECT_EQ(rig->events.Started, folder);
        EXPECT_EQ(rig->told.Rows, (std::vector<std::string>{"renamed A0000001.mpd " + a, "renamed b0000001.mpd " + b,
                                                        "renamed fresh001.mpd " + fresh}));
        EXPECT_EQ(rig->told.Times, c.times);
        EXPECT_EQ(Batches(), c.batches);
        // A header that cannot be read is told.
        ASSERT_EQ(rig->told.Messages.size(), 1u);
        EXPECT_EQ(rig->told.Messages[0].rfind(InFolder("garbage1.mpd") + ": ", 0), 0u) << rig->told.Messages[0];
        // Other extensions are not looked at.
        const auto& s = rig->readers.Submitted;
        EXPECT_EQ(std::count(s.begin(), s.end(), "notes.txt"), 0);
        EXPECT_TRUE(std::filesystem::exists(InFolder("garbage1.mpd")));
        EXPECT_TRUE(std::filesystem::exists(InFolder("2004-01-02-00_AIVH.mpd")));
    }
}

// A watch that files (watch --into) reads standard-named files too. One
// already at its target is left untold (so filing another file in place
// gives no failed line when its new name arrives); one whose header cannot
// be read is told once and stays. Each is read once.
TEST_F(FolderWatchTest, AWatchThatFilesLeavesStandardNamedFilesItWillNotMoveUntold)
{
    const std::string placed = Write("placed.mpd", 4), fresh = WriteSample(root + "/fresh.mpd", 5);
    std::filesystem::rename(InFolder("placed.mpd"), InFolder(placed));
    const std::string unreadable = "2004-01-09-00_AIVH.mpd";
    WriteText(InFolder(unreadable), std::string(5000, 'x'));
    rig->events.At(1000ms, {Event(TFolderEvent::MovedIn, "new00001.mpd")},
                   [&] { std::filesystem::rename(root + "/fresh.mpd", InFolder("new00001.mpd")); });
    rig->events.At(5000ms, {Event(TFolderEvent::MovedIn, fresh)}); // what its filing caused
    TFilingJournal journal(root + "/filing.jsonl");
    const TFilingPattern pattern = TFilingPattern::Parse("data"); // root/data: the watched folder
    rig->readers.StandardNamesToo = true;
    setUp = [&](TFolderWatch& watch) {
        watch.StandardNamesToo = true;
        watch.BatchAction = [&](TRenameWorkflow& rows) { return FileRows(journal, pattern, folder, root, rows); };
    };

    EXPECT_EQ(Run(), TFolderWatch::TEnd::Stopped);
    EXPECT_EQ(rig->told.Rows, std::vector<std::string>{"renamed new00001.mpd data/" + fresh});
    ASSERT_EQ(rig->told.Messages.size(), 1u);
    EXPECT_EQ(rig->told.Messages[0].rfind(InFolder(unreadable) + ": ", 0), 0u) << rig->told.Messages[0];
    std::vector<std::string> left{placed, fresh, unreadable};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(Listing(), left);
    for (const std::string& name : left)
        EXPECT_EQ(std::count(rig->readers.Submitted.begin(), rig->readers.Submitted.end(), name), 1) << name;
}

// When a file arriving in the folder is named, by the events it gets (a step
// without events lets the watch look at its files then). The settle time is
// 2 seconds; -1: never.
TEST_F(FolderWatchTest, AFileIsNamedOnceClosedOrMovedInNotOpenAndUnchangedForTheSettleTime)
{
    using K = TFolderEvent;
    const std::string name = "new00001.mpd";
    struct TStep {
        int at;
        std::vector<TFolderEvent::TKind> kinds;
        const char* action; // "write", "move-in", "touch", "delete", "" nothing
    };
    struct Case {
        const char* what;
        std::vector<TStep> steps;
        int named; // ms, -1: never
    } cases[] = {
        {"closed after writing", {{1000, {K::Created, K::Opened, K::Modified, K::ClosedAfterWriting}, "write"}}, 3001},
        {"moved in", {{1000, {K::MovedIn}, "move-in"}}, 3001},
        {"still open for writing", {{1000, {K::Created, K::Opened, K::Modified}, "write"}}, -1},
        {"written in pieces, then closed",
         {{1000, {K::Created, K::Opened, K::Modified}, "write"}, {5000, {K::Modified}, ""},
          {9000, {K::ClosedAfterWriting}, ""}},
         11001},
        {"reopened for writing before its settle time",
         {{1000, {K::Created, K::Opened, K::Modified, K::ClosedAfterWriting}, "write"}, {2000, {K::Opened}, ""},
          {5000, {}, ""}, {10000, {K::ClosedAfterWriting}, ""}},
         12001},
        {"opened for reading meanwhile",
         {{1000, {K::Created, K::Opened, K::Modified, K::ClosedAfterWriting}, "write"}, {2000, {K::Opened}, ""},
          {5000, {}, ""}, {6000, {K::ClosedUnwritten}, ""}},
         6000},
        {"changed without an event", {{1000, {K::MovedIn}, "move-in"}, {2000, {}, "touch"}}, 5002},
        {"touched", {{1000, {K::MovedIn}, "move-in"}, {2000, {K::AttributesChanged}, "touch"}}, 4001},
        {"deleted before its settle time", {{1000, {K::MovedIn}, "move-in"}, {2000, {K::Gone}, "delete"}}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        const std::string staged = root + "/staged.mpd";
        const std::string proposed = WriteSample(staged, 7);
        for (const TStep& step : c.steps) {
            std::vector<TFolderEvent> list;
            for (TFolderEvent::TKind kind : step.kinds)
                list.push_back(Event(kind, name));
            const std::string action = step.action;
            const std::string path = InFolder(name);
            rig->events.At(TMs(step.at), list, [=] {
                if (action == "write")
                    std::filesystem::copy_file(staged, path);
                else if (action == "move-in")
                    std::filesystem::rename(staged, path);
                else if (action == "touch")
                    std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - 2h);
                else if (action == "delete")
                    std::filesystem::remove(path);
            });
        }
        EXPECT_EQ(Run(), TFolderWatch::TEnd::Stopped);
        if (c.named < 0) {
            EXPECT_EQ(rig->told.Rows, std::vector<std::string>{});
        } else {
            EXPECT_EQ(rig->told.Rows, std::vector<std::string>{"renamed " + name + " " + proposed});
            EXPECT_EQ(rig->told.Times, std::vector<TMs>{TMs(c.named)});
        }
    }
}

TEST_F(FolderWatchTest, EventsOfSubFoldersAndNamesOutsideTheListingAreIgnored)
{
    using K = TFolderEvent;
    std::filesystem::create_directories(InFolder("dir00001.mpd"));
    WriteText(InFolder("notes.txt"), "hello");
    Write("2004-01-02-00_AIVH.mpd", 4, false);
    rig->events.At(1000ms, {Event(K::Created, "dir00001.mpd", true), Event(K::ClosedAfterWriting, "notes.txt"),
                       Event(K::ClosedAfterWriting, "2004-01-02-00_AIVH.mpd"), Event(K::ClosedAfterWriting, "img00001.mpd.part")});
    EXPECT_EQ(Run(), TFolderWatch::TEnd::Stopped);
    EXPECT_EQ(rig->readers.Submitted, std::vector<std::string>{"2004-01-02-00_AIVH.mpd"}); // by the first pass only
    EXPECT_EQ(rig->told.Rows, std::vector<std::string>{});
    EXPECT_EQ(rig->clock.Elapsed(), 1000ms); // nothing left waiting
}

TEST_F(FolderWatchTest, AStopIsHonouredBeforeTheNextRename)
{
    const std::string a = Write("a0000001.mpd", 1);
    Write("b0000001.mpd", 2);
    rig->journal.AfterOutcome = [] { RequestStop(); };
    rig->events.At(1000ms, {Event(TFolderEvent::MovedIn, "c0000001.mpd")}, [&] { Write("c0000001.mpd", 3); });

    EXPECT_EQ(Run(), TFolderWatch::TEnd::Stopped);
    EXPECT_EQ(rig->told.Rows, std::vector<std::string>{"renamed a0000001.mpd " + a}); // the rows left alone are not told
    EXPECT_EQ(rig->journal.Calls,
              (std::vector<std::string>{"begin 2", "intent a0000001.mpd", "renamed a0000001.mpd", "end"}));
    EXPECT_TRUE(std::filesystem::exists(InFolder("b0000001.mpd")));
    EXPECT_EQ(rig->clock.Elapsed(), 0ms); // the watch ended before its loop
}

// The files of a batch that could not be journaled are tried again, after a
// growing pause, until the journal takes them.
TEST_F(FolderWatchTest, AJournalThatCannotBeWrittenRenamesNothingAndIsTriedAgain)
{
    const std::string a = Write("a0000001.mpd", 1);
    const std::string b = Write("b0000001.mpd", 2);
    const std::string full = "cannot write /state/journal.jsonl: No space left on device";
    rig->journal.BeginError = full;
    rig->events.At(5000ms, {}, [&] {
        EXPECT_EQ(Listing(), (std::vector<std::string>{"a0000001.mpd", "b0000001.mpd"}));
        rig->journal.BeginError.clear();
    });
    EXPECT_EQ(Run(), TFolderWatch::TEnd::Stopped);
    EXPECT_EQ(rig->told.Rows, (std::vector<std::string>{"renamed a0000001.mpd " + a, "renamed b0000001.mpd " + b}));
    const std::string said = full + "; nothing renamed; trying again in ";
    EXPECT_EQ(rig->told.Messages, (std::vector<std::string>{said + "1 s", said + "2 s", said + "4 s"}));
    EXPECT_EQ(Batches(), 1);
}

TEST_F(FolderWatchTest, TheRetryPauseGrowsToAMinute)
{
    const std::pair<int, int> cases[] = {{1, 1}, {2, 2}, {3, 4}, {6, 32}, {7, 60}, {8, 60}, {100000, 60}};
    for (const auto& [failures, seconds] : cases)
        EXPECT_EQ(TFolderWatch::RetryDelay(failures).count(), seconds) << failures;
}

// A file an undo gave back its name is left alone, in the first pass as later.
TEST_F(FolderWatchTest, AFileAnUndoGaveBackItsNameIsLeftAlone)
{
    Write("undone01.mpd", 1);
    const std::string other = Write("other001.mpd", 2);
    rig->events.At(1000ms, {Event(TFolderEvent::MovedIn, "undone02.mpd")}, [&] { Write("undone02.mpd", 3); });
    restoredCheck = [](const std::string& name) { return name.rfind("undone", 0) == 0; };
    EXPECT_EQ(Run(), TFolderWatch::TEnd::Stopped);
    EXPECT_EQ(rig->told.Rows, std::vector<std::string>{"renamed other001.mpd " + other});
    EXPECT_EQ(rig->told.Messages, (std::vector<std::string>{"undone01.mpd: left as it is: an undo gave it this name",
                                                            "undone02.mpd: left as it is: an undo gave it this name"}));
}

// A file that goes away while its header is read has its read cancelled.
TEST_F(FolderWatchTest, TheReadOfAFileThatWentAwayIsCancelled)
{
    rig->readers.Held = {"gone0001.mpd"};
    rig->events.At(1000ms, {Event(TFolderEvent::MovedIn, "gone0001.mpd")}, [&] { Write("gone0001.mpd", 1); });
    rig->events.At(4000ms, {Event(TFolderEvent::Gone, "gone0001.mpd")},
                   [&] { std::filesystem::remove(InFolder("gone0001.mpd")); });
    EXPECT_EQ(Run(), TFolderWatch::TEnd::Stopped);
    EXPECT_EQ(rig->readers.Cancelled, std::vector<std::string>{"gone0001.mpd"});
}

// One slow file (a huge file without a header frame is searched to its end)
// holds up no other, in the first pass as later.
TEST_F(FolderWatchTest, ASlowHeaderHoldsUpNoOtherFile)
{
    const std::string huge = Write("huge0001.mpd", 1);
    const std::string marker = Write("marker01.mpd", 2);
    rig->readers.Held = {"huge0001.mpd", "slow0002.mpd"};
    std::string late, slow;
    rig->events.At(2000ms, {Event(TFolderEvent::MovedIn, "late0001.mpd")}, [&] { late = Write("late0001.mpd", 3); });
    rig->events.At(3000ms, {Event(TFolderEvent::MovedIn, "slow0002.mpd")}, [&] { slow = Write("slow0002.mpd", 4); });
    rig->events.At(9000ms, {}, [&] { rig->readers.Release("huge0001.mpd"); });
    rig->events.At(10000ms, {}, [&] { rig->readers.Release("slow0002.mpd"); });

    EXPECT_EQ(Run(), TFolderWatch::TEnd::Stopped);
    EXPECT_EQ(rig->told.Rows,
              (std::vector<std::string>{"renamed marker01.mpd " + marker, "renamed late0001.mpd " + late,
                                        "renamed huge0001.mpd " + huge, "renamed slow0002.mpd " + slow}));
    // The first pass waits FirstPassGrace after the last header that came in.
    EXPECT_EQ(rig->told.Times, (std::vector<TMs>{TFolderWatch::FirstPassGrace, 4001ms, 9000ms, 10000ms}));
    EXPECT_EQ(Batches(), 4);
}

TEST_F(FolderWatchTest, AFileChangedWhileItsHeaderIsReadIsReadAgain)
{
    using K = TFolderEvent;
    rig->readers.Held = {"again001.mpd"};
    std::string proposed;
    rig->events.At(1000ms, {Event(K::MovedIn, "again001.mpd")}, [&] { Write("again001.mpd", 1); });
    // Submitted at 3 s; written again at 4 s, while still being read.
    rig->events.At(4000ms, {Event(K::Opened, "again001.mpd"), Event(K::ClosedAfterWriting, "again001.mpd")},
              [&] { proposed = Write("again001.mpd", 2); });
    rig->events.At(5000ms, {}, [&] { rig->readers.Release("again001.mpd"); });

    EXPECT_EQ(Run(), TFolderWatch::TEnd::Stopped);
    EXPECT_EQ(rig->readers.Submitted, (std::vector<std::string>{"again001.mpd", "again001.mpd"}));
    EXPECT_EQ(rig->told.Rows, std::vector<std::string>{"renamed again001.mpd " + proposed}); // the new contents' name
    EXPECT_EQ(rig->told.Times, std::vector<TMs>{6001ms});
}

// A file replaced after its header was read, before the rename, keeps its name.
TEST_F(FolderWatchTest, AFileReplacedAfterItsHeaderWasReadIsNotRenamed)
{
    rig->readers.Held = {"swap0001.mpd"};
    std::string proposed;
    rig->events.At(1000ms, {Event(TFolderEvent::MovedIn, "swap0001.mpd")}, [&] { proposed = Write("swap0001.mpd", 1); });
    rig->events.At(5000ms, {}, [&] {
        rig->readers.Release("swap0001.mpd");
        WriteSample(root + "/other.mpd", 9);
        std::filesystem::rename(root + "/other.mpd", InFolder("swap0001.mpd"));
    });
    EXPECT_EQ(Run(), TFolderWatch::TEnd::Stopped);
    EXPECT_EQ(rig->told.Rows, std::vector<std::string>{"failed swap0001.mpd " + proposed});
    EXPECT_EQ(Listing(), std::vector<std::string>{"swap0001.mpd"});
}

TEST_F(FolderWatchTest, AHeaderThatCannotBeReadIsToldUnlessAStopEndedItsRead)
{
    rig->readers.Errors["bad00001.mpd"] = "cannot read bad00001.mpd: Input/output error";
    rig->events.At(1000ms, {Event(TFolderEvent::MovedIn, "bad00001.mpd")}, [&] { Write("bad00001.mpd", 1); });
    rig->readers.Errors["stop0001.mpd"] = "stopped";
    rig->events.At(5000ms, {Event(TFolderEvent::MovedIn, "stop0001.mpd")}, [&] { Write("stop0001.mpd", 2); });
    rig->events.At(7001ms, {}, [] { RequestStop(); });
    EXPECT_EQ(Run(), TFolderWatch::TEnd::Stopped);
    EXPECT_EQ(rig->told.Messages, std::vector<std::string>{"cannot read bad00001.mpd: Input/output error"});
    EXPECT_EQ(rig->told.Rows, std::vector<std::string>{});
}

TEST_F(FolderWatchTest, TheFolderItself)
{
    using K = TFolderEvent;
    struct Case {
        const char* what;
        std::vector<TFolderEvent> events;
        TFolderWatch::TEnd end;
        std::vector<std::string> messages;
        size_t renamed;
    } cases[] = {
        // Events were lost: every file is looked at again after its settle time.
        {"overflow", {Event(K::Overflow)}, TFolderWatch::TEnd::Stopped, {}, 1},
        {"gone", {Event(K::FolderGone)}, TFolderWatch::TEnd::Failed, {"folder " + folder + " went away"}, 0},
        {"still readable", {Event(K::FolderChanged)}, TFolderWatch::TEnd::Stopped, {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        rig->events.At(1000ms, c.events, [&] { Write("lost0001.mpd", 1); });
        EXPECT_EQ(Run(), c.end);
        EXPECT_EQ(rig->told.Messages, c.messages);
        EXPECT_EQ(rig->told.Rows.size(), c.renamed);
    }
}

TEST_F(FolderWatchTest, AFolderThatCannotBeWatchedEndsTheWatch)
{
    rig->events.StartError = "cannot watch folder " + folder + ": No space left on device";
    EXPECT_EQ(Run(), TFolderWatch::TEnd::Failed);
    EXPECT_EQ(rig->told.Messages, std::vector<std::string>{rig->events.StartError});

    Fresh();
    std::filesystem::remove_all(folder);
    EXPECT_EQ(Run(), TFolderWatch::TEnd::Failed);
    EXPECT_EQ(rig->told.Messages, std::vector<std::string>{"cannot read folder " + folder + ": No such file or directory"});
    EXPECT_EQ(rig->events.Started, "");
}

TEST_F(FolderWatchTest, WaitForFolderLooksEverySecondAndSaysSoOnce)
{
    struct Case {
        const char* what;
        int appearsAt; // ms, -1: never
        int stopAt;    // ms, -1: never
        bool result;
        TMs waited;
    } cases[] = {
        {"there already", 0, -1, true, 0ms},
        {"appears", 3500, -1, true, 4000ms},
        {"stopped", -1, 2500, false, 2500ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearStopRequest();
        const std::string later = root + "/later-" + std::string(c.what);
        if (c.appearsAt == 0)
            std::filesystem::create_directories(later);
        TFakeClock waitClock;
        TTold waitTold(waitClock);
        waitClock.OnSleep = [&] {
            if (c.appearsAt > 0 && waitClock.Elapsed() >= TMs(c.appearsAt))
                std::filesystem::create_directories(later);
            if (c.stopAt > 0 && waitClock.Elapsed() >= TMs(c.stopAt))
                RequestStop();
        };
        EXPECT_EQ(TFolderWatch::WaitForFolder(later, waitClock, waitTold), c.result);
        EXPECT_EQ(waitClock.Elapsed(), c.waited);
        if (c.appearsAt == 0)
            EXPECT_EQ(waitTold.Messages, std::vector<std::string>{});
        else
            EXPECT_EQ(waitTold.Messages, std::vector<std::string>{"waiting for folder " + later + " to appear"});
    }
}

// The real readers: every submitted file comes back once, listed or not.
TEST_F(FolderWatchTest, TheWorkerThreadsReadEveryHeaderSubmitted)
{
    std::map<std::string, std::string> expected; // name -> proposed, "" when not listed
    for (int i = 0; i < 6; ++i) {
        const std::string name = "file000" + std::to_string(i) + ".mpd";
        expected[name] = Write(name, i + 1);
        expected[name].resize(expected[name].size() - 4);
    }
    Write("2004-01-02-00_AIVH.mpd", 1); // a standard name: not opened, not listed
    expected["2004-01-02-00_AIVH.mpd"] = "";
    WriteText(InFolder("garbage1.mpd"), std::string(5000, 'x'));
    expected["garbage1.mpd"] = "";
    std::mutex mutex;
    std::condition_variable done;
    size_t count = 0;
    TWatchReaders workers(folder, [&] {
        std::lock_guard<std::mutex> lock(mutex);
        ++count;
        done.notify_all();
    });
    for (const auto& [name, proposed] : expected)
        workers.Submit(name);
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(done.wait_for(lock, 60s, [&] { return count == expected.size(); }));
    }
    EXPECT_TRUE(workers.Busy("garbage1.mpd")); // until its result is taken
    std::map<std::string, std::string> got;
    for (const TWatchHeader& h : workers.Take()) {
        EXPECT_EQ(h.Error.empty(), h.Name != "garbage1.mpd") << h.Name << ": " << h.Error;
        EXPECT_EQ(h.Listed, !h.Proposed.empty()) << h.Name;
        got[h.Name] = h.Proposed;
    }
    EXPECT_EQ(got, expected);
    EXPECT_FALSE(workers.Busy("garbage1.mpd"));
    EXPECT_TRUE(workers.Finish(10s));
}

// The real readers: files whose header search takes long (five, more than
// Workers) hold up no file that comes later, and a search whose file went
// away ends at once.
TEST_F(FolderWatchTest, SlowSearchesHoldUpNoNewFileAndEndWhenCancelled)
{
    const std::string proposed = Write("file0001.mpd", 1);
    std::mutex mutex;
    std::condition_variable changed;
    int searching = 0;
    TWatchReaders readers(
        folder,
        [&] {
            std::lock_guard<std::mutex> lock(mutex);
            changed.notify_all();
        },
        [&](const std::string& dir, const std::string& name, const std::atomic<bool>* cancel) {
            if (name.rfind("huge", 0) != 0)
                return ReadWatchHeader(dir, name, cancel);
            {
                std::lock_guard<std::mutex> lock(mutex);
                ++searching;
                changed.notify_all();
            }
            while (!cancel->load())
                std::this_thread::sleep_for(1ms); // searching until cancelled
            TWatchHeader ended;
            ended.Name = name;
            ended.Error = "stopped";
            return ended;
        });
    const int slow = TWatchReaders::Workers + 1;
    for (int i = 0; i < slow; ++i)
        readers.Submit("huge000" + std::to_string(i) + ".mpd");
    {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return searching == slow; });
    }
    readers.Submit("file0001.mpd");
    std::vector<TWatchHeader> got;
    while (got.empty()) {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait_for(lock, 10ms);
        lock.unlock();
        got = readers.Take();
    }
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].Proposed + ".mpd", proposed);
    for (int i = 0; i < slow; ++i) {
        const std::string name = "huge000" + std::to_string(i) + ".mpd";
        readers.Cancel(name);
        while (readers.Busy(name))
            std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(readers.Take().empty()); // a cancelled read tells nothing
    EXPECT_TRUE(readers.Finish(10s));
}

// The real events: inotify's report of a file written and closed, of one
// moved in, and a wake from another thread.
TEST_F(FolderWatchTest, InotifyReportsWritingClosingMovingInAndWakes)
{
    TInotifyFolderEvents missing;
    EXPECT_EQ(missing.Start(root + "/none"), "cannot watch folder " + root + "/none: No such file or directory");

    TInotifyFolderEvents inotify;
    ASSERT_EQ(inotify.Start(folder), "");
    WriteText(InFolder("w.mpd"), "data");
    WriteText(root + "/m.mpd", "data");
    std::filesystem::rename(root + "/m.mpd", InFolder("m.mpd"));
    std::filesystem::create_directories(InFolder("sub"));
    std::vector<std::string> seen;
    std::vector<TFolderEvent> got;
    while (seen.size() < 6) {
        got.clear();
        IFolderEvents::TWaitResult r = inotify.Wait(10s, true, got);
        ASSERT_EQ(r.Error, "");
        ASSERT_FALSE(got.empty()) << "no events";
        for (const TFolderEvent& e : got)
            seen.push_back(e.Name + " " + std::to_string(e.Kind) + (e.IsFolder ? " folder" : ""));
    }
    const auto k = [](TFolderEvent::TKind kind) { return std::to_string(kind); };
    EXPECT_EQ(seen, (std::vector<std::string>{"w.mpd " + k(TFolderEvent::Created), "w.mpd " + k(TFolderEvent::Opened),
                                              "w.mpd " + k(TFolderEvent::Modified),
                                              "w.mpd " + k(TFolderEvent::ClosedAfterWriting),
                                              "m.mpd " + k(TFolderEvent::MovedIn),
                                              "sub " + k(TFolderEvent::Created) + " folder"}));

    std::thread waker([&] { inotify.Wake(); });
    got.clear();
    EXPECT_TRUE(inotify.Wait(TMs(-1), false, got).Woken);
    waker.join();
    EXPECT_TRUE(got.empty());
}

} // namespace
