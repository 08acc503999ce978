// SPDX-License-Identifier: MIT
// The UI module's entry point: the X11 UI an LV2 host finds through lv2ui_descriptor. The host
// gives the parent window (ui:parent) and calls the idle interface on its UI thread.
#include <lv2/ui/ui.h>

#include <cstring>
#include <new>

#include "frame/editor_base.h"
#include "frame/erect.h"
#include "lv2/lv2_switch_ui.h"
#include "lv2/lv2_uris.h"

namespace vela {
namespace {

const void* findFeature(const LV2_Feature* const* features, const char* uri)
{
    for (; features != nullptr && *features != nullptr; ++features) {
        if (std::strcmp((*features)->URI, uri) == 0) {
            return (*features)->data;
        }
    }
    return nullptr;
}

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*, LV2UI_Write_Function write,
                         LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features)
{
    void* parent = const_cast<void*>(findFeature(features, LV2_UI__parent));
    if (pluginUri == nullptr || std::strcmp(pluginUri, kLv2PluginUri) != 0 || write == nullptr || widget == nullptr ||
        parent == nullptr) {
        return nullptr;
    }
    auto* ui = new (std::nothrow) Lv2SwitchUi(write, controller);
    *widget = ui != nullptr ? ui->openIn(parent) : nullptr;
    if (*widget == nullptr) {
        delete ui;
        return nullptr;
    }
    ERect* rect = nullptr;
    ui->getEditor()->getRect(&rect);
    if (const auto* resize = static_cast<const LV2UI_Resize*>(findFeature(features, LV2_UI__resize))) {
        resize->ui_resize(resize->handle, rect->right - rect->left, rect->bottom - rect->top);
    }
    return ui;
}

void cleanup(LV2UI_Handle ui)
{
    delete static_cast<Lv2SwitchUi*>(ui);
}

void portEvent(LV2UI_Handle ui, uint32_t port, uint32_t bufferSize, uint32_t format, const void* buffer)
{
    static_cast<Lv2SwitchUi*>(ui)->portEvent(port, bufferSize, format, buffer);
}

int idle(LV2UI_Handle ui)
{
    return static_cast<Lv2SwitchUi*>(ui)->idle();
}

const LV2UI_Idle_Interface idleInterface = {idle};

const void* extensionData(const char* uri)
{
    return std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &idleInterface : nullptr;
}

const LV2UI_Descriptor descriptor = {kLv2UiUri, instantiate, cleanup, portEvent, extensionData};

} // namespace
} // namespace vela

LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index)
{
    return index == 0 ? &vela::descriptor : nullptr;
}
