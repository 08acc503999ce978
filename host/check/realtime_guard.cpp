// SPDX-License-Identifier: MIT
// The guard's counting, the same on every platform; what reports the calls is the platform's.
#include "host/check/realtime_guard.h"
#include "host/check/realtime_calls.h"

namespace vela {

namespace {

// Plain thread-local data of the program itself: reading it neither allocates nor locks.
thread_local bool armed = false;
thread_local int paused = 0;
thread_local RealtimeGuard::Counts counts;

} // namespace

void noteWatchedCall(WatchedKind kind, const char* name) noexcept
{
    if (!armed || paused > 0) {
        return;
    }
    switch (kind) {
    case WatchedKind::allocation:
        counts.firstAllocation = counts.allocations++ == 0 ? name : counts.firstAllocation;
        break;
    case WatchedKind::lock:
        counts.firstLock = counts.locks++ == 0 ? name : counts.firstLock;
        break;
    case WatchedKind::systemCall:
        counts.firstSystemCall = counts.systemCalls++ == 0 ? name : counts.firstSystemCall;
        break;
    }
}

void RealtimeGuard::arm()
{
    counts = Counts{};
    armed = true;
}

RealtimeGuard::Counts RealtimeGuard::disarm()
{
    armed = false;
    return counts;
}

void RealtimeGuard::pause()
{
    ++paused;
}

void RealtimeGuard::resume()
{
    --paused;
}

} // namespace vela
