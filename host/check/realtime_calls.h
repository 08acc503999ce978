// SPDX-License-Identifier: MIT
#pragma once

// What the platform's half of RealtimeGuard reports each watched call to.

namespace vela {

enum class WatchedKind { allocation, lock, systemCall };

// Counts the call when the calling thread is armed and not paused. name is a static text.
void noteWatchedCall(WatchedKind kind, const char* name) noexcept;

} // namespace vela
