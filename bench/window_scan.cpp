// SPDX-License-Identifier: GPL-3.0-or-later
// The window's scan against quillon-cli scan's, on the same folder of 20,000
// sample MPD files: the time from "Open folder" until the whole list is shown
// (the window on the offscreen platform) beside the shared workflow's scan
// alone (what `quillon-cli scan` runs). Counter max_gap_ms: the longest time
// between two turns of a 10 ms timer in the window's event loop during the
// scan (10 ms when nothing ever delays it). With the
// argument 1 a 100 GB sparse file without a header is added at the end of the
// folder: the window's time is then until the other files are all listed, and
// close_ms is the time from Close until the window has closed.
//   QT_QPA_PLATFORM=offscreen build-bench/bench/bench_window_scan
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/form/QuillonForm.h"
#include "runtime/Application.h"
#include "satellite/SampleFiles.h"
#include "startup/Startup.h"

namespace {

namespace fs = std::filesystem;
using TClock = std::chrono::steady_clock;

constexpr int FileCount = 20000;

double Ms(TClock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

struct TFolder {
    std::string Root;
    std::string Data;
    TFolder()
    {
        char pattern[] = "/tmp/quillon-bench-window-XXXXXX";
        if (!::mkdtemp(pattern))
            std::abort();
        Root = pattern;
        Data = Root + "/data";
        fs::create_directories(Data);
        for (int i = 0; i < FileCount; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "a%06d.mpd", i);
            WriteSampleMpd(Data + "/" + name, 0xD4F7, "AIVH", 38000.0 + i / 48.0);
        }
        ::setenv("QUILLON_REGISTRY_DIR", (Root + "/registry").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (Root + "/state").c_str(), 1);
        Application().SetExeName(Root + "/quillon");
    }
    ~TFolder()
    {
        std::error_code error;
        fs::remove_all(Root, error);
    }
    void AddHugeFile(bool on)
    {
        const std::string huge = Data + "/zz-huge.mpd";
        std::error_code error;
        fs::remove(huge, error);
        if (on) {
            std::ofstream(huge).close();
            fs::resize_file(huge, 100ull << 30);
        }
    }
};

TFolder& Folder()
{
    static TFolder folder;
    return folder;
}

QApplication& App()
{
    static int argc = 1;
    static char name[] = "bench_window_scan";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

// What quillon-cli scan runs: the shared workflow's scan, headers read ahead.
void CliScan(benchmark::State& state)
{
    TUnitLifetime units;
    Folder().AddHugeFile(false);
    for (auto _ : state) {
        TRenameWorkflow workflow;
        workflow.Folder = Folder().Data;
        workflow.RescanFolder();
        if (workflow.RowCount() != FileCount)
            state.SkipWithError("rows missing");
    }
    state.counters["files/s"] = benchmark::Counter(double(FileCount) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void WindowScan(benchmark::State& state)
{
    App();
    TUnitLifetime units;
    const bool huge = state.range(0) != 0;
    Folder().AddHugeFile(huge);
    TdfsBrowseDirectoryDlg::SetModalRunner([](TBrowseFolderDialog& dialog) {
        dialog.SelectPath(Folder().Data);
        dialog.Confirm();
        return dialog.result() == QDialog::Accepted;
    });
    double maxGap = 0, closeMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto form = std::make_unique<TFormMain>();
        form->EditSourceFolder->SetText(Folder().Root); // nothing to list at show
        form->show();
        while (form->Busy())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        TClock::time_point last = TClock::now();
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const TClock::time_point now = TClock::now();
            maxGap = std::max(maxGap, Ms(now - last));
            last = now;
        });
        state.ResumeTiming();
        const TClock::time_point start = TClock::now();
        tick.start(10);
        form->ButtonOpenFolder->click();
        last = TClock::now();
        while (huge ? form->ListBox1->count() < FileCount : form->Busy())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
        state.SetIterationTime(std::chrono::duration<double>(TClock::now() - start).count());
        if (form->ListBox1->count() != FileCount)
            state.SkipWithError("rows missing");
        if (huge) {
            const TClock::time_point close = TClock::now();
            form->ButtonClose->click();
            while (form->isVisible())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            closeMs = std::max(closeMs, Ms(TClock::now() - close));
        }
        tick.stop();
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
    TdfsBrowseDirectoryDlg::SetModalRunner(nullptr);
    state.counters["max_gap_ms"] = maxGap;
    if (huge)
        state.counters["close_ms"] = closeMs;
}

} // namespace

BENCHMARK(CliScan)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(WindowScan)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
