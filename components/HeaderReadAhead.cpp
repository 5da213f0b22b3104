// SPDX-License-Identifier: GPL-3.0-or-later
#include "components/HeaderReadAhead.h"

#include <algorithm>
#include <system_error>

#include "satellite/SatelliteInfo.h"

namespace {

// Files read ahead of the handler at most: enough to keep every thread busy,
// few enough that the results held stay small whatever the folder's size.
constexpr size_t Window = 64;

} // namespace

void ReadHeaderInfo(const std::string& FullPath, THeaderInfo& Info, const std::atomic<bool>* Cancel)
{
    // Taken before the read: a file that replaces this one during or after
    // the read differs from it, so its rename is refused.
    TFileIdentity identity;
    if (GetFileIdentity(FullPath, identity))
        Info.Identity = identity;
    else
        Info.Identity.reset();
    ReadSatelliteFileInfo(FullPath, Cancel, Info.SatelliteCode, nullptr, Info.AcquisitionTime, Info.StandardName,
                          Info.ImageFormat);
}

THeaderReadAhead::THeaderReadAhead(int Threads, std::function<bool(std::string_view Name)> Wanted)
    : threads_(Threads > 0 ? Threads : DefaultThreads()), wanted_(std::move(Wanted))
{
}

THeaderReadAhead::~THeaderReadAhead()
{
    End();
}

int THeaderReadAhead::DefaultThreads()
{
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

void THeaderReadAhead::Begin(const std::string& Dir, const std::vector<std::string>& Names)
{
    End();
    if (threads_ <= 1 || Names.empty())
        return;
    dir_ = Dir;
    names_ = &Names;
    next_ = consumed_ = cursor_ = 0;
    stop_ = false;
    cancel_ = false;
    slots_.assign(std::min(Window, Names.size()), TSlot{});
    for (int t = 1; t < threads_; ++t) {
        try {
            workers_.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            break;   // fewer helpers; the handler reads what nobody has
        }
    }
}

void THeaderReadAhead::End() noexcept
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    cancel_ = true;
    workAvailable_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
    workers_.clear();
    names_ = nullptr;
    slots_.clear();
}

void THeaderReadAhead::SkipUnwanted()
{
    while (next_ < names_->size() && !wanted_((*names_)[next_]))
        ++next_;
}

bool THeaderReadAhead::ReadNext(std::unique_lock<std::mutex>& lock)
{
    SkipUnwanted();
    if (next_ >= names_->size() || next_ >= consumed_ + slots_.size())
        return false;
    const size_t i = next_++;
    TSlot& slot = slots_[i % slots_.size()];
    slot.Index = i;
    slot.Done = false;
    const std::string path = dir_ + (*names_)[i];
    lock.unlock();
    THeaderInfo info;
    std::exception_ptr error;
    try {
        ReadHeaderInfo(path, info, &cancel_);
    } catch (...) {
        error = std::current_exception();
    }
    lock.lock();
    if (slot.Index == i) {   // else the handler has read it meanwhile
        slot.Info = std::move(info);
        slot.Error = std::move(error);
        slot.Done = true;
        slotDone_.notify_all();
    }
    return true;
}

void THeaderReadAhead::Work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
        if (ReadNext(lock))
            continue;
        if (next_ >= names_->size())
            return;
        ++waiting_;
        workAvailable_.wait(lock);
        --waiting_;
    }
}

void THeaderReadAhead::WakeHelpers()
{
    // Helpers that wait for room are woken once half the window is free, not
    // for every file the handler takes: a wake-up costs more than a read.
    if (waiting_ > 0 && next_ - consumed_ <= slots_.size() / 2)
        workAvailable_.notify_all();
}

bool THeaderReadAhead::Take(const std::string& FullPath, THeaderInfo& Info)
{
    if (!names_ || FullPath.size() <= dir_.size() || FullPath.compare(0, dir_.size(), dir_) != 0)
        return false;
    const std::string_view name = std::string_view(FullPath).substr(dir_.size());
    const std::vector<std::string>& names = *names_;
    size_t i = cursor_;
    while (i < names.size() && names[i] != name)
        ++i;
    if (i == names.size())
        return false;
    cursor_ = i + 1;

    std::unique_lock<std::mutex> lock(mutex_);
    consumed_ = i;
    TSlot& slot = slots_[i % slots_.size()];
    bool readHere = i >= next_;
    if (readHere)
        next_ = i + 1;   // nobody has claimed it: the helpers go on after it
    // A helper reads this file: wait for it, and for nothing else. Reading a
    // later file here meanwhile would hold the scan up on that file (a huge
    // one without a header frame is searched to its end) even when this one
    // ends the scan.
    while (!readHere && !(slot.Index == i && slot.Done)) {
        if (slot.Index != i) {
            readHere = true;   // nobody holds it after all
            break;
        }
        slotDone_.wait(lock);
    }
    std::exception_ptr error;
    if (readHere) {
        WakeHelpers();
        lock.unlock();
        THeaderInfo info;
        ReadHeaderInfo(FullPath, info, &cancel_);
        Info = std::move(info);
        lock.lock();
    } else {
        Info = std::move(slot.Info);
        error = std::move(slot.Error);
        slot.Error = nullptr;
        slot.Index = SIZE_MAX;
    }
    consumed_ = i + 1;
    WakeHelpers();
    lock.unlock();
    if (error)
        std::rethrow_exception(error);
    return true;
}
