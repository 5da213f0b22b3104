// SPDX-License-Identifier: GPL-3.0-or-later
// The catalogue's three speeds, each beside what it is measured against:
//  - FirstUpdate: a new catalogue of 10,000 sample MPD files, against Scan,
//    the scan `quillon-cli scan` runs over the same folder (aim: within 1.5x);
//  - SecondUpdate: an update of 100,000 unchanged files (empty FY-2C HDF
//    files, named from the file name, spread over 100 folders; aim: 1 s);
//  - Find: a query returning 100 rows from a catalogue of 1,000,000 entries
//    (aim: 50 ms).
// Each reports all_cpu_ms, the CPU time of every thread of the process per
// iteration, beside the main thread's (the CPU column).
#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string>
#include <time.h>
#include <unistd.h>

#include "catalog/Catalog.h"
#include "catalog/CatalogQuery.h"
#include "catalog/SqliteCatalogStore.h"
#include "components/RenameWorkflow.h"
#include "satellite/SampleFiles.h"

namespace fs = std::filesystem;

namespace {

struct TScratch {
    std::string Path;
    TScratch()
    {
        std::string pattern = (fs::temp_directory_path() / "quillon-bench-catalog-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        Path = pattern;
    }
    ~TScratch()
    {
        std::error_code error;
        fs::remove_all(Path, error);
    }
};

TScratch& Scratch()
{
    static TScratch scratch;
    return scratch;
}

const std::string& MpdFolder()
{
    static const std::string folder = [] {
        const std::string dir = Scratch().Path + "/mpd";
        fs::create_directories(dir);
        for (int i = 0; i < 10000; ++i) {
            const TDateTime when = EncodeDate(1995 + i % 24, 1 + i % 12, 1 + i % 28) + EncodeTime(i % 24, (i * 7) % 60, 0, 0);
            char name[32];
            std::snprintf(name, sizeof name, "%08d.mpd", 7919 * i % 100000000);
            WriteSampleMpd(dir + "/" + name, 0xD4F7, "AIVH", when);
        }
        return dir;
    }();
    return folder;
}

const std::string& HdfTree()
{
    static const std::string tree = [] {
        const std::string root = Scratch().Path + "/hdf";
        for (int f = 0; f < 100; ++f) {
            const std::string dir = root + "/" + std::to_string(f);
            fs::create_directories(dir);
            for (int i = 0; i < 1000; ++i) {
                const int n = f * 1000 + i;
                char name[64];
                std::snprintf(name, sizeof name, "/FY2C_%04d%02d%02d_%02d%02d.hdf", 2005 + n / 17000, 1 + n / 1400 % 12,
                              1 + n / 48 % 28, n / 2 % 24, n % 2 * 30);
                const int fd = ::open((dir + name).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
                ::close(fd);
            }
        }
        return root;
    }();
    return tree;
}

// CPU seconds of every thread of the process so far: the bench's own CPU
// column is the main thread's alone, and the header readers work on others.
double ProcessCpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Adds the counter "all_cpu_ms": process CPU per iteration, in ms.
class TProcessCpu {
public:
    explicit TProcessCpu(benchmark::State& state) : state_(state) {}
    void Start() { start_ = ProcessCpuSeconds(); }
    void Stop() { total_ += ProcessCpuSeconds() - start_; }
    ~TProcessCpu()
    {
        if (state_.iterations() > 0)
            state_.counters["all_cpu_ms"] = total_ * 1000 / static_cast<double>(state_.iterations());
    }

private:
    benchmark::State& state_;
    double start_ = 0, total_ = 0;
};

std::unique_ptr<TSqliteCatalogStore> FreshStore(const std::string& db)
{
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(db + suffix);
    TCatalogOpenOptions o;
    o.Create = true;
    return std::make_unique<TSqliteCatalogStore>(db, o);
}

void Scan(benchmark::State& state)
{
    const std::string dir = MpdFolder();
    TProcessCpu cpu(state);
    for (auto _ : state) {
        cpu.Start();
        TRenameWorkflow workflow;
        workflow.Folder = dir;
        workflow.RescanFolder();
        benchmark::DoNotOptimize(workflow.RowCount());
        cpu.Stop();
    }
    state.counters["files/s"] = benchmark::Counter(10000, benchmark::Counter::kIsIterationInvariantRate);
}

void FirstUpdate(benchmark::State& state)
{
    const std::string root = ResolveCatalogRoot(MpdFolder());
    const std::string db = Scratch().Path + "/first.sqlite";
    TProcessCpu cpu(state);
    for (auto _ : state) {
        state.PauseTiming();
        auto store = FreshStore(db);
        state.ResumeTiming();
        cpu.Start();
        const TCatalogUpdateCounts c = UpdateCatalog(*store, {root});
        cpu.Stop();
        if (c.Added != 10000)
            state.SkipWithError("not every file was added");
    }
    state.counters["files/s"] = benchmark::Counter(10000, benchmark::Counter::kIsIterationInvariantRate);
}

void SecondUpdate(benchmark::State& state)
{
    const std::string root = ResolveCatalogRoot(HdfTree());
    const std::string db = Scratch().Path + "/second.sqlite";
    auto store = FreshStore(db);
    UpdateCatalog(*store, {root});
    store.reset();
    TProcessCpu cpu(state);
    for (auto _ : state) {
        state.PauseTiming();
        TCatalogOpenOptions o;
        auto again = std::make_unique<TSqliteCatalogStore>(db, o);
        state.ResumeTiming();
        cpu.Start();
        const TCatalogUpdateCounts c = UpdateCatalog(*again, {root});
        cpu.Stop();
        if (c.Unchanged != 100000)
            state.SkipWithError("not every file was unchanged");
    }
    state.counters["files/s"] = benchmark::Counter(100000, benchmark::Counter::kIsIterationInvariantRate);
}

void Find(benchmark::State& state)
{
    const std::string db = Scratch().Path + "/entries.sqlite";
    auto store = FreshStore(db);
    // A million entries: four satellites, one file each per half-hour slot.
    const int64_t start = 1104537600;   // 2005-01-01
    store->Begin();
    TCatalogEntry e;
    e.Format = "MPD";
    e.ImageFormat = "AIVH";
    const int64_t entries = state.range(0);
    for (int64_t i = 0; i < entries; ++i) {
        char path[48];
        std::snprintf(path, sizeof path, "/archive/%04lld/%07lld.mpd", static_cast<long long>(i / 1000),
                      static_cast<long long>(i));
        e.Path = path;
        e.Identity.Inode = static_cast<uint64_t>(i + 1);
        e.Identity.Size = 4368;
        e.SatelliteCode = 4 + static_cast<int>(i % 4);
        e.Acquired = start + i / 4 * 1800;
        e.AcquiredIso = IsoFromSeconds(*e.Acquired);
        e.StandardName = e.AcquiredIso;
        store->Put(e);
        if (i % 50000 == 49999) {
            store->Commit();
            store->Begin();
        }
    }
    store->Commit();
    TCatalogFilter filter;
    filter.SatelliteCode = 6;
    filter.From = start + entries / 8 * 1800;
    filter.To = *filter.From + 100 * 1800;
    for (auto _ : state) {
        int rows = 0;
        store->Select(filter, [&](const TCatalogEntry&) {
            ++rows;
            return true;
        });
        if (rows != 100)
            state.SkipWithError("the query did not return 100 rows");
    }
}

} // namespace

BENCHMARK(Scan)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
BENCHMARK(FirstUpdate)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
BENCHMARK(SecondUpdate)->Unit(benchmark::kMillisecond)->Iterations(3);
// 1,000,000 entries is the aim's size; 100,000 fills in a fraction of the time.
BENCHMARK(Find)->Unit(benchmark::kMillisecond)->MinTime(1)->Arg(100000)->Arg(1000000);
