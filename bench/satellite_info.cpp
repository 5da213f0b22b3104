// SPDX-License-Identifier: GPL-3.0-or-later
// Identifying sample MPD files with ReadSatelliteFileInfo against the I/O
// floor: opening each file, reading all its bytes with plain read() calls and
// closing it. Two sets of files:
//  - "first": 10,000 files whose header is in the first frame and whose first
//    three copies agree (12 frames, 4368 bytes each);
//  - "never": files whose header copies never agree, so the search reads all
//    61 tries before settling (252 frames, 91728 bytes each); 1,000 distinct
//    files visited ten times per pass, 10,000 identifications in all.
// BM_Identify asks for the report lines (as `info` does), BM_IdentifyNoReport
// does not (as a scan does).
// Run: bench_satellite_info --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// Items per second are files per second; the ratio is floor files/s over
// identify files/s for the same set.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/Classes.h"
#include "runtime/SysUtils.h"
#include "satellite/SampleFiles.h"
#include "satellite/SatelliteInfo.h"

namespace {

constexpr int FirstSetFiles = 10000;
constexpr int NeverSetFiles = 1000;
constexpr int NeverSetPasses = 10;

struct TFileSets {
    std::filesystem::path Folder;
    std::vector<std::string> First;
    std::vector<std::string> Never;

    TFileSets()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-bench-satinfo-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        Folder = pattern;
        for (int i = 0; i < FirstSetFiles; ++i) {
            TSampleHeader h = WorkedExampleHeader();
            h.DayOfYear = static_cast<uint16_t>(1 + i % 365);
            h.Time = static_cast<uint16_t>((i % 24) * 100 + i % 60);
            const std::string file = (Folder / ("f" + std::to_string(i) + ".mpd")).string();
            WriteFileBytes(file, BuildFramedFile(h));
            First.push_back(file);
        }
        TFramedOptions never;
        never.NeverAgree = true;
        for (int i = 0; i < NeverSetFiles; ++i) {
            TSampleHeader h = WorkedExampleHeader();
            h.DayOfYear = static_cast<uint16_t>(1 + i % 365);
            const std::string file = (Folder / ("n" + std::to_string(i) + ".mpd")).string();
            WriteFileBytes(file, BuildFramedFile(h, never));
            Never.push_back(file);
        }
    }
    ~TFileSets()
    {
        std::error_code ec;
        std::filesystem::remove_all(Folder, ec);
    }
};

TFileSets& Sets()
{
    static TFileSets sets;
    return sets;
}

const std::vector<std::string>& SetFor(int which)
{
    return which == 0 ? Sets().First : Sets().Never;
}

int PassesFor(int which)
{
    return which == 0 ? 1 : NeverSetPasses;
}

void Identify(benchmark::State& state, TStringList* report)
{
    const std::vector<std::string>& files = SetFor(static_cast<int>(state.range(0)));
    const int passes = PassesFor(static_cast<int>(state.range(0)));
    uint8_t code = 0;
    TDateTime time = 0;
    std::string name, format;
    for (auto _ : state) {
        for (int pass = 0; pass < passes; ++pass) {
            for (const std::string& file : files) {
                name.clear();
                ReadSatelliteFileInfo(file, code, report, time, name, format);
                benchmark::DoNotOptimize(name.data());
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(files.size()) * passes);
    state.SetLabel(state.range(0) == 0 ? "first frame" : "copies never agree");
}

void BM_Identify(benchmark::State& state)
{
    TStringList report;
    Identify(state, &report);
}

void BM_IdentifyNoReport(benchmark::State& state)
{
    Identify(state, nullptr);
}

void BM_ReadFloor(benchmark::State& state)
{
    const std::vector<std::string>& files = SetFor(static_cast<int>(state.range(0)));
    const int passes = PassesFor(static_cast<int>(state.range(0)));
    std::vector<char> buffer(128 * 1024);
    for (auto _ : state) {
        for (int pass = 0; pass < passes; ++pass) {
            for (const std::string& file : files) {
                const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
                if (fd < 0) {
                    state.SkipWithError("cannot open a sample file");
                    return;
                }
                ssize_t n;
                while ((n = ::read(fd, buffer.data(), buffer.size())) > 0)
                    benchmark::DoNotOptimize(buffer.data());
                ::close(fd);
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(files.size()) * passes);
    state.SetLabel(state.range(0) == 0 ? "first frame" : "copies never agree");
}

} // namespace

BENCHMARK(BM_Identify)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdentifyNoReport)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFloor)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
