// SPDX-License-Identifier: MIT
// The button editor's window-system calls, seen through the recording fake: the exact order of
// open, draw and close, the window procedure's answers, the toggle, and what happens when a
// window-system call fails.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "editor/button_editor.h"
#include "effect/switch_effect.h"
#include "frame/module_instance.h"
#include "frame/opcodes.h"
#include "host/recording_host.h"
#include "tests/support/fake_window_system.h"
#include "tests/support/switch_press.h"

namespace vela {

namespace {

using Calls = std::vector<std::string>;

const Calls openCalls = {
    "loadCursor(module, 32512) -> cursor1",
    "getSysColorBrush(15) -> brush1",
    "registerClass(VEclass, procedure, module, cursor1, brush1)",
    "createWindowEx(VEclass, Vela, 0x50000000, 0, 0, 256, 96, parent, module) -> window1",
    "setWindowLong(window1, -21, editor)",
    "getDC(window1) -> dc1",
    "createCompatibleDC(dc1) -> dc2",
    "loadImage(module, 103) -> bitmap1",
    "setTimer(window1, 1, 50) -> 1",
    "selectObject(dc2, bitmap1) -> stock1",
};

const Calls closeCalls = {
    "killTimer(window1, 1)",
    "releaseDC(window1, dc1)",
    "setWindowLong(window1, -21, 0)",
    "destroyWindow(window1)",
    "selectObject(dc2, stock1) -> bitmap1",
    "deleteDC(dc2)",
    "deleteObject(bitmap1)",
    "unregisterClass(VEclass, module)",
};

const std::string lookup = "getWindowLong(window1, -21) -> editor";

// The system's default handling of a message to window1, as the fake records it.
std::string byDefault(const std::string& arguments, int result = 0)
{
    return "defWindowProc(window1, " + arguments + ") -> " + std::to_string(result);
}

const std::string litOverlay = "bitBlt(dc2, 17, 10, 220, 58, dc2, 1, 193)";

Calls operator+(Calls first, const Calls& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The first draw after open: the off face into the band, the lit button over it while the
// switch is on, the band to the window.
Calls firstDraw(bool lit)
{
    const Calls overlay = lit ? Calls{litOverlay} : Calls{};
    return Calls{"getDC(window1) -> dc3", "bitBlt(dc2, 0, 0, 256, 96, dc2, 0, 96)"} + overlay +
           Calls{"bitBlt(dc3, 0, 0, 256, 96, dc2, 0, 0)", "releaseDC(window1, dc3)"};
}

// How many calls begin with the prefix.
int countStarting(const Calls& calls, const std::string& prefix)
{
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [&](const std::string& call) { return call.starts_with(prefix); }));
}

// The packed pointer position of a mouse message: x in the low, y in the high 16 bits.
intptr_t packedPosition(int x, int y)
{
    return static_cast<intptr_t>(static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16 | static_cast<uint16_t>(x));
}

// A switch effect created as a host creates it, owning a button editor on the fake window
// system, exactly as the final effect class sets it up.
struct EditedSwitch {
    EditedSwitch(RecordingHost& host, FakeWindowSystem& fake, const std::string& editorName)
        : host(host),
          record(host.callEntry([](audioMasterCallback host) { return (new SwitchEffect(host))->getAeffect(); })),
          effect(*static_cast<SwitchEffect*>(static_cast<EffectCore*>(record->object))),
          editor(new ButtonEditor(effect, fake))
    {
        fake.nameHandle(editor, editorName);
        editor->reset();
    }
    ~EditedSwitch() { destroy(); }

    intptr_t dispatch(int32_t opcode, void* ptr = nullptr)
    {
        return record->dispatcher(record, opcode, 0, 0, ptr, 0.0f);
    }
    // As the host ends an effect: effClose destroys it together with its editor.
    void destroy()
    {
        if (record != nullptr) {
            dispatch(effClose);
            host.forget(record);
            record = nullptr;
        }
    }
    float switchValue() const { return effect.switchValue(); }
    void setSwitchValue(float value) { effect.storeSwitchValue(value, false); }

    RecordingHost& host;
    AEffect* record;
    SwitchEffect& effect;
    ButtonEditor* editor;
};

class ButtonEditorTest : public testing::Test {
protected:
    ButtonEditorTest() : savedInstance(std::exchange(moduleInstance, fake.makeHandle("module"))) { host.clearCalls(); }
    ~ButtonEditorTest() override { moduleInstance = savedInstance; }

    void TearDown() override
    {
        edited.destroy();
        EXPECT_EQ(fake.faults(), Calls{});
        EXPECT_EQ(fake.liveObjects(), Calls{});
        EXPECT_EQ(classUseCount, 0);
    }

    intptr_t open() { return edited.dispatch(effEditOpen, parent); }
    void close() { edited.dispatch(effEditClose); }
    intptr_t send(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0)
    {
        return fake.send(fake.latestWindow(), message, wParam, lParam);
    }

    FakeWindowSystem fake;
    void* savedInstance;
    RecordingHost host;
    EditedSwitch edited{host, fake, "editor"};
    void* parent = fake.makeHandle("parent");
};

TEST_F(ButtonEditorTest, RegistersWithTheEffectResetsAndHandsOutItsRectangleOpenOrClosed)
{
    EXPECT_EQ(edited.effect.getEditor(), edited.editor);
    EXPECT_EQ(edited.record->flags & effFlagsHasEditor, effFlagsHasEditor);
    // Reset turns the switch off and leaves nothing to close.
    edited.setSwitchValue(127.0f);
    edited.editor->reset();
    EXPECT_EQ(edited.switchValue(), 0.0f);
    close();
    EXPECT_EQ(fake.calls(), Calls{});
    for (bool opened : {false, true}) {
        if (opened) {
            open();
        }
        ERect* rect = nullptr;
        EXPECT_EQ(edited.dispatch(effEditGetRect, &rect), 1);
        ASSERT_EQ(rect, &buttonEditorRect);
        EXPECT_EQ(std::vector<int>({rect->top, rect->left, rect->bottom, rect->right}),
                  std::vector<int>({0, 0, 96, 256}));
    }
    close();
}

TEST_F(ButtonEditorTest, OpenDrawIdleAndCloseCallSequences)
{
    EXPECT_EQ(open(), 1);
    EXPECT_EQ(fake.calls(), openCalls);
    EXPECT_EQ(fake.procedureOf("VEclass"), &buttonWindowProc);

    fake.clearCalls();
    send(kWmTimer, 1);
    EXPECT_EQ(fake.calls(), Calls{lookup} + firstDraw(false) + Calls{byDefault("0x0113, 1, 0x00000000")});
    fake.clearCalls();
    edited.dispatch(effEditIdle);
    EXPECT_EQ(fake.calls(), Calls{"handlePendingEvents()"});
    // A draw without a fresh drawing context copies nothing.
    fake.script("getDC", {0});
    fake.clearCalls();
    send(kWmPaint);
    EXPECT_EQ(fake.calls(), (Calls{lookup, "getDC(window1) -> null", byDefault("0x000f, 0, 0x00000000")}));

    fake.clearCalls();
    close();
    EXPECT_EQ(fake.calls(), closeCalls);
    fake.clearCalls();
    close();
    EXPECT_EQ(fake.calls(), Calls{});
}

TEST_F(ButtonEditorTest, OpenWhileOpenMovesTheEditorToTheNewParent)
{
    open();
    fake.clearCalls();
    EXPECT_EQ(edited.dispatch(effEditOpen, fake.makeHandle("otherParent")), 1);
    const Calls calls = fake.calls();
    ASSERT_EQ(calls.size(), closeCalls.size() + openCalls.size());
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + 8), closeCalls);
    EXPECT_EQ(calls[11], "createWindowEx(VEclass, Vela, 0x50000000, 0, 0, 256, 96, otherParent, module) -> "
                         "window2");
    close();
}

// Each message once, to an open editor with the switch off; the system's default handling
// answers 77.
struct MessageCase {
    const char* name;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    Calls handling; // after the user-data lookup
    intptr_t result;
};

class ButtonWindowMessages : public ButtonEditorTest, public testing::WithParamInterface<MessageCase> {};

TEST_P(ButtonWindowMessages, AreHandledAsTheWindowNeeds)
{
    const MessageCase& item = GetParam();
    open();
    fake.clearCalls();
    fake.script("defWindowProc", {77});
    EXPECT_EQ(send(item.message, item.wParam, item.lParam), item.result);
    EXPECT_EQ(fake.calls(), Calls{lookup} + item.handling);
    EXPECT_TRUE(host.calls().empty());
    close();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ButtonWindowMessages,
    testing::Values(MessageCase{"Paint", kWmPaint, 0, 0,
                                firstDraw(false) + Calls{byDefault("0x000f, 0, 0x00000000", 77)}, 77},
                    MessageCase{"EraseBackground", kWmEraseBackground, 0, 0, firstDraw(false), 1},
                    MessageCase{"MouseMove",
                                kWmMouseMove,
                                0,
                                0x00050005,
                                {"loadCursor(null, 32512) -> cursor2", "setCursor(cursor2)",
                                 byDefault("0x0200, 0, 0x00050005", 77)},
                                77},
                    MessageCase{"LeftPressOffTheButton",
                                kWmLeftButtonDown,
                                1,
                                0x00050005,
                                {"setCapture(window1)", byDefault("0x0201, 1, 0x00050005", 77)},
                                77},
                    MessageCase{"LeftRelease",
                                kWmLeftButtonUp,
                                0,
                                0x00280080,
                                {"releaseCapture()", byDefault("0x0202, 0, 0x00280080", 77)},
                                77},
                    MessageCase{"RightPressOnTheButton",
                                kWmRightButtonDown,
                                2,
                                0x00280080,
                                {"setCapture(window1)", byDefault("0x0204, 2, 0x00280080", 77)},
                                77},
                    MessageCase{"RightRelease",
                                kWmRightButtonUp,
                                0,
                                0x00280080,
                                {"releaseCapture()", byDefault("0x0205, 0, 0x00280080", 77)},
                                77},
                    MessageCase{"DoubleClick", 0x0203, 1, 0x00280080, {byDefault("0x0203, 1, 0x00280080", 77)}, 77},
                    MessageCase{"SetCursor", 0x0020, 0, 0, {byDefault("0x0020, 0, 0x00000000", 77)}, 77}),
    [](const testing::TestParamInfo<MessageCase>& info) { return std::string(info.param.name); });

TEST_F(ButtonEditorTest, TimerDrawsOnlyForTheIdentifierSetTimerReturned)
{
    fake.script("setTimer", {7});
    open();
    fake.clearCalls();
    send(kWmTimer, 1);
    EXPECT_EQ(fake.calls(), (Calls{lookup, byDefault("0x0113, 1, 0x00000000")}));
    fake.clearCalls();
    send(kWmTimer, 7);
    EXPECT_EQ(fake.calls(), Calls{lookup} + firstDraw(false) + Calls{byDefault("0x0113, 7, 0x00000000")});
    fake.clearCalls();
    close();
    EXPECT_EQ(fake.calls().front(), "killTimer(window1, 7)");
}

TEST_F(ButtonEditorTest, PressTogglesInsideTheHitRectangleOnly)
{
    struct Point {
        int x;
        int y;
        bool toggles;
    };
    const Point points[] = {
        {16, 9, true},    {238, 69, true},     {128, 40, true},    {16, 69, true},       {238, 9, true},
        {15, 40, false},  {239, 40, false},    {128, 8, false},    {128, 70, false},     {-1, 40, false},
        {128, -1, false}, {-200, -300, false}, {32767, 40, false}, {128, -32768, false},
    };
    open();
    for (const Point& point : points) {
        // Windows packs the position into 32 bits; a 64-bit lParam may carry them sign-extended.
        const intptr_t zeroExtended = packedPosition(point.x, point.y);
        for (intptr_t lParam : {zeroExtended, static_cast<intptr_t>(static_cast<int32_t>(zeroExtended))}) {
            edited.setSwitchValue(0.0f);
            host.clearCalls();
            send(kWmLeftButtonDown, 1, lParam);
            EXPECT_EQ(edited.switchValue(), point.toggles ? 1.0f : 0.0f) << "at (" << point.x << ", " << point.y << ")";
            EXPECT_EQ(host.calls().size(), point.toggles ? 1u : 0u);
        }
    }
    close();
}

TEST_F(ButtonEditorTest, LitFaceAndPressFollowTheTruncatedSwitchValueAndReportTheNewValue)
{
    const float infinity = std::numeric_limits<float>::infinity();
    // Beyond any 32-bit integer, and NaN, read as on, as the effect's display reads them.
    std::vector<HostSwitchValue> cases = {
        {1.0f / 127.0f, true},
        {-0.5f / 127.0f, false},
        {126.9f / 127.0f, true},
        {-1.0f / 127.0f, true},
        {16777216.0f / 127.0f, true},
        {3.0e9f / 127.0f, true},
        {infinity, true},
        {-infinity, true},
        {std::numeric_limits<float>::quiet_NaN(), true},
    };
    cases.insert(cases.end(), std::begin(kHostSwitchValues), std::end(kHostSwitchValues));
    open();
    for (const HostSwitchValue& item : cases) {
        SCOPED_TRACE(item.normalised);
        edited.record->setParameter(edited.record, 0, item.normalised);
        fake.clearCalls();
        send(kWmPaint);
        EXPECT_EQ(countStarting(fake.calls(), litOverlay), item.lit ? 1 : 0);
        host.clearCalls();
        send(kWmLeftButtonDown, 1, packedPosition(128, 40));
        EXPECT_EQ(edited.switchValue(), item.lit ? 0.0f : 1.0f);
        EXPECT_EQ(pressOutcome(edited.record, host.calls(), item.lit), "");
    }
    close();
}

TEST_F(ButtonEditorTest, ClassLivesFromTheFirstOpenToTheLastClose)
{
    EditedSwitch second(host, fake, "editor2");
    const auto registrations = [this] {
        const std::pair counts{countStarting(fake.calls(), "registerClass("),
                               countStarting(fake.calls(), "unregisterClass(")};
        fake.clearCalls();
        return counts;
    };
    open();
    EXPECT_EQ(registrations(), std::pair(1, 0));
    second.dispatch(effEditOpen, parent);
    EXPECT_EQ(registrations(), std::pair(0, 0));
    EXPECT_EQ(classUseCount, 2);
    close();
    EXPECT_EQ(registrations(), std::pair(0, 0));
    // The second editor's window still works after the first one closed.
    EXPECT_EQ(fake.send(fake.latestWindow(), kWmEraseBackground), 1);
    EXPECT_EQ(fake.calls()[0], "getWindowLong(window2, -21) -> editor2");
    fake.clearCalls();
    second.dispatch(effEditClose);
    EXPECT_EQ(registrations(), std::pair(0, 1));
    open();
    EXPECT_EQ(registrations(), std::pair(1, 0));
    close();
}

TEST_F(ButtonEditorTest, MessagesBeforeOpenStoresTheEditorGetDefaultHandling)
{
    fake.deliverDuringCreation({{kWmEraseBackground, 0, 0},
                                {kWmPaint, 0, 0},
                                {kWmTimer, 1, 0},
                                {kWmLeftButtonDown, 1, packedPosition(128, 40)}});
    open();
    const Calls expected = {
        "registerClass(VEclass, procedure, module, cursor1, brush1)",
        "getWindowLong(window1, -21) -> 0",
        byDefault("0x0014, 0, 0x00000000"),
        "getWindowLong(window1, -21) -> 0",
        byDefault("0x000f, 0, 0x00000000"),
        "getWindowLong(window1, -21) -> 0",
        byDefault("0x0113, 1, 0x00000000"),
        "getWindowLong(window1, -21) -> 0",
        byDefault("0x0201, 1, 0x00280080"),
        "createWindowEx(VEclass, Vela, 0x50000000, 0, 0, 256, 96, parent, module) -> window1",
    };
    EXPECT_EQ(Calls(fake.calls().begin() + 2, fake.calls().begin() + 12), expected);
    EXPECT_EQ(edited.switchValue(), 0.0f);
    close();
}

TEST_F(ButtonEditorTest, DestroyingAnOpenEditorDetachesItBeforeItsWindowGoes)
{
    fake.deliverDuringDestruction({{kWmEraseBackground, 0, 0},
                                   {kWmPaint, 0, 0},
                                   {kWmTimer, 1, 0},
                                   {kWmLeftButtonDown, 1, packedPosition(128, 40)}});
    open();
    fake.clearCalls();
    edited.destroy();
    // What reaches the window while it goes finds no editor: default handling, no draw, no toggle.
    const std::string noEditor = "getWindowLong(window1, -21) -> 0";
    const Calls messages = {
        noEditor, byDefault("0x0014, 0, 0x00000000"), noEditor, byDefault("0x000f, 0, 0x00000000"),
        noEditor, byDefault("0x0113, 1, 0x00000000"), noEditor, byDefault("0x0201, 1, 0x00280080"),
    };
    EXPECT_EQ(fake.calls(), Calls(closeCalls.begin(), closeCalls.begin() + 4) + messages +
                                Calls(closeCalls.begin() + 4, closeCalls.end()));
    EXPECT_TRUE(host.calls().empty());
}

TEST_F(ButtonEditorTest, WithoutAWindowOpenPaintsNowhereAndCloseBalancesTheClass)
{
    // A full open and close first, so that no handle of that window may be given back twice.
    open();
    close();
    fake.clearCalls();
    fake.script("createWindowEx", {0});
    EXPECT_EQ(open(), 1);
    EXPECT_EQ(fake.calls(), (Calls{"loadCursor(module, 32512) -> cursor2", "getSysColorBrush(15) -> brush2",
                                   "registerClass(VEclass, procedure, module, cursor2, brush2)",
                                   "createWindowEx(VEclass, Vela, 0x50000000, 0, 0, 256, 96, parent, module) -> "
                                   "null"}));
    fake.clearCalls();
    edited.editor->draw();
    EXPECT_EQ(fake.calls(), Calls{});
    close();
    EXPECT_EQ(fake.calls(), Calls{"unregisterClass(VEclass, module)"});
}

// One window-system step of open fails; the editor draws only with everything it needs and
// close gives back exactly what open made.
TEST_F(ButtonEditorTest, APartialOpenDrawsOnlyWhenComplete)
{
    for (const std::string failing : {"getDC", "createCompatibleDC", "loadImage", "setTimer", "selectObject"}) {
        SCOPED_TRACE(failing);
        fake.script(failing, {0});
        EXPECT_EQ(open(), 1);
        fake.clearCalls();
        send(kWmPaint);
        send(kWmTimer, 1);
        send(kWmEraseBackground);
        EXPECT_EQ(countStarting(fake.calls(), "bitBlt("), failing == "setTimer" ? 4 : 0);
        close();
        EXPECT_EQ(fake.liveObjects(), Calls{});
    }
}

} // namespace

} // namespace vela
