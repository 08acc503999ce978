// SPDX-License-Identifier: MIT
// Windows has no interposition of the C runtime's functions: nothing is counted.
#include "host/check/realtime_guard.h"

namespace vela {

bool RealtimeGuard::available()
{
    return false;
}

bool RealtimeGuard::watchesLocksAndSystemCalls()
{
    return false;
}

void RealtimeGuard::prepare() {}

void RealtimeGuard::arm() {}

RealtimeGuard::Counts RealtimeGuard::disarm()
{
    return {};
}

void RealtimeGuard::pause() {}

void RealtimeGuard::resume() {}

} // namespace vela
