// SPDX-License-Identifier: MIT
#pragma once

#include <lv2/ui/ui.h>

#include <cstdint>

#include "effect/switch_control.h"
#include "frame/effect_core.h"

namespace vela {

class EmbeddedButtonEditor;

// The LV2 UI: owns the button editor and stands for the switch it flips. The editor's clicks
// go to the host's write function as the toggled port's new value; the host's port events
// change what the editor shows. Every operation runs on the host's UI thread.
class Lv2SwitchUi : public EffectCore, public SwitchControl {
public:
    Lv2SwitchUi(LV2UI_Write_Function write, LV2UI_Controller controller);
    // Closes and destroys the editor while this object can still answer it.
    ~Lv2SwitchUi() override;

    // Opens the editor as a child of the host's X11 window; answers the editor's window, or
    // null when none could be opened.
    LV2UI_Widget openIn(void* parent);
    // Takes the host's value of the switch port; other ports and formats are ignored.
    void portEvent(uint32_t port, uint32_t bufferSize, uint32_t format, const void* buffer);
    // Delivers the editor's pending events and timer ticks; answers 0 while the editor is open.
    int idle();

    // Answers 1.0 while the switch port is on, else 0.0.
    float switchValue() const override;
    // Turns the switch on for a non-zero integer part; with reportToHost writes the port.
    void storeSwitchValue(float internalValue, bool reportToHost) override;
    // A UI processes no audio.
    void process(float** inputs, float** outputs, int32_t sampleFrames) override;

private:
    EmbeddedButtonEditor* buttonEditor;
    LV2UI_Write_Function write;
    LV2UI_Controller controller;
    bool on;
};

} // namespace vela
