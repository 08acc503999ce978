// The editor window on X11: a top-level window on the display DISPLAY names, whose XID is the
// parent handed to effEditOpen. The editor draws into its own child through its own
// connection; this side only maps the parent, fakes input through XTEST and reads pixels back.

#include "host/editor_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

// Xlib's macros collide with ordinary names further down.
#undef Status
#undef Bool

struct EditorWindow::Native {
    Display* display = nullptr;
    int screen = 0;
    Window window = 0;
};

namespace {

constexpr int kLeftButton = 1;
constexpr auto kMapTimeout = std::chrono::seconds(2);
// Hosts running at the same time on one display (parallel tests) get windows in different
// places, so that one's clicks and captures do not land on another's window.
constexpr int kSlotColumns = 3;
constexpr int kSlotRows = 5;
constexpr int kSlotWidth = 320;
constexpr int kSlotHeight = 150;

// The channel that mask selects in pixel, scaled to 0 to 255.
int channelValue(unsigned long pixel, unsigned long mask)
{
    if (mask == 0) {
        return 0;
    }
    int low = 0;
    while (((mask >> low) & 1UL) == 0) {
        ++low;
    }
    int bits = 0;
    while (((mask >> (low + bits)) & 1UL) != 0) {
        ++bits;
    }
    const unsigned long value = (pixel & mask) >> low;
    const unsigned long maximum = (1UL << bits) - 1;
    return static_cast<int>((value * 255 + maximum / 2) / maximum);
}

void waitForMap(Display* display, Window window)
{
    const auto deadline = std::chrono::steady_clock::now() + kMapTimeout;
    XEvent event;
    while (std::chrono::steady_clock::now() < deadline) {
        if (XCheckTypedWindowEvent(display, window, MapNotify, &event)) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// Where the window goes: its slot, moved in as far as needed to lie wholly on the screen,
// since pixels can only be read back from the visible part of a window.
void placeWindow(Display* display, int screen, int width, int height, int& x, int& y)
{
    const int slot = static_cast<int>(getpid() % (kSlotColumns * kSlotRows));
    const int screenWidth = DisplayWidth(display, screen);
    const int screenHeight = DisplayHeight(display, screen);
    if (width > screenWidth || height > screenHeight) {
        throw EditorWindowError("the " + std::to_string(width) + "x" + std::to_string(height) +
                                " editor does not fit the " + std::to_string(screenWidth) + "x" +
                                std::to_string(screenHeight) + " screen");
    }
    x = std::min((slot % kSlotColumns) * kSlotWidth, screenWidth - width);
    y = std::min((slot / kSlotColumns) * kSlotHeight, screenHeight - height);
}

// Set while XGetImage runs: the default handler would end the program on its BadMatch.
int failedRequestCode = 0;
int noteFailedRequest(Display*, XErrorEvent* error)
{
    failedRequestCode = error->error_code;
    return 0;
}

} // namespace

void EditorWindow::NativeDeleter::operator()(Native* state) const noexcept
{
    delete state;
}

void EditorWindow::connectNative()
{
    const char* displayName = std::getenv("DISPLAY");
    if (!displayName || *displayName == '\0') {
        throw EditorWindowError("no X display: DISPLAY is not set (start one, e.g. "
                                "\"Xvfb :99 & export DISPLAY=:99\")");
    }
    native.reset(new Native);
    native->display = XOpenDisplay(nullptr);
    if (!native->display) {
        native.reset();
        throw EditorWindowError(std::string("cannot open the X display ") + displayName);
    }
    native->screen = DefaultScreen(native->display);
}

void EditorWindow::createNative()
{
    int x = 0;
    int y = 0;
    placeWindow(native->display, native->screen, windowWidth, windowHeight, x, y);
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(native->display, native->screen);
    attributes.event_mask = StructureNotifyMask | ExposureMask;
    native->window = XCreateWindow(
        native->display, RootWindow(native->display, native->screen), x, y,
        static_cast<unsigned>(windowWidth), static_cast<unsigned>(windowHeight), 0,
        CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &attributes);
    XStoreName(native->display, native->window, "vela-host");
    XMapRaised(native->display, native->window);
    XSync(native->display, False);
    waitForMap(native->display, native->window);
}

void EditorWindow::destroyNative() noexcept
{
    if (!native) {
        return;
    }
    if (native->window) {
        XDestroyWindow(native->display, native->window);
    }
    XCloseDisplay(native->display);
    native.reset();
}

void* EditorWindow::nativeParent() const
{
    return reinterpret_cast<void*>(native->window);
}

void EditorWindow::resizeNative()
{
    int x = 0;
    int y = 0;
    placeWindow(native->display, native->screen, windowWidth, windowHeight, x, y);
    XMoveResizeWindow(native->display, native->window, x, y, static_cast<unsigned>(windowWidth),
                      static_cast<unsigned>(windowHeight));
    XSync(native->display, False);
}

void EditorWindow::handleNativeEvents()
{
    // The parent has nothing to draw: the server paints its background, the editor the rest.
    XEvent event;
    while (XPending(native->display) > 0) {
        XNextEvent(native->display, &event);
    }
}

void EditorWindow::sendNativeButton(int x, int y, bool pressed)
{
    Display* display = native->display;
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XTestQueryExtension(display, &eventBase, &errorBase, &major, &minor)) {
        throw EditorWindowError("the X server has no XTEST extension: cannot send a real click");
    }
    int rootX = 0;
    int rootY = 0;
    Window child = 0;
    // Grabbed, so that no other client raises a window over this one between the raise and
    // the event, which goes to whatever window lies under the pointer.
    XGrabServer(display);
    XRaiseWindow(display, native->window);
    XTranslateCoordinates(display, native->window, RootWindow(display, native->screen), x, y,
                          &rootX, &rootY, &child);
    XTestFakeMotionEvent(display, native->screen, rootX, rootY, CurrentTime);
    XTestFakeButtonEvent(display, kLeftButton, pressed ? True : False, CurrentTime);
    XUngrabServer(display);
    XSync(display, False);
}

EditorWindow::Image EditorWindow::captureNative()
{
    XSync(native->display, False);
    failedRequestCode = 0;
    const auto previousHandler = XSetErrorHandler(noteFailedRequest);
    XImage* shown = XGetImage(native->display, native->window, 0, 0,
                              static_cast<unsigned>(windowWidth),
                              static_cast<unsigned>(windowHeight), AllPlanes, ZPixmap);
    XSync(native->display, False);
    XSetErrorHandler(previousHandler);
    if (!shown) {
        throw EditorWindowError("cannot read the editor window's pixels (XGetImage failed with "
                                "X error " + std::to_string(failedRequestCode) + ")");
    }
    Image image;
    image.width = windowWidth;
    image.height = windowHeight;
    image.rgb.reserve(static_cast<std::size_t>(windowWidth) * windowHeight * 3);
    for (int row = 0; row < windowHeight; ++row) {
        for (int column = 0; column < windowWidth; ++column) {
            const unsigned long pixel = XGetPixel(shown, column, row);
            image.rgb.push_back(static_cast<uint8_t>(channelValue(pixel, shown->red_mask)));
            image.rgb.push_back(static_cast<uint8_t>(channelValue(pixel, shown->green_mask)));
            image.rgb.push_back(static_cast<uint8_t>(channelValue(pixel, shown->blue_mask)));
        }
    }
    XDestroyImage(shown);
    return image;
}
