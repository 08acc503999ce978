// SPDX-License-Identifier: MIT
#include "tests/support/x11_test_display.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <thread>

#include "tests/support/sheet_faces.h"
#include "tests/support/test_display.h"

namespace vela {

namespace x11_test {

// The display findOrStartTestDisplay holds open for the whole program never resets meanwhile.
Display* openDisplay()
{
    if (!findOrStartTestDisplay().empty()) {
        return nullptr;
    }
    Display* display = XOpenDisplay(nullptr);
    // The pixel comparisons read 8 bits per channel.
    if (display != nullptr && DefaultDepth(display, DefaultScreen(display)) != 24) {
        XCloseDisplay(display);
        return nullptr;
    }
    return display;
}

// A mapped 400x200 window at (300, 300) of the screen, above every other.
Window makeParent(Display* display)
{
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.event_mask = StructureNotifyMask;
    const Window parent = XCreateWindow(display, DefaultRootWindow(display), 300, 300, 400, 200, 0, CopyFromParent,
                                        InputOutput, CopyFromParent, CWOverrideRedirect | CWEventMask, &attributes);
    XMapRaised(display, parent);
    XEvent event;
    do {
        XWindowEvent(display, parent, StructureNotifyMask, &event);
    } while (event.type != MapNotify);
    return parent;
}

std::vector<Window> childrenOf(Display* display, Window window)
{
    Window root = None;
    Window parent = None;
    Window* children = nullptr;
    unsigned int count = 0;
    std::vector<Window> found;
    if (XQueryTree(display, window, &root, &parent, &children, &count) != 0 && children != nullptr) {
        found.assign(children, children + count);
        XFree(children);
    }
    return found;
}

// The window's top left 256x96 pixels, read from a screen with 8 bits per channel.
Pixels readWindow(Display* display, Window window)
{
    Pixels pixels;
    XImage* image = XGetImage(display, window, 0, 0, kFaceWidth, kFaceHeight, AllPlanes, ZPixmap);
    for (int y = 0; image != nullptr && y < kFaceHeight; ++y) {
        for (int x = 0; x < kFaceWidth; ++x) {
            pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
        }
    }
    if (image != nullptr) {
        XDestroyImage(image);
    }
    return pixels;
}

// Moves the real pointer to (x, y) of the window; the position may lie outside it.
void pointAt(Display* display, Window window, int x, int y)
{
    int rootX = 0;
    int rootY = 0;
    Window child = None;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display, DefaultScreen(display), rootX, rootY, CurrentTime);
    XSync(display, False);
}

void pressButton(Display* display, unsigned int button, bool down)
{
    XTestFakeButtonEvent(display, button, down ? True : False, CurrentTime);
    XSync(display, False);
}

// Calls idle until done answers true or the limit passes; answers done's last answer.
bool idleUntil(const std::function<void()>& idle, const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    for (idle(); !done(); idle()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void ParentWindowTest::SetUp()
{
    ASSERT_EQ(findOrStartTestDisplay(), "") << "no X display";
    display = openDisplay();
    if (display == nullptr) {
        GTEST_SKIP() << "the X display has no 24-bit colour";
    }
    parent = makeParent(display);
}

void ParentWindowTest::TearDown()
{
    if (display != nullptr) {
        XDestroyWindow(display, parent);
        XCloseDisplay(display);
    }
}

} // namespace x11_test

} // namespace vela
