// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vela {

// The monotonic clock, read straight from the system: the C++ library's steady clock lives in
// the library itself, which modules do not link.
struct MonotonicClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<MonotonicClock>;
    static constexpr bool is_steady = true;
    static time_point now() noexcept;
};

// Window timers as Windows keeps them, for a window system that must deliver the ticks itself:
// each window's timers by number, each ticking once per period at the most.
class TimerQueue {
public:
    using Clock = MonotonicClock;
    struct Tick {
        void* window;
        uintptr_t id;
    };

    // Starts a timer, or starts again one the window already has.
    void set(void* window, uintptr_t id, Clock::duration period, Clock::time_point now);
    void kill(void* window, uintptr_t id);
    void killAll(void* window);
    // A timer due at now, counted as ticked; a timer that fell behind ticks once for all it
    // missed. Nothing when none is due.
    std::optional<Tick> takeDue(Clock::time_point now);
    std::size_t size() const { return timers.size(); }

private:
    struct Timer {
        void* window;
        uintptr_t id;
        Clock::duration period;
        Clock::time_point lastTick;
    };
    std::vector<Timer> timers;
};

} // namespace vela
