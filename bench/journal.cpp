// SPDX-License-Identifier: GPL-3.0-or-later
// The rename journal's cost and the watch mode's delay.
//
// BM_RenameRows/0 and /1: the Rename button's renames of 10,000 sample MPD
// files (RenameRows after one scan), without and with the journal, in the
// same run. The files are renamed back and the journal removed between
// iterations, outside the timing.
//
// BM_WatchCloseToRename/<settle ms>: a running `quillon-cli watch` (found
// beside this program's build folder, or at $QUILLON_CLI): the time from a
// writer's close of a new file to the watch's "renamed" line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "components/Journal.h"
#include "components/RenameWorkflow.h"
#include "runtime/FileOps.h"
#include "satellite/SampleFiles.h"
#include "startup/Startup.h"

namespace {

std::string ScratchFolder(const char* what)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string("quillon-bench-") + what + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data()))
        std::abort();
    return pattern;
}

TDateTime SampleTime(int i)
{
    return EncodeDate(2005, 1, 1) + i / 48 + EncodeTime((i % 48) / 2, (i % 2) * 30 + 5, 0, 0);
}

void BM_RenameRows(benchmark::State& state)
{
    static TUnitLifetime units;
    const bool withJournal = state.range(0) != 0;
    const int files = 10000;
    std::string root = ScratchFolder("rename");
    std::string folder = root + "/data";
    std::filesystem::create_directories(folder);
    for (int i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "%08d.mpd", i);
        WriteSampleMpd(folder + "/" + name, 0xD4F7, "AIVH", SampleTime(i));
    }
    TRenameWorkflow workflow;
    workflow.Folder = folder;
    workflow.RescanFolder();
    if (workflow.RowCount() != files)
        state.SkipWithError("the sample files were not all listed");
    const std::string journalFile = root + "/state/journal.jsonl";

    for (auto _ : state) {
        std::vector<TRenameOutcome> outcomes;
        if (withJournal) {
            TRenameJournal journal(journalFile);
            outcomes = workflow.RenameRows(&journal);
        } else {
            outcomes = workflow.RenameRows(nullptr);
        }
        state.PauseTiming();
        for (const TRenameOutcome& o : outcomes)
            if (o.Renamed)
                RenameFile(folder + "/" + o.NewName, folder + "/" + o.OldName);
        std::filesystem::remove(journalFile);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * files);
    state.SetLabel(withJournal ? "with journal" : "without journal");
    std::filesystem::remove_all(root);
}
BENCHMARK(BM_RenameRows)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(5);

std::string CliPath()
{
    if (const char* path = std::getenv("QUILLON_CLI"))
        return path;
    std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    return (std::filesystem::path(self).parent_path().parent_path() / "cli" / "quillon-cli").string();
}

void BM_WatchCloseToRename(benchmark::State& state)
{
    const double settle = static_cast<double>(state.range(0)) / 1000.0;
    std::string root = ScratchFolder("watch");
    std::string folder = root + "/data";
    std::filesystem::create_directories(folder);
    TByteVector bytes = BuildFramedFile(MakeSampleHeader(0xD4F7, "AIVH", SampleTime(0)));
    // A marker older than the settle time: its line says the watch is running.
    WriteFileBytes(folder + "/marker01.mpd", bytes);
    std::filesystem::last_write_time(folder + "/marker01.mpd", std::filesystem::file_time_type::clock::now() -
                                                                   std::chrono::hours(1));

    int out[2];
    if (::pipe(out) != 0)
        std::abort();
    std::string cli = CliPath();
    std::string settleText = std::to_string(settle);
    std::string stateHome = root + "/state";
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::close(out[0]);
        ::setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
        ::execl(cli.c_str(), cli.c_str(), "watch", "--settle", settleText.c_str(), folder.c_str(), nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    std::string pending;
    auto readLine = [&]() -> bool {
        for (;;) {
            size_t end = pending.find('\n');
            if (end != std::string::npos) {
                pending.erase(0, end + 1);
                return true;
            }
            struct pollfd fd = {out[0], POLLIN, 0};
            if (::poll(&fd, 1, 30000) <= 0)
                return false;
            char buffer[4096];
            ssize_t got = ::read(out[0], buffer, sizeof buffer);
            if (got <= 0)
                return false;
            pending.append(buffer, static_cast<size_t>(got));
        }
    };
    if (!readLine())
        state.SkipWithError(("quillon-cli watch did not start: " + cli).c_str());

    int n = 1;
    for (auto _ : state) {
        bytes = BuildFramedFile(MakeSampleHeader(0xD4F7, "AIVH", SampleTime(n)));
        char name[32];
        std::snprintf(name, sizeof name, "w%07d.mpd", n++);
        std::string path = folder + "/" + name;
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
            std::abort();
        auto closed = std::chrono::steady_clock::now();
        ::close(fd);
        if (!readLine()) {
            state.SkipWithError("no renamed line");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - closed).count());
    }
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    ::close(out[0]);
    std::filesystem::remove_all(root);
}
BENCHMARK(BM_WatchCloseToRename)->Arg(0)->Arg(100)->Arg(2000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace
