// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>

namespace vela {

// A one-line progress bar on the standard error stream, drawn only when that is a terminal
// and the work is long enough to be worth watching.
class ProgressBar {
public:
    // shown: whether to draw at all; the bar also stays away from pipes and files.
    ProgressBar(int64_t total, bool shown);
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;
    // Ends the line if a bar was drawn, so that a message after it starts on a line of its own.
    ~ProgressBar();

    // Redraws for done units of total, at most ten times a second.
    void update(int64_t done);
    // Draws the full bar and ends its line, if a bar was drawn; later calls do nothing.
    void finish();

private:
    void draw(int64_t done);

    int64_t total;
    bool visible;
    bool drawn = false;
    std::chrono::steady_clock::time_point lastDraw;
};

} // namespace vela
