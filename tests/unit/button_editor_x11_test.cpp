// The button editor in real X windows, driven through the effect's record as a Linux host
// drives it: the pixels it paints, a real click on its button, the idle calls that bring its
// events and ticks, and what stays behind after many open and close cycles.

#ifndef _WIN32

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/button_editor.h"
#include "effect/switch_effect.h"
#include "frame/opcodes.h"
#include "host/recording_host.h"
#include "tests/support/sheet_faces.h"
#include "tests/support/x11_test_display.h"

#include "editor/platform/x11_window_system.h"


namespace {

using namespace x11_test;
using namespace std::chrono_literals;

X11WindowSystem& nativeSystem()
{
    return dynamic_cast<X11WindowSystem&>(WindowSystem::native());
}

// One effect with its editor, made and ended through the record as a host does.
struct EditedEffect {
    EditedEffect()
    {
        record = host.callEntry([](audioMasterCallback callback) { return (new SwitchEffect(callback))->getAeffect(); });
        effect = static_cast<SwitchEffect*>(static_cast<EffectCore*>(record->object));
        (new ButtonEditor(*effect))->reset();
        host.clearCalls();
    }
    ~EditedEffect()
    {
        dispatch(effClose);  // the effect deletes its editor
        host.forget(record);
    }
    EditedEffect(const EditedEffect&) = delete;
    EditedEffect& operator=(const EditedEffect&) = delete;

    intptr_t dispatch(int32_t opcode, void* ptr = nullptr) { return record->dispatcher(record, opcode, 0, 0, ptr, 0.0f); }
    float switchValue() const { return effect->paramValue[0].load(std::memory_order_relaxed); }

    RecordingHost host;
    AEffect* record = nullptr;
    SwitchEffect* effect = nullptr;
};

class ButtonEditorX11 : public testing::Test {
protected:
    void SetUp() override
    {
        display = openDisplay();
        if (display == nullptr || DefaultDepth(display, DefaultScreen(display)) != 24) {
            GTEST_SKIP() << "no X display with 24-bit colour";
        }
        parent = makeParent(display);
    }

    void TearDown() override
    {
        if (display != nullptr) {
            XDestroyWindow(display, parent);
            XCloseDisplay(display);
        }
    }

    void* parentHandle() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(parent)); }

    // Idles the editor until the child shows the face; answers how it still differs.
    std::string idleUntilShown(EditedEffect& edited, Window child, bool lit)
    {
        const Pixels face = sheetFace(lit);
        const auto idle = [&] {
            edited.dispatch(effEditIdle);
            // What the editor drew reaches the server before the test reads it back.
            if (nativeSystem().display() != nullptr) {
                XSync(nativeSystem().display(), False);
            }
        };
        idleUntil(idle, [&] { return readWindow(display, child) == face; }, 2s);
        return firstDifference(readWindow(display, child), face);
    }

    Display* display = nullptr;
    Window parent = None;
};

TEST_F(ButtonEditorX11, ShowsTheFaceAndARealClickOnTheButtonTurnsTheSwitchOn)
{
    EditedEffect edited;
    ASSERT_EQ(edited.dispatch(effEditOpen, parentHandle()), 1);
    const std::vector<Window> children = childrenOf(display, parent);
    ASSERT_EQ(children.size(), 1u);
    const Window child = children[0];
    EXPECT_EQ(idleUntilShown(edited, child, false), "");

    // Beside the button: nothing changes, however long the editor idles.
    pointAt(display, child, 15, 40);
    pressButton(display, Button1, true);
    pressButton(display, Button1, false);
    idleUntil([&] { edited.dispatch(effEditIdle); }, [] { return false; }, 120ms);
    EXPECT_EQ(edited.switchValue(), 0.0f);
    EXPECT_TRUE(edited.host.calls().empty());

    pointAt(display, child, 128, 40);
    pressButton(display, Button1, true);
    pressButton(display, Button1, false);
    EXPECT_EQ(idleUntilShown(edited, child, true), "");
    EXPECT_EQ(edited.switchValue(), 1.0f);
    const std::vector<HostCall> calls = edited.host.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].opcode, audioMasterAutomate);
    EXPECT_EQ(calls[0].index, 0);
    EXPECT_EQ(calls[0].opt, 1.0f / 127.0f);

    // The host turns the switch off; a tick shows it.
    edited.record->setParameter(edited.record, 0, 0.0f);
    EXPECT_EQ(idleUntilShown(edited, child, false), "");

    edited.dispatch(effEditClose);
    EXPECT_TRUE(childrenOf(display, parent).empty());
    EXPECT_EQ(classUseCount, 0);
    EXPECT_EQ(nativeSystem().display(), nullptr);
}

TEST_F(ButtonEditorX11, ManyOpenCloseCyclesLeaveNothingBehind)
{
    EditedEffect edited;
    for (int cycle = 0; cycle < 200; ++cycle) {
        ASSERT_EQ(edited.dispatch(effEditOpen, parentHandle()), 1);
        ASSERT_EQ(nativeSystem().usage(), (X11WindowSystem::Usage{1, 1, 1, 1, 1})) << "cycle " << cycle;
        edited.dispatch(effEditIdle);
        edited.dispatch(effEditClose);
        ASSERT_EQ(nativeSystem().usage(), (X11WindowSystem::Usage{0, 0, 0, 0, 0})) << "cycle " << cycle;
    }
    EXPECT_TRUE(childrenOf(display, parent).empty());
    EXPECT_EQ(nativeSystem().display(), nullptr);
}

}  // namespace

#endif
