// The X11 window system on a real display: windows, composed pixels read back from the
// server, real pointer input, timers, and what stays behind.

#ifndef _WIN32

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "editor/platform/x11_window_system.h"

// Helpers shared with the button editor's X11 tests.
namespace x11_test {

constexpr int faceWidth = 256;
constexpr int faceHeight = 96;

// Test programs run in parallel on one display, whose pointer and screen they share.
std::shared_ptr<void> lockDisplay()
{
    const int file = open("/tmp/vela-x11-tests.lock", O_RDWR | O_CREAT, 0666);
    if (file >= 0) {
        flock(file, LOCK_EX);
    }
    return std::shared_ptr<void>(nullptr, [file](void*) {
        if (file >= 0) {
            close(file);
        }
    });
}

// The test's own connection, or null without a display. An X server that its last client
// has just left resets itself and refuses connections for a moment.
Display* openDisplay()
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    Display* display = XOpenDisplay(nullptr);
    while (display == nullptr && std::getenv("DISPLAY") != nullptr && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        display = XOpenDisplay(nullptr);
    }
    return display;
}

// A mapped 400x200 window at (300, 300) of the screen, above every other.
Window makeParent(Display* display)
{
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.event_mask = StructureNotifyMask;
    const Window parent = XCreateWindow(display, DefaultRootWindow(display), 300, 300, 400, 200, 0,
                                        CopyFromParent, InputOutput, CopyFromParent,
                                        CWOverrideRedirect | CWEventMask, &attributes);
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

// The window's top left 256x96 pixels as 0xRRGGBB, from a 24-bit TrueColor screen.
std::vector<uint32_t> readWindow(Display* display, Window window)
{
    std::vector<uint32_t> pixels;
    XImage* image = XGetImage(display, window, 0, 0, faceWidth, faceHeight, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return pixels;
    }
    if (image->red_mask == 0xFF0000 && image->green_mask == 0xFF00 && image->blue_mask == 0xFF) {
        for (int y = 0; y < faceHeight; ++y) {
            for (int x = 0; x < faceWidth; ++x) {
                pixels.push_back(static_cast<uint32_t>(XGetPixel(image, x, y) & 0xFFFFFF));
            }
        }
    }
    XDestroyImage(image);
    return pixels;
}

// The sheet's pixels as 0xRRGGBB, top row first, from the file the module embeds.
std::vector<uint32_t> sheetPixels()
{
    std::ifstream file(VELA_SOURCE_DIR "/resources/vela_sheet.bmp", std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    constexpr int height = 252;
    constexpr std::size_t dataOffset = 54;
    constexpr std::size_t rowSize = faceWidth * 3;
    std::vector<uint32_t> pixels;
    if (bytes.size() < dataOffset + rowSize * height) {
        return pixels;
    }
    for (int y = 0; y < height; ++y) {
        const unsigned char* row = &bytes[dataOffset + rowSize * static_cast<std::size_t>(height - 1 - y)];
        for (int x = 0; x < faceWidth; ++x) {
            pixels.push_back(static_cast<uint32_t>(row[3 * x + 2] << 16 | row[3 * x + 1] << 8 | row[3 * x]));
        }
    }
    return pixels;
}

// The face the editor shows: the off face, with the lit button laid over it when lit.
std::vector<uint32_t> sheetFace(bool lit)
{
    const std::vector<uint32_t> sheet = sheetPixels();
    if (sheet.empty()) {
        return sheet;
    }
    std::vector<uint32_t> face(sheet.begin() + 96 * faceWidth, sheet.begin() + 192 * faceWidth);
    for (int y = 0; lit && y < 58; ++y) {
        for (int x = 0; x < 220; ++x) {
            face[static_cast<std::size_t>((10 + y) * faceWidth + 17 + x)] =
                sheet[static_cast<std::size_t>((193 + y) * faceWidth + 1 + x)];
        }
    }
    return face;
}

// Empty when the two pictures agree; else where they first differ and how often.
std::string firstDifference(const std::vector<uint32_t>& actual, const std::vector<uint32_t>& expected)
{
    if (actual.size() != expected.size()) {
        return "sizes differ: " + std::to_string(actual.size()) + " and " + std::to_string(expected.size());
    }
    std::string first;
    int count = 0;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (actual[i] != expected[i] && count++ == 0) {
            first = "at (" + std::to_string(i % faceWidth) + ", " + std::to_string(i / faceWidth) + ")";
        }
    }
    return count == 0 ? "" : std::to_string(count) + " pixels differ, first " + first;
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
bool idleUntil(const std::function<void()>& idle, const std::function<bool()>& done,
               std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (true) {
        idle();
        if (done()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

}  // namespace x11_test

namespace {

using namespace x11_test;
using namespace std::chrono_literals;

constexpr const char* className = "X11TestClass";

struct Delivered {
    WindowHandle window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    std::chrono::steady_clock::time_point time;
};

// What the test procedure saw, and what it does on each message.
X11WindowSystem* activeSystem = nullptr;
std::vector<Delivered> delivered;
std::function<void(WindowHandle, uint32_t)> reaction;

intptr_t recordingProcedure(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    delivered.push_back({window, message, wParam, lParam, std::chrono::steady_clock::now()});
    if (reaction) {
        reaction(window, message);
    }
    return activeSystem->defWindowProc(window, message, wParam, lParam);
}

std::vector<Delivered> deliveredTo(WindowHandle window, uint32_t message)
{
    std::vector<Delivered> found;
    for (const Delivered& entry : delivered) {
        if (entry.window == window && entry.message == message) {
            found.push_back(entry);
        }
    }
    return found;
}

intptr_t packed(int x, int y)
{
    return static_cast<intptr_t>(static_cast<uint32_t>(static_cast<uint16_t>(x)) |
                                 static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16);
}

class X11WindowSystemTest : public testing::Test {
protected:
    void SetUp() override
    {
        lock = lockDisplay();
        display = openDisplay();
        if (display == nullptr) {
            GTEST_SKIP() << "no X display";
        }
        if (DefaultDepth(display, DefaultScreen(display)) != 24) {
            GTEST_SKIP() << "the pixel checks read a 24-bit screen";
        }
        parent = makeParent(display);
        activeSystem = &system;
        delivered.clear();
        reaction = nullptr;
        system.registerClass(className, recordingProcedure, nullptr, nullptr,
                             system.getSysColorBrush(COLOR_BTNFACE));
    }

    void TearDown() override
    {
        reaction = nullptr;
        if (display != nullptr) {
            XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
    }

    WindowHandle createChild(uint32_t style = WS_CHILD_VISIBLE)
    {
        return system.createWindowEx(className, "Vela", style, 0, 0, faceWidth, faceHeight,
                                     reinterpret_cast<WindowHandle>(parent), nullptr);
    }

    static Window id(WindowHandle window) { return static_cast<Window>(reinterpret_cast<uintptr_t>(window)); }

    void idleUntilDelivered(WindowHandle window, uint32_t message)
    {
        idleUntil([this] { system.handlePendingEvents(); },
                  [&] { return !deliveredTo(window, message).empty(); }, 2s);
    }

    // Copies the face into the window as the editor does, the lit button over it when lit.
    void drawFace(WindowHandle window, ContextHandle memory, bool lit)
    {
        ContextHandle context = system.getDC(window);
        system.bitBlt(memory, 0, 0, faceWidth, faceHeight, memory, 0, 96);
        if (lit) {
            system.bitBlt(memory, 17, 10, 220, 58, memory, 1, 193);
        }
        system.bitBlt(context, 0, 0, faceWidth, faceHeight, memory, 0, 0);
        system.releaseDC(window, context);
        XSync(system.display(), False);
    }

    std::shared_ptr<void> lock;
    Display* display = nullptr;
    Window parent = None;
    X11WindowSystem system;
};

TEST_F(X11WindowSystemTest, CreatesAChildOfTheParentWithItsOwnUserDataAndPaintsItWhenExposed)
{
    WindowHandle window = createChild();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(delivered.empty()) << "no message before the user data is set";

    EXPECT_EQ(childrenOf(display, parent), std::vector<Window>{id(window)});
    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(display, id(window), &attributes), 0);
    EXPECT_EQ(attributes.x, 0);
    EXPECT_EQ(attributes.y, 0);
    EXPECT_EQ(attributes.width, faceWidth);
    EXPECT_EQ(attributes.height, faceHeight);
    EXPECT_EQ(attributes.map_state, IsViewable);

    WindowHandle hidden = createChild(WS_CHILD_VISIBLE & ~0x10000000u);
    ASSERT_NE(XGetWindowAttributes(display, id(hidden), &attributes), 0);
    EXPECT_EQ(attributes.map_state, IsUnmapped);

    EXPECT_EQ(system.getWindowLong(window, GWL_USERDATA), 0);
    system.setWindowLong(window, GWL_USERDATA, 1234);
    system.setWindowLong(hidden, GWL_USERDATA, 5678);
    EXPECT_EQ(system.getWindowLong(window, GWL_USERDATA), 1234);
    EXPECT_EQ(system.getWindowLong(hidden, GWL_USERDATA), 5678);

    idleUntilDelivered(window, WM_PAINT);
    EXPECT_EQ(deliveredTo(window, WM_PAINT).size(), 1u);
    EXPECT_TRUE(deliveredTo(hidden, WM_PAINT).empty());
    system.destroyWindow(hidden);
    system.destroyWindow(window);
}

TEST_F(X11WindowSystemTest, ComposesTheFaceInsideTheSheetAndCopiesItExactlyIntoTheWindow)
{
    WindowHandle window = createChild();
    ContextHandle memory = system.createCompatibleDC(system.getDC(window));
    ObjectHandle sheet = system.loadImage(nullptr, 103);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(system.loadImage(nullptr, 104), nullptr);
    ObjectHandle stock = system.selectObject(memory, sheet);
    ASSERT_NE(stock, nullptr);

    drawFace(window, memory, true);
    EXPECT_EQ(firstDifference(readWindow(display, id(window)), sheetFace(true)), "");
    drawFace(window, memory, false);
    const std::vector<uint32_t> off = sheetFace(false);
    EXPECT_EQ(firstDifference(readWindow(display, id(window)), off), "");

    // Clipped to both surfaces: the part that falls outside the sheet leaves the window alone.
    ContextHandle context = system.getDC(window);
    system.bitBlt(context, -10, -10, 1000, 1000, memory, 0, 96);
    for (int32_t extreme : {INT32_MIN, INT32_MAX}) {
        system.bitBlt(context, extreme, extreme, extreme, extreme, memory, extreme, extreme);
        system.bitBlt(memory, 0, 0, INT32_MAX, INT32_MAX, memory, extreme, 0);
    }
    system.releaseDC(window, context);
    XSync(system.display(), False);
    std::vector<uint32_t> shifted = off;
    const std::vector<uint32_t> sheetAll = sheetPixels();
    for (int y = 0; y < faceHeight; ++y) {
        for (int x = 0; x < faceWidth - 10; ++x) {
            shifted[static_cast<std::size_t>(y * faceWidth + x)] =
                sheetAll[static_cast<std::size_t>((y + 106) * faceWidth + x + 10)];
        }
    }
    EXPECT_EQ(firstDifference(readWindow(display, id(window)), shifted), "");

    EXPECT_EQ(system.selectObject(memory, stock), sheet);
    system.deleteDC(memory);
    system.deleteObject(sheet);
    system.destroyWindow(window);
}

TEST_F(X11WindowSystemTest, DeliversRealPointerInputWithThePositionPackedAsOnWindows)
{
    WindowHandle window = createChild();
    idleUntilDelivered(window, WM_PAINT);
    pointAt(display, id(window), 100, 50);
    pressButton(display, Button1, true);
    pressButton(display, Button1, false);
    pressButton(display, Button3, true);
    pressButton(display, Button3, false);
    idleUntilDelivered(window, WM_RBUTTONUP);
    for (uint32_t message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP}) {
        const std::vector<Delivered> found = deliveredTo(window, message);
        ASSERT_EQ(found.size(), 1u) << std::hex << message;
        EXPECT_EQ(found[0].lParam, packed(100, 50)) << std::hex << message;
    }

    // While captured, positions outside the window arrive, negative ones as signed 16 bits.
    reaction = [](WindowHandle target, uint32_t message) {
        if (message == WM_RBUTTONDOWN) {
            activeSystem->setCapture(target);
        }
    };
    pressButton(display, Button3, true);
    pressButton(display, Button3, false);
    idleUntil([this] { system.handlePendingEvents(); }, [&] { return deliveredTo(window, WM_RBUTTONUP).size() == 2; }, 2s);
    delivered.clear();
    pointAt(display, id(window), -20, -5);
    idleUntilDelivered(window, WM_MOUSEMOVE);
    const std::vector<Delivered> moves = deliveredTo(window, WM_MOUSEMOVE);
    ASSERT_FALSE(moves.empty());
    EXPECT_EQ(moves.back().lParam, packed(-20, -5));
    EXPECT_EQ(moves.back().lParam, intptr_t{0xFFFBFFEC});

    system.releaseCapture();
    delivered.clear();
    pointAt(display, id(window), -30, -5);
    pointAt(display, id(window), 10, 10);
    idleUntilDelivered(window, WM_MOUSEMOVE);
    const std::vector<Delivered> after = deliveredTo(window, WM_MOUSEMOVE);
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.front().lParam, packed(10, 10)) << "a move outside reached the window after the release";
    system.destroyWindow(window);
}

TEST_F(X11WindowSystemTest, TicksAboutEveryFiftyMillisecondsForLiveWindowsOnly)
{
    WindowHandle first = createChild();
    WindowHandle second = createChild();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(system.setTimer(first, 1, 50), 1u);
    EXPECT_EQ(system.setTimer(second, 1, 50), 1u);
    EXPECT_EQ(system.setTimer(second, 7, 50), 7u);
    EXPECT_EQ(system.setTimer(nullptr, 1, 50), 0u);
    system.handlePendingEvents();
    if (std::chrono::steady_clock::now() - start < 50ms) {
        EXPECT_TRUE(deliveredTo(first, WM_TIMER).empty()) << "a tick before 50 ms";
    }

    std::optional<std::chrono::steady_clock::time_point> destroyed;
    while (std::chrono::steady_clock::now() - start < 520ms) {
        system.handlePendingEvents();
        if (!destroyed && std::chrono::steady_clock::now() - start >= 260ms) {
            system.destroyWindow(first);
            destroyed = std::chrono::steady_clock::now();
        }
        std::this_thread::sleep_for(2ms);
    }
    system.killTimer(second, 7);
    const std::size_t sevens = [&] {
        std::size_t count = 0;
        for (const Delivered& tick : deliveredTo(second, WM_TIMER)) {
            count += tick.wParam == 7 ? 1 : 0;
        }
        return count;
    }();
    const std::vector<Delivered> ticks = deliveredTo(second, WM_TIMER);
    EXPECT_GE(ticks.size() - sevens, 4u);
    EXPECT_LE(ticks.size() - sevens, 10u) << "more than one tick per 50 ms";
    EXPECT_GE(sevens, 4u);
    for (const Delivered& tick : deliveredTo(first, WM_TIMER)) {
        EXPECT_LT(tick.time, *destroyed) << "a tick for a destroyed window";
    }
    EXPECT_GE(deliveredTo(first, WM_TIMER).size(), 2u);

    // A killed timer ticks no more.
    delivered.clear();
    idleUntil([this] { system.handlePendingEvents(); }, [] { return false; }, 120ms);
    for (const Delivered& tick : deliveredTo(second, WM_TIMER)) {
        EXPECT_EQ(tick.wParam, 1u);
    }
    system.destroyWindow(second);
    EXPECT_EQ(system.usage().timers, 0u);
}

TEST_F(X11WindowSystemTest, AWindowDestroyedWhileItsMessagesAreDeliveredGetsNoMore)
{
    WindowHandle first = createChild();
    WindowHandle second = createChild();
    system.setTimer(first, 1, 10);
    system.setTimer(second, 1, 10);
    reaction = [&](WindowHandle, uint32_t message) {
        if (message == WM_TIMER) {
            activeSystem->destroyWindow(first);
            activeSystem->destroyWindow(second);
        }
    };
    std::this_thread::sleep_for(20ms);
    system.handlePendingEvents();
    EXPECT_EQ(deliveredTo(first, WM_TIMER).size() + deliveredTo(second, WM_TIMER).size(), 1u);

    // The release queued behind the press never reaches the window the press destroyed.
    WindowHandle pressed = createChild();
    idleUntilDelivered(pressed, WM_PAINT);
    reaction = [&](WindowHandle target, uint32_t message) {
        if (message == WM_LBUTTONDOWN) {
            activeSystem->destroyWindow(target);
        }
    };
    pointAt(display, id(pressed), 5, 5);
    pressButton(display, Button1, true);
    pressButton(display, Button1, false);
    idleUntil([this] { system.handlePendingEvents(); }, [] { return false; }, 100ms);
    EXPECT_EQ(deliveredTo(pressed, WM_LBUTTONDOWN).size(), 1u);
    EXPECT_TRUE(deliveredTo(pressed, WM_LBUTTONUP).empty());
    EXPECT_EQ(system.usage().windows, 0u);
}

TEST_F(X11WindowSystemTest, TheConnectionLastsFromTheFirstRegistrationToTheLastUnregistration)
{
    ASSERT_NE(system.display(), nullptr);
    system.registerClass("Second", recordingProcedure, nullptr, nullptr, nullptr);
    system.registerClass("second", recordingProcedure, nullptr, nullptr, nullptr);
    EXPECT_EQ(system.usage().classes, 2u) << "a class registered twice";
    system.unregisterClass(className, nullptr);
    EXPECT_NE(system.display(), nullptr);

    WindowHandle window = system.createWindowEx("Second", "", WS_CHILD_VISIBLE, 0, 0, 10, 10,
                                                reinterpret_cast<WindowHandle>(parent), nullptr);
    ASSERT_NE(window, nullptr);
    system.unregisterClass("SECOND", nullptr);
    EXPECT_NE(system.display(), nullptr) << "the class went while its window was alive";
    system.destroyWindow(window);
    system.unregisterClass("SECOND", nullptr);
    EXPECT_EQ(system.display(), nullptr);
    EXPECT_EQ(system.usage(), (X11WindowSystem::Usage{0, 0, 0, 0, 0}));
}

TEST_F(X11WindowSystemTest, ABadParentGivesNoWindowAndLeavesTheConnectionWorking)
{
    const Window gone = XCreateSimpleWindow(display, parent, 0, 0, 10, 10, 0, 0, 0);
    XDestroyWindow(display, gone);
    XSync(display, False);
    for (Window bad : {Window{None}, gone, Window{0x7FFFFFF0}}) {
        EXPECT_EQ(system.createWindowEx(className, "Vela", WS_CHILD_VISIBLE, 0, 0, 256, 96,
                                        reinterpret_cast<WindowHandle>(bad), nullptr),
                  nullptr);
    }
    EXPECT_EQ(system.usage().windows, 0u);
    WindowHandle window = createChild();
    EXPECT_NE(window, nullptr);
    system.destroyWindow(window);
}

TEST_F(X11WindowSystemTest, RepeatedOpenAndCloseLeavesNothingBehind)
{
    const X11WindowSystem::Usage before = system.usage();
    for (int round = 0; round < 20; ++round) {
        WindowHandle window = createChild();
        ContextHandle context = system.getDC(window);
        ContextHandle memory = system.createCompatibleDC(context);
        ObjectHandle sheet = system.loadImage(nullptr, 103);
        system.setTimer(window, 1, 50);
        ObjectHandle previous = system.selectObject(memory, sheet);
        drawFace(window, memory, round % 2 == 0);
        system.killTimer(window, 1);
        system.releaseDC(window, context);
        system.destroyWindow(window);
        system.selectObject(memory, previous);
        system.deleteDC(memory);
        system.deleteObject(sheet);
        ASSERT_EQ(system.usage(), before) << "round " << round;
    }
    EXPECT_TRUE(childrenOf(display, parent).empty());
}

TEST(X11WindowSystemWithoutDisplay, CreatesNothingAndFailsQuietly)
{
    const char* saved = std::getenv("DISPLAY");
    const std::optional<std::string> display = saved != nullptr ? std::optional<std::string>(saved) : std::nullopt;
    setenv("DISPLAY", ":4095", 1);
    X11WindowSystem system;
    system.registerClass(className, recordingProcedure, nullptr, nullptr, nullptr);
    EXPECT_EQ(system.display(), nullptr);
    EXPECT_EQ(system.createWindowEx(className, "Vela", WS_CHILD_VISIBLE, 0, 0, 256, 96,
                                    reinterpret_cast<WindowHandle>(uintptr_t{1}), nullptr),
              nullptr);
    EXPECT_EQ(system.loadImage(nullptr, 103), nullptr);
    EXPECT_EQ(system.getDC(nullptr), nullptr);
    system.handlePendingEvents();
    system.unregisterClass(className, nullptr);
    if (display) {
        setenv("DISPLAY", display->c_str(), 1);
    } else {
        unsetenv("DISPLAY");
    }
}

}  // namespace

#endif
