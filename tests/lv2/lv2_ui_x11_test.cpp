// SPDX-License-Identifier: MIT
// The UI module of the bundle in a real X window, driven as an LV2 host drives an X11 UI: made
// inside the host's parent window, given time through the idle interface, told of port changes,
// and reporting a real click through the write function.

#include <gtest/gtest.h>

#include <lv2/ui/ui.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "lv2/lv2_uris.h"
#include "tests/lv2/loaded_module.h"
#include "tests/support/sheet_faces.h"
#include "tests/support/test_display.h"
#include "tests/support/x11_test_display.h"

namespace vela {

namespace {

using namespace x11_test;
using namespace std::chrono_literals;

constexpr uint32_t kSwitchPortIndex = 4;

// What the UI wrote through the host's write function.
struct Write {
    uint32_t port;
    uint32_t size;
    uint32_t protocol;
    float value;
};

struct HostRecord {
    std::vector<Write> writes;
    std::vector<std::pair<int, int>> sizes;
};

void recordWrite(LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t protocol, const void* buffer)
{
    float value = 0.0f;
    if (size == sizeof(float)) {
        value = *static_cast<const float*>(buffer);
    }
    static_cast<HostRecord*>(controller)->writes.push_back({port, size, protocol, value});
}

int recordResize(LV2UI_Feature_Handle handle, int width, int height)
{
    static_cast<HostRecord*>(handle)->sizes.emplace_back(width, height);
    return 0;
}

void* asPointer(Window window)
{
    return reinterpret_cast<void*>(static_cast<uintptr_t>(window));
}
Window asWindow(void* pointer)
{
    return static_cast<Window>(reinterpret_cast<uintptr_t>(pointer));
}

class Lv2UiX11 : public ParentWindowTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(module.isOpen()) << dlerror();
        const auto entry = module.entry<LV2UI_DescriptorFunction>("lv2ui_descriptor");
        ASSERT_NE(entry, nullptr);
        descriptor = entry(0);
        ASSERT_NE(descriptor, nullptr);
        ParentWindowTest::SetUp();
    }

    void TearDown() override
    {
        if (ui != nullptr) {
            descriptor->cleanup(ui);
        }
        ParentWindowTest::TearDown();
    }

    // Instantiates the UI with the parent, the idle interface and resize features.
    void instantiate(bool withParent = true)
    {
        const LV2UI_Resize resize = {&host, recordResize};
        const LV2_Feature parentFeature = {LV2_UI__parent, asPointer(parent)};
        const LV2_Feature idleFeature = {LV2_UI__idleInterface, nullptr};
        const LV2_Feature resizeFeature = {LV2_UI__resize, const_cast<LV2UI_Resize*>(&resize)};
        const LV2_Feature* features[] = {&idleFeature, &resizeFeature, withParent ? &parentFeature : nullptr, nullptr};
        ui = descriptor->instantiate(descriptor, kLv2PluginUri, VELA_LV2_BUNDLE_PATH "/", recordWrite, &host, &widget,
                                     features);
    }

    void portEvent(float value) { descriptor->port_event(ui, kSwitchPortIndex, sizeof value, 0, &value); }

    // Idles the UI until its window shows the face; answers how it still differs.
    std::string idleUntilShown(bool lit)
    {
        const auto* idle = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
        const Pixels face = sheetFace(lit);
        const Window window = asWindow(widget);
        idleUntil([&] { idle->idle(ui); }, [&] { return readWindow(display, window) == face; }, 2s);
        return firstDifference(readWindow(display, window), face);
    }

    LoadedModule module{VELA_LV2_UI_PATH};
    const LV2UI_Descriptor* descriptor = nullptr;
    HostRecord host;
    LV2UI_Handle ui = nullptr;
    LV2UI_Widget widget = nullptr;
};

TEST_F(Lv2UiX11, OpensAsAChildOfTheParentWithTheEditorsSize)
{
    EXPECT_STREQ(descriptor->URI, kLv2UiUri);
    instantiate();
    ASSERT_NE(ui, nullptr);
    EXPECT_EQ(childrenOf(display, parent), std::vector<Window>{asWindow(widget)});
    EXPECT_EQ(host.sizes, (std::vector<std::pair<int, int>>{{kFaceWidth, kFaceHeight}}));
    EXPECT_NE(descriptor->extension_data(LV2_UI__idleInterface), nullptr);
    EXPECT_EQ(descriptor->extension_data(LV2_UI__showInterface), nullptr);

    descriptor->cleanup(ui);
    ui = nullptr;
    EXPECT_TRUE(childrenOf(display, parent).empty());
}

TEST_F(Lv2UiX11, RealClicksWriteTheOtherStateAndHostPortEventsRelightIt)
{
    instantiate();
    ASSERT_NE(ui, nullptr);
    EXPECT_EQ(idleUntilShown(false), "");

    pointAt(display, asWindow(widget), 128, 40);
    pressButton(display, Button1, true);
    pressButton(display, Button1, false);
    EXPECT_EQ(idleUntilShown(true), "");
    ASSERT_EQ(host.writes.size(), 1u);
    EXPECT_EQ(host.writes[0].port, kSwitchPortIndex);
    EXPECT_EQ(host.writes[0].size, sizeof(float));
    EXPECT_EQ(host.writes[0].protocol, 0u);
    EXPECT_EQ(host.writes[0].value, 1.0f);

    // The host sets the port; the UI shows it and writes nothing back.
    portEvent(0.0f);
    EXPECT_EQ(idleUntilShown(false), "");
    portEvent(1.0f);
    EXPECT_EQ(idleUntilShown(true), "");
    // Events for other ports or in other formats change nothing.
    const float off = 0.0f;
    descriptor->port_event(ui, 0, sizeof off, 0, &off);
    descriptor->port_event(ui, kSwitchPortIndex, sizeof off, 1, &off);
    EXPECT_EQ(idleUntilShown(true), "");
    EXPECT_EQ(host.writes.size(), 1u);

    // Whatever the host set, a click turns it off when lit, on when not.
    const std::pair<float, bool> hostValues[] = {
        {1.0f, true}, {0.99f, true}, {0.5f, true}, {2.0f / 127.0f, true}, {0.0f, false},
    };
    for (const auto& [value, lit] : hostValues) {
        SCOPED_TRACE(value);
        portEvent(value);
        EXPECT_EQ(idleUntilShown(lit), "");
        host.writes.clear();
        pressButton(display, Button1, true);
        pressButton(display, Button1, false);
        EXPECT_EQ(idleUntilShown(!lit), "");
        ASSERT_EQ(host.writes.size(), 1u);
        EXPECT_EQ(host.writes[0].port, kSwitchPortIndex);
        EXPECT_EQ(host.writes[0].value, lit ? 0.0f : 1.0f);
    }
}

TEST_F(Lv2UiX11, RefusesAHostWithoutAParentOrForAnotherPlugin)
{
    instantiate(false);
    EXPECT_EQ(ui, nullptr);
    const LV2_Feature parentFeature = {LV2_UI__parent, asPointer(parent)};
    const LV2_Feature* features[] = {&parentFeature, nullptr};
    ui = descriptor->instantiate(descriptor, "urn:example:another", VELA_LV2_BUNDLE_PATH "/", recordWrite, &host,
                                 &widget, features);
    EXPECT_EQ(ui, nullptr);
    EXPECT_TRUE(childrenOf(display, parent).empty());
}

} // namespace

} // namespace vela
