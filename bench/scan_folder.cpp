// SPDX-License-Identifier: GPL-3.0-or-later
// Scanning a folder of 10,000 sample MPD files the way `quillon-cli scan`
// does (enumerate, sort, read each header, filter, keep the rows), against the
// I/O floor of enumerating the folder and reading the same files' bytes.
// Counters: files/s, and for the scan the peak heap use per file. The scan
// runs with its headers read on one thread (argument 1) and on one thread per
// core (argument 0, reading ahead); the floor is single-threaded.
#include <atomic>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "components/HeaderReadAhead.h"
#include "components/RenameWorkflow.h"
#include "runtime/FileOps.h"
#include "satellite/SampleFiles.h"

namespace {

std::atomic<long long> liveBytes{0};
std::atomic<long long> peakBytes{0};

void Track(long long delta)
{
    long long now = liveBytes.fetch_add(delta) + delta;
    long long peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
}

constexpr int FileCount = 10000;

// Removes the sample folder when the program ends.
struct TSampleFolder {
    std::string Path;
    ~TSampleFolder()
    {
        std::error_code error;
        std::filesystem::remove_all(Path, error);
    }
};

const std::string& SampleFolder()
{
    static const TSampleFolder folder{[] {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-bench-scan-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        for (int i = 0; i < FileCount; ++i) {
            TDateTime when = EncodeDate(1995 + i % 24, 1 + i % 12, 1 + i % 28) + EncodeTime(i % 24, (i * 7) % 60, 0, 0);
            char name[32];
            std::snprintf(name, sizeof name, "%08d.mpd", 7919 * i % 100000000);
            WriteSampleMpd(pattern + "/" + name, 0xD4F7, "AIVH", when);
        }
        return pattern;
    }()};
    return folder.Path;
}

void BM_ScanFolder(benchmark::State& state)
{
    const std::string& folder = SampleFolder();
    long long worstPeak = 0;
    int rows = 0;
    for (auto _ : state) {
        long long base = liveBytes.load();
        peakBytes = base;
        TRenameWorkflow workflow;
        workflow.Folder = folder;
        workflow.ReadAheadThreads = static_cast<int>(state.range(0));
        workflow.RescanFolder();
        rows = workflow.RowCount();
        worstPeak = std::max(worstPeak, peakBytes.load() - base);
        benchmark::DoNotOptimize(rows);
    }
    state.counters["files/s"] = benchmark::Counter(double(FileCount) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["rows"] = rows;
    state.counters["peak_heap_bytes_per_file"] = double(worstPeak) / FileCount;
    state.counters["threads"] = state.range(0) > 0 ? double(state.range(0)) : THeaderReadAhead::DefaultThreads();
}
BENCHMARK(BM_ScanFolder)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The scanner alone (enumerate, stat, sort, report), no header reads.
void BM_EnumerateOnly(benchmark::State& state)
{
    const std::string& folder = SampleFolder();
    int files = 0;
    for (auto _ : state) {
        TTreeScanner scanner;
        scanner.SetFileMask("*.mpd");
        scanner.Recursive = false;
        scanner.InitialDirectory = folder;
        files = 0;
        scanner.OnFileFound = [&](TObject*) { ++files; };
        scanner.Search();
        benchmark::DoNotOptimize(files);
    }
    state.counters["files/s"] = benchmark::Counter(double(files) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EnumerateOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

// The floor: list the folder, then open, read and close every *.mpd file.
void BM_ReadFloor(benchmark::State& state)
{
    const std::string& folder = SampleFolder();
    std::vector<char> buffer(1 << 16);
    long long bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        DIR* dir = opendir(folder.c_str());
        int dirFd = dirfd(dir);
        while (struct dirent* entry = readdir(dir)) {
            if (!MatchesMask(entry->d_name, "*.mpd"))
                continue;
            int fd = openat(dirFd, entry->d_name, O_RDONLY | O_CLOEXEC);
            if (fd < 0)
                continue;
            ssize_t n;
            while ((n = read(fd, buffer.data(), buffer.size())) > 0)
                bytes += n;
            close(fd);
        }
        closedir(dir);
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["files/s"] = benchmark::Counter(double(FileCount) * state.iterations(), benchmark::Counter::kIsRate);
    state.counters["bytes_per_file"] = double(bytes) / FileCount;
}
BENCHMARK(BM_ReadFloor)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

// Heap accounting for the peak-memory counter.
void* operator new(std::size_t size)
{
    void* p = std::malloc(size + 16);
    if (!p)
        throw std::bad_alloc();
    *static_cast<std::size_t*>(p) = size;
    Track(static_cast<long long>(size));
    return static_cast<char*>(p) + 16;
}
void operator delete(void* p) noexcept
{
    if (!p)
        return;
    char* base = static_cast<char*>(p) - 16;
    Track(-static_cast<long long>(*reinterpret_cast<std::size_t*>(base)));
    std::free(base);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }
