// SPDX-License-Identifier: MIT
// The parts of the X11 window system that need no display: clipping a rectangle copy as Windows
// does, and the window timers it delivers itself.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "editor/platform/copy_clipping.h"
#include "editor/platform/timer_queue.h"

namespace vela {

namespace {

TEST(CopyClipping, CutsWhatFallsOffEitherSurfaceAndMovesBothOrigins)
{
    struct Row {
        const char* name;
        CopyArea copy;
        CopyArea clipped;
        bool copies;
    };
    // Onto a 10×8 surface from a 6×5 one.
    const Row rows[] = {
        {"inside both", {1, 2, 3, 1, 2, 3}, {1, 2, 3, 1, 2, 3}, true},
        {"past the source's right and bottom", {0, 0, 4, 3, 5, 5}, {0, 0, 4, 3, 2, 2}, true},
        {"past the destination's right and bottom", {8, 7, 0, 0, 6, 5}, {8, 7, 0, 0, 2, 1}, true},
        {"left of the destination", {-2, 0, 0, 0, 6, 5}, {0, 0, 2, 0, 4, 5}, true},
        {"above the source", {0, 0, 0, -3, 6, 5}, {0, 3, 0, 0, 6, 2}, true},
        {"entirely off the source", {0, 0, 6, 0, 3, 3}, {0, 0, 6, 0, 0, 3}, false},
        {"empty", {0, 0, 0, 0, 0, 5}, {0, 0, 0, 0, 0, 5}, false},
        {"negative size", {0, 0, 0, 0, -4, 5}, {0, 0, 0, 0, -4, 5}, false},
        {"huge coordinates",
         {-2147483648LL, 0, 2147483647LL, 0, 4, 4},
         {0, 0, 4294967295LL, 0, -4294967292LL, 4},
         false},
    };
    for (const Row& row : rows) {
        CopyArea area = row.copy;
        EXPECT_EQ(clipCopy(area, 10, 8, 6, 5), row.copies) << row.name;
        if (row.copies) {
            const CopyArea& want = row.clipped;
            EXPECT_EQ(std::vector<int64_t>({area.toX, area.toY, area.fromX, area.fromY, area.width, area.height}),
                      std::vector<int64_t>({want.toX, want.toY, want.fromX, want.fromY, want.width, want.height}))
                << row.name;
        }
    }
}

TEST(TimerQueue, TicksOncePerPeriodPerWindowAndTimerAndOnceForAllItMissed)
{
    using std::chrono::milliseconds;
    const TimerQueue::Clock::time_point start{};
    int first = 0;
    int second = 0;
    TimerQueue queue;
    queue.set(&first, 1, milliseconds(50), start);
    queue.set(&second, 1, milliseconds(20), start);
    queue.set(&first, 2, milliseconds(30), start);
    EXPECT_EQ(queue.size(), 3u);

    const auto name = [&first](const void* window, uintptr_t id) {
        return std::string(window == &first ? "first" : "second") + " " + std::to_string(id);
    };
    // All ticks due at a moment, sorted, each once.
    const auto ticksAt = [&queue, &name](TimerQueue::Clock::time_point now) {
        std::vector<std::string> ticks;
        while (const auto tick = queue.takeDue(now)) {
            ticks.push_back(name(tick->window, tick->id));
        }
        std::sort(ticks.begin(), ticks.end());
        return ticks;
    };
    EXPECT_TRUE(ticksAt(start + milliseconds(19)).empty());
    EXPECT_EQ(ticksAt(start + milliseconds(20)), std::vector<std::string>{name(&second, 1)});
    // 200 ms late: every timer ticks once, not once for each period it missed.
    std::vector<std::string> all = {name(&first, 1), name(&second, 1), name(&first, 2)};
    std::sort(all.begin(), all.end());
    EXPECT_EQ(ticksAt(start + milliseconds(220)), all);
    EXPECT_TRUE(ticksAt(start + milliseconds(235)).empty());

    // Setting a timer again starts it again; killing one leaves the window's others.
    queue.set(&second, 1, milliseconds(100), start + milliseconds(235));
    all = {name(&first, 1), name(&first, 2)};
    std::sort(all.begin(), all.end());
    EXPECT_EQ(ticksAt(start + milliseconds(300)), all);
    queue.kill(&first, 2);
    EXPECT_EQ(queue.size(), 2u);
    queue.killAll(&first);
    EXPECT_EQ(queue.size(), 1u);
    EXPECT_EQ(ticksAt(start + milliseconds(335)), std::vector<std::string>{name(&second, 1)});
}

} // namespace

} // namespace vela
