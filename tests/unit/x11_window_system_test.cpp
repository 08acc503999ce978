// The X11 window system on a real display: windows, composed pixels read back from the
// server, real pointer input, timers, and what stays behind.

#ifndef _WIN32

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "editor/platform/x11_window_system.h"
#include "tests/support/sheet_faces.h"
#include "tests/support/x11_test_display.h"

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>


namespace {

using namespace x11_test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* className = "X11TestClass";

struct Delivered {
    WindowHandle window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    Clock::time_point time;
};

// What the test procedure saw, and what it does on each message.
X11WindowSystem* activeSystem = nullptr;
std::vector<Delivered> delivered;
std::function<void(WindowHandle, uint32_t)> reaction;

intptr_t recordingProcedure(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    delivered.push_back({window, message, wParam, lParam, Clock::now()});
    if (reaction) {
        reaction(window, message);
    }
    return activeSystem->defWindowProc(window, message, wParam, lParam);
}

std::vector<Delivered> deliveredTo(WindowHandle window, uint32_t message, std::optional<uintptr_t> wParam = {})
{
    std::vector<Delivered> found;
    for (const Delivered& entry : delivered) {
        if (entry.window == window && entry.message == message && (!wParam || entry.wParam == *wParam)) {
            found.push_back(entry);
        }
    }
    return found;
}

class X11WindowSystemTest : public testing::Test {
protected:
    void SetUp() override
    {
        display = openDisplay();
        if (display == nullptr || DefaultDepth(display, DefaultScreen(display)) != 24) {
            GTEST_SKIP() << "no X display with 24-bit colour";
        }
        parent = makeParent(display);
        activeSystem = &system;
        delivered.clear();
        reaction = nullptr;
        system.registerClass(className, recordingProcedure, nullptr, nullptr, system.getSysColorBrush(COLOR_BTNFACE));
    }

    void TearDown() override
    {
        if (display != nullptr) {
            XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
    }

    WindowHandle createChild(uint32_t style = WS_CHILD_VISIBLE, Window parentId = None)
    {
        return system.createWindowEx(className, "Vela", style, 0, 0, faceWidth, faceHeight,
                                     reinterpret_cast<WindowHandle>(parentId != None ? parentId : parent), nullptr);
    }

    static Window id(WindowHandle window) { return static_cast<Window>(reinterpret_cast<uintptr_t>(window)); }

    void idleFor(std::chrono::milliseconds time)
    {
        idleUntil([this] { system.handlePendingEvents(); }, [] { return false; }, time);
    }

    void idleUntilDelivered(WindowHandle window, uint32_t message, std::size_t count = 1)
    {
        idleUntil([this] { system.handlePendingEvents(); }, [&] { return deliveredTo(window, message).size() >= count; }, 2s);
    }

    // Composes the face in the sheet's top band as the editor does, and copies it to the window.
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

    Display* display = nullptr;
    Window parent = None;
    X11WindowSystem system;
};

TEST_F(X11WindowSystemTest, CreatesAChildOfTheParentWithItsOwnUserDataAndPaintsItWhenExposed)
{
    WindowHandle window = createChild();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(delivered.empty()) << "a message before the user data could be set";
    EXPECT_EQ(childrenOf(display, parent), std::vector<Window>{id(window)});
    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(display, id(window), &attributes), 0);
    EXPECT_EQ(std::vector<int>({attributes.x, attributes.y, attributes.width, attributes.height, attributes.map_state}),
              std::vector<int>({0, 0, faceWidth, faceHeight, IsViewable}));
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
    EXPECT_EQ(firstDifference(readWindow(display, id(window)), sheetFace(false)), "");

    // Clipped to both surfaces: what falls outside the sheet leaves the window alone.
    ContextHandle context = system.getDC(window);
    system.bitBlt(context, -10, -10, 1000, 1000, memory, 0, 96);
    for (int32_t extreme : {INT32_MIN, INT32_MAX}) {
        system.bitBlt(context, extreme, extreme, extreme, extreme, memory, extreme, extreme);
        system.bitBlt(memory, 0, 0, INT32_MAX, INT32_MAX, memory, extreme, 0);
    }
    system.releaseDC(window, context);
    XSync(system.display(), False);
    Pixels expected = sheetFace(false);
    const Pixels sheetAll = sheetPixels();
    for (int y = 0; y < faceHeight; ++y) {
        for (int x = 0; x < faceWidth - 10; ++x) {
            expected[static_cast<std::size_t>(y * faceWidth + x)] =
                sheetAll[static_cast<std::size_t>((y + 106) * faceWidth + x + 10)];
        }
    }
    EXPECT_EQ(firstDifference(readWindow(display, id(window)), expected), "");
    EXPECT_EQ(system.selectObject(memory, stock), sheet);
}

TEST_F(X11WindowSystemTest, DeliversRealPointerInputWithThePositionPackedAsOnWindows)
{
    WindowHandle window = createChild();
    idleUntilDelivered(window, WM_PAINT);
    pointAt(display, id(window), 100, 50);
    for (unsigned int button : {Button1, Button3}) {
        pressButton(display, button, true);
        pressButton(display, button, false);
    }
    idleUntilDelivered(window, WM_RBUTTONUP);
    for (uint32_t message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP}) {
        const std::vector<Delivered> found = deliveredTo(window, message);
        ASSERT_EQ(found.size(), 1u) << std::hex << message;
        EXPECT_EQ(found[0].lParam, intptr_t{50 << 16 | 100}) << std::hex << message;
    }

    // While captured, positions outside the window arrive, negative ones as signed 16 bits.
    reaction = [](WindowHandle target, uint32_t message) {
        if (message == WM_RBUTTONDOWN) {
            activeSystem->setCapture(target);
        }
    };
    pressButton(display, Button3, true);
    pressButton(display, Button3, false);
    idleUntilDelivered(window, WM_RBUTTONUP, 2);
    delivered.clear();
    pointAt(display, id(window), -20, -5);
    idleUntilDelivered(window, WM_MOUSEMOVE);
    ASSERT_FALSE(deliveredTo(window, WM_MOUSEMOVE).empty());
    EXPECT_EQ(deliveredTo(window, WM_MOUSEMOVE).back().lParam, intptr_t{0xFFFBFFEC});

    system.releaseCapture();
    delivered.clear();
    pointAt(display, id(window), -30, -5);
    pointAt(display, id(window), 10, 10);
    idleUntilDelivered(window, WM_MOUSEMOVE);
    ASSERT_FALSE(deliveredTo(window, WM_MOUSEMOVE).empty());
    EXPECT_EQ(deliveredTo(window, WM_MOUSEMOVE).front().lParam, intptr_t{10 << 16 | 10})
        << "a move outside reached the window after the capture ended";
}

TEST_F(X11WindowSystemTest, TicksAboutEveryFiftyMillisecondsForLiveTimersOnly)
{
    WindowHandle first = createChild();
    WindowHandle second = createChild();
    const auto start = Clock::now();
    EXPECT_EQ(system.setTimer(first, 1, 50), 1u);
    EXPECT_EQ(system.setTimer(second, 1, 50), 1u);
    EXPECT_EQ(system.setTimer(second, 7, 50), 7u);
    EXPECT_EQ(system.setTimer(nullptr, 1, 50), 0u);
    system.handlePendingEvents();
    if (Clock::now() - start < 50ms) {
        EXPECT_TRUE(deliveredTo(first, WM_TIMER).empty()) << "a tick before 50 ms";
    }

    idleFor(260ms);
    system.destroyWindow(first);
    system.killTimer(second, 7);
    const auto stopped = Clock::now();
    idleFor(260ms);
    // At most one tick per 50 ms, and not much less while the machine keeps up.
    const auto periods = [&](Clock::time_point end) { return static_cast<std::size_t>((end - start) / 50ms); };
    EXPECT_GE(deliveredTo(second, WM_TIMER, 1).size(), 5u);
    EXPECT_LE(deliveredTo(second, WM_TIMER, 1).size(), periods(Clock::now()));
    EXPECT_GE(deliveredTo(first, WM_TIMER, 1).size(), 2u);
    EXPECT_LE(deliveredTo(first, WM_TIMER, 1).size(), periods(stopped));
    for (const Delivered& tick : deliveredTo(first, WM_TIMER)) {
        EXPECT_LT(tick.time, stopped) << "a tick for a destroyed window";
    }
    for (const Delivered& tick : deliveredTo(second, WM_TIMER, 7)) {
        EXPECT_LT(tick.time, stopped) << "a tick of a killed timer";
    }
    EXPECT_EQ(system.usage().timers, 1u);
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
    idleFor(100ms);
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
    EXPECT_EQ(createChild(WS_CHILD_VISIBLE, gone), nullptr);
    EXPECT_EQ(createChild(WS_CHILD_VISIBLE, 0x7FFFFFF0), nullptr);
    EXPECT_EQ(system.createWindowEx(className, "Vela", WS_CHILD_VISIBLE, 0, 0, 9, 9, nullptr, nullptr), nullptr);
    EXPECT_EQ(system.usage().windows, 0u);
    EXPECT_NE(createChild(), nullptr);
}

TEST(X11WindowSystemWithoutDisplay, CreatesNothingAndFailsQuietly)
{
    const char* saved = std::getenv("DISPLAY");
    const std::optional<std::string> display = saved ? std::optional<std::string>(saved) : std::nullopt;
    setenv("DISPLAY", ":4095", 1);
    X11WindowSystem system;
    system.registerClass(className, recordingProcedure, nullptr, nullptr, nullptr);
    EXPECT_EQ(system.display(), nullptr);
    EXPECT_EQ(system.createWindowEx(className, "Vela", WS_CHILD_VISIBLE, 0, 0, 256, 96,
                                    reinterpret_cast<WindowHandle>(uintptr_t{1}), nullptr),
              nullptr);
    EXPECT_EQ(system.loadImage(nullptr, 103), nullptr);
    system.handlePendingEvents();
    system.unregisterClass(className, nullptr);
    display ? setenv("DISPLAY", display->c_str(), 1) : unsetenv("DISPLAY");
}

}  // namespace

#endif
