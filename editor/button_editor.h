// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "editor/platform/window_system.h"
#include "effect/switch_control.h"
#include "frame/editor_base.h"
#include "frame/erect.h"

namespace vela {

class SwitchEffect;

// The switch's editor: a 256 by 96 child window painted from the bitmap sheet in the module's
// resources, whose button flips the switch. It repaints itself every 50 ms from a timer of its own.
class ButtonEditor : public EditorBase {
public:
    // Registers the new editor with the effect, which owns it from then on; the editor reads and
    // flips the switch through control. During construction.
    ButtonEditor(EffectCore& effect, SwitchControl& control, WindowSystem& windowSystem = WindowSystem::native());
    // The same, for the switch effect, which is its own control.
    explicit ButtonEditor(SwitchEffect& effect, WindowSystem& windowSystem = WindowSystem::native());

    // Closes a window that is still open, so that no window is left calling into freed memory.
    ~ButtonEditor() override;

    // Points *rect at buttonEditorRect and answers 1, open or not. [UI thread]
    int32_t getRect(ERect** rect) override;
    // Creates and shows the window inside the host's parent window; answers 1. [UI thread]
    int32_t open(void* parent) override;
    // Tears the window down and gives back everything open made. [UI thread]
    void close() override;
    // Lets the window system deliver pending events and timer ticks; the base's update
    // mechanism stays out of use. [UI thread]
    void idle() override;
    // Does nothing; nothing calls it.
    virtual void spareHook(int32_t first, int32_t second);

    // Turns the switch off and marks the editor closed.
    void reset();
    // Loads the sheet from the module's resources into sheetBitmap (null when it fails).
    void loadBitmap();
    // Composes the face in the sheet's top band and copies it to the window.
    void draw();
    // Turns a lit switch off and an unlit one on when the packed position lies on the button,
    // and tells the host.
    void onLeftButtonDown(intptr_t lParam);

    friend intptr_t VELA_WINDOW_CALLBACK buttonWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam,
                                                          intptr_t lParam);

protected:
    // The switch value truncated toward zero.
    int32_t switchInteger() const;

    SwitchControl& switchControl;
    WindowSystem& windowSystem;
    WindowHandle window;
    uintptr_t timerId;
    ObjectHandle previousBitmap;
    ObjectHandle sheetBitmap;
    ContextHandle windowContext;
    ContextHandle memoryContext;
    int32_t isOpen;
};

// The rectangle getRect hands out: top 0, left 0, bottom 96, right 256.
extern ERect buttonEditorRect;
// Opens not yet matched by a close; the window class is registered while it is above 0.
extern int32_t classUseCount;

// The procedure of the window class "VEclass".
intptr_t VELA_WINDOW_CALLBACK buttonWindowProc(WindowHandle window, uint32_t message, uintptr_t wParam,
                                               intptr_t lParam);

} // namespace vela
