// SPDX-License-Identifier: MIT
// The editor window on X11: a top-level window on the display DISPLAY names, whose XID is the
// parent handed to effEditOpen. The editor draws into its own child through its own
// connection; this side only maps the parent, fakes input through XTEST and reads pixels back.

#include "host/editor_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace vela {

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
// Steps in which free places on the screen are sought.
constexpr int kPlacementStep = 16;

struct Area {
    int x;
    int y;
    int width;
    int height;
};

bool overlaps(const Area& a, const Area& b)
{
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

// The areas of the viewable top-level windows besides own; with onlyAbove, only those
// stacked above it. Call with the server grabbed, so that none goes while it is asked about.
std::vector<Area> shownWindows(Display* display, int screen, Window own, bool onlyAbove)
{
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    std::vector<Area> areas;
    if (!XQueryTree(display, RootWindow(display, screen), &root, &parent, &children, &count)) {
        return areas;
    }
    // Children come bottom to top.
    bool aboveOwn = false;
    for (unsigned i = 0; i < count; ++i) {
        if (children[i] == own) {
            aboveOwn = true;
            continue;
        }
        XWindowAttributes attributes;
        if ((onlyAbove && !aboveOwn) || !XGetWindowAttributes(display, children[i], &attributes) ||
            attributes.map_state != IsViewable) {
            continue;
        }
        const int border = attributes.border_width * 2;
        areas.push_back({attributes.x, attributes.y, attributes.width + border, attributes.height + border});
    }
    if (children) {
        XFree(children);
    }
    return areas;
}

// Where a window of this size goes: on the screen wholly, since pixels can be read back only
// from the visible part of a window, and clear of every other window shown, so that hosts
// running at once on one display (parallel tests) neither click into nor capture each
// other's windows. Other programs open theirs at the top left; the search starts bottom
// right. Call with the server grabbed, so that two hosts never choose the same place.
Area placeWindow(Display* display, int screen, Window own, int width, int height)
{
    const int screenWidth = DisplayWidth(display, screen);
    const int screenHeight = DisplayHeight(display, screen);
    if (width > screenWidth || height > screenHeight) {
        throw EditorWindowError("the " + std::to_string(width) + "x" + std::to_string(height) +
                                " editor does not fit the " + std::to_string(screenWidth) + "x" +
                                std::to_string(screenHeight) + " screen");
    }
    const std::vector<Area> taken = shownWindows(display, screen, own, false);
    for (int y = screenHeight - height; y >= 0; y = y == 0 ? -1 : std::max(0, y - kPlacementStep)) {
        for (int x = screenWidth - width; x >= 0; x = x == 0 ? -1 : std::max(0, x - kPlacementStep)) {
            const Area candidate{x, y, width, height};
            if (std::none_of(taken.begin(), taken.end(),
                             [&](const Area& other) { return overlaps(candidate, other); })) {
                return candidate;
            }
        }
    }
    return {screenWidth - width, screenHeight - height, width, height};
}

// Holds the server for one connection's requests alone while it lives.
class ServerGrab {
public:
    explicit ServerGrab(Display* display) : display(display) { XGrabServer(display); }
    ServerGrab(const ServerGrab&) = delete;
    ServerGrab& operator=(const ServerGrab&) = delete;
    ~ServerGrab()
    {
        XUngrabServer(display);
        XSync(display, False);
    }

private:
    Display* display;
};

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
    XSetWindowAttributes attributes{};
    attributes.background_pixel = BlackPixel(native->display, native->screen);
    attributes.event_mask = StructureNotifyMask | ExposureMask;
    {
        const ServerGrab grab(native->display);
        const Area place = placeWindow(native->display, native->screen, 0, windowWidth, windowHeight);
        native->window =
            XCreateWindow(native->display, RootWindow(native->display, native->screen), place.x, place.y,
                          static_cast<unsigned>(windowWidth), static_cast<unsigned>(windowHeight), 0, CopyFromParent,
                          InputOutput, CopyFromParent, CWBackPixel | CWEventMask, &attributes);
        XStoreName(native->display, native->window, "vela-host");
        XMapRaised(native->display, native->window);
    }
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
    const ServerGrab grab(native->display);
    const Area place = placeWindow(native->display, native->screen, native->window, windowWidth, windowHeight);
    XMoveResizeWindow(native->display, native->window, place.x, place.y, static_cast<unsigned>(windowWidth),
                      static_cast<unsigned>(windowHeight));
}

bool EditorWindow::raiseNativeIfCovered()
{
    const ServerGrab grab(native->display);
    XWindowAttributes own;
    XGetWindowAttributes(native->display, native->window, &own);
    const Area ownArea{own.x, own.y, own.width, own.height};
    const std::vector<Area> above = shownWindows(native->display, native->screen, native->window, true);
    if (std::none_of(above.begin(), above.end(), [&](const Area& other) { return overlaps(ownArea, other); })) {
        return false;
    }
    XRaiseWindow(native->display, native->window);
    return true;
}

void EditorWindow::handleNativeEvents()
{
    // The parent has nothing to draw: the server paints its background, the editor the rest.
    XEvent event;
    while (XPending(native->display) > 0) {
        XNextEvent(native->display, &event);
    }
}

void EditorWindow::sendNativeClick(int x, int y)
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
    // Grabbed, so that no other client raises a window over this one before the events, which
    // go to whatever window lies under the pointer, and no other client's press comes between
    // press and release: while the button is down, every press goes to the window holding it.
    const ServerGrab grab(display);
    XRaiseWindow(display, native->window);
    XTranslateCoordinates(display, native->window, RootWindow(display, native->screen), x, y, &rootX, &rootY, &child);
    XTestFakeMotionEvent(display, native->screen, rootX, rootY, CurrentTime);
    XTestFakeButtonEvent(display, kLeftButton, True, CurrentTime);
    XTestFakeButtonEvent(display, kLeftButton, False, CurrentTime);
}

EditorWindow::Image EditorWindow::captureNative()
{
    XSync(native->display, False);
    failedRequestCode = 0;
    const auto previousHandler = XSetErrorHandler(noteFailedRequest);
    XImage* shown = XGetImage(native->display, native->window, 0, 0, static_cast<unsigned>(windowWidth),
                              static_cast<unsigned>(windowHeight), AllPlanes, ZPixmap);
    XSync(native->display, False);
    XSetErrorHandler(previousHandler);
    if (!shown) {
        throw EditorWindowError("cannot read the editor window's pixels (XGetImage failed with "
                                "X error " +
                                std::to_string(failedRequestCode) + ")");
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

namespace {

std::vector<Window> childrenOf(Display* display, Window window)
{
    Window root = 0;
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) {
        return {};
    }
    std::vector<Window> found(children, children + count);
    if (children) {
        XFree(children);
    }
    return found;
}

// A connection to the server: the range of resource IDs it hands out.
struct Client {
    XID base;
    XID mask;
};

// This process's connections to the server, the host's own and those the effect's editor
// opened, once what each has sent has arrived; empty when the server cannot tell (no
// X-Resource extension, or connections from another machine).
std::vector<Client> processClients(Display* display)
{
    std::vector<Client> own;
    int eventBase = 0;
    int errorBase = 0;
    if (!XResQueryExtension(display, &eventBase, &errorBase)) {
        return own;
    }
    XSync(display, False);
    XResClientIdSpec every{0, XRES_CLIENT_ID_PID_MASK};
    long idCount = 0;
    XResClientIdValue* ids = nullptr;
    if (XResQueryClientIds(display, 1, &every, &idCount, &ids) != Success) {
        return own;
    }
    // The first resource ID of each connection of this process, then each one's range.
    std::vector<XID> ownBases;
    for (long i = 0; i < idCount; ++i) {
        [[maybe_unused]] const auto& [client, length, value] = ids[i];
        if (XResGetClientPid(&ids[i]) == getpid()) {
            ownBases.push_back(client.client);
        }
    }
    XResClientIdsDestroy(idCount, ids);
    int clientCount = 0;
    XResClient* clients = nullptr;
    if (XResQueryClients(display, &clientCount, &clients) != 0) {
        for (int i = 0; i < clientCount; ++i) {
            if (std::find(ownBases.begin(), ownBases.end(), clients[i].resource_base) != ownBases.end()) {
                own.push_back({clients[i].resource_base, clients[i].resource_mask});
            }
        }
        XFree(clients);
    }
    return own;
}

} // namespace

int EditorWindow::countNativeChildren()
{
    // What the editor's own connection did must have reached the server first.
    XSync(native->display, False);
    return static_cast<int>(childrenOf(native->display, native->window).size());
}

int EditorWindow::countNativeTopLevels()
{
    const std::vector<Client> clients = processClients(native->display);
    const std::vector<Window> topLevels = childrenOf(native->display, RootWindow(native->display, native->screen));
    if (clients.empty()) {
        return static_cast<int>(topLevels.size());
    }
    // A window belongs to the connection whose range its XID lies in.
    return static_cast<int>(std::count_if(topLevels.begin(), topLevels.end(), [&](Window window) {
        return std::any_of(clients.begin(), clients.end(),
                           [window](const Client& client) { return (window & ~client.mask) == client.base; });
    }));
}

std::map<std::string, int64_t> EditorWindow::countNativeObjects()
{
    std::map<std::string, int64_t> counts;
    for (const Client& client : processClients(native->display)) {
        int typeCount = 0;
        XResType* types = nullptr;
        if (XResQueryClientResources(native->display, client.base, &typeCount, &types) == 0) {
            continue;
        }
        for (int i = 0; i < typeCount; ++i) {
            char* name = XGetAtomName(native->display, types[i].resource_type);
            counts[name ? name : "resource type " + std::to_string(types[i].resource_type)] += types[i].count;
            XFree(name);
        }
        XFree(types);
    }
    return counts;
}

} // namespace vela
