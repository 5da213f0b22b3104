// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Reading satellite headers ahead of a scan: while the scan's handler works
// through a folder's files in order, worker threads read the headers of the
// files that come next, at most a window of files ahead, and the handler takes
// each file's result (or the exception its read raised) when its turn comes.
// The handler sees exactly what reading the header itself would have given,
// in the same order; nothing is ever written.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "components/TreeScan.h"
#include "runtime/FileIO.h"
#include "runtime/SysUtils.h"

// What ReadSatelliteFileInfo delivers without a report, from fresh values.
struct THeaderInfo {
    uint8_t SatelliteCode = 0;
    TDateTime AcquisitionTime = 0;
    std::string StandardName;
    std::string ImageFormat;
    // The file as it was just before its header was read (none when it could
    // not be looked at): a rename checks that the name still holds this file.
    std::optional<TFileIdentity> Identity;
};

// Reads the header of FullPath into Info (ReadSatelliteFileInfo), taking the
// file's identity first.
void ReadHeaderInfo(const std::string& FullPath, THeaderInfo& Info, const std::atomic<bool>* Cancel = nullptr);

class THeaderReadAhead : public TScanLookahead {
public:
    // Threads that read headers, the handler's own included: 0 is one per
    // core; 1 reads nothing ahead. Wanted tells the names (without folder)
    // whose header the handler will take; the others are never opened.
    THeaderReadAhead(int Threads, std::function<bool(std::string_view Name)> Wanted);
    ~THeaderReadAhead() override;
    THeaderReadAhead(const THeaderReadAhead&) = delete;
    THeaderReadAhead& operator=(const THeaderReadAhead&) = delete;

    // The thread count 0 stands for.
    static int DefaultThreads();
    int Threads() const { return threads_; }

    void Begin(const std::string& Dir, const std::vector<std::string>& Names) override;
    void End() noexcept override;

    // The header of FullPath, read ahead or read now, when FullPath is a wanted
    // file of the folder under way at or after the handler's last one; the
    // read's exception is raised here. False, with Info untouched, for any
    // other path: the caller reads it itself.
    bool Take(const std::string& FullPath, THeaderInfo& Info);

private:
    struct TSlot {
        size_t Index = SIZE_MAX;   // the file this slot holds or is reading
        bool Done = false;
        THeaderInfo Info;
        std::exception_ptr Error;
    };

    void Work();
    // Claims the next wanted file inside the window and reads its header into
    // its slot, with the lock released meanwhile; false when there is none.
    bool ReadNext(std::unique_lock<std::mutex>& lock);
    void WakeHelpers();   // under the lock
    // Advances next_ past names that are not wanted (under the lock).
    void SkipUnwanted();

    int threads_;
    std::function<bool(std::string_view)> wanted_;
    std::string dir_;
    const std::vector<std::string>* names_ = nullptr;
    std::vector<TSlot> slots_;          // the window: file i in slot i % size
    std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable slotDone_;  // a helper finished a file
    size_t next_ = 0;                   // first file nobody has claimed
    size_t consumed_ = 0;               // files before this one are the handler's
    size_t cursor_ = 0;                 // where Take looks first
    int waiting_ = 0;                   // helpers waiting for room in the window
    bool stop_ = false;
    std::atomic<bool> cancel_{false};   // ends header searches still running at End
    std::vector<std::thread> workers_;
};
