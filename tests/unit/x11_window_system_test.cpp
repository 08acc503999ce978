// SPDX-License-Identifier: MIT
// The X11 window system on a real display: windows, composed pixels read back from the
// server, real pointer input, timers, and what stays behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>
#include <thread>
#include <vector>

#include "editor/platform/x11_window_system.h"
#include "tests/support/sheet_faces.h"
#include "tests/support/test_display.h"
#include "tests/support/x11_test_display.h"

namespace vela {

namespace {

using namespace x11_test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kClassName = "X11TestClass";

struct Delivered {
    WindowHandle window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    Clock::time_point time;
};

// What the test procedure saw, and what it does to a window that gets the trigger message.
X11WindowSystem* activeSystem = nullptr;
std::vector<Delivered> delivered;
uint32_t trigger = 0;
std::function<void(WindowHandle)> reaction;

intptr_t recordingProcedure(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    delivered.push_back({window, message, wParam, lParam, Clock::now()});
    if (message == trigger && reaction) {
        reaction(window);
    }
    return activeSystem->defWindowProc(window, message, wParam, lParam);
}

std::vector<Delivered> deliveredTo(WindowHandle window, uint32_t message, std::optional<uintptr_t> wParam = {})
{
    std::vector<Delivered> found;
    std::copy_if(delivered.begin(), delivered.end(), std::back_inserter(found), [&](const Delivered& entry) {
        return entry.window == window && entry.message == message && (!wParam || entry.wParam == *wParam);
    });
    return found;
}

class X11WindowSystemTest : public ParentWindowTest {
protected:
    void SetUp() override
    {
        ParentWindowTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        activeSystem = &system;
        delivered.clear();
        reaction = nullptr;
        system.registerClass(kClassName, recordingProcedure, nullptr, nullptr,
                             system.getSysColorBrush(kColorButtonFace));
    }

    WindowHandle createChild(Window parentId = None)
    {
        return system.createWindowEx(kClassName, "Vela", kWsChildVisible, 0, 0, kFaceWidth, kFaceHeight,
                                     reinterpret_cast<WindowHandle>(parentId != None ? parentId : parent), nullptr);
    }

    static Window id(WindowHandle window) { return static_cast<Window>(reinterpret_cast<uintptr_t>(window)); }

    // Idles for the whole time, or until the window got count such messages.
    void idle(std::chrono::milliseconds time, WindowHandle window = nullptr, uint32_t message = 0, size_t count = 1)
    {
        idleUntil([this] { system.handlePendingEvents(); },
                  [&] { return window != nullptr && deliveredTo(window, message).size() >= count; }, time);
    }

    // Presses and releases a real button, and idles until the window got the release.
    void click(WindowHandle window, unsigned int button)
    {
        const uint32_t release = button == Button1 ? kWmLeftButtonUp : kWmRightButtonUp;
        const std::size_t before = deliveredTo(window, release).size();
        pressButton(display, button, true);
        pressButton(display, button, false);
        idle(2s, window, release, before + 1);
    }

    X11WindowSystem system;
};

TEST_F(X11WindowSystemTest, CreatesAChildOfTheParentAndPaintsItWhenExposed)
{
    WindowHandle window = createChild();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(delivered.empty()) << "a message before the user data could be set";
    EXPECT_EQ(childrenOf(display, parent), std::vector<Window>{id(window)});
    XWindowAttributes attributes{};
    ASSERT_NE(XGetWindowAttributes(display, id(window), &attributes), 0);
    EXPECT_EQ(std::vector<int>({attributes.x, attributes.y, attributes.width, attributes.height, attributes.map_state}),
              std::vector<int>({0, 0, kFaceWidth, kFaceHeight, IsViewable}));
    idle(2s, window, kWmPaint);
    EXPECT_EQ(deliveredTo(window, kWmPaint).size(), 1u);
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
    // Composes the face in the sheet's top band as the editor does, and copies it to the window.
    for (bool lit : {true, false}) {
        ContextHandle context = system.getDC(window);
        system.bitBlt(memory, 0, 0, kFaceWidth, kFaceHeight, memory, 0, 96);
        if (lit) {
            system.bitBlt(memory, 17, 10, 220, 58, memory, 1, 193);
        }
        system.bitBlt(context, 0, 0, kFaceWidth, kFaceHeight, memory, 0, 0);
        system.releaseDC(window, context);
        XSync(system.display(), False);
        EXPECT_EQ(firstDifference(readWindow(display, id(window)), sheetFace(lit)), "") << "lit " << lit;
    }

    // Clipped to both surfaces: what falls outside the sheet leaves the window alone.
    ContextHandle context = system.getDC(window);
    system.bitBlt(context, -10, -10, 1000, 1000, memory, 0, 96);
    constexpr int32_t most = std::numeric_limits<int32_t>::max();
    for (int32_t extreme : {std::numeric_limits<int32_t>::min(), most}) {
        system.bitBlt(context, extreme, extreme, extreme, extreme, memory, extreme, extreme);
        system.bitBlt(memory, 0, 0, most, most, memory, extreme, 0);
    }
    system.releaseDC(window, context);
    XSync(system.display(), False);
    Pixels expected = sheetFace(false);
    const Pixels sheetAll = sheetPixels();
    for (int y = 0; y < kFaceHeight; ++y) {
        for (int x = 0; x < kFaceWidth - 10; ++x) {
            expected[static_cast<std::size_t>(y * kFaceWidth + x)] =
                sheetAll[static_cast<std::size_t>((y + 106) * kFaceWidth + x + 10)];
        }
    }
    EXPECT_EQ(firstDifference(readWindow(display, id(window)), expected), "");
    EXPECT_EQ(system.selectObject(memory, stock), sheet);
}

TEST_F(X11WindowSystemTest, DeliversRealPointerInputWithThePositionPackedAsOnWindows)
{
    WindowHandle window = createChild();
    idle(2s, window, kWmPaint);
    pointAt(display, id(window), 100, 50);
    click(window, Button1);
    click(window, Button3);
    for (uint32_t message : {kWmLeftButtonDown, kWmLeftButtonUp, kWmRightButtonDown, kWmRightButtonUp}) {
        const std::vector<Delivered> found = deliveredTo(window, message);
        ASSERT_EQ(found.size(), 1u) << std::hex << message;
        EXPECT_EQ(found[0].lParam, intptr_t{50 << 16 | 100}) << std::hex << message;
    }

    // While captured, positions outside the window arrive, negative ones as signed 16 bits.
    trigger = kWmRightButtonDown;
    reaction = [](WindowHandle target) { activeSystem->setCapture(target); };
    click(window, Button3);
    delivered.clear();
    pointAt(display, id(window), -20, -5);
    idle(2s, window, kWmMouseMove);
    ASSERT_FALSE(deliveredTo(window, kWmMouseMove).empty());
    EXPECT_EQ(deliveredTo(window, kWmMouseMove).back().lParam, intptr_t{0xFFFBFFEC});

    system.releaseCapture();
    delivered.clear();
    pointAt(display, id(window), -30, -5);
    pointAt(display, id(window), 10, 10);
    idle(2s, window, kWmMouseMove);
    ASSERT_FALSE(deliveredTo(window, kWmMouseMove).empty());
    EXPECT_EQ(deliveredTo(window, kWmMouseMove).front().lParam, intptr_t{10 << 16 | 10})
        << "a move outside reached the window after the capture ended";

    // The release queued behind the press never reaches the window the press destroyed.
    trigger = kWmLeftButtonDown;
    reaction = [](WindowHandle target) { activeSystem->destroyWindow(target); };
    pressButton(display, Button1, true);
    pressButton(display, Button1, false);
    idle(100ms);
    EXPECT_EQ(deliveredTo(window, kWmLeftButtonDown).size(), 1u);
    EXPECT_TRUE(deliveredTo(window, kWmLeftButtonUp).empty());
    EXPECT_EQ(system.usage().windows, 0u);
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
        EXPECT_TRUE(deliveredTo(first, kWmTimer).empty()) << "a tick before 50 ms";
    }

    idle(260ms);
    system.destroyWindow(first);
    system.killTimer(second, 7);
    const auto stopped = Clock::now();
    idle(260ms);
    // At most one tick per 50 ms, and not much less while the machine keeps up.
    const auto periods = [&](Clock::time_point end) { return static_cast<std::size_t>((end - start) / 50ms); };
    EXPECT_GE(deliveredTo(second, kWmTimer, 1).size(), 5u);
    EXPECT_LE(deliveredTo(second, kWmTimer, 1).size(), periods(Clock::now()));
    EXPECT_GE(deliveredTo(first, kWmTimer, 1).size(), 2u);
    EXPECT_LE(deliveredTo(first, kWmTimer, 1).size(), periods(stopped));
    for (const Delivered& tick : deliveredTo(first, kWmTimer)) {
        EXPECT_LT(tick.time, stopped) << "a tick for a destroyed window";
    }
    for (const Delivered& tick : deliveredTo(second, kWmTimer, 7)) {
        EXPECT_LT(tick.time, stopped) << "a tick of a killed timer";
    }
    EXPECT_EQ(system.usage().timers, 1u);

    // Two ticks are due at once; the first destroys both windows, so the second never comes.
    WindowHandle third = createChild();
    WindowHandle fourth = createChild();
    system.setTimer(third, 1, 10);
    system.setTimer(fourth, 1, 10);
    trigger = kWmTimer;
    reaction = [&](WindowHandle) {
        activeSystem->destroyWindow(third);
        activeSystem->destroyWindow(fourth);
    };
    system.destroyWindow(second);
    delivered.clear();
    std::this_thread::sleep_for(20ms);
    system.handlePendingEvents();
    EXPECT_EQ(deliveredTo(third, kWmTimer).size() + deliveredTo(fourth, kWmTimer).size(), 1u);
    EXPECT_EQ(system.usage().windows, 0u);
}

TEST_F(X11WindowSystemTest, TheConnectionLastsFromTheFirstRegistrationToTheLastUnregistration)
{
    ASSERT_NE(system.display(), nullptr);
    system.registerClass("Second", recordingProcedure, nullptr, nullptr, nullptr);
    system.registerClass("second", recordingProcedure, nullptr, nullptr, nullptr);
    EXPECT_EQ(system.usage().classes, 2u) << "a class registered twice";
    system.unregisterClass(kClassName, nullptr);
    EXPECT_NE(system.display(), nullptr);

    WindowHandle window = system.createWindowEx("Second", "", kWsChildVisible, 0, 0, 10, 10,
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
    EXPECT_EQ(createChild(gone), nullptr);
    EXPECT_EQ(createChild(0x7FFFFFF0), nullptr);
    EXPECT_EQ(system.createWindowEx(kClassName, "Vela", kWsChildVisible, 0, 0, 9, 9, nullptr, nullptr), nullptr);
    EXPECT_EQ(system.usage().windows, 0u);
    EXPECT_NE(createChild(), nullptr);
}

} // namespace

} // namespace vela
