// SPDX-License-Identifier: GPL-3.0-or-later
#include "runtime/Application.h"

#include <atomic>

#include "runtime/SysUtils.h"

namespace {
// Lock-free, so a signal handler may set it.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);
} // namespace

std::string TApplication::ExeName() const
{
    return exeName_.empty() ? ExecutableFileName() : exeName_;
}

void TApplication::ProcessMessages()
{
    if (processMessages_)
        processMessages_();
}

TApplication& Application()
{
    static TApplication application;
    return application;
}

void RequestStop()
{
    stopRequested.store(true, std::memory_order_relaxed);
}

bool StopRequested()
{
    return stopRequested.load(std::memory_order_relaxed);
}

void ClearStopRequest()
{
    stopRequested.store(false, std::memory_order_relaxed);
}
