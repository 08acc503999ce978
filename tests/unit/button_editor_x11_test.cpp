// SPDX-License-Identifier: MIT
// The button editor in real X windows, driven through the effect's record as a Linux host
// drives it: the pixels it paints, a real click on its button, the idle calls that bring its
// events and ticks, and what stays behind after many open and close cycles.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "editor/button_editor.h"
#include "effect/switch_effect.h"
#include "frame/opcodes.h"
#include "host/recording_host.h"
#include "tests/support/sheet_faces.h"
#include "tests/support/switch_press.h"
#include "tests/support/test_display.h"
#include "tests/support/x11_test_display.h"

#include "editor/platform/x11_window_system.h"

namespace vela {

namespace {

using namespace x11_test;
using namespace std::chrono_literals;

X11WindowSystem& nativeSystem()
{
    // On Linux the native window system is the X11 one.
    return static_cast<X11WindowSystem&>(WindowSystem::native());
}

class ButtonEditorX11 : public ParentWindowTest {
protected:
    void SetUp() override
    {
        ParentWindowTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        // One effect with its editor, made and ended through the record as a host does.
        record = host.callEntry([](audioMasterCallback host) { return (new SwitchEffect(host))->getAeffect(); });
        (new ButtonEditor(*static_cast<SwitchEffect*>(static_cast<EffectCore*>(record->object))))->reset();
    }

    void TearDown() override
    {
        if (record != nullptr) {
            dispatch(effClose); // the effect deletes its editor
            host.forget(record);
        }
        ParentWindowTest::TearDown();
    }

    intptr_t dispatch(int32_t opcode, Window window = None)
    {
        return record->dispatcher(record, opcode, 0, 0, reinterpret_cast<void*>(static_cast<uintptr_t>(window)), 0.0f);
    }

    // Idles the editor until the child shows the face; answers how it still differs.
    std::string idleUntilShown(Window child, bool lit)
    {
        const Pixels face = sheetFace(lit);
        const auto idle = [&] {
            dispatch(effEditIdle);
            // What the editor drew reaches the server before the test reads it back.
            if (nativeSystem().display() != nullptr) {
                XSync(nativeSystem().display(), False);
            }
        };
        idleUntil(
            idle, [&] { return readWindow(display, child) == face; }, 2s);
        return firstDifference(readWindow(display, child), face);
    }

    RecordingHost host;
    AEffect* record = nullptr;
};

TEST_F(ButtonEditorX11, ShowsTheFaceAndRealClicksTurnALitSwitchOffAndAnUnlitOneOn)
{
    ASSERT_EQ(dispatch(effEditOpen, parent), 1);
    const std::vector<Window> children = childrenOf(display, parent);
    ASSERT_EQ(children.size(), 1u);
    const Window child = children[0];
    EXPECT_EQ(idleUntilShown(child, false), "");

    pointAt(display, child, 128, 40);
    pressButton(display, Button1, true);
    pressButton(display, Button1, false);
    EXPECT_EQ(idleUntilShown(child, true), "");
    EXPECT_EQ(record->getParameter(record, 0), 1.0f / 127.0f);

    // Whatever the host set, a tick shows it, and a click turns it off when lit, on when not.
    for (const HostSwitchValue& value : kHostSwitchValues) {
        SCOPED_TRACE(value.normalised);
        record->setParameter(record, 0, value.normalised);
        EXPECT_EQ(idleUntilShown(child, value.lit), "");
        host.clearCalls();
        pressButton(display, Button1, true);
        pressButton(display, Button1, false);
        EXPECT_EQ(idleUntilShown(child, !value.lit), "");
        EXPECT_EQ(pressOutcome(record, host.calls(), value.lit), "");
    }

    dispatch(effEditClose);
    EXPECT_TRUE(childrenOf(display, parent).empty());
    EXPECT_EQ(classUseCount, 0);
    EXPECT_EQ(nativeSystem().display(), nullptr);
}

TEST_F(ButtonEditorX11, ManyOpenCloseCyclesLeaveNothingBehind)
{
    for (int cycle = 0; cycle < 200; ++cycle) {
        ASSERT_EQ(dispatch(effEditOpen, parent), 1);
        ASSERT_EQ(nativeSystem().usage(), (X11WindowSystem::Usage{1, 1, 1, 1, 1})) << "cycle " << cycle;
        dispatch(effEditIdle);
        dispatch(effEditClose);
        ASSERT_EQ(nativeSystem().usage(), (X11WindowSystem::Usage{0, 0, 0, 0, 0})) << "cycle " << cycle;
    }
    EXPECT_TRUE(childrenOf(display, parent).empty());
    EXPECT_EQ(nativeSystem().display(), nullptr);
}

} // namespace

} // namespace vela
