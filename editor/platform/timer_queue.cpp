// SPDX-License-Identifier: MIT
#include "editor/platform/timer_queue.h"

#include <time.h>

namespace vela {

MonotonicClock::time_point MonotonicClock::now() noexcept
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
}

void TimerQueue::set(void* window, uintptr_t id, Clock::duration period, Clock::time_point now)
{
    for (Timer& timer : timers) {
        if (timer.window == window && timer.id == id) {
            timer.period = period;
            timer.lastTick = now;
            return;
        }
    }
    timers.push_back(Timer{window, id, period, now});
}

void TimerQueue::kill(void* window, uintptr_t id)
{
    std::erase_if(timers, [window, id](const Timer& timer) { return timer.window == window && timer.id == id; });
}

void TimerQueue::killAll(void* window)
{
    std::erase_if(timers, [window](const Timer& timer) { return timer.window == window; });
}

std::optional<TimerQueue::Tick> TimerQueue::takeDue(Clock::time_point now)
{
    for (Timer& timer : timers) {
        if (now - timer.lastTick < timer.period) {
            continue;
        }
        timer.lastTick += timer.period;
        if (now - timer.lastTick >= timer.period) {
            timer.lastTick = now;
        }
        return Tick{timer.window, timer.id};
    }
    return std::nullopt;
}

} // namespace vela
