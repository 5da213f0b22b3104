// SPDX-License-Identifier: GPL-3.0-or-later
// Filing against its peers, as ratios of wall time:
//  - 10,000 sample files filed into {yyyy}/{mm}/{dd} on their own file
//    system (list, read headers, plan, journaled moves) against renaming
//    them in place (the rename command's scan and journaled batch);
//  - 1,000 files of 1 MB filed onto another file system (copy, flush,
//    compare, rename into place, remove the source, all journaled) against
//    `cp` of the same files followed by `rm` of the sources;
//  - a batch of the watch, 10,000 files whose headers its readers read,
//    filed into {yyyy}/{mm}/{dd} against renamed in place;
//  - one poll of a folder of 20,000 settled files (half standard-named)
//    against a bare listing with a stat of each entry.
// Every run starts from a fresh copy of its files (not timed). The source
// folder is $QUILLON_BENCH_SOURCE (default the temporary folder), the other
// file system $QUILLON_BENCH_OTHER (default /dev/shm); the journals go to a
// state folder beside the source.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include "components/Filing.h"
#include "components/FolderPoll.h"
#include "components/FolderWatch.h"
#include "components/FilingPlan.h"
#include "components/Journal.h"
#include "components/RenameWorkflow.h"
#include "satellite/SampleFiles.h"

namespace fs = std::filesystem;

namespace {

std::string Base(const char* variable, const std::string& fallback)
{
    const char* value = std::getenv(variable);
    return value && *value ? value : fallback;
}

std::string Scratch(const std::string& base)
{
    std::string pattern = base + "/quillon-bench-filing-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        std::abort();
    return pattern;
}

// count sample files in folder, each with its own standard name; each padded
// to padTo bytes.
void WriteSamples(const std::string& folder, int count, size_t padTo)
{
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        // One half-hour slot each, 5 minutes in: every standard name differs.
        TDateTime when = EncodeDate(1995, 1, 1) + i / 48.0 + EncodeTime(0, 5, 0, 0);
        TByteVector bytes = BuildFramedFile(MakeSampleHeader(0xD4F7, "AIVH", when));
        if (bytes.size() < padTo)
            bytes.resize(padTo, static_cast<uint8_t>(i));
        char name[32];
        std::snprintf(name, sizeof name, "%08d.mpd", 7919 * i % 100000000);
        WriteFileBytes(folder + "/" + name, bytes);
    }
}

struct TRun {
    std::string Root, Source, State;
    explicit TRun(const std::string& base) : Root(Scratch(base)), Source(Root + "/in"), State(Root + "/state")
    {
        ::setenv("XDG_STATE_HOME", State.c_str(), 1);
    }
    ~TRun()
    {
        std::error_code error;
        fs::remove_all(Root, error);
    }
};

void BM_RenameInPlace(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto run = std::make_unique<TRun>(Base("QUILLON_BENCH_SOURCE", fs::temp_directory_path().string()));
        WriteSamples(run->Source, 10000, 0);
        state.ResumeTiming();
        TRenameWorkflow workflow;
        workflow.Folder = run->Source;
        workflow.RescanFolder();
        TRenameJournal journal;
        auto outcomes = workflow.RenameRows(&journal);
        benchmark::DoNotOptimize(outcomes);
        state.PauseTiming();
        run.reset();
        state.ResumeTiming();
    }
    state.counters["files/s"] = benchmark::Counter(10000, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_FileIntoDatedFolders(benchmark::State& state)
{
    const TFilingPattern pattern = TFilingPattern::Parse("{yyyy}/{mm}/{dd}");
    for (auto _ : state) {
        state.PauseTiming();
        auto run = std::make_unique<TRun>(Base("QUILLON_BENCH_SOURCE", fs::temp_directory_path().string()));
        WriteSamples(run->Source, 10000, 0);
        state.ResumeTiming();
        const std::string dir = NormalizeJournalFolder(run->Source);
        TFilingPlan plan = PlanFiling({dir}, pattern, dir);
        {
            TFilingJournal journal;
            auto outcomes = RunFiling(journal, dir, dir, plan.Moves);
            benchmark::DoNotOptimize(outcomes);
        }
        state.PauseTiming();
        if (plan.Moves.size() < 9000)
            state.SkipWithError("fewer files filed than written");
        run.reset();
        state.ResumeTiming();
    }
    state.counters["files/s"] = benchmark::Counter(10000, benchmark::Counter::kIsIterationInvariantRate);
}

// A batch of the watch: the headers of 10,000 arrived files read as the
// watch's readers read them, the rows made of them, and then the batch
// filed into dated folders, against the same batch renamed in place.
constexpr int WatchCount = 10000;

void WatchRows(const std::string& folder, TRenameWorkflow& rows)
{
    rows.Folder = folder;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const TWatchHeader header = ReadWatchHeader(folder, name, nullptr, true);
        if (header.Info)
            rows.AddRow(header.Name, *header.Info);
    }
}

void BM_WatchBatchRenamedInPlace(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto run = std::make_unique<TRun>(Base("QUILLON_BENCH_SOURCE", fs::temp_directory_path().string()));
        WriteSamples(run->Source, WatchCount, 0);
        state.ResumeTiming();
        TRenameWorkflow rows;
        WatchRows(NormalizeJournalFolder(run->Source), rows);
        TRenameJournal journal;
        auto outcomes = rows.RenameRows(&journal);
        benchmark::DoNotOptimize(outcomes);
        state.PauseTiming();
        run.reset();
        state.ResumeTiming();
    }
    state.counters["files/s"] = benchmark::Counter(WatchCount, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_WatchBatchFiled(benchmark::State& state)
{
    const TFilingPattern pattern = TFilingPattern::Parse("{yyyy}/{mm}/{dd}");
    for (auto _ : state) {
        state.PauseTiming();
        auto run = std::make_unique<TRun>(Base("QUILLON_BENCH_SOURCE", fs::temp_directory_path().string()));
        WriteSamples(run->Source, WatchCount, 0);
        state.ResumeTiming();
        const std::string dir = NormalizeJournalFolder(run->Source);
        TRenameWorkflow rows;
        WatchRows(dir, rows);
        std::vector<TRenameOutcome> outcomes;
        {
            TFilingJournal journal;
            outcomes = FileRows(journal, pattern, dir, dir, rows);
        }
        state.PauseTiming();
        if (std::count_if(outcomes.begin(), outcomes.end(), [](const TRenameOutcome& o) { return o.Renamed; }) <
            WatchCount * 9 / 10)
            state.SkipWithError("fewer files filed than written");
        run.reset();
        state.ResumeTiming();
    }
    state.counters["files/s"] = benchmark::Counter(WatchCount, benchmark::Counter::kIsIterationInvariantRate);
}

constexpr int BigCount = 1000;
constexpr size_t BigSize = 1 << 20;

void BM_CopyAndRemove(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto run = std::make_unique<TRun>(Base("QUILLON_BENCH_SOURCE", fs::temp_directory_path().string()));
        const std::string other = Scratch(Base("QUILLON_BENCH_OTHER", "/dev/shm"));
        WriteSamples(run->Source, BigCount, BigSize);
        state.ResumeTiming();
        const std::string command = "cd '" + run->Source + "' && cp -- *.mpd '" + other + "/' && rm -f -- *.mpd";
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("cp or rm failed");
        state.PauseTiming();
        fs::remove_all(other);
        run.reset();
        state.ResumeTiming();
    }
    state.counters["MB/s"] = benchmark::Counter(BigCount * (BigSize / 1e6), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_FileOntoAnotherFileSystem(benchmark::State& state)
{
    const TFilingPattern pattern = TFilingPattern::Parse("{yyyy}/{mm}/{dd}");
    for (auto _ : state) {
        state.PauseTiming();
        auto run = std::make_unique<TRun>(Base("QUILLON_BENCH_SOURCE", fs::temp_directory_path().string()));
        const std::string other = Scratch(Base("QUILLON_BENCH_OTHER", "/dev/shm"));
        WriteSamples(run->Source, BigCount, BigSize);
        struct stat a{}, b{};
        ::stat(run->Source.c_str(), &a);
        ::stat(other.c_str(), &b);
        if (a.st_dev == b.st_dev)
            state.SkipWithError("the destination is on the same file system");
        state.ResumeTiming();
        const std::string dir = NormalizeJournalFolder(run->Source);
        TFilingPlan plan = PlanFiling({dir}, pattern, other);
        std::vector<TFilingOutcome> outcomes;
        {
            TFilingJournal journal;
            outcomes = RunFiling(journal, dir, other, plan.Moves);
        }
        state.PauseTiming();
        // Every byte arrived: the moves compared each copy with its source.
        uintmax_t bytes = 0;
        for (const auto& e : fs::recursive_directory_iterator(other))
            if (e.is_regular_file())
                bytes += e.file_size();
        std::string error;
        for (const auto& o : outcomes)
            if (!o.Moved && error.empty())
                error = "not moved: " + o.Old + ": " + o.Reason;
        if (error.empty() && bytes != uintmax_t(BigCount) * BigSize)
            error = "bytes missing at the destination: " + std::to_string(bytes);
        fs::remove_all(other);
        run.reset();
        if (!error.empty()) {
            state.SkipWithError(error.c_str());
            break;
        }
        state.ResumeTiming();
    }
    state.counters["MB/s"] = benchmark::Counter(BigCount * (BigSize / 1e6), benchmark::Counter::kIsIterationInvariantRate);
}

// A folder of 20,000 settled files as a watch that files leaves them: half
// with standard names (files `watch --into` read once and left: unreadable,
// or already at their target), half not.
void WriteSettledFolder(const std::string& folder)
{
    fs::create_directories(folder);
    for (int i = 0; i < 20000; ++i) {
        char name[40];
        if (i % 2)
            std::snprintf(name, sizeof name, "%08d.mpd", i);
        else
            std::snprintf(name, sizeof name, "%04d-%02d-%02d-%02d_AIVH.mpd", 1990 + i / 8064, 1 + i / 672 % 12,
                          1 + i / 24 % 28, i % 24);
        std::FILE* f = std::fopen((folder + "/" + name).c_str(), "w");
        if (!f)
            std::abort();
        std::fclose(f);
    }
}

// One listing of that folder, as `watch --poll` makes it every SECONDS: CPU
// time per poll. No file changed, so no event, and the watch reads a header
// only for an event: none is read, standard-named or not.
void BM_PollSettledFolder(benchmark::State& state)
{
    TRun run(Base("QUILLON_BENCH_SOURCE", fs::temp_directory_path().string()));
    WriteSettledFolder(run.Source);
    TPollFolderEvents poll(std::chrono::milliseconds(1000));
    if (!poll.Start(run.Source).empty())
        state.SkipWithError("cannot list the folder");
    std::vector<TFolderEvent> events;
    for (auto _ : state) {
        poll.Poll(events);
        benchmark::DoNotOptimize(events);
    }
    if (!events.empty())
        state.SkipWithError("a settled file was reported");
    state.counters["events"] = static_cast<double>(events.size());
}

// Its peer: the least any poll must do, one listing and a stat of each entry
// (what `ls -l` does), with nothing compared or kept.
void BM_PollPeerListAndStat(benchmark::State& state)
{
    TRun run(Base("QUILLON_BENCH_SOURCE", fs::temp_directory_path().string()));
    WriteSettledFolder(run.Source);
    for (auto _ : state) {
        DIR* dir = ::opendir(run.Source.c_str());
        if (!dir)
            std::abort();
        long long bytes = 0;
        while (const dirent* entry = ::readdir(dir)) {
            struct stat info {};
            if (entry->d_name[0] != '.' && ::fstatat(::dirfd(dir), entry->d_name, &info, 0) == 0)
                bytes += info.st_size;
        }
        ::closedir(dir);
        benchmark::DoNotOptimize(bytes);
    }
}

} // namespace

BENCHMARK(BM_PollSettledFolder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PollPeerListAndStat)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenameInPlace)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_FileIntoDatedFolders)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_WatchBatchRenamedInPlace)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_WatchBatchFiled)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_CopyAndRemove)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_FileOntoAnotherFileSystem)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
