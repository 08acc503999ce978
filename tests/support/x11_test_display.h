// SPDX-License-Identifier: MIT
#pragma once

// Helpers of the tests that use a real X display: windows of the test's own, pixels read back
// from the server, and real pointer input.

// GoogleTest before Xlib, whose macros (None among them) would rename GoogleTest's own names.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace vela {

namespace x11_test {

using Pixels = std::vector<uint32_t>; // 0xRRGGBB, 256 by 96, rows top first

// The test's own connection to the display findOrStartTestDisplay found or started, or null
// without one or when it has no 24-bit colour.
Display* openDisplay();
// A mapped 400x200 window at (300, 300) of the screen, above every other.
Window makeParent(Display* display);
std::vector<Window> childrenOf(Display* display, Window window);
// The window's top left 256x96 pixels, read from a screen with 8 bits per channel.
Pixels readWindow(Display* display, Window window);
// Moves the real pointer to (x, y) of the window; the position may lie outside it.
void pointAt(Display* display, Window window, int x, int y);
void pressButton(Display* display, unsigned int button, bool down);
// Calls idle until done answers true or the limit passes; answers done's last answer.
bool idleUntil(const std::function<void()>& idle, const std::function<bool()>& done, std::chrono::milliseconds limit);

// A test with a connection of its own and a parent window made on it before each case and
// destroyed after; skips the case when the display has no 24-bit colour. A fixture built on
// it calls SetUp first and goes on only when IsSkipped() and HasFatalFailure() are false, and
// calls TearDown last.
class ParentWindowTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    Display* display = nullptr;
    Window parent = None;
};

} // namespace x11_test

} // namespace vela
