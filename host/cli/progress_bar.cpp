// SPDX-License-Identifier: MIT
#include "host/cli/progress_bar.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace vela {

namespace {

constexpr int kBarWidth = 40;
constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);

} // namespace

ProgressBar::ProgressBar(int64_t total, bool shown)
    : total(total),
      visible(shown && total > 0 && isatty(fileno(stderr)))
{
}

ProgressBar::~ProgressBar()
{
    if (drawn) {
        std::fputc('\n', stderr);
    }
}

void ProgressBar::finish()
{
    if (drawn) {
        draw(total);
        std::fputc('\n', stderr);
        drawn = false;
        visible = false;
    }
}

void ProgressBar::update(int64_t done)
{
    if (!visible) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (drawn && now - lastDraw < kRedrawPeriod) {
        return;
    }
    lastDraw = now;
    draw(done);
}

void ProgressBar::draw(int64_t done)
{
    const double fraction = done >= total ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    const int filled = static_cast<int>(fraction * kBarWidth);
    const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kBarWidth - filled), '.');
    std::fprintf(stderr, "\r[%s] %3d%%", bar.c_str(), static_cast<int>(fraction * 100.0));
    std::fflush(stderr);
    drawn = true;
}

} // namespace vela
