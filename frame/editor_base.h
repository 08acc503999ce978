// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

#include "frame/erect.h"

namespace vela {

class EffectCore;

// The base of every editor. The effect forwards the host's editor operations to the editor
// registered with it; by default there is no rectangle and no window.
class EditorBase {
public:
    explicit EditorBase(EffectCore& effect);
    EditorBase(const EditorBase&) = delete;
    EditorBase& operator=(const EditorBase&) = delete;

    virtual ~EditorBase();

    // Points *rect at the editor's rectangle and answers 1, or writes null and answers 0. [UI thread]
    virtual int32_t getRect(ERect** rect);
    // Opens the editor inside the host's parent window; answers 1 when a window was opened. [UI thread]
    virtual int32_t open(void* parent);
    // Closes the editor's window. [UI thread]
    virtual void close();
    // Runs a requested update; the host calls it repeatedly while the editor is open. [UI thread]
    virtual void idle();
    // Redraws the editor. [UI thread]
    virtual void update();
    // Asks for one update at the next idle tick. [UI thread]
    virtual void requestUpdate();

protected:
    EffectCore& effect;
    void* parentWindow;
    int32_t updatePending;
};

} // namespace vela
