// The button editor's window-system calls, seen through the recording fake: the exact order of
// open, draw and close, the window procedure's answers, the toggle, and what happens when a
// window-system call fails.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "editor/button_editor.h"
#include "editor/platform/fake_window_system.h"
#include "effect/switch_effect.h"
#include "frame/module_instance.h"
#include "frame/opcodes.h"
#include "host/recording_host.h"

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
    "destroyWindow(window1)",
    "selectObject(dc2, stock1) -> bitmap1",
    "deleteDC(dc2)",
    "deleteObject(bitmap1)",
    "unregisterClass(VEclass, module)",
};

// The first draw after open: the off face into the band, the lit button over it while the
// switch is on, the band to the window.
Calls firstDraw(bool lit)
{
    Calls calls = {"getDC(window1) -> dc3", "bitBlt(dc2, 0, 0, 256, 96, dc2, 0, 96)"};
    if (lit) {
        calls.push_back("bitBlt(dc2, 17, 10, 220, 58, dc2, 1, 193)");
    }
    calls.push_back("bitBlt(dc3, 0, 0, 256, 96, dc2, 0, 0)");
    calls.push_back("releaseDC(window1, dc3)");
    return calls;
}

Calls operator+(Calls first, const Calls& second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The packed pointer position of a mouse message: x in the low, y in the high 16 bits.
intptr_t packedPosition(int x, int y)
{
    return static_cast<intptr_t>((static_cast<uint32_t>(static_cast<uint16_t>(y)) << 16) |
                                 static_cast<uint16_t>(x));
}

AEffect* createSwitch(audioMasterCallback callback)
{
    return (new SwitchEffect(callback))->getAeffect();
}

// A switch effect created as a host creates it, owning a button editor on the fake window
// system, exactly as the final effect class sets it up.
class EditedSwitch {
public:
    EditedSwitch(RecordingHost& host, FakeWindowSystem& fake, const std::string& editorName)
        : host(host),
          record(host.callEntry(createSwitch)),
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
        if (record == nullptr) {
            return;
        }
        dispatch(effClose);
        host.forget(record);
        record = nullptr;
    }
    float switchValue() const { return effect.paramValue[0].load(std::memory_order_relaxed); }
    void setSwitchValue(float value)
    {
        effect.paramValue[0].store(value, std::memory_order_relaxed);
    }

    RecordingHost& host;
    AEffect* record;
    SwitchEffect& effect;
    ButtonEditor* editor;
};

class ButtonEditorTest : public testing::Test {
protected:
    ButtonEditorTest() : savedInstance(moduleInstance)
    {
        moduleInstance = fake.makeHandle("module");
        host.clearCalls();
    }

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
    std::vector<HostCall> hostCalls() const { return host.calls(); }

    void* savedInstance;
    FakeWindowSystem fake;
    RecordingHost host;
    EditedSwitch edited{host, fake, "editor"};
    void* parent = fake.makeHandle("parent");
};

TEST_F(ButtonEditorTest, RegistersWithTheEffect)
{
    EXPECT_EQ(edited.effect.getEditor(), edited.editor);
    EXPECT_EQ(edited.record->flags & 1, 1);
}

TEST_F(ButtonEditorTest, HandsOutItsRectangleOpenOrClosed)
{
    for (bool opened : {false, true}) {
        if (opened) {
            open();
        }
        ERect* rect = nullptr;
        EXPECT_EQ(edited.dispatch(effEditGetRect, &rect), 1);
        ASSERT_EQ(rect, &buttonEditorRect);
        EXPECT_EQ(rect->top, 0);
        EXPECT_EQ(rect->left, 0);
        EXPECT_EQ(rect->bottom, 96);
        EXPECT_EQ(rect->right, 256);
    }
    close();
}

TEST_F(ButtonEditorTest, OpenPaintCloseCallSequence)
{
    EXPECT_EQ(open(), 1);
    EXPECT_EQ(fake.calls(), openCalls);
    EXPECT_EQ(fake.procedureOf("VEclass"), &buttonWindowProc);

    fake.clearCalls();
    send(WM_TIMER, 1);
    EXPECT_EQ(fake.calls(), Calls{"getWindowLong(window1, -21) -> editor"} + firstDraw(false) +
                                Calls{"defWindowProc(window1, 0x0113, 1, 0x00000000) -> 0"});

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
    void* otherParent = fake.makeHandle("otherParent");
    EXPECT_EQ(edited.dispatch(effEditOpen, otherParent), 1);
    const Calls calls = fake.calls();
    ASSERT_EQ(calls.size(), closeCalls.size() + openCalls.size());
    EXPECT_EQ(Calls(calls.begin(), calls.begin() + 7), closeCalls);
    EXPECT_EQ(calls[10], "createWindowEx(VEclass, Vela, 0x50000000, 0, 0, 256, 96, otherParent, "
                         "module) -> window2");
    close();
}

TEST_F(ButtonEditorTest, CloseWithoutOpenDoesNothing)
{
    close();
    EXPECT_EQ(fake.calls(), Calls{});
}

TEST_F(ButtonEditorTest, IdleLetsTheWindowSystemDeliverEvents)
{
    open();
    fake.clearCalls();
    edited.dispatch(effEditIdle);
    EXPECT_EQ(fake.calls(), Calls{"handlePendingEvents()"});
    close();
}

TEST_F(ButtonEditorTest, LitButtonFollowsTheTruncatedSwitchValue)
{
    struct Case {
        float value;
        bool lit;
    };
    const Case cases[] = {
        {0.0f, false},
        {0.5f, false},
        {-0.5f, false},
        {1.0f, true},
        {127.0f, true},
        {-1.0f, true},
        // Beyond any 32-bit integer: read as on, as the effect's display reads them.
        {3.0e9f, true},
        {std::numeric_limits<float>::infinity(), true},
        {std::numeric_limits<float>::quiet_NaN(), true},
    };
    open();
    for (const Case& item : cases) {
        edited.setSwitchValue(item.value);
        fake.clearCalls();
        send(WM_PAINT);
        int overlays = 0;
        for (const std::string& call : fake.calls()) {
            overlays += call == "bitBlt(dc2, 17, 10, 220, 58, dc2, 1, 193)";
        }
        EXPECT_EQ(overlays, item.lit ? 1 : 0) << "switch value " << item.value;
    }
    close();
}

// Each message once, to an open editor with the switch off; the system's default handling
// answers 77.
struct MessageCase {
    const char* name;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
    Calls handling;  // after the user-data lookup
    intptr_t result;
};

const std::string defaultHandling = " -> 77";

class ButtonWindowMessages : public ButtonEditorTest,
                             public testing::WithParamInterface<MessageCase> {};

TEST_P(ButtonWindowMessages, AreHandledAsTheWindowNeeds)
{
    const MessageCase& item = GetParam();
    open();
    fake.clearCalls();
    fake.script("defWindowProc", {77});
    EXPECT_EQ(send(item.message, item.wParam, item.lParam), item.result);
    EXPECT_EQ(fake.calls(), Calls{"getWindowLong(window1, -21) -> editor"} + item.handling);
    EXPECT_EQ(hostCalls().size(), 0u);
    close();
}

INSTANTIATE_TEST_SUITE_P(
    Table, ButtonWindowMessages,
    testing::Values(
        MessageCase{"Paint", WM_PAINT, 0, 0,
                    firstDraw(false) + Calls{"defWindowProc(window1, 0x000f, 0, 0x00000000) -> 77"},
                    77},
        MessageCase{"EraseBackground", WM_ERASEBKGND, 0, 0, firstDraw(false), 1},
        MessageCase{"OwnTimer", WM_TIMER, 1, 0,
                    firstDraw(false) + Calls{"defWindowProc(window1, 0x0113, 1, 0x00000000) -> 77"},
                    77},
        MessageCase{"OtherTimer", WM_TIMER, 2, 0,
                    {"defWindowProc(window1, 0x0113, 2, 0x00000000) -> 77"}, 77},
        MessageCase{"MouseMove", WM_MOUSEMOVE, 0, 0x00050005,
                    {"loadCursor(null, 32512) -> cursor2", "setCursor(cursor2)",
                     "defWindowProc(window1, 0x0200, 0, 0x00050005) -> 77"},
                    77},
        MessageCase{"LeftPressOffTheButton", WM_LBUTTONDOWN, 1, 0x00050005,
                    {"setCapture(window1)", "defWindowProc(window1, 0x0201, 1, 0x00050005) -> 77"},
                    77},
        MessageCase{"LeftRelease", WM_LBUTTONUP, 0, 0x00280080,
                    {"releaseCapture()", "defWindowProc(window1, 0x0202, 0, 0x00280080) -> 77"},
                    77},
        MessageCase{"RightPressOnTheButton", WM_RBUTTONDOWN, 2, 0x00280080,
                    {"setCapture(window1)", "defWindowProc(window1, 0x0204, 2, 0x00280080) -> 77"},
                    77},
        MessageCase{"RightRelease", WM_RBUTTONUP, 0, 0x00280080,
                    {"releaseCapture()", "defWindowProc(window1, 0x0205, 0, 0x00280080) -> 77"},
                    77},
        MessageCase{"DoubleClick", 0x0203, 1, 0x00280080,
                    {"defWindowProc(window1, 0x0203, 1, 0x00280080) -> 77"}, 77},
        MessageCase{"SetCursor", 0x0020, 0, 0,
                    {"defWindowProc(window1, 0x0020, 0, 0x00000000) -> 77"}, 77}),
    [](const testing::TestParamInfo<MessageCase>& info) { return std::string(info.param.name); });

TEST_F(ButtonEditorTest, TimerDrawsOnlyForTheIdentifierSetTimerReturned)
{
    fake.script("setTimer", {7});
    open();
    for (uintptr_t identifier : {uintptr_t{1}, uintptr_t{7}}) {
        fake.clearCalls();
        send(WM_TIMER, identifier);
        const bool drew = fake.calls().size() > 2;
        EXPECT_EQ(drew, identifier == 7) << "timer " << identifier;
    }
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
        {16, 9, true},   {238, 69, true},  {128, 40, true},  {16, 69, true},   {238, 9, true},
        {15, 40, false}, {239, 40, false}, {128, 8, false},  {128, 70, false}, {-1, 40, false},
        {128, -1, false}, {-200, -300, false}, {32767, 40, false}, {128, -32768, false},
    };
    open();
    for (const Point& point : points) {
        // Windows packs the position into 32 bits; a 64-bit lParam may carry them sign-extended.
        const intptr_t zeroExtended = packedPosition(point.x, point.y);
        const auto signExtended = static_cast<intptr_t>(static_cast<int32_t>(zeroExtended));
        for (intptr_t lParam : {zeroExtended, signExtended}) {
            edited.setSwitchValue(0.0f);
            host.clearCalls();
            send(WM_LBUTTONDOWN, 1, lParam);
            EXPECT_EQ(edited.switchValue(), point.toggles ? 1.0f : 0.0f)
                << "press at (" << point.x << ", " << point.y << ")";
            EXPECT_EQ(hostCalls().size(), point.toggles ? 1u : 0u);
        }
    }
    close();
}

TEST_F(ButtonEditorTest, PressFlipsTheLowestBitOfTheIntegerPart)
{
    struct Case {
        float before;
        float after;
    };
    const Case cases[] = {
        {0.0f, 1.0f},
        {1.0f, 0.0f},
        {0.5f, 1.0f},
        {127.0f, 126.0f},
        {126.9f, 127.0f},
        // Where the flipped integer does not fit a float, or there is none, a press turns off.
        {16777216.0f, 0.0f},
        {3.0e9f, 0.0f},
        {-std::numeric_limits<float>::infinity(), 0.0f},
        {std::numeric_limits<float>::quiet_NaN(), 0.0f},
    };
    open();
    for (const Case& item : cases) {
        edited.setSwitchValue(item.before);
        host.clearCalls();
        send(WM_LBUTTONDOWN, 1, packedPosition(128, 40));
        EXPECT_EQ(edited.switchValue(), item.after) << "switch value " << item.before;
        const std::vector<HostCall> calls = hostCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_FLOAT_EQ(calls[0].opt, item.after / 127.0f);
    }
    close();
}

TEST_F(ButtonEditorTest, PressesReportTheAutomatedValueToTheHost)
{
    struct Press {
        float switchValue;
        float reported;
    };
    open();
    for (const Press& press : {Press{1.0f, 1.0f / 127.0f}, Press{0.0f, 0.0f}}) {
        host.clearCalls();
        send(WM_LBUTTONDOWN, 1, packedPosition(128, 40));
        const std::vector<HostCall> calls = hostCalls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].effect, edited.record);
        EXPECT_EQ(calls[0].opcode, audioMasterAutomate);
        EXPECT_EQ(calls[0].index, 0);
        EXPECT_EQ(calls[0].opt, press.reported);
        EXPECT_EQ(edited.switchValue(), press.switchValue);
        EXPECT_EQ(edited.record->getParameter(edited.record, 0), press.reported);
    }
    close();
}

TEST_F(ButtonEditorTest, ClassLivesFromTheFirstOpenToTheLastClose)
{
    EditedSwitch second(host, fake, "editor2");
    auto registrations = [this] {
        int registers = 0;
        int unregisters = 0;
        for (const std::string& call : fake.calls()) {
            registers += call.rfind("registerClass(", 0) == 0;
            unregisters += call.rfind("unregisterClass(", 0) == 0;
        }
        fake.clearCalls();
        return std::vector<int>{registers, unregisters};
    };
    open();
    EXPECT_EQ(registrations(), (std::vector<int>{1, 0}));
    second.dispatch(effEditOpen, parent);
    EXPECT_EQ(registrations(), (std::vector<int>{0, 0}));
    EXPECT_EQ(classUseCount, 2);
    close();
    EXPECT_EQ(registrations(), (std::vector<int>{0, 0}));
    // The second editor's window still works after the first one closed.
    EXPECT_EQ(fake.send(fake.latestWindow(), WM_ERASEBKGND), 1);
    EXPECT_EQ(fake.calls()[0], "getWindowLong(window2, -21) -> editor2");
    fake.clearCalls();
    second.dispatch(effEditClose);
    EXPECT_EQ(registrations(), (std::vector<int>{0, 1}));
    open();
    EXPECT_EQ(registrations(), (std::vector<int>{1, 0}));
    close();
}

TEST_F(ButtonEditorTest, MessagesBeforeOpenStoresTheEditorGetDefaultHandling)
{
    fake.deliverDuringCreation({{WM_ERASEBKGND, 0, 0},
                                {WM_PAINT, 0, 0},
                                {WM_TIMER, 1, 0},
                                {WM_LBUTTONDOWN, 1, packedPosition(128, 40)}});
    open();
    const Calls expected = {
        "registerClass(VEclass, procedure, module, cursor1, brush1)",
        "getWindowLong(window1, -21) -> 0",
        "defWindowProc(window1, 0x0014, 0, 0x00000000) -> 0",
        "getWindowLong(window1, -21) -> 0",
        "defWindowProc(window1, 0x000f, 0, 0x00000000) -> 0",
        "getWindowLong(window1, -21) -> 0",
        "defWindowProc(window1, 0x0113, 1, 0x00000000) -> 0",
        "getWindowLong(window1, -21) -> 0",
        "defWindowProc(window1, 0x0201, 1, 0x00280080) -> 0",
        "createWindowEx(VEclass, Vela, 0x50000000, 0, 0, 256, 96, parent, module) -> window1",
    };
    EXPECT_EQ(Calls(fake.calls().begin() + 2, fake.calls().begin() + 12), expected);
    EXPECT_EQ(edited.switchValue(), 0.0f);
    close();
}

TEST_F(ButtonEditorTest, MessagesWhileTheWindowGoesNeitherDrawNorToggle)
{
    fake.deliverDuringDestruction({{WM_ERASEBKGND, 0, 0},
                                   {WM_PAINT, 0, 0},
                                   {WM_TIMER, 1, 0},
                                   {WM_LBUTTONDOWN, 1, packedPosition(128, 40)}});
    open();
    fake.clearCalls();
    close();
    for (const std::string& call : fake.calls()) {
        EXPECT_EQ(call.rfind("getDC(", 0), std::string::npos) << call;
    }
    EXPECT_EQ(edited.switchValue(), 0.0f);
    EXPECT_EQ(hostCalls().size(), 0u);
}

TEST_F(ButtonEditorTest, WithoutAWindowOpenPaintsNowhereAndCloseBalancesTheClass)
{
    // A full open and close first, so that no handle of that window may be given back twice.
    open();
    close();
    fake.clearCalls();
    fake.script("createWindowEx", {0});
    EXPECT_EQ(open(), 1);
    EXPECT_EQ(fake.calls(), (Calls{"loadCursor(module, 32512) -> cursor2",
                                   "getSysColorBrush(15) -> brush2",
                                   "registerClass(VEclass, procedure, module, cursor2, brush2)",
                                   "createWindowEx(VEclass, Vela, 0x50000000, 0, 0, 256, 96, "
                                   "parent, module) -> null"}));
    fake.clearCalls();
    edited.editor->draw();
    EXPECT_EQ(fake.calls(), Calls{});
    close();
    EXPECT_EQ(fake.calls(), Calls{"unregisterClass(VEclass, module)"});
}

// One window-system step of open fails; the editor draws only with everything it needs and
// close gives back exactly what open made (TearDown checks nothing is left).
class ButtonEditorPartialOpen : public ButtonEditorTest,
                                public testing::WithParamInterface<const char*> {};

TEST_P(ButtonEditorPartialOpen, DrawsOnlyWhenComplete)
{
    const std::string failing = GetParam();
    fake.script(failing, {0});
    EXPECT_EQ(open(), 1);
    fake.clearCalls();
    send(WM_PAINT);
    send(WM_TIMER, 1);
    send(WM_ERASEBKGND);
    int copies = 0;
    for (const std::string& call : fake.calls()) {
        copies += call.rfind("bitBlt(", 0) == 0;
    }
    EXPECT_EQ(copies, failing == "setTimer" ? 4 : 0);
    close();
}

INSTANTIATE_TEST_SUITE_P(Steps, ButtonEditorPartialOpen,
                         testing::Values("getDC", "createCompatibleDC", "loadImage", "setTimer",
                                         "selectObject"));

TEST_F(ButtonEditorTest, DrawWithoutAFreshContextCopiesNothing)
{
    open();
    fake.script("getDC", {0});
    fake.clearCalls();
    send(WM_PAINT);
    EXPECT_EQ(fake.calls(), (Calls{"getWindowLong(window1, -21) -> editor",
                                   "getDC(window1) -> null",
                                   "defWindowProc(window1, 0x000f, 0, 0x00000000) -> 0"}));
    close();
}

TEST_F(ButtonEditorTest, DestroyingAnOpenEditorClosesItsWindow)
{
    fake.deliverDuringDestruction({{WM_PAINT, 0, 0}, {WM_LBUTTONDOWN, 1, packedPosition(128, 40)}});
    open();
    fake.clearCalls();
    edited.destroy();
    // The editor is still there while its window goes, but closed: nothing draws or toggles.
    const Calls messages = {
        "getWindowLong(window1, -21) -> editor",
        "defWindowProc(window1, 0x000f, 0, 0x00000000) -> 0",
        "getWindowLong(window1, -21) -> editor",
        "setCapture(window1)",
        "defWindowProc(window1, 0x0201, 1, 0x00280080) -> 0",
    };
    EXPECT_EQ(fake.calls(), Calls(closeCalls.begin(), closeCalls.begin() + 3) + messages +
                                Calls(closeCalls.begin() + 3, closeCalls.end()));
    EXPECT_EQ(hostCalls().size(), 0u);
}

TEST_F(ButtonEditorTest, ResetTurnsTheSwitchOffAndLeavesNothingToClose)
{
    edited.setSwitchValue(127.0f);
    edited.editor->reset();
    EXPECT_EQ(edited.switchValue(), 0.0f);
    close();
    EXPECT_EQ(fake.calls(), Calls{});
}

} // namespace
