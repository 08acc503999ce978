// SPDX-License-Identifier: MIT
#include "lv2/lv2_switch_ui.h"

#include "effect/switch_effect.h"
#include "lv2/embedded_button_editor.h"
#include "lv2/switch_ports.h"

namespace vela {

Lv2SwitchUi::Lv2SwitchUi(LV2UI_Write_Function write, LV2UI_Controller controller)
    : EffectCore(nullptr, 0, 1),
      buttonEditor(nullptr),
      write(write),
      controller(controller),
      on(false)
{
    // The editor registers itself with this effect, which owns it from then on.
    buttonEditor = new EmbeddedButtonEditor(*this, *this);
}

Lv2SwitchUi::~Lv2SwitchUi()
{
    setEditor(nullptr);
    delete buttonEditor;
}

LV2UI_Widget Lv2SwitchUi::openIn(void* parent)
{
    if (parent == nullptr || buttonEditor->open(parent) != 1) {
        return nullptr;
    }
    return buttonEditor->windowHandle();
}

void Lv2SwitchUi::portEvent(uint32_t port, uint32_t bufferSize, uint32_t format, const void* buffer)
{
    if (port != kSwitchPort || format != 0 || bufferSize != sizeof(float) || buffer == nullptr) {
        return;
    }
    on = switchPortIsOn(*static_cast<const float*>(buffer));
    if (buttonEditor->windowHandle() != nullptr) {
        buttonEditor->draw();
    }
}

int Lv2SwitchUi::idle()
{
    if (buttonEditor->windowHandle() == nullptr) {
        return 1;
    }
    buttonEditor->idle();
    return 0;
}

float Lv2SwitchUi::switchValue() const
{
    return on ? 1.0f : 0.0f;
}

void Lv2SwitchUi::storeSwitchValue(float internalValue, bool reportToHost)
{
    on = truncateToInteger(internalValue) != 0;
    if (reportToHost) {
        const float portValue = on ? 1.0f : 0.0f;
        write(controller, kSwitchPort, sizeof(portValue), 0, &portValue);
    }
}

void Lv2SwitchUi::process(float**, float**, int32_t) {}

} // namespace vela
