// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application object: the running program's file name, its title and the
// hook through which long operations let pending user-interface messages run.
// Without a window the hook does nothing; the window installs one that runs
// the Qt event loop's pending events.
#include <functional>
#include <string>

#include "runtime/Classes.h"

class TApplication : public TObject {
public:
    // Full path of the running executable; SetExeName replaces it (a test can
    // thereby act as a program of another name).
    std::string ExeName() const;
    void SetExeName(std::string FileName) { exeName_ = std::move(FileName); }

    std::string Title;

    // Processes all pending messages through the installed hook (none: nothing).
    void ProcessMessages();
    void SetProcessMessagesHook(std::function<void()> Hook) { processMessages_ = std::move(Hook); }

private:
    std::string exeName_;
    std::function<void()> processMessages_;
};

// The one application object of the process.
TApplication& Application();

// A request to stop long work: SIGINT or SIGTERM, the window closing. Long
// loops (a header search through a large file, a watch) check it and end with
// EAbort. Setting it is async-signal-safe, so a signal handler may call
// RequestStop().
void RequestStop();
bool StopRequested();
void ClearStopRequest();
